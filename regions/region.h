#pragma once
// Region: one slice of a track, in overview samples (11025 Hz mono; one overview
// sample stands for 4 stereo frames = 16 raw bytes of the track audio).
#include <cstdint>

namespace korvane {

struct Region {
    uint32_t start = 0;   // first overview sample of the region
    uint32_t length = 0;  // number of overview samples
    uint32_t tag = 0;     // caller's value, stored unchanged by the slicer

    friend bool operator==(const Region&, const Region&) = default;
};

}  // namespace korvane
