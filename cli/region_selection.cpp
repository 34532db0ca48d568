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

// Region numbers from `first` to `last`, both included, counted from 1.
struct Range {
    std::size_t first;
    std::size_t last;
};

// Sorted ranges with overlapping and adjacent ones joined, so that a list that repeats
// a range costs no more than the range once.
std::vector<Range> Merge(std::vector<Range> ranges) {
    std::sort(ranges.begin(), ranges.end(), [](const Range& a, const Range& b) { return a.first < b.first; });
    std::vector<Range> merged;
    for (const Range& r : ranges) {
        if (!merged.empty() && r.first <= merged.back().last + 1)
            merged.back().last = std::max(merged.back().last, r.last);
        else
            merged.push_back(r);
    }
    return merged;
}

// The 0-based lines of sorted, disjoint ranges.
std::vector<std::size_t> Expand(const std::vector<Range>& ranges) {
    std::vector<std::size_t> lines;
    for (const Range& r : ranges)
        for (std::size_t n = r.first; n <= r.last && n != 0; ++n) lines.push_back(n - 1);
    return lines;
}

}  // namespace

std::vector<std::size_t> ParseRegionSelection(std::string_view text, std::size_t regionCount) {
    if (text == "all") return Expand({{1, regionCount}});
    std::vector<Range> ranges;
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
        ranges.push_back({first, last});
        if (comma == std::string_view::npos) break;
        rest = rest.substr(comma + 1);
    }
    return Expand(Merge(std::move(ranges)));
}

}  // namespace korvane::cli
