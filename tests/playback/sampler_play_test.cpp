// What you hear is what you export: a region shaped for a sampler (zero-crossing cuts,
// fades) played through the virtual sound device gives exactly the exported samples.
#include "export/sampler_export.h"
#include "playback/region_player.h"
#include "playback_fixture.h"
#include "tests/support/audio_files.h"

#include <cmath>

namespace korvane::playback::testing {
namespace {

// SamplerExportTest.ShapedFilesCarryLoops... proves each exported file holds
// ShapedRegionAudio; here that audio is what the device plays.
TEST_F(PlaybackTest, AShapedRegionSoundsExactlyAsItsExportedFile) {
    std::vector<std::int16_t> stereo(2 * 88200);
    for (std::size_t i = 0; i < stereo.size(); ++i) stereo[i] = static_cast<std::int16_t>(15000 * std::sin(i * 0.0123));
    korvane::testing::TempDir dir;
    const auto track = dir.Path() / "track.tmp";
    korvane::testing::WriteTrackFile(track, stereo);
    const std::vector<Region> regions{{100, 5000, 0}, {5100, 12000, 0}};
    const sampler::SamplerOptions options{.zeroCrossMs = 3, .fadeInMs = 2, .fadeOutMs = 20, .smpl = true};
    std::uint64_t first = 0;
    const auto exported = wavexport::ShapedRegionAudio(track, regions, 1, 0, 0, options, first);
    ASSERT_GT(exported.size(), 2u * 4 * 12000 - 2 * 4 * 300);  // the cuts moved by at most 3 ms
    EXPECT_EQ(exported.front(), 0);  // faded in

    RegionPlayer player(Player());
    PositionLog log;
    player.SetCursorCallback(&PositionLog::Record, &log);
    player.PlayAudio(exported, static_cast<std::uint32_t>(first), false);
    StartedPlaying();
    ASSERT_TRUE(StepUntilEnd(100));
    ExpectHeardThenSilence(exported);
    const auto cursors = log.Take();  // overview samples of the track, inside the shaped audio
    ASSERT_FALSE(cursors.empty());
    EXPECT_GE(cursors.front(), first / 4);
    EXPECT_LE(cursors.back(), (first + exported.size() / 2) / 4);
}

}  // namespace
}  // namespace korvane::playback::testing
