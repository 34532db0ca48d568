#include "track/track_file_writer.h"

#include "tests/support/audio_files.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using namespace korvane::testing;
using korvane::platform::CreateMode;
using korvane::platform::FaultInjectingSink;
using korvane::platform::FileSink;
using korvane::platform::IoError;
using korvane::platform::MemorySink;
using korvane::platform::SinkFaults;
using korvane::track::TrackFileWriter;

TEST(TrackFileWriter, LaysOutWholeSectorsAndTheOverviewAsTheReaderDoes) {
    // A bit more than two batches of 1,536 sectors (the last sector padded), appended in
    // uneven pieces across the batch ends.
    const std::size_t sectors = 2 * 1536 + 49;
    const std::size_t frames = 588 * sectors + 100;
    const auto stereo = Staircase(frames);
    TempDir dir;
    TrackFileWriter writer(std::make_unique<FileSink>(dir.Path() / "track", CreateMode::kExclusive), frames);
    for (std::size_t at = 0; at < frames;) {
        const std::size_t n = std::min<std::size_t>(frames - at, 1001 + at % 777);
        writer.AppendStereo(std::span(stereo).subspan(2 * at, 2 * n));
        at += n;
    }
    writer.Finish();
    EXPECT_EQ(writer.SectorCount(), sectors + 1);
    EXPECT_EQ(ReadAll(dir.Path() / "track"), ExpectedTrackFile(stereo));
}

TEST(TrackFileWriter, RefusesMoreOrFewerFramesThanAnnounced) {
    TrackFileWriter writer(std::make_unique<MemorySink>(), 10);
    const std::vector<std::int16_t> eleven(22);
    EXPECT_THROW(writer.AppendStereo(eleven), std::length_error);
    writer.AppendStereo(std::span(eleven).first(18));
    EXPECT_THROW(writer.Finish(), std::logic_error);
    TrackFileWriter empty(std::make_unique<MemorySink>(), 0);
    empty.Finish();
    EXPECT_EQ(empty.SectorCount(), 0u);
}

// One write that fails while the ones after it succeed (a transient error) is reported
// wherever it falls: the audio or the overview, a full batch or the padded last one.
TEST(TrackFileWriter, EveryFailedWriteReachesTheCaller) {
    const std::size_t frames = 588 * (1536 + 49);
    const auto stereo = Staircase(frames);
    for (std::uint64_t call = 1;; ++call) {
        auto sink = std::make_unique<FaultInjectingSink>(std::make_unique<MemorySink>(),
                                                         SinkFaults{.failWriteCall = call});
        const FaultInjectingSink& counted = *sink;
        std::optional<TrackFileWriter> writer;
        bool reported = false;
        try {
            writer.emplace(std::move(sink), frames);
            writer->AppendStereo(stereo);
            writer->Finish();
        } catch (const IoError&) {
            reported = true;
        }
        if (!reported && counted.WriteCalls() < call) break;  // every write call was tried
        EXPECT_TRUE(reported) << "write call " << call;
    }
}

}  // namespace
