#include "regions/slice_index.h"

#include "regions/auto_slicer.h"
#include "regions/units.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace korvane {
namespace {

constexpr std::size_t kFan = 16;
constexpr std::size_t kNone = SIZE_MAX;

inline uint32_t Magnitude(int16_t sample) noexcept {
    return sample < 0 ? uint32_t(-int32_t(sample)) : uint32_t(sample);
}

using Levels = std::vector<std::vector<uint16_t>>;

// A level of the pyramid whose level 0 is `base` and level h > 0 is upper[h-1].
struct Pyramid {
    std::span<const uint16_t> base;
    const Levels& upper;

    std::size_t Height() const noexcept { return upper.size() + 1; }
    std::span<const uint16_t> Level(std::size_t h) const noexcept {
        return h == 0 ? base : std::span<const uint16_t>(upper[h - 1]);
    }

    // First index >= from in base whose value matches; `match` must hold for an
    // aggregate exactly when it holds for one of the aggregated values.
    template <class Match>
    std::size_t FindForward(std::size_t from, Match match) const noexcept {
        std::size_t h = 0;
        std::size_t idx = from;
        for (;;) {
            const auto level = Level(h);
            if (idx >= level.size()) return kNone;
            const std::size_t end = std::min(level.size(), (idx / kFan + 1) * kFan);
            while (idx < end && !match(level[idx])) ++idx;
            if (idx < end) break;
            if (idx >= level.size() || h + 1 == Height()) return kNone;
            idx /= kFan;
            ++h;
        }
        while (h > 0) {
            const auto level = Level(--h);
            idx *= kFan;
            while (!match(level[idx])) ++idx;  // the aggregate promised a match here
        }
        return idx;
    }

