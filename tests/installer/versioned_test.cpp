// Versioned placement of system files and their replacement at the next restart.
#include <gtest/gtest.h>

#include "machine_fixture.h"
#include "platform/machine/in_use.h"
#include "platform/machine/wininit.h"

namespace fs = std::filesystem;

namespace korvane::installer::test {
namespace {

constexpr const char* kSys = "C:\\WINDOWS\\SYSTEM";
constexpr const char* kTarget = "C:\\WINDOWS\\SYSTEM\\COMCTL32.DLL";

// Which copy is newer in the high or the low word: Versioned.ReplacesOnlyMissingOlder...
TEST(ProductVersion, WordsCompareUnsigned) {
    platform::VsFixedFileInfo a, b;
    a.dwProductVersionMS = 0x80000000;
    b.dwProductVersionMS = 0x00050050;
    EXPECT_TRUE(IsNewerProductVersion(a, b));
    EXPECT_FALSE(IsNewerProductVersion(b, a));
}

// The rename lines go after the first [rename] header (the first 8 characters, any case,
// blanks before) or into a new section; the restart's reader finds them first.
TEST(RestartFile, RenameLinesGoIntoTheFirstSectionAndReadBack) {
    const std::string lines = "NUL=C:\\T\r\nC:\\T=C:\\P\r\n";
    const struct {
        std::string control;
        std::string written;
    } cases[] = {
        {"", "[Rename]\r\n" + lines},
        {"[boot]\r\nx=1\r\n", "[boot]\r\nx=1\r\n[Rename]\r\n" + lines},
        {"a\r\n  \t[RENAME]\r\nNUL=C:\\OLD\r\n[x]\r\n", "a\r\n  \t[RENAME]\r\n" + lines + "NUL=C:\\OLD\r\n[x]\r\n"},
        // LF lines become CR LF; a last line without its end is not glued to the new section.
        {"[boot]\nlast", "[boot]\r\nlast\r\n[Rename]\r\n" + lines},
        {"[rename]\r\n[rename]\r\n", "[rename]\r\n" + lines + "[rename]\r\n"},
        {"[rename] ; pending\r\n", "[rename] ; pending\r\n" + lines},
        {"[rename][ren\r\n", "[rename][ren\r\n" + lines},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.control);
        const std::string written = AddRenameLines(c.control, "C:\\T", "C:\\P");
        EXPECT_EQ(written, c.written);
        const auto plan = platform::PlanWininit(written);
        ASSERT_GE(plan.operations.size(), 2u);
        EXPECT_EQ(plan.operations[0].target, "NUL");
        EXPECT_EQ(plan.operations[0].source, "C:\\T");
        EXPECT_EQ(plan.operations[1].target, "C:\\T");
        EXPECT_EQ(plan.operations[1].source, "C:\\P");
    }
    // The reader takes the rename lines (and lines without "=") out and keeps the rest.
    const auto plan = platform::PlanWininit("[Other]\r\nkeep=me\r\n  [RENAME]  \r\nNUL=C:\\A.DLL\r\nno equals\r\n[Tail]\r\nx=y\r\n");
    EXPECT_EQ(plan.operations.size(), 1u);
    EXPECT_EQ(plan.remainingText, "[Other]\r\nkeep=me\r\n  [RENAME]  \r\n[Tail]\r\nx=y\r\n");
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

