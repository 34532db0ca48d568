// korvane-cli play: slices a track file (or a WAV file) the way the track view does
// and plays one region once or looped until Ctrl+C.
//
//   korvane-cli play --track-file F --region K [--loop] [--threshold DB] [--release MS]
//   korvane-cli play --wav FILE --region K ...
//   korvane-cli play --list-drivers
//
// With --trim, --zero-cross, --fade-in or --fade-out the region plays exactly as
// korvane-cli export writes it with the same options.
//
// K counts from 1, as the region list shows it. An audio file (any kind the import
// reads, mono included) is first converted into a temporary track file, deleted
// afterwards.
#include "cdda/overview.h"
#include "cli/command.h"
#include "cli/sampler_flags.h"
#include "export/sampler_export.h"
#include "playback/region_player.h"
#include "playback/sound_driver.h"
#include "playback/sound_player.h"
#include "regions/auto_slicer.h"
#include "track/audio_import.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace korvane::cli {
namespace {

namespace fs = std::filesystem;

struct PlayOptions {
    std::string trackFile;
    std::string wavFile;
    int region = 0;
    bool loop = false;
    double thresholdDb = -30.0;
    double releaseMs = 250.0;
    std::string driver;
    bool listDrivers = false;
    sampler::SamplerOptions sampler;
};

std::uint16_t LittleEndian16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

// The overview part of a track file as 16-bit samples.
std::vector<std::int16_t> ReadOverview(const fs::path& path) {
    std::error_code error;
    const std::uint64_t fileBytes = fs::file_size(path, error);
    if (error) throw std::runtime_error("cannot read " + path.string() + ": " + error.message());
    if (fileBytes % 18 != 0)
        throw std::runtime_error(path.string() + " is not a track file (its length is not a multiple of 18 bytes)");
    const std::uint64_t samples = fileBytes / 18;
    std::vector<unsigned char> bytes(samples * 2);
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(playback::TrackAudioBytes(fileBytes)));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())))
        throw std::runtime_error("cannot read the overview of " + path.string());
    std::vector<std::int16_t> overview(samples);
    for (std::size_t i = 0; i < samples; ++i)
        overview[i] = static_cast<std::int16_t>(LittleEndian16(&bytes[2 * i]));
    return overview;
}

// Removes the temporary track file on every way out.
struct TemporaryFile {
    fs::path path;
    ~TemporaryFile() {
        if (!path.empty()) {
            std::error_code ignored;
            fs::remove(path, ignored);
        }
    }
};

std::atomic<std::uint32_t> latestCursor{0};
void OnCursor(std::uint32_t overviewPosition, void*) { latestCursor.store(overviewPosition); }

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", seconds);
    return text;
}

