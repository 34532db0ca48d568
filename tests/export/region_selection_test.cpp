#include "cli/region_selection.h"

#include <gtest/gtest.h>

namespace {

using korvane::cli::ParseRegionSelection;
using Lines = std::vector<std::size_t>;

TEST(RegionSelection, ListsAndRangesBecomeAscendingLinesWithoutRepeats) {
    EXPECT_EQ(ParseRegionSelection("all", 4), (Lines{0, 1, 2, 3}));
    EXPECT_EQ(ParseRegionSelection("all", 0), Lines{});
    EXPECT_EQ(ParseRegionSelection("5,1,3-5,2-2", 5), (Lines{0, 1, 2, 3, 4}));
    EXPECT_EQ(ParseRegionSelection("7", 7), Lines{6});
    // Repeated ranges are merged before they are expanded: 1,000 copies cost one.
    std::string repeated = "1-65535";
    for (int i = 1; i < 1000; ++i) repeated += ",1-65535";
    const Lines lines = ParseRegionSelection(repeated, 65535);
    EXPECT_EQ(lines.size(), 65535u);
    EXPECT_EQ(lines.back(), 65534u);
}

TEST(RegionSelection, BadListsAndNumbersOutsideTheRegionsAreRefused) {
    for (const char* bad : {"", "0", "8", "1,", ",1", "3-2", "1-8", "a", "1;2", "-1", "1-", "1--2", " 1"})
        EXPECT_THROW(ParseRegionSelection(bad, 7), std::logic_error) << '"' << bad << '"';
    // Messages say what is wrong: a span backwards, a number past the end.
    const std::pair<const char*, const char*> messages[] = {
        {"2-1", "track span 2-1 runs backwards"}, {"1,9", "no track 9"}, {"5-9", "no track 8"}, {"x", "bad track list"}};
    for (const auto& [text, message] : messages) {
        try {
            korvane::cli::ParseNumberList(text, 7, "track");
            ADD_FAILURE() << text;
        } catch (const std::logic_error& e) {
            EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
        }
    }
}

}  // namespace
