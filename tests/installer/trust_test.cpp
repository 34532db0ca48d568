// Faults of the installer, the uninstaller and the machine layer, each tried the way a user
// or an attacker meets it: the real programs on fresh machine roots, or the parser directly.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "installer/core/install_log.h"
#include "installer/core/installer.h"
#include "platform/machine/in_use.h"
#include "platform/machine/wininit.h"
#include "platform/paths/paths.h"
#include "platform/version/version.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

const fs::path kBin = KORVANE_BIN_DIR;

using korvane::testing::ReadText;
using korvane::testing::ShellQuoted;

struct Result {
    int status = -1;
    std::string output;  // stdout and stderr
};

class Trust : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(Machine({"init"}).status, 0); }

    Result Program(const fs::path& program, const std::vector<std::string>& args, const std::string& env = "") const {
        // Built piecewise: GCC 12 warns falsely on long chains of +.
        std::string command = "KORVANE_ROOT=";
        command += ShellQuoted(root.string());
        command += " XDG_DATA_HOME=";
        command += ShellQuoted((base / "xdg").string());
        command += " KORVANE_SHELL=record ";
        command += env;
        command += ' ';
        command += ShellQuoted(program.string());
        for (const auto& a : args) (command += ' ') += ShellQuoted(a);
        command += " 2>&1";
        Result run;
        FILE* pipe = ::popen(command.c_str(), "r");
        if (pipe == nullptr) return run;
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, n);
        const int status = ::pclose(pipe);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return run;
    }
    Result Machine(const std::vector<std::string>& args) const { return Program(kBin / "korvane-machine", args); }
    Result Install(std::vector<std::string> actions) const {
        actions.insert(actions.begin(), "--script");
        return Program(kBin / "korvane-setup", actions);
    }
    std::vector<std::string> Snapshot() const {
        std::vector<std::string> lines;
        std::istringstream in(Machine({"snapshot"}).output);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        std::sort(lines.begin(), lines.end());
        return lines;
    }
    std::string UninstallString() const {
        const std::string key = "Uninstall\\Korvane\tUninstallString\t";
        for (const auto& line : Snapshot())
            if (const auto at = line.find(key); at != std::string::npos) return line.substr(at + key.size());
        return {};
    }
    fs::path Drive() const { return root / "drive_c"; }
    void Write(const fs::path& file, const std::string& text) const {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
    }

    korvane::testing::TempDir temp;
    const fs::path base = temp.Path();
    const fs::path root = base / "machine";
};

// A restart file naming paths above the drive, or through a link that leaves it, must not
// touch anything outside the machine root.
TEST_F(Trust, RestartFileCannotReachOutsideTheMachineRoot) {
    const fs::path victim = base / "outside" / "victim.txt";
    const fs::path victim2 = base / "outside" / "victim2.txt";
    Write(victim, "keep me");
    Write(victim2, "keep me too");
    fs::create_directory_symlink(base / "outside", Drive() / "escape");
    Write(Drive() / "WINDOWS" / "wininit.ini",
          "[rename]\r\nNUL=C:\\..\\..\\outside\\victim.txt\r\n"
          "C:\\WINDOWS\\stolen.txt=C:\\..\\..\\outside\\victim2.txt\r\n"
          "NUL=C:\\escape\\victim.txt\r\nC:\\WINDOWS\\stolen2.txt=C:\\ESCAPE\\victim2.txt\r\n");
    const auto run = Machine({"restart"});
    EXPECT_NE(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("applied\t0"), std::string::npos) << run.output;
    EXPECT_EQ(ReadText(victim), "keep me");
    EXPECT_EQ(ReadText(victim2), "keep me too");
    EXPECT_FALSE(fs::exists(Drive() / "WINDOWS" / "stolen.txt"));
    EXPECT_FALSE(fs::exists(Drive() / "WINDOWS" / "stolen2.txt"));

    // Inside the drive ".." is resolved as Windows does: at the root it stays there.
    const korvane::platform::MachineRoot machine(root);
    EXPECT_EQ(machine.ToHost("C:\\..\\..\\WINDOWS\\.\\TEMP"), Drive() / "WINDOWS" / "TEMP");
    EXPECT_FALSE(machine.ToHost("C:\\escape\\victim.txt").has_value());
    EXPECT_FALSE(machine.ToHost("C:\\escape").has_value());
}

const std::string kAppDir = "drive_c/Program Files/Quorvix/Korvane";

