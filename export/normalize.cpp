#include "export/normalize.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace korvane::wavexport {
namespace {

static_assert(std::endian::native == std::endian::little,
              "sample access below assumes a little-endian host, as the files are");

inline std::int16_t LoadSample(const std::byte* p) noexcept {
    std::int16_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

inline void StoreSample(std::byte* p, std::int16_t value) noexcept { std::memcpy(p, &value, sizeof value); }

}  // namespace

std::uint32_t PeakMagnitude(std::span<const std::byte> samples) noexcept {
    const std::size_t count = samples.size() / 2;
    const std::byte* p = samples.data();
    std::int32_t peak = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::int32_t s = LoadSample(p + 2 * i);
        peak = std::max(peak, s < 0 ? -s : s);
    }
    return static_cast<std::uint32_t>(peak);
}

double NormalizationGain(std::uint32_t peak) noexcept {
    return peak == 0 ? 1.0 : 32767.0 / static_cast<double>(peak);
}

void ScaleSamples(std::span<std::byte> samples, double gain) noexcept {
    const std::size_t count = samples.size() / 2;
    std::byte* p = samples.data();
    for (std::size_t i = 0; i < count; ++i) {
        const double scaled = static_cast<double>(LoadSample(p + 2 * i)) * gain;
        // Conversion truncates toward zero; |scaled| <= 32767 for gains from
        // NormalizationGain, so the value fits.
        StoreSample(p + 2 * i, static_cast<std::int16_t>(scaled));
    }
}

void NormalizeFrames(std::span<std::byte> samples) noexcept {
    const std::uint32_t peak = PeakMagnitude(samples);
    if (peak == 0) return;
    ScaleSamples(samples, NormalizationGain(peak));
}

}  // namespace korvane::wavexport
