// The slicer family against one table of hand-built cases and one oracle: the plain
// slicer (AutoSlicer), the slider index (SliceIndex, built by the chunked running average)
// and the oracle loop of slice_oracle.cpp must all give the regions each case names; on
// random buffers the slicer and the index must agree with the oracle. korvane-cli slice is
// checked against the same oracle in cli_slice_test.cpp.
#include "regions/auto_slicer.h"
#include "regions/demo_signal.h"
#include "regions/slice_index.h"
#include "slice_oracle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace korvane {
namespace {

// Rate 1000 Hz with window 45 gives an averaging length of 1: the average is then
// |sample| itself and the position of sample i is i - 1, which keeps the cases readable.
constexpr uint32_t kRate = 1000;
constexpr uint32_t kWindowN1 = 45;

// Every slice goes into a list that already holds kEarlier: slicing appends, never clears.
const Region kEarlier{7, 7, 7};

std::vector<Region> AfterEarlier(std::vector<Region> all) {
    EXPECT_TRUE(!all.empty() && all.front() == kEarlier) << "the slice cleared the list";
    if (!all.empty()) all.erase(all.begin());
    return all;
}

std::vector<Region> ProductSlice(const std::vector<int16_t>& s, bool mono, uint32_t rate, double db, double ms,
                                 uint32_t window, uint32_t tag) {
    AutoSlicer slicer;
    slicer.regions.Append(new Region(kEarlier));
    slicer.samples = s.data();
    slicer.sampleCount = uint32_t(s.size());
    slicer.thresholdDb = db;
    slicer.releaseMs = ms;
    slicer.averagingWindow = window;
    slicer.Slice(mono ? 1 : 0, rate, tag);
    return AfterEarlier({slicer.regions.begin(), slicer.regions.end()});
}

// The index's slice into a vector, checked against its slice into a region list.
std::vector<Region> IndexSlice(const SliceIndex& index, double db, double ms, uint32_t tag) {
    std::vector<Region> out{kEarlier};
    index.Slice(db, ms, tag, out);
    ChainedList<Region> list;
    list.Append(new Region(kEarlier));
    index.Slice(db, ms, tag, list);
    EXPECT_EQ(std::vector<Region>(list.begin(), list.end()), out) << "the list and the vector differ";
    return AfterEarlier(out);
}

// Quiet (0) everywhere except the [from, to) stretches, which alternate +-value.
std::vector<int16_t> Bursts(std::size_t size, std::vector<std::pair<std::size_t, std::size_t>> loud,
                            int16_t value = 20000) {
    std::vector<int16_t> s(size, 0);
    for (auto [from, to] : loud)
        for (std::size_t i = from; i < to; ++i) s[i] = (i % 2) ? value : int16_t(-value);
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
    std::vector<Region> regions;  // start, length; tag 0 (the random buffers use random tags)
};

std::vector<Case> Cases() {
    std::vector<int16_t> leftOnly(2 * 100, 0);  // stereo: left loud, right silent
    for (std::size_t f = 40; f < 60; ++f) leftOnly[2 * f] = 30000;
    const auto three = Bursts(200, {{10, 30}, {60, 65}, {80, 100}});
    const auto pair = Bursts(120, {{10, 30}, {70, 90}});
    const auto halfScale = Bursts(200, {{50, 200}}, 16384);  // -6 dB exactly
    return {
        {"loud throughout: to the sample before the end", std::vector<int16_t>(500, -32768), true, kRate, 0, 10,
         kWindowN1, {{0, 499}}},
        {"at -96 dB silence is loud", std::vector<int16_t>(300, 0), true, kRate, -96, 10, kWindowN1, {{0, 299}}},
        {"equal to the level counts as loud", halfScale, true, kRate, -6.0, 5, kWindowN1, {{49, 150}}},
        {"just under the level", halfScale, true, kRate, -5.9, 5, kWindowN1, {}},
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
        {"a too-short last region is dropped", Bursts(200, {{10, 30}, {60, 65}, {195, 200}}), true, kRate, -10, 10,
         kWindowN1, {{9, 50}, {59, 135}}},
        // n = 12 at 11025 Hz: the average passes 3250 at the second loud sample (i = 1001),
        // and positions lag by n.
        {"positions lag the average by its length", Bursts(4000, {{1000, 2000}}, 30000), true, 11025, -20, 5, 50,
         {{989, 3010}}},
        {"stereo averages the channels: under the level", leftOnly, false, kRate, -6.0, 10, kWindowN1, {}},
        {"stereo averages the channels: over the level", leftOnly, false, kRate, -7.0, 10, kWindowN1, {{39, 60}}},
        {"stereo loud throughout ignores a trailing half frame", std::vector<int16_t>(201, 30000), false, kRate, -10, 10,
         kWindowN1, {{0, 99}}},
        {"window under one sample is clamped to one", pair, true, kRate, -10, 10, 20, {{9, 60}, {69, 50}}},
    };
}

TEST(Slicer, SlicerIndexAndOracleGiveEachCasesRegions) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ProductSlice(c.samples, c.mono, c.rate, c.db, c.ms, c.window, 0), c.regions);
        const SliceIndex index = SliceIndex::Build(c.samples, c.mono, c.rate, c.window);
        EXPECT_EQ(IndexSlice(index, c.db, c.ms, 0), c.regions);
        if (uint64_t(c.window) * c.rate >= 44100) {  // the oracle knows no clamped window
            const auto average = test::AverageOf(c.samples, c.mono, c.rate, c.window);
            EXPECT_EQ(test::OracleSlice(average, c.db, c.ms, 0), c.regions);
        }
    }
    AutoSlicer nullBuffer;
    nullBuffer.sampleCount = 100;
    nullBuffer.Slice(1, kRate, 0);
    EXPECT_EQ(nullBuffer.regions.Count(), 0);
    EXPECT_TRUE(IndexSlice(SliceIndex(), -96.0, 5, 0).empty());
}

