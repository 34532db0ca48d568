// korvane-cli play end to end on the fallback device (KORVANE_AUDIO=null): what it says
// when the region or the file cannot be played. A region that plays is
// Cli.PlayNamesTheDriversAndSaysWhenItIsSilent's.
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/audio_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace korvane::testing;
namespace fs = std::filesystem;

TEST(CliPlay, RefusesARegionPastTheLastAndAFileThatIsNotAudio) {
    TempDir dir;
    const auto cli = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"play", "--threshold", "-30", "--release", "250"});
        const ProgramRun run = RunProgram("korvane-cli", args, dir.Path(), {"KORVANE_AUDIO=null"});
        return std::make_pair(run.exitCode, run.out + run.err);
    };
    const fs::path wav = dir.Path() / "notes.wav";
    WriteAll(wav, BuildWav({.samples = NoiseBursts(3)}));
    const auto [missing, missingText] = cli({"--wav", wav.string(), "--region", "3"});
    EXPECT_EQ(missing, 1);
    EXPECT_NE(missingText.find("no region 3: the track has 2 regions at -30.0 dB / 250 ms"), std::string::npos) << missingText;

    std::ofstream(dir.Path() / "text.wav") << "not audio";
    const auto [refused, refusedText] = cli({"--wav", (dir.Path() / "text.wav").string(), "--region", "1"});
    EXPECT_EQ(refused, 1);
    EXPECT_NE(refusedText.find("not an audio file"), std::string::npos) << refusedText;
}

}  // namespace
