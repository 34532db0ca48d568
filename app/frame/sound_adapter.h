#pragma once
// The track view's player interface over the playback layer's SoundPlayer: the view
// hands over the region buffer with its format, the adapter sets the position callback
// and starts the stream. Thread contract as trackview::RegionPlayer: UI thread; the
// callback runs on the stream thread.
#include "playback/sound_player.h"
#include "track/view/region_player.h"

namespace korvane::app {

class SoundPlayerAdapter : public trackview::RegionPlayer {
public:
    explicit SoundPlayerAdapter(playback::SoundPlayer& player) : player_(player) {}

    void StopPlayback() override { player_.StopPlayback(); }
    void PlayOnce(const std::int16_t* source, std::uint32_t frameCount, std::uint32_t rateHz,
                  std::uint32_t channels, PositionCallback callback, void* user) override {
        player_.StopPlayback();
        player_.SetPositionCallback(callback, user);
        player_.PlayOnce({source, std::size_t{frameCount} * channels}, frameCount, rateHz == 22050, channels == 2);
    }
    void PlayLoop(const std::int16_t* source, std::uint32_t frameCount, std::uint32_t rateHz,
                  std::uint32_t channels, std::uint32_t loopStart, std::uint32_t loopLength,
                  PositionCallback callback, void* user) override {
        player_.StopPlayback();
        player_.SetPositionCallback(callback, user);
        player_.PlayLoop({source, std::size_t{frameCount} * channels}, frameCount, rateHz == 22050, channels == 2,
                         loopStart, loopLength);
    }

    playback::SoundPlayer& player() const noexcept { return player_; }

private:
    playback::SoundPlayer& player_;
};

}  // namespace korvane::app
