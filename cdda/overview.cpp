#include "cdda/overview.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <stdexcept>

namespace korvane::cdda {
namespace {

inline std::int16_t Half(std::int16_t left, std::int16_t right) noexcept {
    // Both divisions truncate toward zero; the sum of two halves always fits 16 bits.
    return static_cast<std::int16_t>(left / 2 + right / 2);
}

inline std::int16_t Group(const std::int16_t* v) noexcept {
    const std::int32_t sum = std::int32_t{Half(v[0], v[1])} + Half(v[2], v[3]) + Half(v[4], v[5]) +
                             Half(v[6], v[7]);
    return static_cast<std::int16_t>(sum / 4);
}

inline std::int16_t FromLittleEndian(const std::uint8_t* p) noexcept {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
}

}  // namespace

void DownmixOverview(std::span<const std::int16_t> values, std::span<std::int16_t> overviewSamples) {
    const std::size_t groups = OverviewSamplesFor(values.size());
    if (overviewSamples.size() < groups) {
        throw std::length_error("DownmixOverview: overview buffer too short");
    }
    const std::size_t wholeGroups = values.size() / 8;
    const std::int16_t* in = values.data();
    std::int16_t* out = overviewSamples.data();
    for (std::size_t g = 0; g < wholeGroups; ++g) out[g] = Group(in + 8 * g);
    if (wholeGroups < groups) {
        std::array<std::int16_t, 8> tail{};
        std::copy(values.begin() + static_cast<std::ptrdiff_t>(8 * wholeGroups), values.end(), tail.begin());
        out[wholeGroups] = Group(tail.data());
    }
}

void DownmixOverviewBytes(std::span<const std::uint8_t> audioBytes, std::span<std::uint8_t> overviewBytes) {
    const std::size_t valueCount = audioBytes.size() / 2;
    const std::size_t groups = OverviewSamplesFor(valueCount);
    if (overviewBytes.size() < 2 * groups) {
        throw std::length_error("DownmixOverviewBytes: overview buffer too short");
    }
    // Work in blocks so the arithmetic runs over aligned 16-bit values.
    constexpr std::size_t kBlockValues = 8 * 1024;
    std::array<std::int16_t, kBlockValues> block;
    std::array<std::int16_t, kBlockValues / 8> reduced;
    std::size_t done = 0;
    while (done < valueCount) {
        const std::size_t count = std::min(kBlockValues, valueCount - done);
        const std::uint8_t* src = audioBytes.data() + 2 * done;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(block.data(), src, 2 * count);
        } else {
            for (std::size_t i = 0; i < count; ++i) block[i] = FromLittleEndian(src + 2 * i);
        }
        const std::size_t made = OverviewSamplesFor(count);
        DownmixOverview(std::span<const std::int16_t>(block.data(), count), reduced);
        std::uint8_t* dst = overviewBytes.data() + 2 * (done / 8);
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(dst, reduced.data(), 2 * made);
        } else {
            for (std::size_t i = 0; i < made; ++i) {
                const auto u = static_cast<std::uint16_t>(reduced[i]);
                dst[2 * i] = static_cast<std::uint8_t>(u & 0xFF);
                dst[2 * i + 1] = static_cast<std::uint8_t>(u >> 8);
            }
        }
        done += count;
    }
}

}  // namespace korvane::cdda
