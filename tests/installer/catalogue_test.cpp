// The payload catalogue: numbering, string entries, placement per kind, registration,
// the uninstaller, and the whole install sequence on a clean machine.
#include <gtest/gtest.h>

#include <algorithm>

#include "installer/pack/manifest.h"
#include "machine_fixture.h"
#include "platform/machine/in_use.h"
#include "platform/registry/registry.h"

namespace fs = std::filesystem;
using korvane::platform::RootKey;

namespace korvane::installer::test {
namespace {

class Catalogue : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        SeedWindowsMachine();
        Names();
    }
};

// Files 1 to 15 of a kind are looked for; a gap consumes no string entries.
TEST_F(Catalogue, GapsConsumeNoStringEntriesAndFifteenIsTheLastFileLookedFor) {
    payload.Add("IDT_APPFILE_1", Bytes("one")).Add("IDT_APPFILE_3", Bytes("three"));
    payload.Add("IDT_APPFILE_15", Bytes("15")).Add("IDT_APPFILE_16", Bytes("16"));
    payload.String(40000, "One.txt").String(47000, "<appdir>");
    payload.String(40001, "Three.txt").String(47001, "<appdir>\\Data");
    payload.String(40002, "Fifteen.txt").String(47002, "<appdir>");
    payload.String(40003, "Sixteen.txt").String(47003, "<appdir>");
    auto& inst = MakeInstaller(payload);
    int counter = 0;
    EXPECT_EQ(inst.InstallAppFiles(progress, counter), 1);
    EXPECT_EQ(counter, 3);
    EXPECT_EQ(ReadText(context->appDir + "\\One.txt"), "one");
    EXPECT_EQ(ReadText(context->appDir + "\\Data\\Three.txt"), "three");
    EXPECT_EQ(ReadText(context->appDir + "\\Fifteen.txt"), "15");
    EXPECT_FALSE(Exists(context->appDir + "\\Sixteen.txt"));
    EXPECT_EQ(progress.texts, (std::vector<std::string>{"|||||", "||||||||||", "|||||||||||||||"}));
    EXPECT_EQ(log->Text(),
              "INSTAPPFILE C:\\Program Files\\Quorvix\\Korvane,Fifteen.txt\r\n"
              "INSTAPPFILE C:\\Program Files\\Quorvix\\Korvane\\Data,Three.txt\r\n"
              "NEWDIR C:\\Program Files\\Quorvix\\Korvane\\Data\r\n"
              "INSTAPPFILE C:\\Program Files\\Quorvix\\Korvane,One.txt\r\n"
              "NEWDIR C:\\Program Files\\Quorvix\\Korvane\r\n"
              "NEWDIR C:\\Program Files\\Quorvix\r\n");
}

// A file in use and a folder in a file's place each fail with the message, unrecorded and
// without a temporary left behind; the files after them are still placed.
TEST_F(Catalogue, AppFilesThatCannotBeWrittenFailUnrecordedAndTheRestGoesOn) {
    payload.File("APPFILE", 1, "Korvane.exe", "<appdir>", Bytes("new exe"));
    payload.File("APPFILE", 2, "Data", "<appdir>", Bytes("x"));
    payload.File("APPFILE", 3, "Korvane.hlp", "<appdir>", Bytes("new help"));
    auto& inst = MakeInstaller(payload);
    WriteFile(context->appDir + "\\Korvane.exe", Bytes("running exe"));
    auto lock = platform::InUseLock::Hold(Host(context->appDir + "\\Korvane.exe"));
    fs::create_directories(Host(context->appDir + "\\Data"));
    int counter = 0;
    inst.InstallAppFiles(progress, counter);
    EXPECT_EQ(counter, 3);
    EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"Could not copy File.", "Could not copy File."}));
    EXPECT_EQ(ReadText(context->appDir + "\\Korvane.exe"), "running exe");
    EXPECT_EQ(ReadText(context->appDir + "\\Korvane.hlp"), "new help");
    EXPECT_EQ(log->Text(), "INSTAPPFILE C:\\Program Files\\Quorvix\\Korvane,Korvane.hlp\r\n");
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(Host(context->appDir))) left.push_back(entry.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"Data", "Korvane.exe", "Korvane.hlp"}));
    EXPECT_EQ(inst.WritePayloadFile(Bytes("x"), "a.txt", "C:\\No\\Such", 0), 0);
}

