#pragma once
// What the main frame needs of the CD layer: the drive scan, the track list of a drive
// and the read of one track into the two temporary files. The frame fills the CD bar
// from it and runs Read Track through it; the CD layer's adapter implements it over
// CDReader, tests use the virtual drive behind the same adapter.
//
// Thread contract: UI thread only; every call blocks until the drive has answered
// (a SCSI request may wait for its completion event, and a failed one may show the
// "Device not responding. Try again?" prompt unless `quiet` is set).
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace korvane::app {

// A failure of the CD layer that ends a scan or a read; `what()` says why.
// `OfferedForRetry()`: the user has seen it already in the retry prompt.
class CdError : public std::runtime_error {
public:
    explicit CdError(const std::string& what, bool offeredForRetry = false)
        : std::runtime_error(what), offeredForRetry_(offeredForRetry) {}
    bool OfferedForRetry() const noexcept { return offeredForRetry_; }

private:
    bool offeredForRetry_;
};
// The Track box line no longer describes the disc in the drive.
class CdTrackListOutOfDate : public CdError {
public:
    using CdError::CdError;
};

// Progress of a track read. Each callback may be empty; returning false cancels the read.
struct ReadProgress {
    std::function<bool(double fraction)> fraction;  // 0 to 1, after every transfer
    // true when the read starts waiting for the drive to become ready (a disc spinning
    // up) and at every poll while it waits; false once when the wait ends.
    std::function<bool(bool waiting)> waiting;
    // With verification, as each phase of a transfer begins: 1 first pass, 2 second
    // pass, 3 re-reading sectors; and the sectors re-read so far.
    std::function<bool(int pass, std::uint32_t rereadSectors)> verifying;
};

// How the following reads are made.
struct CdReadOptions {
    bool verify = false;          // two passes, re-reads, and a rip log beside the track file
    std::string programVersion;   // named in the rip log
};

// What the last completed read found.
struct CdReadSummary {
    std::string checksums;          // "CRC32 1A2B3C4D, AccurateRip v1 ..., v2 ..." (empty: none)
    std::size_t suspiciousSectors = 0;
    std::filesystem::path ripLog;   // beside the track file (verification only); empty: none
    std::string ripLogProblem;      // why the rip log could not be written, or empty
};

class CdSource {
public:
    virtual ~CdSource() = default;

    // False when the ASPI manager could not be bound: no drive can be reached.
    virtual bool Available() const = 0;
    // Scans the drives again, replacing the previous drive list, and returns one Drive
    // box line per drive ("D:  VENDOR   PRODUCT         "). `quiet`: a drive that does not
    // answer fails without the retry prompt. Throws CdError when the scan itself fails.
    virtual std::vector<std::string> ScanDrives(bool quiet) = 0;
    // The Track box lines of the drive on Drive box line `driveLine`, reading its table of
    // contents; empty when the disc cannot be read (no further message).
    virtual std::vector<std::string> TrackLines(int driveLine, bool quiet) = 0;
    // Why drives the user may expect are missing or unusable (a device node without
    // permission, naming the group to join; an unusable disc image), one line each.
    virtual std::vector<std::string> Problems() const { return {}; }
    // Reads the audio track on Track box line `trackLine` (which should still read
    // `expectedLine`) of drive `driveLine` into a new temporary track file in `tempDir`
    // and returns it; the caller owns the file. `progress.fraction` is also called again with the
    // last fraction about every 100 ms while the drive has not answered a request, and
    // returning false then ends the wait. nullopt when `progress` cancelled. On
    // cancel and on every failure no temporary file is left. Throws CdTrackListOutOfDate,
    // CdError when the drive failed, std::exception for file failures.
    virtual std::optional<std::filesystem::path> ReadTrack(int driveLine, int trackLine,
                                                           const std::string& expectedLine,
                                                           const std::filesystem::path& tempDir,
                                                           const ReadProgress& progress) = 0;
    // Verification for the reads that follow (off until set).
    virtual void SetReadOptions(const CdReadOptions& options) { (void)options; }
    // Checksums and problems of the last read that completed.
    virtual CdReadSummary LastReadSummary() const { return {}; }
    // "vendor product" of the drive on Drive box line `driveLine` (empty: none), the
    // model whose read offset Preferences shows.
    virtual std::string DriveModel(int driveLine) const { (void)driveLine; return {}; }
};

}  // namespace korvane::app
