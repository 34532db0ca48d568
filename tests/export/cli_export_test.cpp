// korvane-cli import and export, run as the user runs them.
#include "cdda/track_file.h"
#include "regions/auto_slicer.h"
#include "tests/support/audio_files.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <cstdlib>

namespace {

using namespace korvane::testing;
namespace fs = std::filesystem;

struct CliRun {
    int exitCode;
    std::string output;  // stdout and stderr
};

class CliTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        ::setenv("KORVANE_ROOT", (dir_ / "root").c_str(), 1);
    }
    CliRun Cli(const std::string& arguments) {
        const std::string command = std::string(KORVANE_BIN_DIR) + "/korvane-cli " + arguments + " 2>&1";
        FILE* pipe = ::popen(command.c_str(), "r");
        EXPECT_NE(pipe, nullptr);
        std::string output;
        char buffer[4096];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
        const int status = ::pclose(pipe);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
    }
    static std::string Quoted(const fs::path& p) {
        std::string out(1, '\'');
        out.append(p.string()).append(1, '\'');
        return out;
    }
    fs::path TempDir() const { return dir_ / "root" / "drive_c" / "WINDOWS" / "TEMP"; }
};

// A music-like stereo signal: bursts separated by silences of one second.
std::vector<std::int16_t> Bursts(std::size_t bursts) {
    std::vector<std::int16_t> stereo;
    std::uint32_t seed = 77;
    for (std::size_t b = 0; b < bursts; ++b) {
        for (std::size_t f = 0; f < 44100 / 2; ++f) {
            seed = seed * 1664525u + 1013904223u;
            const auto s = static_cast<std::int16_t>(static_cast<std::int32_t>(seed >> 16) % (4000 * (b + 1)));
            stereo.insert(stereo.end(), {s, static_cast<std::int16_t>(-s / 2)});
        }
        stereo.resize(stereo.size() + 2 * 44100, 0);
    }
    return stereo;
}

// The regions the track view would find in a track file, computed here with the slicer.
std::vector<korvane::Region> SliceLikeTheView(const fs::path& trackFile, double thresholdDb, double releaseMs) {
    const auto bytes = ReadAll(trackFile);
    const auto count = korvane::cdda::OverviewSampleCount(bytes.size());
    std::vector<std::int16_t> overview(count);
    std::memcpy(overview.data(), bytes.data() + korvane::cdda::OverviewPartOffset(bytes.size()), 2 * count);
    korvane::AutoSlicer slicer;
    slicer.samples = overview.data();
    slicer.sampleCount = static_cast<std::uint32_t>(count);
    slicer.thresholdDb = thresholdDb;
    slicer.releaseMs = releaseMs;
    slicer.averagingWindow = 50;
    slicer.Slice(1, 11025, 0);
    std::vector<korvane::Region> regions;
    for (std::int32_t i = 0; i < slicer.regions.Count(); ++i) regions.push_back(slicer.regions.At(i));
    return regions;
}

TEST_F(CliTest, ImportThenExportWritesTheRegionsTheViewWouldFind) {
    const auto stereo = Bursts(4);
    WriteAll(dir_ / "song.wav", BuildWav({.samples = stereo}));
    const auto imported = Cli("import " + Quoted(dir_ / "song.wav") + " -o " + Quoted(dir_ / "song.trk"));
    ASSERT_EQ(imported.exitCode, 0) << imported.output;
    EXPECT_NE(imported.output.find(std::to_string(stereo.size() / 2) + " frames"), std::string::npos) << imported.output;

    const auto regions = SliceLikeTheView(dir_ / "song.trk", -30.0, 250.0);
    ASSERT_GE(regions.size(), 3u);
    const auto run = Cli("export --track-file " + Quoted(dir_ / "song.trk") +
                         " --threshold -30 --release 250 --regions 3,1 -o " + Quoted(dir_ / "out" / "hit.wav"));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    // Lines 1 and 3 in list order, numbered by position among the selected.
    for (auto [file, line] : {std::pair{"hit1.wav", 0}, std::pair{"hit2.wav", 2}}) {
        const auto& r = regions[line];
        std::vector<std::int16_t> expected(stereo.begin() + 8 * r.start, stereo.begin() + 8 * (r.start + r.length));
        EXPECT_EQ(ReadAll(dir_ / "out" / file), ExpectedWav(expected)) << file;
        EXPECT_NE(run.output.find((dir_ / "out" / file).string()), std::string::npos);
    }
    EXPECT_NE(run.output.find("2 regions written to " + (dir_ / "out").string() + "\n"), std::string::npos);
    EXPECT_EQ(FileNames(), (std::vector<std::string>{"out", "song.trk", "song.wav"}));
}

