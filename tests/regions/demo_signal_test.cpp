#include "regions/demo_signal.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

namespace korvane::demo {
namespace {

TEST(DemoSignal, IsDeterministicAndShapedBySpec) {
    const auto a = MakeDemoSignal({7, 11025, 1, 10.0});
    EXPECT_EQ(a.size(), 110250u);
    EXPECT_EQ(a, MakeDemoSignal({7, 11025, 1, 10.0}));
    EXPECT_NE(a, MakeDemoSignal({8, 11025, 1, 10.0}));
    const auto stereo = MakeDemoSignal({7, 44100, 2, 1.5});
    EXPECT_EQ(stereo.size(), 2u * 66150u);
    std::size_t differing = 0;
    for (std::size_t f = 0; f < stereo.size() / 2; ++f) differing += stereo[2 * f] != stereo[2 * f + 1];
    EXPECT_GT(differing, stereo.size() / 4);  // panned notes and independent noise
    EXPECT_TRUE(MakeDemoSignal({7, 11025, 1, 0.0}).empty());
    EXPECT_THROW(MakeDemoSignal({7, 11025, 3, 1.0}), std::invalid_argument);
    EXPECT_THROW(MakeDemoSignal({7, 0, 1, 1.0}), std::invalid_argument);
}

TEST(DemoSignal, HasLoudNotesAndQuietPausesToSlice) {
    const auto s = MakeDemoSignal({1, 11025, 1, 60.0});
    int peak = 0;
    std::size_t longestQuiet = 0, quiet = 0;
    for (int16_t v : s) {
        const int m = std::abs(int(v));
        peak = std::max(peak, m);
        quiet = m < 64 ? quiet + 1 : 0;  // below about -54 dB
        longestQuiet = std::max(longestQuiet, quiet);
    }
    EXPECT_GT(peak, 16384);                 // notes reach above -6 dB
    EXPECT_GT(longestQuiet, 11025u * 4 / 10);  // pauses of at least 0.4 s
}

}  // namespace
}  // namespace korvane::demo
