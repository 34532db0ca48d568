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
#include <string>
#include <tuple>
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

// A run at the default settings on a mono 11025 Hz buffer: after its source line, the
// listing holds the settings, the count and one row per region the oracle finds, with its
// start and length and, as m:ss.ss, the times of its start, end and length.
void ExpectListing(const testing::ProgramRun& run, const std::vector<int16_t>& samples) {
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("11025 Hz mono"), std::string::npos) << run.out;
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
    EXPECT_EQ(run.out.substr(run.out.find('\n') + 1), listing);
}

// The demo signal of the seed and length asked for, and a file on the overview of its CD
// audio (as the track view slices a track), both at the default settings.
TEST_F(CliSlice, ListsTheRegionsOfTheDemoAndOfAFilesOverview) {
    const auto demo = demo::MakeDemoSignal({4, 11025, 1, 20.0});
    ExpectListing(Cli({"--demo", "--seconds", "20", "--seed", "4"}), demo);

    auto stereo = demo::MakeDemoSignal({2, 44100, 2, 8.5});  // CD audio, its last sector part-filled
    const auto run = Cli({Write("stereo.wav", BuildWav({.samples = stereo}))});
    stereo.resize((stereo.size() + 1175) / 1176 * 1176, 0);  // the last sector completed with silence
    std::vector<int16_t> overview(cdda::OverviewSamplesFor(stereo.size()));
    cdda::DownmixOverview(stereo, overview);
    ExpectListing(run, overview);
}

// Parameters out of range or missing, and files that cannot be read, are refused with
// the usage exit code 2 or the error exit code 1, a message that says what is wrong
// (with the file's name) and nothing on standard output.
TEST_F(CliSlice, BadParametersAndBrokenFilesAreRefusedWithTheirReason) {
    const std::vector<int16_t> samples(8000, 3);
    const auto cut = Write("cut.wav", BuildWav({.channels = 1, .rateHz = 8000, .samples = samples, .dataSize = 50000}));
    const std::string absent = (dir_.Path() / "absent.wav").string();
    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::string errorStart;
    } refused[] = {
        {{"--demo", "--threshold", "0.5"}, 2, "korvane-cli: --threshold: 0.5 is outside -96.0 to 0.0 dB\n"},
        {{"--demo", "--threshold", "-96.1"}, 2, "korvane-cli: --threshold: -96.1 is outside -96.0 to 0.0 dB\n"},
        {{"--demo", "--release", "4"}, 2, "korvane-cli: --release: 4 is outside 5 to 2500 ms\n"},
        {{"--demo", "--release", "2501"}, 2, "korvane-cli: --release: 2501 is outside 5 to 2500 ms\n"},
        {{"--demo", "--threshold", "loud"}, 2, "korvane-cli: --threshold: loud is not a number of decibels\n"},
        {{"--demo", "--window", "0"}, 2, "korvane-cli: --window: Value 0 not in range 1 to 44100\n"},
        {{}, 2, "korvane-cli: slice: give an audio file or --demo\n"},
        {{"--demo", "somefile.wav"}, 2, "korvane-cli: file excludes --demo\n"},
        {{"--seed", "3"}, 2, "korvane-cli: --seed requires --demo\n"},
        {{cut}, 1, "korvane-cli: error: This file is not an audio file Korvane can read, or it is damaged or "
                   "incomplete:\n" + cut + "\n(" + cut + ": truncated"},
        {{absent}, 1, "korvane-cli: error: could not read file\n" + absent + "\n(cannot open " + absent + ":"},
    };
    for (const auto& r : refused) {
        const auto run = Cli(r.args);
        EXPECT_EQ(std::tuple(run.exitCode, run.err.substr(0, r.errorStart.size()), run.out),
                  std::tuple(r.exitCode, r.errorStart, std::string()))
            << ::testing::PrintToString(r.args);
    }
    // The ends of the ranges are accepted.
    EXPECT_EQ(Cli({"--demo", "--seconds", "5", "--threshold", "-96", "--release", "5"}).exitCode, 0);
    EXPECT_EQ(Cli({"--demo", "--seconds", "5", "--threshold", "0", "--release", "2500"}).exitCode, 4);
}

}  // namespace
}  // namespace korvane
