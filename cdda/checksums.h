#pragma once
// Per-track checksums of CD audio, computed while the track is read: the CRC32 of the
// audio bytes (zlib's polynomial) and the AccurateRip v1 and v2 track checksums.
//
// AccurateRip takes the track as little-endian 32-bit words w[1..N] (one stereo frame
// each, left sample in the low half) and sums, modulo 2^32,
//   v1: i * w[i]
//   v2: low 32 bits + high 32 bits of the 64-bit product i * w[i]
// leaving out, on the disc's first audio track, the words with i < 2,940 (five sectors
// less one frame), and on its last audio track the words with i > N - 2,940.
//
// Pure and free of I/O; one object per track, fed in order from one thread.
#include <cstdint>
#include <span>

namespace korvane::cdda {

// Frames left out at a disc's ends: i < kAccurateRipSkipFrames on the first track,
// i > N - kAccurateRipSkipFrames on the last.
inline constexpr std::uint32_t kAccurateRipSkipFrames = 2'940;

// CRC32 of `bytes` continued from `crc` (0 to start).
std::uint32_t Crc32(std::uint32_t crc, std::span<const std::uint8_t> bytes) noexcept;

class AccurateRipSum {
public:
    // A track of `frameCount` frames; the flags say whether it is the disc's first and
    // last audio track (a one-track disc is both).
    AccurateRipSum(std::uint64_t frameCount, bool firstTrack, bool lastTrack) noexcept;
    // The next frames of the track (a whole number of 4-byte frames).
    void Add(std::span<const std::uint8_t> frames) noexcept;
    std::uint32_t V1() const noexcept { return v1_; }
    std::uint32_t V2() const noexcept { return v2_; }

private:
    std::uint64_t next_ = 1;   // index i of the next word
    std::uint64_t first_ = 1;  // first index counted
    std::uint64_t last_;       // last index counted
    std::uint32_t v1_ = 0;
    std::uint32_t v2_ = 0;
};

// CRC32 and AccurateRip of one track, accumulated as the audio arrives.
struct TrackChecksums {
    TrackChecksums(std::uint64_t frameCount, bool firstTrack, bool lastTrack) noexcept
        : accurateRip(frameCount, firstTrack, lastTrack) {}
    void Add(std::span<const std::uint8_t> audio) noexcept {
        crc32 = Crc32(crc32, audio);
        accurateRip.Add(audio);
    }
    std::uint32_t crc32 = 0;
    AccurateRipSum accurateRip;
};

}  // namespace korvane::cdda
