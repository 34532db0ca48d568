// korvane-cli import IN.wav -o TRACKFILE: writes a 16-bit 44,100 Hz WAV file (stereo or
// mono) as a track file, laid out as the track reader writes one.
#include "cli/command.h"
#include "cli/progress.h"
#include "resources/strings.h"
#include "track/wav_import.h"

#include <iostream>
#include <stdexcept>

namespace korvane::cli {
namespace {

struct ImportOptions {
    std::string input;
    std::string output;
};

void RunImport(const ImportOptions& options, int& exitCode) {
    ProgressBar bar("import");
    track::ImportIo io;
    io.progress = [&](std::uint64_t done, std::uint64_t total) {
        bar.Update(total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total));
        return !InterruptRequested();
    };
    const auto outcome = track::ImportWavToTrackFile(options.input, options.output, io);
    bar.Finish();
    if (!outcome.Ok()) {
        std::string text(resources::LoadAppString(track::ImportMessageId(outcome.error)));
        if (const auto at = text.find("%s"); at != std::string::npos) text.replace(at, 2, options.input);
        if (outcome.error == track::ImportError::kCancelled) text = "import cancelled";
        throw std::runtime_error(text + " (" + outcome.detail + ")");
    }
    std::cout << "wrote " << options.output << ": " << outcome.frames << " frames, " << outcome.sectorCount
              << " sectors\n";
    exitCode = 0;
}

const CommandRegistrar registrar("import", [](CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ImportOptions>();
    auto* command = app.add_subcommand("import", "Write a 16-bit 44100 Hz WAV file as a track file");
    command->add_option("input", options->input, "WAV file (16-bit PCM, 44100 Hz, stereo or mono)")
        ->required()
        ->check(CLI::ExistingFile);
    command->add_option("-o,--output", options->output, "track file to write")->required();
    command->callback([options, &exitCode] { RunImport(*options, exitCode); });
});

}  // namespace
}  // namespace korvane::cli
