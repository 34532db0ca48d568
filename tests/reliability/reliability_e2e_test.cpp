// Whole programs under the faults that must not hurt the user: an output naming an
// input, a FIFO for a cue sheet, a drive that never answers (Ctrl+C, SIGTERM), writers
// killed with -9, a damaged or shared registry.
#include "tests/support/audio_files.h"
#include "tests/support/run_program.h"
#include "tests/support/test_disc.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <future>
#include <thread>

namespace {

namespace fs = std::filesystem;
using korvane::testing::ProgramRun;
using korvane::testing::ReadText;
using korvane::testing::RunProgram;
using korvane::testing::TempDir;
using Clock = std::chrono::steady_clock;

// A started korvane-cli whose streams go to files in `scratch`.
struct Started {
    pid_t pid = -1;
    fs::path out, err;
};

Started Start(const std::vector<std::string>& args, const std::vector<std::string>& env, const fs::path& scratch) {
    static int counter = 0;
    std::string stem(1, 'p');
    stem += std::to_string(counter++);
    Started s{-1, scratch / stem, scratch / stem};
    s.out += ".out";
    s.err += ".err";
    const std::string program = std::string(KORVANE_BIN_DIR) + "/korvane-cli";
    s.pid = ::fork();
    if (s.pid == 0) {
        for (const auto& e : env) ::putenv(const_cast<char*>(e.c_str()));
        const int out = ::open(s.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(s.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, 1);
        ::dup2(err, 2);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    return s;
}

// The exit code, or -128 - signal when killed by one; -1000 when it did not end in
// `limit` (it is killed then).
int Finish(const Started& s, std::chrono::seconds limit = std::chrono::seconds(30)) {
    const auto deadline = Clock::now() + limit;
    int status = 0;
    while (::waitpid(s.pid, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            ::kill(s.pid, SIGKILL);
            ::waitpid(s.pid, &status, 0);
            return -1000;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -128 - WTERMSIG(status);
}

// Waits until `test` holds (true) or 20 s passed (false).
template <typename Test>
bool WaitFor(Test test) {
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (!test()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// A 16-bit stereo 44,100 Hz WAV file: one second of silence, then one of a loud tone.
void WriteWav(const fs::path& path) {
    std::vector<std::int16_t> samples(2 * 88'200, 0);
    for (std::size_t i = 88'200; i < samples.size(); ++i) samples[i] = (i / 50) % 2 ? 12'000 : -12'000;
    korvane::testing::WriteAll(path, korvane::testing::BuildWav({.samples = samples}));
}

std::vector<fs::path> Leftovers(const fs::path& folder) {
    std::vector<fs::path> found;
    for (const auto& e : fs::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (name.starts_with("~krvn") || name.ends_with(".krvn-part")) found.push_back(e.path());
    }
    return found;
}

class Reliability : public ::testing::Test {
protected:
    void SetUp() override {
        cue = korvane::testing::WriteCueBin(dir.Path(), "album", {{150}, {75}});
        fs::create_directories(root / "drive_c/WINDOWS/TEMP");
    }
    std::vector<std::string> Env(const std::string& faults = "") const {
        std::vector<std::string> env = {"KORVANE_ROOT=" + root.string(), "KORVANE_REAL_DRIVES=0",
                                        "KORVANE_DISC=" + cue.string()};
        if (!faults.empty()) env.push_back("KORVANE_ASPI_FAULTS=" + faults);
        return env;
    }
    ProgramRun Cli(const std::vector<std::string>& args, const std::vector<std::string>& env) const {
        return RunProgram("korvane-cli", args, dir.Path(), env);
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
        const Started drives = Start({"drives"}, {"KORVANE_ROOT=" + root.string(), "KORVANE_REAL_DRIVES=0",
                                                  "KORVANE_DISC=" + sheet.string()},
                                     dir.Path());
        EXPECT_EQ(Finish(drives), 0) << sheet;
        EXPECT_NE(ReadText(drives.err).find("not a regular file"), std::string::npos) << ReadText(drives.err);
    }
}

TEST_F(Reliability, CtrlCAndSigtermEndAWaitForADriveThatNeverAnswers) {
    for (const auto& [signal, code] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        const Started tracks = Start({"tracks"}, Env("never:43"), dir.Path());
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the TOC request is pending by now
        ::kill(tracks.pid, signal);
        EXPECT_EQ(Finish(tracks, std::chrono::seconds(10)), code) << ReadText(tracks.err);
        EXPECT_NE(ReadText(tracks.err).find("interrupted"), std::string::npos) << ReadText(tracks.err);
    }
}

TEST_F(Reliability, ASignalledReadRemovesItsFilesAndAKilledOneIsCleanedUpByTheNextRun) {
    const fs::path out = dir.Path() / "out";
    fs::create_directory(out);
    const std::vector<std::string> readArgs = {"read", "--track", "1", "-o", (out / "t1.trk").string()};

    const Started stopped = Start(readArgs, Env("never:BE,never:D8"), dir.Path());
    ASSERT_TRUE(WaitFor([&] { return !Leftovers(out).empty(); }));
    ::kill(stopped.pid, SIGTERM);
    EXPECT_EQ(Finish(stopped, std::chrono::seconds(10)), 143) << ReadText(stopped.err);
    EXPECT_TRUE(Leftovers(out).empty());

    const Started killed = Start(readArgs, Env("never:BE,never:D8"), dir.Path());
    ASSERT_TRUE(WaitFor([&] { return !Leftovers(out).empty(); }));
    ::kill(killed.pid, SIGKILL);
    EXPECT_EQ(Finish(killed), -128 - SIGKILL);
    EXPECT_FALSE(Leftovers(out).empty());
    const ProgramRun again = Cli(readArgs, Env());
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_TRUE(Leftovers(out).empty());
    EXPECT_EQ(fs::file_size(out / "t1.trk"), 150u * 2646u);

    // The machine's TEMP: korvane-machine clean-temp removes what dead runs left there.
    const fs::path temp = root / "drive_c/WINDOWS/TEMP";
    for (const auto& f : {"~krvn999999999-0-1.tmp", ".x.wav.999999999-0-1.krvn-part"}) std::ofstream(temp / f) << "x";
    const ProgramRun clean = RunProgram("korvane-machine", {"clean-temp"}, dir.Path(), Env());
    EXPECT_EQ(clean.exitCode, 0) << clean.err;
    EXPECT_EQ(clean.out, "removed\t2\n");
    EXPECT_TRUE(Leftovers(temp).empty());
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
        std::vector<Started> runs;
        for (int i = 0; i < 8; ++i) runs.push_back(Start({"tracks"}, Env(), dir.Path()));
        for (const Started& run : runs) EXPECT_EQ(Finish(run), 0) << ReadText(run.err);
    }
}

}  // namespace
