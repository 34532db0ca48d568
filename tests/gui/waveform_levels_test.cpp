#include "track/editor_ctrl/waveform_levels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace korvane::editor {
namespace {

using Extremes = std::pair<int, int>;  // (min, max)

Extremes BruteForce(const std::vector<std::int16_t>& v, std::size_t b, std::size_t e) {
    e = std::min(e, v.size());
    if (b >= e) return {0, 0};
    const auto [lo, hi] = std::minmax_element(v.begin() + static_cast<std::ptrdiff_t>(b),
                                              v.begin() + static_cast<std::ptrdiff_t>(e));
    return {*lo, *hi};
}

Extremes RangeOf(const WaveformLevels& levels, std::size_t b, std::size_t e) {
    const MinMax range = levels.Range(b, e);
    return {range.min, range.max};
}

TEST(WaveformLevels, RangeMatchesBruteForceOverRandomSpans) {
    // An odd length so the last block of every level is partial.
    std::vector<std::int16_t> samples(100'003);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> value(-32768, 32767);
    for (auto& s : samples) s = static_cast<std::int16_t>(value(rng));
    WaveformLevels levels;
    levels.Build(samples.data(), samples.size(), false);
    ASSERT_EQ(levels.Size(), samples.size());
    EXPECT_GT(levels.LevelCount(), 10u);
    std::uniform_int_distribution<std::size_t> pos(0, samples.size());
    for (int i = 0; i < 2000; ++i) {
        std::size_t b = pos(rng), e = pos(rng);
        if (b > e) std::swap(b, e);
        ASSERT_EQ(RangeOf(levels, b, e), BruteForce(samples, b, e)) << b << ".." << e;
    }
}

TEST(WaveformLevels, SpikesAreFoundAtEveryPositionAndBlockEdge) {
    // A lone extreme value must show however coarse the level that covers it.
    std::vector<std::int16_t> samples(4096, 0);
    WaveformLevels levels;
    for (std::size_t at : {std::size_t{0}, std::size_t{15}, std::size_t{16}, std::size_t{1023}, std::size_t{4095}}) {
        std::fill(samples.begin(), samples.end(), 0);
        samples[at] = -32768;
        levels.Build(samples.data(), samples.size(), false);
        EXPECT_EQ(RangeOf(levels, 0, samples.size()), Extremes(-32768, 0)) << at;
        EXPECT_EQ(RangeOf(levels, at, at + 1), Extremes(-32768, -32768)) << at;
        EXPECT_EQ(RangeOf(levels, 0, at), Extremes(0, 0)) << at;
        EXPECT_EQ(RangeOf(levels, at + 1, samples.size()), Extremes(0, 0)) << at;
    }
}

TEST(WaveformLevels, StereoIsTheMeanOfBothChannels) {
    const std::vector<std::int16_t> frames = {100, 300, -32768, -32768, 32767, 32767, 10, -10};
    WaveformLevels levels;
    levels.Build(frames.data(), frames.size(), true);
    ASSERT_EQ(levels.Size(), 4u);
    EXPECT_EQ((std::vector<int>{levels.At(0), levels.At(1), levels.At(2), levels.At(3)}), (std::vector<int>{200, -32768, 32767, 0}));
    EXPECT_EQ(RangeOf(levels, 0, 4), Extremes(-32768, 32767));
}

TEST(WaveformLevels, EmptyAndOutOfRangeQueries) {
    WaveformLevels levels;
    levels.Build(nullptr, 10, false);
    EXPECT_EQ(levels.Size(), 0u);
    EXPECT_EQ(RangeOf(levels, 0, 10), Extremes(0, 0));
    const std::vector<std::int16_t> one = {-5};
    levels.Build(one.data(), one.size(), false);
    EXPECT_EQ(RangeOf(levels, 0, 1000), Extremes(-5, -5));  // end clipped to the data
    EXPECT_EQ(RangeOf(levels, 1, 2), Extremes(0, 0));        // begins past the end: empty
    levels.Build(one.data(), one.size(), true);  // half a stereo frame: nothing
    EXPECT_EQ(levels.Size(), 0u);
}

}  // namespace
}  // namespace korvane::editor
