#include "cdda/track_reader.h"

#include "cdda/checksums.h"
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

// The CDReader as a source of raw sectors. When verifying, a read runs quietly and a
// medium error or short transfer becomes SectorsUnreadable (verification reads the
// sector again); any other failure is sent once more the usual way, with the retry
// prompt, and its failure goes to the caller.
class ReaderDevice final : public SectorDevice {
public:
    ReaderDevice(CDReader& reader, bool verify) : reader_(reader), verify_(verify) {}
    void Read(std::uint32_t lba, std::span<std::uint8_t> out, std::uint32_t sectorCount) override {
        if (!verify_) {
            reader_.ReadSectors(lba, out, sectorCount);
            return;
        }
        try {
            QuietScope quiet(reader_, true);
            reader_.ReadSectors(lba, out, sectorCount);
            return;
        } catch (const CDReaderException& failed) {
            if (failed.sense.key == aspi::scsi::kSenseMediumError || failed.hostStatus == aspi::HASTAT_DO_DU)
                throw SectorsUnreadable("sectors unreadable");
        }
        reader_.ReadSectors(lba, out, sectorCount);
    }

private:
    CDReader& reader_;
    bool verify_;
};

// A read offset split into whole sectors (rounded down) and the frames left over.
struct OffsetShift {
    std::int64_t sectors = 0;
    std::uint32_t frames = 0;  // 0 .. 587
};
OffsetShift SplitOffset(std::int32_t offsetSamples) noexcept {
    const std::int64_t samples = offsetSamples;
    std::int64_t sectors = samples / kFramesPerSector;
    if (samples % kFramesPerSector < 0) --sectors;
    return {sectors, static_cast<std::uint32_t>(samples - sectors * kFramesPerSector)};
}

// Reads the track's transfers: each transfer's sectors as the drive has them, moved by
// the read offset, with verification when asked. Sectors outside the readable range
// (before the first audio track, after the last) are silence, as the drive cannot
// deliver them.
class TransferReader {
public:
    TransferReader(CDReader& reader, const ReadControl& control, std::uint32_t readableBegin, std::uint32_t readableEnd)
        : device_(reader, control.secure.verify), verify_(control.secure.verify),
          shift_(SplitOffset(control.secure.offsetSamples)), readableBegin_(readableBegin), readableEnd_(readableEnd),
          verifier_(device_, control.secure.maxRetries, readableBegin, readableEnd) {
        verifier_.onPhase = control.onVerify;
        verifier_.cancel = control.cancel;
        const std::size_t driveBytes = std::size_t{kSectorsPerTransfer} * kBytesPerSector;
        if (shift_.frames != 0 || shift_.sectors != 0) drive_.resize(driveBytes);
        if (verify_) {
            if (drive_.empty()) drive_.resize(driveBytes);
            firstPass_.resize(driveBytes);
            secondPass_.resize(driveBytes);
        }
    }

    // One transfer is 24 sectors, or 23 when the offset is not whole sectors (the drive
    // then reads one sector more).
    std::uint32_t SectorsPerTransfer() const noexcept {
        return shift_.frames == 0 ? kSectorsPerTransfer : kSectorsPerTransfer - 1;
    }
    bool Verifying() const noexcept { return verify_; }
    const VerifyStats& Stats() const noexcept { return verifier_.Stats(); }
    const OffsetShift& Shift() const noexcept { return shift_; }

