#include "slice_oracle.h"

#include "regions/auto_slicer.h"

#include <cmath>
#include <cstdlib>

namespace korvane::test {

std::vector<Region> OracleSlice(std::span<const int16_t> s, bool mono, uint32_t rate,
                                double thresholdDb, double releaseMs, uint32_t averagingWindow,
                                uint32_t tag) {
    std::vector<Region> out;
    const auto sampleCount = uint32_t(s.size());

    // The derived values (and their clamping) are pinned by their own exact cases; the
    // oracle checks what is done with them.
    const SliceParameters p = DeriveSliceParameters(thresholdDb, releaseMs, averagingWindow, rate);
    const uint32_t level = p.level, minGap = p.minGap, n = p.n;

    Region working{0, 0, 0};
    bool inside = false, first = true, haveRegion = false, gapSeen = false;
    uint32_t lastFall = 0;
    const uint32_t limit = mono ? sampleCount : sampleCount / 2;
    auto abs16 = [](int16_t v) { return uint32_t(std::abs(int32_t(v))); };
    auto keepIfFits = [&](const Region& r) {
        if (minGap <= r.length && r.length < limit) out.push_back(r);
    };
    auto step = [&](double avg, uint32_t pos) {
        const bool loud = avg >= level;
        if (loud && !inside) {
            if (first) {
                working.start = pos;
                working.tag = tag;
                first = false;
                haveRegion = true;
            }
            if (gapSeen) {
                working.length = pos - working.start;
                keepIfFits(working);
                working = Region{pos, 0, tag};
                gapSeen = false;
            }
            inside = true;
        } else if (!loud) {
            if (inside) {
                lastFall = pos;
                inside = false;
            }
            if (pos - lastFall >= minGap) gapSeen = true;
        }
    };

    uint32_t end = 0;
    if (mono) {
        if (sampleCount < 1) return out;
        double avg = abs16(s[0]);
        uint32_t i = 1;
        for (; i < sampleCount; ++i) {
            avg = ((n - 1) * avg + abs16(s[i])) / n;
            step(avg, i > n ? i - n : 0);
        }
        end = i;
        if (haveRegion) {
            working.length = end - working.start - 1;
            keepIfFits(working);
        }
    } else {
        if (sampleCount < 2) return out;
        double avg = (abs16(s[0]) + abs16(s[1])) / 2;
        uint32_t i = 2;
        for (; i + 1 < sampleCount; i += 2) {  // whole frames only
            const uint32_t x = (abs16(s[i]) + abs16(s[i + 1])) / 2;
            avg = ((n - 1) * avg + x) / n;
            const uint32_t f = i / 2;
            step(avg, f > n ? f - n : 0);
        }
        end = i;
        if (haveRegion) {
            working.length = end / 2 - working.start - 1;
            keepIfFits(working);
        }
    }
    return out;
}

}  // namespace korvane::test
