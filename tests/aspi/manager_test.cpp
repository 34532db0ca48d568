// The manager's address space, asynchronous completion and the drive selection.
#include "platform/aspi/demo_disc.h"
#include "platform/aspi/environment.h"
#include "platform/aspi/manager.h"
#include "platform/aspi/virtual_drive.h"
#include "platform/sync/sync.h"
#include "tests/aspi/scsi_request.h"
#include "tests/support/test_disc.h"

#include <gtest/gtest.h>

namespace korvane::aspi {
namespace {

using korvane::testing::TempDir;

class ManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        cue = korvane::testing::WriteCueBin(dir.Path(), "disc", {{40}, {35}});
        manager.AddAdapter("first");
        manager.AddAdapter("second");
        auto d = std::make_unique<VirtualDrive>(CueBinImage::Open(cue), VirtualDrive::Identity{});
        drive = d.get();
        manager.AddDevice(1, 3, 0, std::move(d));
    }
    TempDir dir;
    std::filesystem::path cue;
    Manager manager;
    VirtualDrive* drive = nullptr;
};

// The drive scan asks only for addresses that exist (ScanTest and korvane-cli's listing
// prove the answers for those); here the others, and an address given twice.
TEST_F(ManagerTest, UnknownAddressesAreRefused) {
    SRB_GDEVBlock g{};
    g.SRB_Cmd = SC_GET_DEV_TYPE;
    g.SRB_HaId = 1;
    g.SRB_Target = 4;
    EXPECT_EQ(manager.Send(&g), SS_NO_DEVICE);
    g.SRB_HaId = 2;
    EXPECT_EQ(manager.Send(&g), SS_INVALID_HA);
    EXPECT_THROW(manager.AddDevice(1, 3, 0, std::make_unique<VirtualDrive>(nullptr, VirtualDrive::Identity{})),
                 std::invalid_argument);
}

// A virtual drive completes at once and signals the event; a request it keeps pending
// is withdrawn by SC_ABORT_SRB, once, and the same block may then be sent again.
TEST_F(ManagerTest, RequestsCompleteAtOnceOrAreWithdrawnByAbort) {
    platform::Event done(true, false);
    Request toc(804, kReadTocLba, 1, 3, &done);
    EXPECT_EQ(manager.Send(&toc.srb), SS_COMP);
    EXPECT_EQ(platform::WaitForSingleObject(done, 0), platform::kWaitObject0);
    EXPECT_EQ(toc.buffer[3], 2);

    drive->NeverComplete(0x43, true);
    done.Reset();
    EXPECT_EQ(manager.Send(&toc.srb), SS_PENDING);
    EXPECT_EQ(platform::WaitForSingleObject(done, 50), platform::kWaitTimeout);
    SRB_Abort abort{};
    abort.SRB_Cmd = SC_ABORT_SRB;
    abort.SRB_HaId = 1;
    abort.SRB_ToAbort = &toc.srb;
    EXPECT_EQ(manager.Send(&abort), SS_COMP);
    EXPECT_EQ(toc.srb.SRB_Status, SS_PENDING);
    EXPECT_EQ(manager.Send(&abort), SS_ABORT_FAIL) << "gone after the first abort";
    drive->NeverComplete(0x43, false);
    EXPECT_EQ(manager.Send(&toc.srb), SS_COMP);
    EXPECT_EQ(platform::WaitForSingleObject(done, 0), platform::kWaitObject0);
}

// A device whose every request throws, answering on the sender's thread or on the worker.
class ThrowingDevice : public Device {
public:
    explicit ThrowingDevice(bool atOnce) : atOnce_(atOnce) {}
    std::uint8_t DeviceType() const noexcept override { return DTYPE_CDROM; }
    std::string Source() const override { return "throwing"; }
    bool AnswersAtOnce() const noexcept override { return atOnce_; }
    Completion Execute(SRB_ExecSCSICmd&) override { throw std::runtime_error("image vanished"); }

private:
    bool atOnce_;
};

