#include "track/view/sound_player_adapter.h"

#include "platform/ui/ui.h"
#include "playback/sound_player.h"
#include "resources/strings.h"

#include <exception>
#include <span>
#include <string>

namespace korvane::trackview {
namespace {

void ReportRefusedStart(const char* what) {
    platform::MessageBox(std::string("The region could not be played:\n") + what, resources::kAppTitle,
                         platform::kMbOk | platform::kMbIconWarning);
}

}  // namespace

void SoundPlayerAdapter::StopPlayback() { player_.StopPlayback(); }

void SoundPlayerAdapter::PlayOnce(const std::int16_t* source, std::uint32_t frameCount, std::uint32_t rateHz,
                                  std::uint32_t channels, PositionCallback callback, void* user) {
    try {
        player_.SetPositionCallback(callback, user);
        player_.PlayOnce(std::span<const std::int16_t>(source, std::size_t{frameCount} * channels), frameCount,
                         rateHz == 22050, channels == 2);
    } catch (const std::exception& error) {
        ReportRefusedStart(error.what());
    }
}

void SoundPlayerAdapter::PlayLoop(const std::int16_t* source, std::uint32_t frameCount, std::uint32_t rateHz,
                                  std::uint32_t channels, std::uint32_t loopStart, std::uint32_t loopLength,
                                  PositionCallback callback, void* user) {
    try {
        player_.SetPositionCallback(callback, user);
        player_.PlayLoop(std::span<const std::int16_t>(source, std::size_t{frameCount} * channels), frameCount,
                         rateHz == 22050, channels == 2, loopStart, loopLength);
    } catch (const std::exception& error) {
        ReportRefusedStart(error.what());
    }
}

}  // namespace korvane::trackview
