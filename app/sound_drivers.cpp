#include "app/sound_drivers.h"

#include "playback/sound_driver.h"

namespace korvane::app {

std::vector<DriverChoice> EnumeratedDriverChoices() {
    auto& drivers = playback::SoundDrivers();
    if (drivers.Count() == 0) playback::EnumerateDrivers();
    std::vector<DriverChoice> choices;
    const auto n = drivers.Count();
    choices.reserve(static_cast<std::size_t>(n));
    for (std::int32_t i = 0; i < n; ++i) {
        const playback::SoundDriver& d = drivers.At(i);
        choices.push_back({d.description, d.hasGuid != 0});
    }
    return choices;
}

}  // namespace korvane::app
