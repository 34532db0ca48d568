#pragma once
// Reading one audio track into a temporary track file (layout in cdda/track_file.h).
//
// Thread contract: runs on the thread that owns the CDReader (the UI thread) and blocks
// it for the whole read. The progress callback is called on that thread after every
// transfer; the cancel flag may be set from any thread and is checked before every
// transfer.
#include "cdda/cd_reader.h"
#include "cdda/secure_read.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::cdda {

// Where ReadTrackToFiles writes one of its two parts.
class TrackSink {
public:
    virtual ~TrackSink() = default;
    // Writes all of `bytes` or throws (TrackFileError for files).
    virtual void Write(std::span<const std::uint8_t> bytes) = 0;
};

// A temporary file that could not be created, written or read; the text names the
// file and the system's reason.
class TrackFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The Track box line no longer describes the disc in the drive (the disc was changed
// after the list was filled, or the line is past its last audio track).
class TrackListOutOfDate : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ReadControl {
    // Fraction of the track read so far, 0 before the first transfer up to 1 after the last.
    std::function<void(double fraction)> onProgress;
    // When it becomes true the read stops before the next transfer; a wait for a drive
    // becoming ready or for a pending request ends (the request is taken back) and the
    // read ends as cancelled.
    const std::atomic<bool>* cancel = nullptr;
    // True when the read starts waiting for the drive to become ready and at every poll
    // while it waits, false once when the wait ends.
    std::function<void(bool waiting)> onWaiting;
    // Verification and the drive's read offset; the defaults write what the drive gives.
    SecureReadSettings secure;
    // With verification: the phase of the current transfer and the sectors re-read so far.
    std::function<void(VerifyPhase phase, std::uint32_t rereadSectors)> onVerify;
    // Called about every 100 ms while a request is pending (CDReader::whileWaiting).
    std::function<void()> whileWaiting;
};

// What one track read found: the track, its checksums and, with verification, the two
// passes' CRCs, the re-read and the suspicious sectors.
struct TrackReadReport {
    int runningNumber = 0;
    std::uint32_t startLba = 0;
    std::uint32_t sectorCount = 0;
    bool firstTrack = false;  // the disc's first / last audio track (AccurateRip leaves
    bool lastTrack = false;   // out five sectors at the disc's ends)
    SecureReadSettings settings;
    ReadCommand command = ReadCommand::Untried;
    std::uint32_t crc32 = 0;      // of the audio bytes written
    std::uint32_t testCrc = 0;    // with verification: of the first pass's bytes
    std::uint32_t copyCrc = 0;    // and of the second pass's
    std::uint32_t accurateRipV1 = 0;
    std::uint32_t accurateRipV2 = 0;
    std::uint32_t rereadSectors = 0;
    // Sectors never read the same twice, as frame positions within the track (the
    // first frame of the track that the sector's audio reaches).
    std::vector<std::uint64_t> suspiciousFrames;
    bool cacheNotDefeated = false;
};

enum class ReadOutcome { Completed, Cancelled };

// Reads the audio track of Track box line `trackLine` (0-based; the (trackLine+1)-th
// audio track, data tracks skipped as in the Track box) from the drive selected in
// `reader`: first the TOC afresh, then the track in transfers of 24 sectors (the last
// one 1-24 sectors), writing the raw audio to `audioFile` and its overview
// (DownmixOverview) to `overviewFile`, 294 bytes per sector. The writes come in batches
// of up to kSectorsPerBatch sectors (a few MiB each), after the batch's last transfer.
// Throws CDReaderException from the drive, TrackListOutOfDate when the line is not on
// the disc in the drive or (when `expectedLine` is not empty) no longer reads
// `expectedLine`, and whatever the sinks throw.
// With `report`, it receives the checksums and the verification results when the read
// completes or is cancelled (as far as it came).
ReadOutcome ReadTrackToFiles(CDReader& reader, int trackLine, TrackSink& overviewFile, TrackSink& audioFile,
                             const ReadControl& control = {}, std::string_view expectedLine = {},
                             TrackReadReport* report = nullptr);

// The whole Read Track operation without its window: selects `drive`, creates a
// temporary file with the prefix "~krvn" in `tempDir` (exclusively, owner-only, never
// through an existing name or link) and reads the track into it: the audio part from
// the start, the overview part straight to its place after it. The file's data is
// written out while the read goes on and is on the device before this returns. Returns
// the complete track file, which the caller now owns (the track document deletes it
// when it closes), or nullopt when the read was cancelled. On cancel and on every
// failure the temporary file is removed; failures are rethrown (CDReaderException,
// TrackListOutOfDate, TrackFileError).
std::optional<std::filesystem::path> ReadTrackToTrackFile(CDReader& reader, const CDDrive& drive, int trackLine,
                                                          const std::filesystem::path& tempDir,
                                                          const ReadControl& control = {},
                                                          std::string_view expectedLine = {},
                                                          TrackReadReport* report = nullptr);

// The folder of temporary track files: the machine's Windows folder followed by "\TEMP"
// (platform::MachineRoot::FromEnvironment().TempDir()).
std::filesystem::path TrackTempDir();

// ReadTrackToTrackFile into TrackTempDir(): what the Read Track button calls, with the
// Track box's selected line number and its text as `expectedLine`.
std::optional<std::filesystem::path> ReadTrackToTrackFile(CDReader& reader, const CDDrive& drive, int trackLine,
                                                          const ReadControl& control = {},
                                                          std::string_view expectedLine = {});

}  // namespace korvane::cdda
