#pragma once
// Track files and WAV files built byte by byte, independently of the code under test:
// WAV files with the chunk layouts found in the wild and deliberately broken ones, and
// the WAV file an export must write.
#include "tests/support/temp_dir.h"
#include "tests/support/test_disc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::testing {

inline std::vector<std::byte> ReadAll(const std::filesystem::path& path) {
    const auto bytes = ReadFileBytes(path);
    const auto* data = reinterpret_cast<const std::byte*>(bytes.data());
    return {data, data + bytes.size()};
}

inline void WriteAll(const std::filesystem::path& path, const std::vector<std::byte>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

inline void Put16(std::vector<std::byte>& out, std::uint16_t v) {
    out.push_back(std::byte(v & 0xFF));
    out.push_back(std::byte(v >> 8));
}
inline void Put32(std::vector<std::byte>& out, std::uint32_t v) {
    Put16(out, static_cast<std::uint16_t>(v & 0xFFFF));
    Put16(out, static_cast<std::uint16_t>(v >> 16));
}
// The little-endian 32-bit value at `at`.
inline std::uint32_t Le32(const std::vector<std::byte>& bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | std::to_integer<std::uint32_t>(bytes.at(at + i));
    return v;
}

inline void PutText(std::vector<std::byte>& out, std::string_view text) {
    for (char c : text) out.push_back(std::byte(static_cast<unsigned char>(c)));
}

// Staircase frames: frame f is (f, 3f + 7) modulo 2^16, so any offset error shows.
inline std::vector<std::int16_t> Staircase(std::size_t frames) {
    std::vector<std::int16_t> samples(frames * 2);
    for (std::size_t f = 0; f < frames; ++f) {
        samples[2 * f] = static_cast<std::int16_t>(static_cast<std::uint16_t>(f));
        samples[2 * f + 1] = static_cast<std::int16_t>(static_cast<std::uint16_t>(3 * f + 7));
    }
    return samples;
}

// A music-like stereo signal: `bursts` half-second noise bursts, each louder than the
// one before and followed by a second of silence. At -30 dB / 250 ms every burst but
// the first (too quiet) makes a region.
inline std::vector<std::int16_t> NoiseBursts(std::size_t bursts) {
    std::vector<std::int16_t> stereo;
    std::uint32_t seed = 77;
    for (std::size_t b = 0; b < bursts; ++b) {
        for (std::size_t f = 0; f < 44100 / 2; ++f) {
            seed = seed * 1664525u + 1013904223u;
            const auto s = static_cast<std::int16_t>(static_cast<std::int32_t>(seed >> 16) % (4000 * (b + 1)));
            stereo.insert(stereo.end(), {s, static_cast<std::int16_t>(-s / 2)});
        }
        stereo.resize(stereo.size() + 2 * 44100, 0);
    }
    return stereo;
}

// A track file: the stereo samples as the audio part, then an overview part of one
// eighth of its size filled with 0x7F bytes (the export must never read it).
inline void WriteTrackFile(const std::filesystem::path& path, const std::vector<std::int16_t>& stereo) {
    std::vector<std::byte> bytes;
    for (auto s : stereo) Put16(bytes, static_cast<std::uint16_t>(s));
    const std::size_t audioBytes = bytes.size();
    ASSERT_EQ(audioBytes % 8, 0u) << "the audio part must hold whole overview samples";
    bytes.insert(bytes.end(), audioBytes / 8, std::byte{0x7F});
    WriteAll(path, bytes);
}

// The track file the reader writes for interleaved stereo samples, built independently:
// the audio completed with silence to whole sectors (588 frames), then its overview.
inline std::vector<std::byte> ExpectedTrackFile(std::vector<std::int16_t> stereo) {
    stereo.resize((stereo.size() / 2 + 587) / 588 * 588 * 2, 0);
    std::vector<std::byte> out;
    for (auto s : stereo) Put16(out, static_cast<std::uint16_t>(s));
    const auto overview = IndependentOverview({reinterpret_cast<const std::uint8_t*>(out.data()), out.size()});
    for (auto b : overview) out.push_back(std::byte(b));
    return out;
}

struct WavChunk {
    std::string id;
    std::vector<std::byte> body{};  // an odd size gets its pad byte
};

// A 16-bit PCM WAV file, its layout varied by the fields below.
struct WavSpec {
    std::uint16_t channels = 2;
    std::uint32_t rateHz = 44100;
    std::uint32_t fmtBytes = 16;              // 16, 18 (cbSize 0) or more (zero filled)
    std::vector<std::int16_t> samples{};      // interleaved
    std::vector<WavChunk> before{}, after{};  // extra chunks around fmt/data
    std::optional<std::uint32_t> riffSize{}, dataSize{};
    bool omitFmt = false, omitData = false;
    std::optional<std::size_t> truncateTo{};
};

inline std::vector<std::byte> BuildWav(const WavSpec& spec) {
    std::vector<std::byte> body;
    auto chunk = [&](const std::string& id, const std::vector<std::byte>& bytes, std::optional<std::uint32_t> size) {
        PutText(body, id);
        Put32(body, size.value_or(static_cast<std::uint32_t>(bytes.size())));
        body.insert(body.end(), bytes.begin(), bytes.end());
        if (bytes.size() % 2 != 0) body.push_back(std::byte{0});
    };
    for (const auto& c : spec.before) chunk(c.id, c.body, std::nullopt);
    if (!spec.omitFmt) {
        std::vector<std::byte> fmt;
        const auto align = static_cast<std::uint16_t>(spec.channels * 2);
        Put16(fmt, 1);
        Put16(fmt, spec.channels);
        Put32(fmt, spec.rateHz);
        Put32(fmt, spec.rateHz * align);
        Put16(fmt, align);
        Put16(fmt, 16);
        fmt.resize(spec.fmtBytes, std::byte{0});
        chunk("fmt ", fmt, std::nullopt);
    }
    if (!spec.omitData) {
        std::vector<std::byte> data;
        for (auto s : spec.samples) Put16(data, static_cast<std::uint16_t>(s));
        chunk("data", data, spec.dataSize);
    }
    for (const auto& c : spec.after) chunk(c.id, c.body, std::nullopt);
    std::vector<std::byte> out;
    PutText(out, "RIFF");
    Put32(out, spec.riffSize.value_or(static_cast<std::uint32_t>(4 + body.size())));
    PutText(out, "WAVE");
    out.insert(out.end(), body.begin(), body.end());
    if (spec.truncateTo) out.resize(*spec.truncateTo);
    return out;
}

// The exported WAV file as the format table gives it (an 18-byte format chunk), from
// interleaved stereo samples.
inline std::vector<std::byte> ExpectedWav(const std::vector<std::int16_t>& stereo) {
    return BuildWav({.fmtBytes = 18, .samples = stereo});
}

// A fresh folder per test, removed afterwards (also when read-only inside).
class TempFolderTest : public ::testing::Test {
protected:
    std::vector<std::string> FileNames() const {
        std::vector<std::string> names;
        for (auto& entry : std::filesystem::directory_iterator(dir_)) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    TempDir temp_;
    const std::filesystem::path dir_ = temp_.Path();
};

}  // namespace korvane::testing
