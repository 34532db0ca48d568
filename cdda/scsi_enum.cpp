#include "cdda/scsi_enum.h"

#include "platform/registry/registry.h"

#include <cstdio>

namespace korvane::cdda {
namespace {

std::string Trimmed(const char* text) {
    std::string s(text);
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    const auto last = s.find_last_not_of(' ');
    return s.substr(first, last - first + 1);
}

void WriteTree(platform::RegistryStore& registry, std::span<const aspi::KorvaneAspiDevice> devices) {
    using platform::RootKey;
    registry.DeleteKey(RootKey::LocalMachine, kScsiEnumKey);
    registry.CreateKey(RootKey::LocalMachine, kScsiEnumKey);
    for (const auto& d : devices) {
        if (d.deviceType != aspi::DTYPE_CDROM) continue;
        char instance[64];
        std::snprintf(instance, sizeof instance, "ROOT&HA%u&TARGET%u&LUN%u", unsigned{d.adapter}, unsigned{d.target},
                      unsigned{d.lun});
        const std::string path = std::string(kScsiEnumKey) + "\\" + ScsiModelKeyName(d) + "\\" + instance;
        platform::RegKey key = registry.CreateKey(RootKey::LocalMachine, path);
        key.SetString("Class", "CDROM");
        key.SetString("DeviceDesc", Trimmed(d.vendor) + " " + Trimmed(d.product));
        key.SetString("Manufacturer", d.vendor);
        key.SetString("ProductId", d.product);
        key.SetString("RevisionLevel", d.revision);
        key.SetString("SCSITargetID", std::to_string(d.target));
        key.SetString("SCSILUN", std::to_string(d.lun));
        key.SetString("CurrentDriveLetterAssignment", d.letter ? std::string(1, d.letter) : std::string());
    }
}

}  // namespace

std::string ScsiModelKeyName(const aspi::KorvaneAspiDevice& device) {
    std::string name = Trimmed(device.vendor) + "_" + Trimmed(device.product);
    for (auto& c : name)
        if (c == ' ' || c == '\\') c = '_';
    return name;
}

void SynthesizeScsiEnum(platform::RegistryStore& registry, std::span<const aspi::KorvaneAspiDevice> devices) {
    // One transaction: another process scanning at the same time sees the old tree or
    // the new one, never the key missing or half-filled.
    registry.Batch([&] { WriteTree(registry, devices); });
}

}  // namespace korvane::cdda
