// korvane-cli tracks [-d DRIVE] [--json]: the audio tracks of the disc as the Track box
// lists them, each with its start LBA, length in sectors and TOC flags; data tracks
// marked as such; and the disc's freedb and MusicBrainz identifiers.
#include "cdda/toc.h"
#include "cli/cd_session.h"
#include "cli/command.h"
#include "cli/disc_ids.h"
#include "cli/exit_codes.h"

#include <cstdio>
#include <stdexcept>
#include <string>

namespace korvane::cli {
namespace {

struct TracksOptions {
    std::string drive;
    int retries = 0;
    bool json = false;
};

std::string Flags(const TocTrack& t) {
    std::string flags = t.data ? "data" : "audio";
    if (t.preEmphasis) flags += ", pre-emphasis";
    if (t.copyPermitted) flags += ", copy permitted";
    return flags;
}

void PrintText(const DiscSummary& disc) {
    for (const auto& t : disc.tracks) {
        const std::string head = t.data ? "Data track " + std::to_string(t.trackNumber)
                                        : cdda::FormatTrackLine(t.runningNumber, t.sectorCount);
        std::printf("%-22s  track %2d  LBA %6u  %6u sectors  %s\n", head.c_str(), t.trackNumber, t.startLba,
                    t.sectorCount, Flags(t).c_str());
    }
    std::printf("lead-out LBA %u\n", disc.leadOutLba);
    std::printf("freedb disc ID: %s\n", disc.freedbId.c_str());
    std::printf("MusicBrainz disc ID: %s\n", disc.musicBrainzId.c_str());
}

// The only strings written are drive names, Track box lines and disc IDs; quotes and
// backslashes are escaped all the same.
std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

void PrintJson(const DiscSummary& disc, const std::string& drive) {
    std::printf("{\"drive\": %s, \"leadOutLba\": %u, \"freedbId\": %s, \"musicBrainzId\": %s, \"tracks\": [",
                Quoted(drive).c_str(), disc.leadOutLba, Quoted(disc.freedbId).c_str(),
                Quoted(disc.musicBrainzId).c_str());
    const char* separator = "\n";
    for (const auto& t : disc.tracks) {
        const std::string line = t.data ? "null" : Quoted(cdda::FormatTrackLine(t.runningNumber, t.sectorCount));
        std::printf("%s  {\"track\": %d, \"audioTrack\": %s, \"line\": %s, \"startLba\": %u, \"sectors\": %u, "
                    "\"data\": %s, \"preEmphasis\": %s, \"copyPermitted\": %s}",
                    separator, t.trackNumber, t.data ? "null" : std::to_string(t.runningNumber).c_str(), line.c_str(),
                    t.startLba, t.sectorCount, t.data ? "true" : "false", t.preEmphasis ? "true" : "false",
                    t.copyPermitted ? "true" : "false");
        separator = ",\n";
    }
    std::printf("\n]}\n");
}

const CommandRegistrar registrar("tracks", [](CLI::App& app, int& exitCode) {
    auto options = std::make_shared<TracksOptions>();
    auto* cmd = app.add_subcommand("tracks", "List the tracks of the disc in a drive, with its disc IDs");
    AddDriveOption(*cmd, options->drive);
    AddRetriesOption(*cmd, options->retries);
    cmd->add_flag("--json", options->json, "print one JSON object for machines");
    cmd->footer("Each audio track: the Track box line, its TOC number, start LBA, length in sectors and\n"
                "flags (pre-emphasis, copy permitted); data tracks are listed and marked \"data\".\n\n"
                "Examples:\n"
                "  korvane-cli tracks\n"
                "  korvane-cli tracks -d /dev/cdrom --json\n"
                "  korvane-cli --disc album.cue tracks\n\n" +
                EnvironmentHelp());
    cmd->callback([options, &exitCode] {
        CdSession session(options->retries);
        const cdda::CDDrive& drive = session.SelectAndReadToc(options->drive);
        const cdda::CDReader& reader = session.Reader();
        const DiscSummary disc = SummarizeDisc(reader.toc, reader.sessions);
        if (options->json) {
            PrintJson(disc, CdSession::Name(drive));
        } else {
            PrintText(disc);
        }
        if (cdda::ListAudioTracks(reader.toc, reader.sessions).empty())
            throw NothingToDo("the disc in " + CdSession::Name(drive) + " has no audio track");
        exitCode = kExitSuccess;
    });
});

}  // namespace
}  // namespace korvane::cli
