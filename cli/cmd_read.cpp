// korvane-cli read --track N [--drive D:] -o FILE [--wav] [--force] [--verify]
// [--max-retries N] [--offset N [--save-offset]] [--log FILE]: reads audio track N (as
// numbered by `tracks`) into a track file (raw audio followed by its overview), or with
// --wav into a plain 44,100 Hz 16-bit stereo WAV file, and prints its checksums. The
// file is written under a temporary name beside FILE and takes FILE's name only when
// complete; an existing FILE is kept unless --force is given. Exit code 3 when the read
// finished with suspicious sectors.
#include "cdda/drive_offsets.h"
#include "cdda/rip_log.h"
#include "cdda/temp_file.h"
#include "cdda/toc.h"
#include "cdda/track_file.h"
#include "cdda/track_reader.h"
#include "cli/cd_session.h"
#include "cli/command.h"
#include "cli/exit_codes.h"
#include "cli/output_file.h"
#include "cli/progress.h"
#include "export/wav_format.h"
#include "platform/registry/registry.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
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
    bool verify = false;
    int maxRetries = cdda::kDefaultMaxRetries;
    std::optional<std::int32_t> offset;
    bool saveOffset = false;
    std::string log;
};

// The read offset to use: --offset (stored for the drive model with --save-offset), or
// the one stored for the model, or none.
std::int32_t ChooseOffset(const ReadOptions& options, const cdda::CDDrive& drive) {
    const std::string model = cdda::DriveModel(drive);
    if (options.offset) {
        if (options.saveOffset) cdda::SaveDriveOffset(*platform::RegistryStore::OpenMachine(), model, *options.offset);
        return *options.offset;
    }
    try {
        return cdda::LoadDriveOffset(*platform::RegistryStore::OpenMachine(), model).value_or(0);
    } catch (const platform::RegistryError&) {
        return 0;  // no registry to read: the drive's data as it comes
    }
}

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
    cmd->add_flag("--verify", options->verify,
                  "Read every sector twice with the drive's cache defeated, and re-read sectors until two reads agree");
    cmd->add_option("--max-retries", options->maxRetries,
                    "With --verify: re-reads of a sector before it counts as suspicious (default 16)")
        ->check(CLI::Range(0, 1000));
    cmd->add_option("--offset", options->offset,
                    "The drive's read offset in samples, as offset lists give it (default: the one saved for the "
                    "drive model, else 0)")
        ->check(CLI::Range(-cdda::kMaxOffsetSamples, cdda::kMaxOffsetSamples));
    cmd->add_flag("--save-offset", options->saveOffset, "Remember --offset for this drive model");
    cmd->add_option("--log", options->log, "Write a rip log (drive, settings, checksums, problems) to this file");
    cmd->footer("Exit codes: 0 every sector was read (and, with --verify, verified); 3 the read finished but some "
                "sectors are suspicious; 1 the read failed.");
    cmd->callback([options, &exitCode] {
        if (options->saveOffset && !options->offset) throw UsageError("--save-offset needs --offset");
        const fs::path output = fs::absolute(options->output);
        RefuseToReplace(output, options->force);
        const fs::path dir = output.parent_path();
        if (!fs::is_directory(dir)) throw std::runtime_error("no such folder: " + dir.string());

        CdSession session(options->retries);
        const cdda::CDDrive& drive = session.SelectAndReadToc(options->drive);
        cdda::CDReader& reader = session.Reader();
        const auto [track, line] = session.AudioTrackAt(drive, options->track);
        cdda::TrackReadReport report;

        std::atomic<bool> cancel{false};
        ProgressBar bar("Reading " + line);
        cdda::ReadControl control;
        control.cancel = &cancel;
        control.onProgress = [&](double fraction) {
            bar.Update(fraction);
            if (InterruptRequested()) cancel = true;
        };
        control.secure.verify = options->verify;
        control.secure.maxRetries = options->maxRetries;
        control.secure.offsetSamples = ChooseOffset(*options, drive);

        fs::path finished;
        try {
            if (options->wav) {
                cdda::TempFile wav = cdda::TempFile::CreateUnique(dir, "~krvn");
                try {
                    const std::uint64_t dataBytes = cdda::AudioBytesForSectors(track.sectorCount);
                    const auto header = wavexport::EncodeWavHeader(static_cast<std::uint32_t>(dataBytes));
                    wav.Write({reinterpret_cast<const std::uint8_t*>(header.data()), header.size()});
                    DiscardSink overview;
                    if (cdda::ReadTrackToFiles(reader, options->track - 1, overview, wav, control, line, &report) ==
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
                auto file = cdda::ReadTrackToTrackFile(reader, drive, options->track - 1, dir, control, line, &report);
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
        std::fputs(cdda::FormatTrackReport(report).c_str(), stdout);
        if (!options->log.empty()) {
            const std::string version = std::to_string(KORVANE_VERSION_MAJOR) + "." +
                                        std::to_string(KORVANE_VERSION_MINOR) + "." +
                                        std::to_string(KORVANE_VERSION_PATCH);
            const cdda::RipLogHeader header{version, drive, control.secure};
            cdda::WriteRipLog(fs::absolute(options->log), cdda::FormatRipLog(header, std::span(&report, 1)));
        }
        const std::size_t suspicious = report.suspiciousFrames.size();
        if (suspicious > 0)
            std::fprintf(stderr, "korvane-cli: %zu suspicious sector%s in %s\n", suspicious, suspicious == 1 ? "" : "s",
                         line.c_str());
        exitCode = suspicious > 0 ? kExitProblems : kExitSuccess;
    });
});

}  // namespace
}  // namespace korvane::cli
