#include "cli/command.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <exception>
#include <iostream>
#include <stdlib.h>
#include <string>

namespace korvane::cli {
namespace {

std::vector<RegisteredCommand>& Registry() {
    static std::vector<RegisteredCommand> commands;
    return commands;
}

std::atomic<bool> interrupted{false};

extern "C" void OnInterrupt(int) { interrupted.store(true); }

// Adds `path` to KORVANE_DISC, which the drive layer reads when it starts: entries are
// separated by ':', so a ':' or '\\' inside the path is escaped with a backslash.
void AddDisc(const std::string& path) {
    static std::string list;
    if (!list.empty()) list.push_back(':');
    for (const char c : path) {
        if (c == ':' || c == '\\') list.push_back('\\');
        list.push_back(c);
    }
    ::setenv("KORVANE_DISC", list.c_str(), 1);
}

}  // namespace

CommandRegistrar::CommandRegistrar(std::string name, CommandSetup setup) {
    Registry().push_back({std::move(name), std::move(setup)});
}

std::vector<RegisteredCommand> RegisteredCommands() {
    auto commands = Registry();
    std::sort(commands.begin(), commands.end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });
    return commands;
}

bool InterruptRequested() noexcept { return interrupted.load(); }

}  // namespace korvane::cli

int main(int argc, char** argv) {
    using namespace korvane::cli;
    CLI::App app{"korvane-cli: read CD audio, slice it into regions, play and export them"};
    app.set_version_flag("--version", "korvane-cli " KORVANE_VERSION);
    app.require_subcommand(1);
    app.fallthrough();  // --disc may also follow the command's name
    app.add_option("--disc", "disc image for a virtual drive: a cue sheet or a folder holding one (repeat for "
                             "more drives; replaces KORVANE_DISC; paths may contain ':')")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->each(AddDisc);
    int exitCode = 0;
    for (auto& command : RegisteredCommands()) command.setup(app, exitCode);
    std::signal(SIGINT, OnInterrupt);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    } catch (const std::exception& e) {
        std::cerr << "korvane-cli: error: " << e.what() << '\n';
        return 1;
    }
    return exitCode;
}
