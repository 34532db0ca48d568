// korvane-cli drives: the CD drives, one line each: letter, address, vendor, product,
// revision.
#include "cli/cd_session.h"
#include "cli/command.h"

#include <cstdio>

namespace korvane::cli {
namespace {

const CommandRegistrar registrar("drives", [](CLI::App& app, int& exitCode) {
    auto* cmd = app.add_subcommand("drives", "List the CD drives (letter, adapter:target:lun, vendor, product)");
    cmd->footer("Examples:\n"
                "  korvane-cli drives\n"
                "  korvane-cli --disc album.cue drives      a virtual drive serving a cue sheet\n"
                "  KORVANE_REAL_DRIVES=0 korvane-cli drives\n\n" +
                EnvironmentHelp());
    cmd->callback([&exitCode] {
        CdSession session;
        if (session.DriveCount() == 0) {
            std::fprintf(stderr, "korvane-cli: no CD drive found\n");
            exitCode = 1;
            return;
        }
        for (int i = 0; i < session.DriveCount(); ++i) {
            const cdda::CDDrive& d = session.Reader().drives.At(i);
            std::printf("%-3s %d:%d:%d  %s %s %s\n", d.letter ? (std::string(1, d.letter) + ":").c_str() : "-",
                        d.adapter, d.target, d.lun, d.vendor.c_str(), d.product.c_str(), d.revision.c_str());
            if (!d.problem.empty()) std::printf("    unusable: %s\n", d.problem.c_str());
        }
        exitCode = 0;
    });
});

}  // namespace
}  // namespace korvane::cli
