// Importing audio files as track files: WAV files built byte by byte in the layouts found
// in the wild and broken ones, and files written through libsndfile in every accepted
// form, compared with what CD audio made from them must hold.
#include "track/audio_import.h"

#include "tests/support/audio_files.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <tuple>
#include <type_traits>

namespace {

using namespace korvane::testing;
using korvane::track::ImportError;
namespace fs = std::filesystem;

// Writes interleaved samples in `format`; `map` names the channels. Floats are full
// scale 1.0; ints are 16-bit values, written exactly into every width.
template <typename Sample>
void WriteAudio(const fs::path& path, int format, int rate, int channels, const std::vector<Sample>& samples,
                std::vector<int> map = {}) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    if (!map.empty()) sf_command(file, SFC_SET_CHANNEL_MAP_INFO, map.data(), static_cast<int>(map.size() * sizeof(int)));
    const auto frames = static_cast<sf_count_t>(samples.size()) / channels;
    if constexpr (std::is_same_v<Sample, float>) {
        sf_writef_float(file, samples.data(), frames);
    } else {
        sf_command(file, SFC_SET_SCALE_INT_FLOAT_WRITE, nullptr, SF_TRUE);  // into float formats at full scale 1.0
        std::vector<int> wide(samples.size());
        for (std::size_t i = 0; i < wide.size(); ++i) wide[i] = samples[i] * 65536;
        sf_writef_int(file, wide.data(), frames);
    }
    sf_close(file);
}

class AudioImportTest : public TempFolderTest {
protected:
    fs::path Wav(const WavSpec& spec, const std::string& name = "in.wav") {
        const auto path = dir_ / name;
        WriteAll(path, BuildWav(spec));
        return path;
    }
    // Imports into out/track.tmp and checks that a failure leaves the input as it was
    // and nothing in out/.
    korvane::track::ImportOutcome Import(const fs::path& file, const korvane::track::ImportIo& io = {}) {
        fs::create_directories(dir_ / "out");
        const auto before = ReadAll(file);
        auto outcome = korvane::track::ImportAudioToTrackFile(file, track_, io);
        EXPECT_EQ(ReadAll(file), before);
        if (!outcome.Ok()) {
            EXPECT_TRUE(fs::is_empty(dir_ / "out")) << outcome.detail;
        }
        return outcome;
    }
    // The stereo audio part of the imported track file, `frames` frames.
    std::vector<std::int16_t> TrackAudio(std::uint64_t frames) const {
        const auto bytes = ReadAll(track_);
        std::vector<std::int16_t> out(static_cast<std::size_t>(2 * frames));
        std::memcpy(out.data(), bytes.data(), std::min(bytes.size(), out.size() * 2));
        return out;
    }
    const fs::path track_ = dir_ / "out" / "track.tmp";
};

// The chunk layouts found in the wild and streamed files (sizes never filled in, read to
// the end with a warning) all give the track file the reader writes.
TEST_F(AudioImportTest, WavsFromTheWildBecomeTheTrackFileTheReaderWrites) {
    const auto samples = Staircase(588 * 3 + 5);
    const WavChunk list{"LIST", std::vector<std::byte>(27, std::byte{'x'})};  // odd: padded
    const WavChunk fact{"fact", {std::byte{1}, std::byte{0}, std::byte{0}, std::byte{0}}};
    const std::vector<std::string> streamed = {
        "the WAV file does not say how long its audio is (written to a pipe); it was read to the end of the file"};
    const struct {
        WavSpec spec;
        std::vector<std::string> warnings;
    } cases[] = {
        {{.samples = samples}, {}},
        {{.fmtBytes = 18, .samples = samples}, {}},
        {{.samples = samples, .before = {list}, .after = {fact}}, {}},
        {{.fmtBytes = 40, .samples = samples, .before = {fact}, .after = {list, list}}, {}},
        {{.samples = samples, .riffSize = 0xFFFFFFFFu}, {}},  // a writer that never finished the header
        {{.samples = samples, .riffSize = 0, .dataSize = 0}, streamed},
        {{.samples = samples, .riffSize = 0xFFFFFFFFu, .dataSize = 0xFFFFFFFFu}, streamed},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto outcome = Import(Wav(cases[i].spec));
        EXPECT_EQ(std::tuple(outcome.error, outcome.frames, outcome.sectorCount, outcome.Warnings()),
                  std::tuple(ImportError::kNone, std::uint64_t{588 * 3 + 5}, std::uint64_t{4}, cases[i].warnings))
            << i << ": " << outcome.detail;
        EXPECT_EQ(ReadAll(track_), ExpectedTrackFile(samples)) << i;
    }
    // A data chunk of odd size: the trailing half sample is not a frame.
    auto odd = BuildWav({.samples = samples});
    odd.push_back(std::byte{0x11});
    odd[40] = std::byte(std::to_integer<int>(odd[40]) + 1);  // data size + 1
    WriteAll(dir_ / "odd.wav", odd);
    EXPECT_EQ(Import(dir_ / "odd.wav").frames, 588u * 3 + 5);
}

