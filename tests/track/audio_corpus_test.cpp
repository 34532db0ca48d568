// Audio files written through libsndfile in every accepted form, imported and compared
// with what CD audio made from them must hold.
#include "track/audio_import.h"

#include "tests/support/audio_files.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <type_traits>

namespace {

using namespace korvane::testing;
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
    } else if ((format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT) {
        std::vector<float> scaled(samples.begin(), samples.end());
        for (auto& v : scaled) v /= 32768.0f;
        sf_writef_float(file, scaled.data(), frames);
    } else {
        std::vector<int> wide(samples.size());
        for (std::size_t i = 0; i < wide.size(); ++i) wide[i] = samples[i] * 65536;
        sf_writef_int(file, wide.data(), frames);
    }
    sf_close(file);
}

// The stereo audio part of a track file of `frames` frames.
std::vector<std::int16_t> TrackAudio(const fs::path& track, std::uint64_t frames) {
    const auto bytes = ReadAll(track);
    std::vector<std::int16_t> out(static_cast<std::size_t>(2 * frames));
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

std::vector<int> Ramp(std::size_t count, int step) {
    std::vector<int> out(count);
    for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<int>(i * step % 60000) - 30000;
    return out;
}

class AudioCorpusTest : public TempFolderTest {
protected:
    korvane::track::ImportOutcome Import(const fs::path& file) {
        track_ = dir_ / "track.tmp";
        return korvane::track::ImportAudioToTrackFile(file, track_);
    }
    fs::path track_;
};

// 16-bit values come out exactly from every container; from wider ones (the same values
// in more bits) within the dither.
TEST_F(AudioCorpusTest, EveryContainerAndWidthImportsAtItsPrecision) {
    const auto ramp = Ramp(2 * 3000, 37);
    struct Case {
        const char* name;
        int format;
        int tolerance;  // in LSB
    };
    // Containers differ only inside libsndfile: one compressed, one big-endian, one extensible.
    const Case cases[] = {
        {"a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 0},   {"a.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 0},
        {"ext.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 0}, {"24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1},
        {"32.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 1},    {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1},
    };
    for (const Case& c : cases) {
        WriteAudio(dir_ / c.name, c.format, 44100, 2, ramp);
        const auto outcome = Import(dir_ / c.name);
        ASSERT_TRUE(outcome.Ok()) << c.name << ": " << outcome.detail;
        EXPECT_EQ(outcome.converted, c.tolerance != 0) << c.name;
        const auto got = TrackAudio(track_, 3000);
        int worst = 0;
        for (std::size_t i = 0; i < got.size(); ++i)
            worst = std::max(worst, std::abs(got[i] - ramp[i]));
        EXPECT_LE(worst, c.tolerance) << c.name;
        EXPECT_NE(outcome.sourceFormat.find("44100 Hz, 2 channels"), std::string::npos) << outcome.sourceFormat;
    }
}

// Channel c of frame f holds 3000 c + f: which channels reach the left and the right
// shows in the offsets, a mix within the dither.
TEST_F(AudioCorpusTest, ChannelRulesFollowTheChannelMap) {
    const struct {
        const char* name;
        int format, channels;
        std::vector<int> map;
        const char* rule;
        int left, right, tolerance;
    } cases[] = {
        // 5.1 in the extensible WAV's speaker order: the front pair comes out untouched.
        {"map.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 6,
         {SF_CHANNEL_MAP_FRONT_LEFT, SF_CHANNEL_MAP_FRONT_RIGHT, SF_CHANNEL_MAP_FRONT_CENTER, SF_CHANNEL_MAP_LFE,
          SF_CHANNEL_MAP_REAR_LEFT, SF_CHANNEL_MAP_REAR_RIGHT},
         "front left/right of 6 channels", 0, 3000, 0},
        {"mono.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, {}, "mono to both channels", 0, 0, 0},
        {"three.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 3, {}, "3 channels mixed evenly into both", 3000, 3000, 1},
    };
    for (const auto& c : cases) {
        std::vector<int> samples(std::size_t(c.channels) * 1000);
        for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = int(i % c.channels) * 3000 + int(i / c.channels);
        WriteAudio(dir_ / c.name, c.format, 44100, c.channels, samples, c.map);
        const auto outcome = Import(dir_ / c.name);
        ASSERT_TRUE(outcome.Ok()) << c.name << ": " << outcome.detail;
        EXPECT_EQ(outcome.channelRule, c.rule);
        const auto got = TrackAudio(track_, 1000);
        for (int f = 0; f < 1000; ++f) {
            EXPECT_NEAR(got[2 * f], f + c.left, c.tolerance) << c.name;
            EXPECT_NEAR(got[2 * f + 1], f + c.right, c.tolerance) << c.name;
        }
    }
}

TEST_F(AudioCorpusTest, ClippingIsCountedAndReported) {
    std::vector<float> loud(2 * 500, 0.25f);
    for (std::size_t i = 0; i < 40; ++i) loud[i * 10] = 1.5f;
    WriteAudio(dir_ / "loud.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 2, loud);
    const auto outcome = Import(dir_ / "loud.wav");
    ASSERT_TRUE(outcome.Ok()) << outcome.detail;
    EXPECT_EQ(outcome.clippedSamples, 40u);
    ASSERT_EQ(outcome.Warnings().size(), 1u);
    EXPECT_NE(outcome.Warnings()[0].find("40 samples clipped"), std::string::npos);
}

// A 1 kHz sine at 48 kHz: still 1 kHz at the same level, and what is left after removing
// the fitted sine is no more than 3 dB above the 16-bit TPDF dither floor.
TEST_F(AudioCorpusTest, ResamplingKeepsFrequencyLevelAndNoiseFloor) {
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
    const auto got = TrackAudio(track_, 44100);
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
