#include "cdda/track_reader.h"

#include "cdda/overview.h"
#include "cdda/track_file.h"
#include "tests/cdda/reader_fixture.h"
#include "tests/support/scoped_env.h"
#include "tests/support/test_disc.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sys/resource.h>

namespace korvane::cdda {
namespace {

using korvane::testing::ReaderRig;
using korvane::testing::TempDir;
using aspi::VirtualDrive;

using korvane::testing::ReadFileBytes;
using korvane::testing::IndependentOverview;

class TrackReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        // 48, 49, 24 and 1 sectors, a data track, then a track longer than two write batches.
        const auto cue = korvane::testing::WriteCueBin(images.Path(), "disc",
                                                        {{48}, {49}, {24}, {1}, {20, true}, {kLongTrack}}, &image);
        drive = &rig.AddImageDrive(cue);
        reader = &rig.Bind();
        reader->quiet = false;
        reader->ScanDrives();
        tempDir = temp.Path() / "WINDOWS" / "TEMP";
        std::filesystem::create_directories(tempDir);
    }
    std::vector<std::uint32_t> ReadCounts(std::uint8_t opcode) const {
        std::vector<std::uint32_t> counts;
        for (const auto& cdb : drive->CommandLog()) {
            if (cdb[0] != opcode) continue;
            counts.push_back(opcode == 0xBE ? (cdb[6] << 16 | cdb[7] << 8 | cdb[8])
                                            : static_cast<std::uint32_t>(cdb[6] << 24 | cdb[7] << 16 | cdb[8] << 8 | cdb[9]));
        }
        return counts;
    }
    bool TempDirEmpty() const { return std::filesystem::is_empty(tempDir); }
    std::filesystem::path Read(int line, const ReadControl& control = {}, std::string_view expected = {}) {
        auto path = ReadTrackToTrackFile(*reader, reader->drives.At(0), line, tempDir, control, expected);
        if (!path) throw std::runtime_error("cancelled");
        return *path;
    }

    static constexpr std::uint32_t kLongTrack = 2 * kSectorsPerBatch + 49;
    TempDir images, temp;
    std::filesystem::path tempDir;
    std::vector<std::uint8_t> image;
    ReaderRig rig;
    VirtualDrive* drive = nullptr;
    CDReader* reader = nullptr;
};

// Every line: transfers of 24 sectors but the last, and a private track file named
// "~krvn..." that is the track's audio then its overview, byte for byte also across the
// write batches of the long track; lines count audio tracks only, so the fifth lies after
// the data track. A stale line is refused before any read.
TEST_F(TrackReaderTest, EachLineReadsItsTrackIn24SectorTransfersIntoAudioThenOverviewAndAStaleLineIsRefused) {
    const struct {
        std::uint32_t start, sectors;
    } lines[] = {{0, 48}, {48, 49}, {97, 24}, {121, 1}, {142, kLongTrack}};
    for (int line = 0; line < 5; ++line) {
        SCOPED_TRACE(line);
        drive->ClearCommandLog();
        const auto file = Read(line);
        std::vector<std::uint32_t> transfers(lines[line].sectors / 24, 24);
        if (lines[line].sectors % 24 != 0) transfers.push_back(lines[line].sectors % 24);
        EXPECT_EQ(ReadCounts(0xBE), transfers);
        const auto audio = std::span(image).subspan(lines[line].start * 2352, 2352u * lines[line].sectors);
        std::vector<std::uint8_t> expected(audio.begin(), audio.end());
        const auto overview = IndependentOverview(audio);
        expected.insert(expected.end(), overview.begin(), overview.end());
        EXPECT_EQ(ReadFileBytes(file), expected);
        EXPECT_EQ(std::tuple(std::filesystem::status(file).permissions(), file.filename().string().rfind("~krvn", 0)),
                  std::tuple(std::filesystem::perms::owner_read | std::filesystem::perms::owner_write, 0u));
        std::filesystem::remove(file);
    }

    // Past the list, before it, or no longer the text the Track box shows.
    drive->ClearCommandLog();
    EXPECT_THROW(Read(5), TrackListOutOfDate);
    EXPECT_THROW(Read(-1), TrackListOutOfDate);
    EXPECT_THROW(Read(0, {}, "Track #1 - 0:00:00.65"), TrackListOutOfDate);
    EXPECT_TRUE(ReadCounts(0xBE).empty());
    EXPECT_TRUE(TempDirEmpty()) << "the overview files are gone";
    // The line as the Track box shows it is accepted.
    std::filesystem::remove(Read(0, {}, "Track #1 - 0:00:00.64"));
}

