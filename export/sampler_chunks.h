#pragma once
// The RIFF chunks a sampler reads beside the audio, built as the bytes of their
// contents (the chunk writer adds id, size and pad byte):
// - `smpl`: sample period 22,675 ns (44,100 Hz), MIDI unity note, no SMPTE offset, and
//   forward loops given as first and last frame (both inclusive, as the chunk counts).
// - `cue `: one cue point per slice start, ids from 1, in the "data" chunk.
// - `LIST` of form "adtl" with one `labl` per cue point: the id and a NUL-terminated
//   name, padded to an even size.
// Little-endian, pure, no I/O.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace korvane::sampler {

inline constexpr std::uint32_t kSamplePeriodNs = 1'000'000'000u / 44'100u;  // 22675

struct SampleLoop {
    std::uint32_t firstFrame = 0;
    std::uint32_t lastFrame = 0;  // inclusive
};

// Contents of a `smpl` chunk: 36 bytes and 24 per loop.
std::vector<std::byte> SmplChunk(int unityNote, std::span<const SampleLoop> loops);

// Contents of a `cue ` chunk: 4 bytes and 24 per point; point k has id k + 1.
std::vector<std::byte> CueChunk(std::span<const std::uint32_t> frames);

// Contents of a `LIST` chunk of form "adtl": a `labl` for every name, cue ids from 1.
std::vector<std::byte> LabelListChunk(std::span<const std::string> names);

}  // namespace korvane::sampler
