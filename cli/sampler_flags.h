#pragma once
// The sampler options of korvane-cli export and play (export/sampler.h) as flags:
// --trim, --zero-cross MS, --fade-in MS, --fade-out MS on both; --smpl, --markers,
// --sfz, --midi, --key, --bpm and --pad on export.
#include "export/sampler.h"

#include <CLI/CLI.hpp>

namespace korvane::cli {

enum class SamplerFlagSet { kPlay, kExport };

void AddSamplerFlags(CLI::App& command, sampler::SamplerOptions& options, SamplerFlagSet set);

}  // namespace korvane::cli
