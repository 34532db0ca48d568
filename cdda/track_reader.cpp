#include "cdda/track_reader.h"

#include "cdda/overview.h"
#include "cdda/temp_file.h"
#include "cdda/track_file.h"
#include "platform/paths/paths.h"

#include <algorithm>
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

// Writes one part of a track file at its place in the file, batch after batch.
class PartOfFile final : public TrackSink {
public:
    explicit PartOfFile(TempFile& file) noexcept : file_(file) {}
    void Place(std::uint64_t offset) noexcept { offset_ = offset; }
    void Write(std::span<const std::uint8_t> bytes) override {
        file_.WriteAt(offset_, bytes);
        offset_ += bytes.size();
    }

private:
    TempFile& file_;
    std::uint64_t offset_ = 0;
};

// ReadTrackToFiles, telling `onLocated` the track's sector count before the first read.
ReadOutcome ReadTrackUnlessCancelled(CDReader& reader, int trackLine, TrackSink& overviewFile, TrackSink& audioFile,
                                     const ReadControl& control, std::string_view expectedLine,
                                     const std::function<void(std::uint32_t sectorCount)>& onLocated) {
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

    if (onLocated) onLocated(track.sectorCount);

    // Batch buffers, allocated once per track: the transfers of a batch are read side by
    // side and written together, a few MiB per write. The audio buffer is 16-bit aligned.
    const std::size_t batchSectors = std::min<std::size_t>(kSectorsPerBatch, track.sectorCount);
    std::vector<std::int16_t> audio(batchSectors * kBytesPerSector / 2);
    std::vector<std::int16_t> overview(batchSectors * kOverviewBytesPerSector / 2);
    const std::span<std::uint8_t> audioBytes(reinterpret_cast<std::uint8_t*>(audio.data()), audio.size() * 2);
    const std::span<std::uint8_t> overviewBytes(reinterpret_cast<std::uint8_t*>(overview.data()),
                                                overview.size() * 2);

    scope.SetTrackStart(track.startLba);  // failures name positions within the track
    const std::uint32_t length = track.sectorCount;
    std::uint32_t position = track.startLba;
    std::uint32_t remaining = length;
    if (control.onProgress) control.onProgress(0.0);
    while (remaining > 0) {
        std::size_t batched = 0;  // sectors of this batch read so far
        while (remaining > 0 && batched < batchSectors) {
            if (control.cancel && control.cancel->load()) return ReadOutcome::Cancelled;
            const std::uint32_t count = remaining > kSectorsPerTransfer ? kSectorsPerTransfer : remaining;
            const auto transfer = audioBytes.subspan(batched * kBytesPerSector, std::size_t{count} * kBytesPerSector);
            reader.ReadSectors(position, transfer, count);
            DownmixOverviewBytes(transfer, overviewBytes.subspan(batched * kOverviewBytesPerSector,
                                                                 std::size_t{count} * kOverviewBytesPerSector));
            batched += count;
            position += count;
            remaining -= count;
            if (control.onProgress) control.onProgress(static_cast<double>(length - remaining) / length);
        }
        overviewFile.Write(overviewBytes.first(batched * kOverviewBytesPerSector));
        audioFile.Write(audioBytes.first(batched * kBytesPerSector));
    }
    if (length == 0 && control.onProgress) control.onProgress(1.0);
    return ReadOutcome::Completed;
}

ReadOutcome ReadTrack(CDReader& reader, int trackLine, TrackSink& overviewFile, TrackSink& audioFile,
                      const ReadControl& control, std::string_view expectedLine,
                      const std::function<void(std::uint32_t sectorCount)>& onLocated) {
    try {
        return ReadTrackUnlessCancelled(reader, trackLine, overviewFile, audioFile, control, expectedLine, onLocated);
    } catch (const CDReaderException&) {
        // A request that failed because the wait for it was cancelled is the cancel itself.
        if (control.cancel && control.cancel->load()) return ReadOutcome::Cancelled;
        throw;
    }
}

}  // namespace

ReadOutcome ReadTrackToFiles(CDReader& reader, int trackLine, TrackSink& overviewFile, TrackSink& audioFile,
                             const ReadControl& control, std::string_view expectedLine) {
    return ReadTrack(reader, trackLine, overviewFile, audioFile, control, expectedLine, {});
}

std::optional<std::filesystem::path> ReadTrackToTrackFile(CDReader& reader, const CDDrive& drive, int trackLine,
                                                          const std::filesystem::path& tempDir,
                                                          const ReadControl& control, std::string_view expectedLine) {
    // One file: the overview part goes straight to its place after the audio part, so
    // the file is complete when the last batch is written (no second file to append).
    TempFile file = TempFile::CreateUnique(tempDir, "~krvn");
    try {
        reader.SelectDrive(drive);
        PartOfFile audio(file);
        PartOfFile overview(file);
        const auto placeOverview = [&](std::uint32_t sectorCount) { overview.Place(AudioBytesForSectors(sectorCount)); };
        if (ReadTrack(reader, trackLine, overview, audio, control, expectedLine, placeOverview) ==
            ReadOutcome::Cancelled) {
            file.Remove();
            return std::nullopt;
        }
        file.Sync();  // the track file is on disk when the read reports success
        file.Close();
    } catch (...) {
        file.Remove();
        throw;
    }
    return file.Path();
}

std::filesystem::path TrackTempDir() { return platform::MachineRoot::FromEnvironment().TempDir(); }

std::optional<std::filesystem::path> ReadTrackToTrackFile(CDReader& reader, const CDDrive& drive, int trackLine,
                                                          const ReadControl& control, std::string_view expectedLine) {
    return ReadTrackToTrackFile(reader, drive, trackLine, TrackTempDir(), control, expectedLine);
}

}  // namespace korvane::cdda
