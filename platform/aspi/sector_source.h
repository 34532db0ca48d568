#pragma once
// Where a disc image's bytes come from: one source per FILE of a cue sheet. A raw
// image (BINARY, MOTOROLA) is read as it lies on disk; an audio file (WAVE, AIFF, FLAC,
// MP3, ... through libsndfile) holding CD audio is decoded on demand, a block at a time,
// so a whole file is never decoded up front. Either way the bytes are what a drive
// delivers: 16-bit little-endian stereo for audio.
//
// Thread contract: one thread at a time per object (the virtual drive serialises reads).
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>

namespace korvane::aspi {

class SectorSource {
public:
    virtual ~SectorSource() = default;
    // Bytes the source holds. An audio file counts 4 bytes per frame, rounded up to whole
    // 2,352-byte sectors: the last sector is completed with silence, as a disc would be.
    virtual std::uint64_t Size() const = 0;
    // Fills `out` from `offset`; the range lies inside Size(). Throws ImageReadError.
    virtual void Read(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
};

// A raw image file, bytes as they lie (MOTOROLA audio is swapped by CueBinImage, which
// knows which sectors hold audio). Throws std::runtime_error when the file cannot be
// opened or is not a regular file.
std::unique_ptr<SectorSource> OpenRawFile(const std::filesystem::path& path);

// An audio file. Throws std::runtime_error with a message that names the problem when
// the file cannot be decoded or does not hold CD audio (44,100 Hz, 16-bit, stereo).
std::unique_ptr<SectorSource> OpenAudioFile(const std::filesystem::path& path);

}  // namespace korvane::aspi
