// korvane-cli slice: cut an audio file or the built-in demo signal into regions
// exactly as the track view does, and list them.
#include "cli/command.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/slice_options.h"
#include "cdda/overview.h"
#include "cdda/track_file.h"
#include "regions/auto_slicer.h"
#include "regions/demo_signal.h"
#include "regions/units.h"
#include "track/audio_import.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace korvane::cli {
namespace {

struct SliceCommandOptions {
    std::string path;
    bool demo = false;
    uint64_t demoSeed = 1;
    double demoSeconds = 60.0;
    SliceOptions slicing;
    uint32_t averagingWindow = units::kDefaultAveragingWindow;
};

struct Audio {
    std::string description;
    std::vector<int16_t> samples;  // interleaved
    uint32_t rateHz = 0;
    uint32_t channelCount = 0;
};

// Converts an audio file to CD audio as the import does and keeps only its 11,025 Hz
// overview, made exactly as the track file's (whole sectors, the last one completed with
// silence). Memory: the overview plus one block, whatever the length of the file.
Audio LoadOverview(const std::string& path) {
    std::vector<int16_t> pending;  // fewer than 8 values waiting for their group
    Audio audio;
    uint64_t paddedFrames = 0;
    const auto downmix = [&](std::span<const int16_t> stereo) {
        pending.insert(pending.end(), stereo.begin(), stereo.end());
        const std::size_t whole = pending.size() - pending.size() % 8;
        const std::size_t at = audio.samples.size();
        audio.samples.resize(at + whole / 8);
        cdda::DownmixOverview(std::span(pending).first(whole), std::span(audio.samples).subspan(at));
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(whole));
    };
    track::CdAudioSink sink{[&](uint64_t frames) {
                                paddedFrames = (frames + cdda::kFramesPerSector - 1) / cdda::kFramesPerSector *
                                               cdda::kFramesPerSector;
                                if (paddedFrames / 4 > std::numeric_limits<uint32_t>::max())
                                    throw std::runtime_error("too long to slice (more than 2^32 - 1 overview samples)");
                                audio.samples.reserve(static_cast<std::size_t>(paddedFrames / 4));
                            },
                            downmix};
    const track::ImportOutcome outcome = track::ConvertAudioFile(path, sink);
    if (!outcome.Ok()) throw std::runtime_error(track::ImportMessage(outcome, path));
    for (const auto& warning : outcome.Warnings()) Warn(warning);
    // The silence that completes the last sector.
    const std::vector<int16_t> silence(static_cast<std::size_t>(2 * (paddedFrames - outcome.frames)), 0);
    downmix(silence);
    audio.rateHz = cdda::kOverviewSamplesPerSecond;
    audio.channelCount = 1;
    audio.description = path + " (" + outcome.sourceFormat + "; " + outcome.channelRule + "), " +
                        std::to_string(outcome.frames) + " CD frames, sliced on its overview";
    return audio;
}

Audio MakeDemo(const SliceCommandOptions& o) {
    Audio audio;
    audio.rateHz = units::kOverviewRateHz;
    audio.channelCount = 1;
    audio.samples = demo::MakeDemoSignal({o.demoSeed, audio.rateHz, 1, o.demoSeconds});
    char text[96];
    std::snprintf(text, sizeof text, "demo signal (seed %llu, %.2f s)",
                  static_cast<unsigned long long>(o.demoSeed), o.demoSeconds);
    audio.description = text;
    return audio;
}

// m:ss.ss, rounded to hundredths.
std::string Clock(uint64_t samples, uint32_t rateHz) {
    const auto hundredths = uint64_t(std::llround(units::SecondsFromSamples(samples, rateHz) * 100.0));
    char text[48];
    std::snprintf(text, sizeof text, "%llu:%02llu.%02llu",
                  static_cast<unsigned long long>(hundredths / 6000),
                  static_cast<unsigned long long>(hundredths / 100 % 60),
                  static_cast<unsigned long long>(hundredths % 100));
    return text;
}