    // Reads the track's sectors [lba, lba + sectorCount) into `audio`.
    void Read(std::uint32_t lba, std::uint32_t sectorCount, std::span<std::uint8_t> audio) {
        const std::size_t bytes = std::size_t{sectorCount} * kBytesPerSector;
        const std::int64_t driveLba = std::int64_t{lba} + shift_.sectors;
        const std::uint32_t driveCount = sectorCount + (shift_.frames != 0 ? 1 : 0);
        if (drive_.empty()) {
            device_.Read(lba, audio, sectorCount);  // as the drive gives them: no copy
            return;
        }
        const std::size_t driveBytes = std::size_t{driveCount} * kBytesPerSector;
        const auto drive = std::span<std::uint8_t>(drive_).first(driveBytes);
        const std::int64_t lo = std::clamp<std::int64_t>(driveLba, readableBegin_, readableEnd_);
        const std::int64_t hi = std::clamp<std::int64_t>(driveLba + driveCount, readableBegin_, readableEnd_);
        std::fill(drive.begin(), drive.end(), std::uint8_t{0});
        if (verify_) {
            std::fill(firstPass_.begin(), firstPass_.end(), std::uint8_t{0});
            std::fill(secondPass_.begin(), secondPass_.end(), std::uint8_t{0});
        }
        if (hi > lo) {
            const std::size_t at = static_cast<std::size_t>(lo - driveLba) * kBytesPerSector;
            const auto count = static_cast<std::uint32_t>(hi - lo);
            const std::size_t n = std::size_t{count} * kBytesPerSector;
            if (verify_) {
                verifier_.Read(static_cast<std::uint32_t>(lo), count, drive.subspan(at, n),
                               std::span<std::uint8_t>(firstPass_).subspan(at, n),
                               std::span<std::uint8_t>(secondPass_).subspan(at, n));
            } else {
                device_.Read(static_cast<std::uint32_t>(lo), drive.subspan(at, n), count);
            }
        }
        const std::size_t skip = std::size_t{shift_.frames} * kBytesPerFrame;
        std::copy_n(drive.begin() + static_cast<std::ptrdiff_t>(skip), bytes, audio.begin());
    }

    // The current transfer's bytes as each pass read them (verification only).
    std::span<const std::uint8_t> FirstPass(std::uint32_t sectorCount) const noexcept { return PassBytes(firstPass_, sectorCount); }
    std::span<const std::uint8_t> SecondPass(std::uint32_t sectorCount) const noexcept { return PassBytes(secondPass_, sectorCount); }

private:
    std::span<const std::uint8_t> PassBytes(const std::vector<std::uint8_t>& pass, std::uint32_t sectorCount) const noexcept {
        return std::span<const std::uint8_t>(pass).subspan(std::size_t{shift_.frames} * kBytesPerFrame,
                                                           std::size_t{sectorCount} * kBytesPerSector);
    }

    ReaderDevice device_;
    bool verify_;
    OffsetShift shift_;
    std::uint32_t readableBegin_;
    std::uint32_t readableEnd_;
    VerifiedReader verifier_;
    std::vector<std::uint8_t> drive_;       // the drive's sectors of one transfer (offset or verification)
    std::vector<std::uint8_t> firstPass_;   // verification: what each pass read
    std::vector<std::uint8_t> secondPass_;
};

// The readable range of the disc for the offset: from the first audio track's start to
// the last audio track's end.
std::pair<std::uint32_t, std::uint32_t> ReadableRange(const std::vector<AudioTrack>& tracks) {
    std::uint64_t end = 0;
    for (const AudioTrack& t : tracks) end = std::max<std::uint64_t>(end, std::uint64_t{t.startLba} + t.sectorCount);
    const std::uint64_t limit = 0xFFFFFFFFu;
    return {tracks.front().startLba, static_cast<std::uint32_t>(std::min(end, limit))};
}

// Where a suspicious drive sector first reaches the track's audio, in frames.
std::uint64_t TrackFrameOf(std::uint32_t driveLba, const AudioTrack& track, std::int32_t offsetSamples) {
    const std::int64_t frame = std::int64_t{driveLba} * kFramesPerSector - offsetSamples -
                               std::int64_t{track.startLba} * kFramesPerSector;
    const std::int64_t last = std::int64_t{track.sectorCount} * kFramesPerSector - 1;
    return static_cast<std::uint64_t>(std::clamp<std::int64_t>(frame, 0, std::max<std::int64_t>(last, 0)));
}

