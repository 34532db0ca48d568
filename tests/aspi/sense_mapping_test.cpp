// The SG_IO back end: what the kernel reports must reach the request block intact.
#include "platform/aspi/fake_transport.h"
#include "platform/aspi/sg_device.h"
#include "tests/aspi/scsi_request.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace korvane::aspi {
namespace {

struct Fixture {
    FakeTransport* fake = nullptr;
    std::unique_ptr<SgDevice> device;
    Fixture() {
        auto transport = std::make_unique<FakeTransport>();
        fake = transport.get();
        device = std::make_unique<SgDevice>(std::move(transport), "/dev/sr9");
    }
};

TEST(SgDevice, GoodAnswerCopiesDataAndPassesTheCdbUnchanged) {
    Fixture f;
    FakeTransport::Answer answer;
    answer.data = {0x00, 0x12, 0x01, 0x02};
    f.fake->Queue(answer);
    Request r(804, kReadTocLba);
    EXPECT_EQ((std::tuple{f.device->Execute(r.srb), r.srb.SRB_Status}), std::tuple(Completion::Done, SS_COMP));
    EXPECT_EQ(std::vector(r.buffer.begin(), r.buffer.begin() + 5), (std::vector<std::uint8_t>{0x00, 0x12, 0x01, 0x02, 0xEE}));
    EXPECT_EQ(f.fake->ReceivedCdbs(), std::vector<std::vector<std::uint8_t>>{kReadTocLba});
}

TEST(SgDevice, CheckConditionCarriesKeyAscAscqIntactUpToTheBlocksSenseLength) {
    Fixture f;
    // Fixed format, with every byte distinct so an offset error shows.
    FakeTransport::Answer fixed;
    fixed.outcome.scsiStatus = STATUS_CHKCOND;
    fixed.outcome.driverStatus = 0x08;  // DRIVER_SENSE
    fixed.outcome.sense = {0xF0, 0x00, 0x03, 0x01, 0x02, 0x03, 0x04, 0x0A, 0x05, 0x06,
                           0x07, 0x08, 0x11, 0x05, 0x09, 0x0B, 0x0C, 0x0D};
    f.fake->Queue(fixed);
    // Descriptor format: key in byte 1, ASC 2, ASCQ 3.
    FakeTransport::Answer descriptor;
    descriptor.outcome.scsiStatus = STATUS_CHKCOND;
    descriptor.outcome.sense = {0x72, 0x02, 0x3A, 0x01, 0x00, 0x00, 0x00, 0x00};
    f.fake->Queue(descriptor);
    FakeTransport::Answer long18 = fixed;
    long18.outcome.sense = std::vector<std::uint8_t>(18, 0x5A);
    long18.outcome.sense[0] = 0x70;
    f.fake->Queue(long18);

    const std::vector<std::uint8_t> readCd{0xBE, 0x04, 0, 0, 0, 0, 0, 0, 2, 0xF0, 0, 0};
    Request first(2352 * 2, readCd);
    f.device->Execute(first.srb);
    EXPECT_EQ(std::tuple(first.srb.SRB_Status, first.srb.SRB_TargStat, first.Sense()),
              std::tuple(SS_ERR, STATUS_CHKCOND, scsi::Sense{0x03, 0x11, 0x05}));
    for (int i = 0; i < SENSE_LEN; ++i) EXPECT_EQ(first.srb.SenseArea[i], fixed.outcome.sense[i]) << "byte " << i;
    EXPECT_EQ(first.srb.SenseArea[14], 0) << "only SRB_SenseLen bytes are copied";

    Request second(2352 * 2, readCd);
    f.device->Execute(second.srb);
    EXPECT_EQ(std::tuple(second.srb.SRB_Status, second.srb.SenseArea[0], second.Sense()),
              std::tuple(SS_ERR, 0x70, scsi::Sense{0x02, 0x3A, 0x01}));

    Request shortSense(96, {0x12, 0, 0, 0, 96, 0});
    shortSense.srb.SRB_SenseLen = 8;
    f.device->Execute(shortSense.srb);
    EXPECT_EQ(std::tuple(shortSense.srb.SenseArea[7], shortSense.srb.SenseArea[8]), std::tuple(0x5A, 0x00));
}

TEST(SgDevice, HostDriverAndSystemFailuresAreNeverSuccess) {
    const struct {
        ScsiOutcome outcome;
        std::uint8_t status, haStat;
    } cases[] = {
        {{.hostStatus = 0x03, .sense = {}}, SS_ERR, HASTAT_COMMAND_TIMEOUT},
        {{.hostStatus = 0x01, .sense = {}}, SS_NO_DEVICE, HASTAT_SEL_TO},
        {{.driverStatus = 0x06, .sense = {}}, SS_ERR, HASTAT_COMMAND_TIMEOUT},
        {{.systemError = EIO, .sense = {}}, SS_ERR, HASTAT_OK},
        {{.scsiStatus = STATUS_BUSY, .sense = {}}, SS_ERR, HASTAT_OK},
        {{.residual = 2352, .sense = {}}, SS_ERR, HASTAT_DO_DU},  // a short read
    };
    for (const auto& c : cases) {
        Fixture f;
        f.fake->Queue({{}, c.outcome});
        Request r(2352 * 2, {0xD8, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0});
        f.device->Execute(r.srb);
        EXPECT_EQ(std::tuple(r.srb.SRB_Status, r.srb.SRB_HaStat), std::tuple(c.status, c.haStat));
    }
    // A short TOC answer is normal: the drive returns what the disc has.
    Fixture f;
    ScsiOutcome shortToc;
    shortToc.residual = 700;
    f.fake->Queue({{}, shortToc});
    Request toc(804, kReadTocLba);
    f.device->Execute(toc.srb);
    EXPECT_EQ(toc.srb.SRB_Status, SS_COMP);
}

TEST(SgIoTransport, OpenFailureNamesTheDeviceAndTheGroup) {
    EXPECT_EQ(DescribeOpenFailure("/dev/null", EACCES), "permission denied on /dev/null: add your user to the group root "
                                                        "(sudo usermod -aG root \"$USER\", then log in again)");
    EXPECT_EQ(DescribeOpenFailure("/dev/nonexistent-sr", ENOENT), "cannot open /dev/nonexistent-sr: No such file or directory");
    int error = 0;
    EXPECT_EQ(SgIoTransport::Open("/nonexistent/sr0", error), nullptr);
    EXPECT_EQ(error, ENOENT);
}

}  // namespace
}  // namespace korvane::aspi
