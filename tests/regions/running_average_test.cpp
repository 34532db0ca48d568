// The chunked running average against the one serial chain, on signals built to
// make chunk states merge late or never: long digital silences after full-scale
// squares (states stall at different denormal values), tails that decay into the
// denormal range, and plain noise and music-like audio.
#include "regions/running_average.h"

#include "regions/demo_signal.h"
#include "slice_oracle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace korvane {
namespace {

struct Floors {
    std::vector<uint16_t> values, blockMin, blockMax;
    friend bool operator==(const Floors&, const Floors&) = default;
};

Floors Allocate(std::size_t sampleCount, bool mono) {
    const std::size_t steps = AverageSteps(sampleCount, mono);
    const std::size_t blocks = (steps + 15) / 16;
    return {std::vector<uint16_t>(steps, 0xDEAD), std::vector<uint16_t>(blocks, 0xDEAD),
            std::vector<uint16_t>(blocks, 0xDEAD)};
}

// The recurrence as written, one step after the other: the slice oracle's average (its
// length is the window at 44100 Hz), floored, from the first step on.
Floors Serial(const std::vector<int16_t>& s, bool mono, uint32_t n) {
    Floors f = Allocate(s.size(), mono);
    const auto average = test::AverageOf(s, mono, 44100, n);
    for (std::size_t k = 0; k < f.values.size(); ++k) f.values[k] = uint16_t(average.values[k + 1]);
    for (std::size_t b = 0; b < f.blockMin.size(); ++b) {
        const auto first = f.values.begin() + std::ptrdiff_t(16 * b);
        const auto last = f.values.begin() + std::ptrdiff_t(std::min(f.values.size(), 16 * b + 16));
        f.blockMin[b] = *std::min_element(first, last);
        f.blockMax[b] = *std::max_element(first, last);
    }
    return f;
}

// Loud full-scale squares, then silences long enough for states to stall in the
// denormal range, then a faint tail.
std::vector<int16_t> SquaresAndSilences(std::size_t length) {
    std::vector<int16_t> s(length, 0);
    for (std::size_t i = 0; i < length; ++i) {
        const std::size_t phase = i % 40'000;
        if (phase < 3'000) s[i] = (i / 7) % 2 ? int16_t(-32768) : int16_t(32767);
        else if (phase >= 39'000) s[i] = int16_t(i % 3);  // faint, mostly below 1
    }
    return s;
}

std::vector<int16_t> Noise(std::size_t length, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<int16_t> s(length);
    for (auto& v : s) v = int16_t(int32_t(random() % 65536) - 32768);
    return s;
}

TEST(RunningAverage, ChunkedRunEqualsTheSerialChainBitForBit) {
    const auto demo = demo::MakeDemoSignal({7, 11025, 1, 200.0});
    struct Case {
        std::string name;
        std::vector<int16_t> samples;
        bool mono;
        uint32_t n;
        AverageSplit split;
        bool expectRejections;
    } cases[] = {
        // Warm-ups far too short to merge: most chunks are rejected and repaired.
        {"squares, short warm-up", SquaresAndSilences(2'000'000), true, 12, {8'192, 16, 3}, true},
        {"noise, 16-step warm-up", Noise(600'001, 1), true, 12, {4'096, 16, 2}, true},
        {"stereo squares", SquaresAndSilences(1'200'002), false, 12, {4'112, 32, 2}, true},
        {"stereo odd count, n = 1", Noise(300'003, 2), false, 1, {1'024, 16, 1}, false},
        {"long window", Noise(900'000, 3), true, 400, {16'384, 1'024, 2}, true},
        // The split the slice index uses.
        {"demo signal, default split", demo, true, 12, {}, false},
        {"squares, default split", SquaresAndSilences(demo.size()), true, 12, {}, true},
    };
    for (const auto& c : cases) {
        Floors chunked = Allocate(c.samples.size(), c.mono);
        const AverageReport report =
            RunAverageFloors(c.samples, c.mono, c.n, {chunked.values, chunked.blockMin, chunked.blockMax}, c.split);
        EXPECT_TRUE(chunked == Serial(c.samples, c.mono, c.n)) << c.name;
        // The chunked path ran, and where the case is built for it, chunks were repaired.
        EXPECT_GT(report.chunks, 0u) << c.name;
        EXPECT_TRUE(!c.expectRejections || report.rejectedChunks > 0) << c.name;
    }
}

}  // namespace
}  // namespace korvane
