#pragma once
// The installer's one state record, the directory tokens of the payload catalogue and the
// installer's one error report.
//
// Thread contract: the installer has one thread; nothing here locks.
#include <memory>
#include <string>
#include <string_view>

namespace korvane::platform {
class MachineFiles;
}

namespace korvane::installer {

// Filled once by Installer::DiscoverFolders; the wizard replaces appDir when Finish is
// pressed; the placements read it and PlaceVersionedFile sets rebootNeeded. All folders
// are Windows paths without a trailing backslash; a file path is folder + "\" + name.
class InstallContext {
public:
    InstallContext() = default;
    InstallContext(const InstallContext&) = delete;
    InstallContext& operator=(const InstallContext&) = delete;
    // Removes the staging folder when it is empty (RemoveDirectory); what can remain in
    // it is a staged copy whose move to the pending name failed.
    virtual ~InstallContext();

    int rebootNeeded = 0;
    std::string programFilesDir;
    std::string commonFilesDir;
    std::string programsMenuDir;
    int initialised = 0;
    std::string sharedDir;  // "<shareddir>"
    std::string appDir;     // "<appdir>"
    std::string windowsDir; // "<windir>"
    std::string systemDir;  // "<sysdir>"
    std::string stagingDir;
    std::string productName;
    std::string exeName;

    // The machine the staging folder lives on; set by DiscoverFolders together with
    // stagingDir, so the destructor can remove it.
    std::shared_ptr<const platform::MachineFiles> machine;
};

// Pure: the folder that a catalogue folder entry names. The first of "<appdir>",
// "<sysdir>", "<windir>", "<shareddir>" (in this order) found in `text` is replaced, only
// at its first occurrence; the text around it stays. Without a token, a copy of `text`.
std::string ExpandDirToken(const InstallContext& context, std::string_view text);

// Pure: whether `folder` is a usable application folder: a drive letter, a colon, a
// backslash and at least one folder name; no empty, "." or ".." names, no name ending in
// a blank or dot, none of the characters <>:"/|?* or control characters, no trailing
// backslash, and short enough that the longest file path below it fits in 259 characters.
bool IsUsableAppFolder(std::string_view folder) noexcept;

// The message shown when the typed application folder is refused.
inline constexpr std::string_view kBadFolderText =
    "Please enter the full path of a folder on drive C:,\nfor example C:\\Program Files\\Quorvix\\Korvane.";

// MessageBox(focus window, text, no caption, MB_OK | MB_ICONHAND); returns when closed.
void ShowError(std::string_view text);
// How many errors ShowError reported in this process, so the installer's exit code can
// tell an installation with errors from a clean one.
int ErrorsShown() noexcept;

}  // namespace korvane::installer
