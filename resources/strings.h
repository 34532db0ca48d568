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

// Ids of the strings the shell and the track view show.
inline constexpr std::uint32_t kIdsRestartForChanges = 61218;
inline constexpr std::uint32_t kIdsTrackFileUnreadable = 61620;
inline constexpr std::uint32_t kIdsTrackFileTooShort = 61621;

// The application's title, the caption of its message boxes.
inline constexpr std::string_view kAppTitle = "Korvane";

// All entries, sorted by id.
std::span<const StringEntry> AppStrings() noexcept;
// The text of `id`, or nullopt when the table has none.
std::optional<std::string_view> FindAppString(std::uint32_t id) noexcept;
// The text of `id`, or "" (LoadString returning 0).
std::string_view LoadAppString(std::uint32_t id) noexcept;

}  // namespace korvane::resources
