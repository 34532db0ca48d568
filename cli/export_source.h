#pragma once
// The track that korvane-cli export slices and exports: a track file the user gave
// (never deleted), or a temporary track file made from a WAV file or the demo track in
// the machine's Windows\TEMP (deleted when the ExportTrack goes away), or a track read
// from a CD drive (the demo disc) into such a file.
#include "export/export_regions.h"

#include <filesystem>
#include <string>
#include <vector>

namespace korvane::cli {

class ExportTrack {
public:
    static ExportTrack FromTrackFile(const std::filesystem::path& path);
    // Any audio file, converted to CD audio. Throws std::runtime_error with the import
    // message when the file cannot be used.
    static ExportTrack FromWav(const std::filesystem::path& wavFile);
    // Reads audio track `trackNumber` (1-based, as `tracks` numbers them) of the drive
    // `driveName` ("" = the first, the demo disc when no real drive is present).
    static ExportTrack FromDisc(int trackNumber, const std::string& driveName);

    ExportTrack(ExportTrack&& other) noexcept;
    ExportTrack& operator=(ExportTrack&&) = delete;
    ~ExportTrack();

    const std::filesystem::path& Path() const noexcept { return path_; }

private:
    ExportTrack(std::filesystem::path path, bool owned) : path_(std::move(path)), owned_(owned) {}
    std::filesystem::path path_;
    bool owned_ = false;
};

// Slices the overview part of a track file as the track view does (mono, 11,025 Hz,
// averaging window 50) and returns the regions in list order.
std::vector<wavexport::RegionBounds> SliceTrackFile(const std::filesystem::path& trackFile, double thresholdDb,
                                                    int releaseMs);

}  // namespace korvane::cli
