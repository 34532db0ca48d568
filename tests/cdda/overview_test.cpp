#include "cdda/overview.h"
#include "cdda/track_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace korvane::cdda {
namespace {

// Written independently of the implementation: the rule spelled out one frame at a time.
std::int16_t ReferenceSample(const std::vector<int>& frameValues) {
    long sum = 0;
    for (std::size_t f = 0; f < 4; ++f) {
        const int left = frameValues[2 * f], right = frameValues[2 * f + 1];
        const int leftHalf = left >= 0 ? left / 2 : -((-left) / 2);
        const int rightHalf = right >= 0 ? right / 2 : -((-right) / 2);
        sum += static_cast<std::int16_t>(leftHalf + rightHalf);
    }
    const long q = sum >= 0 ? sum / 4 : -((-sum) / 4);
    return static_cast<std::int16_t>(q);
}

TEST(DownmixOverview, WorkedGroupsTruncateTowardZeroAndStayInRange) {
    const struct {
        std::vector<std::int16_t> values;
        std::int16_t expected;
    } groups[] = {
        {{1000, 3000, -1, -1, 0, 0, 7, 8}, 501},
        {{-1, -3, 0, 0, 0, 0, 0, 0}, 0},  // halves 0 + -1; sum -1, /4 -> 0 (not -1)
        {std::vector<std::int16_t>(8, -7), -6},  // halves -3 each, sum -24 -> -6
        {std::vector<std::int16_t>(8, INT16_MIN), INT16_MIN},
        {std::vector<std::int16_t>(8, INT16_MAX), 32766},  // 16383 + 16383 per frame
    };
    for (const auto& g : groups) {
        std::vector<std::int16_t> out(1);
        DownmixOverview(g.values, out);
        EXPECT_EQ(out[0], g.expected) << g.values[0];
    }
}

TEST(DownmixOverview, MatchesReferenceOnRandomAudio) {
    std::mt19937 rng(1234);
    std::uniform_int_distribution<int> dist(INT16_MIN, INT16_MAX);
    std::vector<std::int16_t> values(8 * 5000);
    for (auto& v : values) v = static_cast<std::int16_t>(dist(rng));
    std::vector<std::int16_t> out(5000);
    DownmixOverview(values, out);
    for (std::size_t g = 0; g < out.size(); ++g) {
        std::vector<int> group(values.begin() + 8 * g, values.begin() + 8 * g + 8);
        ASSERT_EQ(out[g], ReferenceSample(group)) << "group " << g;
    }
}

TEST(DownmixOverview, PartialFinalGroupIsZeroPaddedAndBufferIsChecked) {
    const std::vector<std::int16_t> values{400, 400, 400, 400, 9999, 9999, 9999, 9999, 800, 800};
    EXPECT_EQ(OverviewSamplesFor(values.size()), 2u);
    std::vector<std::int16_t> out(2, 12345);
    DownmixOverview(values, out);
    EXPECT_EQ(out[1], 200);  // (800 + 0 + 0 + 0) / 4
    std::vector<std::int16_t> tooShort(1);
    EXPECT_THROW(DownmixOverview(values, tooShort), std::length_error);
}

TEST(DownmixOverviewBytes, LittleEndianBytesGiveSameResultAsValues) {
    // A staircase over one sector and a bit, crossing the internal block size too.
    const std::size_t valueCount = 2 * kFramesPerSector * 30;  // 30 sectors
    std::vector<std::int16_t> values(valueCount);
    for (std::size_t i = 0; i < valueCount; ++i) values[i] = static_cast<std::int16_t>(i * 37 - 20000);
    std::vector<std::uint8_t> bytes(2 * valueCount);
    for (std::size_t i = 0; i < valueCount; ++i) {
        const auto u = static_cast<std::uint16_t>(values[i]);
        bytes[2 * i] = static_cast<std::uint8_t>(u & 0xFF);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(u >> 8);
    }
    std::vector<std::int16_t> expected(valueCount / 8);
    DownmixOverview(values, expected);
    std::vector<std::uint8_t> outBytes(valueCount / 4);
    DownmixOverviewBytes(bytes, outBytes);
    ASSERT_EQ(outBytes.size(), OverviewBytesForSectors(30));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto got = static_cast<std::int16_t>(outBytes[2 * i] | (outBytes[2 * i + 1] << 8));
        ASSERT_EQ(got, expected[i]) << "sample " << i;
    }
}

TEST(TrackFileLayout, OverviewPartLiesInTheLastNinth) {
    for (std::uint64_t sectors : {1u, 24u, 49u, 18934u}) {
        const std::uint64_t length = TrackFileBytesForSectors(sectors);
        EXPECT_EQ(length, 2646 * sectors);
        EXPECT_TRUE(IsTrackFileLength(length));
        EXPECT_EQ(OverviewPartOffset(length), AudioBytesForSectors(sectors));
        EXPECT_EQ(OverviewPartBytes(length), OverviewBytesForSectors(sectors));
        EXPECT_EQ(OverviewSampleCount(length), 147 * sectors);
    }
    EXPECT_FALSE(IsTrackFileLength(2646 + 9));
    EXPECT_EQ(TrackFileBytesForOverviewSamples(3), 54u);
    EXPECT_DOUBLE_EQ(SecondsForOverviewSamples(11025), 1.0);
}

}  // namespace
}  // namespace korvane::cdda
