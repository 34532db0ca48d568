#include "export/normalize.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

using namespace korvane::wavexport;

std::vector<std::byte> ToBytes(const std::vector<std::int16_t>& samples) {
    std::vector<std::byte> out(samples.size() * 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto u = static_cast<std::uint16_t>(samples[i]);
        out[2 * i] = std::byte(u & 0xFF);
        out[2 * i + 1] = std::byte(u >> 8);
    }
    return out;
}

std::vector<std::int16_t> ToSamples(const std::vector<std::byte>& bytes) {
    std::vector<std::int16_t> out(bytes.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<std::int16_t>(std::to_integer<std::uint16_t>(bytes[2 * i]) |
                                           std::to_integer<std::uint16_t>(bytes[2 * i + 1]) << 8);
    return out;
}

std::vector<std::int16_t> Normalized(const std::vector<std::int16_t>& samples) {
    auto bytes = ToBytes(samples);
    NormalizeFrames(bytes);
    return ToSamples(bytes);
}

TEST(NormalizeFrames, SilenceStaysSilence) {
    const std::vector<std::int16_t> silence(1024, 0);
    EXPECT_EQ(PeakMagnitude(ToBytes(silence)), 0u);
    EXPECT_EQ(Normalized(silence), silence);
    EXPECT_EQ(NormalizationGain(0), 1.0);
}

TEST(NormalizeFrames, FullScaleIsUnchanged) {
    const std::vector<std::int16_t> full = {32767, -32767, 0, 1, -1, 12345, -20000, 32767};
    EXPECT_EQ(Normalized(full), full);
}

TEST(NormalizeFrames, ScalesToFullScaleWithTruncationTowardZero) {
    // Peak 16384: gain 32767/16384.
    EXPECT_EQ(Normalized({16384, -8192, 1, -1, 3, 0}), (std::vector<std::int16_t>{32767, -16383, 1, -1, 5, 0}));
    // A sample of -32768 counts 32768 and becomes -32767; the gain is below 1.
    EXPECT_EQ(Normalized({-32768, 32767, 16384, -2}), (std::vector<std::int16_t>{-32767, 32766, 16383, -1}));
    // Peak 49 is the smallest whose loudest sample ends at 32766.
    EXPECT_EQ(Normalized({49, -49}), (std::vector<std::int16_t>{32766, -32766}));
    EXPECT_EQ(Normalized({48, -48}), (std::vector<std::int16_t>{32767, -32767}));
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

TEST(NormalizeFrames, BlockwiseScalingMatchesWholeBufferExactly) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> dist(-9000, 9000);
    std::vector<std::int16_t> samples(100'003 * 2);
    for (auto& s : samples) s = static_cast<std::int16_t>(dist(random));
    samples[77'777] = -12'001;

    auto whole = ToBytes(samples);
    NormalizeFrames(whole);

    auto blocks = ToBytes(samples);
    const std::size_t blockBytes = 4 * 1000 + 4;  // uneven block size
    std::uint32_t peak = 0;
    for (std::size_t at = 0; at < blocks.size(); at += blockBytes)
        peak = std::max(peak, PeakMagnitude(std::span(blocks).subspan(at, std::min(blockBytes, blocks.size() - at))));
    EXPECT_EQ(peak, 12'001u);
    for (std::size_t at = 0; at < blocks.size(); at += blockBytes)
        ScaleSamples(std::span(blocks).subspan(at, std::min(blockBytes, blocks.size() - at)), NormalizationGain(peak));
    EXPECT_EQ(blocks, whole);
}

}  // namespace
