// korvane-cli read -t TRACKS [-d DRIVE] [-o FILE|PATTERN|-] [--format trk|wav|raw] [-f]:
// reads audio tracks (as numbered by `tracks`: a number, a span 2-4, a list 1,3,5-7 or
// all) into track files (raw audio followed by its overview), WAV files or raw audio,
// one file per track named from a pattern ("track%02d.wav"). Each file is written under
// a temporary name beside its final one and takes that name only when complete; an
// existing file is kept unless --force is given. "-o -" sends one track as WAV (or raw)
// to standard output, every message going to standard error. Every track's CRC32 and
// AccurateRip checksums are printed; --verify reads twice and re-reads until the reads
// agree, --offset corrects the drive's read offset (--save-offset keeps it for the drive
// model), --log writes a rip log. Exit code 3 when a track has suspicious sectors.
#include "cdda/drive_offsets.h"
#include "cdda/rip_log.h"
#include "cdda/temp_file.h"
#include "cdda/toc.h"
#include "cdda/track_file.h"
#include "cdda/track_reader.h"
#include "cli/cd_session.h"
#include "cli/command.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/output_file.h"
#include "cli/progress.h"
#include "cli/region_selection.h"
#include "cli/track_pattern.h"
#include "export/wav_format.h"
#include "platform/registry/registry.h"
#include "platform/hostfiles/host_files.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>

