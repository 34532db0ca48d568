// korvane-cli export: slices a track (a track file, a WAV file or a demo-disc track) as the
// track view does, and writes the chosen regions as numbered WAV files exactly as the
// export command of the application writes them.
//
//   korvane-cli export --track-file F | --wav IN | --demo [--track N] [--drive D:]
//       [--threshold DB] [--release MS] [--regions 1,3-5|all] [--normalize] -o OUT.wav
#include "cli/cd_session.h"
#include "cli/command.h"
#include "cli/export_source.h"
#include "cli/progress.h"
#include "cli/region_selection.h"
#include "export/export_regions.h"
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
    double thresholdDb = -36.0;  // the settings' first-start values
    int releaseMs = 750;
    std::string regions = "all";
    bool normalize = false;
    std::string output;
};

std::string Duration(std::uint64_t overviewSamples) {
    const double seconds = static_cast<double>(overviewSamples) / 11025.0;
    const auto minutes = static_cast<unsigned>(seconds / 60);
    char text[32];
    std::snprintf(text, sizeof text, "%u:%05.2f", minutes, seconds - 60.0 * minutes);
    return text;
}

void RunExport(const ExportOptions& options, int& exitCode) {
    const int sources = !options.trackFile.empty() + !options.wavFile.empty() + options.demo;
    if (sources != 1) throw std::runtime_error("give exactly one of --track-file, --wav and --demo");

    const ExportTrack track = options.demo              ? ExportTrack::FromDisc(options.track, options.drive)
                              : !options.wavFile.empty() ? ExportTrack::FromWav(options.wavFile)
                                                         : ExportTrack::FromTrackFile(options.trackFile);
    const auto regions = SliceTrackFile(track.Path(), options.thresholdDb, options.releaseMs);
    const auto lines = ParseRegionSelection(options.regions, regions.size());
    if (lines.empty()) {
        std::cout << "no regions to export (" << regions.size() << " found)\n";
        exitCode = 0;
        return;
    }

    std::vector<std::filesystem::path> inputs = {options.wavFile, options.trackFile};
    if (options.demo) inputs = CdSession::DiscImageFiles();
    for (const std::string& name : wavexport::ExportFileNames(options.output, lines.size()))
        platform::RefuseOverwritingInput(name, inputs);

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

    ProgressBar bar("export");
    const auto results = wavexport::ExportSelectedRegions(request, [&](std::uint64_t done, std::uint64_t total) {
        bar.Update(total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total));
        return !InterruptRequested();
    });
    bar.Finish();

    int failed = 0;
    for (const auto& result : results) {
        const auto& region = regions.at(result.line);
        if (result.outcome.Ok()) {
            std::cout << "wrote " << result.path << "  region #" << result.line + 1 << ", start "
                      << Duration(region.startOverview) << ", length " << Duration(region.lengthOverview) << '\n';
        } else {
            ++failed;
            std::cerr << "korvane-cli: region #" << result.line + 1 << " -> " << result.path << ": "
                      << result.outcome.detail << '\n';
        }
    }
    std::cout << wavexport::ExportSummary(results, options.output) << '\n';
    if (results.size() < lines.size()) {
        std::cerr << "korvane-cli: export stopped after " << results.size() << " of " << lines.size()
                  << " regions\n";
        exitCode = 1;
        return;
    }
    exitCode = failed == 0 ? 0 : 1;
}

const CommandRegistrar registrar("export", [](CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ExportOptions>();
    auto* command = app.add_subcommand("export", "Slice a track and export regions as numbered WAV files");
    command->add_option("--track-file", options->trackFile, "track file (raw audio part + overview part)")
        ->check(CLI::ExistingFile);
    command->add_option("--wav", options->wavFile, "audio file (WAV, FLAC, AIFF, Ogg, MP3, ...), converted to CD audio")
        ->check(CLI::ExistingFile);
    command->add_flag("--demo", options->demo, "a track of the demo disc (or of --drive)");
    command->add_option("--track", options->track, "with --demo: the audio track to read, from 1")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    command->add_option("--drive", options->drive, "with --demo: the drive (D:, 0:1:0); default the first");
    command->add_option("--threshold", options->thresholdDb, "threshold in dB (-96.0 to 0.0)")
        ->check(CLI::Range(-96.0, 0.0))
        ->capture_default_str();
    command->add_option("--release", options->releaseMs, "release time in ms (5 to 2500)")
        ->check(CLI::Range(5, 2500))
        ->capture_default_str();
    command->add_option("--regions", options->regions, "region numbers, e.g. 1,3-5, or all")->capture_default_str();
    command->add_flag("--normalize", options->normalize, "normalise each region to full scale");
    command->add_option("-o,--output", options->output,
                        "file name; with several regions the number goes before the last '.'")
        ->required();
    command->callback([options, &exitCode] { RunExport(*options, exitCode); });
});

}  // namespace
}  // namespace korvane::cli
