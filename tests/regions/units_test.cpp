// The clamping choices of the slicer's derived values, outside the ranges the slice
// oracle defines (inside them the oracle derives the values itself at every slider
// step), and the track file's geometry.
#include "regions/units.h"

#include <gtest/gtest.h>

#include <limits>

namespace korvane::units {
namespace {

TEST(Units, DerivedValuesOutOfRangeAreClampedNeverWrapped) {
    EXPECT_EQ(LevelFromDb(-300.0), 0u);
    EXPECT_EQ(LevelFromDb(6.0), 65536u);
    EXPECT_EQ(LevelFromDb(1e9), kMaxLevel);
    EXPECT_EQ(LevelFromDb(std::numeric_limits<double>::quiet_NaN()), 0u);
    EXPECT_EQ(SamplesFromMs(11025, -5), 0u);
    EXPECT_EQ(SamplesFromMs(4000000000u, 1e9), std::numeric_limits<uint32_t>::max());
    EXPECT_EQ(AveragingLength(0, 11025), 1u);
    EXPECT_EQ(AveragingLength(50, 0), 1u);
}

TEST(Units, TrackFileOverviewFollowsItsRawAudio) {
    // Raw audio then its overview; for any sector count the overview starts right after
    // the raw part and holds 147 samples per sector.
    for (uint64_t sectors : {1ull, 24ull, 333000ull}) {
        const uint64_t fileBytes = sectors * (kBytesPerSector + kOverviewBytesPerSector);
        EXPECT_EQ(OverviewOffsetInTrackFile(fileBytes), sectors * 2352);
        EXPECT_EQ(OverviewSamplesInTrackFile(fileBytes), sectors * 147);
    }
}

}  // namespace
}  // namespace korvane::units
