#include "cli/region_selection.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>
#include <string>

namespace korvane::cli {
namespace {

std::size_t ParseNumber(std::string_view text, std::string_view whole) {
    std::size_t value = 0;
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc{} || ptr != end)
        throw std::invalid_argument("bad region list \"" + std::string(whole) + "\"");
    return value;
}

}  // namespace

std::vector<std::size_t> ParseRegionSelection(std::string_view text, std::size_t regionCount) {
    std::vector<std::size_t> lines;
    if (text == "all") {
        for (std::size_t i = 0; i < regionCount; ++i) lines.push_back(i);
        return lines;
    }
    std::string_view rest = text;
    while (true) {
        const auto comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        const auto dash = item.find('-');
        const std::size_t first = ParseNumber(item.substr(0, dash), text);
        const std::size_t last = dash == std::string_view::npos ? first : ParseNumber(item.substr(dash + 1), text);
        if (first < 1 || last < first || last > regionCount)
            throw std::invalid_argument("region numbers " + std::string(item) + " outside 1.." +
                                        std::to_string(regionCount));
        for (std::size_t n = first; n <= last; ++n) lines.push_back(n - 1);
        if (comma == std::string_view::npos) break;
        rest = rest.substr(comma + 1);
    }
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    return lines;
}

}  // namespace korvane::cli