TEST_F(Catalogue, SelfRegisteringSystemFileIsRegisteredOnlyWhenPlacedNow) {
    const auto module = ReadBytes(TestModule("selfreg.ocx"));
    payload.File("SELFREGSYS", 1, "SELFREG.OCX", "<sysdir>", module);
    auto& inst = MakeInstaller(payload);
    int counter = 30;
    inst.InstallSelfRegSystemFiles(progress, counter);
    const std::string classKey = "Software\\Classes\\CLSID\\{6B1E0F3A-2C4D-4E5F-8A9B-0C1D2E3F4A5B}\\InprocServer32";
    auto key = registry->OpenKey(RootKey::LocalMachine, classKey);
    ASSERT_TRUE(key) << "DllRegisterServer did not run";
    EXPECT_EQ(key->QueryString(""), "C:\\WINDOWS\\SYSTEM\\SELFREG.OCX");
    EXPECT_EQ(log->Text(), "INSTSYSFILE C:\\WINDOWS\\SYSTEM,SELFREG.OCX,COMPONENT\r\n");
    EXPECT_EQ(registry->OpenKey(RootKey::LocalMachine, kSharedDllsKey)->QueryDword("C:\\WINDOWS\\SYSTEM\\SELFREG.OCX"), 1u);

    // The same version again is kept (0): not registered again, but counted.
    registry->DeleteKey(RootKey::LocalMachine, "Software\\Classes\\CLSID\\{6B1E0F3A-2C4D-4E5F-8A9B-0C1D2E3F4A5B}");
    auto& again = MakeInstaller(payload);
    counter = 30;
    again.InstallSelfRegSystemFiles(progress, counter);
    EXPECT_FALSE(registry->KeyExists(RootKey::LocalMachine, classKey));
    EXPECT_EQ(registry->OpenKey(RootKey::LocalMachine, kSharedDllsKey)->QueryDword("C:\\WINDOWS\\SYSTEM\\SELFREG.OCX"), 2u);
    EXPECT_TRUE(boxes.Texts().empty());
}

TEST_F(Catalogue, CustomModuleRegistrationFailureIsReportedAndStillCounted) {
    payload.File("SELFREG_CUSTOM", 1, "Fails.ocx", "<shareddir>", ReadBytes(TestModule("selfreg_fails.ocx")));
    payload.File("SELFREG_CUSTOM", 2, "Text.ocx", "<shareddir>", Bytes("not a module"));
    auto& inst = MakeInstaller(payload);
    int counter = 45;
    inst.InstallSelfRegCustomFiles(progress, counter);
    const std::string shared = "C:\\Program Files\\Common Files\\Quorvix";
    EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{
                              "There was an error while trying to install a file\n(" + shared +
                                  "\\Fails.ocx).\nThe installation my be incomplete.",
                              "There was an error while trying to install a file\n(" + shared +
                                  "\\Text.ocx).\nThe installation my be incomplete."}));
    auto counts = registry->OpenKey(RootKey::LocalMachine, kSharedDllsKey);
    EXPECT_EQ(counts->QueryDword(shared + "\\Fails.ocx"), 1u);
    EXPECT_EQ(counts->QueryDword(shared + "\\Text.ocx"), 1u);
    EXPECT_EQ(log->At(1), "INSTAPPFILE " + shared + ",Fails.ocx,COMPONENT");
}

