#pragma once
// Min/max levels of a 16-bit sample buffer for drawing a waveform at any zoom.
//
// Level k holds the minimum and maximum of every aligned block of kBaseBlock << k
// samples. Range(begin, end) combines the largest aligned blocks that fit, so a pixel
// column costs O(kBaseBlock + levels) whatever its width: zooming out to a whole
// 80-minute track (53 million overview samples) stays as cheap per column as zooming
// in. Memory: about one byte per two samples.
//
// Thread contract: Build on one thread; Range is const and may run concurrently with
// other Range calls. The sample buffer is borrowed and must outlive the levels (or the
// next Build).
#include "regions/large_buffer.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvane::editor {

struct MinMax {
    std::int16_t min = 0;
    std::int16_t max = 0;
};

class WaveformLevels {
public:
    static constexpr std::size_t kBaseBlock = 16;

    // Borrows `samples` (`count` values; with `stereo` interleaved pairs, shown as the
    // mean of both channels, so the level count is count / 2 frames) and builds the
    // levels. nullptr or 0 gives empty levels.
    void Build(const std::int16_t* samples, std::size_t count, bool stereo);
    void Clear() noexcept;

    // Number of drawable values (mono samples or stereo frames).
    std::size_t Size() const noexcept { return size_; }
    std::size_t LevelCount() const noexcept { return levels_.size(); }

    // The value at `index` (< Size()).
    std::int16_t At(std::size_t index) const noexcept;
    // Minimum and maximum over [begin, end), clipped to the data; {0, 0} when empty.
    MinMax Range(std::size_t begin, std::size_t end) const noexcept;

private:
    const std::int16_t* samples_ = nullptr;
    std::size_t size_ = 0;
    bool stereo_ = false;
    std::vector<LargeVector<MinMax>> levels_;  // huge pages: a fresh 80-minute track needs 26 MB
};

}  // namespace korvane::editor
