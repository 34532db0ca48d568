#include "platform/paths/paths.h"
#include "platform/paths/short_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <vector>
#include <optional>
#include <string>

#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace korvane::platform {
namespace {

namespace fs = std::filesystem;

using testing::ScopedEnv;

void Touch(const fs::path& file) { std::ofstream(file) << "x"; }

// A fresh machine root for each test.
struct OnMachine : ::testing::Test {
    testing::TempDir tmp;
    MachineRoot root{tmp.Path()};
};
using ToHost = OnMachine;
using ToWindows = OnMachine;
using ShortPathName = OnMachine;

TEST(EqualsIgnoreCase, ComparesAsciiWithoutCase) {
    EXPECT_TRUE(EqualsIgnoreCase("WNASPI32.DLL", "wnaspi32.dll"));
    EXPECT_TRUE(EqualsIgnoreCase("", ""));
    EXPECT_FALSE(EqualsIgnoreCase("abc", "abd"));
    EXPECT_FALSE(EqualsIgnoreCase("abc", "abcd"));
    EXPECT_FALSE(EqualsIgnoreCase("[", "{"));  // 0x5B vs 0x7B differ by the case bit only
}

TEST(MachineRoot, FromEnvironmentPrefersKorvaneRootThenXdg) {
    testing::TempDir tmp;
    {
        ScopedEnv root("KORVANE_ROOT", (tmp.Path() / "explicit").c_str());
        EXPECT_EQ(MachineRoot::FromEnvironment().Root(), tmp.Path() / "explicit");
    }
    ScopedEnv root("KORVANE_ROOT", nullptr);
    {
        ScopedEnv xdg("XDG_DATA_HOME", (tmp.Path() / "xdg").c_str());
        const MachineRoot machine = MachineRoot::FromEnvironment();
        EXPECT_EQ(machine.Root(), tmp.Path() / "xdg" / "korvane");
        EXPECT_TRUE(fs::is_directory(machine.SystemDir()));
    }
    ScopedEnv home("HOME", tmp.Path().c_str());
    ScopedEnv relativeXdg("XDG_DATA_HOME", "relative/is/ignored");
    EXPECT_EQ(MachineRoot::FromEnvironment().Root(), tmp.Path() / ".local" / "share" / "korvane");
}

TEST_F(ToHost, ResolvesExistingComponentsIgnoringCasePreferringTheExactSpellingWithinTheDrive) {
    Touch(root.TempDir() / "~krvn1.tmp");
    EXPECT_EQ(root.ToHost("C:\\WINDOWS\\TEMP\\~krvn1.tmp"), root.TempDir() / "~krvn1.tmp");
    EXPECT_EQ(root.ToHost("c:/windows/temp/~KRVN1.TMP"), root.TempDir() / "~krvn1.tmp");
    EXPECT_EQ(root.ToHost("C:\\Windows\\System"), root.SystemDir());
    EXPECT_EQ(root.ToHost("C:\\program files\\"), root.DriveC() / "Program Files");
    EXPECT_EQ(root.ToHost("C:\\"), root.DriveC());
    EXPECT_EQ(root.ToHost("C:"), root.DriveC());
    // Missing components keep the given spelling.
    EXPECT_EQ(root.ToHost("C:\\windows\\New Folder\\Sub\\File.WAV"), root.WindowsDir() / "New Folder" / "Sub" / "File.WAV");
    // ".." stops at the root of the drive.
    EXPECT_EQ(root.ToHost("C:\\..\\..\\registry.db"), root.DriveC() / "registry.db");
    EXPECT_EQ(root.ToHost("C:\\WINDOWS\\..\\..\\x"), root.DriveC() / "x");
    EXPECT_EQ(root.ToHost("C:\\WINDOWS\\.\\TEMP\\\\a"), root.TempDir() / "a");

    // Among names that differ only in case, the exact spelling wins, else a stable choice.
    Touch(root.TempDir() / "b.TXT");
    Touch(root.TempDir() / "B.txt");
    EXPECT_EQ(root.ToHost("C:\\WINDOWS\\TEMP\\B.txt"), root.TempDir() / "B.txt");
    EXPECT_EQ(root.ToHost("C:\\WINDOWS\\TEMP\\b.TXT"), root.TempDir() / "b.TXT");
    EXPECT_EQ(root.ToHost("C:\\WINDOWS\\TEMP\\b.txt"), root.TempDir() / "B.txt");
}

TEST_F(ToHost, RejectsOtherDrivesAndInvalidNames) {
    for (const char* bad : {"D:\\x", "", "C", "\\WINDOWS", "WINDOWS\\TEMP", "C:WINDOWS", "C:\\a:b", "C:\\a*",
                            "C:\\what?", "C:\\a|b", "C:\\a<b>", "C:\\\"q\""}) {
        EXPECT_EQ(root.ToHost(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(root.ToHost(std::string_view("C:\\a\0b", 6)), std::nullopt);
}

TEST_F(ToWindows, MapsHostPathsBelowTheDrive) {
    EXPECT_EQ(root.ToWindows(root.TempDir() / "~krvn 1.tmp"), "C:\\WINDOWS\\TEMP\\~krvn 1.tmp");
    EXPECT_EQ(root.ToWindows(root.DriveC()), "C:\\");
    EXPECT_EQ(root.ToWindows(root.SystemDir() / ".." / "TEMP"), "C:\\WINDOWS\\TEMP");
    EXPECT_EQ(root.ToWindows(root.RegistryFile()), std::nullopt);
    EXPECT_EQ(root.ToWindows(root.DriveC() / ".." / "drive_c2"), std::nullopt);
    EXPECT_EQ(root.ToWindows("/etc/passwd"), std::nullopt);
    EXPECT_EQ(root.ToWindows(root.TempDir() / "a\\b"), std::nullopt);
}

TEST(ShortNames, AliasesFollowTheEightThreeRules) {
    std::vector<std::string> taken;
    const auto isTaken = [&](const std::string& s) { return std::find(taken.begin(), taken.end(), s) != taken.end(); };
    EXPECT_EQ(MakeShortName("Korvane.exe", isTaken), "KORVANE.EXE");
    EXPECT_EQ(MakeShortName("Program Files", isTaken), "PROGRA~1");
    taken.push_back("PROGRA~1");
    EXPECT_EQ(MakeShortName("Program Stuff", isTaken), "PROGRA~2");
    EXPECT_EQ(MakeShortName("COMCTL32.DLL.precpy", isTaken), "COMCTL~1.PRE");
    EXPECT_EQ(MakeShortName("Start Menu", isTaken), "STARTM~1");
    EXPECT_EQ(MakeShortName("a+b.txt", isTaken), "A_B~1.TXT");
    for (int n = 2; n <= 10; ++n) taken.push_back("LONGNA~" + std::to_string(n - 1) + ".TXT");
    EXPECT_EQ(MakeShortName("Long name.txt", isTaken), "LONGN~10.TXT");
    EXPECT_TRUE(IsShortName("MFC42.DLL"));
    EXPECT_FALSE(IsShortName("mfc42.dll"));
    EXPECT_FALSE(IsShortName("TOOLONGNAME.DLL"));
    EXPECT_FALSE(IsShortName("A.B.C"));
}

// An alias is numbered in the order names are asked for, not in name order, and ToHost
// must resolve it to the entry it was handed out for.
TEST_F(ShortPathName, AliasesAreStableAndResolveBackToTheirEntries) {
    const fs::path files = root.DriveC() / "Program Files" / "Shared Files" / "Quorvix";
    const fs::path stuff = root.DriveC() / "Program Files" / "Shared Stuff";
    fs::create_directories(files);
    fs::create_directories(stuff);
    Touch(files / "Lumatrel.ocx");
    Touch(stuff / "x.txt");
    EXPECT_EQ(root.ShortPathName("C:\\Program Files\\Shared Stuff\\x.txt"), "C:\\PROGRA~1\\SHARED~1\\X.TXT");
    EXPECT_EQ(root.ShortPathName("c:\\program files\\shared files\\quorvix\\lumatrel.ocx"),
              "C:\\PROGRA~1\\SHARED~2\\QUORVIX\\LUMATREL.OCX");
    fs::create_directories(root.DriveC() / "Program Files" / "Shared Aaa");
    EXPECT_EQ(root.ShortPathName("C:\\Program Files\\Shared Stuff\\x.txt"), "C:\\PROGRA~1\\SHARED~1\\X.TXT");
    EXPECT_EQ(root.ToHost("C:\\PROGRA~1\\SHARED~1\\X.TXT"), stuff / "x.txt");
    EXPECT_EQ(root.ToHost("c:\\progra~1\\shared~2\\quorvix\\lumatrel.ocx"), files / "Lumatrel.ocx");
    EXPECT_EQ(root.ShortPathName("C:\\WINDOWS\\SYSTEM"), "C:\\WINDOWS\\SYSTEM");
    EXPECT_EQ(root.ShortPathName("C:\\"), "C:\\");
    EXPECT_EQ(root.ShortPathName("C:\\WINDOWS\\missing.ini"), std::nullopt);
    // An alias that was never handed out stays as given.
    EXPECT_EQ(root.ToHost("C:\\PROGRA~9\\X"), root.DriveC() / "PROGRA~9" / "X");
}

}  // namespace
}  // namespace korvane::platform