    std::vector<std::uint8_t> shipped;
};

// What placement does with the copy already there; none of these needs a restart, and
// only a file that was missing is recorded.
TEST_F(Versioned, ReplacesOnlyMissingOlderOrUnversionedCopies) {
    const auto higher = ReadBytes(TestModule("higher.dll"));
    const auto noRecord = Bytes("no version record");
    const struct {
        const char* what;
        std::optional<std::vector<std::uint8_t>> existing;
        std::vector<std::uint8_t> delivered;
        int placed;
    } cases[] = {
        {"missing", std::nullopt, shipped, 1},
        {"same version", ReadBytes(TestModule("same.dll")), shipped, 0},
        {"higher version", higher, shipped, 0},
        {"older in the low word", ReadBytes(TestModule("lower_ls.dll")), shipped, 1},
        {"existing without a record", noRecord, shipped, 1},
        {"delivered without a record", higher, noRecord, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(Host(kTarget));
        if (c.existing) WriteFile(kTarget, *c.existing);
        EXPECT_EQ(installer->PlaceVersionedFile(c.delivered, "COMCTL32.DLL", kSys, 1), c.placed);
        EXPECT_EQ(ReadBytes(Host(kTarget)), c.placed ? c.delivered : *c.existing);
        EXPECT_EQ(context->rebootNeeded, 0);
        EXPECT_TRUE(StagingEmpty());
    }
    EXPECT_EQ(log->Text(), "INSTSYSFILE C:\\WINDOWS\\SYSTEM,COMCTL32.DLL,COMPONENT\r\n");
    EXPECT_TRUE(boxes.Texts().empty());
}

TEST_F(Versioned, TargetInUseIsParkedAndScheduledWithShortPathsOnce) {
    PlaceExisting("lower_ls.dll");
    WriteFile("C:\\WINDOWS\\wininit.ini", Bytes("[boot]\r\nshell=x\r\n[rename]\r\nNUL=C:\\OLD.DLL\r\n"));
    auto lock = platform::InUseLock::Hold(Host(kTarget));
    EXPECT_EQ(Place(), 0);
    EXPECT_EQ(context->rebootNeeded, 1);
    EXPECT_EQ(ReadBytes(Host(std::string(kTarget) + ".precpy")), shipped);
    EXPECT_EQ(ReadBytes(Host(kTarget)), ReadBytes(TestModule("lower_ls.dll")));
    const std::string scheduled =
        "[boot]\r\nshell=x\r\n[rename]\r\nNUL=C:\\WINDOWS\\SYSTEM\\COMCTL32.DLL\r\n"
        "C:\\WINDOWS\\SYSTEM\\COMCTL32.DLL=C:\\WINDOWS\\SYSTEM\\COMCTL~1.PRE\r\nNUL=C:\\OLD.DLL\r\n";
    EXPECT_EQ(ReadText("C:\\WINDOWS\\wininit.ini"), scheduled);
    EXPECT_TRUE(StagingEmpty());  // "nwii.tmp" was renamed over wininit.ini
    EXPECT_EQ(log->Count(), 0);
    EXPECT_TRUE(boxes.Texts().empty());

    // Again before the restart, over a pending copy of another run: nothing more is
    // scheduled and the pending copy is kept, but the restart is still needed.
    WriteFile(std::string(kTarget) + ".precpy", Bytes("left from an earlier run"));
    MakeInstaller(payload);
    EXPECT_EQ(Place(), 0);
    EXPECT_EQ(context->rebootNeeded, 1);
    EXPECT_EQ(ReadText("C:\\WINDOWS\\wininit.ini"), scheduled);
    EXPECT_EQ(ReadText(std::string(kTarget) + ".precpy"), "left from an earlier run");
    EXPECT_TRUE(Exists(context->stagingDir + "\\COMCTL32.DLL"));  // the staged copy stays
}

// Without a staging folder nothing is placed (which is said), and the restart file is never
// lost when the new one cannot be written.
TEST_F(Versioned, WithoutAStagingFolderNothingIsPlacedAndTheRestartFileIsKept) {
    fs::remove_all(Host(context->stagingDir));
    EXPECT_EQ(Place(), 0);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Could not copy file."});
    EXPECT_FALSE(Exists(kTarget));
    EXPECT_EQ(log->Count(), 0);

    WriteFile(kTarget, Bytes("old"));
    WriteFile(std::string(kTarget) + ".precpy", Bytes("new"));
    const std::string original = "[boot]\r\n[rename]\r\nNUL=C:\\EARLIER.DLL\r\n";
    WriteFile("C:\\WINDOWS\\wininit.ini", Bytes(original));
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
