// korvane-cli import and export, run as the user runs them.
#include "cdda/track_file.h"
#include "export/normalize.h"
#include "regions/slice_index.h"
#include "tests/support/audio_files.h"
#include "tests/support/run_program.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace korvane::testing;
namespace fs = std::filesystem;

class CliTest : public TempFolderTest {
protected:
    // korvane-cli with its machine under the test's folder; out holds stdout and stderr.
    ProgramRun Cli(const std::vector<std::string>& arguments) {
        ProgramRun run = RunProgram("korvane-cli", arguments, scratch_.Path(),
                                    {"KORVANE_ROOT=" + (dir_ / "root").string(), "KORVANE_REAL_DRIVES=0"});
        run.out += run.err;
        return run;
    }
    fs::path TempDir() const { return dir_ / "root" / "drive_c" / "WINDOWS" / "TEMP"; }
    korvane::testing::TempDir scratch_;  // the runs' captured output, outside dir_
};

// The regions the track view would find in a track file, with its slice index.
std::vector<korvane::Region> SliceLikeTheView(const fs::path& trackFile, double thresholdDb, double releaseMs) {
    const auto bytes = ReadAll(trackFile);
    const auto count = korvane::cdda::OverviewSampleCount(bytes.size());
    std::vector<std::int16_t> overview(count);
    std::memcpy(overview.data(), bytes.data() + korvane::cdda::OverviewPartOffset(bytes.size()), 2 * count);
    std::vector<korvane::Region> regions;
    korvane::SliceIndex::Build(overview, true, 11025, 50).Slice(thresholdDb, releaseMs, 0, regions);
    return regions;
}

TEST_F(CliTest, ImportThenExportWritesTheRegionsTheViewWouldFind) {
    const auto stereo = NoiseBursts(4);
    WriteAll(dir_ / "song.wav", BuildWav({.samples = stereo}));
    const auto imported = Cli({"import", (dir_ / "song.wav").string(), "-o", (dir_ / "song.trk").string()});
    ASSERT_EQ(imported.exitCode, 0) << imported.out;
    EXPECT_NE(imported.out.find(std::to_string(stereo.size() / 2) + " frames"), std::string::npos) << imported.out;

    const auto regions = SliceLikeTheView(dir_ / "song.trk", -30.0, 250.0);
    ASSERT_GE(regions.size(), 3u);
    const auto run = Cli({"export", "--track-file", (dir_ / "song.trk").string(), "--threshold", "-30", "--release", "250",
                          "--regions", "3,1", "-o", (dir_ / "out" / "hit.wav").string()});
    ASSERT_EQ(run.exitCode, 0) << run.out;
    // Lines 1 and 3 in list order, numbered by position among the selected.
    for (auto [file, line] : {std::pair{"hit1.wav", 0}, std::pair{"hit2.wav", 2}}) {
        const auto& r = regions[line];
        std::vector<std::int16_t> expected(stereo.begin() + 8 * r.start, stereo.begin() + 8 * (r.start + r.length));
        EXPECT_EQ(ReadAll(dir_ / "out" / file), ExpectedWav(expected)) << file;
        EXPECT_NE(run.out.find((dir_ / "out" / file).string()), std::string::npos);
    }
    EXPECT_NE(run.out.find("2 regions written to " + (dir_ / "out").string() + "\n"), std::string::npos);
    EXPECT_EQ(FileNames(), (std::vector<std::string>{"out", "song.trk", "song.wav"}));
}

TEST_F(CliTest, ExportFromAWavNormalisesAndLeavesNoTemporaryTrackFile) {
    WriteAll(dir_ / "song.wav", BuildWav({.channels = 1, .samples = NoiseBursts(2)}));
    const auto run = Cli({"export", "--wav", (dir_ / "song.wav").string(), "--normalize", "-o", (dir_ / "x.wav").string()});
    ASSERT_EQ(run.exitCode, 0) << run.out;
    const auto written = ReadAll(dir_ / "x1.wav");
    ASSERT_GT(written.size(), 46u) << run.out;
    // --normalize reached the export: the region, far below full scale in the file, is at it.
    EXPECT_GE(korvane::wavexport::PeakMagnitude(std::span(written).subspan(46)), 32766u);
    EXPECT_TRUE(fs::is_empty(TempDir()));
}

