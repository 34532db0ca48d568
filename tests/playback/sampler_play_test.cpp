// What you hear is what you export: a region shaped for a sampler (zero-crossing cuts,
// fades) played through the virtual sound device gives exactly the exported samples.
#include "export/sampler_export.h"
#include "playback/region_player.h"
#include "playback_fixture.h"
#include "tests/support/audio_files.h"

#include <cmath>
#include <cstring>

namespace korvane::playback::testing {
namespace {

class SamplerPlayTest : public PlaybackTest {
protected:
    korvane::testing::TempDir temp_;
    const std::filesystem::path dir_ = temp_.Path();
};

TEST_F(SamplerPlayTest, AShapedRegionSoundsExactlyAsItsExportedFile) {
    std::vector<std::int16_t> stereo(2 * 88200);
    for (std::size_t i = 0; i < stereo.size(); ++i) stereo[i] = static_cast<std::int16_t>(15000 * std::sin(i * 0.0123));
    const auto track = dir_ / "track.tmp";
    korvane::testing::WriteTrackFile(track, stereo);
    wavexport::SamplerExportRequest request;
    request.regions = {{100, 5000, 0}, {5100, 12000, 0}};
    request.plain.trackFile = track;
    request.plain.selectedLines = {1};
    request.plain.regionAt = [&](std::size_t l) {
        return wavexport::RegionBounds{request.regions[l].start, request.regions[l].length};
    };
    request.plain.chosenPath = (dir_ / "snare.wav").string();
    request.options = {.zeroCrossMs = 3, .fadeInMs = 2, .fadeOutMs = 20, .smpl = true};
    ASSERT_TRUE(wavexport::ExportForSampler(request).Ok());
    const auto file = korvane::testing::ReadAll(dir_ / "snare.wav");
    std::vector<std::int16_t> exported((file.size() - 46 - 68) / 2);  // the header, the smpl chunk
    std::memcpy(exported.data(), file.data() + 46, exported.size() * 2);

    std::uint64_t first = 0;
    RegionPlayer regions(Player());
    auto audio = wavexport::ShapedRegionAudio(track, request.regions, 1, 0, 0, request.options, first);
    regions.PlayAudio(std::move(audio), static_cast<std::uint32_t>(first), false);
    StartedPlaying();
    ASSERT_TRUE(StepUntilEnd(100));
    const auto heard = Output()->Recording();
    ASSERT_GE(heard.size(), exported.size());
    EXPECT_TRUE(std::equal(exported.begin(), exported.end(), heard.begin()));
    EXPECT_EQ(regions.RegionStartFrame(), first);
}

}  // namespace
}  // namespace korvane::playback::testing
