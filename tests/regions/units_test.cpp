#include "regions/units.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace korvane::units {
namespace {

TEST(Units, LevelFromDbFollowsSixDbPerBitAndClamps) {
    EXPECT_EQ(LevelFromDb(0.0), 32768u);
    EXPECT_EQ(LevelFromDb(-6.0), 16384u);
    EXPECT_EQ(LevelFromDb(-20.0), 3250u);
    EXPECT_EQ(LevelFromDb(-48.0), 128u);
    EXPECT_EQ(LevelFromDb(-90.0), 1u);
    EXPECT_EQ(LevelFromDb(-96.0), 0u);
    EXPECT_EQ(LevelFromDb(-300.0), 0u);
    EXPECT_EQ(LevelFromDb(6.0), 65536u);
    EXPECT_EQ(LevelFromDb(1e9), kMaxLevel);
    EXPECT_EQ(LevelFromDb(std::numeric_limits<double>::quiet_NaN()), 0u);
    // Monotonic over the slider's range, and DbFromLevel inverts it.
    uint32_t previous = 0;
    for (int step = 0; step <= 960; ++step) {
        const double db = double(step - 960) / 10.0;
        const uint32_t level = LevelFromDb(db);
        EXPECT_GE(level, previous);
        previous = level;
        if (level > 0) {
            EXPECT_LE(DbFromLevel(level), db + 1e-9);
        }
    }
    EXPECT_NEAR(DbFromLevel(16384), -6.0, 1e-12);
}

TEST(Units, MillisecondsAndAveragingLength) {
    EXPECT_EQ(SamplesFromMs(11025, 5), 55u);
    EXPECT_EQ(SamplesFromMs(11025, 750), 8268u);
    EXPECT_EQ(SamplesFromMs(11025, 2500), 27562u);
    EXPECT_EQ(SamplesFromMs(44100, 250), 11025u);
    EXPECT_EQ(SamplesFromMs(11025, -5), 0u);
    EXPECT_EQ(SamplesFromMs(4000000000u, 1e9), std::numeric_limits<uint32_t>::max());
    EXPECT_DOUBLE_EQ(MsFromSamples(11025, 11025), 1000.0);
    EXPECT_EQ(AveragingLength(50, 11025), 12u);
    EXPECT_EQ(AveragingLength(50, 44100), 50u);
    EXPECT_EQ(AveragingLength(50, 22050), 25u);
    EXPECT_EQ(AveragingLength(0, 11025), 1u);
    EXPECT_EQ(AveragingLength(3, 11025), 1u);  // 0.75 clamped
    EXPECT_EQ(AveragingLength(50, 0), 1u);
}

TEST(Units, SectorFrameAndOverviewGeometryAgree) {
    EXPECT_EQ(BytesFromSectors(1), 2352u);
    EXPECT_EQ(FramesFromSectors(1), 588u);
    EXPECT_EQ(OverviewSamplesFromSectors(1), 147u);
    EXPECT_EQ(kOverviewBytesPerSector, 294u);
    EXPECT_EQ(RawBytesFromOverviewSamples(OverviewSamplesFromSectors(75)), BytesFromSectors(75));
    EXPECT_EQ(FramesFromOverviewSamples(OverviewSamplesFromSectors(75)), FramesFromSectors(75));
    EXPECT_EQ(OverviewSamplesFromFrames(FramesFromSectors(75)), OverviewSamplesFromSectors(75));
    // A track file: raw audio then its overview; for any sector count the
    // overview starts right after the raw part and holds 147 samples per sector.
    for (uint64_t sectors : {1ull, 24ull, 333000ull}) {
        const uint64_t fileBytes = sectors * (kBytesPerSector + kOverviewBytesPerSector);
        EXPECT_EQ(OverviewOffsetInTrackFile(fileBytes), BytesFromSectors(sectors));
        EXPECT_EQ(OverviewSamplesInTrackFile(fileBytes), OverviewSamplesFromSectors(sectors));
    }
    EXPECT_DOUBLE_EQ(SecondsFromSamples(11025 * 3, kOverviewRateHz), 3.0);
}

}  // namespace
}  // namespace korvane::units
