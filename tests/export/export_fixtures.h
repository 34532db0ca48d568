#pragma once
// Track files and WAV files built independently of the code under test.
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::testing {

inline std::vector<std::byte> ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> chars((std::istreambuf_iterator<char>(in)), {});
    std::vector<std::byte> out(chars.size());
    for (std::size_t i = 0; i < chars.size(); ++i) out[i] = std::byte(static_cast<unsigned char>(chars[i]));
    return out;
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

// The exported WAV file as the format table gives it, from interleaved stereo samples.
inline std::vector<std::byte> ExpectedWav(const std::vector<std::int16_t>& stereo) {
    const auto n = static_cast<std::uint32_t>(stereo.size() * 2);
    std::vector<std::byte> out;
    PutText(out, "RIFF");
    Put32(out, 38 + n);
    PutText(out, "WAVE");
    PutText(out, "fmt ");
    Put32(out, 18);
    Put16(out, 1);
    Put16(out, 2);
    Put32(out, 44100);
    Put32(out, 176400);
    Put16(out, 4);
    Put16(out, 16);
    Put16(out, 0);
    PutText(out, "data");
    Put32(out, n);
    for (auto s : stereo) Put16(out, static_cast<std::uint16_t>(s));
    return out;
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
