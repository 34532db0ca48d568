#include "platform/paths/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "platform/paths/short_names.h"

namespace fs = std::filesystem;

namespace korvane::platform {
namespace {

char LowerAscii(char c) noexcept { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string EnvOrEmpty(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

fs::path HomeDir() {
    if (std::string home = EnvOrEmpty("HOME"); !home.empty()) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    throw std::runtime_error("cannot locate the machine root: neither KORVANE_ROOT nor HOME is set");
}

// Absolute, normalised, without a trailing separator, so prefixes compare lexically.
fs::path Normalised(const fs::path& path) {
    fs::path result = fs::absolute(path).lexically_normal();
    if (!result.has_filename() && result.has_relative_path()) result = result.parent_path();
    return result;
}

// Characters Windows never allows in a file name component.
bool ValidComponent(std::string_view name) noexcept {
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20) return false;
        switch (c) {
            case '<': case '>': case ':': case '"': case '|': case '?': case '*': return false;
            default: break;
        }
    }
    return true;
}

// Splits a Windows path after "C:" into components, resolving "." and ".." as Windows
// does: ".." at the drive root stays at the root, so no path leaves the drive.
std::optional<std::vector<std::string>> SplitComponents(std::string_view rest) {
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (pos <= rest.size()) {
        const std::size_t end = std::min(rest.find_first_of("\\/", pos), rest.size());
        const std::string_view part = rest.substr(pos, end - pos);
        pos = end + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        if (!ValidComponent(part)) return std::nullopt;
        parts.emplace_back(part);
    }
    return parts;
}

// The entry of `dir` named `name` ignoring case: the exact spelling if it exists,
// otherwise the alphabetically first case-insensitive match (stable when several exist).
std::optional<std::string> FindIgnoringCase(const fs::path& dir, const std::string& name) {
    std::error_code ec;
    if (fs::exists(dir / name, ec)) return name;
    std::optional<std::string> best;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string candidate = it->path().filename().string();
        if (EqualsIgnoreCase(candidate, name) && (!best || candidate < *best)) best = std::move(candidate);
    }
    return best;
}

}  // namespace

bool EqualsIgnoreCase(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

MachineRoot MachineRoot::FromEnvironment() {
    if (std::string root = EnvOrEmpty("KORVANE_ROOT"); !root.empty()) return MachineRoot(root);
    // XDG: a relative XDG_DATA_HOME is invalid and must be ignored.
    if (fs::path xdg = EnvOrEmpty("XDG_DATA_HOME"); xdg.is_absolute()) return MachineRoot(xdg / "korvane");
    return MachineRoot(HomeDir() / ".local" / "share" / "korvane");
}

MachineRoot::MachineRoot(fs::path root) : root_(Normalised(root)) {
    fs::create_directories(TempDir());
    fs::create_directories(SystemDir());
    fs::create_directories(DriveC() / "Program Files");
}

fs::path MachineRoot::RegistryFile() const { return root_ / "registry.db"; }
fs::path MachineRoot::DriveC() const { return root_ / "drive_c"; }
fs::path MachineRoot::WindowsDir() const { return DriveC() / "WINDOWS"; }
fs::path MachineRoot::TempDir() const { return WindowsDir() / "TEMP"; }
fs::path MachineRoot::SystemDir() const { return WindowsDir() / "SYSTEM"; }
fs::path MachineRoot::RestartRequestFile() const { return root_ / "restart.requested"; }

std::optional<fs::path> MachineRoot::ToHost(std::string_view windowsPath) const {
    if (windowsPath.size() < 2 || windowsPath[1] != ':' || LowerAscii(windowsPath[0]) != 'c') return std::nullopt;
    const std::string_view rest = windowsPath.substr(2);
    // "C:name" is relative to the drive's current folder, which this machine does not have.
    if (!rest.empty() && rest[0] != '\\' && rest[0] != '/') return std::nullopt;
    const auto parts = SplitComponents(rest);
    if (!parts) return std::nullopt;

    fs::path host = DriveC();
    bool resolving = true;  // once a component is missing, the rest cannot exist either
    for (const std::string& part : *parts) {
        std::optional<std::string> existing;
        if (resolving) existing = FindIgnoringCase(host, part);
        if (resolving && !existing) existing = AliasedEntry(root_, DriveC(), host, part);
        resolving = existing.has_value();
        host /= existing ? *existing : part;
    }
    if (!InsideDrive(host)) return std::nullopt;
    return host;
}

bool MachineRoot::InsideDrive(const fs::path& hostPath) const {
    std::error_code ec;
    const fs::path drive = fs::weakly_canonical(DriveC(), ec);
    if (ec) return false;
    const fs::path resolved = fs::weakly_canonical(hostPath, ec);
    if (ec) return false;
    const fs::path relative = resolved.lexically_relative(drive);
    return !relative.empty() && *relative.begin() != "..";
}

std::optional<std::string> MachineRoot::ToWindows(const fs::path& hostPath) const {
    const fs::path relative = Normalised(hostPath).lexically_relative(DriveC());
    if (relative.empty()) return std::nullopt;
    std::string result = "C:";
    for (const fs::path& part : relative) {
        const std::string name = part.string();
        if (name == ".") continue;
        // ".." means outside the drive; a backslash in a host name has no Windows spelling.
        if (name == ".." || name.find('\\') != std::string::npos) return std::nullopt;
        result += '\\';
        result += name;
    }
    if (result.size() == 2) result += '\\';
    return result;
}

}  // namespace korvane::platform
