#pragma once
// The quarter-rate mono overview of 44,100 Hz 16-bit stereo audio.
//
// Every group of 4 stereo frames (8 sample values) becomes one 11,025 Hz overview
// sample:
//   half    = (left / 2) + (right / 2)   each division truncating toward zero, 16 bits
//   overview = (half0 + half1 + half2 + half3) / 4   32-bit sum, truncating, 16 bits
// For example the frames (1000, 3000), (-1, -1), (0, 0), (7, 8) give
// (2000 + 0 + 0 + 7) / 4 = 501.
//
// Pure functions: no I/O, no allocation, safe from any thread on disjoint buffers.
#include <cstddef>
#include <cstdint>
#include <span>

namespace korvane::cdda {

// Number of overview samples made from `valueCount` 16-bit values: (valueCount + 7) / 8.
constexpr std::size_t OverviewSamplesFor(std::size_t valueCount) noexcept {
    return (valueCount + 7) / 8;
}

// Reduces `values` (interleaved stereo samples in host byte order, left first; the
// count is twice the frame count) to OverviewSamplesFor(values.size()) samples written
// to the front of `overviewSamples`, which must be at least that long (checked: a
// shorter buffer throws std::length_error and nothing is written).
// A final group of fewer than 8 values is completed with zeros instead of reading past
// the end of `values`.
void DownmixOverview(std::span<const std::int16_t> values, std::span<std::int16_t> overviewSamples);

// The same rule over little-endian bytes as the drive delivers them and as the track
// file stores them: `audioBytes` holds 4-byte frames, `overviewBytes` receives 2 bytes
// (little-endian) per overview sample and must hold
// 2 * OverviewSamplesFor(audioBytes.size() / 2) bytes. A trailing odd byte is ignored.
void DownmixOverviewBytes(std::span<const std::uint8_t> audioBytes, std::span<std::uint8_t> overviewBytes);

}  // namespace korvane::cdda