int RunSlice(const SliceCommandOptions& o) {
    const SliceSettings settings = ResolveSliceSettings(o.slicing);
    const Audio audio = o.demo ? MakeDemo(o) : LoadOverview(o.path);
    const bool mono = audio.channelCount == 1;

    AutoSlicer slicer;
    slicer.samples = audio.samples.data();
    slicer.sampleCount = uint32_t(audio.samples.size());
    slicer.thresholdDb = settings.thresholdDb;
    slicer.releaseMs = settings.releaseMs;
    slicer.averagingWindow = o.averagingWindow;
    slicer.Slice(mono ? 1 : 0, audio.rateHz, 0);

    const SliceParameters p =
        DeriveSliceParameters(settings.thresholdDb, settings.releaseMs, o.averagingWindow, audio.rateHz);
    const uint64_t frames = audio.samples.size() / audio.channelCount;
    const char* unit = mono ? "samples" : "frames";
    std::printf("source: %s, %u Hz %s, %llu %s (%s)\n", audio.description.c_str(), audio.rateHz,
                mono ? "mono" : "stereo", static_cast<unsigned long long>(frames), unit,
                Clock(frames, audio.rateHz).c_str());
    std::printf("threshold %s (level %u), release %s (%u %s), average over %u %s\n",
                FormatThreshold(settings.thresholdDb).c_str(), p.level, FormatRelease(settings.releaseMs).c_str(),
                p.minGap, unit, p.n, unit);
    const int32_t count = slicer.regions.Count();
    std::printf("regions: %d\n", count);
    if (count > 0) {
        std::printf("%6s %12s %12s %10s %10s %10s\n", "#", "start", "length", "from", "to", "duration");
    }
    int32_t number = 0;
    for (const Region& r : slicer.regions) {
        ++number;
        std::printf("%6d %12u %12u %10s %10s %10s\n", number, r.start, r.length,
                    Clock(r.start, audio.rateHz).c_str(),
                    Clock(uint64_t(r.start) + r.length, audio.rateHz).c_str(),
                    Clock(r.length, audio.rateHz).c_str());
    }
    if (count == 0) throw NothingToDo("no region reaches the threshold at " + FormatSliceSettings(settings));
    return kExitSuccess;
}

const CommandRegistrar registrar("slice", [](CLI::App& app, int& exitCode) {
    auto options = std::make_shared<SliceCommandOptions>();
    CLI::App* cmd = app.add_subcommand(
        "slice",
        "Cut audio into regions at note onsets, as the track view does, and list them.\n"
        "An audio file (WAV, FLAC, AIFF, Ogg, MP3, ...) is converted to CD audio as import\n"
        "does and its 11025 Hz mono overview is sliced, as the track view slices a track:\n"
        "starts and lengths are in overview samples. --demo slices the built-in music-like\n"
        "signal (60 s unless --seconds), an overview like the one of a CD track. The\n"
        "running average spans\n"
        "--window samples at 44100 Hz, as in the track view (50: 12 samples at 11025 Hz).\n"
        "Times are m:ss.ss.");
    auto* file = cmd->add_option("file", options->path, "audio file to slice");
    auto* demoFlag = cmd->add_flag("--demo", options->demo, "slice the built-in demo signal instead");
    file->excludes(demoFlag);
    cmd->add_option("--seed", options->demoSeed, "seed of the demo signal")->needs(demoFlag);
    cmd->add_option("--seconds", options->demoSeconds, "length of the demo signal in seconds")
        ->needs(demoFlag)
        ->check(CLI::Range(0.1, 4800.0));
    AddSliceOptions(*cmd, options->slicing);
    cmd->add_option("--window", options->averagingWindow,
                    "averaging window in samples at 44100 Hz, 1 to 44100 (default 50)")
        ->check(CLI::Range(1u, 44100u));
    cmd->footer("Examples:\n"
                "  korvane-cli slice song.wav\n"
                "  korvane-cli slice --threshold -30 --release 250 song.flac\n"
                "  korvane-cli slice --demo --settings\n\n" +
                EnvironmentHelp());
    cmd->callback([options, &exitCode] {
        if (!options->demo && options->path.empty()) {
            throw UsageError("slice: give an audio file or --demo");
        }
        exitCode = RunSlice(*options);
    });
});

}  // namespace
}  // namespace korvane::cli
