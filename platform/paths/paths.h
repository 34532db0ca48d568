#pragma once
// The machine root: everything Windows-shaped lives inside one folder (env KORVANE_ROOT,
// default $XDG_DATA_HOME/korvane, else ~/.local/share/korvane). It holds registry.db and
// drive_c/ (drive_c/WINDOWS, drive_c/WINDOWS/TEMP, drive_c/WINDOWS/SYSTEM, ...).
//
// Windows paths ("C:\WINDOWS\TEMP\~krvn1.tmp") map to host paths below drive_c/, each
// component resolved case-insensitively against what exists, as on Windows.
// Thread contract: all functions are safe from any thread; none caches the environment
// beyond the MachineRoot object it returns.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace korvane::platform {

class MachineRoot {
public:
    // The root from KORVANE_ROOT or the XDG default; creates the standard folders
    // (drive_c/WINDOWS/TEMP, drive_c/WINDOWS/SYSTEM, drive_c/Program Files) if missing.
    static MachineRoot FromEnvironment();
    // A root at an explicit folder (tests); creates the same standard folders.
    explicit MachineRoot(std::filesystem::path root);

    const std::filesystem::path& Root() const noexcept { return root_; }
    std::filesystem::path RegistryFile() const;   // <root>/registry.db
    std::filesystem::path DriveC() const;         // <root>/drive_c
    std::filesystem::path WindowsDir() const;     // <root>/drive_c/WINDOWS
    std::filesystem::path TempDir() const;        // <root>/drive_c/WINDOWS/TEMP
    std::filesystem::path SystemDir() const;      // <root>/drive_c/WINDOWS/SYSTEM
    std::filesystem::path RestartRequestFile() const;  // <root>/restart.requested

    // "C:\WINDOWS\TEMP\a.tmp" or "c:/windows/temp/A.TMP" -> host path. Existing
    // components are matched case-insensitively (the existing spelling wins); missing
    // ones keep the given spelling. Only drive C: exists; anything else -> nullopt.
    // This is the one gate from Windows paths to the host: "." and ".." are resolved as
    // Windows does (".." at the drive root stays there), and a path that would still
    // leave drive_c (through a symbolic link inside it) is refused with nullopt.
    std::optional<std::filesystem::path> ToHost(std::string_view windowsPath) const;
    // Whether `hostPath`, with every symbolic link of its existing part followed, lies
    // inside drive_c.
    bool InsideDrive(const std::filesystem::path& hostPath) const;
    // Host path below DriveC() -> "C:\..." with backslashes; nullopt outside the drive.
    std::optional<std::string> ToWindows(const std::filesystem::path& hostPath) const;

    // GetShortPathName: the 8.3 form of an existing path, e.g. "C:\Program Files\Korvane
    // Studio\readme.txt" -> "C:\PROGRA~1\KORVAN~1\README.TXT"; nullopt when it does not
    // exist or the alias table cannot be written. A name that fits 8.3 is upper-cased;
    // others get an alias BASE~N.EXT the first time they are asked for, kept in the machine's
    // alias table (platform/paths/short_names.h) so it stays the same whatever is added to
    // the folder later. ToHost() accepts these aliases for existing entries.
    std::optional<std::string> ShortPathName(std::string_view windowsPath) const;

    // Windows-path views of the standard folders: "C:\WINDOWS", "C:\WINDOWS\SYSTEM", ...
    static constexpr std::string_view kWindowsDir = "C:\\WINDOWS";
    static constexpr std::string_view kSystemDir = "C:\\WINDOWS\\SYSTEM";
    static constexpr std::string_view kTempDir = "C:\\WINDOWS\\TEMP";

private:
    std::filesystem::path root_;
};

// Case-insensitive (ASCII) comparison, as Windows compares file and key names.
bool EqualsIgnoreCase(std::string_view a, std::string_view b) noexcept;

}  // namespace korvane::platform
