#pragma once
// Normalisation of 16-bit little-endian PCM to full scale. Pure functions over bytes as
// they lie in the track file and the WAV file.
//
// The gain is 32767 / peak in double precision and each sample becomes
// sample x gain truncated toward zero; so the loudest sample does not always reach
// 32767 (for 4,981 of the 32,768 possible peaks it ends at 32766), and a sample of
// -32768 becomes -32767. Scaling a long region block by block with the gain of the
// whole region (PeakMagnitude over all blocks first) gives exactly the bytes of
// NormalizeFrames over the whole buffer at once.
#include <cstddef>
#include <cstdint>
#include <span>

namespace korvane::wavexport {

// Largest magnitude of any sample (a sample of -32768 counts 32768); 0 when all are 0.
// `samples` holds 16-bit little-endian values; a trailing odd byte is ignored.
std::uint32_t PeakMagnitude(std::span<const std::byte> samples) noexcept;

// 32767.0 / peak; 1.0 for peak 0 (silence stays silence, no division by zero).
double NormalizationGain(std::uint32_t peak) noexcept;

// Replaces every sample by sample x gain truncated toward zero. `gain` must be one
// returned by NormalizationGain (so no result leaves the 16-bit range).
void ScaleSamples(std::span<std::byte> samples, double gain) noexcept;

// Whole-buffer normalisation: PeakMagnitude, then ScaleSamples (nothing for silence).
void NormalizeFrames(std::span<std::byte> samples) noexcept;

}  // namespace korvane::wavexport
