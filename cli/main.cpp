#include "cli/command.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <signal.h>
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
std::atomic<int> interruptSignal{0};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

// Ctrl+C (SIGINT) and SIGTERM ask the running command to stop cleanly: a wait for the
// drive ends, temporary files are removed and nothing half-written is left. The handler
// is reset after the first signal, so a second one ends the process at once.
extern "C" void OnInterrupt(int signal) {
    interruptSignal.store(signal);
    interrupted.store(true);
}

void CatchInterrupts() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

// The shell's convention for a process ended by a signal: 128 + its number (130 for
// Ctrl+C, 143 for SIGTERM).
int InterruptedExitCode() { return 128 + interruptSignal.load(); }

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

const std::atomic<bool>& InterruptFlag() noexcept { return interrupted; }

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
    CatchInterrupts();
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    } catch (const std::exception& e) {
        if (InterruptRequested()) {
            std::cerr << "korvane-cli: interrupted (" << e.what() << ")\n";
            return InterruptedExitCode();
        }
        std::cerr << "korvane-cli: error: " << e.what() << '\n';
        return 1;
    }
    // A command that stopped because of the signal reports it as the signal's exit code.
    if (exitCode != 0 && InterruptRequested()) return InterruptedExitCode();
    return exitCode;
}
