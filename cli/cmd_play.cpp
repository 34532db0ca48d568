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
//
// With --trim, --zero-cross, --fade-in or --fade-out the region plays exactly as
// korvane-cli export writes it with the same options.
#include "cdda/overview.h"
#include "cdda/temp_file.h"
#include "cli/command.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/sampler_flags.h"
#include "cli/slice_options.h"
#include "cli/track_file_input.h"
#include "platform/paths/paths.h"
#include "export/sampler_export.h"
#include "platform/sound/virtual_sound.h"
#include "playback/region_player.h"
#include "playback/sound_driver.h"
#include "playback/sound_player.h"
#include "regions/auto_slicer.h"
#include "regions/sound_ends.h"
#include "track/audio_import.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
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
    SliceOptions slicing;
    std::string driver;
    bool listDrivers = false;
    sampler::SamplerOptions sampler;
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

// Keeps standard error closed to the sound library's probing noise (ALSA and JACK
// print dozens of lines while PortAudio looks for devices), unless -v.
class QuietProbing {
public:
    QuietProbing() {
        if (IsVerbose()) return;
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0) ::dup2(null, STDERR_FILENO);
        if (null >= 0) ::close(null);
    }
    ~QuietProbing() {
        if (saved_ < 0) return;
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
    }
    QuietProbing(const QuietProbing&) = delete;
    QuietProbing& operator=(const QuietProbing&) = delete;

private:
    int saved_ = -1;
};

void EnumerateQuietly() {
    QuietProbing quiet;
    if (playback::SoundDrivers().Count() == 0) playback::EnumerateDrivers();
}

// A --driver that names no device is an error listing the choices; the default (none
// given) is the first device, as the application picks it.
void CheckDriverName(const std::string& name) {
    if (name.empty()) return;
    const auto& drivers = playback::SoundDrivers();
    std::string choices;
    for (std::int32_t i = 0; i < drivers.Count(); ++i) {
        if (drivers.At(i).description == name) return;
        choices += (choices.empty() ? "\"" : ", \"") + drivers.At(i).description + "\"";
    }
    throw std::runtime_error("no sound driver \"" + name + "\" (drivers: " + choices + ")");
}

// One line when the sound goes nowhere: the silent virtual device stands in.
void SayWhenSilent() {
    if (!dynamic_cast<platform::sound::VirtualSoundSystem*>(platform::sound::CurrentSoundSystem().get())) return;
    const char* choice = std::getenv("KORVANE_AUDIO");
    Note(std::string("playing into the silent virtual device (") +
         (choice && std::string_view(choice) == "null" ? "KORVANE_AUDIO=null" : "no sound device found") + ")");
}

