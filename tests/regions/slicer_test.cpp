// The slicer family against one table of hand-built cases and one oracle: the plain
// slicer (AutoSlicer) and the slider index (SliceIndex) must both give the regions each
// case names; on random buffers they must agree with the oracle loop of slice_oracle.cpp.
#include "regions/auto_slicer.h"
#include "regions/demo_signal.h"
#include "regions/slice_index.h"
#include "slice_oracle.h"
#include "tests/support/run_program.h"
#include "tests/support/test_disc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace korvane {
namespace {

// Rate 1000 Hz with window 45 gives an averaging length of 1: the average is then
// |sample| itself and the position of sample i is i - 1, which keeps the cases readable.
constexpr uint32_t kRate = 1000;
constexpr uint32_t kWindowN1 = 45;

std::vector<Region> ProductSlice(const std::vector<int16_t>& s, bool mono, uint32_t rate, double db, double ms,
                                 uint32_t window, uint32_t tag, uint32_t count = UINT32_MAX) {
    AutoSlicer slicer;
    slicer.samples = s.data();
    slicer.sampleCount = count == UINT32_MAX ? uint32_t(s.size()) : count;
    slicer.thresholdDb = db;
    slicer.releaseMs = ms;
    slicer.averagingWindow = window;
    slicer.Slice(mono ? 1 : 0, rate, tag);
    std::vector<Region> out;
    for (int32_t i = 0; i < slicer.regions.Count(); ++i) out.push_back(slicer.regions.At(i));
    return out;
}

std::vector<Region> IndexSlice(const SliceIndex& index, double db, double ms, uint32_t tag) {
    std::vector<Region> out;
    index.Slice(db, ms, tag, out);
    return out;
}

// Quiet (0) everywhere except the [from, to) stretches, which alternate +-value.
std::vector<int16_t> Bursts(std::size_t size, std::vector<std::pair<std::size_t, std::size_t>> loud,
                            int16_t value = 20000) {
    std::vector<int16_t> s(size, 0);
    for (auto [from, to] : loud)
        for (std::size_t i = from; i < to; ++i) s[i] = (i % 2) ? value : int16_t(-value);
    return s;
}

std::vector<int16_t> Step(std::size_t size, std::size_t from, std::size_t to, int16_t value) {
    std::vector<int16_t> s(size, 0);
    for (std::size_t i = from; i < to; ++i) s[i] = value;
    return s;
}

struct Case {
    const char* name;
    std::vector<int16_t> samples;
    bool mono;
    uint32_t rate;
    double db;
    double ms;
    uint32_t window;
    std::vector<std::pair<uint32_t, uint32_t>> regions;  // start, length
};

std::vector<Case> Cases() {
    std::vector<int16_t> leftOnly(2 * 100, 0);  // stereo: left loud, right silent
    for (std::size_t f = 40; f < 60; ++f) leftOnly[2 * f] = 30000;
    const auto three = Bursts(200, {{10, 30}, {60, 65}, {80, 100}});
    const auto pair = Bursts(120, {{10, 30}, {70, 90}});
    return {
        {"quiet throughout", std::vector<int16_t>(500, 100), true, kRate, -30, 10, kWindowN1, {}},
        {"loud throughout: to the sample before the end", std::vector<int16_t>(500, -32768), true, kRate, 0, 10,
         kWindowN1, {{0, 499}}},
        {"loud but shorter than the release time", std::vector<int16_t>(500, 30000), true, kRate, -10, 600,
         kWindowN1, {}},
        {"at -96 dB silence is loud", std::vector<int16_t>(300, 0), true, kRate, -96, 10, kWindowN1, {{0, 299}}},
        {"equal to the level counts as loud", Step(200, 50, 200, 16384), true, kRate, -6.0, 5, kWindowN1, {{49, 150}}},
        {"just under the level", Step(200, 50, 200, 16384), true, kRate, -5.9, 5, kWindowN1, {}},
        {"pause one sample short of the release joins", Bursts(80, {{10, 20}, {30, 45}}), true, kRate, -10, 10,
         kWindowN1, {{9, 70}}},
        {"pause of the release time splits", Bursts(80, {{10, 20}, {31, 45}}), true, kRate, -10, 10, kWindowN1,
         {{9, 21}, {30, 49}}},
        {"quiet lead-in closes an empty region, dropped", Bursts(100, {{40, 60}}), true, kRate, -10, 10, kWindowN1,
         {{39, 60}}},
        {"quiet lead-in with release 0 keeps the empty region", Bursts(100, {{40, 60}}), true, kRate, -10, 0,
         kWindowN1, {{39, 0}, {39, 60}}},
        {"lead-in shorter than the release", Bursts(100, {{5, 60}}), true, kRate, -10, 10, kWindowN1, {{4, 95}}},
        {"regions abut in ascending order", three, true, kRate, -10, 10, kWindowN1, {{9, 50}, {59, 20}, {79, 120}}},
        {"a pause shorter than the release is skipped", three, true, kRate, -10, 21, kWindowN1,
         {{9, 50}, {59, 140}}},
        {"a too-short last region is dropped", Bursts(200, {{10, 30}, {60, 65}, {195, 200}}), true, kRate, -10, 10,
         kWindowN1, {{9, 50}, {59, 135}}},
        // n = 12 at 11025 Hz: the average passes 3250 at the second loud sample (i = 1001),
        // and positions lag by n.
        {"positions lag the average by its length", Step(4000, 1000, 2000, 30000), true, 11025, -20, 5, 50,
         {{989, 3010}}},
        {"stereo averages the channels: under the level", leftOnly, false, kRate, -6.0, 10, kWindowN1, {}},
        {"stereo averages the channels: over the level", leftOnly, false, kRate, -7.0, 10, kWindowN1, {{39, 60}}},
        {"window of no sample is clamped to one", pair, true, kRate, -10, 10, 0, {{9, 60}, {69, 50}}},
        {"window under one sample is clamped to one", pair, true, kRate, -10, 10, 20, {{9, 60}, {69, 50}}},
    };
}

std::vector<Region> Expected(const Case& c, uint32_t tag) {
    std::vector<Region> out;
    for (auto [start, length] : c.regions) out.push_back({start, length, tag});
    return out;
}

TEST(Slicer, DerivedValuesMatchTheDocumentedExamples) {
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
    // Out of the controls' ranges the values are clamped, never wrapped.
    EXPECT_EQ(DeriveSliceParameters(-10, 10, 0, 0).n, 1u);
    EXPECT_EQ(DeriveSliceParameters(-200.0, 10, 50, 11025).level, 0u);
    EXPECT_EQ(DeriveSliceParameters(0.0, -5, 50, 11025).minGap, 0u);
}

TEST(Slicer, SlicerAndIndexGiveEachCasesRegions) {
    for (const Case& c : Cases()) {
        EXPECT_EQ(ProductSlice(c.samples, c.mono, c.rate, c.db, c.ms, c.window, 3), Expected(c, 3)) << c.name;
        const SliceIndex index = SliceIndex::Build(c.samples, c.mono, c.rate, c.window);
        EXPECT_EQ(IndexSlice(index, c.db, c.ms, 3), Expected(c, 3)) << c.name;
    }
}

TEST(Slicer, TooShortOrMissingBuffersYieldNothing) {
    const std::vector<int16_t> loud(4, 30000);
    EXPECT_TRUE(ProductSlice(loud, true, kRate, -96, 10, kWindowN1, 0, 0).empty());
    EXPECT_TRUE(ProductSlice(loud, true, kRate, -96, 10, kWindowN1, 0, 1).empty());
    EXPECT_TRUE(ProductSlice(loud, false, kRate, -96, 10, kWindowN1, 0, 2).empty());
    EXPECT_TRUE(ProductSlice(loud, false, kRate, -96, 10, kWindowN1, 0, 1).empty());
    AutoSlicer nullBuffer;
    nullBuffer.sampleCount = 100;
    nullBuffer.Slice(1, kRate, 0);
    EXPECT_EQ(nullBuffer.regions.Count(), 0);
    EXPECT_TRUE(IndexSlice(SliceIndex(), -96.0, 5, 0).empty());
}

TEST(Slicer, OddStereoCountIgnoresTheTrailingHalfFrame) {
    // 2 * 50 + 1 values; the trailing value is loud, so reading it would matter. ASan
    // flags any read past the vector.
    std::vector<int16_t> s(101, 0);
    for (std::size_t i = 40; i < 80; ++i) s[i] = 20000;
    s[100] = 32767;
    const std::vector<int16_t> even(s.begin(), s.end() - 1);
    const auto odd = ProductSlice(s, false, kRate, -10, 5, kWindowN1, 0);
    EXPECT_EQ(odd, ProductSlice(even, false, kRate, -10, 5, kWindowN1, 0));
    EXPECT_EQ(IndexSlice(SliceIndex::Build(s, false, kRate, kWindowN1), -10, 5, 0), odd);
    ASSERT_FALSE(odd.empty());
    EXPECT_EQ(odd.back().start + odd.back().length, 49u);
    EXPECT_TRUE(ProductSlice({20000, 20000, 20000}, false, kRate, -96, 5, kWindowN1, 0).empty());
}

TEST(Slicer, AppendsToTheListWithoutClearingIt) {
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

    // The index fills a list the same way as its vector output.
    const SliceIndex index = SliceIndex::Build(demo::MakeDemoSignal({5, 11025, 2, 2.0}), false, 11025, 50);
    ChainedList<Region> list;
    index.Slice(-30.0, 100.0, 4, list);
    const auto expected = IndexSlice(index, -30.0, 100.0, 4);
    ASSERT_FALSE(expected.empty());
    ASSERT_EQ(list.Count(), int32_t(expected.size()));
    for (int32_t i = 0; i < list.Count(); ++i) EXPECT_EQ(list.At(i), expected[std::size_t(i)]);
    EXPECT_EQ(index.AveragingLength(), 12u);
}

// The slider's thresholds: -96.0 to 0.0 in steps of 0.1 dB.
double SliderDb(int step) { return double(step - 960) / 10.0; }

// Noise whose loudness wanders: bursts, pauses and long stretches near any level.
std::vector<int16_t> Wandering(std::mt19937& rng, std::size_t size) {
    std::vector<int16_t> s(size);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    double envelope = 0, target = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (unit(rng) < 0.002) target = unit(rng) < 0.3 ? 0.0 : std::pow(unit(rng), 3.0);
        envelope += (target - envelope) * 0.01;
        s[i] = int16_t(std::clamp((unit(rng) * 2 - 1) * envelope * 32768.0, -32768.0, 32767.0));
    }
    return s;
}

