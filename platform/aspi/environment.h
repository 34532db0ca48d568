#pragma once
// Which drives the manager module offers: the real CD drives of the machine (one host
// adapter per Linux SCSI host), then virtual drives for the cue sheets listed in
// KORVANE_DISC (cue sheets, or folders holding one, separated by ':', with "\:" for a ':'
// inside a path and "\\" for a backslash; the word "demo" stands for the demo disc), then
// the demo disc when no real drive was found and KORVANE_DISC does not place it.
// KORVANE_REAL_DRIVES=0 leaves the real drives out (tests, machines with broken drives).
// KORVANE_ASPI_FAULTS makes every virtual drive misbehave, for tests of whole programs:
// a comma-separated list of "reject-readcd", "nodisc", "fail:<opcode hex>:<times>" and
// "never:<opcode hex>" (e.g. "reject-readcd,fail:D8:2"). "fail" takes an optional sense
// "fail:<opcode>:<times>:<key>/<asc>/<ascq>" in hex (e.g. "fail:BE:1:02/04/01", READ CD
// fails once with NOT READY, becoming ready); without it the drive reports a hardware
// failure. These kinds serve the virtual drives through the simulated Linux drive below
// the SG_IO seam (kernel command filter, sense as the kernel reports it): "linux" alone,
// "root" (a process with CAP_SYS_RAWIO), "spinup:<commands>" (NOT READY until then),
// "attention" (a unit attention after a disc change), "medium:<lba>" (MEDIUM ERROR at
// that sector), "short:<opcode hex>:<times>" (transfers a sector short),
// "flaky:<lba>:<percent>" (that sector reads differently on some reads), "bad:<lba>"
// (differently on every read) and "offset:<+/-samples>" (audio delivered shifted, as by
// a drive with that read offset).
#include "platform/aspi/manager.h"
#include "platform/aspi/transport.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korvane::aspi {

struct DriveSelection {
    bool realDrives = true;
    std::string discList;  // KORVANE_DISC
    std::string faults;    // KORVANE_ASPI_FAULTS
    std::filesystem::path sysBlock = "/sys/block";
    std::filesystem::path devDir = "/dev";
    // Opens a drive's device node; on failure returns nullptr and sets the errno. Default
    // SgIoTransport::Open (tests put a simulated drive there).
    std::function<std::unique_ptr<ScsiTransport>(const std::filesystem::path& node, int& systemError)> openDevice;
};

// Targets 0-14 of each adapter are where the drive scan looks.
inline constexpr int kScannedTargets = 15;

DriveSelection SelectionFromEnvironment();

// Builds a manager with every drive of `selection`. Problems (a device node that cannot
// be opened, an unusable cue sheet) become diagnostics; an unusable cue sheet still gets
// its drive, empty, so that the drive letters stay where the user expects them.
std::unique_ptr<Manager> BuildManager(const DriveSelection& selection);

// The files that the virtual drives of `selection` read: each usable cue sheet and the
// image files it names. Commands check their outputs against them.
std::vector<std::filesystem::path> DiscImageFiles(const DriveSelection& selection);

}  // namespace korvane::aspi
