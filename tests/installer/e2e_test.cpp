// End to end on fresh machine roots: the real korvane-setup (scripted wizard),
// korvane-machine and vmuninst, compared through snapshots of files and registry; and the
// faults each of them must withstand, tried the way a user or an attacker meets them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/machine/in_use.h"
#include "platform/paths/paths.h"
#include "track/editor_ctrl/sample_editor.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

const fs::path kBin = KORVANE_BIN_DIR;
const std::string kAppDir = "C:\\Program Files\\Quorvix\\Korvane";
const std::string kSharedDir = "C:\\Program Files\\Common Files\\Quorvix";
const fs::path kNewerComctl = fs::path(INSTALLER_TEST_MODULES) / "newer_ls.dll";

using korvane::platform::InUseLock;
using korvane::testing::ProgramRun;
using korvane::testing::ReadText;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The message boxes a scripted run showed, as "MessageBox\t<flags>\t<caption>\t<text>".
std::vector<std::string> MessageBoxes(const std::string& output) {
    std::vector<std::string> boxes;
    for (const auto& line : Lines(output))
        if (line.starts_with("MessageBox\t")) boxes.push_back(line);
    return boxes;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(Machine({"init"}).exitCode, 0); }

    // Runs a program on this machine root; `out` holds its standard output, then its errors.
    ProgramRun Program(const fs::path& program, const std::vector<std::string>& args) const {
        auto run = korvane::testing::RunProgram(
            program.string(), args, scratch.Path(),
            {"KORVANE_ROOT=" + root.string(), "XDG_DATA_HOME=" + (base / "xdg").string(), "KORVANE_SHELL=record",
             "QT_QPA_PLATFORM=offscreen"});
        run.out += run.err;
        return run;
    }
    ProgramRun Machine(const std::vector<std::string>& args) const { return Program(kBin / "korvane-machine", args); }
    ProgramRun RunSetup(const fs::path& setup, std::vector<std::string> actions) const {
        actions.insert(actions.begin(), "--script");
        return Program(setup, actions);
    }
    ProgramRun Install(std::vector<std::string> actions) const { return RunSetup(kBin / "korvane-setup", std::move(actions)); }
    std::vector<std::string> Snapshot() const {
        auto lines = Lines(Machine({"snapshot"}).out);
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
    fs::path Host(const std::string& windowsPath) const {
        std::string rel = windowsPath.substr(3);
        std::replace(rel.begin(), rel.end(), '\\', '/');
        return Drive() / rel;  // spelled as the installer spells it (tests only)
    }
    void Write(const fs::path& file, const std::string& text) const {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
    }
    // An installer with the build's payload but COMCTL32.DLL taken from `library`.
    fs::path PackInstaller(const fs::path& library) const {
        std::string manifest = ReadText(INSTALLER_MANIFEST);
        const std::string shipped = (fs::path(INSTALLER_PAYLOAD_DIR) / "COMCTL32.DLL").string();
        manifest.replace(manifest.find(shipped), shipped.size(), library.string());
        std::ofstream(base / "manifest.txt") << manifest;
        const fs::path setup = base / "setup-newer";
        const auto run = Program(kBin / "korvane-pack",
                                 {(kBin / "korvane-setup-bare").string(), (base / "manifest.txt").string(), setup.string()});
        EXPECT_EQ(run.exitCode, 0) << run.out;
        return setup;
    }
    bool ShippedControl() const { return ReadText(INSTALLER_MANIFEST).find("Lumatrel.ocx") != std::string::npos; }

    korvane::testing::TempDir temp, scratch;
    const fs::path base = temp.Path();
    const fs::path root = base / "machine";
};