// ReadTrackToFiles, telling `onLocated` the track's sector count before the first read.
ReadOutcome ReadTrackUnlessCancelled(CDReader& reader, int trackLine, TrackSink& overviewFile, TrackSink& audioFile,
                                     const ReadControl& control, std::string_view expectedLine,
                                     const std::function<void(std::uint32_t sectorCount)>& onLocated,
                                     TrackReadReport* report) {
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

    const auto [readableBegin, readableEnd] = ReadableRange(tracks);
    TransferReader transfers(reader, control, readableBegin, readableEnd);
    const bool firstTrack = trackLine == 0;
    const bool lastTrack = static_cast<std::size_t>(trackLine) + 1 == tracks.size();
    TrackChecksums sums(std::uint64_t{track.sectorCount} * kFramesPerSector, firstTrack, lastTrack);
    std::uint32_t testCrc = 0, copyCrc = 0;
    // Fills the report from what was read so far.
    auto fillReport = [&] {
        if (!report) return;
        *report = TrackReadReport{};
        report->runningNumber = track.runningNumber;
        report->startLba = track.startLba;
        report->sectorCount = track.sectorCount;
        report->firstTrack = firstTrack;
        report->lastTrack = lastTrack;
        report->settings = control.secure;
        report->command = reader.ReadCommandFor(reader.selected);
        report->crc32 = sums.crc32;
        report->accurateRipV1 = sums.accurateRip.V1();
        report->accurateRipV2 = sums.accurateRip.V2();
        report->testCrc = testCrc;
        report->copyCrc = copyCrc;
        const VerifyStats& stats = transfers.Stats();
        report->rereadSectors = stats.rereadSectors;
        report->cacheNotDefeated = stats.cacheNotDefeated;
        for (std::uint32_t lba : stats.suspicious)
            report->suspiciousFrames.push_back(TrackFrameOf(lba, track, control.secure.offsetSamples));
    };

    scope.SetTrackStart(track.startLba);  // failures name positions within the track
    const std::uint32_t length = track.sectorCount;
    std::uint32_t position = track.startLba;
    std::uint32_t remaining = length;
    if (control.onProgress) control.onProgress(0.0);
    while (remaining > 0) {
        std::size_t batched = 0;  // sectors of this batch read so far
        while (remaining > 0 && batched < batchSectors) {
            if (control.cancel && control.cancel->load()) {
                fillReport();
                return ReadOutcome::Cancelled;
            }
            const std::uint32_t count = std::min({remaining, transfers.SectorsPerTransfer(),
                                                  static_cast<std::uint32_t>(batchSectors - batched)});
            const auto transfer = audioBytes.subspan(batched * kBytesPerSector, std::size_t{count} * kBytesPerSector);
            transfers.Read(position, count, transfer);
            sums.Add(transfer);
            if (transfers.Verifying()) {
                testCrc = Crc32(testCrc, transfers.FirstPass(count));
                copyCrc = Crc32(copyCrc, transfers.SecondPass(count));
            }
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
    fillReport();
    return ReadOutcome::Completed;
}

ReadOutcome ReadTrack(CDReader& reader, int trackLine, TrackSink& overviewFile, TrackSink& audioFile,
                      const ReadControl& control, std::string_view expectedLine,
                      const std::function<void(std::uint32_t sectorCount)>& onLocated, TrackReadReport* report) {
    try {
        return ReadTrackUnlessCancelled(reader, trackLine, overviewFile, audioFile, control, expectedLine, onLocated,
                                        report);
    } catch (const CDReaderException&) {
        // A request that failed because the wait for it was cancelled is the cancel itself.
        if (control.cancel && control.cancel->load()) return ReadOutcome::Cancelled;
        throw;
    }
}

}  // namespace

ReadOutcome ReadTrackToFiles(CDReader& reader, int trackLine, TrackSink& overviewFile, TrackSink& audioFile,
                             const ReadControl& control, std::string_view expectedLine, TrackReadReport* report) {
    return ReadTrack(reader, trackLine, overviewFile, audioFile, control, expectedLine, {}, report);
}

std::optional<std::filesystem::path> ReadTrackToTrackFile(CDReader& reader, const CDDrive& drive, int trackLine,
                                                          const std::filesystem::path& tempDir,
                                                          const ReadControl& control, std::string_view expectedLine,
                                                          TrackReadReport* report) {
    // One file: the overview part goes straight to its place after the audio part, so
    // the file is complete when the last batch is written (no second file to append).
    TempFile file = TempFile::CreateUnique(tempDir, "~krvn");
    try {
        reader.SelectDrive(drive);
        PartOfFile audio(file);
        PartOfFile overview(file);
        const auto placeOverview = [&](std::uint32_t sectorCount) { overview.Place(AudioBytesForSectors(sectorCount)); };
        if (ReadTrack(reader, trackLine, overview, audio, control, expectedLine, placeOverview, report) ==
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
