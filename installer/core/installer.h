#pragma once
// The installation itself: folder discovery and registration, versioned placement with
// replacement at restart, the payload catalogue and the install sequence. Operations
// return 1 (or true) on success and 0 on failure, report their own failures through
// ShowError at once, and the installation goes on; nothing is rolled back.
//
// Thread contract: one thread (the wizard's); an Installer works on the context, log,
// machine and payload it was given, all of which must outlive it.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "installer/core/install_context.h"
#include "installer/core/install_log.h"
#include "platform/registry/registry.h"
#include "platform/shell/shell.h"
#include "platform/version/version.h"

namespace korvane::platform {
class MachineFiles;
class ResourceImage;
}  // namespace korvane::platform

namespace korvane::installer {

inline constexpr char kPayloadType[] = "INSTFILE";
inline constexpr int kMaxFilesPerKind = 15;

inline constexpr std::uint32_t kProductNameId = 50000;
inline constexpr std::uint32_t kExeNameId = 50001;

inline constexpr char kUninstallKeyBase[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
inline constexpr char kAppPathsKeyBase[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
inline constexpr char kSharedDllsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
inline constexpr char kCurrentVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
inline constexpr char kShellFoldersKey[] = ".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
inline constexpr char kMakerName[] = "Quorvix";

inline constexpr std::string_view kRegistryErrorText =
    "There was an error while trying to set up a registry key\nThe installation my be incomplete.";
inline constexpr std::string_view kCopyErrorText = "Could not copy File.";
inline constexpr std::string_view kStageErrorText = "Could not copy file.";
// A payload file whose name the install log cannot hold (a comma, or "COMPONENT") is not
// placed: the uninstaller could not find it again.
inline std::string UnrecordableNameText(std::string_view name) {
    return "The file name \"" + std::string(name) + "\" cannot be recorded in the install log.\nThe file was not installed.";
}

// One payload kind of the catalogue.
struct PayloadKind {
    const char* prefix;
    std::uint32_t nameBase;
    std::uint32_t folderBase;
};
inline constexpr PayloadKind kAppFiles{"IDT_APPFILE_", 40000, 47000};
inline constexpr PayloadKind kSystemFiles{"IDT_SYSFILE_", 41000, 44000};
inline constexpr PayloadKind kSelfRegSystemFiles{"IDT_SELFREGSYS_", 42000, 45000};
inline constexpr PayloadKind kSelfRegCustomFiles{"IDT_SELFREG_CUSTOM_", 43000, 46000};

// A shortcut for CreateShellLink; only the target and the fields whose flag is set are read.
struct ShellLinkSpec {
    enum : std::uint32_t {
        kDescription = 1, kArguments = 2, kIcon = 4, kWorkingDirectory = 8, kHotkey = 16, kShowCommand = 32,
    };
    std::string targetPath;
    std::uint32_t flags = 0;
    std::string description;
    std::string arguments;
    std::string iconPath;
    int iconIndex = 0;
    std::string workingDirectory;
    int showCommand = 0;
    std::uint16_t hotkey = 0;
};

// The finish page's progress line.
class ProgressLine {
public:
    virtual ~ProgressLine() = default;
    virtual void SetText(std::string_view text) = 0;
};

// Pure: the product-version comparison of the versioned placement: true when `staged` is
// strictly newer than `existing` (dwProductVersionMS first, then LS, unsigned).
bool IsNewerProductVersion(const platform::VsFixedFileInfo& staged, const platform::VsFixedFileInfo& existing) noexcept;

// Pure: `control` (the restart file's text, any line ends) with the two rename lines
// "NUL=<shortTarget>" and "<shortTarget>=<shortPending>" inserted directly after the first
// line that, after leading white space, starts with "[rename]" in any letter case, or, when
// there is none, appended in a new "[Rename]" section. Every line ends in CR LF; all other
// lines stay in their order and unchanged.
std::string AddRenameLines(std::string_view control, std::string_view shortTarget, std::string_view shortPending);

// Pure: the progress line for `counter` files: as many "|||||" as the counter holds.
std::string ProgressText(int counter);

class Installer {
public:
    Installer(InstallContext& context, InstallLog& log, std::shared_ptr<const platform::MachineFiles> files,
              std::shared_ptr<platform::RegistryStore> registry, const platform::ResourceImage& payload);

    InstallContext& Context() noexcept { return context_; }
    InstallLog& Log() noexcept { return log_; }
    const platform::MachineFiles& Files() const noexcept { return *files_; }
    const platform::ResourceImage& Payload() const noexcept { return payload_; }

    // Folders.
    std::string ExpandDirToken(std::string_view text) const { return installer::ExpandDirToken(context_, text); }
    // Creates every missing folder of `path` from index 4 on, parents first, recording
    // each with AddNewDir; false as soon as one creation fails.
    bool CreateDirectoryPath(std::string_view path);

    // Registration.
    // Fills the context once: names from the string table, the machine's folders, the
    // defaults, and a fresh staging folder. A staging folder that cannot be created is
    // reported (the system files then cannot be placed).
    void DiscoverFolders();
    // RegCreateKeyEx under HKLM; records a key it created. On failure the registry message
    // and false.
    bool OpenOrCreateMachineKey(std::string_view subkey, std::optional<platform::RegKey>* key);
    void RegisterUninstallEntry();
    void CreateProductKey();
    void RegisterAppPath();
    void IncrementSharedDllCount(std::string_view fullPath);
    platform::HRESULT CreateShellLink(std::string_view linkPath, const ShellLinkSpec& spec);
    int CreateProgramShortcut();
    void AddHostMenuEntry();
    void OpenReadMe();

    // Versioned placement.
    int PlaceVersionedFile(std::span<const std::uint8_t> data, std::string_view name, std::string_view folder,
                           int component);
    bool ReadFixedFileInfo(std::string_view path, platform::VsFixedFileInfo* info) const;
    // Adds the rename lines for `target` and `pending` to the restart file, written as
    // "nwii.tmp" in the staging folder and renamed over "wininit.ini". False when a short
    // path cannot be obtained or a file cannot be written (nothing is changed then).
    bool ScheduleReplaceOnRestart(std::string_view targetPath, std::string_view pendingPath);

    // Payload.
    int WritePayloadFile(std::span<const std::uint8_t> data, std::string_view name, std::string_view folder,
                         int component);
    int RegisterServerFile(std::string_view path);
    int InstallAppFiles(ProgressLine& progress, int& counter);
    int InstallSystemFiles(ProgressLine& progress, int& counter);
    int InstallSelfRegSystemFiles(ProgressLine& progress, int& counter);
    int InstallSelfRegCustomFiles(ProgressLine& progress, int& counter);
    int WriteUninstaller();

    // The whole sequence that Finish runs; returns 1.
    int RunInstallation(ProgressLine& progress);

    // Whether files can be installed into `folder` now: every existing part of it is a
    // folder, and the missing parts can be created and a file written in it. Whatever the
    // trial created is removed again, and nothing is recorded.
    bool CanInstallInto(std::string_view folder) const;

private:
    // What an earlier installation of this product left: its uninstall command and log.
    struct Previous {
        std::optional<std::string> uninstallString;
        std::optional<ParsedLog> log;
    };
    Previous ReadPreviousInstallation() const;
    // The earlier log's records that still apply, kept in this installation's log.
    void KeepPreviousRecords();
    // A failed log save must not leave the uninstall entry pointing at a log that was
    // never written when the entry worked before.
    void RestoreUninstallEntry();
    bool RecordStillThere(const LogRecord& record) const;
    template <typename Place>
    void ForEachPayload(const PayloadKind& kind, ProgressLine& progress, int& counter, Place place);
    std::string LoadString(std::uint32_t id) const;

    InstallContext& context_;
    InstallLog& log_;
    std::shared_ptr<const platform::MachineFiles> files_;
    std::shared_ptr<platform::RegistryStore> registry_;
    const platform::ResourceImage& payload_;
    Previous previous_;
};

}  // namespace korvane::installer
