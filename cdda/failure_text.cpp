#include "cdda/failure_text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace korvane::cdda {
namespace {

using namespace korvane::aspi;

std::string SenseCode(const scsi::Sense& s) {
    char text[32];
    std::snprintf(text, sizeof text, " (sense %02X/%02X/%02X)", s.key, s.asc, s.ascq);
    return text;
}

// "mm:ss.hh" of a sector offset (75 sectors a second, shown in hundredths).
std::string Position(std::int64_t sectors) {
    const auto minutes = sectors / (60 * 75);
    const auto seconds = (sectors / 75) % 60;
    const auto hundredths = (sectors % 75) * 100 / 75;
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld.%02lld", static_cast<long long>(minutes),
                  static_cast<long long>(seconds), static_cast<long long>(hundredths));
    return text;
}

std::string SenseText(const CDReaderException& f) {
    const scsi::Sense& s = f.sense;
    switch (s.key) {
    case scsi::kSenseNotReady:
        if (s.asc == 0x3A) return "no disc in the drive";
        if (s.asc == 0x30)
            return f.problem.empty() ? "the disc in the drive cannot be read" : "the disc image cannot be used: " + f.problem;
        return "the drive is not ready";
    case scsi::kSenseMediumError: {
        if (f.sector < 0) return "medium error";
        const std::int64_t offset = f.trackStart >= 0 && f.sector >= f.trackStart ? f.sector - f.trackStart : f.sector;
        return "medium error at " + Position(offset) + " (sector " + std::to_string(f.sector) + ")";
    }
    case scsi::kSenseHardwareError: return "the drive reported a hardware error";
    case scsi::kSenseIllegalRequest:
        if (s.asc == 0x21 || s.asc == 0x64) return "the drive refused the command for that part of the disc";
        return "the drive refused the command";
    case scsi::kSenseUnitAttention: return "the disc was changed or the drive was reset";
    default: return "the drive reported an error";
    }
}

}  // namespace

std::string DescribeFailure(const CDReaderException& f) {
    if (f.code == kManagerNotBound) return "the ASPI manager WNASPI32.DLL cannot be loaded or lacks its entry points";
    if (f.detail == 0)
        return f.registryError.empty() ? "the drive registry key Enum\\SCSI cannot be opened" : f.registryError;
    const std::string where = f.device.empty() ? std::string() : " on " + f.device;
    if (f.systemError == EPERM || f.systemError == EACCES) {
        char opcode[8];
        std::snprintf(opcode, sizeof opcode, "0x%02X", f.opcode);
        return "the system refused the command " + std::string(opcode) + where + " (" + std::strerror(f.systemError) + ")";
    }
    if (f.systemError != 0) return "the command could not be sent" + where + ": " + std::strerror(f.systemError);
    if (f.sense.key != 0 || f.sense.asc != 0) return SenseText(f) + SenseCode(f.sense);
    switch (f.hostStatus) {
    case HASTAT_DO_DU: return "the drive returned fewer bytes than asked";
    case HASTAT_TIMEOUT:
    case HASTAT_COMMAND_TIMEOUT: return "the drive did not answer in time";
    case HASTAT_SEL_TO: return "the drive does not answer";
    default: break;
    }
    if (f.detail == SS_PENDING) return "the drive did not answer in time";
    if (f.detail == SS_NO_DEVICE) return "the drive is no longer there";
    char text[96];
    std::snprintf(text, sizeof text, "the drive did not complete the request (status 0x%02X)",
                  static_cast<unsigned>(f.detail));
    return text;
}

}  // namespace korvane::cdda
