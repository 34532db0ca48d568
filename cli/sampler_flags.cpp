#include "cli/sampler_flags.h"

namespace korvane::cli {

void AddSamplerFlags(CLI::App& command, sampler::SamplerOptions& options, SamplerFlagSet set) {
    const char* group = "Sampler";
    command.add_flag("--trim", options.trim,
                     "end each region where its sound ends (last fall below the threshold + release time)")
        ->group(group);
    command.add_option("--zero-cross", options.zeroCrossMs,
                       "move each cut to the nearest zero crossing of L+R within MS ms (0 = off)")
        ->check(CLI::Range(0u, sampler::kMaxZeroCrossMs))
        ->group(group);
    command.add_option("--fade-in", options.fadeInMs, "linear fade-in of MS ms at each region's start")
        ->check(CLI::Range(0u, sampler::kMaxFadeMs))
        ->group(group);
    command.add_option("--fade-out", options.fadeOutMs, "linear fade-out of MS ms at each region's end")
        ->check(CLI::Range(0u, sampler::kMaxFadeMs))
        ->group(group);
    if (set == SamplerFlagSet::kPlay) return;
    command.add_flag("--smpl", options.smpl, "a 'smpl' chunk in each file: unity note = its key, one forward loop")
        ->group(group);
    command.add_flag("--markers", options.markers,
                     "write one WAV of the selected span with 'cue ' and 'labl' slice points instead of one per region")
        ->group(group);
    command.add_flag("--sfz", options.sfz, "write NAME.sfz mapping region k to key KEY + k - 1")->group(group);
    command.add_flag("--midi", options.midi, "write NAME.mid: format 0, 960 PPQN, one note per region")->group(group);
    command.add_option("--key", options.firstKey, "MIDI key of the first region for --sfz/--midi/--smpl (0-127)")
        ->check(CLI::Range(0, 127))
        ->capture_default_str()
        ->group(group);
    command.add_option("--bpm", options.bpm, "tempo of NAME.mid (20-400)")
        ->check(CLI::Range(sampler::kMinBpm, sampler::kMaxBpm))
        ->capture_default_str()
        ->group(group);
    command.add_flag("--pad", options.pad, "zero-pad the numbers in the file names (kick01.wav ... kick12.wav)")
        ->group(group);
}

}  // namespace korvane::cli
