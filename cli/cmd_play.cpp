// korvane-cli play: slices a track file (or a WAV file) the way the track view does
// and plays one region once or looped until Ctrl+C.
//
//   korvane-cli play --track-file F --region K [--loop] [--threshold DB] [--release MS]
//   korvane-cli play --wav FILE --region K ...
//   korvane-cli play --list-drivers
//
// K counts from 1, as the region list shows it. An audio file (any kind the import
// reads, mono included) is first converted into a temporary track file, deleted
// afterwards.
#include "cdda/overview.h"
#include "cdda/temp_file.h"
#include "cli/command.h"
#include "cli/track_file_input.h"
#include "platform/paths/paths.h"
#include "playback/region_player.h"
#include "playback/sound_driver.h"
#include "playback/sound_player.h"
#include "regions/auto_slicer.h"
#include "track/audio_import.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
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
};

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
        // In the machine's TEMP under a name that carries our process id, so that a later
        // run removes it should this one be killed.
        auto reserved = cdda::TempFile::CreateUnique(platform::MachineRoot::FromEnvironment().TempDir(), "~krvn");
        reserved.Close();
        temporary.path = reserved.Path();
        const auto outcome = track::ImportAudioToTrackFile(options.wavFile, temporary.path);
        if (!outcome.Ok()) throw std::runtime_error(track::ImportMessage(outcome, options.wavFile));
        for (const auto& warning : outcome.Warnings()) std::cerr << "korvane-cli: warning: " << warning << '\n';
        track = temporary.path;
    }

    const std::vector<std::int16_t> overview = ReadTrackOverview(track);
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
    if (options.loop) {
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
    command->callback([options, &exitCode] { exitCode = RunPlay(*options); });
});

}  // namespace
}  // namespace korvane::cli
