#pragma once
// The uninstaller's work: undoing what "_install.log" names. Files first (shared files
// only when their use count in "SharedDLLs" drops to 0; ",COMPONENT" modules are
// unregistered before they go), then folders that are empty, then keys that have no
// subkeys left, then the log. Nothing the log does not name is removed, with one exception: the
// uninstaller's own program in the Windows folder, once no uninstall entry uses it.
//
// Thread contract: one thread.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "installer/core/install_log.h"

namespace korvane::platform {
class MachineFiles;
class RegistryStore;
}  // namespace korvane::platform

namespace korvane::installer {

struct UninstallReport {
    std::vector<std::string> removed;  // what was removed, in order
    std::vector<std::string> kept;     // what stays, with the reason
    std::vector<std::string> errors;   // what should have gone but could not
};

// Undoes `log` on the machine, in the order that keeps a retry possible: files, then
// folders, then registry keys (the uninstall entry last), then the log `logPath` itself
// (its own record is not treated as a file), then the uninstaller `uninstallerPath` when no
// uninstall entry names it any more. When anything could not be removed (a file in use, a
// registry failure), the keys and the log stay, and the log is rewritten with the records
// still to be done, so running the uninstall entry again finishes the job.
UninstallReport Uninstall(const ParsedLog& log, const platform::MachineFiles& files,
                          const std::shared_ptr<platform::RegistryStore>& registry, std::string_view uninstallerPath,
                          std::string_view logPath = {});

}  // namespace korvane::installer
