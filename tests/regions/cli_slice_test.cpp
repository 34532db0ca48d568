// End-to-end: runs the built korvane-cli on the demo signal and on generated
// good and broken WAV files.
#include "cdda/overview.h"
#include "regions/auto_slicer.h"
#include "regions/demo_signal.h"
#include "wav_builder.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace korvane {
namespace {

namespace fs = std::filesystem;
using test::WavBuilder;

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class CliSlice : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("korvane-cli-slice-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    std::streamsize(bytes.size()));
        return path.string();
    }

    CliRun Cli(const std::string& args) {
        const fs::path out = dir_ / "stdout.txt";
        const fs::path err = dir_ / "stderr.txt";
        const std::string command = std::string("'") + KORVANE_BIN_DIR + "/korvane-cli' slice " + args +
                                    " >'" + out.string() + "' 2>'" + err.string() + "'";
        const int status = std::system(command.c_str());
        CliRun run;
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.out = Slurp(out);
        run.err = Slurp(err);
        return run;
    }

    static std::string Slurp(const fs::path& path) {
        std::ifstream in(path);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path dir_;
};

// A path quoted for the shell (test paths hold no quotes).
std::string Quoted(const std::string& path) {
    std::string quoted(1, '\'');
    quoted.append(path).push_back('\'');
    return quoted;
}

// The region rows of the listing: number, start, length.
std::vector<Region> Rows(const std::string& out) {
    std::vector<Region> regions;
    std::istringstream lines(out);
    std::string line;
    int expectedNumber = 1;
    while (std::getline(lines, line)) {
        int number = 0;
        unsigned start = 0, length = 0;
        char from[32], to[32];
        if (std::sscanf(line.c_str(), "%d %u %u %31s %31s", &number, &start, &length, from, to) == 5) {
            EXPECT_EQ(number, expectedNumber++);
            regions.push_back({start, length, 0});
        }
    }
    return regions;
}

std::vector<Region> Expected(const std::vector<int16_t>& s, int mono, uint32_t rate, double db,
                             double ms) {
    AutoSlicer slicer;
    slicer.samples = s.data();
    slicer.sampleCount = uint32_t(s.size());
    slicer.thresholdDb = db;
    slicer.releaseMs = ms;
    slicer.averagingWindow = 50;
    slicer.Slice(mono, rate, 0);
    std::vector<Region> out;
    for (int32_t i = 0; i < slicer.regions.Count(); ++i) out.push_back(slicer.regions.At(i));
    return out;
}

std::vector<int16_t> Bursts(std::size_t frames, int channels, uint32_t rate) {
    std::vector<int16_t> s(frames * std::size_t(channels), 0);
    for (std::size_t f = 0; f < frames; ++f) {
        const bool loud = (f / (rate / 2)) % 3 == 1;  // 0.5 s on, 1 s off
        for (int c = 0; c < channels; ++c) {
            s[f * std::size_t(channels) + std::size_t(c)] = loud ? int16_t((f % 20) * 1000 - 9000) : 3;
        }
    }
    return s;
}

TEST_F(CliSlice, DemoListsTheRegionsTheSlicerFinds) {
    const CliRun run = Cli("--demo --seconds 30 --threshold -35.5 --release 120");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto expected = Expected(demo::MakeDemoSignal({1, 11025, 1, 30.0}), 1, 11025, -35.5, 120);
    ASSERT_GE(expected.size(), 3u);
    EXPECT_EQ(Rows(run.out), expected);
    EXPECT_NE(run.out.find("regions: " + std::to_string(expected.size())), std::string::npos);
    EXPECT_NE(run.out.find("11025 Hz mono"), std::string::npos);
}

TEST_F(CliSlice, DefaultsAreMinus30DbAnd250Ms) {
    const CliRun run = Cli("--demo --seconds 20 --seed 4");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Rows(run.out), Expected(demo::MakeDemoSignal({4, 11025, 1, 20.0}), 1, 11025, -30, 250));
}

