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

}  // namespace

std::vector<std::size_t> ParseNumberList(std::string_view text, std::size_t count, const std::string& noun) {
    std::vector<std::size_t> lines;
    if (text == "all") {
        for (std::size_t i = 0; i < count; ++i) lines.push_back(i);
        return lines;
    }
    std::string_view rest = text;
    while (true) {
        const auto comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        const auto dash = item.find('-');
        const std::size_t first = ParseNumber(item.substr(0, dash), text, noun);
        const std::size_t last = dash == std::string_view::npos ? first : ParseNumber(item.substr(dash + 1), text, noun);
        if (last < first) throw std::invalid_argument(noun + " span " + std::string(item) + " runs backwards");
        if (last > count) throw std::out_of_range("no " + noun + " " + std::to_string(std::max(first, count + 1)));
        for (std::size_t n = first; n <= last; ++n) lines.push_back(n - 1);
        if (comma == std::string_view::npos) break;
        rest = rest.substr(comma + 1);
    }
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    return lines;
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
