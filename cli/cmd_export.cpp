// korvane-cli export: slices a track (a track file, a WAV file or a demo-disc track) as the
// track view does, and writes the chosen regions as numbered WAV files exactly as the
// export command of the application writes them.
//
//   korvane-cli export --track-file F | --wav IN | --demo [--track N] [--drive D:]
//       [--threshold DB] [--release MS] [--regions 1,3-5|all] [--normalize] -o OUT.wav
#include "cli/cd_session.h"
#include "cli/command.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/output_file.h"
#include "cli/slice_options.h"
#include "cli/export_source.h"
#include "cli/progress.h"
#include "cli/region_selection.h"
#include "export/export_regions.h"
#include "export/numbered_name.h"
#include "platform/hostfiles/host_files.h"
#include "platform/ui/ui.h"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <stdexcept>

namespace korvane::cli {
namespace {

struct ExportOptions {
    std::string trackFile;
    std::string wavFile;
    bool demo = false;
    int track = 1;
    std::string drive;
    SliceOptions slicing;
    std::string regions = "all";
    bool normalize = false;
    bool force = false;
    std::string output;
};

std::string Duration(std::uint64_t overviewSamples) {
    const double seconds = static_cast<double>(overviewSamples) / 11025.0;
    const auto minutes = static_cast<unsigned>(seconds / 60);
    char text[32];
    std::snprintf(text, sizeof text, "%u:%05.2f", minutes, seconds - 60.0 * minutes);
    return text;
}

// The names to write: the chosen one for one region; numbered ones for several, the
// number going before the extension of the file name (never into a folder's name).
std::vector<std::string> OutputNames(const std::string& chosen, std::size_t count) {
    if (count == 1) return {chosen};
    std::vector<std::string> names;
    for (std::size_t k = 1; k <= count; ++k) names.push_back(wavexport::MakeNumberedFileName(chosen, int(k)));
    return names;
}

int RunExport(const ExportOptions& options) {
    const int sources = !options.trackFile.empty() + !options.wavFile.empty() + options.demo;
    if (sources != 1) throw UsageError("export: give exactly one of --track-file, --wav and --demo");
    if (IsStandardOutput(options.output)) throw UsageError("export: writes files; -o - is not possible here");
    const SliceSettings settings = ResolveSliceSettings(options.slicing);

    const ExportTrack track = options.demo              ? ExportTrack::FromDisc(options.track, options.drive)
                              : !options.wavFile.empty() ? ExportTrack::FromWav(options.wavFile)
                                                         : ExportTrack::FromTrackFile(options.trackFile);
    const auto regions = SliceTrackFile(track.Path(), settings.thresholdDb, settings.releaseMs);
    const std::string found = std::to_string(regions.size()) + (regions.size() == 1 ? " region at " : " regions at ") +
                              FormatSliceSettings(settings);
    if (regions.empty()) throw NothingToDo("no region reaches the threshold at " + FormatSliceSettings(settings));
    const auto lines = SelectNumbers(options.regions, regions.size(), "region", "the track has " + found);
    Detail("sliced at " + FormatSliceSettings(settings) + ": " + found);

    const auto names = OutputNames(options.output, lines.size());
    std::vector<std::filesystem::path> inputs = {options.wavFile, options.trackFile};
    if (options.demo) inputs = CdSession::DiscImageFiles();
    for (const std::string& name : names) platform::RefuseOverwritingInput(name, inputs);
    RefuseToReplaceAny(names, options.force);
    // The application's file dialog only offers existing folders; on the command line
    // the folder is made when missing.
    if (const auto folder = std::filesystem::path(options.output).parent_path(); !folder.empty())
        std::filesystem::create_directories(folder);

    wavexport::ExportRequest request;
    request.trackFile = track.Path();
    request.selectedLines = lines;
    request.regionAt = [&regions](std::size_t line) { return regions.at(line); };
    request.chosenPath = options.output;
    request.normalize = options.normalize;
    request.fileNames = names;

    ProgressBar bar("export");
    const auto results = wavexport::ExportSelectedRegions(request, [&](std::uint64_t done, std::uint64_t total) {
        bar.Update(total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total));
        return !InterruptRequested();
    });
    bar.Finish();

    std::size_t failed = 0;
    for (const auto& result : results) {
        const auto& region = regions.at(result.line);
        if (result.outcome.Ok()) {
            Say("wrote " + result.path + "  region #" + std::to_string(result.line + 1) + ", start " +
                Duration(region.startOverview) + ", length " + Duration(region.lengthOverview));
        } else {
            ++failed;
            std::cerr << "korvane-cli: region #" << result.line + 1 << " -> " << result.path << ": "
                      << result.outcome.detail << '\n';
        }
    }
    Say(wavexport::ExportSummary(results, options.output));
    if (results.size() < lines.size()) {
        std::cerr << "korvane-cli: export stopped after " << results.size() << " of " << lines.size()
                  << " regions\n";
        return InterruptRequested() ? kExitInterrupted : kExitFailure;
    }
    if (failed == 0) return kExitSuccess;
    return failed < results.size() ? kExitProblems : kExitFailure;
}

const CommandRegistrar registrar("export", [](CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ExportOptions>();
    auto* command = app.add_subcommand("export", "Slice a track and export regions as numbered WAV files");
    command->add_option("--track-file", options->trackFile, "track file (raw audio part + overview part)")
        ->check(CLI::ExistingFile);
    command->add_option("--wav", options->wavFile, "audio file (WAV, FLAC, AIFF, Ogg, MP3, ...), converted to CD audio")
        ->check(CLI::ExistingFile);
    command->add_flag("--demo", options->demo, "a track of the demo disc (or of --drive)");
    command->add_option("-t,--track", options->track, "with --demo: the audio track to read, from 1")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    AddDriveOption(*command, options->drive);
    AddSliceOptions(*command, options->slicing);
    command->add_option("--regions", options->regions, "region numbers: 3, 2-4, 1,3,5-7 or all")->capture_default_str();
    command->add_flag("--normalize", options->normalize, "normalise each region to full scale");
    command->add_option("-o,--output", options->output,
                        "file name; with several regions the number goes before the extension of the file name "
                        "(kick.wav: kick1.wav, kick2.wav, ...)")
        ->required();
    command->add_flag("-f,--force", options->force, "replace existing files");
    command->footer("Examples:\n"
                    "  korvane-cli export --wav song.wav -o loops/kick.wav          kick1.wav, kick2.wav, ...\n"
                    "  korvane-cli export --track-file t.trk --regions 1,3-5 --normalize -o hit.wav\n"
                    "  korvane-cli export --demo -t 2 --settings -f -o demo/loop.wav\n\n" +
                    EnvironmentHelp());
    command->callback([options, &exitCode] { exitCode = RunExport(*options); });
});

}  // namespace
}  // namespace korvane::cli
