#pragma once
// The slicer's region rules written out as one plain loop, step for step as they read,
// for checking the product slicer and the index against. Test-only.
#include "regions/region.h"

#include <cstdint>
#include <span>
#include <vector>

namespace korvane::test {

std::vector<Region> OracleSlice(std::span<const int16_t> samples, bool mono, uint32_t rate,
                                double thresholdDb, double releaseMs, uint32_t averagingWindow,
                                uint32_t tag);

}  // namespace korvane::test
