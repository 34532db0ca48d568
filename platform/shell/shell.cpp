#include "platform/shell/shell.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <system_error>

#include "platform/paths/paths.h"

extern char** environ;

namespace fs = std::filesystem;

namespace korvane::platform {
namespace {

std::mutex gHandlerMutex;
std::shared_ptr<ShellHandler> gHandler;

// Desktop-entry values may not hold line ends; we escape them as the format does.
std::string Escape(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else out += c;
    }
    return out;
}
// Exec arguments are quoted; inside quotes ", `, $ and \ are escaped with a backslash,
// and a literal % is doubled (a single one starts a field code).
std::string QuoteExec(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        out += c;
        if (c == '%') out += '%';
    }
    return out + "\"";
}

std::string LowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// A desktop-entry file name of ours: no folders, no hidden files.
bool IsMenuEntryName(std::string_view name) {
    return !name.empty() && name.front() != '.' && name.find('/') == std::string_view::npos &&
           name.ends_with(".desktop");
}

}  // namespace

std::string FormatShellLink(std::string_view name, const ShellLinkData& link, const std::string& hostTarget,
                            const std::string& hostWorkingDirectory) {
    std::ostringstream out;
    out << "[Desktop Entry]\n"
        << "Type=Application\n"
        << "Version=1.0\n"
        << "Name=" << Escape(name) << "\n";
    if (!link.description.empty()) out << "Comment=" << Escape(link.description) << "\n";
    if (!hostTarget.empty()) {
        out << "Exec=" << QuoteExec(hostTarget);
        if (!link.arguments.empty()) out << " " << Escape(link.arguments);
        out << "\n";
    }
    if (!hostWorkingDirectory.empty()) out << "Path=" << Escape(hostWorkingDirectory) << "\n";
    out << "X-Korvane-Target=" << Escape(link.target) << "\n"
        << "X-Korvane-Arguments=" << Escape(link.arguments) << "\n"
        << "X-Korvane-Description=" << Escape(link.description) << "\n"
        << "X-Korvane-IconLocation=" << Escape(link.iconPath) << "," << link.iconIndex << "\n"
        << "X-Korvane-WorkingDirectory=" << Escape(link.workingDirectory) << "\n"
        << "X-Korvane-ShowCommand=" << link.showCommand << "\n"
        << "X-Korvane-Hotkey=" << link.hotkey << "\n";
    return out.str();
}

HRESULT SaveShellLink(const fs::path& hostLinkPath, std::string_view name, const ShellLinkData& link,
                      const std::string& hostTarget, const std::string& hostWorkingDirectory) {
    const std::string text = FormatShellLink(name, link, hostTarget, hostWorkingDirectory);
    fs::path temp = hostLinkPath;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            std::error_code ec;
            fs::remove(temp, ec);
            return kStgECantSave;
        }
    }
    std::error_code ec;
    fs::rename(temp, hostLinkPath, ec);
    if (ec) {
        fs::remove(temp, ec);
        return kStgECantSave;
    }
    return kSOk;
}

std::string MenuEntryFileName(const fs::path& machineRoot, std::string_view linkName) {
    std::uint32_t hash = 2166136261u;  // FNV-1a of the root's path
    for (unsigned char c : machineRoot.string()) hash = (hash ^ c) * 16777619u;
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", hash);
    std::string name;
    for (char c : LowerAscii(linkName)) name += (c == ' ' || c == '/') ? '-' : c;
    return name + "-" + hex + ".desktop";
}

std::string FormatMenuEntry(std::string_view name, const fs::path& machineRoot, const std::string& hostTarget,
                            const std::string& hostWorkingDirectory) {
    std::ostringstream out;
    out << "[Desktop Entry]\n"
        << "Type=Application\n"
        << "Version=1.0\n"
        << "Name=" << Escape(name) << "\n"
        << "Comment=Cut CD audio tracks into sample regions\n"
        << "Exec=env " << QuoteExec("KORVANE_ROOT=" + machineRoot.string()) << " " << QuoteExec(hostTarget) << "\n";
    if (!hostWorkingDirectory.empty()) out << "Path=" << Escape(hostWorkingDirectory) << "\n";
    out << "Icon=media-optical-audio\n"
        << "Terminal=false\n"
        << "Categories=Audio;AudioVideo;\n";
    return out.str();
}

fs::path HostApplicationsDir() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && fs::path(xdg).is_absolute())
        return fs::path(xdg) / "applications";
    const char* home = std::getenv("HOME");
    return fs::path(home != nullptr ? home : "/") / ".local" / "share" / "applications";
}

bool ShellHandler::AddMenuEntry(std::string_view, std::string_view) { return true; }
bool ShellHandler::RemoveMenuEntry(std::string_view) { return true; }

