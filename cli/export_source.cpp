#include "cli/export_source.h"

#include "cdda/temp_file.h"
#include "cdda/toc.h"
#include "cdda/track_file.h"
#include "cdda/track_reader.h"
#include "cli/cd_session.h"
#include "cli/command.h"
#include "cli/console.h"
#include "cli/progress.h"
#include "cli/track_file_input.h"
#include "platform/paths/paths.h"
#include "platform/riff/file_io.h"
#include "regions/auto_slicer.h"
#include "resources/strings.h"
#include "track/audio_import.h"

#include <atomic>
#include <iostream>
#include <optional>
#include <stdexcept>

namespace korvane::cli {
namespace {

namespace fs = std::filesystem;

// A new empty "~krvn<unique>.tmp" in the machine's Windows\TEMP, kept on disk.
fs::path NewTemporaryTrackFile() {
    auto file = cdda::TempFile::CreateUnique(platform::MachineRoot::FromEnvironment().TempDir(), "~krvn");
    file.Close();
    return file.Path();
}

}  // namespace

ExportTrack ExportTrack::FromTrackFile(const fs::path& path) { return ExportTrack(path, false); }

ExportTrack ExportTrack::FromWav(const fs::path& wavFile) {
    ExportTrack track(NewTemporaryTrackFile(), true);
    const auto outcome = track::ImportAudioToTrackFile(wavFile, track.Path());
    if (!outcome.Ok()) throw std::runtime_error(track::ImportMessage(outcome, wavFile));
    for (const auto& warning : outcome.Warnings()) Warn(warning);
    return track;
}

ExportTrack ExportTrack::FromDisc(int trackNumber, const std::string& driveName) {
    CdSession session;
    const cdda::CDDrive& drive = session.SelectAndReadToc(driveName);
    cdda::CDReader& reader = session.Reader();
    const std::string line = session.AudioTrackAt(drive, trackNumber).line;

    TrackReadProgress progress(line);
    std::optional<fs::path> file;
    try {
        file = cdda::ReadTrackToTrackFile(reader, drive, trackNumber - 1,
                                          platform::MachineRoot::FromEnvironment().TempDir(), progress.control, line);
    } catch (const cdda::CDReaderException& e) {
        throw std::runtime_error("reading " + line + " from " + CdSession::Name(drive) + " failed: " + Describe(e));
    }
    progress.bar.Finish();
    if (!file) throw std::runtime_error("interrupted; nothing written");
    Say("read " + line + " from " + CdSession::Name(drive));
    return ExportTrack(*file, true);
}

ExportTrack::ExportTrack(ExportTrack&& other) noexcept : path_(std::move(other.path_)), owned_(other.owned_) {
    other.owned_ = false;
}

ExportTrack::~ExportTrack() {
    if (!owned_) return;
    std::error_code ec;
    fs::remove(path_, ec);
    if (ec) Warn("could not delete the temporary track file " + path_.string() + ": " + ec.message());
}

std::vector<wavexport::RegionBounds> SliceTrackFile(const fs::path& trackFile, double thresholdDb, int releaseMs) {
    std::vector<std::int16_t> overview = ReadTrackOverview(trackFile);
    AutoSlicer slicer;
    slicer.samples = overview.data();
    slicer.sampleCount = static_cast<std::uint32_t>(overview.size());
    slicer.thresholdDb = thresholdDb;
    slicer.releaseMs = releaseMs;
    slicer.averagingWindow = 50;
    slicer.regions.Clear();
    slicer.Slice(1, 11'025, 0);

    std::vector<wavexport::RegionBounds> regions;
    for (const Region& r : slicer.regions) regions.push_back({r.start, r.length});
    return regions;
}

}  // namespace korvane::cli
