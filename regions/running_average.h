#pragma once
// The slicer's running average over a whole buffer, kept as floor(average) per
// step with the minimum and maximum of every 16 steps: what the slice index is
// built from.
//
// The recurrence avg <- ((n - 1) * avg + x) / n is one serial chain of
// divisions. It is also a contraction: two runs started from different states
// over the same samples become bit-identical after some steps. So the buffer is
// cut into chunks that run side by side (vector lanes, several threads), each
// started a warm-up stretch before its first step from a guessed state. A chunk
// is accepted only when its state at its first step equals, bit for bit, the
// state its predecessor really ended with; otherwise it is recomputed serially
// from that true state until it meets the chunk's own recorded states (or to its
// end). The result is therefore exactly that of the one serial chain, however
// the work was split.
//
// Thread contract: a pure function of its arguments; it may start worker threads
// and joins them before it returns. Outputs must not overlap the input.
#include <cstddef>
#include <cstdint>
#include <span>

namespace korvane {

struct AverageFloors {
    std::span<uint16_t> values;    // floor(average) after step k; steps = extent - 1
    std::span<uint16_t> blockMin;  // min of values over steps [16j, 16j + 16)
    std::span<uint16_t> blockMax;  // the same with maxima
};

// How the work is split; zero fields take values derived from n and the length.
struct AverageSplit {
    std::size_t chunkSteps = 0;   // steps per chunk, a multiple of 16
    std::size_t warmupSteps = 0;  // steps run before a chunk's first one, multiple of 16
    unsigned threads = 0;         // worker threads including the caller
};

// What happened, for tests and benchmarks.
struct AverageReport {
    std::size_t chunks = 0;           // chunks run in lanes
    std::size_t rejectedChunks = 0;   // of those, recomputed because their state differed
    std::size_t recomputedSteps = 0;  // steps run serially to repair rejected chunks
};

// Steps of a buffer: its samples (mono) or whole frames (stereo) minus the first,
// which only seeds the average.
std::size_t AverageSteps(std::size_t sampleCount, bool mono) noexcept;

// Fills `out` for `samples` (one channel when mono, interleaved pairs otherwise)
// and averaging length n >= 1. The spans must hold AverageSteps values and
// ceil(steps / 16) block entries.
AverageReport RunAverageFloors(std::span<const int16_t> samples, bool mono, uint32_t n, AverageFloors out,
                               AverageSplit split = {});

}  // namespace korvane
