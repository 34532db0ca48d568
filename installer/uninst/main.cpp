// vmuninst <install log>: removes what the log says an installation created. Started by
// the uninstall entry's command, "<windir>\VMUninst.exe <appdir>\_install.log": the whole
// rest of the command line is the log's Windows path, blanks included.
#include <fstream>
#include <iostream>
#include <sstream>

#include "installer/uninst/uninstall.h"
#include "platform/machine/files.h"
#include "platform/registry/registry.h"

int main(int argc, char** argv) {
    using namespace korvane;
    std::string logPath;
    for (int i = 1; i < argc; ++i) logPath += (i > 1 ? " " : "") + std::string(argv[i]);
    if (logPath.empty()) {
        std::cerr << "usage: vmuninst <path of _install.log>\n";
        return 2;
    }
    try {
        const auto root = platform::MachineRoot::FromEnvironment();
        const platform::MachineFiles files(root);
        const auto hostLog = files.Host(logPath);
        std::ifstream in;
        if (hostLog) in.open(*hostLog, std::ios::binary);
        if (!in) {
            std::cerr << "vmuninst: cannot read the install log " << logPath << "\n";
            return 1;
        }
        std::stringstream text;
        text << in.rdbuf();
        in.close();
        const auto log = installer::ParseInstallLog(text.str());
        for (const auto& line : log.rejected) std::cerr << "vmuninst: not a log record, ignored: " << line << "\n";
        const auto registry = platform::RegistryStore::Open(root.RegistryFile());
        const std::string self = std::string(platform::MachineRoot::kWindowsDir) + "\\VMUnInst.exe";
        const auto report = installer::Uninstall(log, files, registry, self);
        for (const auto& r : report.removed) std::cout << "removed\t" << r << "\n";
        for (const auto& k : report.kept) std::cout << "kept\t" << k << "\n";
        for (const auto& e : report.errors) std::cerr << "vmuninst: " << e << "\n";
        return report.errors.empty() && log.rejected.empty() ? 0 : 1;
    } catch (const std::exception& e) {
        std::cerr << "vmuninst: " << e.what() << "\n";
        return 1;
    }
}
