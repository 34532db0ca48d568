#include "export/wav_export.h"

#include "tests/support/audio_files.h"
#include "export/normalize.h"
#include "export/wav_format.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace korvane::wavexport;
using namespace korvane::testing;
namespace fs = std::filesystem;
using korvane::platform::FaultInjectingSink;
using korvane::platform::FaultInjectingSource;
using korvane::platform::FileSource;
using korvane::platform::SinkFaults;

std::vector<std::int16_t> Slice(const std::vector<std::int16_t>& stereo, std::size_t firstFrame,
                                std::size_t frames) {
    return {stereo.begin() + static_cast<std::ptrdiff_t>(2 * firstFrame),
            stereo.begin() + static_cast<std::ptrdiff_t>(2 * (firstFrame + frames))};
}

class WavExportTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        track_ = dir_ / "~krvn1.tmp";
        stereo_ = Staircase(588 * 10);
        WriteTrackFile(track_, stereo_);
    }
    fs::path track_;
    std::vector<std::int16_t> stereo_;
};

// Regions of every size, the last replacing an existing file; the header is also the
// one the command line writes in one piece.
TEST_F(WavExportTest, WritesTheRegionByteForByte) {
    const auto target = dir_ / "kick.wav";
    // Region of 100 overview samples from overview sample 25.
    ASSERT_TRUE(WriteRegionWav(track_, target, 4 * 25, 4 * 100, false).Ok());
    const auto written = ReadAll(target);
    EXPECT_EQ(written, ExpectedWav(Slice(stereo_, 100, 400)));
    const auto header = EncodeWavHeader(16 * 100);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), written.begin()));

    const auto whole = dir_ / "whole.wav";
    ASSERT_TRUE(WriteRegionWav(track_, whole, 0, 5880, false).Ok());
    EXPECT_EQ(ReadAll(whole), ExpectedWav(stereo_));
    const auto empty = dir_ / "empty.wav";
    ASSERT_TRUE(WriteRegionWav(track_, empty, 5880, 0, false).Ok());
    EXPECT_EQ(ReadAll(empty), ExpectedWav({}));
    ASSERT_TRUE(WriteRegionWav(track_, target, 8, 16, false).Ok());
    EXPECT_EQ(ReadAll(target), ExpectedWav(Slice(stereo_, 8, 16)));
    EXPECT_EQ(FileNames(), (std::vector<std::string>{"empty.wav", "kick.wav", "whole.wav", "~krvn1.tmp"}));
}

TEST_F(WavExportTest, NormalisedExportInBlocksEqualsWholeBufferNormalisation) {
    // More than three blocks, with the peak in the last one.
    const std::size_t frames = 3 * kExportBlockBytes / 4 + 4 * 1234;
    std::vector<std::int16_t> samples(2 * frames);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::int16_t>((i * 37) % 2001 - 1000);
    samples[samples.size() - 3] = -7001;
    WriteTrackFile(track_, samples);

    const auto target = dir_ / "norm.wav";
    ASSERT_TRUE(WriteRegionWav(track_, target, 0, frames, true).Ok());
    auto expected = ExpectedWav(samples);
    NormalizeFrames(std::span(expected).subspan(46));
    EXPECT_EQ(ReadAll(target), expected);
}

TEST_F(WavExportTest, RegionsPastTheAudioPartAreRefused) {
    const auto target = dir_ / "past.wav";
    WriteAll(target, {std::byte{'o'}, std::byte{'l'}, std::byte{'d'}});
    // 5,880 frames of audio; the overview part behind them must never be exported.
    for (auto [first, count] : {std::pair<std::uint64_t, std::uint64_t>{5880 - 4, 8}, {5880, 4}, {100000, 4},
                                {4, std::uint64_t{1} << 28}}) {
        const auto outcome = WriteRegionWav(track_, target, first, count, false);
        EXPECT_EQ(outcome.error, ExportError::kRegionPastEnd) << first << "+" << count;
    }
    EXPECT_EQ(WriteRegionWav(track_, target, 0, kMaxExportFrames + 1, false).error, ExportError::kRegionTooLarge);
    // A track file truncated after it was sliced.
    fs::resize_file(track_, 1800);  // 1,600 bytes of audio: 400 frames
    EXPECT_EQ(WriteRegionWav(track_, target, 0, 404, false).error, ExportError::kRegionPastEnd);
    EXPECT_EQ(ReadAll(target), (std::vector<std::byte>{std::byte{'o'}, std::byte{'l'}, std::byte{'d'}}));
    EXPECT_EQ(FileNames(), (std::vector<std::string>{"past.wav", "~krvn1.tmp"}));
}

