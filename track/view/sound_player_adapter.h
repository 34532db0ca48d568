#pragma once
// The track view's region player over the playback layer's SoundPlayer.
//
// Thread contract: UI thread (as SoundPlayer). The position callback is installed on the
// player before every start and runs on its stream thread. A start that the player
// refuses (no device, a source too short for the frames) plays nothing and is reported
// in a message box; it never throws into the view.
#include "track/view/region_player.h"

namespace korvane::playback {
class SoundPlayer;
}

namespace korvane::trackview {

class SoundPlayerAdapter final : public RegionPlayer {
public:
    explicit SoundPlayerAdapter(playback::SoundPlayer& player) noexcept : player_(player) {}

    void StopPlayback() override;
    void PlayOnce(const std::int16_t* source, std::uint32_t frameCount, std::uint32_t rateHz, std::uint32_t channels,
                  PositionCallback callback, void* user) override;
    void PlayLoop(const std::int16_t* source, std::uint32_t frameCount, std::uint32_t rateHz, std::uint32_t channels,
                  std::uint32_t loopStart, std::uint32_t loopLength, PositionCallback callback, void* user) override;

private:
    playback::SoundPlayer& player_;
};

}  // namespace korvane::trackview
