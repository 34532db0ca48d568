#include "platform/paths/paths.h"

#include <gtest/gtest.h>

#include <cctype>
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

std::string UpperCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

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

TEST(MachineRoot, CreatesTheStandardFolders) {
    testing::TempDir tmp;
    MachineRoot root(tmp.Path() / "machine");
    EXPECT_EQ(root.Root(), tmp.Path() / "machine");
    EXPECT_EQ(root.RegistryFile(), tmp.Path() / "machine" / "registry.db");
    EXPECT_TRUE(fs::is_directory(root.TempDir()));
    EXPECT_TRUE(fs::is_directory(root.SystemDir()));
    EXPECT_TRUE(fs::is_directory(root.DriveC() / "Program Files"));
    EXPECT_EQ(root.WindowsDir(), root.DriveC() / "WINDOWS");
    // Opening the same root again keeps what is there.
    Touch(root.TempDir() / "keep.tmp");
    MachineRoot again(tmp.Path() / "machine/");
    EXPECT_EQ(again.Root(), root.Root());
    EXPECT_TRUE(fs::exists(again.TempDir() / "keep.tmp"));
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

TEST_F(ToHost, ResolvesExistingComponentsIgnoringCaseAndNeverLeavesTheDrive) {
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
}

TEST_F(ToHost, PrefersTheExactSpellingAndOtherwiseAStableMatch) {
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
    EXPECT_EQ(root.ToWindows(root.TempDir() / "~krvn1.tmp"), "C:\\WINDOWS\\TEMP\\~krvn1.tmp");
    EXPECT_EQ(root.ToWindows(root.DriveC()), "C:\\");
    EXPECT_EQ(root.ToWindows(root.SystemDir() / ".." / "TEMP"), "C:\\WINDOWS\\TEMP");
    EXPECT_EQ(root.ToWindows(root.RegistryFile()), std::nullopt);
    EXPECT_EQ(root.ToWindows(root.DriveC() / ".." / "drive_c2"), std::nullopt);
    EXPECT_EQ(root.ToWindows("/etc/passwd"), std::nullopt);
    EXPECT_EQ(root.ToWindows(root.TempDir() / "a\\b"), std::nullopt);
    // Round trip.
    const auto host = root.ToHost("C:\\Program Files\\Korvane\\Korvane.exe");
    ASSERT_TRUE(host);
    EXPECT_EQ(root.ToWindows(*host), "C:\\Program Files\\Korvane\\Korvane.exe");
}

TEST_F(ShortPathName, UpperCasesFittingNamesAndAliasesTheRest) {
    const fs::path app = root.DriveC() / "Program Files" / "Korvane Studio";
    fs::create_directories(app);
    const std::pair<const char*, const char*> names[] = {{"readme.txt", "README.TXT"},
                                                         {"Korvane Studio.html", "KORVAN~1.HTM"},
                                                         {"archive.tar.gz", "ARCHIV~1.GZ"},
                                                         {".profile", "PROFIL~1"},
                                                         {"a+b=c.txt", "A_B_C~1.TXT"}};
    for (const auto& [name, alias] : names) {
        Touch(app / name);
        EXPECT_EQ(root.ShortPathName(std::string("C:\\Program Files\\Korvane Studio\\") + name),
                  std::string("C:\\PROGRA~1\\KORVAN~1\\") + alias);
    }
    EXPECT_EQ(root.ShortPathName("C:\\program files\\korvane studio\\README.txt"), "C:\\PROGRA~1\\KORVAN~1\\README.TXT");
    EXPECT_EQ(root.ShortPathName("C:\\WINDOWS\\SYSTEM"), "C:\\WINDOWS\\SYSTEM");
    EXPECT_EQ(root.ShortPathName("C:\\"), "C:\\");
    EXPECT_EQ(root.ShortPathName("C:\\WINDOWS\\missing.ini"), std::nullopt);
    EXPECT_EQ(root.ShortPathName("D:\\WINDOWS"), std::nullopt);
}

TEST_F(ShortPathName, NumbersCompetingAliasesInNameOrder) {
    Touch(root.TempDir() / "a.txt");
    Touch(root.TempDir() / "A.TXT");  // sorts first, so it keeps the plain form
    EXPECT_EQ(root.ShortPathName("C:\\WINDOWS\\TEMP\\A.TXT"), "C:\\WINDOWS\\TEMP\\A.TXT");
    EXPECT_EQ(root.ShortPathName("C:\\WINDOWS\\TEMP\\a.txt"), "C:\\WINDOWS\\TEMP\\A~1.TXT");

    // Sorted: 1, 10, 11, 2, ..., 9; the tenth needs a shorter base for "~10".
    for (int i = 1; i <= 11; ++i) Touch(root.TempDir() / ("longname " + std::to_string(i) + ".txt"));
    EXPECT_EQ(root.ShortPathName("C:\\WINDOWS\\TEMP\\longname 1.txt"), "C:\\WINDOWS\\TEMP\\LONGNA~1.TXT");
    EXPECT_EQ(root.ShortPathName("C:\\WINDOWS\\TEMP\\longname 2.txt"), "C:\\WINDOWS\\TEMP\\LONGNA~4.TXT");
    EXPECT_EQ(root.ShortPathName("C:\\WINDOWS\\TEMP\\longname 8.txt"), "C:\\WINDOWS\\TEMP\\LONGN~10.TXT");
}

TEST_F(ShortPathName, AliasesResolveBackToTheirEntries) {
    fs::create_directories(root.DriveC() / "Program Data");
    fs::create_directories(root.DriveC() / "Program Files" / "Korvane");
    std::vector<fs::path> files;
    for (int i = 1; i <= 11; ++i) files.push_back(root.DriveC() / "Program Files" / "Korvane" / ("Sample Region " + std::to_string(i) + ".wav"));
    for (const auto& file : files) Touch(file);
    EXPECT_EQ(root.ShortPathName("C:\\Program Data"), "C:\\PROGRA~1");
    for (const auto& file : files) {
        const auto windows = root.ToWindows(file);
        ASSERT_TRUE(windows);
        const auto shortName = root.ShortPathName(*windows);
        ASSERT_TRUE(shortName) << *windows;
        EXPECT_EQ(root.ToHost(*shortName), file) << *shortName;
        EXPECT_EQ(root.ToHost(UpperCase(*shortName)), file);
    }
    // An alias of a name that does not exist stays as given.
    EXPECT_EQ(root.ToHost("C:\\PROGRA~9\\X"), root.DriveC() / "PROGRA~9" / "X");
}

}  // namespace
}  // namespace korvane::platform
