#pragma once
// Where the sound of each region ends: the slicer's running average followed once more
// over the overview, remembering the last step in each region where it fell below the
// threshold level. A region's sound ends the release time after that fall; a region
// still loud at its end, or one that never falls, keeps its end.
//
// Used by the export's tail trimming and by playback of trimmed regions. Pure functions
// of their arguments; any thread.
#include "regions/region.h"

#include <cstdint>
#include <span>
#include <vector>

namespace korvane {

// For every region of `regions` (ascending starts, as the slicer appends them, over
// `overview` sliced mono at 11,025 Hz with averaging window 50): the overview sample
// where its sound ends, exclusive, in [start + 1, start + length] (a region of length 0
// keeps start).
std::vector<uint32_t> SoundEnds(std::span<const int16_t> overview, double thresholdDb, double releaseMs,
                                std::span<const Region> regions);

class SliceIndex;

// The same from a mono slice index of the overview, which already holds the running
// average: no pass over the overview, so a play click of a trimmed region costs only the
// walk back over its quiet tail. Equal to the function above when the index was built
// from that overview at 11,025 Hz with averaging window 50.
std::vector<uint32_t> SoundEnds(const SliceIndex& index, double thresholdDb, double releaseMs,
                                std::span<const Region> regions);

}  // namespace korvane
