// korvane-cli tracks [--drive D:]: the audio tracks of the disc, as the Track box lists them.
#include "cdda/toc.h"
#include "cli/cd_session.h"
#include "cli/command.h"
#include "cli/exit_codes.h"

#include <cstdio>
#include <stdexcept>

namespace korvane::cli {
namespace {

struct TracksOptions {
    std::string drive;
    int retries = 0;
};

const CommandRegistrar registrar("tracks", [](CLI::App& app, int& exitCode) {
    auto options = std::make_shared<TracksOptions>();
    auto* cmd = app.add_subcommand("tracks", "List the audio tracks of the disc in a drive");
    AddDriveOption(*cmd, options->drive);
    AddRetriesOption(*cmd, options->retries);
    cmd->callback([options, &exitCode] {
        CdSession session(options->retries);
        const cdda::CDDrive& drive = session.SelectAndReadToc(options->drive);
        cdda::CDReader& reader = session.Reader();
        const auto lines = cdda::TrackLines(reader.toc, reader.sessions);
        if (lines.empty()) throw NothingToDo("the disc in " + CdSession::Name(drive) + " has no audio track");
        for (const auto& line : lines) std::printf("%s\n", line.c_str());
        exitCode = 0;
    });
});

}  // namespace
}  // namespace korvane::cli
