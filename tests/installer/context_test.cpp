// Directory tokens, folder creation with its log records, and the check of a typed folder.
#include <gtest/gtest.h>

#include "installer/core/install_context.h"
#include "machine_fixture.h"

namespace korvane::installer::test {
namespace {

void Folders(InstallContext& c) {
    c.appDir = "C:\\Program Files\\Quorvix\\Korvane";
    c.systemDir = "C:\\WINDOWS\\SYSTEM";
    c.windowsDir = "C:\\WINDOWS";
    c.sharedDir = "C:\\Program Files\\Common Files\\Quorvix";
}

TEST(DirectoryTokens, FirstTokenInOrderReplacedOnceTextAroundKept) {
    InstallContext c;
    Folders(c);
    EXPECT_EQ(ExpandDirToken(c, "<appdir>\\Data"), "C:\\Program Files\\Quorvix\\Korvane\\Data");
    EXPECT_EQ(ExpandDirToken(c, "<sysdir>\\<appdir>"), "<sysdir>\\C:\\Program Files\\Quorvix\\Korvane");
    EXPECT_EQ(ExpandDirToken(c, "<windir>"), "C:\\WINDOWS");
    EXPECT_EQ(ExpandDirToken(c, "<shareddir>\\x"), "C:\\Program Files\\Common Files\\Quorvix\\x");
    EXPECT_EQ(ExpandDirToken(c, "<appdir><appdir>"), "C:\\Program Files\\Quorvix\\Korvane<appdir>");
    EXPECT_EQ(ExpandDirToken(c, "<APPDIR>"), "<APPDIR>");  // tokens are case-sensitive
    EXPECT_EQ(ExpandDirToken(c, "D:\\Fixed"), "D:\\Fixed");
    EXPECT_EQ(ExpandDirToken(c, ""), "");
}

TEST(TypedFolder, OnlyFullFolderPathsAreUsable) {
    EXPECT_TRUE(IsUsableAppFolder("C:\\Program Files\\Quorvix\\Korvane"));
    EXPECT_TRUE(IsUsableAppFolder("c:\\My Apps, 2\\Korvane"));
    EXPECT_TRUE(IsUsableAppFolder("C:\\K"));
    for (const char* bad : {"", "C:", "C:\\", "Korvane", "\\Program Files\\Korvane", "C:Program Files",
                            "C:\\Program Files\\", "C:\\a\\\\b", "C:\\a\\..\\b", "C:\\a\\.", "C:\\a \\b", "C:\\a.\\b",
                            "C:\\a<b", "C:\\a|b", "C:\\a\"b", "C:\\a/b", "C:\\a:b", "C:\\a?b", "1:\\a", "C:\\a\tb"})
        EXPECT_FALSE(IsUsableAppFolder(bad)) << bad;
    EXPECT_FALSE(IsUsableAppFolder("C:\\" + std::string(240, 'x')));
}

class CreatePath : public MachineTest {};

TEST_F(CreatePath, CreatesMissingFoldersOuterFirstAndRecordsOnlyThose) {
    auto& inst = MakeInstaller(payload);
    ASSERT_TRUE(files->CreateDirectory("C:\\a"));
    ASSERT_TRUE(inst.CreateDirectoryPath("C:\\a\\b\\c"));
    EXPECT_TRUE(files->IsDirectory("C:\\a\\b\\c"));
    EXPECT_EQ(log->Text(), "NEWDIR C:\\a\\b\\c\r\nNEWDIR C:\\a\\b\r\n");

    // All there already: nothing created, nothing recorded.
    ASSERT_TRUE(inst.CreateDirectoryPath("C:\\A\\B\\C"));
    EXPECT_EQ(log->Count(), 2);

    // A file of a folder's name counts as existing; the child then cannot be made.
    WriteFile("C:\\f", Bytes("file"));
    EXPECT_FALSE(inst.CreateDirectoryPath("C:\\f\\g"));
    EXPECT_EQ(log->Count(), 2);
    // Outside the machine's one drive nothing can be made.
    EXPECT_FALSE(inst.CreateDirectoryPath("D:\\x\\y"));
}

}  // namespace
}  // namespace korvane::installer::test
