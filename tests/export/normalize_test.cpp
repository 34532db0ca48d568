#include "export/normalize.h"

#include <gtest/gtest.h>

#include <span>
#include <vector>

namespace {

using namespace korvane::wavexport;

// The samples after NormalizeFrames over their bytes (little-endian, as on every host
// this builds for and in the track file).
std::vector<std::int16_t> Normalized(std::vector<std::int16_t> samples) {
    NormalizeFrames(std::as_writable_bytes(std::span(samples)));
    return samples;
}

TEST(NormalizeFrames, ScalesToFullScaleWithTruncationTowardZero) {
    const std::pair<std::vector<std::int16_t>, std::vector<std::int16_t>> cases[] = {
        {std::vector<std::int16_t>(1024, 0), std::vector<std::int16_t>(1024, 0)},  // silence stays silence
        {{32767, -32767, 0, 1, -1, 12345, -20000}, {32767, -32767, 0, 1, -1, 12345, -20000}},  // already full
        {{16384, -8192, 1, -1, 3, 0}, {32767, -16383, 1, -1, 5, 0}},  // peak 16384: gain 32767/16384
        // A sample of -32768 counts 32768 and becomes -32767; the gain is below 1.
        {{-32768, 32767, 16384, -2}, {-32767, 32766, 16383, -1}},
        // Peak 49 is the smallest whose loudest sample ends at 32766.
        {{49, -49}, {32766, -32766}},
        {{48, -48}, {32767, -32767}},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(Normalized(in), out) << in.front();
}

TEST(NormalizeFrames, LoudestSampleEndsAt32766ForExactly4981Peaks) {
    int short_of_full = 0;
    for (std::int32_t peak = 1; peak <= 32768; ++peak) {
        const auto out = Normalized({static_cast<std::int16_t>(peak == 32768 ? -32768 : peak)});
        const int magnitude = out[0] < 0 ? -out[0] : out[0];
        ASSERT_TRUE(magnitude == 32767 || magnitude == 32766) << peak;
        if (magnitude == 32766) ++short_of_full;
    }
    EXPECT_EQ(short_of_full, 4981);
}

}  // namespace