// Files are sliced on the overview of their CD audio, as the track view slices a track.
TEST_F(CliSlice, SlicesTheOverviewOfTheConvertedAudio) {
    auto stereo = Bursts(44100 * 4, 2, 44100);
    const std::string stereoPath = Write(
        "stereo.wav",
        WavBuilder().Chunk("fmt ", WavBuilder::Format(1, 2, 44100, 16)).Chunk("data", WavBuilder::Pcm(stereo)).Bytes());
    const CliRun s = Cli(Quoted(stereoPath));
    ASSERT_EQ(s.exitCode, 0) << s.err;
    stereo.resize((stereo.size() + 1175) / 1176 * 1176, 0);  // the last sector completed with silence
    std::vector<int16_t> overview(cdda::OverviewSamplesFor(stereo.size()));
    cdda::DownmixOverview(stereo, overview);
    const auto expected = Expected(overview, 1, 11025, -30, 250);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(Rows(s.out), expected);

    // 8 kHz mono is resampled: the bursts keep their places (the second at 2 s).
    const std::string monoPath =
        Write("mono.wav", WavBuilder()
                              .Chunk("fmt ", WavBuilder::Format(1, 1, 8000, 16))
                              .Chunk("LIST", {'I', 'N', 'F', 'O', 'x'})
                              .Chunk("data", WavBuilder::Pcm(Bursts(8000 * 6, 1, 8000)))
                              .Bytes());
    const CliRun m = Cli(Quoted(monoPath) + " --threshold -40 --release 300");
    ASSERT_EQ(m.exitCode, 0) << m.err;
    const auto rows = Rows(m.out);
    ASSERT_EQ(rows.size(), 4u) << m.out;
    EXPECT_NEAR(rows[1].start, 2 * 11025, 40);
}

TEST_F(CliSlice, BrokenInputGivesAClearErrorAndNoListing) {
    const auto pcm = WavBuilder::Pcm(Bursts(8000, 1, 8000));
    struct Case {
        std::string name;
        std::vector<uint8_t> bytes;
        std::string message;
    };
    const std::string text = "just some text, not audio\n";
    const std::vector<Case> cases = {
        {"empty.wav", {}, "not an audio file"},
        {"text.wav", {text.begin(), text.end()}, "not an audio file"},
        {"cut.wav",
         WavBuilder().Chunk("fmt ", WavBuilder::Format(1, 1, 8000, 16)).Header("data", 50000).Raw(pcm).Bytes(),
         "truncated"},
        {"nodata.wav", WavBuilder().Chunk("fmt ", WavBuilder::Format(1, 1, 8000, 16)).Bytes(), "No 'data' chunk"},
    };
    for (const Case& c : cases) {
        const CliRun run = Cli(Quoted(Write(c.name, c.bytes)));
        EXPECT_NE(run.exitCode, 0) << c.name;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.name << ": " << run.err;
        EXPECT_NE(run.err.find(c.name), std::string::npos) << c.name << ": " << run.err;
        EXPECT_TRUE(Rows(run.out).empty()) << c.name;
    }
    const CliRun missing = Cli(Quoted((dir_ / "absent.wav").string()));
    EXPECT_NE(missing.exitCode, 0);
    EXPECT_NE(missing.err.find("cannot open"), std::string::npos) << missing.err;
}

TEST_F(CliSlice, OutOfRangeOrMissingParametersAreRefused) {
    for (const std::string args :
         {"--demo --threshold 0.5", "--demo --threshold -96.1", "--demo --release 4", "--demo --release 2501",
          "--demo --threshold loud", "--demo --window 0", "", "--demo somefile.wav", "--seed 3"}) {
        const CliRun run = Cli(args);
        EXPECT_NE(run.exitCode, 0) << args;
        EXPECT_FALSE(run.err.empty()) << args;
        EXPECT_TRUE(Rows(run.out).empty()) << args;
    }
    // The ends of the ranges are accepted.
    EXPECT_EQ(Cli("--demo --seconds 5 --threshold -96 --release 5").exitCode, 0);
    EXPECT_EQ(Cli("--demo --seconds 5 --threshold 0 --release 2500").exitCode, 0);
}

}  // namespace
}  // namespace korvane
