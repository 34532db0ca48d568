#pragma once
// The application's string table (LoadString): ids and texts as the program shows them.
// The table is sorted by id; lookups are binary searches over constant data, so it may
// be used from any thread and before any window exists.
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace korvane::resources {

struct StringEntry {
    std::uint32_t id;
    std::string_view text;
};

// CD requests: the retry prompt of a drive that failed a request.
inline constexpr std::uint32_t kIdsDeviceNotResponding = 61216;
// Main frame and start-up (ids also in frame_resources.h): titles, the document
// string, command prompts, indicators and the fatal start-up messages.
inline constexpr std::uint32_t kIdsFatalNoDirectSound = 61567;
inline constexpr std::uint32_t kIdsFatalWrongPlatform = 61568;
// Main frame messages of this program's own.
inline constexpr std::uint32_t kIdsNoCdAccess = 62100;
inline constexpr std::uint32_t kIdsNoCdDrive = 62101;
inline constexpr std::uint32_t kIdsReadingTrack = 62102;
inline constexpr std::uint32_t kIdsDriveScanFailed = 62103;
inline constexpr std::uint32_t kIdsHelpFileMissing = 62104;
inline constexpr std::uint32_t kIdsReadTrackCancelled = 62105;
inline constexpr std::uint32_t kIdsReadTrackFailed = 62106;
inline constexpr std::uint32_t kIdsTrackRead = 62107;
inline constexpr std::uint32_t kIdsOpenFilter = 62108;
inline constexpr std::uint32_t kIdsSaveFilter = 62109;
// Export.
inline constexpr std::uint32_t kIdsCouldNotWriteFile = 61217;
// Preferences: the sound driver changed.
inline constexpr std::uint32_t kIdsRestartForChanges = 61218;
// Track view: the track file cannot be read, or holds no overview.
inline constexpr std::uint32_t kIdsTrackFileUnreadable = 61620;
inline constexpr std::uint32_t kIdsTrackFileTooShort = 61621;
// Opening a WAV file as a track.
inline constexpr std::uint32_t kIdsImportUnsupported = 62001;
inline constexpr std::uint32_t kIdsImportMalformed = 62004;
inline constexpr std::uint32_t kIdsImportCannotRead = 62005;
inline constexpr std::uint32_t kIdsImportCannotWrite = 62006;
// Track document.
inline constexpr std::uint32_t kIdsCouldNotDeleteTrackFile = 62010;
inline constexpr std::uint32_t kIdsSaveOntoTrackFile = 62011;

// The application's title, the caption of its message boxes.
inline constexpr std::string_view kAppTitle = "Korvane";

// All entries, sorted by id.
std::span<const StringEntry> AppStrings() noexcept;
// The text of `id`, or nullopt when the table has none.
std::optional<std::string_view> FindAppString(std::uint32_t id) noexcept;
// The text of `id`, or "" (LoadString returning 0).
std::string_view LoadAppString(std::uint32_t id) noexcept;

}  // namespace korvane::resources
