#include "regions/auto_slicer.h"

#include "regions/units.h"
#include "slice_oracle.h"

#include <gtest/gtest.h>

#include <vector>

namespace korvane {
namespace {

// Rate 1000 Hz with window 45 gives an averaging length of 1: the average is
// then |sample| itself and the position of sample i is i - 1, which keeps the
// hand-built cases readable.
constexpr uint32_t kRate = 1000;
constexpr uint32_t kWindowN1 = 45;

std::vector<Region> Slice(const std::vector<int16_t>& s, int mono, uint32_t rate, double thresholdDb,
                          double releaseMs, uint32_t window = kWindowN1, uint32_t tag = 0,
                          uint32_t count = UINT32_MAX) {
    AutoSlicer slicer;
    slicer.samples = s.data();
    slicer.sampleCount = count == UINT32_MAX ? uint32_t(s.size()) : count;
    slicer.thresholdDb = thresholdDb;
    slicer.releaseMs = releaseMs;
    slicer.averagingWindow = window;
    slicer.Slice(mono, rate, tag);
    std::vector<Region> out;
    for (int32_t i = 0; i < slicer.regions.Count(); ++i) out.push_back(slicer.regions.At(i));
    return out;
}

// Quiet (0) everywhere except [from, to), which holds `value`.
std::vector<int16_t> Bursts(std::size_t size, std::vector<std::pair<std::size_t, std::size_t>> loud,
                            int16_t value = 20000) {
    std::vector<int16_t> s(size, 0);
    for (auto [from, to] : loud) {
        for (std::size_t i = from; i < to; ++i) s[i] = (i % 2) ? value : int16_t(-value);
    }
    return s;
}

TEST(AutoSlicer, DerivedValuesMatchTheDocumentedExamples) {
    EXPECT_EQ(DeriveSliceParameters(0.0, 5, 50, 11025).level, 32768u);
    EXPECT_EQ(DeriveSliceParameters(-6.0, 5, 50, 11025).level, 16384u);
    EXPECT_EQ(DeriveSliceParameters(-20.0, 5, 50, 11025).level, 3250u);
    EXPECT_EQ(DeriveSliceParameters(-48.0, 5, 50, 11025).level, 128u);
    EXPECT_EQ(DeriveSliceParameters(-90.0, 5, 50, 11025).level, 1u);
    EXPECT_EQ(DeriveSliceParameters(-96.0, 5, 50, 11025).level, 0u);
    EXPECT_EQ(DeriveSliceParameters(0.0, 5, 50, 11025).minGap, 55u);
    EXPECT_EQ(DeriveSliceParameters(0.0, 750, 50, 11025).minGap, 8268u);
    EXPECT_EQ(DeriveSliceParameters(0.0, 2500, 50, 11025).minGap, 27562u);
    EXPECT_EQ(DeriveSliceParameters(0.0, 5, 50, 11025).n, 12u);
    EXPECT_EQ(DeriveSliceParameters(0.0, 10, kWindowN1, kRate).n, 1u);
    EXPECT_EQ(DeriveSliceParameters(0.0, 10, kWindowN1, kRate).minGap, 10u);
}

TEST(AutoSlicer, TooShortBuffersYieldNothing) {
    const std::vector<int16_t> loud(4, 30000);
    EXPECT_TRUE(Slice(loud, 1, kRate, -96, 10, kWindowN1, 0, 0).empty());
    EXPECT_TRUE(Slice(loud, 1, kRate, -96, 10, kWindowN1, 0, 1).empty());
    EXPECT_TRUE(Slice(loud, 0, kRate, -96, 10, kWindowN1, 0, 2).empty());
    EXPECT_TRUE(Slice(loud, 0, kRate, -96, 10, kWindowN1, 0, 1).empty());
    AutoSlicer nullBuffer;
    nullBuffer.sampleCount = 100;
    nullBuffer.Slice(1, kRate, 0);
    EXPECT_EQ(nullBuffer.regions.Count(), 0);
}

TEST(AutoSlicer, QuietOrLoudThroughout) {
    EXPECT_TRUE(Slice(std::vector<int16_t>(500, 100), 1, kRate, -30, 10).empty());
    // Loud throughout: one region from 0 to the sample before the end.
    EXPECT_EQ(Slice(std::vector<int16_t>(500, -32768), 1, kRate, 0, 10),
              (std::vector<Region>{{0, 499, 0}}));
    // Too short for the release time: dropped.
    EXPECT_TRUE(Slice(std::vector<int16_t>(500, 30000), 1, kRate, -10, 600).empty());
    // At -96 dB every step is loud, even over silence.
    EXPECT_EQ(Slice(std::vector<int16_t>(300, 0), 1, kRate, -96, 10, kWindowN1, 5),
              (std::vector<Region>{{0, 299, 5}}));
}

TEST(AutoSlicer, EqualityWithTheLevelCountsAsLoud) {
    // With n = 1 the average of a constant 16384 is exactly 16384, the level of -6 dB.
    std::vector<int16_t> s(200, 0);
    for (std::size_t i = 50; i < 200; ++i) s[i] = 16384;
    EXPECT_EQ(Slice(s, 1, kRate, -6.0, 1), (std::vector<Region>{{49, 150, 0}}));
    EXPECT_TRUE(Slice(s, 1, kRate, -5.9, 1).empty());
}

TEST(AutoSlicer, PauseSplitsOnlyWhenItSpansTheReleaseTime) {
    // minGap = 10. The fall is at position 19 (first quiet sample 20); the gap is
    // seen at a quiet step whose position is >= 19 + 10, i.e. with 11 quiet samples.
    const auto joined = Slice(Bursts(80, {{10, 20}, {30, 45}}), 1, kRate, -10, 10);
    EXPECT_EQ(joined, (std::vector<Region>{{9, 70, 0}}));
    const auto split = Slice(Bursts(80, {{10, 20}, {31, 45}}), 1, kRate, -10, 10);
    EXPECT_EQ(split, (std::vector<Region>{{9, 21, 0}, {30, 49, 0}}));
}

TEST(AutoSlicer, QuietLeadInClosesAnEmptyRegion) {
    const auto s = Bursts(100, {{40, 60}});
    // minGap 10 > 0: the empty region is dropped and the real one starts at the onset.
    EXPECT_EQ(Slice(s, 1, kRate, -10, 10, kWindowN1, 3), (std::vector<Region>{{39, 60, 3}}));
    // minGap 0: the empty region passes 0 >= 0 and comes first.
    EXPECT_EQ(Slice(s, 1, kRate, -10, 0, kWindowN1, 3),
              (std::vector<Region>{{39, 0, 3}, {39, 60, 3}}));
    // A lead-in shorter than the release time leaves the first region alone.
    EXPECT_EQ(Slice(Bursts(100, {{5, 60}}), 1, kRate, -10, 10),
              (std::vector<Region>{{4, 95, 0}}));
}

TEST(AutoSlicer, RegionsAbutInAscendingOrderAndTooShortOnesAreSkipped) {
    const auto s = Bursts(200, {{10, 30}, {60, 65}, {80, 100}});
    EXPECT_EQ(Slice(s, 1, kRate, -10, 10),
              (std::vector<Region>{{9, 50, 0}, {59, 20, 0}, {79, 120, 0}}));
    // minGap 21: the pause after the middle burst (positions 64..78) is too short.
    EXPECT_EQ(Slice(s, 1, kRate, -10, 21), (std::vector<Region>{{9, 50, 0}, {59, 140, 0}}));
    // A burst at the very end leaves a last region shorter than minGap: dropped,
    // so the region before it ends where that one would have started.
    const auto tail = Bursts(200, {{10, 30}, {60, 65}, {195, 200}});
    EXPECT_EQ(Slice(tail, 1, kRate, -10, 10), (std::vector<Region>{{9, 50, 0}, {59, 135, 0}}));
}

TEST(AutoSlicer, PositionsLagTheAverageByItsLength) {
    // n = 12 at 11025 Hz: the onset step is clamped at 0 up to i = 12, then i - 12.
    std::vector<int16_t> s(4000, 0);
    for (std::size_t i = 1000; i < 2000; ++i) s[i] = 30000;
    const auto r = Slice(s, 1, 11025, -20, 5, 50);
    ASSERT_EQ(r.size(), 1u);
    const SliceParameters p = DeriveSliceParameters(-20, 5, 50, 11025);
    // The average rises above 3250 at the first loud sample: 30000/12 = 2500 < 3250,
    // then (11*2500 + 30000)/12 = 4791: the second loud sample, i = 1001.
    EXPECT_EQ(r[0].start, 1001u - p.n);
    EXPECT_EQ(r[0].length, 4000u - r[0].start - 1);
}

TEST(AutoSlicer, StereoAveragesTheChannelsAndCountsFrames) {
    // Left loud, right silent: each frame averages to half the left value.
    std::vector<int16_t> s(2 * 100, 0);
    for (std::size_t f = 40; f < 60; ++f) s[2 * f] = 30000;
    const auto r = Slice(s, 0, kRate, -6.0, 10);  // level 16384 > 15000: nothing
    EXPECT_TRUE(r.empty());
    const auto r2 = Slice(s, 0, kRate, -7.0, 10);  // level 14596 <= 15000
    EXPECT_EQ(r2, (std::vector<Region>{{39, 60, 0}}));
}

TEST(AutoSlicer, OddStereoCountIgnoresTheTrailingHalfFrame) {
    // 2 * 50 + 1 values; the trailing value is loud, so reading it would matter.
    // ASan flags any read past the vector.
    std::vector<int16_t> s(101, 0);
    for (std::size_t i = 40; i < 80; ++i) s[i] = 20000;
    s[100] = 32767;
    const auto odd = Slice(s, 0, kRate, -10, 5);
    std::vector<int16_t> even(s.begin(), s.end() - 1);
    EXPECT_EQ(odd, Slice(even, 0, kRate, -10, 5));
    ASSERT_FALSE(odd.empty());
    EXPECT_EQ(odd.back().start + odd.back().length, 49u);
    const std::vector<int16_t> three{20000, 20000, 20000};
    EXPECT_TRUE(Slice(three, 0, kRate, -96, 5).empty());
}

TEST(AutoSlicer, WindowShorterThanOneSampleIsClampedToOne) {
    const auto s = Bursts(120, {{10, 30}, {70, 90}});
    const auto clamped = Slice(s, 1, kRate, -10, 10, 0);      // n would be 0
    const auto tiny = Slice(s, 1, kRate, -10, 10, 20);        // n would be 0.45
    const auto one = Slice(s, 1, kRate, -10, 10, kWindowN1);  // n = 1
    EXPECT_EQ(clamped, one);
    EXPECT_EQ(tiny, one);
    EXPECT_EQ(one.size(), 2u);
    EXPECT_EQ(DeriveSliceParameters(-10, 10, 0, 0).n, 1u);  // rate 0 as well
}

TEST(AutoSlicer, AppendsToTheListWithoutClearingIt) {
    const auto s = Bursts(100, {{40, 60}});
    AutoSlicer slicer;
    slicer.samples = s.data();
    slicer.sampleCount = uint32_t(s.size());
    slicer.thresholdDb = -10;
    slicer.releaseMs = 10;
    slicer.averagingWindow = kWindowN1;
    slicer.Slice(1, kRate, 1);
    slicer.Slice(1, kRate, 2);
    ASSERT_EQ(slicer.regions.Count(), 2);
    EXPECT_EQ(slicer.regions.At(0), (Region{39, 60, 1}));
    EXPECT_EQ(slicer.regions.At(1), (Region{39, 60, 2}));
}

TEST(AutoSlicer, MatchesTheOracleOnHandBuiltCases) {
    const auto s = Bursts(300, {{3, 9}, {30, 90}, {100, 101}, {150, 160}, {220, 299}});
    for (double db : {-96.0, -50.0, -10.0, -0.1, 0.0}) {
        for (double ms : {0.0, 1.0, 10.0, 33.0, 500.0}) {
            for (uint32_t window : {0u, 45u, 200u, 2000u}) {
                for (int mono : {0, 1}) {
                    EXPECT_EQ(Slice(s, mono, kRate, db, ms, window, 9),
                              test::OracleSlice(s, mono != 0, kRate, db, ms, window, 9))
                        << db << " dB " << ms << " ms window " << window << " mono " << mono;
                }
            }
        }
    }
}

}  // namespace
}  // namespace korvane