    // Last index < before in base whose value matches.
    template <class Match>
    std::size_t FindBackward(std::size_t before, Match match) const noexcept {
        before = std::min(before, base.size());
        if (before == 0) return kNone;
        std::size_t h = 0;
        std::size_t idx = before - 1;
        for (;;) {
            const auto level = Level(h);
            const std::size_t start = idx / kFan * kFan;
            while (idx > start && !match(level[idx])) --idx;
            if (match(level[idx])) break;
            if (start == 0 || h + 1 == Height()) return kNone;
            idx = start / kFan - 1;
            ++h;
        }
        while (h > 0) {
            const auto level = Level(--h);
            idx = std::min(level.size() - 1, idx * kFan + kFan - 1);
            while (!match(level[idx])) --idx;
        }
        return idx;
    }
};

// Adds aggregate levels above `levels.back()` until a level has at most kFan entries.
template <class Combine>
void Stack(Levels& levels, std::span<const uint16_t> base, Combine combine) {
    std::span<const uint16_t> below = levels.empty() ? base : std::span<const uint16_t>(levels.back());
    while (below.size() > kFan) {
        std::vector<uint16_t> level((below.size() + kFan - 1) / kFan);
        for (std::size_t j = 0; j < level.size(); ++j) {
            const std::size_t first = j * kFan;
            const std::size_t last = std::min(below.size(), first + kFan);
            uint16_t acc = below[first];
            for (std::size_t k = first + 1; k < last; ++k) acc = combine(acc, below[k]);
            level[j] = acc;
        }
        levels.push_back(std::move(level));
        below = levels.back();
    }
}

uint16_t Min16(uint16_t a, uint16_t b) noexcept { return std::min(a, b); }
uint16_t Max16(uint16_t a, uint16_t b) noexcept { return std::max(a, b); }

// Runs the running average; stores floor(avg) per step and the first level of
// block minima and maxima. `magnitude(k)` is the step's input for step k >= 0,
// `seed` the value the average starts from.
template <class Magnitude>
void Average(double seed, std::size_t stepCount, uint32_t n, Magnitude magnitude, uint16_t* values,
             std::vector<uint16_t>& blockMin, std::vector<uint16_t>& blockMax) {
    const double weight = double(n - 1);
    const double divisor = double(n);
    double avg = seed;
    const std::size_t blockCount = (stepCount + kFan - 1) / kFan;
    blockMin.resize(blockCount);
    blockMax.resize(blockCount);
    for (std::size_t b = 0; b < blockCount; ++b) {
        const std::size_t first = b * kFan;
        const std::size_t last = std::min(stepCount, first + kFan);
        uint16_t lo = std::numeric_limits<uint16_t>::max();
        uint16_t hi = 0;
        for (std::size_t k = first; k < last; ++k) {
            avg = (weight * avg + double(magnitude(k))) / divisor;
            const auto v = uint16_t(avg);  // avg lies in [0, 32768]: truncation is floor
            values[k] = v;
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        blockMin[b] = lo;
        blockMax[b] = hi;
    }
}

}  // namespace

SliceIndex SliceIndex::Build(std::span<const int16_t> samples, bool mono, uint32_t rateHz,
                             uint32_t averagingWindow) {
    if (samples.size() > std::numeric_limits<uint32_t>::max()) {
        throw std::length_error("SliceIndex: buffer longer than 2^32 - 1 samples");
    }
    SliceIndex index;
    index.mono_ = mono;
    index.rateHz_ = rateHz;
    index.averagingWindow_ = averagingWindow;
    index.n_ = units::AveragingLength(averagingWindow, rateHz);
    index.extent_ = uint32_t(mono ? samples.size() : samples.size() / 2);
    if (index.extent_ < 2) return index;
    index.stepCount_ = index.extent_ - 1;
    index.values_ = std::make_unique_for_overwrite<uint16_t[]>(index.stepCount_);

    index.maxLevels_.emplace_back();
    index.minLevels_.emplace_back();
    const int16_t* s = samples.data();
    if (mono) {
        Average(double(Magnitude(s[0])), index.stepCount_, index.n_,
                [s](std::size_t k) { return Magnitude(s[k + 1]); }, index.values_.get(),
                index.minLevels_[0], index.maxLevels_[0]);
    } else {
        Average(double((Magnitude(s[0]) + Magnitude(s[1])) / 2), index.stepCount_, index.n_,
                [s](std::size_t k) {
                    return (Magnitude(s[2 * k + 2]) + Magnitude(s[2 * k + 3])) / 2;
                },
                index.values_.get(), index.minLevels_[0], index.maxLevels_[0]);
    }
    Stack(index.maxLevels_, index.Values(), Max16);
    Stack(index.minLevels_, index.Values(), Min16);
    index.quietBlockLevels_.resize(index.maxLevels_.size());
    for (std::size_t l = 0; l < index.maxLevels_.size(); ++l) {
        Stack(index.quietBlockLevels_[l], index.maxLevels_[l], Min16);
    }
    return index;
}

std::size_t SliceIndex::MemoryBytes() const noexcept {
    std::size_t bytes = stepCount_ * sizeof(uint16_t);
    auto add = [&bytes](const Levels& levels) {
        for (const auto& level : levels) bytes += level.size() * sizeof(uint16_t);
    };
    add(maxLevels_);
    add(minLevels_);
    for (const auto& levels : quietBlockLevels_) add(levels);
    return bytes;
}

uint32_t SliceIndex::PositionOf(std::size_t step) const noexcept {
    const auto i = uint32_t(step + 1);  // the sample (frame) index the step reads
    return i > n_ ? i - n_ : 0;
}

std::size_t SliceIndex::NextLoud(std::size_t from, uint32_t level) const noexcept {
    return Pyramid{Values(), maxLevels_}.FindForward(from, [level](uint16_t v) { return v >= level; });
}

std::size_t SliceIndex::PrevLoud(std::size_t before, uint32_t level) const noexcept {
    return Pyramid{Values(), maxLevels_}.FindBackward(before, [level](uint16_t v) { return v >= level; });
}

// From a loud step, the next onset that follows a quiet run [a, b] with
// pos(b) - pos(a) >= minGap; kNone when no such onset exists. Shorter quiet runs
// change nothing in the result, so they are skipped: any run of at least
// minGap + 1 steps contains a whole aligned block of B = 16^l steps when
// 2B - 1 <= minGap + 1, and such all-quiet blocks are found through the minima of
// the block maxima.
std::size_t SliceIndex::NextSplitOnset(std::size_t loudStep, uint32_t level,
                                       uint32_t minGap) const noexcept {
    const uint64_t runSteps = uint64_t(minGap) + 1;
    std::size_t l = 0;
    uint64_t blockSteps = 1;
    while (l < maxLevels_.size() && 2 * (blockSteps * kFan) - 1 <= runSteps) {
        ++l;
        blockSteps *= kFan;
    }
    const Pyramid blocks = l == 0 ? Pyramid{Values(), minLevels_}
                                  : Pyramid{maxLevels_[l - 1], quietBlockLevels_[l - 1]};
    auto quiet = [level](uint16_t v) { return v < level; };

    std::size_t x = loudStep;
    for (;;) {
        const std::size_t block = blocks.FindForward(x / blockSteps + 1, quiet);
        if (block == kNone) return kNone;
        const std::size_t blockStart = block * blockSteps;
        const std::size_t prevLoud = PrevLoud(blockStart, level);  // exists: x is loud
        const std::size_t runStart = prevLoud == kNone ? 0 : prevLoud + 1;
        const std::size_t nextLoud = NextLoud(blockStart + blockSteps, level);
        if (nextLoud == kNone) return kNone;  // quiet to the end: no onset follows
        if (PositionOf(nextLoud - 1) - PositionOf(runStart) >= minGap) return nextLoud;
        x = nextLoud;
    }
}

void SliceIndex::Slice(double thresholdDb, double releaseMs, uint32_t tag,
                       std::vector<Region>& out) const {
    if (stepCount_ == 0) return;
    const SliceParameters p = DeriveSliceParameters(thresholdDb, releaseMs, averagingWindow_, rateHz_);
    auto offer = [&](const Region& r) {
        if (p.minGap <= r.length && r.length < extent_) out.push_back(r);
    };

    const std::size_t firstOnset = NextLoud(0, p.level);
    if (firstOnset == kNone) return;
    Region working{PositionOf(firstOnset), 0, tag};
    // A quiet lead-in long enough to count as a gap closes an empty region first.
    if (firstOnset > 0 && PositionOf(firstOnset - 1) >= p.minGap) offer(working);

    for (std::size_t onset = firstOnset;;) {
        onset = NextSplitOnset(onset, p.level, p.minGap);
        if (onset == kNone) break;
        const uint32_t pos = PositionOf(onset);
        working.length = pos - working.start;
        offer(working);
        working = Region{pos, 0, tag};
    }
    working.length = extent_ - working.start - 1;
    offer(working);
}

void SliceIndex::Slice(double thresholdDb, double releaseMs, uint32_t tag,
                       ChainedList<Region>& out) const {
    std::vector<Region> found;
    Slice(thresholdDb, releaseMs, tag, found);
    for (const Region& r : found) out.Append(std::make_unique<Region>(r));
}

}  // namespace korvane
