#pragma once
// What the CD commands of korvane-cli share: binding the CD layer, scanning the drives,
// picking one by letter or address, and answering the retry prompt on the terminal.
#include "cdda/cd_reader.h"
#include "cdda/toc.h"
#include "cdda/track_reader.h"
#include "cli/progress.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace korvane::cli {

class CdSession {
public:
    // Binds the CD layer and scans the drives. Prints the manager's diagnostics (for
    // example a drive the user has no permission for) to stderr. Throws
    // std::runtime_error when the manager cannot be bound or the scan fails. A failed
    // request is sent again `retries` times before the retry prompt, which is asked only
    // when standard input is a terminal (otherwise the answer is Cancel).
    explicit CdSession(int retries = 0);
    ~CdSession();

    cdda::CDReader& Reader() noexcept { return *reader_; }
    int DriveCount() const noexcept { return reader_->drives.Count(); }
    // The drive named "D:", "d", "0:1:0" (adapter:target:lun), a device path ("/dev/sr0",
    // "/dev/cdrom" or the disc image of a virtual drive, resolved through links) or,
    // when empty, the first one. Throws std::runtime_error naming the choices when
    // there is none such.
    const cdda::CDDrive& Pick(const std::string& name) const;
    // "D:" or, for a drive without letter, its address.
    static std::string Name(const cdda::CDDrive& drive);
    // The cue sheets and image files that the virtual drives read (KORVANE_DISC, --disc),
    // which no command may write over.
    static std::vector<std::filesystem::path> DiscImageFiles();

    // Picks the drive as Pick does, selects it and reads its table of contents.
    // Throws std::runtime_error naming the drive when the TOC cannot be read.
    const cdda::CDDrive& SelectAndReadToc(const std::string& name);

    struct ChosenTrack {
        cdda::AudioTrack track;
        std::string line;  // the Track box line, "Track #n - h:mm:ss.ss"
    };
    // Audio track `trackNumber` (counted from 1) of the table of contents read last.
    // Throws std::runtime_error with the number of audio tracks when there is none such.
    ChosenTrack AudioTrackAt(const cdda::CDDrive& drive, int trackNumber) const;

private:
    std::unique_ptr<cdda::CDReader> reader_;
    std::shared_ptr<void> previousHandler_;
};

// The progress bar of one track read and the control that stops the read on Ctrl+C.
struct TrackReadProgress {
    explicit TrackReadProgress(const std::string& trackLine);
    TrackReadProgress(const TrackReadProgress&) = delete;
    TrackReadProgress& operator=(const TrackReadProgress&) = delete;

    ProgressBar bar;
    cdda::ReadControl control;
};

// -d/--drive of the CD commands.
CLI::Option* AddDriveOption(CLI::App& command, std::string& drive);
// --retries of the CD commands.
CLI::Option* AddRetriesOption(CLI::App& command, int& retries);

// "D:" or the address, with vendor, product, revision and source, for -v.
std::string DescribeDrive(const cdda::CDDrive& drive);

// A CDReaderException in plain words.
std::string Describe(const cdda::CDReaderException& e);

}  // namespace korvane::cli