TEST_F(CliTest, BadInputGivesAClearErrorAndWritesNothing) {
    WriteAll(dir_ / "48k.wav", BuildWav({.rateHz = 48000, .samples = NoiseBursts(1), .truncateTo = 1000}));
    auto run = Cli({"import", (dir_ / "48k.wav").string(), "-o", (dir_ / "t.trk").string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("truncated"), std::string::npos) << run.out;
    run = Cli({"export", "--wav", (dir_ / "48k.wav").string(), "-o", (dir_ / "x.wav").string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("truncated"), std::string::npos) << run.out;
    run = Cli({"export", "--demo", "--regions", "99", "-o", (dir_ / "x.wav").string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("no region 99: the track has "), std::string::npos) << run.out;
    run = Cli({"export", "--demo", "--wav", (dir_ / "48k.wav").string(), "-o", (dir_ / "x.wav").string()});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.out.find("korvane-cli: export: give exactly one of"), std::string::npos) << run.out;
    EXPECT_EQ(FileNames(), (std::vector<std::string>{"48k.wav", "root"}));
    EXPECT_TRUE(fs::is_empty(TempDir()));
}

TEST_F(CliTest, AFailingRegionIsReportedAndTheOthersAreWritten) {
    fs::create_directories(dir_ / "out");
    WriteAll(dir_ / "out" / "x2.wav", {std::byte{1}});
    fs::permissions(dir_ / "out" / "x2.wav", fs::perms::owner_read);
    // Without --force the existing x2.wav is named and nothing is written.
    const auto refused = Cli({"export", "--demo", "--regions", "1-3", "-o", (dir_ / "out" / "x.wav").string()});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.out.find("x2.wav exists; use --force"), std::string::npos) << refused.out;
    EXPECT_FALSE(fs::exists(dir_ / "out" / "x1.wav"));
    // With it, the read-only one fails and the others are written: finished with problems.
    const auto run = Cli({"export", "--demo", "--regions", "1-3", "--force", "-o", (dir_ / "out" / "x.wav").string()});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.out.find("could not write file"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("2 regions written to " + (dir_ / "out").string() + ", 1 failed"), std::string::npos);
    EXPECT_TRUE(fs::exists(dir_ / "out" / "x1.wav"));
    EXPECT_TRUE(fs::exists(dir_ / "out" / "x3.wav"));
    EXPECT_EQ(ReadAll(dir_ / "out" / "x2.wav"), std::vector<std::byte>{std::byte{1}});
    EXPECT_TRUE(fs::is_empty(TempDir()));  // the demo's track file is gone
}

// The sampler flags, as the user runs them on the demo disc.
TEST_F(CliTest, SamplerFlagsWriteTheKitOrRefuseBadInputWithoutWriting) {
    const std::string out = (dir_ / "out" / "kit.wav").string();
    auto run = Cli({"export", "--demo", "-o", out, "--sfz", "--midi", "--key", "120"});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.out.find("past key 127"), std::string::npos) << run.out;
    EXPECT_FALSE(fs::exists(dir_ / "out"));
    run = Cli({"export", "--demo", "-o", out, "--trim", "--zero-cross", "5", "--smpl", "--sfz", "--midi", "--pad"});
    ASSERT_EQ(run.exitCode, 0) << run.out;
    for (const char* name : {"kit01.wav", "kit.sfz", "kit.mid"}) EXPECT_TRUE(fs::exists(dir_ / "out" / name)) << name;
    EXPECT_NE(ReadText(dir_ / "out" / "kit.sfz").find("sample=kit01.wav lokey=36"), std::string::npos);
}

}  // namespace
