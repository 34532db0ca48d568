// vmuninst <install log>: removes what the log says an installation created. Started by
// the uninstall entry's command, "<windir>\VMUninst.exe <appdir>\_install.log": the whole
// rest of the command line is the log's Windows path, blanks included.
#include <fstream>
#include <iostream>
#include <sstream>

#include "installer/uninst/uninstall.h"
#include "platform/machine/files.h"
#include "platform/machine/restart.h"
#include "platform/registry/registry.h"

namespace {

constexpr const char* kUsage =
    "usage: vmuninst <Windows path of _install.log>\n"
    "Removes what the installation recorded in the log, e.g.\n"
    "  vmuninst C:\\Program Files\\Quorvix\\Korvane\\_install.log\n"
    "The machine root is KORVANE_ROOT (default ~/.local/share/korvane).\n";

// The log's text; nullopt (after saying why) when it is not a readable file of the machine.
std::optional<std::string> ReadLog(const korvane::platform::MachineFiles& files, const std::string& logPath) {
    const auto host = files.Host(logPath);
    if (!host) {
        std::cerr << "vmuninst: not a full Windows path of this machine (C:\\...): " << logPath << "\n";
        return std::nullopt;
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(*host, ec)) {
        std::cerr << "vmuninst: cannot read the install log " << logPath << ": "
                  << (std::filesystem::exists(*host, ec) ? "not a file" : "no such file") << "\n";
        return std::nullopt;
    }
    std::ifstream in(*host, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    if (!in.is_open() || in.bad()) {
        std::cerr << "vmuninst: cannot read the install log " << logPath << "\n";
        return std::nullopt;
    }
    return text.str();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace korvane;
    std::string logPath;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) logPath += ' ';
        logPath += argv[i];
    }
    if (logPath == "--help" || logPath == "-h") {
        std::cout << kUsage;
        return 0;
    }
    if (logPath.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    try {
        const auto root = platform::MachineRoot::FromEnvironment();
        platform::RestartIfRequested(root, "vmuninst", std::cerr);
        const platform::MachineFiles files(root);
        const auto text = ReadLog(files, logPath);
        if (!text) return 1;
        const auto log = installer::ParseInstallLog(*text);
        for (const auto& line : log.rejected) std::cerr << "vmuninst: not a log record, ignored: " << line << "\n";
        const auto registry = platform::RegistryStore::Open(root.RegistryFile());
        const std::string self = std::string(platform::MachineRoot::kWindowsDir) + "\\VMUnInst.exe";
        const auto report = installer::Uninstall(log, files, registry, self, logPath);
        for (const auto& r : report.removed) std::cout << "removed\t" << r << "\n";
        for (const auto& k : report.kept) std::cout << "kept\t" << k << "\n";
        for (const auto& e : report.errors) std::cerr << "vmuninst: " << e << "\n";
        if (!report.errors.empty())
            std::cerr << "vmuninst: the uninstallation is incomplete; the log and the uninstall entry stay, "
                         "run the uninstall again when the files are no longer in use\n";
        return report.errors.empty() && log.rejected.empty() ? 0 : 1;
    } catch (const std::exception& e) {
        std::cerr << "vmuninst: " << e.what() << "\n";
        return 1;
    }
}
