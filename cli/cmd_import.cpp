// korvane-cli import IN -o TRACKFILE: converts any audio file (WAV, FLAC, AIFF, Ogg,
// MP3, ...) to CD audio and writes it as a track file, laid out as the track reader
// writes one.
#include "cli/command.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/output_file.h"
#include "cli/progress.h"
#include "platform/hostfiles/host_files.h"
#include "track/audio_import.h"

#include <iostream>
#include <stdexcept>

namespace korvane::cli {
namespace {

struct ImportOptions {
    std::string input;
    std::string output;
    bool force = false;
};

void RunImport(const ImportOptions& options, int& exitCode) {
    if (IsStandardOutput(options.output)) throw UsageError("import: writes a track file; -o - is not possible here");
    platform::RefuseOverwritingInput(options.output, {options.input});
    RefuseToReplace(options.output, options.force);
    ProgressBar bar("import");
    track::ImportIo io;
    io.progress = [&](std::uint64_t done, std::uint64_t total) {
        bar.Update(total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total));
        return !InterruptRequested();
    };
    const auto outcome = track::ImportAudioToTrackFile(options.input, options.output, io);
    bar.Finish();
    if (!outcome.Ok()) throw std::runtime_error(track::ImportMessage(outcome, options.input));
    for (const auto& warning : outcome.Warnings()) Warn(warning);
    Say("read " + outcome.sourceFormat + " (" + outcome.channelRule + ", " +
        (outcome.converted ? "converted" : "copied bit-exactly") + ")");
    Say("wrote " + options.output + ": " + std::to_string(outcome.frames) + " frames, " +
        std::to_string(outcome.sectorCount) + " sectors");
    exitCode = kExitSuccess;
}

const CommandRegistrar registrar("import", [](CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ImportOptions>();
    auto* command = app.add_subcommand(
        "import",
        "Write an audio file as a track file. Any rate, width and channel count is converted\n"
        "to 44100 Hz 16-bit stereo (16-bit 44100 Hz files are copied bit-exactly).");
    command->add_option("input", options->input, "audio file (WAV, FLAC, AIFF, Ogg, MP3, ...)")
        ->required()
        ->check(CLI::ExistingFile);
    command->add_option("-o,--output", options->output, "track file to write")->required();
    command->add_flag("-f,--force", options->force, "replace an existing track file");
    command->footer("Examples:\n"
                    "  korvane-cli import song.flac -o song.trk\n"
                    "  korvane-cli import take.wav -o take.trk --force\n\n" +
                    EnvironmentHelp());
    command->callback([options, &exitCode] { RunImport(*options, exitCode); });
});

}  // namespace
}  // namespace korvane::cli
