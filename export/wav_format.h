#pragma once
// The layout of an exported WAV file: RIFF/WAVE with the 18-byte extended format
// record (zero extra-size field), 16-bit stereo PCM at 44,100 Hz, audio from byte 46.
// Pure layout, no I/O.
#include <array>
#include <cstddef>
#include <cstdint>

namespace korvane::wavexport {

inline constexpr std::uint16_t kFormatTagPcm = 1;
inline constexpr std::uint16_t kChannels = 2;
inline constexpr std::uint32_t kSamplesPerSecond = 44'100;
inline constexpr std::uint16_t kBitsPerSample = 16;
inline constexpr std::uint16_t kBlockAlignBytes = kChannels * kBitsPerSample / 8;  // 4
inline constexpr std::uint32_t kAverageBytesPerSecond = kSamplesPerSecond * kBlockAlignBytes;
inline constexpr std::size_t kFormatRecordBytes = 18;
// "RIFF" size "WAVE" "fmt " 18 <record> "data" size
inline constexpr std::size_t kWavHeaderBytes = 12 + 8 + kFormatRecordBytes + 8;  // 46
// Everything after the RIFF size field that is not audio: "WAVE", the fmt chunk, the
// data chunk header.
inline constexpr std::uint32_t kRiffSizeOverheadBytes = kWavHeaderBytes - 8;  // 38

// Frames and overview samples of the track file: 4 bytes per stereo frame, 4 frames per
// overview sample (which is how region starts and lengths are counted).
inline constexpr std::uint64_t kBytesPerFrame = 4;
inline constexpr std::uint64_t kFramesPerOverviewSample = 4;

// Largest frame count whose file still fits the 32-bit RIFF size field.
inline constexpr std::uint64_t kMaxExportFrames =
    (UINT32_MAX - kRiffSizeOverheadBytes) / kBytesPerFrame;

// The 18-byte WAVEFORMATEX record: PCM, 2 channels, 44,100, 176,400, 4, 16, 0.
constexpr std::array<std::byte, kFormatRecordBytes> EncodeFormatRecord() {
    std::array<std::byte, kFormatRecordBytes> out{};
    std::size_t at = 0;
    auto put16 = [&](std::uint16_t v) {
        out[at++] = std::byte(v & 0xFF);
        out[at++] = std::byte(v >> 8);
    };
    auto put32 = [&](std::uint32_t v) {
        put16(static_cast<std::uint16_t>(v & 0xFFFF));
        put16(static_cast<std::uint16_t>(v >> 16));
    };
    put16(kFormatTagPcm);
    put16(kChannels);
    put32(kSamplesPerSecond);
    put32(kAverageBytesPerSecond);
    put16(kBlockAlignBytes);
    put16(kBitsPerSample);
    put16(0);  // extra format bytes
    return out;
}

// The whole 46-byte header ("RIFF", size, "WAVE", "fmt " with the format record,
// "data", size) of a file holding `dataBytes` bytes of audio, for writers that stream
// the data behind a header they write in one piece.
constexpr std::array<std::byte, kWavHeaderBytes> EncodeWavHeader(std::uint32_t dataBytes) {
    std::array<std::byte, kWavHeaderBytes> out{};
    std::size_t at = 0;
    auto putTag = [&](const char* tag) {
        for (int i = 0; i < 4; ++i) out[at++] = std::byte(tag[i]);
    };
    auto put32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at++] = std::byte((v >> (8 * i)) & 0xFF);
    };
    putTag("RIFF");
    put32(kRiffSizeOverheadBytes + dataBytes);
    putTag("WAVE");
    putTag("fmt ");
    put32(kFormatRecordBytes);
    for (std::byte b : EncodeFormatRecord()) out[at++] = b;
    putTag("data");
    put32(dataBytes);
    return out;
}

// Size of the whole file for `frameCount` frames.
constexpr std::uint64_t WavFileBytes(std::uint64_t frameCount) {
    return kWavHeaderBytes + kBytesPerFrame * frameCount;
}

}  // namespace korvane::wavexport
