#include "track/audio_import.h"

#include "platform/ui/ui.h"
#include "tests/support/audio_files.h"
#include "tests/support/message_boxes.h"

#include <gtest/gtest.h>

namespace {

using namespace korvane::testing;
using korvane::track::ImportError;
namespace fs = std::filesystem;

class WavImportTest : public TempFolderTest {
protected:
    fs::path Wav(const WavSpec& spec, const std::string& name = "in.wav") {
        const auto path = dir_ / name;
        WriteAll(path, BuildWav(spec));
        return path;
    }
    // Imports into out/track.tmp and checks that a failure leaves the input as it was
    // and nothing in out/.
    korvane::track::ImportOutcome Import(const fs::path& wav) {
        fs::create_directories(dir_ / "out");
        const auto before = ReadAll(wav);
        auto outcome = korvane::track::ImportAudioToTrackFile(wav, dir_ / "out" / "track.tmp");
        EXPECT_EQ(ReadAll(wav), before);
        if (!outcome.Ok()) {
            EXPECT_TRUE(fs::is_empty(dir_ / "out")) << outcome.detail;
        }
        return outcome;
    }
    ScopedMessageBoxes boxes_;
};

// The chunk layouts found in the wild and streamed files (sizes never filled in, read to
// the end with a warning) all give the track file the reader writes.
TEST_F(WavImportTest, WavsFromTheWildBecomeTheTrackFileTheReaderWrites) {
    const auto samples = Staircase(588 * 3 + 5);
    const WavChunk list{"LIST", std::vector<std::byte>(27, std::byte{'x'})};  // odd: padded
    const WavChunk fact{"fact", {std::byte{1}, std::byte{0}, std::byte{0}, std::byte{0}}};
    const struct {
        WavSpec spec;
        bool streamed;
    } cases[] = {
        {{.samples = samples}, false},
        {{.fmtBytes = 18, .samples = samples}, false},
        {{.samples = samples, .before = {list}, .after = {fact}}, false},
        {{.fmtBytes = 40, .samples = samples, .before = {fact}, .after = {list, list}}, false},
        {{.samples = samples, .riffSize = 0xFFFFFFFFu}, false},  // a writer that never finished the header
        {{.samples = samples, .riffSize = 0, .dataSize = 0}, true},
        {{.samples = samples, .riffSize = 0xFFFFFFFFu, .dataSize = 0xFFFFFFFFu}, true},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto outcome = Import(Wav(cases[i].spec));
        ASSERT_TRUE(outcome.Ok()) << i << ": " << outcome.detail;
        EXPECT_EQ(outcome.frames, 588u * 3 + 5) << i;
        EXPECT_EQ(outcome.sectorCount, 4u) << i;
        EXPECT_EQ(outcome.streamed, cases[i].streamed) << i;
        EXPECT_EQ(outcome.Warnings().size(), cases[i].streamed ? 1u : 0u) << i;
        EXPECT_EQ(ReadAll(dir_ / "out" / "track.tmp"), ExpectedTrackFile(samples)) << i;
    }
    // A data chunk of odd size: the trailing half sample is not a frame.
    auto odd = BuildWav({.samples = samples});
    odd.push_back(std::byte{0x11});
    odd[40] = std::byte(std::to_integer<int>(odd[40]) + 1);  // data size + 1
    WriteAll(dir_ / "odd.wav", odd);
    EXPECT_EQ(Import(dir_ / "odd.wav").frames, 588u * 3 + 5);
}

TEST_F(WavImportTest, MalformedFilesAreRefusedAndLeaveNothing) {
    const auto samples = Staircase(700);
    const auto good = BuildWav({.samples = samples});
    // What the decoder refuses to open (not audio, malformed), and what only the data
    // chunk's check finds (declared beyond the end of the file).
    std::vector<std::vector<std::byte>> broken = {
        {},                                                  // empty
        BuildWav({.samples = samples, .truncateTo = good.size() - 2}),        // truncated data
        BuildWav({.samples = samples, .dataSize = 0xFFFFFFF0u}),               // huge declared data
        BuildWav({.samples = samples, .before = {{"LIST", {}}}, .omitFmt = true}),  // no fmt
        BuildWav({.samples = samples, .omitData = true}),                     // no data
    };
    // A chunk before "data" that claims more bytes than the file has.
    auto hugeList = BuildWav({.samples = samples, .before = {{"LIST", std::vector<std::byte>(8)}}});
    hugeList[16] = std::byte{0xF0}, hugeList[17] = hugeList[18] = hugeList[19] = std::byte{0xFF};
    broken.push_back(hugeList);

    for (std::size_t i = 0; i < broken.size(); ++i) {
        const auto path = dir_ / ("broken" + std::to_string(i) + ".wav");
        WriteAll(path, broken[i]);
        const auto outcome = Import(path);
        EXPECT_EQ(outcome.error, ImportError::kMalformed) << i << ": " << outcome.detail;
        EXPECT_FALSE(outcome.detail.empty()) << i;
    }
}

// A write failing part way: the import reports it and leaves no partial file (the
// track-file writer's own test puts the failure at every write in turn).
TEST_F(WavImportTest, AFullDiskLeavesNoTrackFile) {
    const auto wav = Wav({.samples = Staircase(588 * 30)});
    korvane::track::ImportIo io;
    io.wrapSink = [](auto inner) {
        return std::make_unique<korvane::platform::FaultInjectingSink>(
            std::move(inner), korvane::platform::SinkFaults{.writeLimitBytes = 60'000});
    };
    fs::create_directories(dir_ / "out");
    EXPECT_EQ(korvane::track::ImportAudioToTrackFile(wav, dir_ / "out" / "track.tmp", io).error, ImportError::kCannotWrite);
    EXPECT_TRUE(fs::is_empty(dir_ / "out"));
    // An existing track file survives a failed import byte for byte.
    WriteAll(dir_ / "out" / "track.tmp", {std::byte{3}});
    io.wrapSink = [](auto inner) {
        return std::make_unique<korvane::platform::FaultInjectingSink>(std::move(inner),
                                                                       korvane::platform::SinkFaults{.failSync = true});
    };
    EXPECT_EQ(korvane::track::ImportAudioToTrackFile(wav, dir_ / "out" / "track.tmp", io).error, ImportError::kCannotWrite);
    EXPECT_EQ(ReadAll(dir_ / "out" / "track.tmp"), std::vector<std::byte>{std::byte{3}});
}

// A WAV opens as a document owning a temporary copy; any other file stays the user's.
TEST_F(WavImportTest, OpeningAWavCopiesItAndAnyOtherFileStaysTheUsers) {
    const auto temp = dir_ / "WINDOWS" / "TEMP";
    fs::create_directories(temp);
    const auto samples = Staircase(588);
    const auto wav = Wav({.samples = samples}, "kick.wav");
    const auto before = ReadAll(wav);
    std::vector<std::string> events;
    auto opened = korvane::track::OpenDocumentFile(wav, temp, {[&] { events.push_back("stop"); }, {}});
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->GetPathName().parent_path(), temp);
    EXPECT_TRUE(opened->GetPathName().filename().string().starts_with("~krvn"));
    EXPECT_EQ(opened->GetPathName().extension(), ".tmp");
    EXPECT_EQ(opened->GetTitle(), "kick.wav");
    EXPECT_EQ(ReadAll(opened->GetPathName()), ExpectedTrackFile(samples));
    opened.reset();  // closing the window
    EXPECT_EQ(events, std::vector<std::string>{"stop"});
    EXPECT_TRUE(fs::is_empty(temp));
    EXPECT_EQ(ReadAll(wav), before);

    const auto raw = dir_ / "track.raw";
    WriteAll(raw, std::vector<std::byte>(2646, std::byte{1}));
    EXPECT_TRUE(korvane::track::OpenDocumentFile(raw, dir_));  // opened, then closed at once
    EXPECT_EQ(ReadAll(raw), std::vector<std::byte>(2646, std::byte{1}));
    EXPECT_FALSE(korvane::track::OpenDocumentFile(dir_ / "missing.raw", dir_));
    EXPECT_EQ(boxes_.Shown().size(), 1u);
}

}  // namespace
