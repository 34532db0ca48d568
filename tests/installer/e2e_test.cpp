// End to end on fresh machine roots: the real korvane-setup (scripted wizard),
// korvane-machine and vmuninst, compared through snapshots of files and registry.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "installer/uninst/uninstall.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

const fs::path kBin = KORVANE_BIN_DIR;
const std::string kAppDir = "C:\\Program Files\\Quorvix\\Korvane";
const std::string kSharedDir = "C:\\Program Files\\Common Files\\Quorvix";

using korvane::testing::ReadText;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

struct RunResult {
    int status = -1;
    std::string output;  // stdout and stderr
};

// A program that holds files in use until released ("the running application").
class Holder {
public:
    Holder(const fs::path& root, const std::vector<std::string>& paths) {
        int in[2], out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::close(in[1]);
            ::close(out[0]);
            ::setenv("KORVANE_ROOT", root.c_str(), 1);
            const std::string tool = (kBin / "korvane-machine").string();
            std::vector<char*> argv{const_cast<char*>(tool.c_str()), const_cast<char*>("hold")};
            for (const auto& p : paths) argv.push_back(const_cast<char*>(p.c_str()));
            argv.push_back(nullptr);
            ::execv(tool.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        stdin_ = in[1];
        char buffer[16] = {};
        ready_ = ::read(out[0], buffer, 8) == 8 && std::string(buffer, 7) == "holding";
        ::close(out[0]);
    }
    ~Holder() { Release(); }
    bool Ready() const { return ready_; }
    void Release() {
        if (stdin_ >= 0) ::close(stdin_);
        stdin_ = -1;
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    bool ready_ = false;
};

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(Machine({"init"}).status, 0); }

    // Runs a program on this machine root; its standard output followed by its errors.
    RunResult Program(const fs::path& program, const std::vector<std::string>& args) const {
        const auto run = korvane::testing::RunProgram(
            program.string(), args, scratch.Path(),
            {"KORVANE_ROOT=" + root.string(), "XDG_DATA_HOME=" + (root / "xdg").string(), "KORVANE_SHELL=record",
             "QT_QPA_PLATFORM=offscreen"});
        return {run.exitCode, run.out + run.err};
    }
    RunResult Machine(const std::vector<std::string>& args) const { return Program(kBin / "korvane-machine", args); }
    RunResult RunSetup(const fs::path& setup, std::vector<std::string> actions) const {
        actions.insert(actions.begin(), "--script");
        return Program(setup, actions);
    }
    std::vector<std::string> Snapshot() const {
        auto lines = Lines(Machine({"snapshot"}).output);
        std::sort(lines.begin(), lines.end());
        return lines;
    }
    fs::path Host(const std::string& windowsPath) const {
        std::string rel = windowsPath.substr(3);
        std::replace(rel.begin(), rel.end(), '\\', '/');
        return root / "drive_c" / rel;  // spelled as the installer spells it (tests only)
    }
    // An installer with the build's payload but `replace` source files for target names.
    fs::path PackInstaller(const std::map<std::string, fs::path>& replace, const std::string& drop = "") const {
        std::string manifest;
        for (auto line : Lines(ReadText(INSTALLER_MANIFEST))) {
            std::istringstream fields(line);
            std::string kind, name;
            fields >> kind >> name;
            if (!drop.empty() && kind == drop) continue;
            if (auto it = replace.find(name); it != replace.end()) {
                std::string folder;
                fields >> folder;
                line = kind + " " + name + " " + folder + " " + it->second.string();
            }
            manifest += line + "\n";
        }
        const fs::path manifestFile = root / ("manifest" + std::to_string(++packed_) + ".txt");
        std::ofstream(manifestFile) << manifest;
        const fs::path setup = root / ("setup" + std::to_string(packed_));
        const auto run = Program(kBin / "korvane-pack", {(kBin / "korvane-setup-bare").string(), manifestFile.string(), setup.string()});
        EXPECT_EQ(run.status, 0) << run.output;
        return setup;
    }
    bool ShippedControl() const { return ReadText(INSTALLER_MANIFEST).find("Lumatrel.ocx") != std::string::npos; }

