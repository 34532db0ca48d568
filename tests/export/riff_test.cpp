#include "platform/riff/riff.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

using namespace korvane::platform;

std::vector<std::byte> Bytes(std::string_view text) {
    const auto b = std::as_bytes(std::span(text.data(), text.size()));
    return {b.begin(), b.end()};
}

TEST(RiffWriter, AscendWritesTrueSizesAndPadsOddChunks) {
    RiffWriter riff(std::make_unique<MemorySink>());
    riff.CreateRiffChunk(MakeFourCc("WAVE"));
    riff.CreateChunk(MakeFourCc("abcd"));
    riff.Write(Bytes("xyz"));  // odd: a pad byte follows
    riff.Ascend();
    riff.CreateChunk(MakeFourCc("data"));
    riff.Write(Bytes("1234"));
    riff.Ascend();
    riff.Ascend();
    const auto sink = riff.Detach();

    // Little-endian sizes: 28 for "WAVE" and the two chunks, 3 for "xyz" (then the pad).
    const auto expected = Bytes({"RIFF\x1c\0\0\0" "WAVE" "abcd\x03\0\0\0" "xyz\0" "data\x04\0\0\0" "1234", 36});
    EXPECT_EQ(static_cast<const MemorySink&>(*sink).Bytes(), expected);
}

std::unique_ptr<ByteSink> WriteSmallFile(RiffWriter& riff) {
    riff.CreateRiffChunk(MakeFourCc("WAVE"));
    riff.CreateChunk(MakeFourCc("data"));
    riff.Write(Bytes("1234"));
    riff.Ascend();
    riff.Ascend();
    return riff.Detach();
}

TEST(RiffWriter, EveryWriteAndSeekFailureReachesTheCaller) {
    // One write that fails while the writes after it succeed (a transient error): it
    // must be reported, wherever it falls (headers, data, the sizes Ascend patches).
    for (std::uint64_t call = 1;; ++call) {
        auto sink = std::make_unique<FaultInjectingSink>(std::make_unique<MemorySink>(),
                                                         SinkFaults{.failWriteCall = call});
        const FaultInjectingSink& counted = *sink;
        RiffWriter riff(std::move(sink));
        std::unique_ptr<ByteSink> written;  // keeps `counted` alive after the writer lets go
        bool reported = false;
        try {
            written = WriteSmallFile(riff);
        } catch (const IoError&) {
            reported = true;
        }
        if (!reported && counted.WriteCalls() < call) break;  // every write call was tried
        EXPECT_TRUE(reported) << "write call " << call;
    }
    RiffWriter seekFails(std::make_unique<FaultInjectingSink>(std::make_unique<MemorySink>(),
                                                              SinkFaults{.failSeek = true}));
    seekFails.CreateChunk(MakeFourCc("data"));
    EXPECT_THROW(seekFails.Ascend(), IoError);
}

class FileIoTest : public ::testing::Test {
protected:
    korvane::testing::TempDir temp_;
    const std::filesystem::path dir_ = temp_.Path();
};

TEST_F(FileIoTest, ExclusiveCreateNeverTouchesAnExistingFile) {
    const auto path = dir_ / "existing";
    { std::ofstream(path) << "keep"; }
    EXPECT_THROW(FileSink(path, CreateMode::kExclusive), IoError);
    std::ifstream in(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep");
}

TEST_F(FileIoTest, FullDeviceIsReported) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    FileSink sink("/dev/full", CreateMode::kTruncate);
    std::vector<std::byte> block(4096);
    try {
        sink.Write(block);
        sink.Sync();
        FAIL() << "a write to /dev/full succeeded";
    } catch (const IoError& e) {
        EXPECT_EQ(e.Code(), std::errc::no_space_on_device);
    }
}

TEST_F(FileIoTest, SourceRefusesFoldersMissingFilesAndShortReads) {
    EXPECT_THROW(FileSource(dir_ / "missing"), IoError);
    EXPECT_THROW(FileSource{dir_}, IoError);
    { std::ofstream(dir_ / "six") << "abcdef"; }
    FileSource source(dir_ / "six");
    std::vector<std::byte> past(4);
    EXPECT_THROW(source.ReadAt(4, past), IoError);  // only 2 bytes left
}

}  // namespace
