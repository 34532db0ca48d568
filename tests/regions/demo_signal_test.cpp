#include "regions/demo_signal.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace korvane::demo {
namespace {

TEST(DemoSignal, IsDeterministicAndSizedByItsParameters) {
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

}  // namespace
}  // namespace korvane::demo
