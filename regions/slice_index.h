#pragma once
// SliceIndex: fast re-slicing of one buffer with changing threshold and release.
//
// The running average of the slicer depends only on the buffer and the averaging
// length, not on threshold or release. Build() runs that average once and keeps,
// per step, floor(average) as a 16-bit value (0..32768) plus block minima and
// maxima in groups of 16, level above level. Because the threshold level is an
// integer, "average >= level" holds exactly when "floor(average) >= level", so a
// slice needs only the places where the loud/quiet state changes, and of those
// only the quiet stretches long enough to count as a gap; the block hierarchy
// finds them in O(log N) each. Slice() therefore costs O((regions + quiet
// stretches nearly as long as the release time) * log N) instead of a full pass,
// and its result is identical, region for region, to AutoSlicer::Slice on the
// same buffer and parameters. On an 80-minute overview a re-slice takes a few
// hundred microseconds, against some 400 ms for the full pass.
//
// Intended use (track view): Build() once when a buffer is loaded, then Slice()
// on every drag step of the threshold or release slider.
//
// Memory: about 2.3 bytes per step (an 80-minute overview: ~120 MB). The step
// values are placed on huge pages where the kernel allows it, since a re-slice
// touches a few scattered cache lines per region.
//
// Build() runs the average in parallel chunks (regions/running_average.h), with
// a result identical bit for bit to the one serial pass.
//
// Thread contract: Build() is a pure function of its arguments and does not keep
// a reference to `samples`; it may use worker threads, joined before it returns. A built index is immutable; Slice() may be called
// from any number of threads at once. Moving an index while another thread uses
// it is not allowed.
#include "regions/chained_list.h"
#include "regions/large_buffer.h"
#include "regions/region.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace korvane {

class SliceIndex {
public:
    SliceIndex() = default;  // an empty index: every slice yields nothing

    // Runs the running average over `samples` (one channel when mono, interleaved
    // left/right pairs otherwise; a trailing half frame is ignored) with the
    // averaging length derived from averagingWindow (samples at 44100 Hz) and
    // rateHz. Throws std::length_error for more than 2^32 - 1 values, and
    // std::bad_alloc when memory runs out. O(N).
    static SliceIndex Build(std::span<const int16_t> samples, bool mono, uint32_t rateHz,
                            uint32_t averagingWindow);

    // Appends to `out` exactly the regions AutoSlicer::Slice would append for the
    // same buffer, rate, window, thresholdDb, releaseMs and tag, in the same order.
    // `out` is not cleared first.
    void Slice(double thresholdDb, double releaseMs, uint32_t tag, std::vector<Region>& out) const;
    // The same into a region list, appended in O(1) each.
    void Slice(double thresholdDb, double releaseMs, uint32_t tag, ChainedList<Region>& out) const;

    bool Mono() const noexcept { return mono_; }
    uint32_t RateHz() const noexcept { return rateHz_; }
    uint32_t AveragingWindow() const noexcept { return averagingWindow_; }
    uint32_t AveragingLength() const noexcept { return n_; }
    // Samples (mono) or frames (stereo) covered; region positions are below it.
    uint32_t Extent() const noexcept { return extent_; }
    std::size_t MemoryBytes() const noexcept;
    // floor(average) after every step, and the maximum of every 16 of them: what the
    // regions' sound ends are found from.
    std::span<const uint16_t> StepFloors() const noexcept { return Values(); }
    std::span<const uint16_t> StepBlockMaxima() const noexcept;

private:
    using Levels = std::vector<LargeVector<uint16_t>>;
    static constexpr std::size_t kNone = SIZE_MAX;

    std::span<const uint16_t> Values() const noexcept { return {values_.data(), stepCount_}; }
    std::size_t NextLoud(std::size_t from, uint32_t level) const noexcept;
    class GapSearch;
    uint32_t PositionOf(std::size_t step) const noexcept;

    bool mono_ = true;
    uint32_t rateHz_ = 0;
    uint32_t averagingWindow_ = 0;
    uint32_t n_ = 1;
    uint32_t extent_ = 0;
    std::size_t stepCount_ = 0;                 // extent_ - 1 (the first sample only seeds the average)
    LargeBuffer<uint16_t> values_;              // floor(average) after step k
    Levels maxLevels_;                          // [h][j]: max of values over block j of 16^(h+1) steps
    Levels minLevels_;                          // the same with minima
    std::vector<Levels> quietBlockLevels_;      // [l-1]: min pyramid over maxLevels_[l-1]
};

}  // namespace korvane
