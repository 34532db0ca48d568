// Versioned placement of system files and their replacement at the next restart.
#include <gtest/gtest.h>

#include "machine_fixture.h"
#include "platform/machine/in_use.h"
#include "platform/machine/short_names.h"

namespace fs = std::filesystem;

namespace korvane::installer::test {
namespace {

constexpr const char* kSys = "C:\\WINDOWS\\SYSTEM";
constexpr const char* kTarget = "C:\\WINDOWS\\SYSTEM\\COMCTL32.DLL";

TEST(ProductVersion, HighWordFirstThenLowWordUnsigned) {
    platform::VsFixedFileInfo a, b;
    a.dwProductVersionMS = b.dwProductVersionMS = 0x00050050;
    a.dwProductVersionLS = 0x0A280000;
    b.dwProductVersionLS = 0x0A270000;
    EXPECT_TRUE(IsNewerProductVersion(a, b));
    EXPECT_FALSE(IsNewerProductVersion(b, a));
    EXPECT_FALSE(IsNewerProductVersion(a, a));  // equal is not newer
    b.dwProductVersionMS = 0x00050051;
    EXPECT_FALSE(IsNewerProductVersion(a, b));  // the high word decides first
    a.dwProductVersionMS = 0x80000000;          // compared unsigned
    EXPECT_TRUE(IsNewerProductVersion(a, b));
}

TEST(RenameLines, InsertedAfterTheFirstHeaderOrAppendedInANewSection) {
    EXPECT_EQ(AddRenameLines("", "C:\\T", "C:\\P"), "[Rename]\r\nNUL=C:\\T\r\nC:\\T=C:\\P\r\n");
    EXPECT_EQ(AddRenameLines("[boot]\r\nx=1\r\n", "C:\\T", "C:\\P"),
              "[boot]\r\nx=1\r\n[Rename]\r\nNUL=C:\\T\r\nC:\\T=C:\\P\r\n");
    // Capitals and indentation are recognised; existing lines keep their order.
    EXPECT_EQ(AddRenameLines("a\r\n  \t[RENAME]\r\nNUL=C:\\OLD\r\n[x]\r\n", "C:\\T", "C:\\P"),
              "a\r\n  \t[RENAME]\r\nNUL=C:\\T\r\nC:\\T=C:\\P\r\nNUL=C:\\OLD\r\n[x]\r\n");
    // LF lines become CR LF; a last line without its end is not glued to the new section.
    EXPECT_EQ(AddRenameLines("[boot]\nlast", "C:\\T", "C:\\P"),
              "[boot]\r\nlast\r\n[Rename]\r\nNUL=C:\\T\r\nC:\\T=C:\\P\r\n");
    // Only the first of two sections gets the lines.
    EXPECT_EQ(AddRenameLines("[rename]\r\n[rename]\r\n", "C:\\T", "C:\\P"),
              "[rename]\r\nNUL=C:\\T\r\nC:\\T=C:\\P\r\n[rename]\r\n");
    // Only the first 8 characters are compared: a header with a comment behind it counts.
    EXPECT_EQ(AddRenameLines("[rename] ; pending\r\n", "C:\\T", "C:\\P"),
              "[rename] ; pending\r\nNUL=C:\\T\r\nC:\\T=C:\\P\r\n");
}

class Versioned : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        MakeInstaller(payload);
        shipped = ReadBytes(PayloadModule("COMCTL32.DLL"));
    }
    void PlaceExisting(const std::string& module) { WriteFile(kTarget, ReadBytes(TestModule(module))); }
    int Place(int component = 0) { return installer->PlaceVersionedFile(shipped, "COMCTL32.DLL", kSys, component); }
    bool StagingEmpty() const { return fs::is_empty(Host(context->stagingDir)); }

    Payload payload;
    std::vector<std::uint8_t> shipped;
};

TEST_F(Versioned, MissingTargetIsRecordedBeforeTheMove) {
    EXPECT_EQ(Place(1), 1);
    EXPECT_EQ(ReadBytes(Host(kTarget)), shipped);
    EXPECT_EQ(log->Text(), "INSTSYSFILE C:\\WINDOWS\\SYSTEM,COMCTL32.DLL,COMPONENT\r\n");
    EXPECT_EQ(context->rebootNeeded, 0);
    EXPECT_TRUE(StagingEmpty());
}

TEST_F(Versioned, EqualOrNewerCopyStaysUntouched) {
    for (const char* existing : {"same.dll", "higher.dll"}) {
        PlaceExisting(existing);
        const auto before = ReadBytes(Host(kTarget));
        EXPECT_EQ(Place(), 0) << existing;
        EXPECT_EQ(ReadBytes(Host(kTarget)), before) << existing;
        EXPECT_EQ(log->Count(), 0) << existing;
        EXPECT_EQ(context->rebootNeeded, 0) << existing;
        EXPECT_TRUE(StagingEmpty()) << existing;
    }
    EXPECT_TRUE(Messages().empty());
}

TEST_F(Versioned, OlderCopyInTheLowWordIsReplacedWithoutARecord) {
    PlaceExisting("lower_ls.dll");
    EXPECT_EQ(Place(), 1);
    EXPECT_EQ(ReadBytes(Host(kTarget)), shipped);
    EXPECT_EQ(log->Count(), 0);
}

TEST_F(Versioned, UnreadableVersionOnEitherSideMeansReplace) {
    WriteFile(kTarget, Bytes("no version record"));
    EXPECT_EQ(Place(), 1);
    EXPECT_EQ(ReadBytes(Host(kTarget)), shipped);

    PlaceExisting("higher.dll");
    EXPECT_EQ(installer->PlaceVersionedFile(Bytes("delivered without record"), "COMCTL32.DLL", kSys, 0), 1);
    EXPECT_EQ(ReadText(kTarget), "delivered without record");
    EXPECT_EQ(log->Count(), 0);
}

