#pragma once
// The instrument and the groove of a sampler export, as text and bytes:
// - NAME.sfz: one <region> per exported file, region k on key firstKey + k with its
//   pitch centre there, played one-shot (looped continuously when the files carry a
//   loop), headed by a comment naming the source and the slicing settings;
// - NAME.mid: a Standard MIDI File, format 0, 960 ticks per quarter note, one tempo
//   event, and per region a note on its key from its start to its end (velocity 127,
//   channel 1). The tick of a frame f is round(f / 44,100 x 960 x bpm / 60), counted
//   from the start of the track, so the notes fall where the regions lay.
// Pure, no I/O.
#include "export/sampler.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace korvane::sampler {

inline constexpr std::uint16_t kTicksPerQuarter = 960;

// What the header comment of the instrument says about where it came from.
struct InstrumentSource {
    std::string source;  // the track's file name or title
    double thresholdDb = 0.0;
    int releaseMs = 0;
};

// The text of NAME.sfz; `files` are the exported files (in key order) and `folder` the
// one the SFZ file lies in (sample paths are relative to it, with '/').
std::string SfzText(std::span<const std::filesystem::path> files, const std::filesystem::path& folder,
                    const SamplerOptions& options, const InstrumentSource& source);

// The tick of frame `frame` at `bpm`.
std::uint64_t TickOfFrame(std::uint64_t frame, double bpm) noexcept;

// The bytes of NAME.mid for the exported regions in key order.
std::vector<std::byte> GrooveMidi(std::span<const FrameSpan> regions, const SamplerOptions& options);

// NAME.sfz / NAME.mid: the chosen path with its extension replaced.
std::filesystem::path CompanionPath(const std::filesystem::path& chosen, const char* extension);

}  // namespace korvane::sampler