std::vector<std::string> Minus(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    std::vector<std::string> out;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

// Refused and cancelled runs install nothing; one installation, repeated, and one uninstall
// leave the machine as it was.
TEST_F(EndToEnd, RefusalsInstallNothingAndInstallThenUninstallLeavesTheMachineAsItWas) {
    const auto before = Snapshot();
    EXPECT_EQ(Install({"decline", "finish"}).exitCode, 3);
    const auto cancelled = Install({"accept", "next", "cancel"});
    EXPECT_EQ(cancelled.exitCode, 0);
    EXPECT_EQ(MessageBoxes(cancelled.out), std::vector<std::string>{});  // cancel shows nothing
    // An installer without its payload, or with a byte changed inside a packed payload
    // file, refuses to run.
    const std::string damagedBox = "MessageBox\t16\tVestramo Installer\tThis installer is damaged and cannot run:\\n";
    const auto bare = Program(kBin / "korvane-setup-bare", {"--script", "accept", "finish"});
    EXPECT_EQ(bare.exitCode, 1);
    EXPECT_EQ(MessageBoxes(bare.out), std::vector<std::string>{damagedBox + "the program carries no resources"});
    std::string image = ReadText(kBin / "korvane-setup");
    const std::string readMe = ReadText(INSTALLER_RESOURCES_DIR "/ReadMe.txt");
    const auto at = image.find(readMe);
    ASSERT_NE(at, std::string::npos);
    image[at + readMe.size() / 2] ^= 0x20;
    const fs::path damaged = base / "korvane-setup";
    std::ofstream(damaged, std::ios::binary) << image;
    fs::permissions(damaged, fs::perms::owner_all);
    const auto refused = Program(damaged, {"--script", "accept", "finish"});
    EXPECT_EQ(refused.exitCode, 1) << refused.out;
    const auto boxes = MessageBoxes(refused.out);
    ASSERT_EQ(boxes.size(), 1u) << refused.out;
    EXPECT_TRUE(boxes[0].starts_with(damagedBox + "IDT_APPFILE_") && boxes[0].ends_with(" is damaged (checksum mismatch)"))
        << boxes[0];
    EXPECT_EQ(Snapshot(), before);

    const auto setup = Install({"accept", "finish"});
    ASSERT_EQ(setup.exitCode, 0) << setup.out;
    EXPECT_EQ(MessageBoxes(setup.out), std::vector<std::string>{"MessageBox\t64\tVestramo Installer\tSetup finished"});

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

    // Registry (the entries themselves are checked on the installer's units; the uninstall
    // below proves the machine reads them).
    const auto installed = Snapshot();
    const auto added = Minus(installed, before);
    const auto has = [&](const std::string& line) { return std::find(added.begin(), added.end(), line) != added.end(); };
    if (ShippedControl()) {
        // The control is registered at the file the installer placed, where the application
        // creates it by its class id.
        EXPECT_TRUE(has("value\tHKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\" +
                        std::string(korvane::editor::kSampleEditorClassId) + "\\InprocServer32\t\tREG_SZ:" +
                        fs::canonical(Host(kSharedDir + "\\Lumatrel.ocx")).string()));
    }
    EXPECT_TRUE(Minus(before, installed).empty());  // installing removes nothing

    // A folder that cannot take the files is refused before anything is written, sparing
    // the installation already there.
    const auto through = Install({"accept", "folder=" + kAppDir + "\\ReadMe.txt\\sub", "finish"});
    EXPECT_EQ(through.exitCode, 3) << through.out;
    EXPECT_EQ(MessageBoxes(through.out),
              std::vector<std::string>{"MessageBox\t16\t\tThe folder " + kAppDir +
                                       "\\ReadMe.txt\\sub cannot be created or written to.\\nPlease choose another folder."});
    EXPECT_EQ(Snapshot(), installed);

    // Installed again: one entry in the host's applications menu, starting the program on
    // this machine root.
    const auto again = Install({"accept", "finish"});
    ASSERT_EQ(again.exitCode, 0) << again.out;
    const fs::path menu = base / "xdg" / "applications";
    ASSERT_EQ(std::distance(fs::directory_iterator(menu), fs::directory_iterator()), 1);
    const std::string entry = ReadText(fs::directory_iterator(menu)->path());
    const std::string exec = "Exec=env \"KORVANE_ROOT=" + root.string() + "\" \"" + Host(kAppDir + "\\Korvane.exe").string();
    EXPECT_NE(entry.find(exec + "\"\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("Categories=Audio;AudioVideo;\n"), std::string::npos);

    // A file in use stops the uninstall before the registry entry and the log, so it can be
    // repeated (the next step reads both); then one uninstall gives the machine back as it was.
    const fs::path help = Host(kAppDir + "\\Korvane.hlp");
    auto inUse = InUseLock::Hold(help);
    const auto stopped = Machine({"uninstall", "Korvane"});
    EXPECT_EQ(stopped.exitCode, 1) << stopped.out;
    EXPECT_TRUE(fs::exists(help));
    EXPECT_FALSE(fs::exists(Host(kAppDir + "\\ReadMe.txt")));  // the rest went
    inUse.reset();
    const auto uninstall = Machine({"uninstall", "Korvane"});
    EXPECT_EQ(uninstall.exitCode, 0) << uninstall.out;
    EXPECT_EQ(Snapshot(), before);
    EXPECT_TRUE(fs::is_empty(menu));
    EXPECT_NE(Machine({"uninstall", "Korvane"}).exitCode, 0);  // nothing left to uninstall
}

TEST_F(EndToEnd, ReinstallOverARunningApplicationThenRestartThenUninstall) {
    ASSERT_EQ(Install({"accept", "finish"}).exitCode, 0);
    // The running application keeps its modules in use; one of the system libraries too.
    std::vector<fs::path> inUse = {Host("C:\\WINDOWS\\SYSTEM\\COMCTL32.DLL"), Host(kAppDir + "\\Korvane.hlp")};
    if (ShippedControl()) inUse.push_back(Host(kSharedDir + "\\Lumatrel.ocx"));
    std::vector<InUseLock> app;
    for (const auto& file : inUse)
        if (auto lock = InUseLock::Hold(file)) app.push_back(std::move(*lock));

    // The reboot question (after an OK for each error) answered with Cancel first: no
    // restart is requested.
    const fs::path newer = PackInstaller(kNewerComctl);
    std::vector<std::string> actions = {"accept", "finish"};
    actions.insert(actions.end(), inUse.size() - 1, "answer=ok");
    actions.push_back("answer=cancel");
    const auto setup = RunSetup(newer, actions);
    ASSERT_EQ(setup.exitCode, 4) << setup.out;  // installed, with the errors reported
    // An error for the help file and the control; the library goes to the restart.
    std::vector<std::string> shown(inUse.size() - 1, "MessageBox\t16\t\tCould not copy File.");
    shown.push_back("MessageBox\t33\tReboot\tSetup finished.\\nYou have to reboot your computer\\n"
                    "(choose 'Cancel' to reboot later).");
    EXPECT_EQ(MessageBoxes(setup.out), shown);
    EXPECT_EQ(ReadText(root / "shell.log").find("ExitWindowsEx"), std::string::npos);
    EXPECT_EQ(RunSetup(newer, {"accept", "finish", "answer=ok"}).exitCode, 4);
    EXPECT_NE(ReadText(root / "shell.log").find("ExitWindowsEx\t2\t0\n"), std::string::npos);

    const std::string pending = "C:\\WINDOWS\\SYSTEM\\COMCTL32.DLL.precpy";
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

    // A restart while the application still runs changes nothing; after it ended, the next
    // program started on the machine carries out the requested restart, once, and the
    // pending copy takes the library's place.
    EXPECT_NE(Machine({"restart"}).exitCode, 0);
    app.clear();
    const auto next = Install({"cancel"});
    EXPECT_EQ(next.exitCode, 0) << next.out;
    EXPECT_NE(next.out.find("carrying out the requested restart: 2 "), std::string::npos) << next.out;
    EXPECT_EQ(Install({"cancel"}).out.find("restart"), std::string::npos);
    EXPECT_TRUE(ReadText(Host("C:\\WINDOWS\\SYSTEM\\COMCTL32.DLL")) == ReadText(kNewerComctl));
    EXPECT_FALSE(fs::exists(Host(pending)));
    EXPECT_EQ(ReadText(Host("C:\\WINDOWS\\wininit.ini")), "[Rename]\r\n");

    // The uninstall reads the second log (what it removes and keeps: Uninstaller.*).
    const auto uninstall = Machine({"uninstall", "Korvane"});
    EXPECT_EQ(uninstall.exitCode, 0) << uninstall.out;
    EXPECT_EQ(UninstallString(), "");
}

// A restart file naming paths above the drive, or through a link that leaves it, must not
// touch anything outside the machine root.
TEST_F(EndToEnd, RestartFileCannotReachOutsideTheMachineRoot) {
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
    EXPECT_NE(run.exitCode, 0) << run.out;
    EXPECT_NE(run.out.find("applied\t0"), std::string::npos) << run.out;
    EXPECT_EQ(ReadText(victim), "keep me");
    EXPECT_EQ(ReadText(victim2), "keep me too");
    EXPECT_FALSE(fs::exists(Drive() / "WINDOWS" / "stolen.txt"));
    EXPECT_FALSE(fs::exists(Drive() / "WINDOWS" / "stolen2.txt"));
}

// A log that cannot be read is a failure, said so; --help is not.
TEST_F(EndToEnd, UninstallerRefusesLogsItCannotReadAndProgramsAnswerHelp) {
    for (const std::string log : {"C:\\No Such\\_install.log", "relative\\_install.log", "C:\\WINDOWS"}) {
        const auto run = Program(kBin / "vmuninst", {log});
        EXPECT_EQ(run.exitCode, 1) << log;
        EXPECT_NE(run.out.find("vmuninst: "), std::string::npos) << run.out;
    }
    const auto help = Program(kBin / "vmuninst", {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: vmuninst"), std::string::npos);

    // The installer answers help, and a start without a display, before the toolkit could
    // abort.
    const auto setupHelp = Program(kBin / "korvane-setup", {"--help"});
    EXPECT_EQ(setupHelp.exitCode, 0) << setupHelp.out;
    EXPECT_NE(setupHelp.out.find("--script"), std::string::npos);
    const auto headless = Program("/usr/bin/env", {"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM",
                                                   (kBin / "korvane-setup").string()});
    EXPECT_EQ(headless.exitCode, 2) << headless.out;
    EXPECT_NE(headless.out.find("korvane-setup --script accept finish"), std::string::npos) << headless.out;
}

}  // namespace
