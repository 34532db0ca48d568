#include "cdda/overview.h"
#include "cdda/track_file.h"
#include "tests/support/test_disc.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace korvane::cdda {
namespace {

// Random audio over 30 sectors (crossing the internal block size) gives the overview
// computed independently of the product. Random bytes, unlike the test discs' staircase,
// hold groups whose four halves overflow 16 bits when added.
TEST(DownmixOverview, BytesMatchTheIndependentRuleOnRandomAudio) {
    std::mt19937 rng(1234);
    std::uniform_int_distribution<int> dist(0, 255);
    std::vector<std::uint8_t> bytes(30 * 2352);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(dist(rng));
    const auto expected = korvane::testing::IndependentOverview(bytes);
    std::vector<std::uint8_t> fromBytes(OverviewBytesForSectors(30));
    DownmixOverviewBytes(bytes, fromBytes);
    EXPECT_EQ(fromBytes, expected);
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

}  // namespace
}  // namespace korvane::cdda
