#pragma once
// The shell calls the installer needs: shell links (the ".lnk" stand-in is a desktop-entry
// file), ShellExecute and ExitWindowsEx.
//
// ShellExecute and ExitWindowsEx go through a process-wide handler. The default handler
// works on the machine root from the environment: it appends every request to
// <root>/shell.log (so end-to-end tests can see them) and, for ShellExecute only, opens the
// document on the host with xdg-open unless KORVANE_SHELL=record. ExitWindowsEx never
// restarts the host: a restart of the machine is `korvane-machine restart`.
//
// Thread contract: the handler is set once at start-up; calls come from the UI thread.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::platform {

using HRESULT = std::int32_t;
inline constexpr HRESULT kSOk = 0;
inline constexpr HRESULT kEFail = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT kEInvalidArg = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT kStgECantSave = static_cast<HRESULT>(0x80030103u);

inline constexpr int kSwShowNormal = 1;
inline constexpr std::uint32_t kEwxReboot = 2;

// The persisted content of a shell link (IShellLinkA's settable fields).
struct ShellLinkData {
    std::string target;            // Windows path of the link target
    std::string arguments;
    std::string description;
    std::string iconPath;
    int iconIndex = 0;
    std::string workingDirectory;  // Windows path
    int showCommand = kSwShowNormal;
    std::uint16_t hotkey = 0;
};

// Pure: the desktop-entry text of a link named `name` (the link file's stem). `hostTarget`
// and `hostWorkingDirectory` are the host paths of the target and working folder (empty
// when they are outside the machine); the Windows fields are kept as X-Korvane-* keys.
std::string FormatShellLink(std::string_view name, const ShellLinkData& link, const std::string& hostTarget,
                            const std::string& hostWorkingDirectory);

// IPersistFile::Save of a shell link: writes the desktop entry to `hostLinkPath` through
// a temporary and a rename. kSOk, or kStgECantSave when it cannot be written.
HRESULT SaveShellLink(const std::filesystem::path& hostLinkPath, std::string_view name, const ShellLinkData& link,
                      const std::string& hostTarget, const std::string& hostWorkingDirectory);

// The host's applications menu: a Start-menu shortcut of a machine has a twin desktop
// entry in $XDG_DATA_HOME/applications (default ~/.local/share/applications), named after
// the link and the machine root so that several roots do not collide:
// "<lower-case link name>-<8 hex digits of the root>.desktop".
std::string MenuEntryFileName(const std::filesystem::path& machineRoot, std::string_view linkName);
// Pure: the twin's text: starts `hostTarget` in `hostWorkingDirectory` with KORVANE_ROOT
// set to `machineRoot`, with an icon and the categories Audio;AudioVideo;.
std::string FormatMenuEntry(std::string_view name, const std::filesystem::path& machineRoot,
                            const std::string& hostTarget, const std::string& hostWorkingDirectory);
// The applications folder of the host user (created by AddMenuEntry when missing).
std::filesystem::path HostApplicationsDir();

class ShellHandler {
public:
    virtual ~ShellHandler() = default;
    // Adds (or replaces) / removes a desktop entry of the host's applications menu; true
    // on success (removing an entry that is not there succeeds). The defaults do nothing.
    virtual bool AddMenuEntry(std::string_view fileName, std::string_view text);
    virtual bool RemoveMenuEntry(std::string_view fileName);
    // ShellExecuteA(owner, verb, file, parameters, directory, show): > 32 on success.
    virtual std::intptr_t ShellExecute(std::string_view verb, std::string_view file, std::string_view parameters,
                                       std::string_view directory, int showCommand) = 0;
    // ExitWindowsEx(flags, reserved): nonzero on success.
    virtual int ExitWindowsEx(std::uint32_t flags, std::uint32_t reserved) = 0;
};

ShellHandler& CurrentShellHandler();
std::shared_ptr<ShellHandler> SetShellHandler(std::shared_ptr<ShellHandler> handler);

std::intptr_t ShellExecute(std::string_view verb, std::string_view file, std::string_view parameters,
                           std::string_view directory, int showCommand);
int ExitWindowsEx(std::uint32_t flags, std::uint32_t reserved);
bool AddMenuEntry(std::string_view fileName, std::string_view text);
bool RemoveMenuEntry(std::string_view fileName);

// Test double: records the calls; ShellExecute answers `executeResult`.
class RecordingShell : public ShellHandler {
public:
    struct Execute {
        std::string verb, file, parameters, directory;
        int showCommand;
    };
    struct Exit {
        std::uint32_t flags, reserved;
    };
    explicit RecordingShell(std::intptr_t executeResult = 42) : executeResult_(executeResult) {}
    std::intptr_t ShellExecute(std::string_view verb, std::string_view file, std::string_view parameters,
                               std::string_view directory, int showCommand) override;
    int ExitWindowsEx(std::uint32_t flags, std::uint32_t reserved) override;
    bool AddMenuEntry(std::string_view fileName, std::string_view text) override;
    bool RemoveMenuEntry(std::string_view fileName) override;
    const std::vector<Execute>& Executes() const noexcept { return executes_; }
    // fileName -> text of the entries added and not removed.
    const std::vector<std::pair<std::string, std::string>>& MenuEntries() const noexcept { return menu_; }
    const std::vector<Exit>& Exits() const noexcept { return exits_; }

private:
    std::intptr_t executeResult_;
    std::vector<Execute> executes_;
    std::vector<Exit> exits_;
    std::vector<std::pair<std::string, std::string>> menu_;
};

// The default: records in <machine root>/shell.log ("ShellExecute\t<verb>\t<file>\t<params>"
// and "ExitWindowsEx\t<flags>\t<reserved>" lines) and opens documents with xdg-open unless
// KORVANE_SHELL=record.
class MachineShell : public ShellHandler {
public:
    explicit MachineShell(std::filesystem::path machineRoot) : root_(std::move(machineRoot)) {}
    std::intptr_t ShellExecute(std::string_view verb, std::string_view file, std::string_view parameters,
                               std::string_view directory, int showCommand) override;
    int ExitWindowsEx(std::uint32_t flags, std::uint32_t reserved) override;
    bool AddMenuEntry(std::string_view fileName, std::string_view text) override;
    bool RemoveMenuEntry(std::string_view fileName) override;

private:
    bool Record(const std::string& line);
    std::filesystem::path root_;
};

}  // namespace korvane::platform
