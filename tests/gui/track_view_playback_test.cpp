// The track view playing through the real player on the virtual sound device: a loop
// repeats the whole region and the play cursor follows the stream thread; with the
// sampler options on, a region sounds exactly as the export writes it. (A one-shot
// through the whole application is heard in app_e2e_test; what the view hands the
// player is checked with a fake player in track_view_test.)
#include "export/sampler_export.h"
#include "platform/sound/virtual_sound.h"
#include "platform/ui/ui.h"
#include "playback/sound_driver.h"
#include "playback/sound_player.h"
#include "track/view/sound_player_adapter.h"
#include "track_fixture.h"

#include <QListView>
#include <QtTest>
#include <algorithm>

using namespace korvane;
namespace ds = platform::sound;

namespace {
constexpr std::uint32_t kIntervalFrames = playback::SoundPlayer::kStreamBufferBytes / 32 / 4;
constexpr std::uint32_t kWaitMs = 20000;
}  // namespace

class TrackViewPlaybackTest : public QObject {
    Q_OBJECT
    std::shared_ptr<ds::VirtualSoundSystem> system_;
    std::unique_ptr<playback::SoundPlayer> sound_;
    std::unique_ptr<trackview::SoundPlayerAdapter> adapter_;
    std::unique_ptr<testing::ViewRig> rig_;

    void Step() {
        const std::uint64_t before = sound_->StreamWakeCount();
        system_->LastOutput()->Advance(kIntervalFrames);
        QVERIFY(sound_->WaitForStreamWakes(before + 1, kWaitMs));
    }
    void StartedPlaying() {
        for (std::uint32_t waited = 0; waited < kWaitMs; waited += 50) {
            if (system_->LastOutput()->WaitUntilPlaying(50) || !sound_->IsStreaming()) return;
        }
        QFAIL("the stream never started");
    }
    // The shortest region, so a loop comes round in few steps.
    int ShortestRegion() const {
        const auto& r = rig_->view->Regions();
        return static_cast<int>(std::min_element(r.begin(), r.end(), [](const Region& a, const Region& b) {
                                    return a.length < b.length;
                                }) - r.begin());
    }

private slots:
    void init() {
        platform::SetMessageBoxHandler(std::make_shared<platform::ScriptedMessageBoxes>());
        ds::VirtualSoundSystem::Options options;
        options.record = true;
        system_ = std::make_shared<ds::VirtualSoundSystem>(std::move(options));
        ds::SetSoundSystem(system_);
        playback::SoundDrivers().Clear();
        sound_ = std::make_unique<playback::SoundPlayer>();
        sound_->OpenDevice("", nullptr);
        adapter_ = std::make_unique<trackview::SoundPlayerAdapter>(*sound_);
        rig_ = std::make_unique<testing::ViewRig>(testing::DemoOverview(30.0, 3), QSize(800, 300), adapter_.get());
        rig_->view->OnActivateView(true);
        QVERIFY(rig_->view->Regions().size() >= 2);
    }
    void cleanup() {
        rig_.reset();
        adapter_.reset();
        sound_.reset();
        ds::SetSoundSystem(nullptr);
        playback::SoundDrivers().Clear();
        platform::SetMessageBoxHandler(nullptr);
    }

    void playLoopedRepeatsTheWholeRegion() {
        const int row = ShortestRegion();
        const Region r = rig_->view->Regions()[static_cast<std::size_t>(row)];
        rig_->view->SelectRegions({row});
        rig_->view->PlayRegionLooped();
        StartedPlaying();
        const std::uint64_t regionFrames = std::uint64_t{r.length} * 4;
        const int steps = static_cast<int>(regionFrames / kIntervalFrames) + 6;
        for (int i = 0; i < steps; ++i) Step();
        QVERIFY(sound_->IsStreaming());  // a loop does not end by itself
        // The play cursor follows the stream inside the region.
        QTRY_VERIFY(rig_->control->cursorPosition() >= static_cast<std::int32_t>(r.start));
        QVERIFY(rig_->control->cursorPosition() < static_cast<std::int32_t>(r.start + r.length));
        const std::vector<std::int16_t> heard = system_->LastOutput()->Recording();
        QVERIFY(heard.size() > (regionFrames + 2 * kIntervalFrames) * 2);
        // After the region's last frame its first frame comes again.
        for (std::uint64_t frame = regionFrames; frame < regionFrames + kIntervalFrames; frame += 31)
            QCOMPARE(heard[frame * 2], testing::StairValue(r.start + (frame - regionFrames) / 4));
        rig_->view->StopPlayback();
        QVERIFY(!sound_->IsStreaming());
    }

    void playOnceWithSamplerOptionsSoundsAsExported() {
        const int row = ShortestRegion();
        const sampler::SamplerOptions options{.trim = true, .zeroCrossMs = 3, .fadeInMs = 2, .fadeOutMs = 20};
        rig_->view->SetSamplerPlayback(options);
        rig_->view->SelectRegions({row});
        rig_->view->PlayRegionOnce();
        StartedPlaying();
        for (int i = 0; i < 400 && sound_->IsStreaming(); ++i) Step();
        QVERIFY(sound_->WaitForStreamEnd(kWaitMs));
        std::uint64_t first = 0;
        const auto exported = wavexport::ShapedRegionAudio(rig_->Path("track1.tmp"), rig_->view->Regions(),
                                                           static_cast<std::size_t>(row), rig_->settings.thresholdDb,
                                                           rig_->settings.releaseMs, options, first);
        QCOMPARE(exported.front(), std::int16_t{0});  // faded in: not the plain region's first sample
        const std::vector<std::int16_t> heard = system_->LastOutput()->Recording();
        QVERIFY(heard.size() >= exported.size());
        QVERIFY(std::equal(exported.begin(), exported.end(), heard.begin()));
    }
};

QTEST_MAIN(TrackViewPlaybackTest)
#include "track_view_playback_test.moc"
