// korvane-cli export: slices a track (a track file, a WAV file or a demo-disc track) as the
// track view does, and writes the chosen regions as numbered WAV files exactly as the
// export command of the application writes them.
//
//   korvane-cli export --track-file F | --wav IN | --demo [--track N] [--drive D:]
//       [--threshold DB] [--release MS] [--regions 1,3-5|all] [--normalize] -o OUT.wav
//       [--trim] [--zero-cross MS] [--fade-in MS] [--fade-out MS] [--smpl] [--markers]
//       [--sfz] [--midi] [--key K] [--bpm BPM] [--pad]
#include "cli/cd_session.h"
#include "cli/command.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/output_file.h"
#include "cli/slice_options.h"
#include "cli/export_source.h"
#include "cli/progress.h"
#include "cli/region_selection.h"
#include "cli/sampler_flags.h"
#include "export/instrument.h"
#include "export/numbered_name.h"
#include "export/sampler_export.h"
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
    sampler::SamplerOptions sampler;
};

std::string Duration(std::uint64_t overviewSamples) {
    const double seconds = static_cast<double>(overviewSamples) / 11025.0;
    const auto minutes = static_cast<unsigned>(seconds / 60);
    char text[32];
    std::snprintf(text, sizeof text, "%u:%05.2f", minutes, seconds - 60.0 * minutes);
    return text;
}

// The names to write: the chosen one for one region (or for the one marked file of
// --markers); numbered ones for several, the number going before the extension of the
// file name (never into a folder's name), zero-padded with --pad.
std::vector<std::string> OutputNames(const std::string& chosen, std::size_t count, const sampler::SamplerOptions& sampler) {
    if (count == 1 || sampler.markers) return {chosen};
    const int width = sampler.pad ? static_cast<int>(std::to_string(count).size()) : 0;
    std::vector<std::string> names;
    for (std::size_t k = 1; k <= count; ++k) names.push_back(wavexport::MakeNumberedFileName(chosen, int(k), width));
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

    if (const std::string refused = sampler::CheckOptions(options.sampler, lines.size()); !refused.empty())
        throw UsageError("export: " + refused);
    const auto names = OutputNames(options.output, lines.size(), options.sampler);
    std::vector<std::string> written = names;  // with the instrument and the groove
    if (options.sampler.sfz) written.push_back(sampler::CompanionPath(options.output, ".sfz").string());
    if (options.sampler.midi) written.push_back(sampler::CompanionPath(options.output, ".mid").string());
    std::vector<std::filesystem::path> inputs = {options.wavFile, options.trackFile};
    if (options.demo) inputs = CdSession::DiscImageFiles();
    for (const std::string& name : written) platform::RefuseOverwritingInput(name, inputs);
    RefuseToReplaceAny(written, options.force);
    // The application's file dialog only offers existing folders; on the command line
    // the folder is made when missing.
    if (const auto folder = std::filesystem::path(options.output).parent_path(); !folder.empty())
        std::filesystem::create_directories(folder);

    wavexport::SamplerExportRequest request;
    request.plain.trackFile = track.Path();
    request.plain.selectedLines = lines;
    request.plain.regionAt = [&regions](std::size_t line) { return regions.at(line); };
    request.plain.chosenPath = options.output;
    request.plain.normalize = options.normalize;
    request.plain.fileNames = names;
    for (const auto& r : regions) request.regions.push_back({r.startOverview, r.lengthOverview, 0});
    request.thresholdDb = settings.thresholdDb;
    request.releaseMs = static_cast<int>(settings.releaseMs);
    request.sourceName = options.demo ? "demo disc track " + std::to_string(options.track)
                                      : std::filesystem::path(options.wavFile.empty() ? options.trackFile
                                                                                      : options.wavFile)
                                            .filename()
                                            .string();
    request.options = options.sampler;

    ProgressBar bar("export");
    const auto exported = wavexport::ExportForSampler(request, [&](std::uint64_t done, std::uint64_t total) {
        bar.Update(total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total));
        return !InterruptRequested();
    });
    bar.Finish();
    if (!exported.refused.empty()) throw std::runtime_error(exported.refused + "; nothing written");
    const auto& results = exported.regions;

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
    for (const auto& companion : exported.companions) {
        if (companion.outcome.Ok()) {
            Say("wrote " + companion.path);
        } else {
            ++failed;
            std::cerr << "korvane-cli: " << companion.path << ": " << companion.outcome.detail << '\n';
        }
    }
    Say(wavexport::ExportSummary(results, options.output));
    if (results.size() < names.size()) {
        std::cerr << "korvane-cli: export stopped after " << results.size() << " of " << names.size()
                  << " files\n";
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
    AddSamplerFlags(*command, options->sampler, SamplerFlagSet::kExport);
    command->footer("Examples:\n"
                    "  korvane-cli export --wav song.wav -o loops/kick.wav          kick1.wav, kick2.wav, ...\n"
                    "  korvane-cli export --track-file t.trk --regions 1,3-5 --normalize -o hit.wav\n"
                    "  korvane-cli export --demo -t 2 --settings -f -o demo/loop.wav\n"
                    "  korvane-cli export --wav song.wav --trim --zero-cross 5 --smpl --sfz --midi --pad -o kit/kick.wav\n\n" +
                    EnvironmentHelp());
    command->callback([options, &exitCode] { exitCode = RunExport(*options); });
});

}  // namespace
}  // namespace korvane::cli
