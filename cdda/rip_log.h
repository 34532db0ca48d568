#pragma once
// The rip log: a plain-text account of a read that a user keeps beside the audio (or
// shows to someone who doubts it). FormatRipLog is pure; WriteRipLog stores it through a
// temporary file and a rename, so a log is complete or absent.
//
//   Korvane 1.0.0 rip log
//   Drive: KORVANE  Virtual CD-ROM   1.0 (adapter 0, target 0, LUN 0)
//   Read command: READ CD (BE)
//   Read offset: +667 samples
//   Verify reads: on (up to 16 re-reads of a sector)
//
//   Track 1
//     Start: 0:00:00.00 (sector 0)
//     Length: 0:04:12.45 (18934 sectors)
//     CRC32: 1A2B3C4D
//     Test CRC: 1A2B3C4D
//     Copy CRC: 1A2B3C4D
//     AccurateRip v1: 0123ABCD
//     AccurateRip v2: 89EF4567
//     Re-read sectors: 0
//     Suspicious positions: none
//
//   No errors occurred
//
// The last line counts the suspicious sectors when there are any ("2 suspicious
// sectors"). The drive fields are shown as the drive gives them.
#include "cdda/cd_reader.h"
#include "cdda/track_reader.h"

#include <filesystem>
#include <span>
#include <string>

namespace korvane::cdda {

struct RipLogHeader {
    std::string programVersion;  // "1.0.0"
    CDDrive drive;
    SecureReadSettings settings;
};

// "READ CD (BE)", "vendor read (D8)" or "not chosen".
std::string ReadCommandName(ReadCommand command);
// A position or length on the disc, "h:mm:ss.ss".
std::string SectorClock(std::uint64_t sectors);
std::string FrameClock(std::uint64_t frames);
// Suspicious sectors over all tracks.
std::size_t SuspiciousCount(std::span<const TrackReadReport> tracks) noexcept;

// One track's block of the log, from "Track n" on (the CLI prints it after a read).
std::string FormatTrackReport(const TrackReadReport& track);

std::string FormatRipLog(const RipLogHeader& header, std::span<const TrackReadReport> tracks);

// Writes `text` to `file` (through a temporary file beside it). Throws TrackFileError.
void WriteRipLog(const std::filesystem::path& file, const std::string& text);

}  // namespace korvane::cdda
