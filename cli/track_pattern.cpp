#include "cli/track_pattern.h"

#include "cli/exit_codes.h"

#include <cctype>

namespace korvane::cli {
namespace {

// Expands the pattern; `number` absent only checks it. Returns the text and the number
// of conversions met.
std::pair<std::string, int> Expand(const std::string& pattern, int number) {
    std::string out;
    int conversions = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            out += pattern[i];
            continue;
        }
        if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        std::size_t at = i + 1;
        const bool zeros = at < pattern.size() && pattern[at] == '0';
        if (zeros) ++at;
        std::size_t width = 0;
        while (at < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[at])) && width < 100)
            width = width * 10 + static_cast<std::size_t>(pattern[at++] - '0');
        if (at >= pattern.size() || pattern[at] != 'd' || width >= 100 || ++conversions > 1)
            throw UsageError("bad name pattern \"" + pattern + "\": use one %d, %2d or %02d (and %% for a %)");
        const std::string digits = std::to_string(number);
        if (digits.size() < width) out.append(width - digits.size(), zeros ? '0' : ' ');
        out += digits;
        i = at;
    }
    return {out, conversions};
}

}  // namespace

bool IsTrackPattern(const std::string& pattern) {
    try {
        return Expand(pattern, 0).second == 1;
    } catch (const UsageError&) {
        return false;  // a plain name that happens to hold a '%'
    }
}

std::string ExpandTrackPattern(const std::string& pattern, int number) { return Expand(pattern, number).first; }

}  // namespace korvane::cli
