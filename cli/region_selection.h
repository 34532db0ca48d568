#pragma once
// The --regions option of korvane-cli: "all" or a list of 1-based region numbers and
// ranges ("1,3-5"), turned into ascending 0-based list lines without repeats.
#include <cstddef>
#include <string_view>
#include <vector>

namespace korvane::cli {

// Throws std::invalid_argument for a malformed list or a number outside 1..regionCount.
std::vector<std::size_t> ParseRegionSelection(std::string_view text, std::size_t regionCount);

}  // namespace korvane::cli
