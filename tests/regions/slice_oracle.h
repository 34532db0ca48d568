#pragma once
// The slicer's rules written out from their definition as one plain loop (derived values
// included), for checking the product slicer, the index and korvane-cli against. Test-only.
// It covers the defined ranges only (averaging length at least 1, release not negative)
// and throws outside them; the product's clamping there is pinned by table cases. In
// stereo a trailing half frame is no frame and is not read.
#include "regions/region.h"

#include <cstdint>
#include <span>
#include <vector>

namespace korvane::test {

// The running average, one value per input (a sample in mono, a whole frame in stereo),
// with its length n. It depends on neither threshold nor release, so a test slicing one
// buffer many times works it out once.
struct OracleAverage {
    std::vector<double> values;
    uint32_t n;
    uint32_t rate;
};

OracleAverage AverageOf(std::span<const int16_t> samples, bool mono, uint32_t rate, uint32_t averagingWindow);

std::vector<Region> OracleSlice(const OracleAverage& average, double thresholdDb, double releaseMs, uint32_t tag);

}  // namespace korvane::test
