#include "cli/cd_session.h"

#include "cdda/failure_text.h"
#include "cli/command.h"
#include "cli/console.h"
#include "platform/aspi/environment.h"
#include "platform/ui/ui.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <unistd.h>

namespace korvane::cli {
namespace {

// The retry prompt on a terminal; without one, Cancel (never an endless retry loop).
class TerminalPrompt : public platform::MessageBoxHandler {
public:
    int Show(std::string_view text, std::string_view caption, std::uint32_t flags) override {
        const bool retryCancel = (flags & 0xF) == platform::kMbRetryCancel;
        std::string line(text);
        for (auto at = line.find("\n\n"); at != std::string::npos; at = line.find("\n\n")) line.replace(at, 2, " - ");
        std::cerr << caption << ": " << line;
        if (!retryCancel || !isatty(STDIN_FILENO)) {
            std::cerr << (retryCancel ? " [cancelled: not a terminal]\n" : "\n");
            return retryCancel ? platform::kIdCancel : platform::kIdOk;
        }
        std::cerr << " [r]etry/[c]ancel: " << std::flush;
        std::string answer;
        if (!std::getline(std::cin, answer)) return platform::kIdCancel;
        return (!answer.empty() && (answer[0] == 'r' || answer[0] == 'R')) ? platform::kIdRetry : platform::kIdCancel;
    }
};

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

namespace fs = std::filesystem;

// The SCSI device a /dev node belongs to (/sys/devices/.../host0/target0:0:0/0:0:0:0),
// so that /dev/sr0 and /dev/sg0 of one drive meet; empty for anything else.
fs::path ScsiDeviceOf(const fs::path& node) {
    struct stat info {};
    if (::stat(node.c_str(), &info) != 0 || !(S_ISBLK(info.st_mode) || S_ISCHR(info.st_mode))) return {};
    const std::string kind = S_ISBLK(info.st_mode) ? "block" : "char";
    std::error_code error;
    const auto device = fs::canonical("/sys/dev/" + kind + "/" + std::to_string(major(info.st_rdev)) + ":" +
                                          std::to_string(minor(info.st_rdev)) + "/device",
                                      error);
    return error ? fs::path() : device;
}

// Whether the path the user typed names the drive's source: the same file after links
// are resolved, or device nodes of the same SCSI device.
bool SameSource(const std::string& typed, const std::string& source) {
    if (source.empty()) return false;
    std::error_code e1, e2;
    const auto a = fs::canonical(typed, e1), b = fs::canonical(source, e2);
    if (e1 || e2) return false;
    if (a == b) return true;
    const auto deviceA = ScsiDeviceOf(a);
    return !deviceA.empty() && deviceA == ScsiDeviceOf(b);
}

}  // namespace

TrackReadProgress::TrackReadProgress(const std::string& trackLine) : bar("Reading " + trackLine) {
    control.cancel = &InterruptFlag();  // Ctrl+C or SIGTERM, also while a request is pending
    control.onProgress = [this](double fraction) { bar.Update(fraction); };
    // With --verify: the pass of the current transfer and the sectors re-read so far.
    control.onVerify = [this](cdda::VerifyPhase phase, std::uint32_t rereadSectors) {
        const char* pass = phase == cdda::VerifyPhase::FirstPass    ? "pass 1"
                           : phase == cdda::VerifyPhase::SecondPass ? "pass 2"
                                                                    : "re-reading";
        bar.SetNote(std::string(pass) + ", " + std::to_string(rereadSectors) +
                    (rereadSectors == 1 ? " sector re-read" : " sectors re-read"));
    };
}

CLI::Option* AddDriveOption(CLI::App& command, std::string& drive) {
    return command.add_option("-d,--drive", drive,
                              "drive: a letter (D:), adapter:target:lun (0:1:0) or a device path (/dev/sr0, "
                              "/dev/cdrom); default the first drive");
}

CLI::Option* AddRetriesOption(CLI::App& command, int& retries) {
    return command
        .add_option("--retries", retries,
                    "send a failed drive request again this many times before giving up (the prompt is asked "
                    "only on a terminal)")
        ->check(CLI::NonNegativeNumber);
}

std::string DescribeDrive(const cdda::CDDrive& drive) {
    return CdSession::Name(drive) + " at " + std::to_string(drive.adapter) + ":" + std::to_string(drive.target) +
           ":" + std::to_string(drive.lun) + ": INQUIRY \"" + Trim(drive.vendor) + "\" \"" + Trim(drive.product) +
           "\" \"" + Trim(drive.revision) + "\"" + (drive.source.empty() ? "" : ", from " + drive.source);
}

std::string Describe(const cdda::CDReaderException& e) { return cdda::DescribeFailure(e); }

CdSession::CdSession(int retries) {
    auto previous = platform::SetMessageBoxHandler(std::make_shared<TerminalPrompt>());
    previousHandler_ = std::shared_ptr<void>(nullptr, [previous](void*) { platform::SetMessageBoxHandler(previous); });
    try {
        reader_ = std::make_unique<cdda::CDReader>();
    } catch (const cdda::CDReaderException& e) {
        throw std::runtime_error(Describe(e));
    }
    reader_->cancel = &InterruptFlag();  // Ctrl+C ends a wait for the drive
    reader_->quiet = true;
    auto warn = [this] {
        for (const auto& line : reader_->ManagerDiagnostics()) Warn(line);
    };
    try {
        reader_->ScanDrives();
    } catch (const cdda::CDReaderException& e) {
        warn();
        throw std::runtime_error("cannot scan the CD drives: " + Describe(e));
    }
    warn();
    reader_->quiet = false;
    reader_->retries = retries;
}

CdSession::~CdSession() { reader_.reset(); }

std::vector<std::filesystem::path> CdSession::DiscImageFiles() {
    return aspi::DiscImageFiles(aspi::SelectionFromEnvironment());
}

std::string CdSession::Name(const cdda::CDDrive& drive) {
    if (drive.letter) return std::string(1, drive.letter) + ":";
    return std::to_string(drive.adapter) + ":" + std::to_string(drive.target) + ":" + std::to_string(drive.lun);
}

const cdda::CDDrive& CdSession::Pick(const std::string& name) const {
    const int count = reader_->drives.Count();
    if (count == 0) throw std::runtime_error("no CD drive found (see `korvane-cli drives`)");
    if (name.empty()) return reader_->drives.At(0);
    std::string choices;
    for (int i = 0; i < count; ++i) {
        const cdda::CDDrive& d = reader_->drives.At(i);
        const std::string address =
            std::to_string(d.adapter) + ":" + std::to_string(d.target) + ":" + std::to_string(d.lun);
        const bool letterMatch = d.letter && (name.size() == 1 || (name.size() == 2 && name[1] == ':')) &&
                                 std::toupper(static_cast<unsigned char>(name[0])) == d.letter;
        const bool pathMatch = name.find('/') != std::string::npos && SameSource(name, d.source);
        if (letterMatch || name == address || pathMatch) return d;
        choices += (choices.empty() ? "" : ", ") + Name(d) + " " + Trim(d.vendor) + " " + Trim(d.product) +
                   (d.source.empty() ? "" : " " + d.source);
    }
    throw std::runtime_error("no CD drive " + name + " (drives: " + choices + ")");
}

}  // namespace korvane::cli

