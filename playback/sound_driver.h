#pragma once
// The driver list: one process-wide ChainedList of SoundDriver records, filled by
// EnumerateDrivers in the order the sound layer reports them (the primary driver
// first, without GUID). Nothing de-duplicates: two enumerations list every driver twice.
//
// Thread contract: UI thread only (filled at start-up, read afterwards).
#include "platform/sound/sound.h"
#include "regions/chained_list.h"

#include <cstdint>
#include <string>

namespace korvane::playback {

struct SoundDriver {
    std::string description;        // as enumeration reported it; also the stored setting
    platform::sound::Guid guid{};   // meaningful only when hasGuid is 1
    std::int32_t hasGuid = 0;
};

// The process-wide list; empty at start, freed at process exit.
ChainedList<SoundDriver>& SoundDrivers();

// Appends every driver the sound layer reports to SoundDrivers().
void EnumerateDrivers();

}  // namespace korvane::playback
