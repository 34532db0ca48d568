#pragma once
// Which drives the manager module offers: the real CD drives of the machine (one host
// adapter per Linux SCSI host), then virtual drives for the cue sheets listed in
// KORVANE_DISC (cue sheets, or folders holding one, separated by ':', with "\:" for a ':'
// inside a path and "\\" for a backslash; the word "demo" stands for the demo disc), then
// the demo disc when no real drive was found and KORVANE_DISC does not place it.
// KORVANE_REAL_DRIVES=0 leaves the real drives out (tests, machines with broken drives).
// KORVANE_ASPI_FAULTS makes every virtual drive misbehave, for tests of whole programs:
// a comma-separated list of "reject-readcd", "nodisc", "fail:<opcode hex>:<times>" and
// "never:<opcode hex>" (e.g. "reject-readcd,fail:D8:2").
#include "platform/aspi/manager.h"

#include <filesystem>
#include <memory>
#include <string>

namespace korvane::aspi {

struct DriveSelection {
    bool realDrives = true;
    std::string discList;  // KORVANE_DISC
    std::string faults;    // KORVANE_ASPI_FAULTS
    std::filesystem::path sysBlock = "/sys/block";
    std::filesystem::path devDir = "/dev";
};

DriveSelection SelectionFromEnvironment();

// Builds a manager with every drive of `selection`. Problems (a device node that cannot
// be opened, an unusable cue sheet) become diagnostics; an unusable cue sheet still gets
// its drive, empty, so that the drive letters stay where the user expects them.
std::unique_ptr<Manager> BuildManager(const DriveSelection& selection);

}  // namespace korvane::aspi
