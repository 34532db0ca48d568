// RegionPlayer: regions are loaded from the audio part of a track file, heard exactly,
// and the cursor reported in overview samples inside the region.
#include "playback/region_player.h"
#include "playback_fixture.h"
#include "tests/support/audio_files.h"

#include <filesystem>
#include <unistd.h>

namespace korvane::playback::testing {
namespace {

constexpr std::uint32_t kSectors = 200;
constexpr std::uint32_t kAudioBytes = kSectors * 2352;

class RegionPlayerTest : public PlaybackTest {
protected:
    void SetUp() override {
        PlaybackTest::SetUp();
        track_ = dir_.Path() / "track.tmp";
        audio_ = Staircase(kAudioBytes / 2, 3);
        korvane::testing::WriteTrackFile(track_, audio_);
    }
    std::vector<std::int16_t> RawValues(const Region& r) const {
        return {audio_.begin() + r.start * 8, audio_.begin() + (r.start + r.length) * 8};
    }

    korvane::testing::TempDir dir_;
    std::filesystem::path track_;
    std::vector<std::int16_t> audio_;
};

// The cursor, in overview samples, stays inside the region played.
bool Inside(const std::vector<std::uint32_t>& cursors, const Region& r) {
    return !cursors.empty() && std::all_of(cursors.begin(), cursors.end(), [&](std::uint32_t c) {
        return c >= r.start && c < r.start + r.length;
    });
}

TEST_F(RegionPlayerTest, OneShotPlaysTheRegionsRawBytesThenSilence) {
    RegionPlayer regions(Player());
    PositionLog log;
    regions.SetCursorCallback(&PositionLog::Record, &log);
    const Region region{1234, 20000, 0};  // 80,000 frames: several buffers
    regions.PlayRegionOnce(track_, region);
    StartedPlaying();
    ASSERT_TRUE(StepUntilEnd(100));
    ExpectHeardThenSilence(RawValues(region));
    const auto cursors = log.Take();
    EXPECT_TRUE(std::is_sorted(cursors.begin(), cursors.end()));
    EXPECT_TRUE(Inside(cursors, region));
}

TEST_F(RegionPlayerTest, LoopedRegionRepeatsAndItsCursorStaysInside) {
    RegionPlayer regions(Player());
    PositionLog log;
    regions.SetCursorCallback(&PositionLog::Record, &log);
    const Region region{7000, 3000, 0};  // 12,000 frames
    regions.PlayRegionLooped(track_, region);
    StartedPlaying();
    Steps(80);
    regions.StopPlayback();
    const auto expected = RawValues(region);
    const auto heard = Output()->Recording();
    ASSERT_EQ(heard.size(), 80u * 2 * kIntervalFrames);
    for (std::size_t i = 0; i < heard.size(); ++i) ASSERT_EQ(heard[i], expected[i % expected.size()]) << i;
    EXPECT_TRUE(Inside(log.Take(), region));
}

TEST_F(RegionPlayerTest, RegionsOutsideTheAudioAreRefusedAndAnEmptyOnePlaysSilence) {
    RegionPlayer regions(Player());
    regions.PlayRegionLooped(track_, Region{0, 1000, 0});
    StartedPlaying();
    const std::uint32_t overviewSamples = kAudioBytes / 16;
    // The overview part must never be played as audio.
    EXPECT_THROW(regions.PlayRegionOnce(track_, Region{overviewSamples - 10, 11, 0}), std::out_of_range);
    EXPECT_FALSE(Player().IsStreaming());
    EXPECT_THROW(regions.PlayRegionOnce(dir_.Path() / "missing.tmp", Region{0, 10, 0}), std::runtime_error);

    // The looped region never played a frame: the clock did not move.
    const Region last{overviewSamples - 10, 10, 0};
    regions.PlayRegionOnce(track_, last);
    StartedPlaying();
    ASSERT_TRUE(StepUntilEnd(16));
    ExpectHeardThenSilence(RawValues(last));

    // An empty region plays silence and ends by itself.
    Output()->ClearRecording();
    regions.PlayRegionOnce(track_, Region{500, 0, 0});
    StartedPlaying();
    ASSERT_TRUE(StepUntilEnd(16));
    ExpectHeardThenSilence({});
    EXPECT_FALSE(Player().TakeStreamError().has_value());
}

TEST(RegionPlayerCursor, PositionsMapToOverviewSamples) {
    EXPECT_EQ(RegionPlayer::OverviewCursor(0, 4000), 1000u);
    EXPECT_EQ(RegionPlayer::OverviewCursor(7, 4000), 1000u);
    EXPECT_EQ(RegionPlayer::OverviewCursor(8, 4000), 1001u);
    EXPECT_EQ(TrackAudioBytes(9 * 2352), 8u * 2352);
}

}  // namespace
}  // namespace korvane::playback::testing
