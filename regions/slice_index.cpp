#include "regions/slice_index.h"

#include "regions/auto_slicer.h"
#include "regions/running_average.h"
#include "regions/units.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <new>
#include <limits>
#include <stdexcept>

namespace korvane {
namespace {

constexpr std::size_t kFan = 16;
constexpr std::size_t kNone = SIZE_MAX;

// Offset of the first of p[0..count) that is >= level, or count.
std::size_t FirstAtLeast(const uint16_t* p, std::size_t count, uint32_t level) noexcept {
    std::size_t i = 0;
#if defined(__SSE2__)
    if (level > 0xFFFF) return count;
    const __m128i threshold = _mm_set1_epi16(int16_t(uint16_t(level)));
    const __m128i zero = _mm_setzero_si128();
    for (; i + 8 <= count; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        // Unsigned saturating level - v is 0 exactly where v >= level.
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_subs_epu16(threshold, v), zero));
        if (mask != 0) return i + std::size_t(__builtin_ctz(unsigned(mask)) / 2);
    }
#endif
    for (; i < count; ++i) {
        if (p[i] >= level) return i;
    }
    return count;
}

using Levels = std::vector<LargeVector<uint16_t>>;

// A level of the pyramid whose level 0 is `base` and level h > 0 is upper[h-1].
struct Pyramid {
    std::span<const uint16_t> base;
    std::span<const LargeVector<uint16_t>> upper;

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

