// korvane-cli play end to end on the fallback device (KORVANE_AUDIO=null): what it says
// when the region or the file cannot be played. A region that plays is
// Cli.PlayNamesTheDriversAndSaysWhenItIsSilent's.
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/audio_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using namespace korvane::testing;
namespace fs = std::filesystem;

// Two 0.15 s tones with 0.4 s of silence after each: two regions at -30 dB / 250 ms.
void WriteNotes(const fs::path& path) {
    WavSpec spec;
    for (int note = 0; note < 2; ++note) {
        for (int i = 0; i < 6615; ++i) {
            const auto v = std::int16_t(12000 * std::sin(2 * M_PI * 330 * (note + 1) * i / 44100.0));
            spec.samples.insert(spec.samples.end(), {v, v});
        }
        spec.samples.insert(spec.samples.end(), std::size_t(17640) * 2, 0);
    }
    WriteAll(path, BuildWav(spec));
}

TEST(CliPlay, RefusesARegionPastTheLastAndAFileThatIsNotAudio) {
    TempDir dir;
    const auto cli = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"play", "--threshold", "-30", "--release", "250"});
        const ProgramRun run = RunProgram("korvane-cli", args, dir.Path(), {"KORVANE_AUDIO=null"});
        return std::make_pair(run.exitCode, run.out + run.err);
    };
    const fs::path wav = dir.Path() / "notes.wav";
    WriteNotes(wav);
    const auto [missing, missingText] = cli({"--wav", wav.string(), "--region", "3"});
    EXPECT_EQ(missing, 1);
    EXPECT_NE(missingText.find("no region 3: the track has 2 regions at -30.0 dB / 250 ms"), std::string::npos) << missingText;

    std::ofstream(dir.Path() / "text.wav") << "not audio";
    const auto [refused, refusedText] = cli({"--wav", (dir.Path() / "text.wav").string(), "--region", "1"});
    EXPECT_EQ(refused, 1);
    EXPECT_NE(refusedText.find("not an audio file"), std::string::npos) << refusedText;
}

}  // namespace
