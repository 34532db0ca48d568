// The --regions option: any text against any region count gives ascending lines
// without repeats inside the count, or a refusal.
#include "cli/region_selection.h"

#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t regionCount = (std::size_t{data[0]} << 8 | data[1]) * 4;  // up to 262,140
    const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
    try {
        const auto lines = korvane::cli::ParseRegionSelection(text, regionCount);
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (lines[i] >= regionCount || (i > 0 && lines[i] <= lines[i - 1])) __builtin_trap();
    } catch (const std::invalid_argument&) {  // a malformed list
    } catch (const std::out_of_range&) {       // a region the track does not have
    }
    return 0;
}
