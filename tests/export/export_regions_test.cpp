#include "export/export_regions.h"

#include "platform/ui/ui.h"
#include "resources/strings.h"
#include "tests/support/audio_files.h"
#include "tests/support/message_boxes.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

namespace {

using namespace korvane::wavexport;
using namespace korvane::testing;
namespace fs = std::filesystem;

class ExportRegionsTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        track_ = dir_ / "~krvn2.tmp";
        stereo_ = Staircase(588 * 4);
        WriteTrackFile(track_, stereo_);
        // Ten regions of the list; region i starts at overview sample 50 i and is i + 1 long.
        for (std::uint32_t i = 0; i < 10; ++i) regions_.push_back({50 * i, i + 1});
    }
    ExportRequest Request(std::vector<std::size_t> lines, std::string chosen) {
        ExportRequest request;
        request.trackFile = track_;
        request.selectedLines = std::move(lines);
        request.regionAt = [this](std::size_t line) { return regions_.at(line); };
        request.chosenPath = std::move(chosen);
        return request;
    }
    std::vector<std::int16_t> RegionSamples(std::size_t line) const {
        const auto& r = regions_[line];
        return {stereo_.begin() + 2 * 4 * r.startOverview,
                stereo_.begin() + 2 * 4 * (r.startOverview + r.lengthOverview)};
    }
    fs::path track_;
    std::vector<std::int16_t> stereo_;
    std::vector<RegionBounds> regions_;
};

std::vector<ExportError> Errors(const std::vector<RegionExportResult>& results) {
    std::vector<ExportError> errors;
    for (const auto& result : results) errors.push_back(result.outcome.error);
    return errors;
}

TEST_F(ExportRegionsTest, NoneOrOneSelectedRegionWritesNothingOrExactlyTheChosenFile) {
    ScopedMessageBoxes boxes;
    EXPECT_TRUE(ExportSelectedRegions(Request({}, (dir_ / "kick.wav").string())).empty());
    EXPECT_EQ(FileNames(), (std::vector<std::string>{"~krvn2.tmp"}));
    const auto results = ExportSelectedRegions(Request({3}, (dir_ / "kick.wav").string()));
    EXPECT_EQ(Errors(results), std::vector{ExportError::kNone});
    EXPECT_EQ(ReadAll(dir_ / "kick.wav"), ExpectedWav(RegionSamples(3)));
    EXPECT_EQ(FileNames(), (std::vector<std::string>{"kick.wav", "~krvn2.tmp"}));
    EXPECT_TRUE(boxes.Boxes().ShownBoxes().empty());
}

// The number is the region's position among the selected. It goes before the last dot
// of the whole path (MakeNumberedName, whose table has the other cases), which may lie
// in a folder's name.
TEST_F(ExportRegionsTest, SeveralRegionsAreNumberedByPositionBeforeTheLastDotOfThePath) {
    ScopedMessageBoxes boxes;
    for (const char* folder : {"My.Loops", "My1.Loops", "My2.Loops", "My3.Loops"}) fs::create_directory(dir_ / folder);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
    const auto results = ExportSelectedRegions(
        Request({2, 5, 9}, (dir_ / "My.Loops" / "kick").string()),
        [&](std::uint64_t done, std::uint64_t total) {
            progress.emplace_back(done, total);
            return true;
        });
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(ReadAll(dir_ / "My1.Loops" / "kick"), ExpectedWav(RegionSamples(2)));
    EXPECT_EQ(ReadAll(dir_ / "My2.Loops" / "kick"), ExpectedWav(RegionSamples(5)));
    EXPECT_EQ(ReadAll(dir_ / "My3.Loops" / "kick"), ExpectedWav(RegionSamples(9)));
    EXPECT_EQ(results[1].line, 5u);
    EXPECT_EQ(results[1].path, (dir_ / "My2.Loops" / "kick").string());
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), (std::pair<std::uint64_t, std::uint64_t>{4 * (3 + 6 + 10), 4 * (3 + 6 + 10)}));
    for (std::size_t i = 1; i < progress.size(); ++i) EXPECT_LE(progress[i - 1].first, progress[i].first);
    EXPECT_TRUE(boxes.Boxes().ShownBoxes().empty());
}

