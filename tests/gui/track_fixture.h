#pragma once
// Track files for the GUI tests: raw audio followed by the overview, as the track
// reader writes them. The raw audio is a staircase: all 8 values (4 stereo frames) that
// overview sample i stands for hold i % 30000, so an offset error shows at once.
#include "regions/demo_signal.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

namespace korvane::testing {

inline std::int16_t StairValue(std::uint64_t overviewSample) { return static_cast<std::int16_t>(overviewSample % 30000); }

inline void WriteTrackFile(const std::filesystem::path& path, const std::vector<std::int16_t>& overview) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<std::int16_t> raw(8);
    for (std::size_t i = 0; i < overview.size(); ++i) {
        std::fill(raw.begin(), raw.end(), StairValue(i));
        out.write(reinterpret_cast<const char*>(raw.data()), 16);
    }
    out.write(reinterpret_cast<const char*>(overview.data()), static_cast<std::streamsize>(overview.size() * 2));
}

// A music-like overview of `seconds` (whole CD sectors: 294 bytes = 147 samples each).
inline std::vector<std::int16_t> DemoOverview(double seconds, std::uint64_t seed = 1) {
    demo::DemoSignalSpec spec;
    spec.seed = seed;
    spec.rateHz = 11025;
    spec.channelCount = 1;
    spec.durationSeconds = seconds;
    std::vector<std::int16_t> overview = demo::MakeDemoSignal(spec);
    overview.resize(overview.size() / 147 * 147);
    return overview;
}

}  // namespace korvane::testing