bool AddMenuEntry(std::string_view fileName, std::string_view text) {
    return CurrentShellHandler().AddMenuEntry(fileName, text);
}
bool RemoveMenuEntry(std::string_view fileName) { return CurrentShellHandler().RemoveMenuEntry(fileName); }

bool RecordingShell::AddMenuEntry(std::string_view fileName, std::string_view text) {
    RemoveMenuEntry(fileName);
    menu_.emplace_back(fileName, text);
    return true;
}

bool RecordingShell::RemoveMenuEntry(std::string_view fileName) {
    std::erase_if(menu_, [&](const auto& entry) { return entry.first == fileName; });
    return true;
}

bool MachineShell::AddMenuEntry(std::string_view fileName, std::string_view text) {
    if (!IsMenuEntryName(fileName)) return false;
    const fs::path dir = HostApplicationsDir();
    std::error_code ec;
    fs::create_directories(dir, ec);
    const fs::path file = dir / fs::path(std::string(fileName));
    fs::path temp = file;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            fs::remove(temp, ec);
            return false;
        }
    }
    fs::rename(temp, file, ec);
    if (ec) fs::remove(temp, ec);
    return !ec && Record("MenuEntry\tadd\t" + file.string());
}

bool MachineShell::RemoveMenuEntry(std::string_view fileName) {
    if (!IsMenuEntryName(fileName)) return false;
    const fs::path file = HostApplicationsDir() / fs::path(std::string(fileName));
    std::error_code ec;
    const bool removed = fs::remove(file, ec);
    if (ec) return false;
    return !removed || Record("MenuEntry\tremove\t" + file.string());
}

ShellHandler& CurrentShellHandler() {
    std::lock_guard lock(gHandlerMutex);
    if (!gHandler) gHandler = std::make_shared<MachineShell>(MachineRoot::FromEnvironment().Root());
    return *gHandler;
}

std::shared_ptr<ShellHandler> SetShellHandler(std::shared_ptr<ShellHandler> handler) {
    std::lock_guard lock(gHandlerMutex);
    auto previous = std::move(gHandler);
    gHandler = std::move(handler);
    return previous;
}

std::intptr_t ShellExecute(std::string_view verb, std::string_view file, std::string_view parameters,
                           std::string_view directory, int showCommand) {
    return CurrentShellHandler().ShellExecute(verb, file, parameters, directory, showCommand);
}

int ExitWindowsEx(std::uint32_t flags, std::uint32_t reserved) {
    return CurrentShellHandler().ExitWindowsEx(flags, reserved);
}

std::intptr_t RecordingShell::ShellExecute(std::string_view verb, std::string_view file, std::string_view parameters,
                                           std::string_view directory, int showCommand) {
    executes_.push_back({std::string(verb), std::string(file), std::string(parameters), std::string(directory),
                         showCommand});
    return executeResult_;
}

int RecordingShell::ExitWindowsEx(std::uint32_t flags, std::uint32_t reserved) {
    exits_.push_back({flags, reserved});
    return 1;
}

bool MachineShell::Record(const std::string& line) {
    std::ofstream out(root_ / "shell.log", std::ios::app | std::ios::binary);
    out << line << '\n';
    out.flush();
    return static_cast<bool>(out);
}

std::intptr_t MachineShell::ShellExecute(std::string_view verb, std::string_view file, std::string_view parameters,
                                         std::string_view directory, int showCommand) {
    if (!Record("ShellExecute\t" + std::string(verb) + "\t" + std::string(file) + "\t" + std::string(parameters) +
                "\t" + std::string(directory) + "\t" + std::to_string(showCommand)))
        return 0;
    const char* mode = std::getenv("KORVANE_SHELL");
    if (mode != nullptr && std::string_view(mode) == "record") return 42;
    const auto host = MachineRoot(root_).ToHost(file);
    if (!host) return 2;  // SE_ERR_FNF
    // xdg-open runs detached; its outcome is the desktop's business, as with the shell.
    std::string hostPath = host->string();
    char xdg[] = "xdg-open";
    char* argv[] = {xdg, hostPath.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0) return 31;  // SE_ERR_NOASSOC
    return 42;
}

// Never reboots the host: a reboot request is recorded and marked, and the next program
// that starts on the machine carries out the restart (platform/machine/restart.h).
int MachineShell::ExitWindowsEx(std::uint32_t flags, std::uint32_t reserved) {
    if (!Record("ExitWindowsEx\t" + std::to_string(flags) + "\t" + std::to_string(reserved))) return 0;
    if ((flags & kEwxReboot) == 0) return 1;
    std::ofstream mark(MachineRoot(root_).RestartRequestFile(), std::ios::trunc);
    mark << "restart requested\n";
    mark.flush();
    return mark ? 1 : 0;
}

}  // namespace korvane::platform
