#pragma once
// Sampler-ready export: the options, and the pure logic that shapes a region before it
// is written or played — tail trimming, cuts moved to zero crossings, and fades.
//
// Fades are linear: over a fade-in of F frames frame i is scaled by i / F (the first
// frame is silent); over a fade-out the last frame is silent and the i-th frame before
// it is scaled by i / F. Samples are truncated toward zero, so a fade never raises a
// magnitude and never clips. When both fades cover a frame their gains multiply.
//
// All bounds are in frames of the track audio (44,100 Hz stereo). Pure functions, no
// I/O; any thread.
#include "regions/region.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace korvane::sampler {

inline constexpr int kDefaultFirstKey = 36;
inline constexpr double kDefaultBpm = 120.0;
inline constexpr double kMinBpm = 20.0;
inline constexpr double kMaxBpm = 400.0;
inline constexpr std::uint32_t kMaxZeroCrossMs = 50;
inline constexpr std::uint32_t kMaxFadeMs = 10'000;

struct SamplerOptions {
    bool trim = false;              // end each region where its sound ends
    std::uint32_t zeroCrossMs = 0;  // move cuts to zero crossings within this distance; 0 = off
    std::uint32_t fadeInMs = 0;     // linear fade at the start; 0 = off
    std::uint32_t fadeOutMs = 0;    // linear fade at the end; 0 = off
    bool smpl = false;              // a `smpl` chunk with one forward loop in every file
    bool markers = false;           // one WAV of the whole span with `cue ` and `labl` slice points
    bool sfz = false;               // NAME.sfz mapping the files to keys
    bool midi = false;              // NAME.mid, one note per region
    bool pad = false;               // zero-padded numbers in the file names
    int firstKey = kDefaultFirstKey;
    double bpm = kDefaultBpm;

    // Trim, zero crossings or fades: the audio differs from the plain region.
    bool ShapesAudio() const noexcept { return trim || zeroCrossMs > 0 || fadeInMs > 0 || fadeOutMs > 0; }
    // Any option on: otherwise the export is the plain one, byte for byte.
    bool Any() const noexcept { return ShapesAudio() || smpl || markers || sfz || midi || pad; }
    friend bool operator==(const SamplerOptions&, const SamplerOptions&) = default;
};

// Why `options` cannot be used for `regionCount` regions ("" when they can): a first
// key outside 0..127 or one that maps the last region past key 127, a tempo outside
// kMinBpm..kMaxBpm, a zero-crossing distance or fade out of range, --markers with --sfz.
std::string CheckOptions(const SamplerOptions& options, std::size_t regionCount);

// The MIDI key region k (0-based among the exported ones) is mapped to.
inline int KeyOf(const SamplerOptions& options, std::size_t k) noexcept {
    return options.firstKey + static_cast<int>(k);
}

struct FrameSpan {
    std::uint64_t first = 0;
    std::uint64_t count = 0;
    std::uint64_t End() const noexcept { return first + count; }
    friend bool operator==(const FrameSpan&, const FrameSpan&) = default;
};

// The plain frames of a region: 4 per overview sample.
FrameSpan PlainSpan(const Region& region) noexcept;

// Fills `sums` with left + right of frames first .. first + sums.size() - 1.
using FrameSums = std::function<void(std::uint64_t first, std::span<std::int32_t> sums)>;

// The cut nearest `at` within [lo, hi] where the channel sum crosses zero: frame c with
// sum(c) == 0 or with sum(c - 1) and sum(c) of opposite signs. Without any, the frame
// whose |sum| is smallest (the nearer one on a tie). Ties of distance go to the earlier
// frame. `sums[i]` holds the sum of frame windowFirst + i and must cover [lo - 1, hi]
// (from lo when lo is 0). Returns `at` when lo > hi.
std::uint64_t NearestZeroCrossing(std::span<const std::int32_t> sums, std::uint64_t windowFirst, std::uint64_t at,
                                  std::uint64_t lo, std::uint64_t hi);

// The bounds of every region of a track after trimming and zero-crossing cuts.
// `regions` are the track's whole region list (ascending starts); `soundEnds` the
// overview sample where each region's sound ends (SoundEnds), used when trimming;
// `audioFrames` the frames of the track. Adjusted regions never overlap and never
// leave the track; a cut moves at most zeroCrossMs either way. A cut shared by two
// abutting regions stays shared.
std::vector<FrameSpan> AdjustBounds(std::span<const Region> regions, std::span<const std::uint32_t> soundEnds,
                                    std::uint64_t audioFrames, const SamplerOptions& options, const FrameSums& sums);

// Frames of a fade of `ms` milliseconds, at most `regionFrames`.
std::uint64_t FadeFrames(std::uint32_t ms, std::uint64_t regionFrames) noexcept;

// Applies the fades to `block` (16-bit little-endian stereo frames) that holds frames
// offset .. offset + n - 1 of a region of regionFrames frames.
void ApplyFades(std::span<std::byte> block, std::uint64_t offset, std::uint64_t regionFrames,
                std::uint64_t fadeInFrames, std::uint64_t fadeOutFrames) noexcept;

}  // namespace korvane::sampler
