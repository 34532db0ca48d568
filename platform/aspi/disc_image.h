#pragma once
// Discs that a virtual drive serves: a cue sheet with raw images (CueBinImage) or the
// generated demo disc (demo_disc.h). Both describe their table of contents and deliver
// raw 2,352-byte sectors.
#include "platform/aspi/cue_sheet.h"
#include "platform/aspi/sector_source.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace korvane::aspi {

// A disc image whose data cannot be read (I/O error on the image file).
class ImageReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class DiscImage {
public:
    virtual ~DiscImage() = default;
    // Table of contents: tracks in disc order (track number, CONTROL nibble, INDEX 01
    // address) and the lead-out address.
    virtual const cue::Layout& Toc() const noexcept = 0;
    // Copies `sectorCount` sectors from `lba` into `out` (2,352 bytes each; audio as
    // 16-bit little-endian stereo). The range lies below the lead-out; `out` is exactly
    // sectorCount * 2352 bytes. Throws ImageReadError. Called from one thread at a time.
    virtual void ReadSectors(std::uint32_t lba, std::uint32_t sectorCount, std::span<std::uint8_t> out) = 0;
    // What the drive shows as its source: the cue path, or "demo".
    virtual std::string Source() const = 0;
};

// A cue sheet and the image files it names (relative to the cue file's folder; a name
// that differs from the file on disk only in letter case is found when exactly one file
// matches). Raw images are read with pread; audio files (WAVE, AIFF, FLAC, ...) must hold
// CD audio and are decoded as their sectors are read.
class CueBinImage final : public DiscImage {
public:
    // `cueFile` may also be a folder holding exactly one cue sheet.
    // Throws cue::CueError (with the cue path in the text) for an unusable sheet or a
    // missing or unreadable image file.
    static std::unique_ptr<CueBinImage> Open(const std::filesystem::path& cueFile);
    ~CueBinImage() override;
    const cue::Layout& Toc() const noexcept override { return layout_; }
    void ReadSectors(std::uint32_t lba, std::uint32_t sectorCount, std::span<std::uint8_t> out) override;
    std::string Source() const override { return cuePath_.string(); }
    // The cue sheet and the image files it names, as found on disk.
    const std::vector<std::filesystem::path>& Files() const noexcept { return files_; }

private:
    CueBinImage() = default;
    std::filesystem::path cuePath_;
    std::vector<std::filesystem::path> files_;
    cue::Layout layout_;
    std::vector<std::unique_ptr<SectorSource>> sources_;
    std::vector<bool> bigEndian_;
};

}  // namespace korvane::aspi
