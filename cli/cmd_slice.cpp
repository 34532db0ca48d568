// korvane-cli slice: cut a WAV file or the built-in demo signal into regions
// exactly as the track view does, and list them.
#include "cli/command.h"
#include "regions/auto_slicer.h"
#include "regions/demo_signal.h"
#include "regions/units.h"
#include "regions/wav_reader.h"

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

struct SliceOptions {
    std::string path;
    bool demo = false;
    uint64_t demoSeed = 1;
    double demoSeconds = 60.0;
    double thresholdDb = -30.0;
    double releaseMs = 250.0;
    uint32_t averagingWindow = units::kDefaultAveragingWindow;
};

struct Audio {
    std::string description;
    std::vector<int16_t> samples;  // interleaved
    uint32_t rateHz = 0;
    uint32_t channelCount = 0;
};

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open '" + path + "': " + std::strerror(errno));
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) throw std::runtime_error("cannot read '" + path + "'");
    in.seekg(0);
    std::vector<uint8_t> bytes(static_cast<std::size_t>(size));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) {
        throw std::runtime_error("cannot read '" + path + "'");
    }
    return bytes;
}

Audio LoadWav(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadFile(path);
    wavread::WavInfo info;
    try {
        info = wavread::ParseWav(bytes);
    } catch (const wavread::WavError& e) {
        throw std::runtime_error("'" + path + "': " + e.what());
    }
    if (info.Truncated()) {
        throw std::runtime_error("'" + path + "': truncated WAV data: the header declares " +
                                 std::to_string(info.declaredDataBytes) + " bytes, the file holds " +
                                 std::to_string(info.availableDataBytes));
    }
    if (info.frameCount * info.channelCount > std::numeric_limits<uint32_t>::max()) {
        throw std::runtime_error("'" + path + "': too long to slice (more than 2^32 - 1 samples)");
    }
    Audio audio;
    audio.samples = wavread::DecodeSamples(bytes, info);
    audio.rateHz = info.sampleRateHz;
    audio.channelCount = info.channelCount;
    audio.description = path;
    return audio;
}

Audio MakeDemo(const SliceOptions& o) {
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

int RunSlice(const SliceOptions& o) {
    const Audio audio = o.demo ? MakeDemo(o) : LoadWav(o.path);
    const bool mono = audio.channelCount == 1;

    AutoSlicer slicer;
    slicer.samples = audio.samples.data();
    slicer.sampleCount = uint32_t(audio.samples.size());
    slicer.thresholdDb = o.thresholdDb;
    slicer.releaseMs = o.releaseMs;
    slicer.averagingWindow = o.averagingWindow;
    slicer.Slice(mono ? 1 : 0, audio.rateHz, 0);

    const SliceParameters p =
        DeriveSliceParameters(o.thresholdDb, o.releaseMs, o.averagingWindow, audio.rateHz);
    const uint64_t frames = audio.samples.size() / audio.channelCount;
    const char* unit = mono ? "samples" : "frames";
    std::printf("source: %s, %u Hz %s, %llu %s (%s)\n", audio.description.c_str(), audio.rateHz,
                mono ? "mono" : "stereo", static_cast<unsigned long long>(frames), unit,
                Clock(frames, audio.rateHz).c_str());
    std::printf("threshold %.1f dB (level %u), release %g ms (%u %s), average over %u %s\n",
                o.thresholdDb, p.level, o.releaseMs, p.minGap, unit, p.n, unit);
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
    return 0;
}

const CommandRegistrar registrar("slice", [](CLI::App& app, int& exitCode) {
    auto options = std::make_shared<SliceOptions>();
    CLI::App* cmd = app.add_subcommand(
        "slice",
        "Cut audio into regions at note onsets, as the track view does, and list them.\n"
        "A WAV file (16-bit PCM, mono or stereo, any rate) is sliced at its own rate:\n"
        "mono files sample by sample, stereo files frame by frame (the average of both\n"
        "channels), so starts and lengths are in the file's samples (frames). --demo slices\n"
        "the built-in music-like signal (60 s unless --seconds), an 11025 Hz mono overview\n"
        "like the one the track view slices for a CD track. The running average spans\n"
        "--window samples at 44100 Hz, as in the track view (50: 12 samples at 11025 Hz).\n"
        "Times are m:ss.ss.");
    auto* file = cmd->add_option("file", options->path, "16-bit PCM WAV file to slice");
    auto* demoFlag = cmd->add_flag("--demo", options->demo, "slice the built-in demo signal instead");
    file->excludes(demoFlag);
    cmd->add_option("--seed", options->demoSeed, "seed of the demo signal")->needs(demoFlag);
    cmd->add_option("--seconds", options->demoSeconds, "length of the demo signal in seconds")
        ->needs(demoFlag)
        ->check(CLI::Range(0.1, 4800.0));
    cmd->add_option("--threshold", options->thresholdDb, "threshold in dB, -96 to 0 (default -30)")
        ->check(CLI::Range(-96.0, 0.0));
    cmd->add_option("--release", options->releaseMs, "release time in ms, 5 to 2500 (default 250)")
        ->check(CLI::Range(5.0, 2500.0));
    cmd->add_option("--window", options->averagingWindow,
                    "averaging window in samples at 44100 Hz, 1 to 44100 (default 50)")
        ->check(CLI::Range(1u, 44100u));
    cmd->callback([options, &exitCode] {
        if (!options->demo && options->path.empty()) {
            throw CLI::ValidationError("slice", "give a WAV file or --demo");
        }
        exitCode = RunSlice(*options);
    });
});

}  // namespace
}  // namespace korvane::cli
