#include "cdda/track_reader.h"

#include "cdda/overview.h"
#include "cdda/temp_file.h"
#include "cdda/track_file.h"
#include "platform/paths/paths.h"

#include <vector>

namespace korvane::cdda {

namespace {

// Lends the read's cancel flag, wait report and track start to the reader for one track read.
class DriveWaitScope {
public:
    DriveWaitScope(CDReader& reader, const ReadControl& control)
        : reader_(reader), savedCancel_(reader.cancel), savedWait_(reader.onDriveWait),
          savedWhileWaiting_(reader.whileWaiting), savedTrackStart_(reader.trackStart) {
        if (control.cancel) reader.cancel = control.cancel;
        if (control.onWaiting) reader.onDriveWait = control.onWaiting;
        if (control.whileWaiting) reader.whileWaiting = control.whileWaiting;
    }
    void SetTrackStart(std::uint32_t lba) { reader_.trackStart = lba; }
    ~DriveWaitScope() {
        reader_.trackStart = savedTrackStart_;
        reader_.cancel = savedCancel_;
        reader_.onDriveWait = savedWait_;
        reader_.whileWaiting = savedWhileWaiting_;
    }
    DriveWaitScope(const DriveWaitScope&) = delete;
    DriveWaitScope& operator=(const DriveWaitScope&) = delete;

private:
    CDReader& reader_;
    const std::atomic<bool>* savedCancel_;
    std::function<void(bool)> savedWait_;
    std::function<void()> savedWhileWaiting_;
    std::int64_t savedTrackStart_;
};

ReadOutcome ReadTrackUnlessCancelled(CDReader& reader, int trackLine, TrackSink& overviewFile, TrackSink& audioFile,
                                     const ReadControl& control, std::string_view expectedLine) {
    DriveWaitScope scope(reader, control);
    reader.ReadTOC();
    const std::vector<AudioTrack> tracks = ListAudioTracks(reader.toc, reader.sessions);
    if (trackLine < 0 || static_cast<std::size_t>(trackLine) >= tracks.size()) {
        throw TrackListOutOfDate("Track #" + std::to_string(trackLine + 1) + " is not on the disc in the drive (" +
                                 std::to_string(tracks.size()) + " audio tracks); refresh the track list.");
    }
    const AudioTrack& track = tracks[static_cast<std::size_t>(trackLine)];
    const TocDescriptor next = DescriptorAt(reader.toc, track.descriptorIndex + 1);
    if (next.lba < track.startLba) {
        throw TrackListOutOfDate("The table of contents of the disc in the drive is inconsistent at track " +
                                 std::to_string(track.trackNumber) + ".");
    }
    if (!expectedLine.empty() && FormatTrackLine(track.runningNumber, track.sectorCount) != expectedLine) {
        throw TrackListOutOfDate("\"" + std::string(expectedLine) +
                                 "\" no longer matches the disc in the drive; refresh the track list.");
    }

    // Transfer buffers, allocated once per track; the audio buffer is 16-bit aligned.
    std::vector<std::int16_t> audio(kSectorsPerTransfer * kBytesPerSector / 2);
    std::vector<std::int16_t> overview(kSectorsPerTransfer * kOverviewBytesPerSector / 2);
    const std::span<std::uint8_t> audioBytes(reinterpret_cast<std::uint8_t*>(audio.data()), audio.size() * 2);
    const std::span<std::uint8_t> overviewBytes(reinterpret_cast<std::uint8_t*>(overview.data()),
                                                overview.size() * 2);

    scope.SetTrackStart(track.startLba);  // failures name positions within the track
    const std::uint32_t length = track.sectorCount;
    std::uint32_t position = track.startLba;
    std::uint32_t remaining = length;
    if (control.onProgress) control.onProgress(0.0);
    while (remaining > 0) {
        if (control.cancel && control.cancel->load()) return ReadOutcome::Cancelled;
        const std::uint32_t count = remaining > kSectorsPerTransfer ? kSectorsPerTransfer : remaining;
        reader.ReadSectors(position, audioBytes, count);
        const std::size_t audioCount = std::size_t{count} * kBytesPerSector;
        const std::size_t overviewCount = std::size_t{count} * kOverviewBytesPerSector;
        DownmixOverviewBytes(audioBytes.first(audioCount), overviewBytes.first(overviewCount));
        overviewFile.Write(overviewBytes.first(overviewCount));
        audioFile.Write(audioBytes.first(audioCount));
        position += count;
        remaining -= count;
        if (control.onProgress) control.onProgress(static_cast<double>(length - remaining) / length);
    }
    if (length == 0 && control.onProgress) control.onProgress(1.0);
    return ReadOutcome::Completed;
}

}  // namespace

ReadOutcome ReadTrackToFiles(CDReader& reader, int trackLine, TrackSink& overviewFile, TrackSink& audioFile,
                             const ReadControl& control, std::string_view expectedLine) {
    try {
        return ReadTrackUnlessCancelled(reader, trackLine, overviewFile, audioFile, control, expectedLine);
    } catch (const CDReaderException&) {
        // A request that failed because the wait for it was cancelled is the cancel itself.
        if (control.cancel && control.cancel->load()) return ReadOutcome::Cancelled;
        throw;
    }
}

std::optional<std::filesystem::path> ReadTrackToTrackFile(CDReader& reader, const CDDrive& drive, int trackLine,
                                                          const std::filesystem::path& tempDir,
                                                          const ReadControl& control, std::string_view expectedLine) {
    constexpr std::string_view kPrefix = "~krvn";
    TempFile audio = TempFile::CreateUnique(tempDir, kPrefix);
    std::optional<TempFile> overview;
    try {
        overview.emplace(TempFile::CreateUnique(tempDir, kPrefix));
        reader.SelectDrive(drive);
        if (ReadTrackToFiles(reader, trackLine, *overview, audio, control, expectedLine) == ReadOutcome::Cancelled) {
            overview->Remove();
            audio.Remove();
            return std::nullopt;
        }
        audio.AppendContentOf(*overview);
        overview->Remove();
        audio.Close();
    } catch (...) {
        if (overview) overview->Remove();
        audio.Remove();
        throw;
    }
    return audio.Path();
}

std::filesystem::path TrackTempDir() { return platform::MachineRoot::FromEnvironment().TempDir(); }

std::optional<std::filesystem::path> ReadTrackToTrackFile(CDReader& reader, const CDDrive& drive, int trackLine,
                                                          const ReadControl& control, std::string_view expectedLine) {
    return ReadTrackToTrackFile(reader, drive, trackLine, TrackTempDir(), control, expectedLine);
}

}  // namespace korvane::cdda
