// The install log's records and its file, byte for byte.
#include <gtest/gtest.h>

#include "installer/core/install_log.h"
#include "machine_fixture.h"

namespace korvane::installer::test {
namespace {

TEST(InstallLogRecords, SavedNewestFirstWithCrLfAndNothingElse) {
    InstallLog log;
    log.AddNewKey("HKEY_LOCAL_MACHINE", "Software\\Quorvix\\Korvane");
    log.AddNewDir("C:\\Program Files\\Quorvix");
    log.AddAppFile("C:\\Program Files\\Quorvix\\Korvane", "Korvane.exe", 0);
    log.AddSysFile("C:\\WINDOWS\\SYSTEM", "MFC42.DLL", 0);
    log.AddSysFile("C:\\WINDOWS\\SYSTEM", "SELF.DLL", 1);
    log.AddAppFile("C:\\Program Files\\Shared Files\\Quorvix", "Lumatrel.ocx", 1);
    ASSERT_EQ(log.Count(), 6);
    EXPECT_EQ(log.At(0), "NEWKEY HKEY_LOCAL_MACHINE,Software\\Quorvix\\Korvane");
    EXPECT_EQ(log.Text(),
              "INSTAPPFILE C:\\Program Files\\Shared Files\\Quorvix,Lumatrel.ocx,COMPONENT\r\n"
              "INSTSYSFILE C:\\WINDOWS\\SYSTEM,SELF.DLL,COMPONENT\r\n"
              "INSTSYSFILE C:\\WINDOWS\\SYSTEM,MFC42.DLL\r\n"
              "INSTAPPFILE C:\\Program Files\\Quorvix\\Korvane,Korvane.exe\r\n"
              "NEWDIR C:\\Program Files\\Quorvix\r\n"
              "NEWKEY HKEY_LOCAL_MACHINE,Software\\Quorvix\\Korvane\r\n");
}

TEST(InstallLogRecords, PathsWithBlanksAndCommasAreWrittenUnchanged) {
    InstallLog log;
    log.AddAppFile("C:\\My Apps, old\\Korvane ", "Read Me.txt", 0);
    EXPECT_EQ(log.Text(), "INSTAPPFILE C:\\My Apps, old\\Korvane ,Read Me.txt\r\n");
    EXPECT_EQ(InstallLog().Text(), "");
    EXPECT_THROW(log.At(1), ChainedListExeption);
}

class InstallLogFile : public MachineTest {};

TEST_F(InstallLogFile, SaveWritesTheTextAndFailureIsReported) {
    InstallLog log;
    log.AddNewDir("C:\\A");
    log.AddAppFile("C:\\A", "_install.log", 0);
    ASSERT_TRUE(log.SaveLog(*files, "C:\\WINDOWS\\_install.log"));
    EXPECT_EQ(ReadText("C:\\WINDOWS\\_install.log"), "INSTAPPFILE C:\\A,_install.log\r\nNEWDIR C:\\A\r\n");
    EXPECT_TRUE(Messages().empty());

    EXPECT_FALSE(log.SaveLog(*files, "C:\\No Such Folder\\_install.log"));
    ASSERT_EQ(boxes->ShownBoxes().size(), 1u);
    EXPECT_EQ(boxes->ShownBoxes()[0].text, "Could not write File.");
    EXPECT_EQ(boxes->ShownBoxes()[0].flags, platform::kMbOk | platform::kMbIconError);
    EXPECT_EQ(boxes->ShownBoxes()[0].caption, "");

    // An empty list gives an empty file.
    ASSERT_TRUE(InstallLog().SaveLog(*files, "C:\\WINDOWS\\_install.log"));
    EXPECT_EQ(ReadText("C:\\WINDOWS\\_install.log"), "");
}

}  // namespace
}  // namespace korvane::installer::test
