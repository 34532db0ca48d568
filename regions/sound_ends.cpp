#include "regions/sound_ends.h"

#include "regions/auto_slicer.h"
#include "regions/large_buffer.h"
#include "regions/running_average.h"
#include "regions/slice_index.h"
#include "regions/units.h"

#include <algorithm>

namespace korvane {
namespace {

constexpr std::size_t kBlock = 16;  // steps per entry of the block minima/maxima

// The slicer's loud/quiet decision per step over one overview: step i (1 <= i <=
// LastStep()) is loud when floor(avg) >= level and stands for overview sample
// max(i - n, 0). Reads the running average's floors and block maxima, computed here or
// kept by a slice index.
class LoudSteps {
public:
    LoudSteps(std::span<const uint16_t> floors, std::span<const uint16_t> blockMax, const SliceParameters& p)
        : floors_(floors), blockMax_(blockMax), n_(p.n), level_(p.level) {}

    std::size_t LastStep() const { return floors_.size(); }
    bool Loud(std::size_t i) const { return floors_[i - 1] >= level_; }
    uint32_t PositionOf(std::size_t i) const { return i > n_ ? uint32_t(i - n_) : 0; }
    std::size_t FirstStepAt(uint64_t pos) const { return pos == 0 ? 1 : std::size_t(pos + n_); }

    // The last fall (a quiet step after a loud one) in steps [lo, hi], hi quiet; 0 if none.
    // Walks back over the quiet stretch, a block at a time where a whole block is quiet.
    std::size_t LastFall(std::size_t lo, std::size_t hi) const {
        std::size_t i = hi;  // invariant: step i is quiet
        while (i > lo) {
            const std::size_t prev = i - 1;  // >= lo >= 1
            if (Loud(prev)) return i;
            // Step s is value s - 1; when prev closes a block of values that is quiet
            // throughout, steps prev - 15 .. prev are all quiet.
            const std::size_t value = prev - 1;
            const bool blockQuiet = value % kBlock == kBlock - 1 && blockMax_[value / kBlock] < level_;
            i = blockQuiet && prev >= lo + kBlock ? prev - (kBlock - 1) : prev;
        }
        return i >= 2 && Loud(i - 1) ? i : 0;
    }

private:
    std::span<const uint16_t> floors_;
    std::span<const uint16_t> blockMax_;
    uint32_t n_;
    uint32_t level_;
};

std::vector<uint32_t> EndsOver(const LoudSteps& loud, const SliceParameters& p, std::span<const Region> regions) {
    std::vector<uint32_t> ends(regions.size());
    uint64_t earlierEnd = 0;  // a sample belongs to the first region (in list order) that ends after it
    for (std::size_t r = 0; r < regions.size(); ++r) {
        const uint64_t end = uint64_t{regions[r].start} + regions[r].length;
        const uint64_t from = std::max<uint64_t>(regions[r].start, earlierEnd);
        earlierEnd = std::max(earlierEnd, end);
        ends[r] = uint32_t(end);
        if (from >= end) continue;
        const std::size_t lo = loud.FirstStepAt(from);
        const std::size_t hi = std::min<uint64_t>(end - 1 + p.n, loud.LastStep());
        if (lo > hi || loud.Loud(hi)) continue;  // no step in the region, or still loud at its end
        const std::size_t fall = loud.LastFall(lo, hi);
        if (fall == 0) continue;
        const uint64_t soundEnd = uint64_t{loud.PositionOf(fall)} + p.minGap;
        ends[r] = uint32_t(std::clamp<uint64_t>(soundEnd, std::min<uint64_t>(regions[r].start + 1ull, end), end));
    }
    return ends;
}

}  // namespace

std::vector<uint32_t> SoundEnds(std::span<const int16_t> overview, double thresholdDb, double releaseMs,
                                std::span<const Region> regions) {
    const SliceParameters p = DeriveSliceParameters(thresholdDb, releaseMs, units::kDefaultAveragingWindow,
                                                    units::kOverviewRateHz);
    // Computed in lanes and threads but bit-identical to the slicer's serial chain.
    const std::size_t steps = overview.size() > 1 ? AverageSteps(overview.size(), /*mono=*/true) : 0;
    LargeVector<uint16_t> floors(steps), blockMin((steps + kBlock - 1) / kBlock), blockMax(blockMin.size());
    if (steps > 0) RunAverageFloors(overview, /*mono=*/true, p.n, {floors, blockMin, blockMax});
    return EndsOver(LoudSteps(floors, blockMax, p), p, regions);
}

std::vector<uint32_t> SoundEnds(const SliceIndex& index, double thresholdDb, double releaseMs,
                                std::span<const Region> regions) {
    const SliceParameters p = DeriveSliceParameters(thresholdDb, releaseMs, index.AveragingWindow(), index.RateHz());
    return EndsOver(LoudSteps(index.StepFloors(), index.StepBlockMaxima(), p), p, regions);
}

}  // namespace korvane