TEST_F(AudioImportTest, MalformedFilesAreRefusedAndLeaveNothing) {
    const auto samples = Staircase(700);
    const auto good = BuildWav({.samples = samples});
    // What the decoder refuses to open (not audio, malformed), and what only the data
    // chunk's check finds (declared beyond the end of the file).
    std::vector<std::vector<std::byte>> broken = {
        {},                                                  // empty
        BuildWav({.samples = samples, .truncateTo = good.size() - 2}),        // truncated data
        BuildWav({.samples = samples, .dataSize = 0xFFFFFFF0u}),               // huge declared data
        BuildWav({.samples = samples, .before = {{"LIST", {}}}, .omitFmt = true}),  // no fmt
        BuildWav({.samples = samples, .omitData = true}),                     // no data
    };
    // A chunk before "data" that claims more bytes than the file has.
    auto hugeList = BuildWav({.samples = samples, .before = {{"LIST", std::vector<std::byte>(8)}}});
    hugeList[16] = std::byte{0xF0}, hugeList[17] = hugeList[18] = hugeList[19] = std::byte{0xFF};
    broken.push_back(hugeList);

    for (std::size_t i = 0; i < broken.size(); ++i) {
        const auto path = dir_ / ("broken" + std::to_string(i) + ".wav");
        WriteAll(path, broken[i]);
        const auto outcome = Import(path);
        EXPECT_EQ(outcome.error, ImportError::kMalformed) << i << ": " << outcome.detail;
        EXPECT_FALSE(outcome.detail.empty()) << i;
    }
}