TEST(Slicer, IndexMatchesTheOracleAtEverySliderThreshold) {
    std::mt19937 rng(20261208);
    std::vector<std::pair<std::string, std::vector<int16_t>>> corpus = {
        {"demo seed 1", demo::MakeDemoSignal({1, 11025, 1, 2.5})},
        {"demo stereo", demo::MakeDemoSignal({3, 11025, 2, 2.0})},
        {"wandering", Wandering(rng, 12001)},
        {"constant", std::vector<int16_t>(3000, 16384)}};
    std::vector<int16_t> white(6001), squares(4097);
    for (auto& v : white) v = int16_t(int(rng() % 65536) - 32768);
    for (std::size_t i = 0; i < squares.size(); ++i) squares[i] = (i / 300) % 2 ? -32768 : 0;
    corpus.push_back({"white", white});
    corpus.push_back({"full-scale squares", squares});
    for (const auto& [name, samples] : corpus) {
        for (bool mono : {true, false}) {
            const SliceIndex index = SliceIndex::Build(samples, mono, 11025, 50);
            for (int step = 0; step <= 960; ++step) {
                for (double ms : {5.0, 250.0, 2500.0, double(5 + rng() % 2496)}) {
                    const double db = SliderDb(step);
                    ASSERT_EQ(test::OracleSlice(samples, mono, 11025, db, ms, 50, 0), IndexSlice(index, db, ms, 0))
                        << name << (mono ? " mono " : " stereo ") << db << " dB " << ms << " ms";
                }
            }
        }
    }
}

