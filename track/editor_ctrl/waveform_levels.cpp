#include "track/editor_ctrl/waveform_levels.h"

#include <algorithm>

namespace korvane::editor {

void WaveformLevels::Clear() noexcept {
    samples_ = nullptr;
    size_ = 0;
    stereo_ = false;
    levels_.clear();
}

std::int16_t WaveformLevels::At(std::size_t index) const noexcept {
    if (!stereo_) return samples_[index];
    const int sum = samples_[2 * index] + samples_[2 * index + 1];
    return static_cast<std::int16_t>(sum / 2);
}

void WaveformLevels::Build(const std::int16_t* samples, std::size_t count, bool stereo) {
    Clear();
    if (samples == nullptr || count == 0) return;
    samples_ = samples;
    stereo_ = stereo;
    size_ = stereo ? count / 2 : count;
    if (size_ == 0) return;

    // Filled by push_back into reserved storage: nothing is zeroed before it is written.
    const std::size_t blocks = (size_ + kBaseBlock - 1) / kBaseBlock;
    LargeVector<MinMax> level;
    level.reserve(blocks);
    for (std::size_t block = 0; block < blocks; ++block) {
        const std::size_t begin = block * kBaseBlock;
        const std::size_t end = std::min(begin + kBaseBlock, size_);
        std::int16_t lo = 32767, hi = -32768;
        if (!stereo_) {
            for (std::size_t i = begin; i < end; ++i) {
                lo = std::min(lo, samples_[i]);
                hi = std::max(hi, samples_[i]);
            }
        } else {
            for (std::size_t i = begin; i < end; ++i) {
                const std::int16_t v = At(i);
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
        }
        level.push_back({lo, hi});
    }
    levels_.push_back(std::move(level));
    while (levels_.back().size() > 1) {
        const LargeVector<MinMax>& below = levels_.back();
        LargeVector<MinMax> above;
        const std::size_t count = (below.size() + 1) / 2;
        above.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            MinMax m = below[2 * i];
            if (2 * i + 1 < below.size()) {
                m.min = std::min(m.min, below[2 * i + 1].min);
                m.max = std::max(m.max, below[2 * i + 1].max);
            }
            above.push_back(m);
        }
        levels_.push_back(std::move(above));
    }
}

MinMax WaveformLevels::Range(std::size_t begin, std::size_t end) const noexcept {
    end = std::min(end, size_);
    if (begin >= end) return {};
    std::int16_t lo = 32767, hi = -32768;
    std::size_t pos = begin;
    while (pos < end) {
        if (pos % kBaseBlock != 0 || end - pos < kBaseBlock) {
            const std::int16_t v = At(pos);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
            ++pos;
            continue;
        }
        // The largest aligned block starting at pos that ends by `end`.
        std::size_t index = pos / kBaseBlock;
        std::size_t level = 0;
        std::size_t block = kBaseBlock;
        while (level + 1 < levels_.size() && index % 2 == 0 && pos + 2 * block <= end) {
            index /= 2;
            block *= 2;
            ++level;
        }
        const MinMax& m = levels_[level][index];
        lo = std::min(lo, m.min);
        hi = std::max(hi, m.max);
        pos += block;
    }
    return {lo, hi};
}

}  // namespace korvane::editor
