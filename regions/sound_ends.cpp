#include "regions/sound_ends.h"

#include "regions/auto_slicer.h"

#include <algorithm>

namespace korvane {
namespace {

inline uint32_t Magnitude(int16_t sample) noexcept {
    return sample < 0 ? uint32_t(-int32_t(sample)) : uint32_t(sample);
}

constexpr uint32_t kNoFall = UINT32_MAX;

}  // namespace

std::vector<uint32_t> SoundEnds(std::span<const int16_t> overview, double thresholdDb, double releaseMs,
                                std::span<const Region> regions) {
    const SliceParameters p = DeriveSliceParameters(thresholdDb, releaseMs, 50, 11025);
    std::vector<uint32_t> lastFall(regions.size(), kNoFall);
    std::vector<bool> loudAtEnd(regions.size(), false);
    std::size_t k = 0;  // the region the current step lies in (or the next one)
    const auto regionEnd = [&](std::size_t r) { return uint64_t{regions[r].start} + regions[r].length; };
    auto note = [&](uint32_t pos, bool loud, bool fell) {
        while (k < regions.size() && pos >= regionEnd(k)) ++k;
        if (k == regions.size() || pos < regions[k].start) return;
        if (fell) lastFall[k] = pos;
        loudAtEnd[k] = loud;
    };

    if (!overview.empty()) {
        const double weight = double(p.n - 1);
        const double divisor = double(p.n);
        double avg = double(Magnitude(overview[0]));
        bool inside = false;
        for (std::size_t i = 1; i < overview.size() && k < regions.size(); ++i) {
            avg = (weight * avg + double(Magnitude(overview[i]))) / divisor;
            const uint32_t pos = i > p.n ? uint32_t(i - p.n) : 0;
            const bool loud = avg >= double(p.level);
            note(pos, loud, inside && !loud);
            inside = loud;
        }
    }

    std::vector<uint32_t> ends(regions.size());
    for (std::size_t r = 0; r < regions.size(); ++r) {
        const uint64_t end = regionEnd(r);
        if (lastFall[r] == kNoFall || loudAtEnd[r]) {
            ends[r] = uint32_t(end);
            continue;
        }
        const uint64_t soundEnd = uint64_t{lastFall[r]} + p.minGap;
        ends[r] = uint32_t(std::clamp<uint64_t>(soundEnd, std::min<uint64_t>(regions[r].start + 1ull, end), end));
    }
    return ends;
}

}  // namespace korvane
