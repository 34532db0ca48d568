#include "resources/strings.h"

#include <algorithm>
#include <array>

namespace korvane::resources {
namespace {

constexpr std::array kStrings = {
    StringEntry{kIdsDeviceNotResponding, "Device not responding. Try again?"},
    StringEntry{kIdsCouldNotWriteFile, "could not write file"},
    StringEntry{kIdsRestartForChanges, "You have to restart the program\nfor your changes to become effective"},
    StringEntry{kIdsTrackFileUnreadable, "The track file could not be opened:\n%s"},
    StringEntry{kIdsTrackFileTooShort, "The track file is too short to hold a track:\n%s"},
    StringEntry{kIdsImportNotPcm16, "This WAV file does not hold 16-bit PCM audio:\n%s\nOnly 16-bit PCM WAV files can be opened."},
    StringEntry{kIdsImportWrongRate, "This WAV file is not sampled at 44100 Hz:\n%s\nOnly 44100 Hz WAV files can be opened."},
    StringEntry{kIdsImportWrongChannels, "This WAV file is neither stereo nor mono:\n%s"},
    StringEntry{kIdsImportMalformed, "This file is not a valid WAV file, or it is damaged or incomplete:\n%s"},
    StringEntry{kIdsImportCannotRead, "could not read file\n%s"},
    StringEntry{kIdsImportCannotWrite, "could not create the temporary track file\n%s"},
    StringEntry{kIdsCouldNotDeleteTrackFile, "could not delete the temporary track file\n%s"},
    StringEntry{kIdsSaveOntoTrackFile, "A track cannot be saved over its own track file.\nPlease choose another name."},
};

constexpr bool Sorted() {
    for (std::size_t i = 1; i < kStrings.size(); ++i) {
        if (kStrings[i - 1].id >= kStrings[i].id) return false;
    }
    return true;
}
static_assert(Sorted(), "the string table must stay sorted by id, without duplicates");

}  // namespace

std::span<const StringEntry> AppStrings() noexcept { return kStrings; }

std::optional<std::string_view> FindAppString(std::uint32_t id) noexcept {
    const auto it = std::lower_bound(kStrings.begin(), kStrings.end(), id,
                                     [](const StringEntry& e, std::uint32_t want) { return e.id < want; });
    if (it == kStrings.end() || it->id != id) return std::nullopt;
    return it->text;
}

std::string_view LoadAppString(std::uint32_t id) noexcept { return FindAppString(id).value_or(std::string_view{}); }

}  // namespace korvane::resources
