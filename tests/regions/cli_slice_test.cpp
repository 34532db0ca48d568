// What only korvane-cli slice does: its defaults, its listing, its parameter checks and
// its errors on broken input; the regions it lists are the slice oracle's, for the demo
// signal and for the overview of an audio file's CD audio.
#include "cdda/overview.h"
#include "regions/demo_signal.h"
#include "slice_oracle.h"
#include "tests/support/audio_files.h"
#include "tests/support/run_program.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace korvane {
namespace {

using testing::BuildWav;

struct Row {
    unsigned start, length;
    std::string from;
};

// The region rows of the listing, numbered from 1.
std::vector<Row> Rows(const std::string& out) {
    static const std::regex row(R"(^\s*(\d+)\s+(\d+)\s+(\d+)\s+(\S+)\s+(\S+)\s+(\S+)\s*$)");
    std::vector<Row> rows;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (!std::regex_match(line, m, row)) continue;
        EXPECT_EQ(std::stoul(m[1]), rows.size() + 1) << line;
        rows.push_back({unsigned(std::stoul(m[2])), unsigned(std::stoul(m[3])), m[4]});
    }
    return rows;
}

// What the listing must hold: the oracle's regions of a mono 11025 Hz buffer, window 50.
std::vector<Region> Expected(const std::vector<int16_t>& s, double db, double ms) {
    return test::OracleSlice(test::AverageOf(s, true, 11025, 50), db, ms, 0);
}

class CliSlice : public ::testing::Test {
protected:
    testing::ProgramRun Cli(std::vector<std::string> args) {
        args.insert(args.begin(), "slice");
        return testing::RunProgram("korvane-cli", args, dir_.Path());
    }
    std::string Write(const std::string& name, const std::vector<std::byte>& bytes) {
        const auto path = dir_.Path() / name;
        testing::WriteAll(path, bytes);
        return path.string();
    }
    testing::TempDir dir_;
};

// Stereo CD audio: 0.5 s bursts every 1.5 s.
std::vector<int16_t> Bursts(std::size_t frames) {
    std::vector<int16_t> s;
    for (std::size_t f = 0; f < frames; ++f) s.insert(s.end(), 2, (f / 22050) % 3 == 1 ? int16_t((f % 20) * 1000 - 9000) : 3);
    return s;
}

// The listing holds exactly the expected regions, each with its start as m:ss.ss.
void ExpectListing(const testing::ProgramRun& run, const std::vector<Region>& expected) {
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto rows = Rows(run.out);
    ASSERT_EQ(rows.size(), expected.size()) << run.out;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].start, expected[i].start);
        EXPECT_EQ(rows[i].length, expected[i].length);
        const long hundredths = std::lround(rows[i].start / 110.25);
        char clock[32];
        std::snprintf(clock, sizeof clock, "%ld:%02ld.%02ld", hundredths / 6000, hundredths / 100 % 60, hundredths % 100);
        EXPECT_EQ(rows[i].from, clock);
    }
    EXPECT_NE(run.out.find("regions: " + std::to_string(expected.size())), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("11025 Hz mono"), std::string::npos) << run.out;
}

// The demo signal of the seed and length asked for, and a file on the overview of its CD
// audio (as the track view slices a track), both at the default settings.
TEST_F(CliSlice, ListsTheRegionsOfTheDemoAndOfAFilesOverview) {
    const auto demo = demo::MakeDemoSignal({4, 11025, 1, 20.0});
    ASSERT_GE(Expected(demo, -36, 750).size(), 2u);
    ExpectListing(Cli({"--demo", "--seconds", "20", "--seed", "4"}), Expected(demo, -36, 750));

    auto stereo = Bursts(44100 * 4);
    const auto run = Cli({Write("stereo.wav", BuildWav({.samples = stereo}))});
    stereo.resize((stereo.size() + 1175) / 1176 * 1176, 0);  // the last sector completed with silence
    std::vector<int16_t> overview(cdda::OverviewSamplesFor(stereo.size()));
    cdda::DownmixOverview(stereo, overview);
    ExpectListing(run, Expected(overview, -36, 750));
}

TEST_F(CliSlice, BrokenInputGivesAClearErrorAndNoListing) {
    std::vector<int16_t> samples(8000, 3);
    const struct {
        std::string name;
        std::optional<std::vector<std::byte>> bytes;  // none: no such file
        std::string message;
    } cases[] = {
        {"cut.wav", BuildWav({.channels = 1, .rateHz = 8000, .samples = samples, .dataSize = 50000}), "truncated"},
        {"absent.wav", std::nullopt, "cannot open"},
    };
    for (const auto& c : cases) {
        const auto run = Cli({c.bytes ? Write(c.name, *c.bytes) : (dir_.Path() / c.name).string()});
        EXPECT_NE(run.exitCode, 0) << c.name;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.name << ": " << run.err;
        EXPECT_NE(run.err.find(c.name), std::string::npos) << c.name << ": " << run.err;
        EXPECT_TRUE(Rows(run.out).empty()) << c.name;
    }
}

TEST_F(CliSlice, OutOfRangeOrMissingParametersAreRefused) {
    const std::vector<std::vector<std::string>> refused = {
        {"--demo", "--threshold", "0.5"}, {"--demo", "--threshold", "-96.1"}, {"--demo", "--release", "4"},
        {"--demo", "--release", "2501"},  {"--demo", "--threshold", "loud"},  {"--demo", "--window", "0"},
        {},                               {"--demo", "somefile.wav"},         {"--seed", "3"}};
    for (const auto& args : refused) {
        const auto run = Cli(args);
        EXPECT_NE(run.exitCode, 0) << ::testing::PrintToString(args);
        EXPECT_FALSE(run.err.empty()) << ::testing::PrintToString(args);
        EXPECT_TRUE(Rows(run.out).empty()) << ::testing::PrintToString(args);
    }
    // The ends of the ranges are accepted.
    EXPECT_EQ(Cli({"--demo", "--seconds", "5", "--threshold", "-96", "--release", "5"}).exitCode, 0);
    EXPECT_EQ(Cli({"--demo", "--seconds", "5", "--threshold", "0", "--release", "2500"}).exitCode, 4);
}

}  // namespace
}  // namespace korvane