TEST_F(CliTest, ExportFromAWavLeavesNoTemporaryTrackFile) {
    WriteAll(dir_ / "song.wav", BuildWav({.channels = 1, .samples = Bursts(2)}));
    const auto run = Cli("export --wav " + Quoted(dir_ / "song.wav") + " --normalize -o " + Quoted(dir_ / "x.wav"));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(fs::exists(dir_ / "x1.wav")) << run.output;
    EXPECT_TRUE(fs::is_empty(TempDir()));
}

TEST_F(CliTest, TheDemoTrackIsSlicedAndExportedIntoANewFolder) {
    const auto run = Cli("export --demo -o " + Quoted(dir_ / "demo" / "loop.wav"));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(fs::exists(dir_ / "demo" / "loop1.wav")) << run.output;
    EXPECT_TRUE(fs::exists(dir_ / "demo" / "loop2.wav")) << run.output;
    EXPECT_TRUE(fs::is_empty(TempDir()));
}

TEST_F(CliTest, BadInputGivesAClearErrorAndWritesNothing) {
    WriteAll(dir_ / "48k.wav", BuildWav({.rateHz = 48000, .samples = Bursts(1), .truncateTo = 1000}));
    auto run = Cli("import " + Quoted(dir_ / "48k.wav") + " -o " + Quoted(dir_ / "t.trk"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("truncated"), std::string::npos) << run.output;
    run = Cli("export --wav " + Quoted(dir_ / "48k.wav") + " -o " + Quoted(dir_ / "x.wav"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("truncated"), std::string::npos) << run.output;
    run = Cli("export --demo --regions 99 -o " + Quoted(dir_ / "x.wav"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("no region 99: the track has "), std::string::npos) << run.output;
    run = Cli("export --demo --wav " + Quoted(dir_ / "48k.wav") + " -o " + Quoted(dir_ / "x.wav"));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.output.find("korvane-cli: export: give exactly one of"), std::string::npos) << run.output;
    EXPECT_EQ(FileNames(), (std::vector<std::string>{"48k.wav", "root"}));
    EXPECT_TRUE(fs::is_empty(TempDir()));
}

TEST_F(CliTest, AFailingRegionIsReportedAndTheOthersAreWritten) {
    fs::create_directories(dir_ / "out");
    WriteAll(dir_ / "out" / "x2.wav", {std::byte{1}});
    fs::permissions(dir_ / "out" / "x2.wav", fs::perms::owner_read);
    // Without --force the existing x2.wav is named and nothing is written.
    const auto refused = Cli("export --demo --regions 1-3 -o " + Quoted(dir_ / "out" / "x.wav"));
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.output.find("x2.wav exists; use --force"), std::string::npos) << refused.output;
    EXPECT_FALSE(fs::exists(dir_ / "out" / "x1.wav"));
    // With it, the read-only one fails and the others are written: finished with problems.
    const auto run = Cli("export --demo --regions 1-3 --force -o " + Quoted(dir_ / "out" / "x.wav"));
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.output.find("could not write file"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("2 regions written to " + (dir_ / "out").string() + ", 1 failed"), std::string::npos);
    EXPECT_TRUE(fs::exists(dir_ / "out" / "x1.wav"));
    EXPECT_TRUE(fs::exists(dir_ / "out" / "x3.wav"));
    EXPECT_EQ(ReadAll(dir_ / "out" / "x2.wav"), std::vector<std::byte>{std::byte{1}});
}

}  // namespace
