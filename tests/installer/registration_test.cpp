// Folder discovery, registry entries, shared-use counts, the shortcut and the read-me.
#include <gtest/gtest.h>

#include <algorithm>

#include "machine_fixture.h"
#include "tests/support/scoped_env.h"

namespace fs = std::filesystem;
using korvane::platform::RootKey;

namespace korvane::installer::test {
namespace {

class Registration : public MachineTest {
protected:
    std::optional<std::string> HklmString(const std::string& key, const std::string& name) {
        auto k = registry->OpenKey(RootKey::LocalMachine, key);
        return k ? k->QueryString(name) : std::nullopt;
    }
};

// The folders found in the registry: see the whole first installation's log; the default
// application and Start-menu folders: see the shortcut's test.
TEST_F(Registration, DiscoveryFallsBackToTheDefaultsOnceAndTheStagingFolderGoesWithTheContext) {
    auto& inst = MakeInstaller(Names());
    EXPECT_EQ(context->sharedDir, "c:\\Program Files\\Shared Files\\Quorvix");
    EXPECT_TRUE(context->stagingDir.starts_with("C:\\WINDOWS\\Temp\\_ins")) << context->stagingDir;
    const fs::path staging = Host(context->stagingDir);
    EXPECT_TRUE(fs::is_directory(staging));
    // Once initialised, discovery does nothing more.
    context->appDir = "C:\\Elsewhere";
    inst.DiscoverFolders();
    EXPECT_EQ(context->appDir, "C:\\Elsewhere");
    installer.reset();
    context.reset();
    EXPECT_FALSE(fs::exists(staging));
}

// A %TMP% folder so deep (4,089 bytes on the host) that no folder fits inside it: the staging
// folder cannot be made, and that is said at once.
TEST_F(Registration, AStagingFolderThatCannotBeMadeIsReported) {
    std::string windowsTmp = "C:";
    for (std::size_t length = root->DriveC().string().size(); length < 4090;) {
        const std::size_t take = std::min<std::size_t>(200, 4090 - length - 1);
        windowsTmp.append("\\").append(take, 'd');
        length += take + 1;
    }
    fs::create_directories(Host(windowsTmp));
    {
        const korvane::testing::ScopedEnv tmp("TMP", windowsTmp.c_str());
        MakeInstaller(payload);
    }
    EXPECT_TRUE(context->stagingDir.empty());
    ASSERT_EQ(boxes.Texts().size(), 1u);
    EXPECT_NE(boxes.Texts()[0].find("Could not create a temporary folder"), std::string::npos);
}

TEST_F(Registration, EntriesWithBlanksAreUnquotedAndExistingKeysNotRecordedAgain) {
    SeedWindowsMachine();
    auto& inst = MakeInstaller(Names());
    context->appDir = "C:\\My Apps\\Kor vane";
    inst.RegisterUninstallEntry();
    inst.CreateProductKey();
    inst.RegisterAppPath();
    const std::string uninstall = std::string(kUninstallKeyBase) + "Korvane";
    EXPECT_EQ(HklmString(uninstall, "DisplayName"), "Korvane");
    EXPECT_EQ(HklmString(uninstall, "UninstallString"), "C:\\WINDOWS\\VMUninst.exe C:\\My Apps\\Kor vane\\_install.log");
    EXPECT_EQ(HklmString(std::string(kAppPathsKeyBase) + "Korvane.exe", ""), "C:\\My Apps\\Kor vane\\Korvane.exe");
    EXPECT_EQ(HklmString(std::string(kAppPathsKeyBase) + "Korvane.exe", "Path"), "C:\\My Apps\\Kor vane");
    auto product = registry->OpenKey(RootKey::LocalMachine, "Software\\Quorvix\\Korvane");
    ASSERT_TRUE(product);
    EXPECT_TRUE(registry->EnumValueNames(RootKey::LocalMachine, "Software\\Quorvix\\Korvane").empty());
    // The maker's key above the product key was created too, and is recorded before it.
    EXPECT_EQ(log->Text(),
              "NEWKEY HKEY_LOCAL_MACHINE,Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Korvane.exe\r\n"
              "NEWKEY HKEY_LOCAL_MACHINE,Software\\Quorvix\\Korvane\r\n"
              "NEWKEY HKEY_LOCAL_MACHINE,Software\\Quorvix\r\n"
              "NEWKEY HKEY_LOCAL_MACHINE,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvane\r\n");

    auto& again = MakeInstaller(payload);
    again.RegisterUninstallEntry();
    again.CreateProductKey();
    again.RegisterAppPath();
    EXPECT_EQ(log->Count(), 0);
    EXPECT_TRUE(boxes.Texts().empty());
}

TEST_F(Registration, SharedUseCountsEachType) {
    auto& inst = MakeInstaller(Names());
    // Without the key nothing is counted and nothing is created.
    inst.IncrementSharedDllCount("C:\\WINDOWS\\SYSTEM\\MFC42.DLL");
    EXPECT_FALSE(registry->KeyExists(RootKey::LocalMachine, kSharedDllsKey));

    auto shared = registry->CreateKey(RootKey::LocalMachine, kSharedDllsKey);
    shared.SetDword("C:\\WINDOWS\\SYSTEM\\MFC42.DLL", 3);
    shared.SetString("C:\\WINDOWS\\SYSTEM\\MSVCRT.DLL", "7");
    const std::uint8_t odd[] = {1, 2};
    shared.SetBinary("C:\\WINDOWS\\SYSTEM\\ODD.DLL", odd);
    shared.SetDword("C:\\WINDOWS\\SYSTEM\\FULL.DLL", 0xFFFFFFFFu);
    for (const char* name : {"MFC42.DLL", "MSVCRT.DLL", "ODD.DLL", "COMCTL32.DLL", "FULL.DLL"})
        inst.IncrementSharedDllCount(std::string("C:\\WINDOWS\\SYSTEM\\") + name);
    EXPECT_EQ(shared.QueryDword("C:\\WINDOWS\\SYSTEM\\MFC42.DLL"), 4u);
    EXPECT_EQ(shared.QueryDword("C:\\WINDOWS\\SYSTEM\\MSVCRT.DLL"), 1001u);
    EXPECT_EQ(shared.QueryDword("C:\\WINDOWS\\SYSTEM\\ODD.DLL"), 1001u);
    EXPECT_EQ(shared.QueryDword("C:\\WINDOWS\\SYSTEM\\COMCTL32.DLL"), 1u);
    EXPECT_EQ(shared.QueryDword("C:\\WINDOWS\\SYSTEM\\FULL.DLL"), 0xFFFFFFFFu);  // never wraps to 0
    EXPECT_TRUE(boxes.Texts().empty());
}

TEST_F(Registration, ShortcutInTheMakersFolderAndRecordedEvenWhenItFails) {
    auto& inst = MakeInstaller(Names());
    ASSERT_EQ(inst.CreateProgramShortcut(), 1);
    const std::string link = "C:\\WINDOWS\\Start Menu\\Quorvix\\Korvane.lnk";
    const std::string text = ReadText(link);
    // Flags 8: only the working folder is set, no description.
    for (const char* line : {"X-Korvane-Target=c:\\\\Program Files\\\\Quorvix\\\\Korvane\\\\Korvane.exe\n",
                             "X-Korvane-WorkingDirectory=c:\\\\Program Files\\\\Quorvix\\\\Korvane\n",
                             "X-Korvane-Description=\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << text;
    EXPECT_EQ(log->Text(),
              "INSTAPPFILE C:\\WINDOWS\\Start Menu\\Quorvix,Korvane.lnk\r\n"
              "NEWDIR C:\\WINDOWS\\Start Menu\\Quorvix\r\nNEWDIR C:\\WINDOWS\\Start Menu\r\n");

    // A folder of the link's name makes saving impossible; the record is made anyway.
    fs::remove(Host(link));
    fs::create_directories(Host(link) / "blocker");
    auto& again = MakeInstaller(payload);
    again.CreateProgramShortcut();
    EXPECT_EQ(log->Text(), "INSTAPPFILE C:\\WINDOWS\\Start Menu\\Quorvix,Korvane.lnk\r\n");
    EXPECT_TRUE(boxes.Texts().empty());  // silent
}

}  // namespace
}  // namespace korvane::installer::test