TEST_F(TrackReaderTest, RejectedReadCdFallsBackQuietlyToTheVendorCommandForGood) {
    drive->RejectReadCd(true);
    drive->ClearCommandLog();
    const auto bytes = ReadFileBytes(Read(1));
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 49 * 2352, image.begin() + 48 * 2352));
    // No prompt; one READ CD probe, then the vendor command, kept; the quiet flag restored.
    EXPECT_EQ(std::tuple(rig.boxes->ShownBoxes().size(), ReadCounts(0xBE), ReadCounts(0xD8), reader->ReadCommandFor(reader->selected), reader->quiet),
              std::tuple(0u, std::vector<std::uint32_t>{24}, std::vector<std::uint32_t>{24, 24, 1}, ReadCommand::Vendor, false));
    drive->RejectReadCd(false);
    drive->ClearCommandLog();
    Read(0);
    EXPECT_TRUE(ReadCounts(0xBE).empty()) << "the choice holds for the rest of the run";
}

TEST_F(TrackReaderTest, LaterReadFailureIsOfferedForRetryAndCancelMidTrackRemovesTheFile) {
    std::filesystem::remove(Read(2));  // the probe succeeds
    EXPECT_EQ(reader->ReadCommandFor(reader->selected), ReadCommand::ReadCd);
    drive->FailNext(0xBE, 1);
    rig.boxes->QueueAnswer(platform::kIdRetry);
    std::filesystem::remove(Read(0));
    EXPECT_EQ(rig.boxes->ShownBoxes().size(), 1u);

    // The TOC read and the first transfer pass; the second transfer fails, the user cancels.
    int transfers = 0;
    ReadControl control;
    control.onProgress = [&](double fraction) {
        if (fraction > 0 && ++transfers == 1) drive->FailNext(0xBE, 1);
    };
    rig.boxes->QueueAnswer(platform::kIdCancel);
    EXPECT_THROW(Read(1, control), CDReaderException);
    EXPECT_EQ(std::tuple(rig.boxes->ShownBoxes().size(), TempDirEmpty()), std::tuple(2u, true));
}

TEST_F(TrackReaderTest, ProgressRunsToOneAndCancelRemovesBothFiles) {
    std::vector<double> seen;
    ReadControl control;
    control.onProgress = [&](double f) { seen.push_back(f); };
    std::filesystem::remove(Read(1, control));
    EXPECT_EQ(seen, (std::vector<double>{0.0, 24.0 / 49, 48.0 / 49, 1.0})) << "one step a transfer";

    std::atomic<bool> cancel{false};
    control.cancel = &cancel;
    control.onProgress = [&](double f) {
        if (f > 0) cancel = true;
    };
    EXPECT_EQ(ReadTrackToTrackFile(*reader, reader->drives.At(0), 1, tempDir, control), std::nullopt);
    EXPECT_TRUE(TempDirEmpty());
}

// Track files go to the machine's Windows TEMP; where they cannot be made, the name says
// so; a failed write removes both partial files.
TEST_F(TrackReaderTest, TrackFilesGoToTheMachinesWindowsTempAndFailuresToMakeOrWriteThemAreReported) {
    const korvane::testing::ScopedEnv root("KORVANE_ROOT", (temp.Path() / "machine").c_str());
    const auto file = ReadTrackToTrackFile(*reader, reader->drives.At(0), 3, {}, "Track #4 - 0:00:00.01");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->parent_path(), temp.Path() / "machine" / "drive_c" / "WINDOWS" / "TEMP");
    EXPECT_EQ(std::filesystem::file_size(*file), 2646u);

    const auto notADir = temp.Path() / "file";
    std::ofstream(notADir) << "x";
    EXPECT_THAT([&] { (void)ReadTrackToTrackFile(*reader, reader->drives.At(0), 0, notADir / "TEMP"); },
                ::testing::ThrowsMessage<TrackFileError>(::testing::HasSubstr("~krvn")));

    struct rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 100'000;  // less than the 49-sector track's audio
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(Read(1), TrackFileError);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_TRUE(TempDirEmpty());
}

}  // namespace
}  // namespace korvane::cdda
