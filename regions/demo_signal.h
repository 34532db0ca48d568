#pragma once
// A deterministic, music-like test signal: phrases of notes (a few harmonics,
// linear attack, exponential decay, some percussive noise hits) separated by
// pauses of near silence, over a faint noise floor. The same spec gives the same
// samples on every run, so demo discs, tests and benchmarks are reproducible.
#include <cstdint>
#include <span>
#include <vector>

namespace korvane::demo {

struct DemoSignalSpec {
    uint64_t seed = 1;
    uint32_t rateHz = 11025;
    uint32_t channelCount = 1;      // 1 or 2 (interleaved left/right)
    double durationSeconds = 30.0;
};

// The frames a spec produces: round(durationSeconds * rateHz), 0 for bad specs.
uint64_t DemoFrameCount(const DemoSignalSpec& spec) noexcept;

// Renders the signal; returns DemoFrameCount(spec) * channelCount samples.
// Throws std::invalid_argument for a channel count other than 1 or 2 or a
// rate of 0. Pure function; safe to call from any thread.
std::vector<int16_t> MakeDemoSignal(const DemoSignalSpec& spec);

}  // namespace korvane::demo