    korvane::testing::TempDir temp, scratch;
    const fs::path root = temp.Path();
    mutable int packed_ = 0;
};

std::vector<std::string> Minus(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    std::vector<std::string> out;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

TEST_F(EndToEnd, InstallThenUninstallLeavesTheMachineAsItWas) {
    const auto before = Snapshot();
    const auto setup = RunSetup(kBin / "korvane-setup", {"accept", "finish"});
    ASSERT_EQ(setup.status, 0) << setup.output;
    EXPECT_NE(setup.output.find("MessageBox\t64\tVestramo Installer\tSetup finished\n"), std::string::npos) << setup.output;
    EXPECT_EQ(setup.output.find("MessageBox\t16\t"), std::string::npos) << setup.output;  // no error shown

    // Files: every payload file as built (the application too), the uninstaller, the log
    // and the shortcut.
    const std::map<std::string, std::string> folders = {
        {"<appdir>", kAppDir}, {"<sysdir>", "C:\\WINDOWS\\SYSTEM"}, {"<shareddir>", kSharedDir}};
    int placed = 0;
    for (const auto& line : Lines(ReadText(INSTALLER_MANIFEST))) {
        std::istringstream fields(line);
        std::string kind, name, folder, source;
        fields >> kind >> name >> folder >> source;
        if (folders.count(folder) == 0) continue;
        EXPECT_TRUE(ReadText(Host(folders.at(folder) + "\\" + name)) == ReadText(source)) << name;
        ++placed;
    }
    EXPECT_GE(placed, 7);
    EXPECT_TRUE(fs::exists(Host("C:\\WINDOWS\\Start Menu\\Programs\\Quorvix\\Korvane.lnk")));
    const std::string log = ReadText(Host(kAppDir + "\\_install.log"));
    EXPECT_TRUE(log.starts_with("INSTAPPFILE " + kAppDir + ",_install.log\r\n"
                                "INSTAPPFILE C:\\WINDOWS\\Start Menu\\Programs\\Quorvix,Korvane.lnk\r\n"
                                "NEWDIR C:\\WINDOWS\\Start Menu\\Programs\\Quorvix\r\n"))
        << log;
    EXPECT_TRUE(log.ends_with("NEWKEY HKEY_LOCAL_MACHINE,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvane\r\n"));
    EXPECT_NE(log.find("INSTSYSFILE C:\\WINDOWS\\SYSTEM,MSVCRT.DLL\r\nINSTSYSFILE C:\\WINDOWS\\SYSTEM,MFC42.DLL\r\n"
                       "INSTSYSFILE C:\\WINDOWS\\SYSTEM,COMCTL32.DLL\r\n"),
              std::string::npos);
    if (ShippedControl()) {
        EXPECT_NE(log.find("INSTAPPFILE " + kSharedDir + ",Lumatrel.ocx,COMPONENT\r\n"), std::string::npos);
    }

    // Registry: uninstall command, app path, shared-use counts.
    const auto installed = Snapshot();
    const auto added = Minus(installed, before);
    const auto has = [&](const std::string& line) { return std::find(added.begin(), added.end(), line) != added.end(); };
    EXPECT_TRUE(has("value\tHKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvane\t"
                    "UninstallString\tREG_SZ:C:\\WINDOWS\\VMUninst.exe " + kAppDir + "\\_install.log"));
    EXPECT_TRUE(has("value\tHKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Korvane.exe\t\t"
                    "REG_SZ:" + kAppDir + "\\Korvane.exe"));
    EXPECT_TRUE(has("value\tHKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs\t"
                    "C:\\WINDOWS\\SYSTEM\\MFC42.DLL\tREG_DWORD:1"));
    EXPECT_TRUE(Minus(before, installed).empty());  // installing removes nothing
    EXPECT_NE(ReadText(root / "shell.log").find("ShellExecute\topen\t" + kAppDir + "\\ReadMe.txt\t"), std::string::npos);

    const auto uninstall = Machine({"uninstall", "Korvane"});
    EXPECT_EQ(uninstall.status, 0) << uninstall.output;
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(EndToEnd, ReinstallOverARunningApplicationThenRestartThenUninstall) {
    ASSERT_EQ(RunSetup(kBin / "korvane-setup", {"accept", "finish"}).status, 0);
    // The running application keeps its modules in use; one of the system libraries too.
    std::vector<std::string> inUse = {"C:\\WINDOWS\\SYSTEM\\COMCTL32.DLL", kAppDir + "\\Korvane.hlp"};
    if (ShippedControl()) inUse.push_back(kSharedDir + "\\Lumatrel.ocx");
    Holder app(root, inUse);
    ASSERT_TRUE(app.Ready());

    const fs::path newer = PackInstaller({{"COMCTL32.DLL", fs::path(INSTALLER_TEST_MODULES) / "newer_ls.dll"}});
    const auto setup = RunSetup(newer, {"accept", "finish", "answer=ok"});
    ASSERT_EQ(setup.status, 4) << setup.output;  // installed, with the errors reported
    std::size_t errors = 0;
    for (const auto& line : Lines(setup.output))
        if (line == "MessageBox\t16\t\tCould not copy File.") ++errors;
    EXPECT_EQ(errors, inUse.size() - 1);  // the help file and the control; the library goes to restart
    EXPECT_NE(setup.output.find("MessageBox\t33\tReboot\tSetup finished.\\nYou have to reboot your computer\\n"
                                "(choose 'Cancel' to reboot later).\n"),
              std::string::npos)
        << setup.output;
    EXPECT_NE(ReadText(root / "shell.log").find("ExitWindowsEx\t2\t0\n"), std::string::npos);

    const std::string pending = "C:\\WINDOWS\\SYSTEM\\COMCTL32.DLL.precpy";
    EXPECT_TRUE(ReadText(Host(pending)) == ReadText(fs::path(INSTALLER_TEST_MODULES) / "newer_ls.dll"));
    EXPECT_EQ(ReadText(Host("C:\\WINDOWS\\wininit.ini")),
              "[Rename]\r\nNUL=C:\\WINDOWS\\SYSTEM\\COMCTL32.DLL\r\n"
              "C:\\WINDOWS\\SYSTEM\\COMCTL32.DLL=C:\\WINDOWS\\SYSTEM\\COMCTL~1.PRE\r\n");
    const std::string log = ReadText(Host(kAppDir + "\\_install.log"));
    // The reinstall's own records come first; behind them, the first installation's records
    // that it did not make again (its keys, folders, system files, and the help file that
    // was in use and not written now), so one uninstall removes both.
    const auto carried = log.find("NEWDIR");
    EXPECT_LT(log.find("Korvane.exe"), carried) << log;
    EXPECT_GT(log.find("Korvane.hlp"), carried) << log;
    EXPECT_GT(log.find("INSTSYSFILE"), carried) << log;
    EXPECT_TRUE(log.ends_with("NEWKEY HKEY_LOCAL_MACHINE,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvane\r\n"));

    // A restart while the application still runs changes nothing; after it ended, the
    // pending copy takes the library's place.
    EXPECT_NE(Machine({"restart"}).status, 0);
    app.Release();
    const auto restart = Machine({"restart"});
    EXPECT_EQ(restart.status, 0) << restart.output;
    EXPECT_TRUE(ReadText(Host("C:\\WINDOWS\\SYSTEM\\COMCTL32.DLL")) ==
                ReadText(fs::path(INSTALLER_TEST_MODULES) / "newer_ls.dll"));
    EXPECT_FALSE(fs::exists(Host(pending)));
    EXPECT_EQ(ReadText(Host("C:\\WINDOWS\\wininit.ini")), "[Rename]\r\n");

    // The uninstall removes exactly what the second log names (and the shared-use values of
    // the files it removed, the control's registration, and the uninstaller once no entry
    // uses it); everything else stays.
    const auto parsed = korvane::installer::ParseInstallLog(log);
    std::set<std::string> named = {"C:\\WINDOWS\\VMUnInst.exe"};
    for (const auto& r : parsed.records)
        named.insert(r.kind == korvane::installer::LogRecord::Kind::kNewKey ? "HKEY_LOCAL_MACHINE\\" + r.path
                     : r.name.empty()                                   ? r.path
                                                                        : r.path + "\\" + r.name);
    const auto beforeUninstall = Snapshot();
    const auto uninstall = Machine({"uninstall", "Korvane"});
    EXPECT_EQ(uninstall.status, 0) << uninstall.output;
    const auto removed = Minus(beforeUninstall, Snapshot());
    ASSERT_FALSE(removed.empty());
    for (const auto& line : removed) {
        std::istringstream in(line);
        std::string kind, path;
        std::getline(in, kind, '\t');
        std::getline(in, path, '\t');
        bool isNamed = line.find("SharedDLLs") != std::string::npos || line.find("Software\\Classes") != std::string::npos;
        for (const auto& n : named) isNamed = isNamed || strcasecmp(n.c_str(), path.c_str()) == 0;
        EXPECT_TRUE(isNamed) << "removed without being named: " << line;
    }
}

TEST_F(EndToEnd, RebootQuestionCancelledDoesNotRestart) {
    ASSERT_EQ(RunSetup(kBin / "korvane-setup", {"accept", "finish"}).status, 0);
    Holder app(root, {"C:\\WINDOWS\\SYSTEM\\COMCTL32.DLL"});
    ASSERT_TRUE(app.Ready());
    const fs::path newer = PackInstaller({{"COMCTL32.DLL", fs::path(INSTALLER_TEST_MODULES) / "newer_ls.dll"}});
    const auto setup = RunSetup(newer, {"accept", "finish", "answer=cancel"});
    EXPECT_EQ(setup.status, 0) << setup.output;
    EXPECT_NE(setup.output.find("MessageBox\t33\tReboot\t"), std::string::npos);
    EXPECT_EQ(ReadText(root / "shell.log").find("ExitWindowsEx"), std::string::npos);
}

TEST_F(EndToEnd, ScriptedWizardRefusalsAndCancelInstallNothing) {
    const auto before = Snapshot();
    const auto bad = RunSetup(kBin / "korvane-setup", {"accept", "next", "folder=Program Files", "next", "finish"});
    EXPECT_EQ(bad.status, 3);
    EXPECT_NE(bad.output.find("MessageBox\t16\t\tPlease enter the full path of a folder"), std::string::npos) << bad.output;
    const auto declined = RunSetup(kBin / "korvane-setup", {"decline", "finish"});
    EXPECT_EQ(declined.status, 3);
    const auto cancelled = RunSetup(kBin / "korvane-setup", {"accept", "next", "cancel"});
    EXPECT_EQ(cancelled.status, 0);
    EXPECT_EQ(cancelled.output.find("MessageBox"), std::string::npos);  // cancel shows nothing
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(EndToEnd, InstallerWithoutUninstallerOrWithAnotherFolderReports) {
    const fs::path noUninstaller = PackInstaller({}, "UNINST");
    const auto run = RunSetup(noUninstaller, {"accept", "folder=C:\\Apps\\Kor vane", "finish"});
    EXPECT_EQ(run.status, 4) << run.output;
    EXPECT_NE(run.output.find("MessageBox\t16\t\tCould not copy File.\n"), std::string::npos);
    EXPECT_TRUE(fs::exists(Host("C:\\Apps\\Kor vane\\_install.log")));
    EXPECT_FALSE(fs::exists(Host("C:\\WINDOWS\\VMUnInst.exe")));
    EXPECT_TRUE(fs::exists(Host(kSharedDir)));  // the typed folder does not move the shared one
}

TEST_F(EndToEnd, DamagedInstallerSaysSo) {
    const auto run = Program(kBin / "korvane-setup-bare", {"--script", "accept", "finish"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("This installer is damaged"), std::string::npos) << run.output;
}

}  // namespace