// The whole sequence with the payload as delivered (less the application, which the
// catalogue order does not depend on).
TEST_F(Catalogue, FirstInstallationOnACleanMachineLogsInTheDocumentedOrder) {
    const char* app[] = {"Korvane.exe", "Korvane.hlp", "Korvane.cnt", "ReadMe.txt"};
    for (int i = 0; i < 4; ++i) payload.File("APPFILE", i + 1, app[i], "<appdir>", Bytes(app[i]));
    const char* sys[] = {"COMCTL32.DLL", "MFC42.DLL", "MSVCRT.DLL"};
    for (int i = 0; i < 3; ++i) payload.File("SYSFILE", i + 1, sys[i], "<sysdir>", ReadBytes(PayloadModule(sys[i])));
    payload.File("SELFREG_CUSTOM", 1, "Lumatrel.ocx", "<shareddir>", ReadBytes(TestModule("selfreg.ocx")));
    payload.Add("IDT_APPFILE_UNINST", Bytes("uninstaller")).Add("IDT_LICENSE_TXT", Bytes("licence\r\n"));
    // A newer copy present: kept, not recorded, but its use still counted.
    WriteFile("C:\\WINDOWS\\SYSTEM\\MFC42.DLL", ReadBytes(TestModule("higher.dll")));
    auto& inst = MakeInstaller(payload);
    EXPECT_EQ(inst.RunInstallation(progress), 1);

    const std::string appDir = "C:\\Program Files\\Quorvix\\Korvane";
    EXPECT_EQ(ReadText(appDir + "\\_install.log"),
              "INSTAPPFILE " + appDir + ",_install.log\r\n"
              "INSTAPPFILE C:\\WINDOWS\\Start Menu\\Programs\\Quorvix,Korvane.lnk\r\n"
              "NEWDIR C:\\WINDOWS\\Start Menu\\Programs\\Quorvix\r\n"
              "INSTAPPFILE C:\\Program Files\\Common Files\\Quorvix,Lumatrel.ocx,COMPONENT\r\n"
              "INSTSYSFILE C:\\WINDOWS\\SYSTEM,MSVCRT.DLL\r\n"
              "INSTSYSFILE C:\\WINDOWS\\SYSTEM,COMCTL32.DLL\r\n"
              "INSTAPPFILE " + appDir + ",ReadMe.txt\r\n"
              "INSTAPPFILE " + appDir + ",Korvane.cnt\r\n"
              "INSTAPPFILE " + appDir + ",Korvane.hlp\r\n"
              "INSTAPPFILE " + appDir + ",Korvane.exe\r\n"
              "NEWDIR C:\\Program Files\\Common Files\\Quorvix\r\n"
              "NEWDIR " + appDir + "\r\n"
              "NEWDIR C:\\Program Files\\Quorvix\r\n"
              "NEWKEY HKEY_LOCAL_MACHINE,Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Korvane.exe\r\n"
              "NEWKEY HKEY_LOCAL_MACHINE,Software\\Quorvix\\Korvane\r\n"
              "NEWKEY HKEY_LOCAL_MACHINE,Software\\Quorvix\r\n"
              "NEWKEY HKEY_LOCAL_MACHINE,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvane\r\n");
    EXPECT_EQ(registry->OpenKey(RootKey::LocalMachine, kSharedDllsKey)->QueryDword("C:\\WINDOWS\\SYSTEM\\MFC42.DLL"), 1u);
    EXPECT_EQ(ReadText("C:\\WINDOWS\\VMUnInst.exe"), "uninstaller");
    ASSERT_EQ(shell->Executes().size(), 1u);
    const auto& readMe = shell->Executes()[0];
    EXPECT_EQ(std::tie(readMe.verb, readMe.file, readMe.showCommand),
              std::make_tuple("open", appDir + "\\ReadMe.txt", platform::kSwShowNormal));
    EXPECT_EQ(progress.texts.front(), "");
    EXPECT_EQ(progress.texts.back(), ProgressText(46));
    EXPECT_EQ(context->rebootNeeded, 0);
    EXPECT_TRUE(boxes.Texts().empty());
}

TEST(PayloadManifest, NumbersKindsAndAssignsStringEntries) {
    std::string error;
    const auto manifest = ParseManifest(
        "# comment\n"
        "APPFILE Korvane.hlp <appdir> /p/Korvane.hlp\n"
        "APPFILE ReadMe.txt <appdir>\\Docs /p/Read Me.txt\n"
        "SYSFILE MFC42.DLL <sysdir> /p/MFC42.DLL\n"
        "UNINST /p/vmuninst\n"
        "LICENSE /p/License.txt\n"
        "resource INSTFILE IDT_APPFILE_16 /p/x\n"
        "string 50000 Korvane Deluxe\n",
        &error);
    ASSERT_TRUE(manifest) << error;
    std::vector<std::string> resources;
    for (const auto& r : manifest->resources)
        resources.push_back(r.type + " " + r.name + " " + r.sourcePath + (r.crlfText ? " crlf" : ""));
    EXPECT_EQ(resources, (std::vector<std::string>{
                             "INSTFILE IDT_APPFILE_1 /p/Korvane.hlp", "INSTFILE IDT_APPFILE_2 /p/Read Me.txt",
                             "INSTFILE IDT_SYSFILE_1 /p/MFC42.DLL", "INSTFILE IDT_APPFILE_UNINST /p/vmuninst",
                             "INSTFILE IDT_LICENSE_TXT /p/License.txt crlf", "INSTFILE IDT_APPFILE_16 /p/x"}));
    EXPECT_EQ(manifest->strings, (std::map<std::uint32_t, std::string>{{40000, "Korvane.hlp"}, {47000, "<appdir>"},
                                                                       {40001, "ReadMe.txt"}, {47001, "<appdir>\\Docs"},
                                                                       {41000, "MFC42.DLL"}, {44000, "<sysdir>"},
                                                                       {50000, "Korvane Deluxe"}}));

    std::string sixteen;
    for (int i = 0; i < 16; ++i) sixteen += "APPFILE f" + std::to_string(i) + " <appdir> /p\n";
    EXPECT_FALSE(ParseManifest(sixteen, &error));
    EXPECT_EQ(error, "line 16: more than 15 files of kind APPFILE");
    for (const char* bad :
         {"BOGUS x y z\n", "string 40000 a\nAPPFILE a <appdir> /p\n", "string 4x0 a\n", "APPFILE a <appdir>\n"})
        EXPECT_FALSE(ParseManifest(bad, &error)) << bad;
    EXPECT_EQ(ToCrLf("a\nb\r\nc\rd"), "a\r\nb\r\nc\r\nd");
}

}  // namespace
}  // namespace korvane::installer::test
