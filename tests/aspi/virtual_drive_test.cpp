// The virtual drive answers the four commands as a drive would, byte for byte.
#include "platform/aspi/disc_image.h"
#include "platform/aspi/virtual_drive.h"
#include "tests/aspi/scsi_request.h"
#include "tests/support/test_disc.h"

#include <gtest/gtest.h>

#include <cstring>

namespace korvane::aspi {
namespace {

using korvane::testing::TempDir;
using korvane::testing::TestTrack;

std::vector<std::uint8_t> ReadCd(std::uint32_t lba, std::uint32_t count, std::uint8_t type = 0x04) {
    return {0xBE, type, static_cast<std::uint8_t>(lba >> 24), static_cast<std::uint8_t>(lba >> 16),
            static_cast<std::uint8_t>(lba >> 8), static_cast<std::uint8_t>(lba), static_cast<std::uint8_t>(count >> 16),
            static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count), 0xF0, 0, 0};
}

class VirtualDriveTest : public ::testing::Test {
protected:
    void SetUp() override {
        // audio 30, data 20, audio 50 sectors: a data track between audio tracks.
        const auto cue = korvane::testing::WriteCueBin(dir.Path(), "disc", {{30}, {20, true}, {50}});
        drive = std::make_unique<VirtualDrive>(CueBinImage::Open(cue), VirtualDrive::Identity{});
    }
    TempDir dir;
    std::unique_ptr<VirtualDrive> drive;
};

// The identity fields are Describe()'s and the drive scan's to check; here the
// allocation length, which limits the transfer.
TEST_F(VirtualDriveTest, InquiryStopsAtTheAllocationLength) {
    Request small(96, {0x12, 0, 0, 0, 36, 0});
    drive->Execute(small.srb);
    EXPECT_EQ(std::tuple(small.srb.SRB_Status, small.buffer[0], small.buffer[35], small.buffer[36]),
              std::tuple(SS_COMP, DTYPE_CDROM, ' ', 0xEE));
}

TEST_F(VirtualDriveTest, TocFormatZeroLayoutInLbaAndMsf) {
    Request r(804, kReadTocLba);
    drive->Execute(r.srb);
    ASSERT_EQ(r.srb.SRB_Status, SS_COMP);
    const std::vector<std::uint8_t> expected{
        0x00, 0x22, 1, 3,                          // length 2 + 4 * 8, tracks 1-3
        0, 0x10, 1, 0, 0, 0, 0, 0,                 // audio at 0
        0, 0x14, 2, 0, 0, 0, 0, 30,                // data at 30
        0, 0x10, 3, 0, 0, 0, 0, 50,                // audio at 50
        0, 0x10, 0xAA, 0, 0, 0, 0, 100,            // lead-out at 100
        0xEE};                                     // the buffer's fill, untouched
    EXPECT_EQ(std::vector<std::uint8_t>(r.buffer.begin(), r.buffer.begin() + 37), expected);

    Request msf(804, {0x43, 0x02, 0, 0, 0, 0, 0, 0x03, 0x24, 0});
    drive->Execute(msf.srb);
    // Lead-out at LBA 100 = MSF 00:03:25.
    EXPECT_EQ(std::vector<std::uint8_t>(msf.buffer.begin() + 28, msf.buffer.begin() + 36),
              (std::vector<std::uint8_t>{0, 0x10, 0xAA, 0, 0, 0, 3, 25}));
}

TEST_F(VirtualDriveTest, BadReadsFailWithTheRightSense) {
    const std::pair<std::vector<std::uint8_t>, scsi::Sense> cases[] = {
        {ReadCd(90, 11), scsi::kLbaOutOfRange},        // past the lead-out
        {ReadCd(25, 10), scsi::kIllegalModeForTrack},  // runs into the data track
        {{0x5A, 0, 0, 0, 0, 0}, scsi::kInvalidOpcode},
    };
    for (const auto& [cdb, sense] : cases) {
        Request r(24 * 2352, cdb);
        drive->Execute(r.srb);
        EXPECT_EQ(std::tuple(r.srb.SRB_Status, r.Sense()), std::tuple(SS_ERR, sense));
    }
    Request small(2352, ReadCd(0, 2));  // buffer too small: refused, not overrun
    drive->Execute(small.srb);
    EXPECT_EQ(std::tuple(small.srb.SRB_Status, small.srb.SRB_HaStat), std::tuple(SS_ERR, HASTAT_DO_DU));
}

TEST(CueBinImage, MotorolaFilesAreServedLittleEndian) {
    TempDir dir;
    std::vector<std::uint8_t> bytes(2352);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
    std::ofstream(dir.Path() / "be.bin", std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), 2352);
    std::ofstream(dir.Path() / "be.cue") << "FILE \"be.bin\" MOTOROLA\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n";
    auto image = CueBinImage::Open(dir.Path() / "be.cue");
    std::vector<std::uint8_t> out(2352);
    image->ReadSectors(0, 1, out);
    EXPECT_EQ(std::vector(out.begin(), out.begin() + 4), (std::vector<std::uint8_t>{1, 0, 3, 2}));
}

}  // namespace
}  // namespace korvane::aspi
