#include "cli/command.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <exception>
#include <iostream>

namespace korvane::cli {
namespace {

std::vector<RegisteredCommand>& Registry() {
    static std::vector<RegisteredCommand> commands;
    return commands;
}

std::atomic<bool> interrupted{false};

extern "C" void OnInterrupt(int) { interrupted.store(true); }

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
