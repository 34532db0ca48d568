#pragma once
// Read offsets per drive model, kept in the registry beside the application's settings:
// HKLM "Software\Quorvix\Korvane\DriveOffsets", one REG_DWORD per model, named
// "<vendor> <product>" (the INQUIRY fields with their blanks trimmed), holding the
// offset in samples as a two's-complement 32-bit number.
//
// Thread contract: any one thread at a time (the registry store serialises writes).
#include "cdda/cd_reader.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvane::platform {
class RegistryStore;
}

namespace korvane::cdda {

inline constexpr char kDriveOffsetsKey[] = "Software\\Quorvix\\Korvane\\DriveOffsets";
// Offsets beyond ten sectors either way are no drive's: refused as input.
inline constexpr std::int32_t kMaxOffsetSamples = 5'880;

// "<vendor> <product>" with the fields' blanks trimmed ("HL-DT-ST DVDRAM GH24NSD1").
std::string DriveModel(const CDDrive& drive);

// The stored offset of `model`; nullopt when none is stored or the store cannot be read.
std::optional<std::int32_t> LoadDriveOffset(platform::RegistryStore& store, std::string_view model);
// Stores the offset of `model`. Throws platform::RegistryError when the store fails and
// std::invalid_argument for an offset beyond kMaxOffsetSamples.
void SaveDriveOffset(platform::RegistryStore& store, std::string_view model, std::int32_t offsetSamples);

}  // namespace korvane::cdda
