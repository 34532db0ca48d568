// korvane-machine: what the platform would do to the machine root, and a look inside it.
//   korvane-machine init                    give a fresh machine the keys and folders that
//                                           every Windows 9x machine has
//   korvane-machine restart                 process wininit.ini's [rename] section (a restart;
//                                           the next start of setup, the uninstaller or the
//                                           application does it too when one was requested)
//   korvane-machine registry                list every key and value
//   korvane-machine files                   list every file and folder of drive C:
//   korvane-machine snapshot                both lists (for before/after comparisons)
//   korvane-machine shortname <path>        the short 8.3 form of an existing path
//   korvane-machine hold <path>...          keep the files in use until stdin closes
//   korvane-machine uninstall <product>     run the product's uninstall command
//   korvane-machine clean-temp              remove from C:\WINDOWS\TEMP the temporary files
//                                           that programs which are gone left behind
// The machine root is KORVANE_ROOT (or the default of the paths layer).
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <vector>

#include "platform/hostfiles/leftovers.h"
#include "platform/machine/files.h"
#include "platform/machine/in_use.h"
#include "platform/machine/wininit.h"
#include "platform/registry/registry.h"

namespace fs = std::filesystem;
using namespace korvane::platform;

namespace {

std::string Hex(const std::vector<std::uint8_t>& data) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (auto b : data) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::string Escape(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else out += c;
    }
    return out;
}

void DumpKey(RegistryStore& store, RootKey root, const std::string& rootName, const std::string& path,
             std::vector<std::string>& lines) {
    if (!path.empty()) {
        lines.push_back("key\t" + rootName + "\\" + path);
        for (const auto& name : store.EnumValueNames(root, path)) {
            const auto value = store.QueryValue(root, path, name);
            if (!value) continue;
            std::string shown;
            if (value->type == ValueType::String) shown = "REG_SZ:" + Escape(value->AsString().value_or(""));
            else if (value->type == ValueType::Dword && value->AsDword()) shown = "REG_DWORD:" + std::to_string(*value->AsDword());
            else shown = "REG_BINARY:" + Hex(value->data);
            lines.push_back("value\t" + rootName + "\\" + path + "\t" + Escape(name) + "\t" + shown);
        }
    }
    for (const auto& sub : store.EnumSubkeys(root, path)) DumpKey(store, root, rootName, path.empty() ? sub : path + "\\" + sub, lines);
}

std::vector<std::string> RegistryLines(RegistryStore& store) {
    std::vector<std::string> lines;
    const std::pair<RootKey, const char*> roots[] = {
        {RootKey::LocalMachine, "HKEY_LOCAL_MACHINE"}, {RootKey::CurrentUser, "HKEY_CURRENT_USER"}, {RootKey::Users, "HKEY_USERS"}};
    for (const auto& [root, name] : roots) DumpKey(store, root, name, "", lines);
    return lines;
}

std::uint64_t Fnv1a(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::uint64_t hash = 1469598103934665603ull;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        for (std::streamsize i = 0; i < in.gcount(); ++i) {
            hash ^= static_cast<unsigned char>(buffer[i]);
            hash *= 1099511628211ull;
        }
    }
    return hash;
}

std::vector<std::string> FileLines(const MachineRoot& root) {
    std::vector<std::string> lines;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root.DriveC(), ec); it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (ec) break;
        const auto windows = root.ToWindows(it->path()).value_or(it->path().string());
        if (it->is_directory(ec)) {
            lines.push_back("dir\t" + windows);
        } else {
            char hash[17];
            std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv1a(it->path())));
            lines.push_back("file\t" + windows + "\t" + std::to_string(it->file_size(ec)) + "\t" + hash);
        }
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

void Print(const std::vector<std::string>& lines) {
    for (const auto& l : lines) std::cout << l << "\n";
}

