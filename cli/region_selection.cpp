#include "cli/region_selection.h"

#include "cli/exit_codes.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

namespace korvane::cli {
namespace {

std::size_t ParseNumber(std::string_view text, std::string_view whole, const std::string& noun) {
    std::size_t value = 0;
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc{} || ptr != end)
        throw std::invalid_argument("bad " + noun + " list \"" + std::string(whole) +
                                    "\": give numbers, spans (2-4), lists (1,3,5-7) or all");
    if (value == 0) throw std::invalid_argument(noun + "s count from 1");
    return value;
}

// Numbers from `first` to `last`, both included, counted from 1.
struct Span {
    std::size_t first;
    std::size_t last;
};

// Sorted spans with overlapping and adjacent ones joined, so that a list that repeats a
// span costs no more than the span once.
std::vector<Span> Merge(std::vector<Span> spans) {
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.first < b.first; });
    std::vector<Span> merged;
    for (const Span& s : spans) {
        if (!merged.empty() && s.first <= merged.back().last + 1)
            merged.back().last = std::max(merged.back().last, s.last);
        else
            merged.push_back(s);
    }
    return merged;
}

// The 0-based indexes of sorted, disjoint spans.
std::vector<std::size_t> Expand(const std::vector<Span>& spans) {
    std::vector<std::size_t> indexes;
    for (const Span& s : spans)
        for (std::size_t n = s.first; n <= s.last && n != 0; ++n) indexes.push_back(n - 1);
    return indexes;
}

}  // namespace

std::vector<std::size_t> ParseNumberList(std::string_view text, std::size_t count, const std::string& noun) {
    if (text == "all") return Expand({{1, count}});
    std::vector<Span> spans;
    std::string_view rest = text;
    while (true) {
        const auto comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        const auto dash = item.find('-');
        const std::size_t first = ParseNumber(item.substr(0, dash), text, noun);
        const std::size_t last = dash == std::string_view::npos ? first : ParseNumber(item.substr(dash + 1), text, noun);
        if (last < first) throw std::invalid_argument(noun + " span " + std::string(item) + " runs backwards");
        if (last > count) throw std::out_of_range("no " + noun + " " + std::to_string(std::max(first, count + 1)));
        spans.push_back({first, last});
        if (comma == std::string_view::npos) break;
        rest = rest.substr(comma + 1);
    }
    return Expand(Merge(std::move(spans)));
}

std::vector<std::size_t> SelectNumbers(std::string_view text, std::size_t count, const std::string& noun,
                                       const std::string& whatThereIs) {
    try {
        return ParseNumberList(text, count, noun);
    } catch (const std::out_of_range& e) {
        throw std::runtime_error(std::string(e.what()) + ": " + whatThereIs);
    } catch (const std::invalid_argument& e) {
        throw UsageError(e.what());
    }
}

}  // namespace korvane::cli
