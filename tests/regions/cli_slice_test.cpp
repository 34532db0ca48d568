// What only korvane-cli slice does: its defaults, its listing, its parameter checks and
// its errors on broken input; the regions it lists are the slice oracle's, for the demo
// signal and for the overview of an audio file's CD audio, and a refused run lists nothing.
#include "cdda/overview.h"
#include "regions/demo_signal.h"
#include "slice_oracle.h"
#include "tests/support/audio_files.h"
#include "tests/support/run_program.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace korvane {
namespace {

using testing::BuildWav;

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

// The listing after its source line, at the default settings: the settings, the count and
// one row per region the oracle finds in a mono 11025 Hz buffer, with its start and length
// and, as m:ss.ss, the times of its start, end and length.
std::string ExpectedListing(const std::vector<int16_t>& samples) {
    const auto regions = test::OracleSlice(test::AverageOf(samples, true, 11025, 50), -36, 750, 0);
    EXPECT_GE(regions.size(), 2u) << "a listing of one region would not show the rows' order";
    auto clock = [](uint64_t overviewSamples) {
        const long hundredths = std::lround(double(overviewSamples) / 110.25);
        char text[32];
        std::snprintf(text, sizeof text, "%ld:%02ld.%02ld", hundredths / 6000, hundredths / 100 % 60, hundredths % 100);
        return std::string(text);
    };
    std::string listing = "threshold -36.0 dB (level 512), release 750 ms (8268 samples), average over 12 samples\n";
    listing += "regions: " + std::to_string(regions.size()) + "\n";
    listing += "     #        start       length       from         to   duration\n";
    for (std::size_t i = 0; i < regions.size(); ++i) {
        const Region& r = regions[i];
        char row[128];
        std::snprintf(row, sizeof row, "%6zu %12u %12u %10s %10s %10s\n", i + 1, r.start, r.length,
                      clock(r.start).c_str(), clock(uint64_t(r.start) + r.length).c_str(), clock(r.length).c_str());
        listing += row;
    }
    return listing;
}

void ExpectListing(const testing::ProgramRun& run, const std::vector<int16_t>& samples) {
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("11025 Hz mono"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.substr(run.out.find('\n') + 1), ExpectedListing(samples));
}

// The demo signal of the seed and length asked for, and a file on the overview of its CD
// audio (as the track view slices a track), both at the default settings.
TEST_F(CliSlice, ListsTheRegionsOfTheDemoAndOfAFilesOverview) {
    const auto demo = demo::MakeDemoSignal({4, 11025, 1, 20.0});
    ExpectListing(Cli({"--demo", "--seconds", "20", "--seed", "4"}), demo);

    auto stereo = Bursts(44100 * 4);
    const auto run = Cli({Write("stereo.wav", BuildWav({.samples = stereo}))});
    stereo.resize((stereo.size() + 1175) / 1176 * 1176, 0);  // the last sector completed with silence
    std::vector<int16_t> overview(cdda::OverviewSamplesFor(stereo.size()));
    cdda::DownmixOverview(stereo, overview);
    ExpectListing(run, overview);
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
        EXPECT_EQ(run.out, "") << c.name;
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
        EXPECT_EQ(run.out, "") << ::testing::PrintToString(args);
    }
    // The ends of the ranges are accepted.
    EXPECT_EQ(Cli({"--demo", "--seconds", "5", "--threshold", "-96", "--release", "5"}).exitCode, 0);
    EXPECT_EQ(Cli({"--demo", "--seconds", "5", "--threshold", "0", "--release", "2500"}).exitCode, 4);
}

}  // namespace
}  // namespace korvane