namespace korvane::cli {
namespace {

namespace fs = std::filesystem;

struct ReadOptions {
    std::string tracks;
    std::string drive;
    int retries = 0;
    std::string output;
    std::string format;
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

std::string ProgramVersion() {
    return std::to_string(KORVANE_VERSION_MAJOR) + "." + std::to_string(KORVANE_VERSION_MINOR) + "." +
           std::to_string(KORVANE_VERSION_PATCH);
}

class DiscardSink : public cdda::TrackSink {
public:
    void Write(std::span<const std::uint8_t>) override {}
};

// Standard output as a sink; a closed pipe is a failure, not a silent end.
class StdoutSink : public cdda::TrackSink {
public:
    void Write(std::span<const std::uint8_t> bytes) override {
        while (!bytes.empty()) {
            const ssize_t written = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) throw std::runtime_error(std::string("cannot write to standard output: ") + std::strerror(errno));
            bytes = bytes.subspan(static_cast<std::size_t>(written));
        }
    }
};

void WriteWavHeader(cdda::TrackSink& sink, std::uint32_t sectorCount) {
    const auto header = wavexport::EncodeWavHeader(static_cast<std::uint32_t>(cdda::AudioBytesForSectors(sectorCount)));
    sink.Write({reinterpret_cast<const std::uint8_t*>(header.data()), header.size()});
}

// What one run reads: the drive, its tracks and where each goes.
struct ReadJob {
    CdSession& session;
    const cdda::CDDrive& drive;
    OutputFormat format;
    bool replace;
    cdda::SecureReadSettings secure;
    std::vector<cdda::TrackReadReport>& reports;  // one per track written
};

// Reads track `index` (0-based) into `sink` as WAV or raw audio. False when cancelled.
bool ReadAudio(const ReadJob& job, std::size_t index, const cdda::AudioTrack& track, const std::string& line,
               cdda::TrackSink& sink, const cdda::ReadControl& control, cdda::TrackReadReport& report) {
    if (job.format == OutputFormat::Wav) WriteWavHeader(sink, track.sectorCount);
    DiscardSink overview;
    return cdda::ReadTrackToFiles(job.session.Reader(), static_cast<int>(index), overview, sink, control, line,
                                  &report) != cdda::ReadOutcome::Cancelled;
}

// Reads one track into a temporary file beside `output`; the finished file, or nullopt
// when cancelled.
std::optional<fs::path> ReadToTemporary(const ReadJob& job, std::size_t index, const cdda::AudioTrack& track,
                                        const std::string& line, const fs::path& dir, const cdda::ReadControl& control,
                                        cdda::TrackReadReport& report) {
    if (job.format == OutputFormat::TrackFile)
        return cdda::ReadTrackToTrackFile(job.session.Reader(), job.drive, static_cast<int>(index), dir, control, line,
                                          &report);
    cdda::TempFile file = cdda::TempFile::CreateUnique(dir, "~krvn");
    try {
        if (!ReadAudio(job, index, track, line, file, control, report)) {
            file.Remove();
            return std::nullopt;
        }
        file.Sync();  // on disk before it takes its name and the read is reported done
        file.Close();
    } catch (...) {
        file.Remove();
        throw;
    }
    return file.Path();
}

enum class TrackResult { Written, Failed, Cancelled };

// Reads one track to `output` ("-": standard output), reporting a failure on stderr.
TrackResult ReadOneTrack(const ReadJob& job, std::size_t index, const cdda::AudioTrack& track,
                         const std::string& output) {
    const std::string line = cdda::FormatTrackLine(track.runningNumber, track.sectorCount);
    TrackReadProgress progress(line);
    progress.control.secure = job.secure;
    const cdda::ReadControl& control = progress.control;
    ProgressBar& bar = progress.bar;
    cdda::TrackReadReport report;
    const auto started = std::chrono::steady_clock::now();
    try {
        std::optional<fs::path> finished;
        if (IsStandardOutput(output)) {
            StdoutSink out;
            if (!ReadAudio(job, index, track, line, out, control, report)) return TrackResult::Cancelled;
        } else {
            finished = ReadToTemporary(job, index, track, line, fs::absolute(output).parent_path(), control, report);
            if (!finished) return TrackResult::Cancelled;
        }
        bar.Finish();
        if (finished) PublishFile(*finished, output, job.replace);
    } catch (const cdda::CDReaderException& e) {
        bar.Finish();
        std::fprintf(stderr, "korvane-cli: error: reading %s from %s failed: %s\n", line.c_str(),
                     CdSession::Name(job.drive).c_str(), Describe(e).c_str());
        return TrackResult::Failed;
    } catch (const std::exception& e) {
        bar.Finish();
        std::fprintf(stderr, "korvane-cli: error: %s: %s\n", line.c_str(), e.what());
        return TrackResult::Failed;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const auto command = job.session.Reader().ReadCommandFor({job.drive.adapter, job.drive.target, job.drive.lun});
    char timing[160];
    std::snprintf(timing, sizeof timing, "%s: %u sectors from LBA %u with %s in %.2f s (%.1fx)", line.c_str(),
                  track.sectorCount, track.startLba,
                  command == cdda::ReadCommand::Vendor ? "the vendor read 0xD8" : "READ CD 0xBE", seconds,
                  seconds > 0 ? track.sectorCount / 75.0 / seconds : 0.0);
    Detail(timing);
    Say((IsStandardOutput(output) ? std::string("standard output") : output) + ": " + line + ", " +
        std::to_string(track.sectorCount) + " sectors, " + FormatName(job.format));
    std::string checksums = cdda::FormatTrackReport(report);
    checksums.pop_back();  // Say ends the line
    Say(checksums);
    const std::size_t suspicious = report.suspiciousFrames.size();
    if (suspicious > 0)
        Warn(std::to_string(suspicious) + (suspicious == 1 ? " suspicious sector in " : " suspicious sectors in ") + line);
    job.reports.push_back(std::move(report));
    return TrackResult::Written;
}

// The names to write: "-", the one name given, or the pattern (given or the default
// "trackNN") filled in with each track's number.
std::vector<std::string> OutputNames(const ReadOptions& o, OutputFormat format, const std::vector<int>& numbers) {
    if (IsStandardOutput(o.output)) {
        if (numbers.size() != 1) throw UsageError("read: -o - takes one track");
        return {o.output};
    }
    const std::string extension = format == OutputFormat::Wav ? ".wav" : format == OutputFormat::Raw ? ".raw" : ".trk";
    const std::string pattern = o.output.empty() ? "track%02d" + extension : o.output;
    if (!IsTrackPattern(pattern)) {
        if (numbers.size() == 1) return {pattern};
        throw UsageError("read: several tracks need a name pattern such as -o 'track%02d" + extension + "'");
    }
    std::vector<std::string> names;
    for (const int n : numbers) names.push_back(ExpandTrackPattern(pattern, n));
    return names;
}

int RunRead(const ReadOptions& o) {
    if (o.saveOffset && !o.offset) throw UsageError("read: --save-offset needs --offset");
    const OutputFormat format = ChooseOutputFormat(o.output, o.wav && o.format.empty() ? "wav" : o.format);
    if (IsStandardOutput(o.output)) {
        SetDataOnStdout();
        std::signal(SIGPIPE, SIG_IGN);  // a closed pipe becomes EPIPE, reported as a failure
    }
    CdSession session(o.retries);
    const cdda::CDDrive& drive = session.SelectAndReadToc(o.drive);
    const auto tracks = cdda::ListAudioTracks(session.Reader().toc, session.Reader().sessions);
    const std::string name = CdSession::Name(drive);
    if (tracks.empty()) throw NothingToDo("the disc in " + name + " has no audio track");
    const auto indexes = SelectNumbers(o.tracks, tracks.size(), "track",
                                       "the disc in " + name + " has " + std::to_string(tracks.size()) + " audio tracks");
    std::vector<int> numbers;
    for (const auto index : indexes) numbers.push_back(tracks[index].runningNumber);
    const auto names = OutputNames(o, format, numbers);
    const auto images = CdSession::DiscImageFiles();
    for (const auto& output : names) {
        if (IsStandardOutput(output)) continue;
        platform::RefuseOverwritingInput(output, images);
        RefuseToReplace(output, o.force);
        const fs::path dir = fs::absolute(output).parent_path();
        if (!fs::is_directory(dir)) throw std::runtime_error("no such folder: " + dir.string());
    }

    cdda::SecureReadSettings secure;
    secure.verify = o.verify;
    secure.maxRetries = o.maxRetries;
    secure.offsetSamples = ChooseOffset(o, drive);
    std::vector<cdda::TrackReadReport> reports;
    const ReadJob job{session, drive, format, o.force, secure, reports};
    std::size_t written = 0;
    for (std::size_t k = 0; k < indexes.size(); ++k) {
        const TrackResult result = ReadOneTrack(job, indexes[k], tracks[indexes[k]], names[k]);
        if (result == TrackResult::Cancelled) {
            std::fprintf(stderr, "korvane-cli: interrupted; %zu of %zu tracks written\n", written, indexes.size());
            return kExitInterrupted;
        }
        written += result == TrackResult::Written ? 1 : 0;
    }
    if (!o.log.empty()) {
        const cdda::RipLogHeader header{ProgramVersion(), drive, secure};
        cdda::WriteRipLog(fs::absolute(o.log), cdda::FormatRipLog(header, reports));
    }
    if (written == indexes.size()) return cdda::SuspiciousCount(reports) > 0 ? kExitProblems : kExitSuccess;
    if (indexes.size() > 1)
        std::fprintf(stderr, "korvane-cli: %zu of %zu tracks written\n", written, indexes.size());
    return written == 0 ? kExitFailure : kExitProblems;
}

const CommandRegistrar registrar("read", [](CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ReadOptions>();
    auto* cmd = app.add_subcommand("read", "Read audio tracks into track files, WAV files or raw audio");
    cmd->add_option("-t,--track", options->tracks,
                    "tracks as `tracks` numbers them (1 = first audio track): 3, a span 2-4, a list 1,3,5-7, or all")
        ->required();
    AddDriveOption(*cmd, options->drive);
    AddRetriesOption(*cmd, options->retries);
    cmd->add_option("-o,--output", options->output,
                    "file to write, a pattern with %d or %02d for several tracks (default track%02d.trk, or .wav "
                    "and .raw by --format), or - for standard output (WAV, or raw with --format raw)");
    cmd->add_option("--format", options->format,
                    "trk (track file: audio and overview), wav or raw (headerless 16-bit stereo); default from the "
                    "name's extension: .wav, .raw/.pcm, otherwise a track file");
    cmd->add_flag("--wav", options->wav, "the same as --format wav");
    cmd->add_flag("-f,--force", options->force, "replace existing files");
    cmd->add_flag("--verify", options->verify,
                  "read every sector twice with the drive's cache defeated, and re-read sectors until two reads agree");
    cmd->add_option("--max-retries", options->maxRetries,
                    "with --verify: re-reads of a sector before it counts as suspicious (default 16)")
        ->check(CLI::Range(0, 1000));
    cmd->add_option("--offset", options->offset,
                    "the drive's read offset in samples, as offset lists give it (default: the one saved for the "
                    "drive model, else 0)")
        ->check(CLI::Range(-cdda::kMaxOffsetSamples, cdda::kMaxOffsetSamples));
    cmd->add_flag("--save-offset", options->saveOffset, "remember --offset for this drive model");
    cmd->add_option("--log", options->log, "write a rip log (drive, settings, checksums, problems) to this file");
    cmd->footer("Examples:\n"
                "  korvane-cli read -t 2 -o kick.wav          track 2 as a WAV file\n"
                "  korvane-cli read -d /dev/cdrom -t all -o 'track%02d.wav'\n"
                "  korvane-cli read -t 3 -o - | sox -t wav - out.flac\n"
                "  korvane-cli read -t 3 --verify --log rip.log -o t3.wav\n\n"
                "Exit codes: 0 every sector was read (and, with --verify, verified); 3 the read finished but some "
                "sectors are suspicious (or some tracks failed); 1 the read failed.\n\n" +
                EnvironmentHelp());
    cmd->callback([options, &exitCode] { exitCode = RunRead(*options); });
});

}  // namespace
}  // namespace korvane::cli