TEST(Slicer, SlicerAndIndexMatchTheOracleOnRandomTinyAndOddBuffers) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> sizeDist(0, 300);
    for (int round = 0; round < 3000; ++round) {
        const std::size_t size = round < 40 ? std::size_t(round) : std::size_t(sizeDist(rng));
        std::vector<int16_t> s(size);
        const int style = round % 3;
        for (std::size_t i = 0; i < size; ++i) {
            if (style == 0) {
                s[i] = int16_t(int(rng() % 65536) - 32768);
            } else if (style == 1) {
                s[i] = (rng() % 7 == 0) ? int16_t(rng() % 2 ? 32767 : -32768) : int16_t(rng() % 40);
            } else {
                s[i] = int16_t(((i / (1 + rng() % 3)) % 17 < 8) ? 12000 + rng() % 9000 : rng() % 100);
            }
        }
        const bool mono = rng() % 2;
        const uint32_t rate = (uint32_t[]){1000, 8000, 11025, 22050, 44100}[rng() % 5];
        const uint32_t window = (uint32_t[]){0, 1, 20, 50, 100, 400}[rng() % 6];
        const SliceIndex index = SliceIndex::Build(s, mono, rate, window);
        for (int k = 0; k < 30; ++k) {
            const double db = SliderDb(int(rng() % 961));
            const double ms = k == 0 ? 0.0 : double(5 + rng() % 2496);
            const uint32_t tag = uint32_t(rng());
            const auto expected = test::OracleSlice(s, mono, rate, db, ms, window, tag);
            ASSERT_EQ(expected, IndexSlice(index, db, ms, tag)) << "round " << round << " " << db << " dB " << ms;
            ASSERT_EQ(expected, ProductSlice(s, mono, rate, db, ms, window, tag)) << "round " << round;
        }
    }
}

TEST(Slicer, IndexMatchesTheSlicerOnALongerBufferAtRandomThresholds) {
    // More levels of blocks than the corpus, at thresholds also off the slider grid.
    const auto s = demo::MakeDemoSignal({11, 11025, 1, 60.0});
    const SliceIndex index = SliceIndex::Build(s, true, 11025, 50);
    std::mt19937 rng(99);
    std::uniform_real_distribution<double> dbDist(-100.0, 3.0);
    for (int k = 0; k < 200; ++k) {
        const double db = k % 2 ? SliderDb(int(rng() % 961)) : dbDist(rng);
        const double ms = 5 + double(rng() % 2496);
        ASSERT_EQ(ProductSlice(s, true, 11025, db, ms, 50, 0), IndexSlice(index, db, ms, 0)) << db << " dB " << ms;
    }
}

}  // namespace
}  // namespace korvane
