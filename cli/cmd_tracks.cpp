// korvane-cli tracks [--drive D:]: the audio tracks of the disc, as the Track box lists them.
#include "cdda/toc.h"
#include "cli/cd_session.h"
#include "cli/command.h"

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
    cmd->add_option("--drive", options->drive, "Drive letter (D:) or adapter:target:lun; default the first drive");
    cmd->add_option("--retries", options->retries,
                    "Send a failed drive request again this many times before giving up (the prompt is asked only "
                    "on a terminal)")
        ->check(CLI::NonNegativeNumber);
    cmd->callback([options, &exitCode] {
        CdSession session(options->retries);
        const cdda::CDDrive& drive = session.SelectAndReadToc(options->drive);
        cdda::CDReader& reader = session.Reader();
        const auto lines = cdda::TrackLines(reader.toc, reader.sessions);
        if (lines.empty()) {
            std::fprintf(stderr, "korvane-cli: the disc in %s has no audio track\n", CdSession::Name(drive).c_str());
            exitCode = 1;
            return;
        }
        for (const auto& line : lines) std::printf("%s\n", line.c_str());
        exitCode = 0;
    });
});

}  // namespace
}  // namespace korvane::cli
