#include "regions/slice_index.h"

#include "regions/auto_slicer.h"
#include "regions/demo_signal.h"
#include "slice_oracle.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace korvane {
namespace {

struct Buffer {
    std::string name;
    std::vector<int16_t> samples;
};

std::vector<Region> IndexSlice(const SliceIndex& index, double db, double ms, uint32_t tag = 0) {
    std::vector<Region> out;
    index.Slice(db, ms, tag, out);
    return out;
}

std::vector<Region> ProductSlice(const std::vector<int16_t>& s, bool mono, uint32_t rate, double db,
                                 double ms, uint32_t window, uint32_t tag) {
    AutoSlicer slicer;
    slicer.samples = s.data();
    slicer.sampleCount = uint32_t(s.size());
    slicer.thresholdDb = db;
    slicer.releaseMs = ms;
    slicer.averagingWindow = window;
    slicer.Slice(mono ? 1 : 0, rate, tag);
    std::vector<Region> out;
    for (int32_t i = 0; i < slicer.regions.Count(); ++i) out.push_back(slicer.regions.At(i));
    return out;
}

// The slider's thresholds: -96.0 to 0.0 in steps of 0.1 dB.
double SliderDb(int step) { return double(step - 960) / 10.0; }

// Noise whose loudness wanders: bursts, pauses and long stretches near any level.
std::vector<int16_t> Wandering(std::mt19937& rng, std::size_t size) {
    std::vector<int16_t> s(size);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    double envelope = 0;
    double target = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (unit(rng) < 0.002) target = unit(rng) < 0.3 ? 0.0 : std::pow(unit(rng), 3.0);
        envelope += (target - envelope) * 0.01;
        const double value = (unit(rng) * 2 - 1) * envelope * 32768.0;
        s[i] = int16_t(std::clamp(value, -32768.0, 32767.0));
    }
    return s;
}

std::vector<Buffer> Corpus() {
    std::mt19937 rng(20261208);
    std::vector<Buffer> buffers;
    for (uint64_t seed : {1, 2}) {
        buffers.push_back({"demo mono seed " + std::to_string(seed),
                           demo::MakeDemoSignal({seed, 11025, 1, 2.5})});
    }
    buffers.push_back({"demo stereo", demo::MakeDemoSignal({3, 11025, 2, 2.0})});
    buffers.push_back({"wandering", Wandering(rng, 12001)});
    std::vector<int16_t> white(6001);
    for (auto& v : white) v = int16_t(int(rng() % 65536) - 32768);
    buffers.push_back({"white", white});
    std::vector<int16_t> extremes(4097);
    for (std::size_t i = 0; i < extremes.size(); ++i) extremes[i] = (i / 300) % 2 ? -32768 : 0;
    buffers.push_back({"full-scale squares", extremes});
    buffers.push_back({"constant", std::vector<int16_t>(3000, 16384)});
    return buffers;
}

void ExpectSame(const std::vector<Region>& expected, const std::vector<Region>& actual,
                const std::string& what) {
    ASSERT_EQ(expected.size(), actual.size()) << what;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(expected[i], actual[i]) << what << " region " << i;
    }
}

TEST(SliceIndex, MatchesTheOracleAtEverySliderThreshold) {
    const double releases[] = {5, 250, 2500};
    std::mt19937 rng(3);
    for (const Buffer& b : Corpus()) {
        for (bool mono : {true, false}) {
            const SliceIndex index = SliceIndex::Build(b.samples, mono, 11025, 50);
            for (int step = 0; step <= 960; ++step) {
                const double db = SliderDb(step);
                for (double ms : {releases[0], releases[1], releases[2], double(5 + rng() % 2496)}) {
                    ExpectSame(test::OracleSlice(b.samples, mono, 11025, db, ms, 50, 0),
                               IndexSlice(index, db, ms),
                               b.name + (mono ? " mono " : " stereo ") + std::to_string(db) + " dB " +
                                   std::to_string(ms) + " ms");
                    if (HasFatalFailure()) return;
                }
            }
        }
    }
}

TEST(SliceIndex, MatchesTheOracleOnRandomTinyAndOddBuffers) {
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
            const std::string what = "round " + std::to_string(round) + " size " +
                                     std::to_string(size) + (mono ? " mono " : " stereo ") +
                                     std::to_string(db) + " dB " + std::to_string(ms) + " ms";
            ExpectSame(expected, IndexSlice(index, db, ms, tag), what);
            ExpectSame(expected, ProductSlice(s, mono, rate, db, ms, window, tag), what);
            if (HasFatalFailure()) return;
        }
    }
}

TEST(SliceIndex, MatchesTheProductSlicerOnALongerBufferWithRandomParameters) {
    // A buffer with more levels of blocks than the corpus, sliced at random
    // thresholds (also off the slider grid) and release times.
    const auto s = demo::MakeDemoSignal({11, 11025, 1, 60.0});
    const SliceIndex index = SliceIndex::Build(s, true, 11025, 50);
    std::mt19937 rng(99);
    std::uniform_real_distribution<double> dbDist(-100.0, 3.0);
    for (int k = 0; k < 200; ++k) {
        const double db = k % 2 ? SliderDb(int(rng() % 961)) : dbDist(rng);
        const double ms = 5 + double(rng() % 2496);
        ExpectSame(ProductSlice(s, true, 11025, db, ms, 50, 0), IndexSlice(index, db, ms),
                   std::to_string(db) + " dB " + std::to_string(ms) + " ms");
        if (HasFatalFailure()) return;
    }
}

TEST(SliceIndex, ListOutputAndAccessorsAgreeWithTheBuild) {
    const auto s = demo::MakeDemoSignal({5, 11025, 2, 2.0});
    const SliceIndex index = SliceIndex::Build(s, false, 11025, 50);
    EXPECT_FALSE(index.Mono());
    EXPECT_EQ(index.Extent(), s.size() / 2);
    EXPECT_EQ(index.AveragingLength(), 12u);
    EXPECT_GE(index.MemoryBytes(), (s.size() / 2 - 1) * sizeof(uint16_t));

    ChainedList<Region> list;
    index.Slice(-30.0, 100.0, 4, list);
    const auto expected = IndexSlice(index, -30.0, 100.0, 4);
    ASSERT_FALSE(expected.empty());
    ASSERT_EQ(list.Count(), int32_t(expected.size()));
    for (int32_t i = 0; i < list.Count(); ++i) EXPECT_EQ(list.At(i), expected[std::size_t(i)]);

    const SliceIndex empty;
    EXPECT_TRUE(IndexSlice(empty, -96.0, 5).empty());
}

}  // namespace
}  // namespace korvane