// The slider's thresholds: -96.0 to 0.0 in steps of 0.1 dB (step 0 to 960).
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

// Every slider threshold and a little beyond both ends (-100 to +3 dB), at short, long
// and random release times, and once more off the grid; the 60 s signal, whose index has
// more levels of blocks, at every ninth step.
TEST(Slicer, IndexMatchesTheOracleAtEverySliderThreshold) {
    std::mt19937 rng(20261208);
    std::vector<std::pair<std::string, std::vector<int16_t>>> corpus = {
        {"demo seed 1", demo::MakeDemoSignal({1, 11025, 1, 2.5})},
        {"demo stereo", demo::MakeDemoSignal({3, 11025, 2, 2.0})},
        {"demo 60 s", demo::MakeDemoSignal({11, 11025, 1, 60.0})},
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
            const test::OracleAverage average = test::AverageOf(samples, mono, 11025, 50);
            for (int step = -40; step <= 990; step += samples.size() > 100'000 ? 9 : 1) {
                const double db = SliderDb(step);
                const std::pair<double, double> settings[] = {
                    {db, 5.0}, {db, 250.0}, {db, 2500.0}, {db + double(rng() % 100) / 1000, double(5 + rng() % 2496)}};
                for (const auto& [thresholdDb, ms] : settings) {
                    ASSERT_EQ(test::OracleSlice(average, thresholdDb, ms, 0), IndexSlice(index, thresholdDb, ms, 0))
                        << name << (mono ? " mono " : " stereo ") << thresholdDb << " dB " << ms << " ms";
                }
            }
        }
    }
}

TEST(Slicer, SlicerAndIndexMatchTheOracleOnRandomTinyAndOddBuffers) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> sizeDist(0, 300);
    for (int round = 0; round < 3000; ++round) {
        // Every size below 40 in mono and in stereo first, then random ones.
        const std::size_t size = round < 80 ? std::size_t(round / 2) : std::size_t(sizeDist(rng));
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
        const bool mono = round < 80 ? round % 2 == 0 : rng() % 2 == 0;
        const uint32_t rate = (uint32_t[]){1000, 8000, 11025, 22050, 44100}[rng() % 5];
        // Windows of at least one sample: shorter ones are clamped, which the table pins.
        const uint32_t window = std::max((uint32_t[]){1, 20, 50, 100, 400}[rng() % 5], (44100 + rate - 1) / rate);
        const SliceIndex index = SliceIndex::Build(s, mono, rate, window);
        const test::OracleAverage average = test::AverageOf(s, mono, rate, window);
        for (int k = 0; k < 30; ++k) {
            const double db = SliderDb(int(rng() % 961));
            const double ms = k == 0 ? 0.0 : double(5 + rng() % 2496);
            const uint32_t tag = uint32_t(rng());
            const auto expected = test::OracleSlice(average, db, ms, tag);
            ASSERT_EQ(expected, IndexSlice(index, db, ms, tag)) << "round " << round << " " << db << " dB " << ms;
            ASSERT_EQ(expected, ProductSlice(s, mono, rate, db, ms, window, tag)) << "round " << round;
        }
    }
}

}  // namespace
}  // namespace korvane
