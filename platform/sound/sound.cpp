#include "platform/sound/sound.h"

#include "platform/sound/virtual_sound.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string_view>

namespace korvane::platform::sound {

std::string Guid::ToString() const {
    char text[39];
    std::snprintf(text, sizeof text,
                  "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", bytes[0],
                  bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8], bytes[9],
                  bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return text;
}

Guid StableGuid(std::string_view name) noexcept {
    // Two FNV-1a passes with different offset bases give 128 bits; the version and
    // variant bits mark it as a name-based identifier.
    auto fnv = [&](std::uint64_t hash) {
        for (unsigned char c : name) {
            hash ^= c;
            hash *= 0x100000001B3ull;
        }
        return hash;
    };
    const std::uint64_t high = fnv(0xCBF29CE484222325ull);
    const std::uint64_t low = fnv(0x84222325CBF29CE4ull ^ name.size());
    Guid guid;
    for (int i = 0; i < 8; ++i) {
        guid.bytes[i] = static_cast<std::uint8_t>(high >> (56 - 8 * i));
        guid.bytes[8 + i] = static_cast<std::uint8_t>(low >> (56 - 8 * i));
    }
    guid.bytes[6] = static_cast<std::uint8_t>((guid.bytes[6] & 0x0F) | 0x50);
    guid.bytes[8] = static_cast<std::uint8_t>((guid.bytes[8] & 0x3F) | 0x80);
    return guid;
}

WaveFormat PcmFormat(std::uint32_t samplesPerSec, std::uint16_t channels, std::uint16_t bitsPerSample) noexcept {
    WaveFormat f;
    f.formatTag = kWaveFormatPcm;
    f.channels = channels;
    f.samplesPerSec = samplesPerSec;
    f.bitsPerSample = bitsPerSample;
    f.blockAlign = static_cast<std::uint16_t>(channels * bitsPerSample / 8);
    f.avgBytesPerSec = f.blockAlign * samplesPerSec;
    f.extraBytes = 0;
    return f;
}

namespace {

std::mutex systemMutex;
std::shared_ptr<SoundSystem> overrideSystem;
std::shared_ptr<SoundSystem> automaticSystem;

std::shared_ptr<SoundSystem> ChooseAutomatically() {
    const char* choice = std::getenv("KORVANE_AUDIO");
    if (choice == nullptr || std::string_view(choice) != "null") {
        if (auto real = MakePortAudioSoundSystem()) return real;
    }
    VirtualSoundSystem::Options options;
    options.realTimeClock = true;
    return std::make_shared<VirtualSoundSystem>(std::move(options));
}

}  // namespace

std::shared_ptr<SoundSystem> CurrentSoundSystem() {
    std::lock_guard lock(systemMutex);
    if (overrideSystem) return overrideSystem;
    if (!automaticSystem) automaticSystem = ChooseAutomatically();
    return automaticSystem;
}

std::shared_ptr<SoundSystem> SetSoundSystem(std::shared_ptr<SoundSystem> system) {
    std::lock_guard lock(systemMutex);
    std::swap(overrideSystem, system);
    return system;
}

HResult DirectSoundEnumerate(const DriverCallback& callback) {
    if (!callback) return kDsErrInvalidParam;
    for (const DriverInfo& driver : CurrentSoundSystem()->Drivers()) {
        const Guid* guid = driver.guid ? &*driver.guid : nullptr;
        if (!callback(guid, driver.description, driver.module)) break;
    }
    return kDsOk;
}

HResult DirectSoundCreate(const Guid* guid, std::unique_ptr<SoundDevice>& device) {
    return CurrentSoundSystem()->CreateDevice(guid, device);
}

}  // namespace korvane::platform::sound