    // First (last) index at level `stop` under entry idx of level h whose value
    // matches; the entry's aggregate must match.
    template <class Match>
    std::size_t DescendFirst(std::size_t h, std::size_t idx, Match match,
                             std::size_t stop = 0) const noexcept {
        while (h > stop) {
            const auto level = Level(--h);
            idx *= kFan;
            while (!match(level[idx])) ++idx;
        }
        return idx;
    }
    template <class Match>
    std::size_t DescendLast(std::size_t h, std::size_t idx, Match match) const noexcept {
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
        LargeVector<uint16_t> level((below.size() + kFan - 1) / kFan);
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
    index.values_ = LargeBuffer<uint16_t>(index.stepCount_);

    const std::size_t blockCount = (index.stepCount_ + kFan - 1) / kFan;
    index.maxLevels_.emplace_back(blockCount);
    index.minLevels_.emplace_back(blockCount);
    RunAverageFloors(samples, mono, index.n_,
                     {{index.values_.data(), index.stepCount_}, index.minLevels_[0], index.maxLevels_[0]});
    Stack(index.maxLevels_, index.Values(), Max16);
    Stack(index.minLevels_, index.Values(), Min16);
    index.quietBlockLevels_.resize(index.maxLevels_.size());
    for (std::size_t l = 0; l < index.maxLevels_.size(); ++l) {
        Stack(index.quietBlockLevels_[l], index.maxLevels_[l], Min16);
    }
    return index;
}

std::span<const uint16_t> SliceIndex::StepBlockMaxima() const noexcept {
    static_assert(kFan == 16, "sound ends walk blocks of 16 steps");
    if (maxLevels_.empty()) return {};
    return {maxLevels_[0].data(), maxLevels_[0].size()};
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

// Finds, from a loud step on, the onsets that start a new region: those that
// follow a quiet run [a, b] with pos(b) - pos(a) >= minGap. Shorter quiet runs
// change nothing in the result, so they are skipped without visiting their
// steps. A run of at least W = minGap + 1 steps covers whole aligned blocks of
// B = 16^l steps (B chosen with 2B - 1 <= W): a run whose first whole quiet block
// is j and whose next block with a loud step is k spans at most (k - j + 2)B - 2
// steps, so runs with too few whole quiet blocks are dropped on the block level,
// and runs with enough whole blocks to span W steps are taken without looking at
// their ends; only the few in between get their exact ends located.
//
// The onset step itself lies in block k; the search goes on from block k + 1
// without it. So onsets are handed out as a block of at most 256 steps to scan
// later, which lets the caller request those cache lines early and overlap the
// misses of several regions.
class SliceIndex::GapSearch {
public:
    GapSearch(const SliceIndex& index, uint32_t level, uint32_t minGap) noexcept
        : index_(index), level_(level), minGap_(minGap), steps_{index.Values(), index.maxLevels_} {
        runSteps_ = uint64_t(minGap) + 1;
        while (l_ < index.maxLevels_.size() && 2 * (blockSteps_ * kFan) - 1 <= runSteps_) {
            ++l_;
            blockSteps_ *= kFan;
        }
        neededBlocks_ = (runSteps_ + 2 - 2 * blockSteps_ + blockSteps_ - 1) / blockSteps_;
        scanLevel_ = std::min<std::size_t>(l_, 2);
        for (std::size_t k = 0; k < scanLevel_; ++k) scanSteps_ *= kFan;
    }

    // An onset: `step` when already known, else the first loud step of scan
    // block `block`; `group` narrows that to a group of 16 steps once known.
    struct Onset {
        std::size_t block;
        std::size_t step;
        std::size_t group = kNone;
    };

    // The next region-starting onset after the loud step given by fromBlock
    // (see FromBlock); false when there is none.
    bool Next(std::size_t& fromBlock, Onset& onset) const noexcept {
        const auto& ix = index_;
        const Pyramid quietBlocks = l_ == 0 ? Pyramid{ix.Values(), ix.minLevels_}
                                            : Pyramid{ix.maxLevels_[l_ - 1], ix.quietBlockLevels_[l_ - 1]};
        const Pyramid loudBlocks{steps_.Level(l_), std::span(ix.maxLevels_).subspan(l_)};
        auto quiet = [this](uint16_t v) { return v < level_; };
        auto loud = [this](uint16_t v) { return v >= level_; };
        for (;;) {
            const std::size_t first = quietBlocks.FindForward(fromBlock, quiet);
            if (first == kNone) return false;
            const std::size_t next = loudBlocks.FindForward(first + 1, loud);
            if (next == kNone) return false;  // quiet to the end: no onset follows
            fromBlock = next + 1;
            if (next - first < neededBlocks_) continue;
            onset = {steps_.DescendFirst(l_, next, loud, scanLevel_), kNone};
            const uint64_t wholeSteps = uint64_t(next - first) * blockSteps_;
            if (wholeSteps >= runSteps_ && uint64_t(first - 1) * blockSteps_ + 1 >= ix.n_) return true;
            // Borderline, or near the start where positions are clamped at 0:
            // locate both ends. Block first - 1 holds a loud step (the start
            // step or one after it).
            onset.step = Resolve(onset);
            const std::size_t runStart = steps_.DescendLast(l_, first - 1, loud) + 1;
            if (ix.PositionOf(onset.step - 1) - ix.PositionOf(runStart) >= minGap_) return true;
        }
    }

    // First stage of locating a found onset: request the line of block maxima
    // (or of steps) it will read.
    void Prefetch(const Onset& onset) const noexcept {
        if (onset.step != kNone) return;
        if (scanLevel_ == 2) {
            __builtin_prefetch(&index_.maxLevels_[0][onset.block * kFan]);
        } else {
            __builtin_prefetch(index_.values_.data() + onset.block * scanSteps_);
        }
    }

    // Second stage: narrow the block to its group of 16 steps and request that line.
    void Narrow(Onset& onset) const noexcept {
        if (onset.step != kNone || scanLevel_ != 2) return;
        auto loud = [this](uint16_t v) { return v >= level_; };
        onset.group = steps_.DescendFirst(2, onset.block, loud, 1);
        __builtin_prefetch(index_.values_.data() + onset.group * kFan);
    }

    std::size_t Resolve(const Onset& onset) const noexcept {
        if (onset.step != kNone) return onset.step;
        std::size_t first = onset.block * scanSteps_;
        std::size_t span = scanSteps_;
        if (onset.group != kNone) {
            first = onset.group * kFan;
            span = kFan;
        }
        const std::size_t count = std::min(span, index_.stepCount_ - first);
        return first + FirstAtLeast(index_.values_.data() + first, count, level_);
    }

    std::size_t FromBlock(std::size_t loudStep) const noexcept { return loudStep / blockSteps_ + 1; }

private:
    const SliceIndex& index_;
    uint32_t level_;
    uint32_t minGap_;
    Pyramid steps_;
    uint64_t runSteps_ = 1;
    std::size_t l_ = 0;
    uint64_t blockSteps_ = 1;
    uint64_t neededBlocks_ = 1;
    std::size_t scanLevel_ = 0;
    std::size_t scanSteps_ = 1;
};

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

    // Onsets are found a few ahead of their use and located in stages, each
    // stage requesting the cache line the next one reads, so the misses of
    // several regions overlap instead of following one another.
    const GapSearch search(*this, p.level, p.minGap);
    constexpr std::size_t kAhead = 16;
    constexpr std::size_t kNarrowAt = kAhead / 2;
    GapSearch::Onset queue[kAhead];
    std::size_t head = 0;
    std::size_t queued = 0;
    auto emit = [&](const GapSearch::Onset& onset) {
        const uint32_t pos = PositionOf(search.Resolve(onset));
        working.length = pos - working.start;
        offer(working);
        working = Region{pos, 0, tag};
    };
    std::size_t fromBlock = search.FromBlock(firstOnset);
    GapSearch::Onset onset{};
    while (search.Next(fromBlock, onset)) {
        search.Prefetch(onset);
        if (queued == kAhead) {
            emit(queue[head]);
            queue[head] = onset;
            head = (head + 1) % kAhead;
        } else {
            queue[(head + queued++) % kAhead] = onset;
        }
        if (queued > kNarrowAt) search.Narrow(queue[(head + queued - 1 - kNarrowAt) % kAhead]);
    }
    for (std::size_t k = 0; k < std::min(queued, kNarrowAt); ++k) {
        search.Narrow(queue[(head + queued - 1 - k) % kAhead]);  // the youngest, not yet narrowed
    }
    for (; queued > 0; --queued, head = (head + 1) % kAhead) emit(queue[head]);
    working.length = extent_ - working.start - 1;
    offer(working);
}

void SliceIndex::Slice(double thresholdDb, double releaseMs, uint32_t tag,
                       ChainedList<Region>& out) const {
    std::vector<Region> found;
    Slice(thresholdDb, releaseMs, tag, found);
    ChainedList<Region>::Appender appender(out);
    for (const Region& r : found) appender.Append(std::make_unique<Region>(r));
}

}  // namespace korvane