// The keys and folders a freshly set-up Windows 9x machine has; values already there stay.
void InitMachine(const MachineRoot& root, RegistryStore& store) {
    const std::string current = "Software\\Microsoft\\Windows\\CurrentVersion";
    auto currentKey = store.CreateKey(RootKey::LocalMachine, current);
    if (!currentKey.Query("ProgramFilesDir")) currentKey.SetString("ProgramFilesDir", "C:\\Program Files");
    if (!currentKey.Query("CommonFilesDir")) currentKey.SetString("CommonFilesDir", "C:\\Program Files\\Common Files");
    for (const char* sub : {"\\Uninstall", "\\App Paths", "\\SharedDLLs"}) store.CreateKey(RootKey::LocalMachine, current + sub);
    store.CreateKey(RootKey::LocalMachine, "Software\\Classes\\CLSID");
    auto shellFolders = store.CreateKey(RootKey::Users,
                                        ".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
    if (!shellFolders.Query("Programs")) shellFolders.SetString("Programs", "C:\\WINDOWS\\Start Menu\\Programs");
    for (const char* folder : {"Program Files/Common Files", "WINDOWS/Start Menu/Programs"})
        fs::create_directories(root.DriveC() / folder);
}

int Usage() {
    std::cerr << "usage: korvane-machine init | restart | registry | files | snapshot | shortname <path> | hold <path>... | "
                 "uninstall <product> | clean-temp\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    try {
        const MachineRoot root = MachineRoot::FromEnvironment();
        if (command == "init") {
            auto store = RegistryStore::Open(root.RegistryFile());
            InitMachine(root, *store);
            return 0;
        }
        if (command == "restart") {
            const auto result = ProcessWininit(root);
            // A restart asked for by ExitWindowsEx is done now.
            std::error_code ec;
            if (result.failures.empty()) fs::remove(root.RestartRequestFile(), ec);
            std::cout << "applied\t" << result.applied << "\n";
            for (const auto& f : result.failures) std::cerr << "korvane-machine: " << f << "\n";
            return result.failures.empty() ? 0 : 1;
        }
        if (command == "registry" || command == "files" || command == "snapshot") {
            if (command != "files") {
                auto store = RegistryStore::Open(root.RegistryFile());
                Print(RegistryLines(*store));
            }
            if (command != "registry") Print(FileLines(root));
            return 0;
        }
        if (command == "clean-temp") {
            std::cout << "removed\t" << RemoveLeftoverTemporaries(root.TempDir()) << "\n";
            return 0;
        }
        if (command == "shortname" && argc == 3) {
            const auto shortPath = root.ShortPathName(argv[2]);
            if (!shortPath) {
                std::cerr << "korvane-machine: no such file: " << argv[2] << "\n";
                return 1;
            }
            std::cout << *shortPath << "\n";
            return 0;
        }
        if (command == "hold" && argc >= 3) {
            std::vector<InUseLock> locks;
            for (int i = 2; i < argc; ++i) {
                const auto host = root.ToHost(argv[i]);
                auto lock = host ? InUseLock::Hold(*host) : std::nullopt;
                if (!lock) {
                    std::cerr << "korvane-machine: cannot hold " << argv[i] << "\n";
                    return 1;
                }
                locks.push_back(std::move(*lock));
            }
            std::cout << "holding" << std::endl;
            std::string ignored;
            while (std::getline(std::cin, ignored)) {
            }
            return 0;
        }
        if (command == "uninstall" && argc == 3) {
            auto store = RegistryStore::Open(root.RegistryFile());
            const auto key = store->OpenKey(RootKey::LocalMachine,
                                            std::string("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + argv[2]);
            const auto commandLine = key ? key->QueryString("UninstallString") : std::nullopt;
            if (!commandLine) {
                std::cerr << "korvane-machine: no uninstall entry for " << argv[2] << "\n";
                return 1;
            }
            // "<program> <arguments>": the program path has no blanks on this machine.
            const auto blank = commandLine->find(' ');
            const std::string program = commandLine->substr(0, blank);
            const std::string arguments = blank == std::string::npos ? std::string() : commandLine->substr(blank + 1);
            const auto host = root.ToHost(program);
            if (!host || !fs::exists(*host)) {
                std::cerr << "korvane-machine: uninstaller missing: " << program << "\n";
                return 1;
            }
            std::cout.flush();
            const pid_t pid = ::fork();
            if (pid == 0) {
                ::execl(host->c_str(), host->c_str(), arguments.c_str(), static_cast<char*>(nullptr));
                std::perror("korvane-machine: exec");
                ::_exit(127);
            }
            int status = 0;
            if (pid < 0 || ::waitpid(pid, &status, 0) < 0) return 1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
        }
        return Usage();
    } catch (const std::exception& e) {
        std::cerr << "korvane-machine: " << e.what() << "\n";
        return 1;
    }
}
