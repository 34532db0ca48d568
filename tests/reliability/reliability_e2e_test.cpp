// Whole programs under the faults that must not hurt the user: an output naming an
// input, a FIFO for a cue sheet, a drive that never answers (Ctrl+C, SIGTERM), writers
// killed with -9, a damaged or shared registry.
#include "tests/support/audio_files.h"
#include "tests/support/run_program.h"
#include "tests/support/test_disc.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <future>

namespace {

namespace fs = std::filesystem;
using korvane::testing::ProgramRun;
using korvane::testing::ReadText;
using korvane::testing::RunProgram;
using korvane::testing::TempDir;
using korvane::testing::TemporaryLeftovers;

// A 16-bit stereo 44,100 Hz WAV file: one second of silence, then one of a loud tone.
void WriteWav(const fs::path& path) {
    std::vector<std::int16_t> samples(2 * 88'200, 0);
    for (std::size_t i = 88'200; i < samples.size(); ++i) samples[i] = (i / 50) % 2 ? 12'000 : -12'000;
    korvane::testing::WriteAll(path, korvane::testing::BuildWav({.samples = samples}));
}

class Reliability : public ::testing::Test {
protected:
    void SetUp() override {
        cue = korvane::testing::WriteCueBin(dir.Path(), "album", {{150}, {75}});
        fs::create_directories(root / "drive_c/WINDOWS/TEMP");
    }
    // The machine with the disc `disc` (the album when not given) and drive faults `faults`.
    std::vector<std::string> Env(const std::string& faults = "", const fs::path& disc = {}) const {
        std::vector<std::string> env = {"KORVANE_ROOT=" + root.string(), "KORVANE_REAL_DRIVES=0",
                                        "KORVANE_DISC=" + (disc.empty() ? cue : disc).string()};
        if (!faults.empty()) env.push_back("KORVANE_ASPI_FAULTS=" + faults);
        return env;
    }
    ProgramRun Cli(const std::vector<std::string>& args, const std::vector<std::string>& env) const {
        return RunProgram("korvane-cli", args, dir.Path(), env);
    }
    // korvane-cli under timeout(1), which sends it `signal` after `seconds` and reaps it
    // (--foreground: the signal goes to korvane-cli alone); the exit code is korvane-cli's
    // own, or 128 + the signal when the signal ended it.
    ProgramRun CliStopped(const char* signal, const char* seconds, const std::vector<std::string>& args,
                          const std::vector<std::string>& env) const {
        std::vector<std::string> all = {"--foreground", "--preserve-status", "-s", signal, seconds,
                                        KORVANE_BIN_DIR "/korvane-cli"};
        all.insert(all.end(), args.begin(), args.end());
        return RunProgram("/usr/bin/timeout", all, dir.Path(), env);
    }
    TempDir dir;
    fs::path root = dir.Path() / "root";
    fs::path cue;
};

// Every command that writes checks its output against its inputs (the paths that name
// the same file, links and dots, are HostFiles.AnOutputNamingAnInputByAnyPathIsRefused's).
TEST_F(Reliability, NoCommandWritesOverItsOwnInputByAnyPath) {
    const fs::path song = dir.Path() / "song.wav";
    WriteWav(song);
    const std::string original = ReadText(song);
    fs::create_hard_link(song, dir.Path() / "hard.wav");
    const std::string bin = (dir.Path() / "album.bin").string();
    const std::string binBefore = ReadText(bin);
    const std::vector<std::vector<std::string>> commands = {
        {"export", "--wav", song.string(), "-o", song.string(), "--regions", "1"},
        {"import", song.string(), "-o", (dir.Path() / "hard.wav").string()},
        {"read", "--track", "1", "--force", "-o", bin},
        {"export", "--demo", "--drive", "D:", "-o", (dir.Path() / "./album.bin").string(), "--regions", "1"},
    };
    for (const auto& args : commands) {
        const ProgramRun run = Cli(args, Env());
        EXPECT_EQ(run.exitCode, 1) << args[0] << " " << args[4] << "\n" << run.out << run.err;
        EXPECT_NE(run.err.find("is the input file"), std::string::npos) << run.err;
    }
    EXPECT_EQ(ReadText(song), original);
    EXPECT_EQ(ReadText(bin), binBefore);
    EXPECT_EQ(Cli({"export", "--wav", song.string(), "-o", (dir.Path() / "out.wav").string(), "--regions", "1"}, Env())
                  .exitCode,
              0);
}

TEST_F(Reliability, ACueSheetOrImageThatIsAFifoNeverHangsTheDriveList) {
    const fs::path fifoCue = dir.Path() / "pipe.cue";
    ASSERT_EQ(::mkfifo(fifoCue.c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir.Path() / "pipe.bin").c_str(), 0600), 0);
    std::ofstream(dir.Path() / "bin-fifo.cue") << "FILE \"pipe.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    for (const fs::path& sheet : {fifoCue, dir.Path() / "bin-fifo.cue"}) {
        const ProgramRun drives = CliStopped("KILL", "30", {"drives"}, Env("", sheet));
        EXPECT_EQ(drives.exitCode, 0) << sheet;
        EXPECT_NE(drives.err.find("not a regular file"), std::string::npos) << drives.err;
    }
}

// SIGTERM during a wait: ASignalledRead... below.
TEST_F(Reliability, CtrlCEndsAWaitForADriveThatNeverAnswers) {
    // After 1.5 s the TOC request is pending.
    const ProgramRun tracks = CliStopped("INT", "1.5", {"tracks"}, Env("never:43"));
    EXPECT_EQ(tracks.exitCode, 130) << tracks.err;
    EXPECT_NE(tracks.err.find("interrupted"), std::string::npos) << tracks.err;
}

TEST_F(Reliability, ASignalledReadRemovesItsFilesAndAKilledOneIsCleanedUpByTheNextRun) {
    const fs::path out = dir.Path() / "out";
    fs::create_directory(out);
    const std::vector<std::string> readArgs = {"read", "--track", "1", "-o", (out / "t1.trk").string()};

    // After 3 s the read waits for a transfer, its temporary file made.
    const ProgramRun stopped = CliStopped("TERM", "3", readArgs, Env("never:BE,never:D8"));
    EXPECT_EQ(stopped.exitCode, 143) << stopped.err;
    EXPECT_TRUE(TemporaryLeftovers(out).empty());

    EXPECT_EQ(CliStopped("KILL", "3", readArgs, Env("never:BE,never:D8")).exitCode, 128 + SIGKILL);
    EXPECT_FALSE(TemporaryLeftovers(out).empty());
    const ProgramRun again = Cli(readArgs, Env());
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_TRUE(TemporaryLeftovers(out).empty());
    EXPECT_EQ(fs::file_size(out / "t1.trk"), 150u * 2646u);

    // The machine's TEMP: korvane-machine clean-temp removes what dead runs left there.
    const fs::path temp = root / "drive_c/WINDOWS/TEMP";
    for (const auto& f : {"~krvn999999999-0-1.tmp", ".x.wav.999999999-0-1.krvn-part"}) std::ofstream(temp / f) << "x";
    const ProgramRun clean = RunProgram("korvane-machine", {"clean-temp"}, dir.Path(), Env());
    EXPECT_EQ(clean.exitCode, 0) << clean.err;
    EXPECT_EQ(clean.out, "removed\t2\n");
    EXPECT_TRUE(TemporaryLeftovers(temp).empty());
}

TEST_F(Reliability, ADamagedRegistryIsNamedOnceAndDoesNotKeepTheDrivesFromBeingRead) {
    fs::create_directories(root);
    std::ofstream(root / "registry.db") << std::string(4096, 'Z');
    const ProgramRun tracks = Cli({"tracks", "--drive", "D:"}, Env());
    EXPECT_EQ(tracks.exitCode, 0) << tracks.err;
    EXPECT_NE(tracks.out.find("Track #1"), std::string::npos) << tracks.out;
    const auto said = tracks.err.find("file is not a database");
    ASSERT_NE(said, std::string::npos) << tracks.err;
    EXPECT_EQ(tracks.err.find("file is not a database", said + 1), std::string::npos) << tracks.err;
    EXPECT_NE(tracks.err.find("kept in memory"), std::string::npos) << tracks.err;
    EXPECT_EQ(ReadText(root / "registry.db"), std::string(4096, 'Z'));
}

TEST_F(Reliability, EightTracksCommandsOnOneMachineRootAtOnceAllSucceed) {
    for (int round = 0; round < 3; ++round) {
        std::vector<std::future<ProgramRun>> runs;
        for (int i = 0; i < 8; ++i) {
            // Each run's captured streams in a folder of its own.
            const fs::path scratch = dir.Path() / ("run" + std::to_string(round) + std::to_string(i));
            fs::create_directory(scratch);
            runs.push_back(std::async(std::launch::async, [this, scratch] {
                return RunProgram("korvane-cli", {"tracks"}, scratch, Env());
            }));
        }
        for (auto& run : runs) {
            const ProgramRun done = run.get();
            EXPECT_EQ(done.exitCode, 0) << done.err;
        }
    }
}

}  // namespace
