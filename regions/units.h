#pragma once
// Unit conversions of the slicer and the track file, kept in one place.
//
// Track audio: 44100 Hz, 16-bit, stereo; 2352 bytes (588 frames) per CD sector.
// Overview: 11025 Hz mono, one 16-bit sample per 4 stereo frames, i.e. per 16 raw
// bytes; 147 overview samples (294 bytes) per sector.
// Levels: 6 dB per bit, 0 dB = 32768.
#include <cmath>
#include <cstdint>
#include <limits>

namespace korvane::units {

inline constexpr uint32_t kTrackRateHz = 44100;
inline constexpr uint32_t kOverviewRateHz = 11025;
inline constexpr uint32_t kBytesPerFrame = 4;               // 16-bit stereo
inline constexpr uint32_t kFramesPerOverviewSample = 4;
inline constexpr uint32_t kBytesPerOverviewSample = 16;     // raw track bytes per overview sample
inline constexpr uint32_t kBytesPerSector = 2352;
inline constexpr uint32_t kFramesPerSector = kBytesPerSector / kBytesPerFrame;                 // 588
inline constexpr uint32_t kOverviewSamplesPerSector = kBytesPerSector / kBytesPerOverviewSample;  // 147
inline constexpr uint32_t kOverviewBytesPerSector = kOverviewSamplesPerSector * 2;             // 294
inline constexpr uint32_t kFullScaleLevel = 32768;
inline constexpr uint32_t kDefaultAveragingWindow = 50;     // samples at 44100 Hz

// Largest level that LevelFromDb returns; every level above full scale behaves alike.
inline constexpr uint32_t kMaxLevel = 2 * kFullScaleLevel;

// Threshold level: truncate(0.5 * 2^((thresholdDb + 96) / 6)). 0 dB gives 32768,
// -6 dB 16384, -20 dB 3250, -96 dB 0. Clamped to [0, kMaxLevel]; NaN gives 0.
inline uint32_t LevelFromDb(double thresholdDb) noexcept {
    const double level = 0.5 * std::pow(2.0, (thresholdDb + 96.0) * 0.16666666666666666);
    if (!(level >= 0.0)) return 0;
    if (level >= double(kMaxLevel)) return kMaxLevel;
    return uint32_t(level);
}

// Converts a double toward zero into [0, UINT32_MAX]; NaN and negatives give 0.
inline uint32_t TruncateToUint32(double value) noexcept {
    if (!(value > 0.0)) return 0;
    if (value >= 4294967295.0) return std::numeric_limits<uint32_t>::max();
    return uint32_t(value);
}

// Minimum gap in samples (frames): truncate(rateHz * releaseMs * 0.001).
// At 11025 Hz: 5 ms gives 55, 750 ms 8268, 2500 ms 27562.
inline uint32_t SamplesFromMs(uint32_t rateHz, double releaseMs) noexcept {
    return TruncateToUint32(double(rateHz) * releaseMs * 0.001);
}

// Length of the running average: truncate(averagingWindow / (44100 / rateHz)),
// never below 1 (a shorter window would divide by zero). 50 at 11025 Hz gives 12.
inline uint32_t AveragingLength(uint32_t averagingWindow, uint32_t rateHz) noexcept {
    const uint32_t n = TruncateToUint32(double(averagingWindow) / (44100.0 / double(rateHz)));
    return n < 1 ? 1 : n;
}

// Track file geometry: for a track file of fileBytes bytes (raw audio followed by its overview), the
// overview starts at byte L - L/9 and holds L/18 samples.
inline constexpr uint64_t OverviewOffsetInTrackFile(uint64_t fileBytes) noexcept {
    return fileBytes - fileBytes / 9;
}
inline constexpr uint64_t OverviewSamplesInTrackFile(uint64_t fileBytes) noexcept {
    return fileBytes / 18;
}

// Seconds of a sample position at a rate.
inline double SecondsFromSamples(uint64_t samples, uint32_t rateHz) noexcept {
    return rateHz == 0 ? 0.0 : double(samples) / double(rateHz);
}

}  // namespace korvane::units
