#include "cdda/drive_offsets.h"

#include "platform/registry/registry.h"

#include <stdexcept>

namespace korvane::cdda {
namespace {

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

std::string DriveModel(const CDDrive& drive) {
    return std::string(Trimmed(drive.vendor)) + " " + std::string(Trimmed(drive.product));
}

std::optional<std::int32_t> LoadDriveOffset(platform::RegistryStore& store, std::string_view model) {
    try {
        const auto key = store.OpenKey(platform::RootKey::LocalMachine, kDriveOffsetsKey);
        if (!key) return std::nullopt;
        const auto value = key->QueryDword(model);
        if (!value) return std::nullopt;
        const auto offset = static_cast<std::int32_t>(*value);
        if (offset < -kMaxOffsetSamples || offset > kMaxOffsetSamples) return std::nullopt;
        return offset;
    } catch (const platform::RegistryError&) {
        return std::nullopt;
    }
}

void SaveDriveOffset(platform::RegistryStore& store, std::string_view model, std::int32_t offsetSamples) {
    if (offsetSamples < -kMaxOffsetSamples || offsetSamples > kMaxOffsetSamples)
        throw std::invalid_argument("a read offset lies between -" + std::to_string(kMaxOffsetSamples) + " and +" +
                                    std::to_string(kMaxOffsetSamples) + " samples");
    store.CreateKey(platform::RootKey::LocalMachine, kDriveOffsetsKey)
        .SetDword(model, static_cast<std::uint32_t>(offsetSamples));
}

}  // namespace korvane::cdda