// A write failing part way: the import reports it and leaves no partial file (the
// track-file writer's own test puts the failure at every write in turn).
TEST_F(AudioImportTest, AFullDiskLeavesNoTrackFile) {
    const auto wav = Wav({.samples = Staircase(588 * 30)});
    auto failing = [](korvane::platform::SinkFaults faults) {
        korvane::track::ImportIo io;
        io.wrapSink = [faults](auto inner) {
            return std::make_unique<korvane::platform::FaultInjectingSink>(std::move(inner), faults);
        };
        return io;
    };
    EXPECT_EQ(Import(wav, failing({.writeLimitBytes = 60'000})).error, ImportError::kCannotWrite);
    // An existing track file survives a failed import byte for byte.
    WriteAll(track_, {std::byte{3}});
    EXPECT_EQ(korvane::track::ImportAudioToTrackFile(wav, track_, failing({.failSync = true})).error,
              ImportError::kCannotWrite);
    EXPECT_EQ(ReadAll(track_), std::vector<std::byte>{std::byte{3}});
}

// Channel c of frame f holds 3000 c plus a ramp over f. 16-bit values come out exactly
// from every container; from wider ones (the same values in more bits) within the
// dither. Which channels reach the left and the right shows in the offsets, a mix within
// the dither.
TEST_F(AudioImportTest, EveryContainerWidthAndChannelLayoutImportsAtItsPrecision) {
    const struct {
        const char* name;
        int format, channels;
        std::vector<int> map;
        const char* rule;
        int left, right, tolerance;  // offsets reaching left and right; in LSB
    } cases[] = {
        // Containers differ only inside libsndfile: one compressed, one big-endian, one extensible.
        {"a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, {}, "stereo", 0, 3000, 0},
        {"a.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, {}, "stereo", 0, 3000, 0},
        {"ext.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 2, {}, "stereo", 0, 3000, 0},
        {"24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, {}, "stereo", 0, 3000, 1},
        {"32.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 2, {}, "stereo", 0, 3000, 1},
        {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, {}, "stereo", 0, 3000, 1},
        // 5.1 in the extensible WAV's speaker order: the front pair comes out untouched.
        {"map.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 6,
         {SF_CHANNEL_MAP_FRONT_LEFT, SF_CHANNEL_MAP_FRONT_RIGHT, SF_CHANNEL_MAP_FRONT_CENTER, SF_CHANNEL_MAP_LFE,
          SF_CHANNEL_MAP_REAR_LEFT, SF_CHANNEL_MAP_REAR_RIGHT},
         "front left/right of 6 channels", 0, 3000, 0},
        {"mono.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, {}, "mono to both channels", 0, 0, 0},
        {"three.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 3, {}, "3 channels mixed evenly into both", 3000, 3000, 1},
    };
    auto ramp = [](int f) { return f * 37 % 30000 - 15000; };
    for (const auto& c : cases) {
        std::vector<int> samples(std::size_t(c.channels) * 3000);
        for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = int(i % c.channels) * 3000 + ramp(int(i / c.channels));
        WriteAudio(dir_ / c.name, c.format, 44100, c.channels, samples, c.map);
        const auto outcome = Import(dir_ / c.name);
        ASSERT_TRUE(outcome.Ok()) << c.name << ": " << outcome.detail;
        EXPECT_EQ(std::tuple(outcome.channelRule, outcome.converted), std::tuple(c.rule, c.tolerance != 0)) << c.name;
        EXPECT_NE(outcome.sourceFormat.find("44100 Hz, " + std::to_string(c.channels) + " channel"), std::string::npos)
            << outcome.sourceFormat;
        const auto got = TrackAudio(3000);
        int worst = 0;
        for (int f = 0; f < 3000; ++f)
            worst = std::max({worst, std::abs(got[2 * f] - ramp(f) - c.left), std::abs(got[2 * f + 1] - ramp(f) - c.right)});
        EXPECT_LE(worst, c.tolerance) << c.name;
    }
}

TEST_F(AudioImportTest, ClippingIsCountedAndReported) {
    std::vector<float> loud(2 * 500, 0.25f);
    for (std::size_t i = 0; i < 40; ++i) loud[i * 10] = 1.5f;
    WriteAudio(dir_ / "loud.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 2, loud);
    const auto outcome = Import(dir_ / "loud.wav");
    ASSERT_TRUE(outcome.Ok()) << outcome.detail;
    EXPECT_EQ(outcome.Warnings(), std::vector<std::string>{"40 samples clipped in the conversion to 16 bits"});
}

// A 1 kHz sine at 48 kHz: still 1 kHz at the same level, and what is left after removing
// the fitted sine is no more than 3 dB above the 16-bit TPDF dither floor.
TEST_F(AudioImportTest, ResamplingKeepsFrequencyLevelAndNoiseFloor) {
    constexpr int kRate = 48000, kFrames = 48000;
    constexpr double kAmplitude = 0.5;
    std::vector<float> sine(2 * kFrames);
    for (int i = 0; i < kFrames; ++i)
        sine[2 * i] = sine[2 * i + 1] =
            static_cast<float>(kAmplitude * std::sin(2 * std::numbers::pi * 1000.0 * i / kRate));
    WriteAudio(dir_ / "sine48.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, kRate, 2, sine);
    const auto outcome = Import(dir_ / "sine48.wav");
    ASSERT_TRUE(outcome.Ok()) << outcome.detail;
    ASSERT_EQ(outcome.frames, 44100u);
    const auto got = TrackAudio(44100);
    // Least-squares fit of a 1 kHz sine and cosine over the middle (filter edges left out).
    double ss = 0, cc = 0, sc = 0, ys = 0, yc = 0;
    const int from = 2000, to = 42000;
    for (int i = from; i < to; ++i) {
        const double w = 2 * std::numbers::pi * 1000.0 * i / 44100.0, s = std::sin(w), c = std::cos(w);
        ss += s * s, cc += c * c, sc += s * c, ys += got[2 * i] * s, yc += got[2 * i] * c;
    }
    const double det = ss * cc - sc * sc, a = (ys * cc - yc * sc) / det, b = (yc * ss - ys * sc) / det;
    const double level = 20 * std::log10(std::hypot(a, b) / (kAmplitude * 32768.0));
    EXPECT_NEAR(level, 0.0, 0.01);
    double residual = 0;
    for (int i = from; i < to; ++i) {
        const double w = 2 * std::numbers::pi * 1000.0 * i / 44100.0;
        const double e = got[2 * i] - (a * std::sin(w) + b * std::cos(w));
        residual += e * e;
    }
    residual /= (to - from);
    // Rounding (1/12 LSB^2) plus triangular dither of +-1 LSB (1/6 LSB^2).
    const double floor = 1.0 / 12 + 1.0 / 6;
    EXPECT_LE(10 * std::log10(residual / floor), 3.0) << residual;
}

}  // namespace
