#include "cdda/track_reader.h"

#include "cdda/overview.h"
#include "cdda/track_file.h"
#include "tests/cdda/reader_fixture.h"
#include "tests/support/test_disc.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>

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
        // 48, 49, 24 and 1 sectors, a data track, then 30 more audio sectors.
        const auto cue = korvane::testing::WriteCueBin(images.Path(), "disc",
                                                        {{48}, {49}, {24}, {1}, {20, true}, {30}}, &image);
        drive = &rig.AddImageDrive(cue);
        reader = &rig.Bind();
        reader->quiet = false;
        reader->ScanDrives();
        ASSERT_EQ(reader->drives.Count(), 1);
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

    TempDir images, temp;
    std::filesystem::path tempDir;
    std::vector<std::uint8_t> image;
    ReaderRig rig;
    VirtualDrive* drive = nullptr;
    CDReader* reader = nullptr;
};

// Every line: transfers of 24 sectors but the last, and a private track file named
// "~krvn..." that is the track's audio then its overview; lines count audio tracks only,
// so the fifth lies after the data track.
TEST_F(TrackReaderTest, EachLineReadsItsTrackIn24SectorTransfersIntoAudioThenOverview) {
    const struct {
        std::uint32_t start, sectors;
        std::vector<std::uint32_t> transfers;
    } lines[] = {{0, 48, {24, 24}}, {48, 49, {24, 24, 1}}, {97, 24, {24}}, {121, 1, {1}}, {142, 30, {24, 6}}};
    for (int line = 0; line < 5; ++line) {
        SCOPED_TRACE(line);
        drive->ClearCommandLog();
        const auto file = Read(line);
        EXPECT_EQ(ReadCounts(0xBE), lines[line].transfers);
        const auto bytes = ReadFileBytes(file);
        ASSERT_EQ(bytes.size(), 2646u * lines[line].sectors);
        const auto audio = std::span(bytes).first(2352u * lines[line].sectors);
        EXPECT_TRUE(std::equal(audio.begin(), audio.end(), image.begin() + lines[line].start * 2352));
        const auto overview = std::span(bytes).subspan(OverviewPartOffset(bytes.size()));
        EXPECT_EQ(std::vector<std::uint8_t>(overview.begin(), overview.end()), IndependentOverview(audio));
        struct stat st{};
        ASSERT_EQ(::stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        EXPECT_EQ(file.filename().string().rfind("~krvn", 0), 0u);
        std::filesystem::remove(file);
    }
    EXPECT_TRUE(TempDirEmpty()) << "the overview files are gone";
}

// A track of several write batches: still 24-sector transfers (the last of 1), and a
// file that is the audio then its overview, byte for byte, across the batch ends.
TEST(TrackReaderBatches, ATrackLongerThanABatchReadsByteExact) {
    TempDir images, temp;
    std::vector<std::uint8_t> image;
    const std::uint32_t sectors = 2 * kSectorsPerBatch + 49;
    ReaderRig rig;
    VirtualDrive& drive = rig.AddImageDrive(korvane::testing::WriteCueBin(images.Path(), "long", {{sectors}}, &image));
    CDReader& reader = rig.Bind();
    reader.ScanDrives();
    const auto file = ReadTrackToTrackFile(reader, reader.drives.At(0), 0, temp.Path());
    ASSERT_TRUE(file);
    std::vector<std::uint32_t> counts;
    for (const auto& cdb : drive.CommandLog())
        if (cdb[0] == 0xBE) counts.push_back(cdb[6] << 16 | cdb[7] << 8 | cdb[8]);
    std::vector<std::uint32_t> expected((sectors - 1) / 24, 24);
    expected.push_back(1);
    EXPECT_EQ(counts, expected);
    const auto bytes = ReadFileBytes(*file);
    ASSERT_EQ(bytes.size(), 2646u * sectors);
    const auto audio = std::span(bytes).first(2352u * sectors);
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), image.begin()));
    const auto overview = std::span(bytes).subspan(2352u * sectors);
    EXPECT_EQ(std::vector<std::uint8_t>(overview.begin(), overview.end()), IndependentOverview(audio));
}

