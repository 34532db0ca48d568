#include "cdda/cd_reader.h"
#include "cdda/drive_list.h"
#include "cdda/track_reader.h"
#include "tests/cdda/reader_fixture.h"
#include "tests/support/test_disc.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace korvane::cdda {
namespace {

using korvane::testing::ReaderRig;
using korvane::testing::TempDir;
using aspi::VirtualDrive;

// Matches a step that raises CDReaderException {code, detail}.
auto Raises(std::int32_t code, std::int32_t detail) {
    return ::testing::Throws<CDReaderException>(::testing::AllOf(::testing::Field(&CDReaderException::code, code),
                                                                 ::testing::Field(&CDReaderException::detail, detail)));
}

class ExecuteTest : public ::testing::Test {
protected:
    void SetUp() override {
        drive = &rig.AddImageDrive(korvane::testing::WriteCueBin(dir.Path(), "disc", {{100}, {60}}), 2);
        reader = &rig.Bind();
        reader->selected = DriveAddress{0, 2, 0};
        drive->ClearCommandLog();  // the manager's own INQUIRY when the drive was added
    }
    TempDir dir;
    ReaderRig rig;
    VirtualDrive* drive = nullptr;
    CDReader* reader = nullptr;
};

TEST_F(ExecuteTest, RetryResendsTheIdenticalBlockUntilItSucceedsAndCancelRaisesCodeTwo) {
    drive->FailNext(0x43, 1);
    rig.boxes->QueueAnswer(platform::kIdRetry);
    reader->ReadTOC();
    EXPECT_EQ(reader->toc[3], 2);
    drive->ClearCommandLog();
    drive->FailNext(0x43, 5);
    rig.boxes->QueueAnswer(platform::kIdRetry);
    rig.boxes->QueueAnswer(platform::kIdCancel);
    EXPECT_THAT([&] { reader->ReadTOC(); }, Raises(2, aspi::SS_ERR));
    // Three failures, three identical prompts; the retried block went out unchanged.
    using Box = std::tuple<std::string, std::string, std::uint32_t>;
    std::vector<Box> shown;
    for (const auto& box : rig.boxes->ShownBoxes()) shown.emplace_back(box.text, box.caption, box.flags);
    const Box prompt{"Device not responding. Try again?\n\nmedium error (sense 03/11/00)", "Korvane",
                     platform::kMbRetryCancel | platform::kMbIconWarning};
    EXPECT_EQ(shown, std::vector<Box>(3, prompt));
    const std::vector<std::uint8_t> readToc{0x43, 0, 0, 0, 0, 0, 0, 0x03, 0x24, 0};
    EXPECT_EQ(drive->CommandLog(), std::vector(2, readToc));
}

// Every TOC read, failed or not, starts from a zeroed buffer.
TEST_F(ExecuteTest, QuietFailuresRaiseAtOnceARequestThatNeverCompletesTimesOutAndTocReadsStartZeroed) {
    // Quiet: no prompt, no second attempt.
    drive->FailNext(0x43, 1, aspi::scsi::kMediumNotPresent);
    reader->quiet = true;
    reader->toc.fill(0x77);
    EXPECT_THROW(reader->ReadTOC(), CDReaderException);
    // Prompts shown, commands sent, the TOC's last track.
    EXPECT_EQ(std::tuple(rig.boxes->ShownBoxes().size(), drive->CommandLog().size(), reader->toc[3]), std::tuple(0u, 1u, 0));

    drive->NeverComplete(0x43, true);
    reader->requestTimeoutMs = 30;
    EXPECT_THAT([&] { reader->ReadTOC(); }, Raises(2, aspi::SS_PENDING));
    // The withdrawn request leaves nothing behind: the next one works normally.
    drive->ClearFaults();
    reader->toc.fill(0x77);
    reader->ReadTOC();
    EXPECT_EQ(reader->toc[3], 2);
    EXPECT_EQ(reader->toc[4 + 3 * 8], 0) << "bytes after the lead-out descriptor are cleared";
}

// The progress dialog's Cancel while the drive does not answer: the pending request is
// taken back, nothing is retried or prompted, and the read ends as cancelled.
TEST_F(ExecuteTest, CancelWhileARequestIsPendingEndsTheReadWithoutPromptOrRetry) {
    drive->NeverComplete(0xBE, true);
    drive->NeverComplete(0xD8, true);
    reader->requestTimeoutMs = 120'000;  // far beyond the few ticks the cancel takes
    std::atomic<bool> cancel{false};
    int ticks = 0;
    ReadControl control;
    control.cancel = &cancel;
    control.whileWaiting = [&] {
        if (++ticks == 3) cancel = true;
    };
    struct Discard final : TrackSink {
        void Write(std::span<const std::uint8_t>) override {}
    } sink;
    EXPECT_EQ(ReadTrackToFiles(*reader, 0, sink, sink, control, ""), ReadOutcome::Cancelled);
    // Ticks, prompts; the cancel flag and the tick were lent for the read only.
    EXPECT_EQ(std::tuple(ticks, rig.boxes->ShownBoxes().size(), reader->cancel, bool(reader->whileWaiting)),
              std::tuple(3, 0u, nullptr, false));
}

std::uint32_t ImmediateFailure(void* block) {
    auto* srb = static_cast<aspi::SRB_ExecSCSICmd*>(block);
    srb->SRB_Status = aspi::SS_NO_DEVICE;
    return aspi::SS_NO_DEVICE;
}
std::uint32_t ImmediateSuccess(void* block) {
    static_cast<aspi::SRB_ExecSCSICmd*>(block)->SRB_Status = aspi::SS_COMP;
    return aspi::SS_COMP;
}
std::uint32_t NoAdapters() { return 0; }

TEST(ExecuteSRB, ImmediateCompletionIsNotWaitedFor) {
    CDReader::Options options;
    options.registry = platform::RegistryStore::Open(":memory:");
    // Nothing ever signals the event: a wait would block for the full time-out.
    CDReader failing(ManagerEntryPoints{&NoAdapters, &ImmediateFailure}, options);
    failing.quiet = true;
    EXPECT_THAT([&] { failing.ReadTOC(); }, Raises(2, aspi::SS_NO_DEVICE));
    CDReader succeeding(ManagerEntryPoints{&NoAdapters, &ImmediateSuccess}, options);
    EXPECT_NO_THROW(succeeding.ReadTOC());
}

TEST(Binding, MissingOrIncompleteManagerRaisesCodeOne) {
    TempDir empty;
    CDReader::Options options;
    options.managerSearchDirs = {empty.Path()};
    options.registry = platform::RegistryStore::Open(":memory:");
    const auto bind = [&] { CDReader reader(options); };
    EXPECT_THAT(bind, Raises(1, 0)) << "bound without a manager";
    options.managerSearchDirs = {std::filesystem::path(KORVANE_BIN_DIR) / "incomplete-aspi"};
    EXPECT_THAT(bind, Raises(1, 0)) << "bound without SendASPI32Command";
    EXPECT_THROW(CDReader(ManagerEntryPoints{&NoAdapters, nullptr}, options), CDReaderException);
    options.managerSearchDirs = {KORVANE_BIN_DIR};
    EXPECT_NO_THROW(CDReader reader(options));
}

// --- Discovery ---------------------------------------------------------------------

class ScanTest : public ::testing::Test {
protected:
    void AddCd(std::uint8_t adapter, std::uint8_t target, std::uint8_t lun, VirtualDrive::Identity id = {}) {
        rig.manager->AddDevice(adapter, target, lun, std::make_unique<VirtualDrive>(nullptr, id, "empty"));
    }
    // An instance key under "Enum\SCSI\<model>\<instance>" with the five identity values
    // (no "ProductId" without `product`).
    void AddInstance(const std::string& model, const std::string& instance, const std::string& vendor,
                     std::optional<std::string> product, const std::string& revision, const std::string& target,
                     const std::string& lun, std::optional<std::string> letter) {
        auto key = rig.registry->CreateKey(platform::RootKey::LocalMachine, "Enum\\SCSI\\" + model + "\\" + instance);
        key.SetString("Manufacturer", vendor);
        if (product) key.SetString("ProductId", *product);
        key.SetString("RevisionLevel", revision);
        key.SetString("SCSITargetID", target);
        key.SetString("SCSILUN", lun);
        if (letter) key.SetString("CurrentDriveLetterAssignment", *letter);
    }
    ReaderRig rig;
};

TEST_F(ScanTest, FindsCdRomsAcrossAdaptersOnlyAndReplacesTheListOnRescan) {
    rig.manager->AddAdapter("zero");
    rig.manager->AddAdapter("one");
    rig.manager->AddDevice(0, 0, 0, std::make_unique<korvane::testing::DiskDevice>());
    AddCd(0, 15, 0);  // target 15 is never probed
    AddCd(1, 3, 0);
    CDReader& reader = rig.Bind();
    reader.quiet = true;
    reader.ScanDrives();
    ASSERT_EQ(reader.drives.Count(), 1);
    const CDDrive& d = reader.drives.At(0);
    // Vendor and product: the drive line below; D: went to the drive at target 15.
    EXPECT_EQ(std::tuple(d.adapter, d.target, d.lun, d.revision, d.letter), std::tuple(1, 3, 0, "1.0 ", 'E'));
    EXPECT_EQ(reader.hostAdapterCount, 2);
    EXPECT_EQ(FormatDriveLine(d), "E:  KORVANE  Virtual CD-ROM  ");
    // A second scan replaces the list.
    const DriveScan scan = RefreshDrives(reader);
    EXPECT_EQ(std::tuple(reader.drives.Count(), scan.error, scan.lines),
              std::tuple(1, std::nullopt, std::vector<std::string>{"E:  KORVANE  Virtual CD-ROM  "}));
}

TEST_F(ScanTest, NoDriveGivesAnEmptyListAndNoException) {
    CDReader& reader = rig.Bind();
    const DriveScan scan = RefreshDrives(reader);
    EXPECT_EQ(std::tuple(scan.error, scan.lines.size(), reader.hostAdapterCount), std::tuple(std::nullopt, 0u, 0));
    EXPECT_NO_THROW(EXPECT_TRUE(FillTrackList(reader, 0).empty()));
    EXPECT_NO_THROW(EXPECT_TRUE(FillTrackList(reader, -1).empty()));
}

TEST_F(ScanTest, MissingRegistryTreeRaisesCodeTwoAndLeavesAnEmptyList) {
    rig.manager->AddAdapter("zero");
    AddCd(0, 1, 0);
    CDReader& reader = rig.Bind(/*synthesizeRegistry=*/false);
    EXPECT_THAT([&] { reader.ScanDrives(); }, Raises(2, 0));
    const DriveScan scan = RefreshDrives(reader);
    EXPECT_EQ(std::tuple(reader.drives.Count(), scan.error.has_value(), scan.lines.size()), std::tuple(0, true, 0u));
}

TEST_F(ScanTest, InquiryFailureAfterCancelEmptiesTheList) {
    rig.manager->AddAdapter("zero");
    AddCd(0, 1, 0);
    CDReader& reader = rig.Bind();
    reader.ScanDrives();
    ASSERT_EQ(reader.drives.Count(), 1);
    static_cast<VirtualDrive*>(rig.manager->DeviceAt(0, 1, 0))->FailNext(0x12, 1);
    rig.boxes->QueueAnswer(platform::kIdCancel);
    EXPECT_THROW(reader.ScanDrives(), CDReaderException);
    EXPECT_EQ(std::tuple(reader.drives.Count(), rig.boxes->ShownBoxes().size()), std::tuple(0, 1u));
}

TEST_F(ScanTest, LetterLookupMatchesTargetAndLunAndNeverGivesALetterTwice) {
    const VirtualDrive::Identity id{"ACME", "CD-9", "2.0"};
    rig.manager->AddAdapter("zero");
    rig.manager->AddAdapter("one");
    AddCd(0, 1, 0, id);
    AddCd(0, 2, 0, id);  // identical model, other target
    AddCd(1, 1, 0, id);  // same target and LUN as the first, other adapter
    AddInstance("ACME_CD-9", "A", "ACME    ", "CD-9            ", "2.0 ", "1", "0", "f");
    AddInstance("ACME_CD-9", "B", "ACME    ", "CD-9            ", "2.0 ", "2", "0", "G");
    CDReader& reader = rig.Bind(false);
    reader.ScanDrives();
    ASSERT_EQ(reader.drives.Count(), 3);
    const auto letters = [&] { return std::tuple(reader.drives.At(0).letter, reader.drives.At(1).letter, reader.drives.At(2).letter); };
    // Lower case is listed in upper case; F belongs to the drive on adapter 0.
    EXPECT_EQ(letters(), std::tuple('F', 'G', 0));
    AddInstance("ACME_CD-9", "C", "ACME    ", "CD-9            ", "2.0 ", "1", "0", "H");
    reader.ScanDrives();
    EXPECT_EQ(letters(), std::tuple('F', 'G', 'H'));
}

TEST_F(ScanTest, EmptyLetterSkipsToTheNextModelKeyAndAbsentValuesNeverMatch) {
    CDReader& reader = rig.Bind(false);
    CDDrive drive;
    drive.vendor = "ACME    ";
    AddInstance("M1", "I1", "ACME    ", "CD-9            ", "2.0 ", "4", "0", "");
    AddInstance("M1", "I2", "ACME    ", "CD-9            ", "2.0 ", "4", "0", "X");  // skipped: same model key
    AddInstance("M2", "I1", "ACME    ", "CD-9            ", "2.0 ", "4", "0", "H");
    EXPECT_EQ(reader.FindDriveLetter(drive, "CD-9            ", "2.0 ", 4, 0), 'H');

    // An instance whose "ProductId" is absent must not match by what an earlier
    // instance held.
    AddInstance("M3", "I1", "ACME    ", "CD-7            ", "2.0 ", "5", "0", "J");
    AddInstance("M3", "I2", "ACME    ", std::nullopt, "2.0 ", "5", "1", "K");
    EXPECT_EQ(reader.FindDriveLetter(drive, "CD-7            ", "2.0 ", 5, 1), 0);

    // The registry type plays no part: a binary value with the same bytes matches.
    AddInstance("M4", "I1", "ACME    ", "CD-5", "1", "6", "0", "Lx");
    const std::string vendor = "ACME    ";
    rig.registry->CreateKey(platform::RootKey::LocalMachine, "Enum\\SCSI\\M4\\I1")
        .SetBinary("Manufacturer", std::span(reinterpret_cast<const std::uint8_t*>(vendor.data()), vendor.size()));
    EXPECT_EQ(reader.FindDriveLetter(drive, "CD-5", "1", 6, 0), 'L');
    EXPECT_EQ(reader.FindDriveLetter(drive, "CD-5", "1", 6, 1), 0);
    CDDrive noLetter;
    noLetter.vendor = "V";
    noLetter.product = "P";
    EXPECT_EQ(FormatDriveLine(noLetter), "") << "letter 0 ends the text";
}

}  // namespace
}  // namespace korvane::cdda