TEST_F(ExportRegionsTest, AFailingRegionShowsCouldNotWriteFileOnceAndTheExportGoesOn) {
    ScopedMessageBoxes boxes;
    const auto locked = dir_ / "kick2.wav";
    WriteAll(locked, {std::byte{7}});
    fs::permissions(locked, fs::perms::owner_read);
    regions_[9] = {585, 10};  // reaches past the 588 overview samples of the track
    const auto results = ExportSelectedRegions(Request({1, 2, 9, 4}, (dir_ / "kick.wav").string()));
    EXPECT_EQ(Errors(results), (std::vector{ExportError::kNone, ExportError::kTargetNotWritable,
                                            ExportError::kRegionPastEnd, ExportError::kNone}));
    EXPECT_EQ(ReadAll(locked), std::vector<std::byte>{std::byte{7}});
    EXPECT_EQ(ReadAll(dir_ / "kick4.wav"), ExpectedWav(RegionSamples(4)));
    EXPECT_FALSE(fs::exists(dir_ / "kick3.wav"));
    std::vector<std::pair<std::string, std::uint32_t>> shown;
    for (const auto& box : boxes.Shown()) shown.emplace_back(box.text, box.flags);
    const std::pair<std::string, std::uint32_t> couldNotWrite{"could not write file",
                                                             korvane::platform::kMbOk | korvane::platform::kMbIconError};
    EXPECT_EQ(shown, (std::vector{couldNotWrite, couldNotWrite}));
}

// Files are synced and renamed in groups: a file failing at its sync in the middle of a
// group larger than one commit batch replaces nothing, leaves no temporary behind and
// does not hold back the others; leftovers of a dead exporter are removed first, those
// of a running one kept.
TEST_F(ExportRegionsTest, GroupedCommitKeepsEveryGuarantee) {
    ScopedMessageBoxes boxes;
    const pid_t dead = [] {
        const pid_t child = ::fork();
        if (child == 0) ::_exit(0);
        ::waitpid(child, nullptr, 0);
        return child;
    }();
    const auto staleName = ".kick3.wav." + std::to_string(dead) + "-0-1.krvn-part";
    const auto liveName = ".kick3.wav." + std::to_string(::getppid()) + "-0-1.krvn-part";
    WriteAll(dir_ / staleName, {std::byte{1}});
    WriteAll(dir_ / liveName, {std::byte{2}});
    WriteAll(dir_ / "kick270.wav", {std::byte{7}});
    for (std::uint32_t i = 10; i < 300; ++i) regions_.push_back({i, 1});
    std::vector<std::size_t> lines(300);
    for (std::size_t i = 0; i < lines.size(); ++i) lines[i] = i;
    int sinks = 0;
    ExportIo io;
    io.wrapSink = [&sinks](std::unique_ptr<korvane::platform::ByteSink> inner) -> std::unique_ptr<korvane::platform::ByteSink> {
        korvane::platform::SinkFaults faults;
        faults.failSync = ++sinks == 270;
        return std::make_unique<korvane::platform::FaultInjectingSink>(std::move(inner), faults);
    };
    const auto results = ExportSelectedRegions(Request(lines, (dir_ / "kick.wav").string()), {}, io);
    std::vector<ExportError> expected(300, ExportError::kNone);
    expected[269] = ExportError::kWriteFailed;
    ASSERT_EQ(Errors(results), expected);
    for (std::size_t i = 0; i < 300; ++i) {
        if (i != 269) {
            EXPECT_EQ(ReadAll(results[i].path), ExpectedWav(RegionSamples(i))) << i;
        }
    }
    EXPECT_EQ(ReadAll(dir_ / "kick270.wav"), std::vector<std::byte>{std::byte{7}});
    EXPECT_EQ(boxes.Boxes().ShownBoxes().size(), 1u);
    const auto names = FileNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), staleName), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), liveName), 1);
    EXPECT_EQ(names.size(), 300u + 2u);  // the WAV files, the track file, the live leftover
}

}  // namespace
