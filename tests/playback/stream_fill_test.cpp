// StreamFiller over regions split in two parts (a lock that wraps round the ring).
#include "playback/stream_fill.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

namespace korvane::playback {
namespace {

std::vector<std::int16_t> Read(const std::vector<std::byte>& a, const std::vector<std::byte>& b) {
    std::vector<std::int16_t> values((a.size() + b.size()) / 2);
    std::vector<std::byte> all(a);
    all.insert(all.end(), b.begin(), b.end());
    std::memcpy(values.data(), all.data(), all.size());
    return values;
}

TEST(StreamFiller, LoopWrapsAcrossBothPartsOfARegion) {
    std::vector<std::int16_t> source(10);
    std::iota(source.begin(), source.end(), 100);
    StreamFiller filler(StreamSource{source.data(), 10, 4, 6});  // loop [4, 10)
    std::vector<std::byte> first(14), second(18);                // 7 + 9 values
    filler.FillFirst({first, second});
    EXPECT_EQ(Read(first, second), (std::vector<std::int16_t>{100, 101, 102, 103, 104, 105, 106, 107, 108, 109,
                                                             104, 105, 106, 107, 108, 109}));
    EXPECT_EQ(filler.ReadPosition(), 10u);  // the last copy was whole
    std::vector<std::byte> a(6), b(10);
    filler.FillQuarter({a, b});
    EXPECT_EQ(Read(a, b), (std::vector<std::int16_t>{104, 105, 106, 107, 108, 109, 104, 105}));
    EXPECT_EQ(filler.ReadPosition(), 6u);
    filler.FillQuarter({a, b});
    EXPECT_EQ(Read(a, b), (std::vector<std::int16_t>{106, 107, 108, 109, 104, 105, 106, 107}));
}

TEST(StreamFiller, OneShotEndsWithSilenceAcrossBothParts) {
    std::vector<std::int16_t> source(12);
    std::iota(source.begin(), source.end(), 1);
    StreamFiller filler(StreamSource{source.data(), 12, 0, 0});
    std::vector<std::byte> first(8), second(8);
    filler.FillFirst({first, second});
    EXPECT_EQ(Read(first, second), (std::vector<std::int16_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    std::vector<std::byte> a(2, std::byte{0x55}), b(14, std::byte{0x55});
    filler.FillQuarter({a, b});
    EXPECT_EQ(Read(a, b), (std::vector<std::int16_t>{9, 10, 11, 12, 0, 0, 0, 0}));
    filler.FillQuarter({a, b});
    EXPECT_EQ(Read(a, b), (std::vector<std::int16_t>(8, 0)));
}

}  // namespace
}  // namespace korvane::playback
