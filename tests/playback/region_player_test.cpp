// RegionPlayer: regions are loaded from the audio part of a track file, heard exactly,
// and the cursor reported in overview samples inside the region.
#include "playback/region_player.h"
#include "playback_fixture.h"
#include "tests/support/temp_dir.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace korvane::playback::testing {
namespace {

constexpr std::uint32_t kSectors = 200;
constexpr std::uint32_t kAudioBytes = kSectors * 2352;

struct CursorLog {
    std::mutex mutex;
    std::vector<std::uint32_t> cursors;
    static void Record(std::uint32_t cursor, void* user) {
        auto* log = static_cast<CursorLog*>(user);
        std::lock_guard lock(log->mutex);
        log->cursors.push_back(cursor);
    }
};

class RegionPlayerTest : public PlaybackTest {
protected:
    void SetUp() override {
        PlaybackTest::SetUp();
        track_ = dir_.Path() / "track.tmp";
        audio_ = Staircase(kAudioBytes / 2, 3);
        std::ofstream out(track_, std::ios::binary);
        out.write(reinterpret_cast<const char*>(audio_.data()), kAudioBytes);
        const std::vector<char> overview(kAudioBytes / 8, 0x11);  // 294 bytes per sector
        out.write(overview.data(), static_cast<std::streamsize>(overview.size()));
    }
    std::vector<std::int16_t> RawValues(const Region& r) const {
        return {audio_.begin() + r.start * 8, audio_.begin() + (r.start + r.length) * 8};
    }

    korvane::testing::TempDir dir_;
    std::filesystem::path track_;
    std::vector<std::int16_t> audio_;
};

TEST_F(RegionPlayerTest, OneShotPlaysTheRegionsRawBytesThenSilence) {
    RegionPlayer regions(Player());
    CursorLog log;
    regions.SetCursorCallback(&CursorLog::Record, &log);
    const Region region{1234, 20000, 0};  // 80,000 frames: several buffers
    regions.PlayRegionOnce(track_, region);
    StartedPlaying();
    ASSERT_TRUE(StepUntilEnd(100));
    const auto expected = RawValues(region);
    const auto heard = Output()->Recording();
    ASSERT_GE(heard.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), heard.begin()));
    EXPECT_TRUE(std::all_of(heard.begin() + static_cast<std::ptrdiff_t>(expected.size()), heard.end(),
                            [](std::int16_t v) { return v == 0; }));
    std::lock_guard lock(log.mutex);
    ASSERT_FALSE(log.cursors.empty());
    EXPECT_TRUE(std::is_sorted(log.cursors.begin(), log.cursors.end()));
    for (std::uint32_t c : log.cursors) {
        EXPECT_GE(c, region.start);
        EXPECT_LT(c, region.start + region.length);
    }
}

TEST_F(RegionPlayerTest, LoopedRegionRepeatsAndItsCursorStaysInside) {
    RegionPlayer regions(Player());
    CursorLog log;
    regions.SetCursorCallback(&CursorLog::Record, &log);
    const Region region{7000, 3000, 0};  // 12,000 frames
    regions.PlayRegionLooped(track_, region);
    StartedPlaying();
    Steps(80);
    regions.StopPlayback();
    const auto expected = RawValues(region);
    const auto heard = Output()->Recording();
    ASSERT_EQ(heard.size(), 80u * 2 * kIntervalFrames);
    for (std::size_t i = 0; i < heard.size(); ++i) ASSERT_EQ(heard[i], expected[i % expected.size()]) << i;
    std::lock_guard lock(log.mutex);
    ASSERT_FALSE(log.cursors.empty());
    int wraps = 0;
    for (std::size_t i = 0; i < log.cursors.size(); ++i) {
        EXPECT_GE(log.cursors[i], region.start);
        EXPECT_LT(log.cursors[i], region.start + region.length);
        if (i > 0 && log.cursors[i] < log.cursors[i - 1]) ++wraps;
    }
    EXPECT_GE(wraps, 3);
}

TEST_F(RegionPlayerTest, RegionsOutsideTheAudioAreRefusedAfterStoppingThePreviousStream) {
    RegionPlayer regions(Player());
    regions.PlayRegionLooped(track_, Region{0, 1000, 0});
    StartedPlaying();
    const std::uint32_t overviewSamples = kAudioBytes / 16;
    // The overview part must never be played as audio.
    EXPECT_THROW(regions.PlayRegionOnce(track_, Region{overviewSamples - 10, 11, 0}), std::out_of_range);
    EXPECT_FALSE(Player().IsStreaming());
    EXPECT_THROW(regions.PlayRegionOnce(dir_.Path() / "missing.tmp", Region{0, 10, 0}), std::runtime_error);
    EXPECT_EQ(regions.RegionAudio().size(), 8000u);  // the last good region stays loaded

    regions.PlayRegionOnce(track_, Region{overviewSamples - 10, 10, 0});  // the last samples
    StartedPlaying();
    ASSERT_TRUE(StepUntilEnd(16));
    const auto heard = Output()->Recording();
    const auto expected = RawValues(Region{overviewSamples - 10, 10, 0});
    ASSERT_GE(heard.size(), expected.size());
    // The recording holds the looped region first, then this one.
    EXPECT_TRUE(std::search(heard.begin(), heard.end(), expected.begin(), expected.end()) != heard.end());
}

TEST_F(RegionPlayerTest, EmptyRegionPlaysSilenceAndEnds) {
    RegionPlayer regions(Player());
    regions.PlayRegionOnce(track_, Region{500, 0, 0});
    StartedPlaying();
    ASSERT_TRUE(StepUntilEnd(16));
    const auto heard = Output()->Recording();
    EXPECT_TRUE(std::all_of(heard.begin(), heard.end(), [](std::int16_t v) { return v == 0; }));
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
