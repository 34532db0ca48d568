#include "slice_oracle.h"

#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace korvane::test {

OracleAverage AverageOf(std::span<const int16_t> s, bool mono, uint32_t rate, uint32_t averagingWindow) {
    // n = truncate(window / (44100 / rate)); avg_0 = x_0, avg_i = ((n - 1) avg_i-1 + x_i) / n.
    const auto n = uint32_t(std::trunc(averagingWindow / (44100.0 / rate)));
    if (n < 1) throw std::invalid_argument("window under one sample: pinned by table cases");

    // One input per step: |sample| in mono, the halved sum of a whole frame in stereo.
    auto abs16 = [](int16_t v) { return uint32_t(std::abs(int32_t(v))); };
    auto x = [&](std::size_t f) { return mono ? abs16(s[f]) : (abs16(s[2 * f]) + abs16(s[2 * f + 1])) / 2; };
    OracleAverage average{std::vector<double>(mono ? s.size() : s.size() / 2), n, rate};
    for (std::size_t i = 0; i < average.values.size(); ++i) {
        average.values[i] = i == 0 ? x(0) : ((n - 1) * average.values[i - 1] + x(i)) / n;
    }
    return average;
}

std::vector<Region> OracleSlice(const OracleAverage& average, double thresholdDb, double releaseMs, uint32_t tag) {
    // The derived values as defined: level = truncate(0.5 * 2^((dB + 96) * 0.1666..)),
    // minGap = truncate(rate * ms * 0.001).
    if (releaseMs < 0) throw std::invalid_argument("negative release: pinned by table cases");
    const double level = std::trunc(0.5 * std::pow(2.0, (thresholdDb + 96.0) * 0.16666666666666666));
    const auto minGap = uint32_t(std::trunc(average.rate * releaseMs * 0.001));
    const uint32_t n = average.n;
    const auto limit = uint32_t(average.values.size());

    std::vector<Region> out;
    Region working{0, 0, 0};
    bool inside = false, first = true, haveRegion = false, gapSeen = false;
    uint32_t lastFall = 0;
    auto keepIfFits = [&] {
        if (minGap <= working.length && working.length < limit) out.push_back(working);
    };
    for (uint32_t i = 1; i < limit; ++i) {
        const double avg = average.values[i];
        const uint32_t pos = i > n ? i - n : 0;
        if (avg >= level && !inside) {
            if (first) {
                working = Region{pos, 0, tag};
                first = false;
                haveRegion = true;
            }
            if (gapSeen) {
                working.length = pos - working.start;
                keepIfFits();
                working = Region{pos, 0, tag};
                gapSeen = false;
            }
            inside = true;
        } else if (avg < level) {
            if (inside) {
                lastFall = pos;
                inside = false;
            }
            if (pos - lastFall >= minGap) gapSeen = true;
        }
    }
    if (haveRegion) {
        working.length = limit - working.start - 1;
        keepIfFits();
    }
    return out;
}

}  // namespace korvane::test
