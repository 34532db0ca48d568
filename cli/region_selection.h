#pragma once
// Number lists of korvane-cli (--regions, --track): "all", a number, a span "2-4" or a
// list "1,3,5-7" of 1-based numbers, turned into ascending 0-based indexes without
// repeats.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::cli {

// `noun` names the things counted in messages ("track", "region"). Throws
// std::invalid_argument for a malformed list, a 0 or a span that runs backwards, and
// std::out_of_range ("no region 8") for a number past `count`.
std::vector<std::size_t> ParseNumberList(std::string_view text, std::size_t count, const std::string& noun);

// ParseNumberList for a command's option: a malformed list throws UsageError, a number
// past the end std::runtime_error "no region 8: <whatThereIs>".
std::vector<std::size_t> SelectNumbers(std::string_view text, std::size_t count, const std::string& noun,
                                       const std::string& whatThereIs);

inline std::vector<std::size_t> ParseRegionSelection(std::string_view text, std::size_t regionCount) {
    return ParseNumberList(text, regionCount, "region");
}

}  // namespace korvane::cli