// Installing twice and uninstalling once gives the machine back as it was before.
TEST_F(Trust, ReinstallThenUninstallLeavesNothingBehind) {
    const auto before = Snapshot();
    ASSERT_EQ(Install({"accept", "finish"}).status, 0);
    const auto again = Install({"accept", "finish"});
    ASSERT_EQ(again.status, 0) << again.output;
    // The applications menu of the host starts the program on this machine root.
    const fs::path menu = base / "xdg" / "applications";
    ASSERT_EQ(std::distance(fs::directory_iterator(menu), fs::directory_iterator()), 1);
    const std::string entry = ReadText(fs::directory_iterator(menu)->path());
    std::string exec = "Exec=env \"KORVANE_ROOT=";
    exec += root.string();
    exec += "\" \"";
    exec += (root / kAppDir / "Korvane.exe").string();
    EXPECT_NE(entry.find(exec + "\"\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("Categories=Audio;AudioVideo;\n"), std::string::npos);
    const auto uninstall = Machine({"uninstall", "Korvane"});
    EXPECT_EQ(uninstall.status, 0) << uninstall.output;
    EXPECT_EQ(Snapshot(), before);
    EXPECT_TRUE(fs::is_empty(menu));
    EXPECT_NE(Machine({"uninstall", "Korvane"}).status, 0);  // nothing left to uninstall
}

// A file in use stops the uninstall before the registry and the log, so it can be repeated.
TEST_F(Trust, UninstallWithAFileInUseCanBeRepeated) {
    const auto before = Snapshot();
    ASSERT_EQ(Install({"accept", "finish"}).status, 0);
    const fs::path help = root / kAppDir / "Korvane.hlp";
    auto inUse = korvane::platform::InUseLock::Hold(help);
    ASSERT_TRUE(inUse.has_value());
    const auto first = Machine({"uninstall", "Korvane"});
    EXPECT_EQ(first.status, 1) << first.output;
    EXPECT_TRUE(fs::exists(help));
    EXPECT_TRUE(fs::exists(root / kAppDir / "_install.log"));
    EXPECT_FALSE(fs::exists(root / kAppDir / "ReadMe.txt"));  // the rest went
    EXPECT_NE(UninstallString(), "");
    inUse.reset();
    const auto second = Machine({"uninstall", "Korvane"});
    EXPECT_EQ(second.status, 0) << second.output;
    EXPECT_EQ(Snapshot(), before);
}

// A log that cannot be read is a failure, said so; --help is not.
TEST_F(Trust, UninstallerRefusesLogsItCannotRead) {
    for (const std::string log : {"C:\\No Such\\_install.log", "relative\\_install.log", "C:\\WINDOWS"}) {
        const auto run = Program(kBin / "vmuninst", {log});
        EXPECT_EQ(run.status, 1) << log;
        EXPECT_NE(run.output.find("vmuninst: "), std::string::npos) << run.output;
    }
    const auto help = Program(kBin / "vmuninst", {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("usage: vmuninst"), std::string::npos);
}

// A folder that cannot take the files is refused before anything is installed, and an
// installation that reported errors does not end with success.
TEST_F(Trust, FailuresReachTheExitCodeAndSpareAWorkingInstallation) {
    ASSERT_EQ(Install({"accept", "finish"}).status, 0);
    const std::string entry = UninstallString();
    const auto through = Install({"accept", "folder=C:\\Program Files\\Quorvix\\Korvane\\ReadMe.txt\\sub", "finish"});
    EXPECT_EQ(through.status, 3) << through.output;
    EXPECT_NE(through.output.find("cannot be created or written"), std::string::npos) << through.output;
    EXPECT_EQ(UninstallString(), entry);

    auto inUse = korvane::platform::InUseLock::Hold(root / kAppDir / "Korvane.hlp");
    ASSERT_TRUE(inUse.has_value());
    const auto withErrors = Install({"accept", "finish"});
    EXPECT_EQ(withErrors.status, 4) << withErrors.output;
    EXPECT_NE(withErrors.output.find("Could not copy File."), std::string::npos);
}

// A byte changed inside a packed payload file makes the whole installer refuse to run.
TEST_F(Trust, DamagedPayloadIsRefusedBeforeAnythingIsInstalled) {
    std::string image = ReadText(kBin / "korvane-setup");
    const std::string readMe = ReadText(INSTALLER_RESOURCES_DIR "/ReadMe.txt");
    const auto at = image.find(readMe);
    ASSERT_NE(at, std::string::npos);
    image[at + readMe.size() / 2] ^= 0x20;
    const fs::path damaged = base / "korvane-setup";
    std::ofstream(damaged, std::ios::binary) << image;
    fs::permissions(damaged, fs::perms::owner_all);
    const auto before = Snapshot();
    const auto run = Program(damaged, {"--script", "accept", "finish"});
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("This installer is damaged and cannot run:\\nIDT_APPFILE_"), std::string::npos);
    EXPECT_NE(run.output.find(" is damaged (checksum mismatch)"), std::string::npos) << run.output;
    EXPECT_EQ(Snapshot(), before);
}

// Help and a start without a display are answered before the toolkit could abort.
TEST_F(Trust, SetupWithoutADisplayPointsToTheScriptedMode) {
    const auto help = Program(kBin / "korvane-setup", {"--help"});
    EXPECT_EQ(help.status, 0) << help.output;
    EXPECT_NE(help.output.find("--script"), std::string::npos);
    const auto headless = Program(kBin / "korvane-setup", {}, "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM");
    EXPECT_EQ(headless.status, 2) << headless.output;
    EXPECT_NE(headless.output.find("korvane-setup --script accept finish"), std::string::npos) << headless.output;
}

// "Reboot" asks for a restart; the next program started on the machine carries it out.
TEST_F(Trust, RequestedRestartHappensAtTheNextStart) {
    ASSERT_EQ(Install({"accept", "finish"}).status, 0);
    const fs::path library = Drive() / "WINDOWS" / "SYSTEM" / "COMCTL32.DLL";
    fs::copy_file(fs::path(INSTALLER_TEST_MODULES) / "lower_ls.dll", library, fs::copy_options::overwrite_existing);
    {
        auto inUse = korvane::platform::InUseLock::Hold(library);
        ASSERT_TRUE(inUse.has_value());
        const auto reinstall = Install({"accept", "finish", "answer=ok"});
        ASSERT_EQ(reinstall.status, 0) << reinstall.output;
        ASSERT_NE(reinstall.output.find("\tReboot\t"), std::string::npos) << reinstall.output;
    }
    EXPECT_NE(ReadText(library), ReadText(fs::path(INSTALLER_PAYLOAD_DIR) / "COMCTL32.DLL"));
    const auto next = Install({"cancel"});
    EXPECT_EQ(next.status, 0) << next.output;
    EXPECT_NE(next.output.find("carrying out the requested restart: 2 "), std::string::npos) << next.output;
    EXPECT_EQ(ReadText(library), ReadText(fs::path(INSTALLER_PAYLOAD_DIR) / "COMCTL32.DLL"));
    EXPECT_EQ(Install({"cancel"}).output.find("restart"), std::string::npos);  // once only
}

// Strings of a version block must end inside the block; a malformed one is refused
// without reading past it (the sanitizer build catches any over-read).
TEST(VersionBlock, StringsRunningOffTheBlockAreRefused) {
    const std::pair<std::string_view, std::string_view> strings[] = {{"ab", ""}};
    auto block = korvane::platform::MakeVersionBlock({}, strings);
    block.back() = 'c';  // "ab\0\0c" with no end: the empty value ends early, "c" runs off
    block.push_back('d');
    const std::vector<std::uint8_t> exact(block.begin(), block.end());  // no slack after it
    std::span<const std::uint8_t> value;
    EXPECT_FALSE(korvane::platform::VerQueryValue(exact, "\\StringFileInfo\\0409\\cd", &value));
    EXPECT_TRUE(korvane::platform::VerQueryValue(exact, "\\StringFileInfo\\0409\\ab", &value));
    EXPECT_EQ(value.size(), 1u);
}

// Every record the installer can write reads back as written, whatever blanks, commas or
// keywords the folders hold; names the log cannot hold are known as such.
TEST(InstallLogFormat, WriterAndReaderAgree) {
    using korvane::installer::InstallLog;
    InstallLog log;
    const char* folders[] = {"C:\\My Apps, old\\K ", "C:\\a,COMPONENT", "C:\\x,y,COMPONENT\\z"};
    const char* names[] = {"Read Me.txt", "component", "_install.log"};
    for (const char* folder : folders) {
        log.AddNewDir(folder);
        for (const char* name : names)
            for (int component : {0, 1}) {
                log.AddAppFile(folder, name, component);
                log.AddSysFile(folder, name, component);
            }
    }
    log.AddNewKey("HKEY_LOCAL_MACHINE", "Software\\Quorvix, Ltd\\Korvane");
    const auto parsed = korvane::installer::ParseInstallLog(log.Text());
    EXPECT_TRUE(parsed.rejected.empty());
    ASSERT_EQ(parsed.records.size(), std::size_t(log.Count()));
    for (int i = 0; i < log.Count(); ++i)
        EXPECT_EQ(korvane::installer::FormatLogRecord(parsed.records[std::size_t(log.Count() - 1 - i)]), log.At(i));
    for (const char* bad : {"Read me, first.txt", "COMPONENT", ""})
        EXPECT_FALSE(korvane::installer::IsRecordableFileName(bad)) << bad;
}

// The restart file's writer and reader agree on which line opens the [rename] section.
TEST(RestartFileFormat, WriterAndReaderAgree) {
    for (const char* header : {"[rename]", "  [RENAME] ;pending", "[rename][ren", "\t[Rename]", ""}) {
        const std::string control = std::string("[boot]\r\nshell=x\r\n") + header + "\r\n";
        const auto plan = korvane::platform::PlanWininit(
            korvane::installer::AddRenameLines(control, "C:\\WINDOWS\\T.DLL", "C:\\WINDOWS\\T~1.PRE"));
        ASSERT_EQ(plan.operations.size(), 2u) << header;
        EXPECT_EQ(plan.operations[0].target, "NUL");
        EXPECT_EQ(plan.operations[0].source, "C:\\WINDOWS\\T.DLL");
        EXPECT_EQ(plan.operations[1].target, "C:\\WINDOWS\\T.DLL");
        EXPECT_EQ(plan.operations[1].source, "C:\\WINDOWS\\T~1.PRE");
        EXPECT_NE(plan.remainingText.find("shell=x"), std::string::npos);
    }
}

}  // namespace
