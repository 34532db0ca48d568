#include "app/frame/machine_cd_source.h"

#include "cdda/drive_list.h"
#include "cdda/drive_offsets.h"
#include "cdda/rip_log.h"
#include "cdda/failure_text.h"
#include "cdda/track_reader.h"

#include "platform/registry/registry.h"

#include <atomic>
#include <cstdio>

namespace korvane::app {
namespace {

std::string Describe(const cdda::CDReaderException& failed) { return cdda::DescribeFailure(failed); }

}  // namespace

MachineCdSource::MachineCdSource(cdda::CDReader::Options options) : registry_(options.registry) {
    try {
        reader_ = std::make_unique<cdda::CDReader>(std::move(options));
    } catch (const cdda::CDReaderException& failed) {
        bindFailure_ = "WNASPI32.DLL: " + Describe(failed);
    }
}

MachineCdSource::MachineCdSource(cdda::ManagerEntryPoints entryPoints, cdda::CDReader::Options options)
    : registry_(options.registry) {
    try {
        reader_ = std::make_unique<cdda::CDReader>(entryPoints, std::move(options));
    } catch (const cdda::CDReaderException& failed) {
        bindFailure_ = "WNASPI32.DLL: " + Describe(failed);
    }
}

MachineCdSource::~MachineCdSource() = default;

std::vector<std::string> MachineCdSource::ScanDrives(bool quiet) {
    if (!reader_) throw CdError(bindFailure_);
    cdda::QuietScope scope(*reader_, quiet);
    cdda::DriveScan scan = cdda::RefreshDrives(*reader_);
    if (scan.error) throw CdError(*scan.error);
    return std::move(scan.lines);
}

std::vector<std::string> MachineCdSource::Problems() const {
    if (!reader_) return {};
    return reader_->ManagerDiagnostics();
}

std::vector<std::string> MachineCdSource::TrackLines(int driveLine, bool quiet) {
    if (!reader_) return {};
    cdda::QuietScope scope(*reader_, quiet);
    return cdda::FillTrackList(*reader_, driveLine);
}

std::optional<std::filesystem::path> MachineCdSource::ReadTrack(int driveLine, int trackLine,
                                                                const std::string& expectedLine,
                                                                const std::filesystem::path& tempDir,
                                                                const ReadProgress& progress) {
    if (!reader_) throw CdError(bindFailure_);
    if (driveLine < 0 || static_cast<std::size_t>(driveLine) >= static_cast<std::size_t>(reader_->drives.Count())) {
        throw CdTrackListOutOfDate("the Drive box line is not in the drive list");
    }
    const cdda::CDDrive drive = reader_->drives.At(driveLine);
    std::atomic<bool> cancel{false};
    cdda::ReadControl control;
    control.cancel = &cancel;
    double lastFraction = 0.0;
    if (progress.fraction) {
        control.onProgress = [&](double fraction) {
            lastFraction = fraction;
            if (!progress.fraction(fraction)) cancel.store(true);
        };
        // While a request is pending the dialog is asked again, so its Cancel still works.
        control.whileWaiting = [&] {
            if (!progress.fraction(lastFraction)) cancel.store(true);
        };
    }
    if (progress.waiting) {
        control.onWaiting = [&](bool waiting) {
            if (!progress.waiting(waiting)) cancel.store(true);
        };
    }
    control.secure.verify = options_.verify;
    control.secure.offsetSamples = StoredOffset(drive);
    if (progress.verifying) {
        control.onVerify = [&](cdda::VerifyPhase phase, std::uint32_t rereadSectors) {
            if (!progress.verifying(static_cast<int>(phase), rereadSectors)) cancel.store(true);
        };
    }
    summary_ = {};
    try {
        cdda::TrackReadReport report;
        auto file = cdda::ReadTrackToTrackFile(*reader_, drive, trackLine, tempDir, control, expectedLine, &report);
        if (file) Summarise(drive, *file, report);
        return file;
    } catch (const cdda::CDReaderException& failed) {
        throw CdError(Describe(failed), failed.offeredRetry);
    } catch (const cdda::TrackListOutOfDate& stale) {
        throw CdTrackListOutOfDate(stale.what());
    }
}

std::string MachineCdSource::DriveModel(int driveLine) const {
    if (!reader_ || driveLine < 0 || driveLine >= reader_->drives.Count()) return {};
    return cdda::DriveModel(reader_->drives.At(driveLine));
}

// The read offset stored for the drive's model; none (0) when the registry cannot be read.
std::int32_t MachineCdSource::StoredOffset(const cdda::CDDrive& drive) {
    try {
        if (!registry_) registry_ = platform::RegistryStore::OpenMachine();
    } catch (const platform::RegistryError&) {
        return 0;
    }
    return cdda::LoadDriveOffset(*registry_, cdda::DriveModel(drive)).value_or(0);
}

// The checksums for the status bar and, with verification, the rip log beside the track
// file ("~krvn....log"), which goes when the track file goes.
void MachineCdSource::Summarise(const cdda::CDDrive& drive, const std::filesystem::path& trackFile,
                                const cdda::TrackReadReport& report) {
    char text[96];
    std::snprintf(text, sizeof text, "CRC32 %08X, AccurateRip v1 %08X, v2 %08X", report.crc32, report.accurateRipV1,
                  report.accurateRipV2);
    summary_.checksums = text;
    summary_.suspiciousSectors = report.suspiciousFrames.size();
    if (!report.settings.verify) return;
    std::filesystem::path log = trackFile;
    log.replace_extension(".log");
    const cdda::RipLogHeader header{options_.programVersion, drive, report.settings};
    try {
        cdda::WriteRipLog(log, cdda::FormatRipLog(header, std::span(&report, 1)));
        summary_.ripLog = log;
    } catch (const std::exception& failed) {
        summary_.ripLogProblem = failed.what();
    }
}

}  // namespace korvane::app