TEST_F(Versioned, TargetInUseIsParkedAndScheduledWithShortPaths) {
    PlaceExisting("lower_ls.dll");
    WriteFile("C:\\WINDOWS\\wininit.ini", Bytes("[boot]\r\nshell=x\r\n[rename]\r\nNUL=C:\\OLD.DLL\r\n"));
    auto lock = platform::InUseLock::Hold(Host(kTarget));
    ASSERT_TRUE(lock);
    EXPECT_EQ(Place(), 0);
    EXPECT_EQ(context->rebootNeeded, 1);
    EXPECT_EQ(ReadBytes(Host(std::string(kTarget) + ".precpy")), shipped);
    EXPECT_EQ(ReadBytes(Host(kTarget)), ReadBytes(TestModule("lower_ls.dll")));
    EXPECT_EQ(ReadText("C:\\WINDOWS\\wininit.ini"),
              "[boot]\r\nshell=x\r\n[rename]\r\nNUL=C:\\WINDOWS\\SYSTEM\\COMCTL32.DLL\r\n"
              "C:\\WINDOWS\\SYSTEM\\COMCTL32.DLL=C:\\WINDOWS\\SYSTEM\\COMCTL~1.PRE\r\nNUL=C:\\OLD.DLL\r\n");
    EXPECT_EQ(platform::ResolveShortPath(*root, "C:\\WINDOWS\\SYSTEM\\COMCTL~1.PRE"), Host(std::string(kTarget) + ".precpy"));
    EXPECT_FALSE(Exists(context->stagingDir + "\\nwii.tmp"));  // renamed over wininit.ini
    EXPECT_TRUE(StagingEmpty());
    EXPECT_EQ(log->Count(), 0);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(Versioned, WithoutWininitTheFileHoldsOnlyTheNewSection) {
    PlaceExisting("lower_ls.dll");
    auto lock = platform::InUseLock::Hold(Host(kTarget));
    EXPECT_EQ(Place(), 0);
    EXPECT_EQ(ReadText("C:\\WINDOWS\\wininit.ini"),
              "[Rename]\r\nNUL=C:\\WINDOWS\\SYSTEM\\COMCTL32.DLL\r\n"
              "C:\\WINDOWS\\SYSTEM\\COMCTL32.DLL=C:\\WINDOWS\\SYSTEM\\COMCTL~1.PRE\r\n");
}

TEST_F(Versioned, LeftoverPendingCopyMeansNothingScheduledButRebootFlagSet) {
    PlaceExisting("lower_ls.dll");
    WriteFile(std::string(kTarget) + ".precpy", Bytes("left from an earlier run"));
    auto lock = platform::InUseLock::Hold(Host(kTarget));
    EXPECT_EQ(Place(), 0);
    EXPECT_EQ(context->rebootNeeded, 1);
    EXPECT_FALSE(Exists("C:\\WINDOWS\\wininit.ini"));
    EXPECT_EQ(ReadText(std::string(kTarget) + ".precpy"), "left from an earlier run");
    EXPECT_TRUE(Exists(context->stagingDir + "\\COMCTL32.DLL"));  // the staged copy stays
}

TEST_F(Versioned, StagingFolderThatCannotBeWrittenIsReported) {
    fs::remove_all(Host(context->stagingDir));
    EXPECT_EQ(Place(), 0);
    EXPECT_EQ(Messages(), std::vector<std::string>{"Could not copy file."});
    EXPECT_FALSE(Exists(kTarget));
    EXPECT_EQ(log->Count(), 0);
}

}  // namespace
}  // namespace korvane::installer::test

namespace korvane::installer::test {
namespace {

TEST_F(Versioned, RestartFileIsNeverLostWhenTheNewOneCannotBeWritten) {
    WriteFile(kTarget, Bytes("old"));
    WriteFile(std::string(kTarget) + ".precpy", Bytes("new"));
    const std::string original = "[boot]\r\n[rename]\r\nNUL=C:\\EARLIER.DLL\r\n";
    WriteFile("C:\\WINDOWS\\wininit.ini", Bytes(original));
    fs::remove_all(Host(context->stagingDir));  // nowhere to write "nwii.tmp"
    EXPECT_FALSE(installer->ScheduleReplaceOnRestart(kTarget, std::string(kTarget) + ".precpy"));
    EXPECT_EQ(ReadText("C:\\WINDOWS\\wininit.ini"), original);

    // A short path that cannot be had (the pending file is missing): nothing is written.
    fs::create_directories(Host(context->stagingDir));
    EXPECT_FALSE(installer->ScheduleReplaceOnRestart(kTarget, "C:\\WINDOWS\\SYSTEM\\MISSING.precpy"));
    EXPECT_EQ(ReadText("C:\\WINDOWS\\wininit.ini"), original);

    EXPECT_TRUE(installer->ScheduleReplaceOnRestart(kTarget, std::string(kTarget) + ".precpy"));
    EXPECT_EQ(ReadText("C:\\WINDOWS\\wininit.ini"),
              "[boot]\r\n[rename]\r\nNUL=C:\\WINDOWS\\SYSTEM\\COMCTL32.DLL\r\n"
              "C:\\WINDOWS\\SYSTEM\\COMCTL32.DLL=C:\\WINDOWS\\SYSTEM\\COMCTL~1.PRE\r\nNUL=C:\\EARLIER.DLL\r\n");
}

}  // namespace
}  // namespace korvane::installer::test
