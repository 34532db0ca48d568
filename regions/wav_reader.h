#pragma once
// Reading 16-bit PCM RIFF/WAVE data from memory. Pure parsing: no file access,
// no allocation sized by a declared length, every offset checked against the
// buffer. Tolerates what real files contain: chunks in any order before the
// data (LIST, fact, cue, ...), odd chunk sizes with their pad byte, an
// extensible format chunk, a RIFF size that disagrees with the file, and
// trailing chunks after the data.
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace korvane::wavread {

// Thrown for input that is not a readable 16-bit PCM WAV; what() is a message
// fit for the user.
class WavError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct WavInfo {
    uint16_t formatTag = 0;       // 1 (PCM) or 0xFFFE (extensible with PCM subformat)
    uint16_t channelCount = 0;    // 1 or 2
    uint32_t sampleRateHz = 0;
    uint16_t bitsPerSample = 0;   // 16
    uint16_t blockAlign = 0;      // bytes per frame
    uint64_t dataOffset = 0;      // of the first sample byte in the buffer
    uint64_t declaredDataBytes = 0;   // as the data chunk header says
    uint64_t availableDataBytes = 0;  // what the buffer really holds of it
    uint64_t frameCount = 0;          // whole frames in the available bytes

    bool Truncated() const noexcept { return availableDataBytes < declaredDataBytes; }
};

// Parses the header of the WAV file held in `bytes`. Throws WavError when it is
// not a RIFF/WAVE file, has no usable format or data chunk, or is not 16-bit PCM
// with 1 or 2 channels. A data chunk shorter than declared is not an error here:
// see WavInfo::Truncated(). Thread-safe (pure function).
WavInfo ParseWav(std::span<const uint8_t> bytes);

// The interleaved samples of the info's whole frames (little-endian decoded).
// `bytes` must be the buffer `info` was parsed from.
std::vector<int16_t> DecodeSamples(std::span<const uint8_t> bytes, const WavInfo& info);

}  // namespace korvane::wavread
