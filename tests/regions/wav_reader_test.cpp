#include "regions/wav_reader.h"

#include "wav_builder.h"

#include <gtest/gtest.h>

namespace korvane::wavread {
namespace {

using test::WavBuilder;

const std::vector<int16_t> kStaircase = {0, 1, 2, 3, -4, -5, 32767, -32768};

std::string ErrorOf(const std::vector<uint8_t>& bytes) {
    try {
        ParseWav(bytes);
    } catch (const WavError& e) {
        return e.what();
    }
    return "";
}

TEST(WavReader, ReadsPlainMonoAndStereo) {
    const auto mono = WavBuilder()
                          .Chunk("fmt ", WavBuilder::Format(1, 1, 22050, 16))
                          .Chunk("data", WavBuilder::Pcm(kStaircase))
                          .Bytes();
    const WavInfo m = ParseWav(mono);
    EXPECT_EQ(m.channelCount, 1);
    EXPECT_EQ(m.sampleRateHz, 22050u);
    EXPECT_EQ(m.frameCount, kStaircase.size());
    EXPECT_EQ(m.dataOffset, 44u);
    EXPECT_FALSE(m.Truncated());
    EXPECT_EQ(DecodeSamples(mono, m), kStaircase);

    const auto stereo = WavBuilder()
                            .Chunk("fmt ", WavBuilder::Format(1, 2, 44100, 16))
                            .Chunk("data", WavBuilder::Pcm(kStaircase))
                            .Bytes();
    const WavInfo s = ParseWav(stereo);
    EXPECT_EQ(s.channelCount, 2);
    EXPECT_EQ(s.frameCount, kStaircase.size() / 2);
    EXPECT_EQ(DecodeSamples(stereo, s), kStaircase);
}

TEST(WavReader, SkipsOtherChunksWithOddPaddingAndExtensibleFormat) {
    const std::vector<uint8_t> oddList = {'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 1, 0, 0, 0, 'x'};
    const auto bytes = WavBuilder()
                           .Chunk("LIST", oddList)  // odd size, padded
                           .Chunk("fmt ", WavBuilder::Extensible(2, 48000, 1))
                           .Chunk("fact", {4, 0, 0, 0})
                           .Chunk("data", WavBuilder::Pcm(kStaircase))
                           .Chunk("cue ", {0, 0, 0, 0})
                           .Bytes();
    const WavInfo info = ParseWav(bytes);
    EXPECT_EQ(info.formatTag, 0xFFFE);
    EXPECT_EQ(info.sampleRateHz, 48000u);
    EXPECT_EQ(DecodeSamples(bytes, info), kStaircase);

    // The same with the pad byte missing after the odd chunk.
    const auto unpadded = WavBuilder()
                              .Chunk("LIST", oddList, false)
                              .Chunk("fmt ", WavBuilder::Format(1, 1, 8000, 16))
                              .Chunk("data", WavBuilder::Pcm(kStaircase))
                              .Bytes();
    EXPECT_EQ(DecodeSamples(unpadded, ParseWav(unpadded)), kStaircase);
}

TEST(WavReader, DataBeforeFormatAndWrongRiffSizeAreTolerated) {
    const auto bytes = WavBuilder()
                           .Chunk("data", WavBuilder::Pcm(kStaircase))
                           .Chunk("fmt ", WavBuilder::Format(1, 1, 11025, 16))
                           .Bytes("RIFF", "WAVE", 0);
    EXPECT_EQ(DecodeSamples(bytes, ParseWav(bytes)), kStaircase);
}

TEST(WavReader, TruncatedAndHugeDeclaredDataAreReportedNotTrusted) {
    auto pcm = WavBuilder::Pcm(kStaircase);
    pcm.push_back(0x7F);  // half a sample: ignored
    const auto cut = WavBuilder()
                         .Chunk("fmt ", WavBuilder::Format(1, 2, 44100, 16))
                         .Header("data", 1000)
                         .Raw(pcm)
                         .Bytes();
    const WavInfo info = ParseWav(cut);
    EXPECT_TRUE(info.Truncated());
    EXPECT_EQ(info.declaredDataBytes, 1000u);
    EXPECT_EQ(info.availableDataBytes, pcm.size());
    EXPECT_EQ(info.frameCount, kStaircase.size() / 2);
    EXPECT_EQ(DecodeSamples(cut, info), kStaircase);

    const auto huge = WavBuilder()
                          .Chunk("fmt ", WavBuilder::Format(1, 1, 44100, 16))
                          .Header("data", 0xFFFFFFFFu)
                          .Raw(WavBuilder::Pcm(kStaircase))
                          .Bytes("RIFF", "WAVE", 0xFFFFFFFF);
    const WavInfo h = ParseWav(huge);
    EXPECT_TRUE(h.Truncated());
    EXPECT_EQ(h.frameCount, kStaircase.size());
}

TEST(WavReader, RejectsWhatIsNotA16BitPcmWav) {
    const auto data = WavBuilder::Pcm(kStaircase);
    auto with = [&](std::vector<uint8_t> format) {
        return WavBuilder().Chunk("fmt ", format).Chunk("data", data).Bytes();
    };
    EXPECT_NE(ErrorOf({}).find("not a WAV"), std::string::npos);
    EXPECT_NE(ErrorOf({'I', 'D', '3', 4, 0, 0, 0, 0, 0, 0, 0, 0, 0}).find("no RIFF"), std::string::npos);
    EXPECT_NE(ErrorOf(WavBuilder().Chunk("fmt ", {}).Bytes("RIFF", "AVI ")).find("AVI"), std::string::npos);
    EXPECT_NE(ErrorOf(WavBuilder().Bytes("RIFX")).find("RIFX"), std::string::npos);
    EXPECT_NE(ErrorOf(with(WavBuilder::Format(3, 1, 44100, 32))).find("floating point"), std::string::npos);
    EXPECT_NE(ErrorOf(with(WavBuilder::Format(1, 1, 44100, 8))).find("8-bit"), std::string::npos);
    EXPECT_NE(ErrorOf(with(WavBuilder::Format(1, 1, 44100, 24))).find("24-bit"), std::string::npos);
    EXPECT_NE(ErrorOf(with(WavBuilder::Format(1, 6, 44100, 16))).find("6 channels"), std::string::npos);
    EXPECT_NE(ErrorOf(with(WavBuilder::Format(1, 2, 44100, 16, 2))).find("block alignment"), std::string::npos);
    EXPECT_NE(ErrorOf(with(WavBuilder::Format(1, 1, 0, 16))).find("rate 0"), std::string::npos);
    EXPECT_NE(ErrorOf(with(WavBuilder::Extensible(2, 44100, 3))).find("subformat 3"), std::string::npos);
    EXPECT_NE(ErrorOf(with({1, 0, 1, 0})).find("format chunk of 4"), std::string::npos);
    EXPECT_NE(ErrorOf(WavBuilder().Chunk("data", data).Bytes()).find("no format"), std::string::npos);
    EXPECT_NE(ErrorOf(WavBuilder().Chunk("fmt ", WavBuilder::Format(1, 1, 8000, 16)).Bytes()).find("no data"),
              std::string::npos);
    // A format chunk cut off by the end of the file.
    auto cutFormat = WavBuilder().Header("fmt ", 16).Raw({1, 0, 1, 0}).Bytes();
    EXPECT_NE(ErrorOf(cutFormat).find("truncated"), std::string::npos);
}

TEST(WavReader, EveryPrefixOfAGoodFileParsesOrFailsCleanly) {
    const auto bytes = WavBuilder()
                           .Chunk("LIST", {'a', 'b', 'c'})
                           .Chunk("fmt ", WavBuilder::Format(1, 2, 44100, 16))
                           .Chunk("data", WavBuilder::Pcm(kStaircase))
                           .Bytes();
    for (std::size_t n = 0; n <= bytes.size(); ++n) {
        const std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + std::ptrdiff_t(n));
        try {
            const WavInfo info = ParseWav(prefix);
            EXPECT_LE(info.dataOffset + info.availableDataBytes, n);
            EXPECT_EQ(DecodeSamples(prefix, info).size(), info.frameCount * 2);
            EXPECT_EQ(info.Truncated(), n < bytes.size());
        } catch (const WavError&) {
            EXPECT_LT(n, bytes.size());
        }
    }
}

}  // namespace
}  // namespace korvane::wavread
