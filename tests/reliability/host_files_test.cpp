// The same-file check and the removal of temporary files that dead writers left.
#include "platform/hostfiles/host_files.h"
#include "platform/hostfiles/leftovers.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <fstream>

namespace {

namespace fs = std::filesystem;
using namespace korvane::platform;

fs::path Touch(const fs::path& path, std::time_t modified = 0) {
    std::ofstream(path) << "x";
    if (modified != 0) {
        const utimbuf times{modified, modified};
        ::utime(path.c_str(), &times);
    }
    return path;
}

// The id of a process that has ended (and been reaped).
pid_t DeadPid() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

TEST(HostFiles, AnOutputNamingAnInputByAnyPathIsRefused) {
    korvane::testing::TempDir dir;
    const fs::path song = Touch(dir.Path() / "song.wav");
    fs::create_directory(dir.Path() / "sub");
    fs::create_symlink(song, dir.Path() / "link.wav");
    fs::create_hard_link(song, dir.Path() / "hard.wav");
    for (const fs::path& same : {song, dir.Path() / "link.wav", dir.Path() / "hard.wav", dir.Path() / "sub/../song.wav",
                                 dir.Path() / "./song.wav"}) {
        EXPECT_TRUE(SameFile(same, song)) << same;
        EXPECT_THROW(RefuseOverwritingInput(same, {"", song}), OverwritesInput) << same;
    }
    EXPECT_FALSE(SameFile(dir.Path() / "new.wav", song));
    EXPECT_FALSE(SameFile(dir.Path() / "new.wav", dir.Path() / "new.wav"));  // neither exists: nothing to lose
    EXPECT_NO_THROW(RefuseOverwritingInput(dir.Path() / "new.wav", {song}));
    EXPECT_NO_THROW(RefuseOverwritingInput(Touch(dir.Path() / "other.wav"), {song}));
}

TEST(HostFiles, LeftoversOfGoneWritersAreRemovedAndEverythingElseKept) {
    korvane::testing::TempDir dir;
    const auto& d = dir.Path();
    const std::string dead = std::to_string(DeadPid());
    const std::string self = std::to_string(::getpid());
    const std::string parent = std::to_string(::getppid());
    const std::time_t now = std::time(nullptr);
    const std::time_t twoDaysAgo = now - 2 * 24 * 3600;
    const std::time_t before1990 = 600'000'000;  // long before any running process started

    const std::vector<fs::path> gone = {
        Touch(d / ("~krvn" + dead + "-0-12.tmp")),
        Touch(d / (".kick.wav." + dead + "-3-77.krvn-part")),
        Touch(d / ("~krvn" + parent + "-0-1.tmp"), before1990),  // the id belongs to a later process now
        Touch(d / "~krvnab12cd34.tmp", twoDaysAgo),                // earlier names without an id, old
        Touch(d / ".song.trk.123456-0.krvn-part", twoDaysAgo),
    };
    const std::vector<fs::path> kept = {
        Touch(d / ("~krvn" + self + "-0-1.tmp"), twoDaysAgo),  // a running writer's file, however old
        Touch(d / ("~krvn" + parent + "-0-2.tmp")),
        Touch(d / ("." + parent + ".wav." + parent + "-0-1.krvn-part")),
        Touch(d / "~krvnab12cd34x.tmp", twoDaysAgo),  // not one of our names
        Touch(d / "~krvnab12cd35.tmp"),               // without an id, but recent
        Touch(d / ("~krvn" + dead + "-0-1.txt")),
        Touch(d / ("song." + dead + "-0-1.krvn-part")),
    };
    fs::create_directory(d / ("~krvn" + dead + "-0-9.tmp"));  // a folder is never removed
    EXPECT_EQ(RemoveLeftoverTemporaries(d), gone.size());
    for (const auto& p : gone) EXPECT_FALSE(fs::exists(p)) << p;
    for (const auto& p : kept) EXPECT_TRUE(fs::exists(p)) << p;
    EXPECT_TRUE(fs::is_directory(d / ("~krvn" + dead + "-0-9.tmp")));

    // A name of ours carries our id, so it is recognised and kept while we run.
    const fs::path mine = Touch(TemporaryNameBeside(d / "out.wav"));
    EXPECT_TRUE(IsTemporaryName(mine.filename().string())) << mine;
    EXPECT_EQ(RemoveLeftoverTemporaries(d), 0u);
    EXPECT_TRUE(fs::exists(mine));
}

}  // namespace
