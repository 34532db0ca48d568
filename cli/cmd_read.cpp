// korvane-cli read --track N [--drive D:] -o FILE [--wav] [--force]: reads audio track N
// (as numbered by `tracks`) into a track file (raw audio followed by its overview), or
// with --wav into a plain 44,100 Hz 16-bit stereo WAV file. The file is written under a
// temporary name beside FILE and takes FILE's name only when complete; an existing FILE
// is kept unless --force is given.
#include "cdda/temp_file.h"
#include "cdda/toc.h"
#include "cdda/track_file.h"
#include "cdda/track_reader.h"
#include "cli/cd_session.h"
#include "cli/command.h"
#include "cli/output_file.h"
#include "cli/progress.h"
#include "export/wav_format.h"
#include "platform/hostfiles/host_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane::cli {
namespace {

namespace fs = std::filesystem;

struct ReadOptions {
    int track = 0;
    std::string drive;
    int retries = 0;
    std::string output;
    bool wav = false;
    bool force = false;
};

class DiscardSink : public cdda::TrackSink {
public:
    void Write(std::span<const std::uint8_t>) override {}
};

const CommandRegistrar registrar("read", [](CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ReadOptions>();
    auto* cmd = app.add_subcommand("read", "Read an audio track into a track file or a WAV file");
    cmd->add_option("-t,--track", options->track, "Track number as listed by `tracks` (1 = first audio track)")
        ->required()
        ->check(CLI::PositiveNumber);
    AddDriveOption(*cmd, options->drive);
    AddRetriesOption(*cmd, options->retries);
    cmd->add_option("-o,--output", options->output, "File to write")->required();
    cmd->add_flag("--wav", options->wav, "Write a plain WAV file instead of a track file");
    cmd->add_flag("-f,--force", options->force, "Replace an existing output file");
    cmd->callback([options, &exitCode] {
        const fs::path output = fs::absolute(options->output);
        platform::RefuseOverwritingInput(output, CdSession::DiscImageFiles());
        RefuseToReplace(output, options->force);
        const fs::path dir = output.parent_path();
        if (!fs::is_directory(dir)) throw std::runtime_error("no such folder: " + dir.string());

        CdSession session(options->retries);
        const cdda::CDDrive& drive = session.SelectAndReadToc(options->drive);
        cdda::CDReader& reader = session.Reader();
        const auto [track, line] = session.AudioTrackAt(drive, options->track);

        ProgressBar bar("Reading " + line);
        cdda::ReadControl control;
        control.cancel = &InterruptFlag();  // Ctrl+C or SIGTERM, also while a request is pending
        control.onProgress = [&](double fraction) { bar.Update(fraction); };

        fs::path finished;
        try {
            if (options->wav) {
                cdda::TempFile wav = cdda::TempFile::CreateUnique(dir, "~krvn");
                try {
                    const std::uint64_t dataBytes = cdda::AudioBytesForSectors(track.sectorCount);
                    const auto header = wavexport::EncodeWavHeader(static_cast<std::uint32_t>(dataBytes));
                    wav.Write({reinterpret_cast<const std::uint8_t*>(header.data()), header.size()});
                    DiscardSink overview;
                    if (cdda::ReadTrackToFiles(reader, options->track - 1, overview, wav, control, line) ==
                        cdda::ReadOutcome::Cancelled) {
                        wav.Remove();
                        bar.Finish();
                        std::fprintf(stderr, "korvane-cli: interrupted; nothing written\n");
                        exitCode = 130;
                        return;
                    }
                    wav.Close();
                } catch (...) {
                    wav.Remove();
                    throw;
                }
                finished = wav.Path();
            } else {
                auto file = cdda::ReadTrackToTrackFile(reader, drive, options->track - 1, dir, control, line);
                if (!file) {
                    bar.Finish();
                    std::fprintf(stderr, "korvane-cli: interrupted; nothing written\n");
                    exitCode = 130;
                    return;
                }
                finished = *file;
            }
        } catch (const cdda::CDReaderException& e) {
            bar.Finish();
            throw std::runtime_error("reading " + line + " from " + CdSession::Name(drive) + " failed: " + Describe(e));
        }
        bar.Finish();
        PublishFile(finished, output, options->force);
        std::printf("%s: %s, %u sectors, %s\n", output.string().c_str(), line.c_str(), track.sectorCount,
                    options->wav ? "WAV" : "track file");
        exitCode = 0;
    });
});

}  // namespace
}  // namespace korvane::cli
