#pragma once
// The machine's restart. ExitWindowsEx with EWX_REBOOT never reboots the host: the shell
// layer marks a restart as requested (MachineRoot::RestartRequestFile()). The next start
// of any program of the machine (the application, setup, the uninstaller) first does what
// Windows does at boot: it processes the [rename] section of wininit.ini, then clears the
// request, and says so. Operations that still cannot be done keep the request for the
// next start.
//
// Thread contract: call once at program start, before anything else uses the machine.
#include <iosfwd>
#include <optional>

#include "platform/machine/wininit.h"

namespace korvane::platform {
class MachineRoot;

// Carries out a requested restart; nullopt when none was requested.
std::optional<WininitResult> ApplyRequestedRestart(const MachineRoot& root);

// ApplyRequestedRestart, reported on `out` as lines starting with "<program>: ".
void RestartIfRequested(const MachineRoot& root, const char* program, std::ostream& out);

}  // namespace korvane::platform
