#include "playback/sound_driver.h"

#include "playback/dsound_exception.h"

namespace korvane::playback {

const char* DSoundException::what() const noexcept {
    switch (code) {
        case kOpenDevice: return "could not open the sound device (DSoundException 4)";
        case kCreateStreamBuffer: return "could not create the streaming buffer (DSoundException 6)";
        case kLockStreamBuffer: return "could not set notifications or lock the streaming buffer (DSoundException 9)";
        case kUnlockStreamBuffer: return "could not unlock the streaming buffer (DSoundException 10)";
        case kSetPlayPosition: return "could not set the play position (DSoundException 11)";
        case kDeviceFailed: return "the sound device failed while playing (DSoundException 12)";
        default: return "sound output failed (DSoundException)";
    }
}

ChainedList<SoundDriver>& SoundDrivers() {
    static ChainedList<SoundDriver> drivers;
    return drivers;
}

void EnumerateDrivers() {
    auto& drivers = SoundDrivers();
    platform::sound::DirectSoundEnumerate(
        [&drivers](const platform::sound::Guid* guid, std::string_view description, std::string_view) {
            auto driver = std::make_unique<SoundDriver>();
            driver->description = std::string(description);
            if (guid != nullptr) {
                driver->guid = *guid;
                driver->hasGuid = 1;
            }
            drivers.Append(std::move(driver));
            return true;
        });
}

}  // namespace korvane::playback