// Every way a write or a read can fail leaves the old file byte for byte and nothing
// else.
TEST_F(WavExportTest, WriteAndReadFailuresLeaveTheTargetAndNoPartialFile) {
    const auto target = dir_ / "kick.wav";
    const std::vector<std::byte> old(777, std::byte{0x42});
    WriteAll(target, old);
    const std::uint64_t frames = 5000;
    const std::uint64_t fileBytes = WavFileBytes(frames);

    std::vector<SinkFaults> faults;
    for (std::uint64_t limit : {std::uint64_t{0}, std::uint64_t{7}, std::uint64_t{46}, std::uint64_t{47},
                                fileBytes / 2, fileBytes - 1, fileBytes})  // the last: ascend's size patch
        faults.push_back({.writeLimitBytes = limit});
    faults.push_back({.failSeek = true});
    faults.push_back({.failSync = true});
    faults.push_back({.failClose = true});
    for (bool normalize : {false, true}) {
        for (const auto& fault : faults) {
            ExportIo io;
            io.wrapSink = [fault](auto inner) { return std::make_unique<FaultInjectingSink>(std::move(inner), fault); };
            const auto outcome = WriteRegionWav(track_, target, 0, frames, normalize, io);
            EXPECT_EQ(outcome.error, ExportError::kWriteFailed) << fault.writeLimitBytes;
            EXPECT_FALSE(outcome.detail.empty());
            EXPECT_EQ(ReadAll(target), old);
            EXPECT_EQ(FileNames(), (std::vector<std::string>{"kick.wav", "~krvn1.tmp"}));
        }
        for (std::uint64_t failAt : {std::uint64_t{0}, std::uint64_t{4 * 100}, 4 * frames - 1}) {
            ExportIo io;
            io.openSource = [failAt](const fs::path& p) {
                return std::make_unique<FaultInjectingSource>(std::make_unique<FileSource>(p), failAt);
            };
            EXPECT_EQ(WriteRegionWav(track_, target, 0, frames, normalize, io).error, ExportError::kSourceUnreadable);
            EXPECT_EQ(ReadAll(target), old);
            EXPECT_EQ(FileNames(), (std::vector<std::string>{"kick.wav", "~krvn1.tmp"}));
        }
    }
    EXPECT_EQ(WriteRegionWav(dir_ / "missing.tmp", target, 0, 4, false).error, ExportError::kSourceUnreadable);
    EXPECT_EQ(ReadAll(target), old);
}

TEST_F(WavExportTest, ReadOnlyTargetsAndFoldersAreNotWritten) {
    const auto readOnly = dir_ / "locked.wav";
    const std::vector<std::byte> old(12, std::byte{9});
    WriteAll(readOnly, old);
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(WriteRegionWav(track_, readOnly, 0, 4, false).error, ExportError::kTargetNotWritable);
    EXPECT_EQ(ReadAll(readOnly), old);

    fs::create_directory(dir_ / "folder.wav");
    EXPECT_EQ(WriteRegionWav(track_, dir_ / "folder.wav", 0, 4, false).error, ExportError::kTargetNotWritable);
    EXPECT_TRUE(fs::is_directory(dir_ / "folder.wav"));

    EXPECT_EQ(WriteRegionWav(track_, dir_ / "no" / "such" / "x.wav", 0, 4, false).error, ExportError::kWriteFailed);
    // The track file itself, also through another spelling of its path.
    const auto trackBytes = ReadAll(track_);
    EXPECT_EQ(WriteRegionWav(track_, track_, 0, 4, false).error, ExportError::kTargetNotWritable);
    EXPECT_EQ(WriteRegionWav(track_, dir_ / "." / track_.filename(), 0, 4, false).error,
              ExportError::kTargetNotWritable);
    EXPECT_EQ(ReadAll(track_), trackBytes);
    EXPECT_EQ(FileNames(), (std::vector<std::string>{"folder.wav", "locked.wav", "~krvn1.tmp"}));
}

TEST_F(WavExportTest, ReadOnlyFolderIsReported) {
    // Root writes through permission bits, so the folder is made read-only by a read-only
    // bind mount in a private mount namespace of a child process; without the right to
    // mount, the permission bits do (for a user that is not root).
    const auto folder = dir_ / "ro";
    fs::create_directory(folder);
    WriteAll(folder / "kick.wav", {std::byte{1}});
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const bool mounted = ::unshare(CLONE_NEWNS) == 0 &&
                             ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                             ::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
                             ::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
        if (!mounted) {
            if (::geteuid() == 0) ::_exit(77);
            fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
        }
        const bool refused = WriteRegionWav(track_, folder / "kick.wav", 0, 4, false).error == ExportError::kWriteFailed;
        const bool kept = ReadAll(folder / "kick.wav") == std::vector<std::byte>{std::byte{1}};
        ::_exit(refused && kept ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no read-only mount possible here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the write into the read-only folder was not refused, or changed the file";
    fs::permissions(folder, fs::perms::owner_all);
}

TEST_F(WavExportTest, ALinkedTargetReplacesTheFileItNames) {
    const auto real = dir_ / "real.wav";
    WriteAll(real, {std::byte{1}});
    fs::create_symlink(real, dir_ / "link.wav");
    ASSERT_TRUE(WriteRegionWav(track_, dir_ / "link.wav", 0, 4, false).Ok());
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.wav"));
    EXPECT_EQ(ReadAll(real), ExpectedWav(Slice(stereo_, 0, 4)));
}

TEST_F(WavExportTest, CancelledExportLeavesNothing) {
    ExportIo io;
    std::uint64_t calls = 0;
    io.progress = [&](std::uint64_t, std::uint64_t) { return ++calls < 2; };
    std::vector<std::int16_t> longer(2 * (kExportBlockBytes / 4) * 3, 5);
    WriteTrackFile(track_, longer);
    EXPECT_EQ(WriteRegionWav(track_, dir_ / "c.wav", 0, longer.size() / 2, false, io).error, ExportError::kCancelled);
    EXPECT_EQ(calls, 2u);
    EXPECT_EQ(FileNames(), (std::vector<std::string>{"~krvn1.tmp"}));
}

}  // namespace