TEST_F(TrackReaderTest, RejectedReadCdFallsBackQuietlyToTheVendorCommandForGood) {
    drive->RejectReadCd(true);
    drive->ClearCommandLog();
    const auto bytes = ReadFileBytes(Read(1));
    EXPECT_TRUE(rig.boxes->ShownBoxes().empty());
    EXPECT_EQ(ReadCounts(0xBE), std::vector<std::uint32_t>{24}) << "one probe";
    EXPECT_EQ(ReadCounts(0xD8), (std::vector<std::uint32_t>{24, 24, 1}));
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 49 * 2352, image.begin() + 48 * 2352));
    EXPECT_EQ(reader->ReadCommandFor(reader->selected), ReadCommand::Vendor);
    EXPECT_FALSE(reader->quiet) << "the quiet flag is restored";
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
    EXPECT_EQ(rig.boxes->ShownBoxes().size(), 2u);
    EXPECT_TRUE(TempDirEmpty());
}

TEST_F(TrackReaderTest, ProgressRunsToOneAndCancelRemovesBothFiles) {
    std::vector<double> seen;
    ReadControl control;
    control.onProgress = [&](double f) { seen.push_back(f); };
    std::filesystem::remove(Read(1, control));
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen.front(), 0.0);
    EXPECT_EQ(seen.back(), 1.0);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));

    std::atomic<bool> cancel{false};
    control.cancel = &cancel;
    control.onProgress = [&](double f) {
        if (f > 0) cancel = true;
    };
    EXPECT_EQ(ReadTrackToTrackFile(*reader, reader->drives.At(0), 1, tempDir, control), std::nullopt);
    EXPECT_TRUE(TempDirEmpty());
}

TEST_F(TrackReaderTest, StaleTrackLinesAreRejectedBeforeAnyRead) {
    drive->ClearCommandLog();
    EXPECT_THROW(Read(5), TrackListOutOfDate);
    EXPECT_THROW(Read(-1), TrackListOutOfDate);
    EXPECT_THROW(Read(0, {}, "Track #1 - 0:00:00.65"), TrackListOutOfDate);
    EXPECT_TRUE(ReadCounts(0xBE).empty());
    EXPECT_TRUE(TempDirEmpty());
    // The line as the Track box shows it is accepted.
    std::filesystem::remove(Read(0, {}, "Track #1 - 0:00:00.64"));
}

TEST_F(TrackReaderTest, UncreatableTempFilesReportTheFailure) {
    const auto notADir = temp.Path() / "file";
    std::ofstream(notADir) << "x";
    try {
        ReadTrackToTrackFile(*reader, reader->drives.At(0), 0, notADir / "TEMP");
        FAIL();
    } catch (const TrackFileError& e) {
        EXPECT_NE(std::string(e.what()).find("~krvn"), std::string::npos) << e.what();
    }
}

TEST_F(TrackReaderTest, FailedWriteRemovesBothPartialFiles) {
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

TEST_F(TrackReaderTest, ReadTrackGoesToTheMachinesWindowsTemp) {
    const char* old = std::getenv("KORVANE_ROOT");
    const std::string saved = old ? old : "";
    ::setenv("KORVANE_ROOT", (temp.Path() / "machine").c_str(), 1);
    const auto file = ReadTrackToTrackFile(*reader, reader->drives.At(0), 3, {}, "Track #4 - 0:00:00.01");
    if (old) ::setenv("KORVANE_ROOT", saved.c_str(), 1);
    else ::unsetenv("KORVANE_ROOT");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->parent_path(), temp.Path() / "machine" / "drive_c" / "WINDOWS" / "TEMP");
    EXPECT_EQ(std::filesystem::file_size(*file), 2646u);
}

}  // namespace
}  // namespace korvane::cdda
