// The install log's records and its file, byte for byte, and the uninstaller's reading of it.
#include <gtest/gtest.h>

#include "installer/core/install_log.h"
#include "installer/uninst/uninstall.h"
#include "machine_fixture.h"

namespace korvane::installer::test {
namespace {

TEST(InstallLogRecords, SavedNewestFirstWithCrLf) {
    InstallLog log;
    log.AddNewKey("HKEY_LOCAL_MACHINE", "Software\\Quorvix\\Korvane");
    log.AddNewDir("C:\\Program Files\\Quorvix");
    log.AddAppFile("C:\\My Apps, old\\Korvane ", "Read Me.txt", 0);  // blanks and commas unchanged
    log.AddSysFile("C:\\WINDOWS\\SYSTEM", "MFC42.DLL", 0);
    log.AddSysFile("C:\\WINDOWS\\SYSTEM", "SELF.DLL", 1);
    log.AddAppFile("C:\\Program Files\\Shared Files\\Quorvix", "Lumatrel.ocx", 1);
    EXPECT_EQ(log.Text(),
              "INSTAPPFILE C:\\Program Files\\Shared Files\\Quorvix,Lumatrel.ocx,COMPONENT\r\n"
              "INSTSYSFILE C:\\WINDOWS\\SYSTEM,SELF.DLL,COMPONENT\r\n"
              "INSTSYSFILE C:\\WINDOWS\\SYSTEM,MFC42.DLL\r\n"
              "INSTAPPFILE C:\\My Apps, old\\Korvane ,Read Me.txt\r\n"
              "NEWDIR C:\\Program Files\\Quorvix\r\n"
              "NEWKEY HKEY_LOCAL_MACHINE,Software\\Quorvix\\Korvane\r\n");
    EXPECT_THROW(log.At(6), ChainedListExeption);
}

// Every record the installer can write reads back as written and in the file's order,
// whatever blanks, commas or keywords the folders hold; other lines are rejected by
// number; names the log cannot hold are known as such.
TEST(InstallLogFormat, WriterAndReaderAgree) {
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
    const auto parsed = ParseInstallLog("NEWKEY HKEY_CURRENT_USER,Software\\X\r\nINSTAPPFILE nocomma\r\ngarbage\n" + log.Text());
    EXPECT_EQ(parsed.rejected, (std::vector<std::string>{"line 1: NEWKEY HKEY_CURRENT_USER,Software\\X",
                                                         "line 2: INSTAPPFILE nocomma", "line 3: garbage"}));
    ASSERT_EQ(parsed.records.size(), std::size_t(log.Count()));
    for (int i = 0; i < log.Count(); ++i)
        EXPECT_EQ(FormatLogRecord(parsed.records[std::size_t(log.Count() - 1 - i)]), log.At(i));
    for (const char* bad : {"Read me, first.txt", "COMPONENT", ""})
        EXPECT_FALSE(IsRecordableFileName(bad)) << bad;
}

class InstallLogFile : public MachineTest {};

TEST_F(InstallLogFile, SaveWritesTheTextAndFailureIsReported) {
    InstallLog log;
    log.AddNewDir("C:\\A");
    log.AddAppFile("C:\\A", "_install.log", 0);
    ASSERT_TRUE(log.SaveLog(*files, "C:\\WINDOWS\\_install.log"));
    EXPECT_EQ(ReadText("C:\\WINDOWS\\_install.log"), "INSTAPPFILE C:\\A,_install.log\r\nNEWDIR C:\\A\r\n");

    EXPECT_FALSE(log.SaveLog(*files, "C:\\No Such Folder\\_install.log"));
    // Shown by ShowError, whose icon and empty caption the end-to-end runs check.
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Could not write File."});

    // An empty list gives an empty file.
    ASSERT_TRUE(InstallLog().SaveLog(*files, "C:\\WINDOWS\\_install.log"));
    EXPECT_EQ(ReadText("C:\\WINDOWS\\_install.log"), "");
}

}  // namespace
}  // namespace korvane::installer::test
