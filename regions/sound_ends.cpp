#include "regions/sound_ends.h"

#include "regions/auto_slicer.h"
#include "regions/large_buffer.h"
#include "regions/running_average.h"

#include <algorithm>

namespace korvane {
namespace {

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

    if (overview.size() > 1) {
        // The slicer's running average, computed in lanes and threads but bit-identical to
        // its serial chain; loud when avg >= level, i.e. floor(avg) >= level (an integer).
        const std::size_t steps = AverageSteps(overview.size(), /*mono=*/true);
        LargeVector<uint16_t> floors(steps);  // every value is written before it is read
        LargeVector<uint16_t> blockMin((steps + 15) / 16), blockMax((steps + 15) / 16);
        RunAverageFloors(overview, /*mono=*/true, p.n, {floors, blockMin, blockMax});
        bool inside = false;
        for (std::size_t i = 1; i < overview.size() && k < regions.size(); ++i) {
            const uint32_t pos = i > p.n ? uint32_t(i - p.n) : 0;
            const bool loud = floors[i - 1] >= p.level;
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
