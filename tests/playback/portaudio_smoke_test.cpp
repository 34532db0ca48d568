// Real output through PortAudio: a short tone on the default device. Skipped when
// PortAudio lists no output device (as on build machines).
#include "platform/sound/sound.h"
#include "playback/sound_driver.h"
#include "playback/sound_player.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace korvane::playback {
namespace {

TEST(PortAudioSmoke, PlaysAShortToneOnTheDefaultDevice) {
    auto system = platform::sound::MakePortAudioSoundSystem();
    if (!system) GTEST_SKIP() << "no PortAudio output device";
    auto previous = platform::sound::SetSoundSystem(system);
    SoundDrivers().Clear();
    {
        SoundPlayer player;
        try {
            player.OpenDevice("", nullptr);
        } catch (const DSoundException& e) {
            platform::sound::SetSoundSystem(previous);
            GTEST_SKIP() << "the device could not be opened: " << e.what();
        }
        std::vector<std::int16_t> tone(2 * 11025);  // 0.25 s, quiet
        for (std::size_t i = 0; i < tone.size() / 2; ++i)
            tone[2 * i] = tone[2 * i + 1] = static_cast<std::int16_t>(2000 * std::sin(i * 2 * M_PI * 440 / 44100));
        player.PlayOnce(tone, 11025, false, true);
        const bool ended = player.WaitForStreamEnd(10000);
        player.StopPlayback();
        const auto error = player.TakeStreamError();
        if (error && error->code == DSoundException::kDeviceFailed) {
            platform::sound::SetSoundSystem(previous);
            GTEST_SKIP() << "the device refused to play: " << error->what();
        }
        EXPECT_TRUE(ended) << "the one-shot did not end on a real device";
        EXPECT_FALSE(error.has_value());
    }
    SoundDrivers().Clear();
    platform::sound::SetSoundSystem(previous);
}

}  // namespace
}  // namespace korvane::playback