namespace korvane::cli {

const cdda::CDDrive& CdSession::SelectAndReadToc(const std::string& name) {
    const cdda::CDDrive& drive = Pick(name);
    Detail("drive " + DescribeDrive(drive));
    reader_->SelectDrive(drive);
    try {
        reader_->ReadTOC();
    } catch (const cdda::CDReaderException& e) {
        throw std::runtime_error("cannot read the table of contents in " + Name(drive) + (drive.letter ? " " : ": ") + Describe(e));
    }
    const int count = cdda::TocTrackCount(reader_->toc);
    Detail("READ TOC: tracks " + std::to_string(reader_->toc[2]) + "-" + std::to_string(reader_->toc[3]) +
           ", lead-out LBA " + std::to_string(cdda::DescriptorAt(reader_->toc, count).lba) +
           (reader_->sessions.MultiSession()
                ? ", last session from track " + std::to_string(reader_->sessions.lastSessionFirstTrack) +
                      " at LBA " + std::to_string(reader_->sessions.lastSessionStart)
                : ""));
    return drive;
}

CdSession::ChosenTrack CdSession::AudioTrackAt(const cdda::CDDrive& drive, int trackNumber) const {
    const auto tracks = cdda::ListAudioTracks(reader_->toc, reader_->sessions);
    if (trackNumber < 1 || trackNumber > static_cast<int>(tracks.size()))
        throw std::runtime_error("the disc in " + Name(drive) + " has " + std::to_string(tracks.size()) +
                                 " audio tracks");
    const cdda::AudioTrack& track = tracks[static_cast<std::size_t>(trackNumber - 1)];
    return {track, cdda::FormatTrackLine(track.runningNumber, track.sectorCount)};
}

}  // namespace korvane::cli
