#pragma once
// Where the audio of a WAV file lies and how it is encoded, read from the file's
// chunks through a ByteSource, so that a long file is never loaded whole.
#include "platform/riff/file_io.h"

#include <cstdint>
#include <string>

namespace korvane::track {

inline constexpr std::uint16_t kWavFormatPcm = 1;

struct WavLayout {
    std::uint16_t formatTag = 0;  // 1 = PCM (also for WAVE_FORMAT_EXTENSIBLE with PCM sub-format)
    std::uint16_t channels = 0;
    std::uint32_t sampleRateHz = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    std::uint64_t dataOffset = 0;  // first byte of the "data" chunk's contents
    std::uint64_t dataBytes = 0;   // its declared size, checked to lie inside the file
};

struct WavLayoutResult {
    WavLayout layout;
    bool malformed = false;            // else unsupported (a valid WAV this program cannot use)
    bool unsupportedChannels = false;  // unsupported because of its channel count
    std::string error;  // empty when the layout is usable
    bool Ok() const noexcept { return error.empty(); }
};

// Reads the RIFF header and the chunk headers with the WAV reader of the slicing code
// (16-bit PCM, mono or stereo, any rate), and checks that the declared audio lies
// inside the file. Throws platform::IoError when the source cannot be read.
WavLayoutResult ReadWavLayout(platform::ByteSource& source);

}  // namespace korvane::track
