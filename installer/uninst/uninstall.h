#pragma once
// The uninstaller's work: reading "_install.log" and undoing what it names. Files first
// (shared files only when their use count in "SharedDLLs" drops to 0; ",COMPONENT" modules
// are unregistered before they go), then folders that are empty, then keys that have no
// subkeys left. Nothing the log does not name is removed, with one exception: the
// uninstaller's own program in the Windows folder, once no uninstall entry uses it.
//
// Thread contract: one thread.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::platform {
class MachineFiles;
class RegistryStore;
}  // namespace korvane::platform

namespace korvane::installer {

struct LogRecord {
    enum class Kind { kNewKey, kNewDir, kAppFile, kSysFile };
    Kind kind;
    std::string root;    // kNewKey: "HKEY_LOCAL_MACHINE"
    std::string path;    // kNewKey: subkey; kNewDir: folder; files: folder
    std::string name;    // files: file name
    bool component = false;
};

struct ParsedLog {
    std::vector<LogRecord> records;     // in file order (newest first)
    std::vector<std::string> rejected;  // "line N: text" of lines that are no record
};

// Pure: the records of a log text (CR LF or LF lines). A file record splits at the last
// comma (after removing a trailing ",COMPONENT"), so folders may hold commas; a key record
// splits at the first comma (the root has none).
ParsedLog ParseInstallLog(std::string_view text);

struct UninstallReport {
    std::vector<std::string> removed;  // what was removed, in order
    std::vector<std::string> kept;     // what stays, with the reason
    std::vector<std::string> errors;   // what should have gone but could not
};

// Undoes `log` on the machine. `uninstallerPath` is the Windows path of the uninstaller's
// own program (removed last when no uninstall entry names it any more).
UninstallReport Uninstall(const ParsedLog& log, const platform::MachineFiles& files,
                          const std::shared_ptr<platform::RegistryStore>& registry, std::string_view uninstallerPath);

}  // namespace korvane::installer
