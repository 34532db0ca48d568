#pragma once
// Layout of the temporary track file and the unit conversions around it.
//
// A track file has no header: the raw audio part (44,100 Hz, 16-bit little-endian
// stereo frames, left first, exactly as the drive delivers them) followed by the
// overview part (one 16-bit little-endian 11,025 Hz mono sample per 4 frames, see
// cdda/overview.h). One overview sample stands for 4 frames = 16 audio bytes, so a
// file holding n overview samples is 18 * n bytes long: the overview starts at byte
// L - L/9 and holds L/18 samples. A CD sector (2,352 bytes = 588 frames) gives 147
// overview samples, so a track of S sectors makes a file of 2,646 * S bytes.
//
// All functions are constexpr and free of I/O.
#include <cstdint>

namespace korvane::cdda {

inline constexpr std::uint32_t kBytesPerFrame = 4;
inline constexpr std::uint32_t kFramesPerSecond = 44'100;
inline constexpr std::uint32_t kSectorsPerSecond = 75;
inline constexpr std::uint32_t kBytesPerSector = 2'352;
inline constexpr std::uint32_t kFramesPerSector = kBytesPerSector / kBytesPerFrame;  // 588
inline constexpr std::uint32_t kFramesPerOverviewSample = 4;
inline constexpr std::uint32_t kAudioBytesPerOverviewSample = kFramesPerOverviewSample * kBytesPerFrame;  // 16
inline constexpr std::uint32_t kBytesPerOverviewSample = 2;
inline constexpr std::uint32_t kOverviewSamplesPerSecond = kFramesPerSecond / kFramesPerOverviewSample;  // 11,025
inline constexpr std::uint32_t kOverviewSamplesPerSector = kFramesPerSector / kFramesPerOverviewSample;  // 147
inline constexpr std::uint32_t kOverviewBytesPerSector = kOverviewSamplesPerSector * kBytesPerOverviewSample;  // 294
inline constexpr std::uint32_t kTrackFileBytesPerSector = kBytesPerSector + kOverviewBytesPerSector;  // 2,646
inline constexpr std::uint32_t kTrackFileBytesPerOverviewSample =
    kAudioBytesPerOverviewSample + kBytesPerOverviewSample;  // 18

// Sectors per transfer of the track reader (24 sectors = 56,448 bytes).
inline constexpr std::uint32_t kSectorsPerTransfer = 24;
// Sectors the track reader gathers (64 transfers, 3.4 MiB of audio) before it writes
// them: large writes, few calls.
inline constexpr std::uint32_t kSectorsPerBatch = 64 * kSectorsPerTransfer;

constexpr std::uint64_t AudioBytesForSectors(std::uint64_t sectorCount) noexcept {
    return sectorCount * kBytesPerSector;
}
constexpr std::uint64_t OverviewBytesForSectors(std::uint64_t sectorCount) noexcept {
    return sectorCount * kOverviewBytesPerSector;
}
constexpr std::uint64_t TrackFileBytesForSectors(std::uint64_t sectorCount) noexcept {
    return sectorCount * kTrackFileBytesPerSector;
}

// For a track file of `fileBytes` bytes: where the overview part starts (= the length of
// the audio part) and how many overview samples it holds.
constexpr std::uint64_t OverviewPartOffset(std::uint64_t fileBytes) noexcept { return fileBytes - fileBytes / 9; }
constexpr std::uint64_t OverviewSampleCount(std::uint64_t fileBytes) noexcept { return fileBytes / 18; }
// A length the layout can describe exactly: a whole number of overview samples.
constexpr bool IsTrackFileLength(std::uint64_t fileBytes) noexcept {
    return fileBytes % kTrackFileBytesPerOverviewSample == 0;
}

constexpr double SecondsForSectors(std::uint64_t sectorCount) noexcept {
    return static_cast<double>(sectorCount) / kSectorsPerSecond;
}

static_assert(TrackFileBytesForSectors(1) == 2'646);
static_assert(OverviewPartOffset(TrackFileBytesForSectors(10)) == AudioBytesForSectors(10));
static_assert(OverviewSampleCount(TrackFileBytesForSectors(10)) == 10 * kOverviewSamplesPerSector);

}  // namespace korvane::cdda
