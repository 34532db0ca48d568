#pragma once
// The registry's SCSI device tree, HKLM "Enum\SCSI", as Windows 9x keeps it: one key
// per device model, one subkey per device instance with "Manufacturer", "ProductId",
// "RevisionLevel", "SCSITargetID", "SCSILUN", "CurrentDriveLetterAssignment", "Class"
// and "DeviceDesc". On this system the tree is synthesized from what our ASPI manager
// reports, so drive discovery finds the letters exactly as it would on Windows.
#include "platform/aspi/aspi.h"

#include <span>
#include <string>

namespace korvane::platform {
class RegistryStore;
}

namespace korvane::cdda {

inline constexpr const char* kScsiEnumKey = "Enum\\SCSI";

// The model key name of a device: vendor and product, blanks trimmed, joined by '_',
// inner blanks as '_' ("KORVANE_Virtual_CD-ROM").
std::string ScsiModelKeyName(const aspi::KorvaneAspiDevice& device);

// Replaces HKLM "Enum\SCSI" with entries for the CD-ROM devices among `devices`.
// Throws platform::RegistryError when the store cannot be written.
void SynthesizeScsiEnum(platform::RegistryStore& registry, std::span<const aspi::KorvaneAspiDevice> devices);

}  // namespace korvane::cdda