// The request fails as a drive error the caller can report, and the manager serves the
// next request instead of ending the program or waiting for ever.
TEST(ManagerFailures, ADeviceThatThrowsFailsOnlyThatRequest) {
    Manager manager;
    manager.AddAdapter("only");
    manager.AddDevice(0, 0, 0, std::make_unique<ThrowingDevice>(true));
    manager.AddDevice(0, 1, 0, std::make_unique<ThrowingDevice>(false));
    for (std::uint8_t target : {0, 1, 0, 1}) {
        SCOPED_TRACE(int(target));
        platform::Event done(true, false);
        Request toc(804, kReadTocLba, 0, target, &done);
        manager.Send(&toc.srb);
        ASSERT_EQ(platform::WaitForSingleObject(done, 10'000), platform::kWaitObject0);
        EXPECT_EQ(std::tuple(toc.srb.SRB_Status, toc.Sense()), std::tuple(SS_ERR, scsi::kInternalTargetFailure));
    }
}

// The order of the drives, the demo disc after the images and a broken sheet's drive
// with its problem are korvane-cli's listing to show (Cli.DrivesAndTracksAreListed...,
// Cli.ABrokenCueSheet...).
TEST(DriveSelection, TheDemoDiscIsPlacedOnceAndABrokenSheetIsNamedInTheDiagnostics) {
    TempDir dir;
    const auto good = korvane::testing::WriteCueBin(dir.Path(), "good", {{10}});
    std::ofstream(dir.Path() / "broken.cue") << "TRACK 01 AUDIO\n";
    DriveSelection sel;
    sel.realDrives = false;
    sel.discList = "demo:" + good.string() + ":" + (dir.Path() / "broken.cue").string();
    auto manager = BuildManager(sel);
    const auto devices = manager->Describe();
    ASSERT_EQ(devices.size(), 3u) << "the demo disc is placed once";
    EXPECT_EQ(std::string(devices[0].source), "demo");
    ASSERT_EQ(manager->Diagnostics().size(), 1u);
    EXPECT_NE(manager->Diagnostics()[0].find("broken.cue"), std::string::npos);
}

// Its table of contents is the application's track list (AppEndToEnd's DemoTrackLines).
TEST(DemoDisc, TracksOfMusicWithPausesSameOnEveryRun) {
    DemoDisc disc;
    DemoDisc again;
    std::vector<std::uint8_t> one(2352 * 75), two(2352 * 75);
    const std::uint32_t start = disc.Toc().tracks[1].startLba;
    disc.ReadSectors(start + 300, 75, one);
    again.ReadSectors(start + 300, 75, two);
    EXPECT_EQ(one, two);
    // Music (not silence) inside the track, digital silence in the pause at its end.
    EXPECT_NE(std::count(one.begin(), one.end(), 0), static_cast<std::ptrdiff_t>(one.size()));
    const std::uint32_t end = disc.Toc().tracks[2].startLba;
    disc.ReadSectors(end - 75, 75, one);
    EXPECT_EQ(std::count(one.begin(), one.end(), 0), static_cast<std::ptrdiff_t>(one.size()));
}

TEST(DriveSelection, RealDrivesComeFromSysfsAndProblemsAreReported) {
    TempDir dir;
    const auto sys = dir.Path() / "sys" / "block";
    const auto dev = dir.Path() / "dev";
    std::filesystem::create_directories(dev);
    for (const char* name : {"sr0", "sr1", "sda"}) {
        std::filesystem::create_directories(sys / name / ".." / ".." / "devices" / "0:0:3:0");
        std::filesystem::create_directories(sys / name);
        std::filesystem::create_directory_symlink("../../devices/0:0:3:0", sys / name / "device");
    }
    std::ofstream(dev / "sr1") << "not a drive";  // opens, but is no SCSI device
    DriveSelection sel;
    sel.sysBlock = sys;
    sel.devDir = dev;
    auto manager = BuildManager(sel);
    EXPECT_EQ(manager->Diagnostics(), (std::vector<std::string>{
                                          "cannot open " + (dev / "sr0").string() + ": No such file or directory",
                                          (dev / "sr1").string() + " does not answer INQUIRY: Inappropriate ioctl for device"}));
    const auto devices = manager->Describe();
    ASSERT_EQ(devices.size(), 1u) << "no usable real drive: the demo disc";
    EXPECT_EQ(std::string(devices[0].source), "demo");
}

}  // namespace
}  // namespace korvane::aspi