int RunPlay(const PlayOptions& options) {
    auto& player = playback::TheSoundPlayer();
    EnumerateQuietly();
    if (options.listDrivers) {
        auto& drivers = playback::SoundDrivers();
        for (std::int32_t i = 0; i < drivers.Count(); ++i) {
            const auto& d = drivers.At(i);
            std::cout << d.description;
            if (d.hasGuid) std::cout << "  " << d.guid.ToString();
            std::cout << '\n';
        }
        return kExitSuccess;
    }
    if (options.trackFile.empty() == options.wavFile.empty())
        throw UsageError("play: give exactly one of --track-file and --wav");
    if (options.region == 0) throw UsageError("play: give the --region to play (counted from 1)");
    CheckDriverName(options.driver);
    const SliceSettings settings = ResolveSliceSettings(options.slicing);

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
        for (const auto& warning : outcome.Warnings()) Warn(warning);
        track = temporary.path;
    }

    const std::vector<std::int16_t> overview = ReadTrackOverview(track);
    AutoSlicer slicer;
    slicer.samples = overview.data();
    slicer.sampleCount = static_cast<std::uint32_t>(overview.size());
    slicer.thresholdDb = settings.thresholdDb;
    slicer.releaseMs = settings.releaseMs;
    slicer.averagingWindow = 50;
    slicer.regions.Clear();
    slicer.Slice(1, 11025, 0);
    const std::int32_t count = slicer.regions.Count();
    if (count == 0) throw NothingToDo("no region reaches the threshold at " + FormatSliceSettings(settings));
    if (options.region > count)
        throw std::runtime_error("no region " + std::to_string(options.region) + ": the track has " +
                                 std::to_string(count) + (count == 1 ? " region at " : " regions at ") +
                                 FormatSliceSettings(settings));
    const Region region = slicer.regions.At(options.region - 1);

    try {
        QuietProbing quiet;
        player.OpenDevice(options.driver, nullptr);
    } catch (const playback::DSoundException& e) {
        throw std::runtime_error(std::string("could not open the sound driver: ") + e.what());
    }
    SayWhenSilent();
    playback::RegionPlayer regions(player);
    regions.SetCursorCallback(&OnCursor, nullptr);
    latestCursor.store(region.start);
    if (CurrentVerbosity() != Verbosity::Quiet)
        std::cerr << "Playing region #" << options.region << " of " << count << ": overview samples " << region.start
              << " + " << region.length << " (" << Seconds(region.length / 11025.0) << ")"
              << (options.loop ? ", looped; Ctrl+C stops" : "; Ctrl+C stops") << '\n';
    if (options.sampler.ShapesAudio()) {
        const auto index = static_cast<std::size_t>(options.region - 1);
        std::vector<Region> needed;
        for (const Region& r : slicer.regions) {
            if (needed.size() == wavexport::ShapedRegionsNeeded(index, static_cast<std::size_t>(count))) break;
            needed.push_back(r);
        }
        // The overview read for slicing serves the sound ends too.
        const auto ends = options.sampler.trim ? SoundEnds(overview, settings.thresholdDb, settings.releaseMs, needed)
                                               : std::vector<std::uint32_t>{};
        std::uint64_t firstFrame = 0;
        auto audio = wavexport::ShapedRegionAudio(track, needed, ends, index, options.sampler, firstFrame);
        regions.PlayAudio(std::move(audio), static_cast<std::uint32_t>(firstFrame), options.loop);
    } else if (options.loop) {
        regions.PlayRegionLooped(track, region);
    } else {
        regions.PlayRegionOnce(track, region);
    }
    const bool terminal = ProgressWanted();
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
    Note(interrupted ? "Stopped." : "Done.");
    // Ctrl+C is how a loop ends; it cuts a one-shot play short.
    return interrupted && !options.loop ? kExitInterrupted : kExitSuccess;
}

const CommandRegistrar registrar("play", [](CLI::App& app, int& exitCode) {
    auto options = std::make_shared<PlayOptions>();
    CLI::App* command = app.add_subcommand("play", "Slice a track file or WAV file and play one region");
    command->add_option("--track-file", options->trackFile, "Track file (raw audio followed by its overview)");
    command->add_option("--wav", options->wavFile, "audio file (WAV, FLAC, AIFF, Ogg, MP3, ...; mono too) to slice and play");
    command->add_option("--region", options->region, "Region number, counted from 1")->check(CLI::PositiveNumber);
    command->add_flag("--loop", options->loop, "Repeat the region until Ctrl+C");
    AddSliceOptions(*command, options->slicing);
    command->add_option("--driver", options->driver,
                        "Sound driver description as --list-drivers shows it (default: the first device)");
    command->add_flag("--list-drivers", options->listDrivers, "List the sound drivers and exit");
    AddSamplerFlags(*command, options->sampler, SamplerFlagSet::kPlay);
    command->footer("Examples:\n"
                    "  korvane-cli play --wav song.wav --region 3\n"
                    "  korvane-cli play --track-file t.trk --region 1 --loop --driver \"USB Audio\"\n"
                    "  korvane-cli play --wav song.wav --region 3 --trim --zero-cross 5 --fade-out 10\n"
                    "  korvane-cli play --list-drivers\n\n" +
                    EnvironmentHelp());
    command->callback([options, &exitCode] { exitCode = RunPlay(*options); });
});

}  // namespace
}  // namespace korvane::cli