int RunPlay(const PlayOptions& options) {
    auto& player = playback::TheSoundPlayer();
    if (options.listDrivers) {
        playback::EnumerateDrivers();
        auto& drivers = playback::SoundDrivers();
        for (std::int32_t i = 0; i < drivers.Count(); ++i) {
            const auto& d = drivers.At(i);
            std::cout << d.description;
            if (d.hasGuid) std::cout << "  " << d.guid.ToString();
            std::cout << '\n';
        }
        return 0;
    }
    if (options.trackFile.empty() == options.wavFile.empty())
        throw std::runtime_error("give exactly one of --track-file and --wav");

    TemporaryFile temporary;
    fs::path track = options.trackFile;
    if (!options.wavFile.empty()) {
        temporary.path = fs::temp_directory_path() / ("korvane-play-" + std::to_string(::getpid()) + ".tmp");
        const auto outcome = track::ImportAudioToTrackFile(options.wavFile, temporary.path);
        if (!outcome.Ok()) throw std::runtime_error(track::ImportMessage(outcome, options.wavFile));
        for (const auto& warning : outcome.Warnings()) std::cerr << "korvane-cli: warning: " << warning << '\n';
        track = temporary.path;
    }

    const std::vector<std::int16_t> overview = ReadOverview(track);
    AutoSlicer slicer;
    slicer.samples = overview.data();
    slicer.sampleCount = static_cast<std::uint32_t>(overview.size());
    slicer.thresholdDb = options.thresholdDb;
    slicer.releaseMs = options.releaseMs;
    slicer.averagingWindow = 50;
    slicer.regions.Clear();
    slicer.Slice(1, 11025, 0);
    const std::int32_t count = slicer.regions.Count();
    if (options.region < 1 || options.region > count)
        throw std::runtime_error("region " + std::to_string(options.region) + " does not exist: the track has " +
                                 std::to_string(count) + " region(s) at " + std::to_string(options.thresholdDb) +
                                 " dB / " + std::to_string(options.releaseMs) + " ms");
    const Region region = slicer.regions.At(options.region - 1);

    try {
        player.OpenDevice(options.driver, nullptr);
    } catch (const playback::DSoundException& e) {
        throw std::runtime_error(std::string("could not open the sound driver: ") + e.what());
    }
    playback::RegionPlayer regions(player);
    regions.SetCursorCallback(&OnCursor, nullptr);
    latestCursor.store(region.start);
    std::cerr << "Playing region #" << options.region << " of " << count << ": overview samples " << region.start
              << " + " << region.length << " (" << Seconds(region.length / 11025.0) << ")"
              << (options.loop ? ", looped; Ctrl+C stops" : "; Ctrl+C stops") << '\n';
    if (options.sampler.ShapesAudio()) {
        std::vector<Region> all;
        for (const Region& r : slicer.regions) all.push_back(r);
        std::uint64_t firstFrame = 0;
        auto audio = wavexport::ShapedRegionAudio(track, all, static_cast<std::size_t>(options.region - 1),
                                                  options.thresholdDb, options.releaseMs,
                                                  options.sampler, firstFrame);
        regions.PlayAudio(std::move(audio), static_cast<std::uint32_t>(firstFrame), options.loop);
    } else if (options.loop) {
        regions.PlayRegionLooped(track, region);
    } else {
        regions.PlayRegionOnce(track, region);
    }
    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    bool interrupted = false;
    while (!player.WaitForStreamEnd(100)) {
        if (InterruptRequested()) {
            interrupted = true;
            break;
        }
        if (terminal) {
            const double at = (latestCursor.load() - region.start) / 11025.0;
            std::cerr << "\r  " << Seconds(at) << " / " << Seconds(region.length / 11025.0) << "   " << std::flush;
        }
    }
    regions.StopPlayback();
    if (terminal) std::cerr << '\n';
    if (auto error = player.TakeStreamError()) throw std::runtime_error(error->what());
    std::cerr << (interrupted ? "Stopped.\n" : "Done.\n");
    return 0;
}

const CommandRegistrar registrar("play", [](CLI::App& app, int& exitCode) {
    auto options = std::make_shared<PlayOptions>();
    CLI::App* command = app.add_subcommand("play", "Slice a track file or WAV file and play one region");
    command->add_option("--track-file", options->trackFile, "Track file (raw audio followed by its overview)");
    command->add_option("--wav", options->wavFile, "audio file (WAV, FLAC, AIFF, Ogg, MP3, ...; mono too) to slice and play");
    command->add_option("--region", options->region, "Region number, counted from 1");
    command->add_flag("--loop", options->loop, "Repeat the region until Ctrl+C");
    command->add_option("--threshold", options->thresholdDb, "Slice threshold in dB (-96 to 0)")
        ->capture_default_str()
        ->check(CLI::Range(-96.0, 0.0));
    command->add_option("--release", options->releaseMs, "Slice release time in ms (5 to 2500)")
        ->capture_default_str()
        ->check(CLI::Range(5.0, 2500.0));
    command->add_option("--driver", options->driver, "Sound driver description (default: the first device)");
    command->add_flag("--list-drivers", options->listDrivers, "List the sound drivers and exit");
    AddSamplerFlags(*command, options->sampler, SamplerFlagSet::kPlay);
    command->callback([options, &exitCode] { exitCode = RunPlay(*options); });
});

}  // namespace
}  // namespace korvane::cli
