#include "cdda/rip_log.h"

#include "cdda/temp_file.h"
#include "cdda/track_file.h"
#include "regions/clock_format.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace korvane::cdda {
namespace {

std::string Hex32(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

std::string SignedSamples(std::int32_t offset) {
    std::string text = offset > 0 ? "+" : "";
    text += std::to_string(offset);
    text += " samples";
    return text;
}

}  // namespace

std::string FormatTrackReport(const TrackReadReport& t) {
    const bool verified = t.settings.verify;
    std::string out = "Track " + std::to_string(t.runningNumber) + "\n";
    out += "  Start: " + SectorClock(t.startLba) + " (sector " + std::to_string(t.startLba) + ")\n";
    out += "  Length: " + SectorClock(t.sectorCount) + " (" + std::to_string(t.sectorCount) + " sectors)\n";
    out += "  CRC32: " + Hex32(t.crc32) + "\n";
    if (verified) {
        out += "  Test CRC: " + Hex32(t.testCrc) + "\n";
        out += "  Copy CRC: " + Hex32(t.copyCrc) + "\n";
    }
    out += "  AccurateRip v1: " + Hex32(t.accurateRipV1) + "\n";
    out += "  AccurateRip v2: " + Hex32(t.accurateRipV2) + "\n";
    if (!verified) return out;
    out += "  Re-read sectors: " + std::to_string(t.rereadSectors) + "\n";
    out += "  Suspicious positions:";
    if (t.suspiciousFrames.empty()) out += " none";
    for (std::uint64_t frame : t.suspiciousFrames) {
        out += ' ';
        out += FrameClock(frame);
    }
    out += "\n";
    if (t.cacheNotDefeated) out += "  The drive's cache could not be defeated (no distant sector to read)\n";
    return out;
}

std::string ReadCommandName(ReadCommand command) {
    switch (command) {
        case ReadCommand::ReadCd: return "READ CD (BE)";
        case ReadCommand::Vendor: return "vendor read (D8)";
        case ReadCommand::Untried: break;
    }
    return "not chosen";
}

std::string SectorClock(std::uint64_t sectors) { return units::FormatClock(SecondsForSectors(sectors)); }
std::string FrameClock(std::uint64_t frames) {
    return units::FormatClock(static_cast<double>(frames) / kFramesPerSecond);
}

std::size_t SuspiciousCount(std::span<const TrackReadReport> tracks) noexcept {
    std::size_t count = 0;
    for (const TrackReadReport& t : tracks) count += t.suspiciousFrames.size();
    return count;
}

std::string FormatRipLog(const RipLogHeader& header, std::span<const TrackReadReport> tracks) {
    const CDDrive& d = header.drive;
    std::string out = "Korvane " + header.programVersion + " rip log\n";
    out += "Drive: " + d.vendor + " " + d.product + " " + d.revision + " (adapter " + std::to_string(d.adapter) +
           ", target " + std::to_string(d.target) + ", LUN " + std::to_string(d.lun) + ")\n";
    const ReadCommand command = tracks.empty() ? ReadCommand::Untried : tracks.back().command;
    out += "Read command: " + ReadCommandName(command) + "\n";
    out += "Read offset: " + SignedSamples(header.settings.offsetSamples) + "\n";
    out += header.settings.verify
               ? "Verify reads: on (up to " + std::to_string(header.settings.maxRetries) + " re-reads of a sector)\n"
               : std::string("Verify reads: off\n");
    for (const TrackReadReport& t : tracks) {
        out += '\n';
        out += FormatTrackReport(t);
    }
    const std::size_t suspicious = SuspiciousCount(tracks);
    out += "\n";
    if (suspicious == 0) out += "No errors occurred\n";
    else out += std::to_string(suspicious) + (suspicious == 1 ? " suspicious sector\n" : " suspicious sectors\n");
    return out;
}

void WriteRipLog(const std::filesystem::path& file, const std::string& text) {
    const std::filesystem::path dir = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    TempFile temp = TempFile::CreateUnique(dir, "~krvn");
    try {
        temp.Write({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
        temp.Sync();  // on disk before it takes its name
        temp.Close();
        std::error_code ec;
        std::filesystem::permissions(temp.Path(), std::filesystem::perms::owner_read |
                                     std::filesystem::perms::owner_write | std::filesystem::perms::group_read |
                                     std::filesystem::perms::others_read, ec);
        if (std::rename(temp.Path().c_str(), file.c_str()) != 0)
            throw TrackFileError("cannot write " + file.string() + ": " + std::strerror(errno));
    } catch (...) {
        temp.Remove();
        throw;
    }
}

}  // namespace korvane::cdda
