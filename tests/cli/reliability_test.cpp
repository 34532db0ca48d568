// korvane-cli under the faults that must not hurt the user: an output naming an input,
// a FIFO for a cue sheet, a drive that never answers (Ctrl+C, SIGTERM), writers killed
// with -9, a damaged or shared registry.
#include "tests/cli/cli_fixture.h"

#include <signal.h>
#include <sys/stat.h>

#include <future>

namespace {

namespace fs = std::filesystem;
using korvane::testing::ProgramRun;
using korvane::testing::ReadText;
using korvane::testing::RunProgram;
using korvane::testing::TemporaryLeftovers;
using Reliability = korvane::testing::Cli;

// timeout(1), which sends korvane-cli `signal` after `seconds` and reaps it
// (--foreground: the signal goes to korvane-cli alone); the exit code is korvane-cli's
// own, or 128 + the signal when the signal ended it.
std::string After(const char* seconds, const char* signal) {
    return std::string("timeout --foreground --preserve-status -s ") + signal + " " + seconds;
}

// Every command that writes checks its output against its inputs (the paths that name
// the same file, links and dots, are HostFiles.AnOutputNamingAnInputByAnyPathIsRefused's).
TEST_F(Reliability, NoCommandWritesOverItsOwnInputByAnyPath) {
    korvane::testing::WriteAll(dir.Path() / "song.wav", korvane::testing::BuildWav({.samples = Samples(Audio(30, 75))}));
    const std::string song = ReadText(dir.Path() / "song.wav");
    fs::create_hard_link(dir.Path() / "song.wav", dir.Path() / "hard.wav");
    const std::string bin = ReadText(dir.Path() / "album.bin");
    for (const char* args : {"export --wav song.wav -o song.wav --regions 1", "import song.wav -o hard.wav",
                             "read --track 1 --force -o album.bin", "export --demo -t 2 --drive D: -o ./album.bin --regions 1"}) {
        const ProgramRun run = Run(args);
        EXPECT_EQ(run.exitCode, 1) << args << "\n" << run.out << run.err;
        EXPECT_NE(run.err.find("is the input file"), std::string::npos) << run.err;
    }
    EXPECT_EQ(ReadText(dir.Path() / "song.wav"), song);
    EXPECT_EQ(ReadText(dir.Path() / "album.bin"), bin);
    EXPECT_EQ(Run("export --wav song.wav -o out.wav --regions 1").exitCode, 0);
}

TEST_F(Reliability, ACueSheetOrImageThatIsAFifoNeverHangsTheDriveList) {
    ASSERT_EQ(::mkfifo((dir.Path() / "pipe.cue").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir.Path() / "pipe.bin").c_str(), 0600), 0);
    std::ofstream(dir.Path() / "bin-fifo.cue") << "FILE \"pipe.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    for (const char* sheet : {"pipe.cue", "bin-fifo.cue"}) {
        SetDiscs((dir.Path() / sheet).string());
        const ProgramRun drives = Run("drives", "", After("30", "KILL"));
        EXPECT_EQ(drives.exitCode, 0) << sheet;
        EXPECT_NE(drives.err.find("not a regular file"), std::string::npos) << drives.err;
    }
}

// SIGTERM during a wait: ASignalledRead... below.
TEST_F(Reliability, CtrlCEndsAWaitForADriveThatNeverAnswers) {
    // After 1.5 s the TOC request is pending.
    const ProgramRun tracks = Run("tracks", "never:43", After("1.5", "INT"));
    EXPECT_EQ(tracks.exitCode, 130) << tracks.err;
    EXPECT_NE(tracks.err.find("interrupted"), std::string::npos) << tracks.err;
}

TEST_F(Reliability, ASignalledReadRemovesItsFilesAndAKilledOneIsCleanedUpByTheNextRun) {
    const fs::path out = dir.Path() / "out";
    fs::create_directory(out);
    const std::string read = "read --track 1 -o out/t1.trk";

    // After 3 s the read waits for a transfer, its temporary file made.
    const ProgramRun stopped = Run(read, "never:BE,never:D8", After("3", "TERM"));
    EXPECT_EQ(stopped.exitCode, 143) << stopped.err;
    EXPECT_TRUE(TemporaryLeftovers(out).empty());

    EXPECT_EQ(Run(read, "never:BE,never:D8", After("3", "KILL")).exitCode, 128 + SIGKILL);
    EXPECT_FALSE(TemporaryLeftovers(out).empty());
    const ProgramRun again = Run(read);
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_TRUE(TemporaryLeftovers(out).empty());
    EXPECT_EQ(ReadText(out / "t1.trk"), TrackFile(0));

    // The machine's TEMP: korvane-machine clean-temp removes what dead runs left there.
    const fs::path temp = dir.Path() / "root/drive_c/WINDOWS/TEMP";
    fs::create_directories(temp);
    for (const auto& f : {"~krvn999999999-0-1.tmp", ".x.wav.999999999-0-1.krvn-part"}) std::ofstream(temp / f) << "x";
    const ProgramRun clean = RunProgram("korvane-machine", {"clean-temp"}, dir.Path(), env);
    EXPECT_EQ(clean.exitCode, 0) << clean.err;
    EXPECT_EQ(clean.out, "removed\t2\n");
    EXPECT_TRUE(TemporaryLeftovers(temp).empty());
}

TEST_F(Reliability, ADamagedRegistryIsNamedOnceAndDoesNotKeepTheDrivesFromBeingRead) {
    fs::create_directories(dir.Path() / "root");
    std::ofstream(dir.Path() / "root/registry.db") << std::string(4096, 'Z');
    const ProgramRun tracks = Run("tracks --drive D:");
    EXPECT_EQ(tracks.exitCode, 0) << tracks.err;
    EXPECT_NE(tracks.out.find("Track #1"), std::string::npos) << tracks.out;
    const auto said = tracks.err.find("file is not a database");
    ASSERT_NE(said, std::string::npos) << tracks.err;
    EXPECT_EQ(tracks.err.find("file is not a database", said + 1), std::string::npos) << tracks.err;
    EXPECT_NE(tracks.err.find("kept in memory"), std::string::npos) << tracks.err;
    EXPECT_EQ(ReadText(dir.Path() / "root/registry.db"), std::string(4096, 'Z'));
}

TEST_F(Reliability, EightTracksCommandsOnOneMachineRootAtOnceAllSucceed) {
    for (int round = 0; round < 3; ++round) {
        std::vector<std::future<ProgramRun>> runs;
        for (int i = 0; i < 8; ++i) {
            // Each run's captured streams in a folder of its own.
            const fs::path scratch = dir.Path() / ("run" + std::to_string(round) + std::to_string(i));
            fs::create_directory(scratch);
            runs.push_back(std::async(std::launch::async, [this, scratch] {
                return RunProgram("korvane-cli", {"tracks"}, scratch, env);
            }));
        }
        for (auto& run : runs) {
            const ProgramRun done = run.get();
            EXPECT_EQ(done.exitCode, 0) << done.err;
        }
    }
}

}  // namespace
