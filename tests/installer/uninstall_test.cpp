// What the uninstaller removes and keeps.
#include <gtest/gtest.h>

#include "installer/uninst/uninstall.h"
#include "machine_fixture.h"

namespace fs = std::filesystem;
using korvane::platform::RootKey;

namespace korvane::installer::test {
namespace {

class Uninstaller : public MachineTest {};

TEST_F(Uninstaller, RemovesOnlyWhatTheLogNamesAndCountsSharedFiles) {
    SeedWindowsMachine();
    WriteFile("C:\\App\\a.txt", Bytes("a"));
    WriteFile("C:\\App\\user.txt", Bytes("the user's own"));
    WriteFile("C:\\WINDOWS\\SYSTEM\\SHARED.DLL", Bytes("shared"));
    WriteFile("C:\\WINDOWS\\SYSTEM\\LAST.DLL", Bytes("last"));
    WriteFile("C:\\Empty\\Inner\\b.txt", Bytes("b"));
    auto shared = registry->CreateKey(RootKey::LocalMachine, kSharedDllsKey);
    shared.SetDword("C:\\WINDOWS\\SYSTEM\\SHARED.DLL", 2);
    shared.SetDword("C:\\WINDOWS\\SYSTEM\\LAST.DLL", 1);
    registry->CreateKey(RootKey::LocalMachine, "Software\\Quorvix\\Korvane").SetString("Driver", "x");
    registry->CreateKey(RootKey::LocalMachine, "Software\\Quorvix\\Other");
    WriteFile("C:\\WINDOWS\\VMUnInst.exe", Bytes("me"));

    const auto log = ParseInstallLog(
        "INSTAPPFILE C:\\App,a.txt\r\nINSTSYSFILE C:\\WINDOWS\\SYSTEM,SHARED.DLL\r\n"
        "INSTSYSFILE C:\\WINDOWS\\SYSTEM,LAST.DLL\r\nINSTAPPFILE C:\\Empty\\Inner,b.txt\r\n"
        "NEWDIR C:\\Empty\\Inner\r\nNEWDIR C:\\Empty\r\nNEWDIR C:\\App\r\n"
        "NEWKEY HKEY_LOCAL_MACHINE,Software\\Quorvix\\Korvane\r\nNEWKEY HKEY_LOCAL_MACHINE,Software\\Quorvix\r\n");
    const auto report = Uninstall(log, *files, registry, "C:\\WINDOWS\\VMUnInst.exe");
    EXPECT_TRUE(report.errors.empty()) << report.errors.front();
    EXPECT_FALSE(Exists("C:\\App\\a.txt"));
    EXPECT_EQ(ReadText("C:\\App\\user.txt"), "the user's own");  // not named: stays, and so does its folder
    EXPECT_TRUE(Exists("C:\\WINDOWS\\SYSTEM\\SHARED.DLL"));      // still used once
    EXPECT_EQ(shared.QueryDword("C:\\WINDOWS\\SYSTEM\\SHARED.DLL"), 1u);
    EXPECT_FALSE(Exists("C:\\WINDOWS\\SYSTEM\\LAST.DLL"));
    EXPECT_FALSE(shared.Query("C:\\WINDOWS\\SYSTEM\\LAST.DLL"));
    EXPECT_FALSE(Exists("C:\\Empty"));
    EXPECT_FALSE(registry->KeyExists(RootKey::LocalMachine, "Software\\Quorvix\\Korvane"));
    EXPECT_TRUE(registry->KeyExists(RootKey::LocalMachine, "Software\\Quorvix"));  // holds another product
    EXPECT_FALSE(Exists("C:\\WINDOWS\\VMUnInst.exe"));  // no uninstall entry uses it any more
}

TEST_F(Uninstaller, KeepsItselfWhileAnotherProductNeedsIt) {
    SeedWindowsMachine();
    WriteFile("C:\\WINDOWS\\VMUnInst.exe", Bytes("me"));
    registry->CreateKey(RootKey::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other")
        .SetString("UninstallString", "C:\\WINDOWS\\VMUninst.exe C:\\Other\\_install.log");
    const auto report = Uninstall(ParseInstallLog(""), *files, registry, "C:\\WINDOWS\\VMUnInst.exe");
    EXPECT_TRUE(Exists("C:\\WINDOWS\\VMUnInst.exe"));
    EXPECT_TRUE(report.errors.empty());
}

}  // namespace
}  // namespace korvane::installer::test
