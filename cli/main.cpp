#include "cli/command.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "platform/version/version_record.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <signal.h>
#include <cstdio>
#include <exception>
#include <iostream>
#include <stdlib.h>
#include <string>

// The version resource of korvane-cli (the project's version, build 0), printed by --version.
KORVANE_VERSION_RECORD(KORVANE_VERSION_MAJOR, KORVANE_VERSION_MINOR, KORVANE_VERSION_PATCH, 0,
                       "Korvane command-line tool");

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

// "korvane-cli 1.0.0" and the version record's fields, from the record above.
std::string VersionText() {
    const auto& fixed = korvane_version_record.fixed;
    const unsigned a = fixed.dwFileVersionMS >> 16, b = fixed.dwFileVersionMS & 0xFFFF;
    const unsigned c = fixed.dwFileVersionLS >> 16, d = fixed.dwFileVersionLS & 0xFFFF;
    char text[160];
    std::snprintf(text, sizeof text, "korvane-cli %u.%u.%u\nfile version %u.%u.%u.%u, \"%s\"", a, b, c, a, b, c, d,
                  korvane_version_record.strings + sizeof "FileDescription");
    return text;
}

constexpr char kEnvironmentHelp[] =
    "Environment:\n"
    "  KORVANE_ROOT   the machine root holding the settings (registry.db) and Windows\\TEMP\n"
    "                 (default $XDG_DATA_HOME/korvane or ~/.local/share/korvane)\n"
    "  KORVANE_DISC   disc images served by virtual drives, separated by ':' (\"demo\": the\n"
    "                 built-in demo disc); --disc replaces it\n"
    "  KORVANE_REAL_DRIVES=0  leave the machine's real CD drives out\n"
    "  KORVANE_AUDIO=null     play into the silent virtual sound device\n";

// --help-all (and the manual page made from it) shows each command's examples, which
// CLI11 leaves out of the expanded listing; the environment block they end with is
// printed once, at the end.
class HelpFormatter : public CLI::Formatter {
public:
    std::string make_expanded(const CLI::App* sub) const override {
        std::string text = CLI::Formatter::make_expanded(sub);
        const std::string footer = sub->get_footer();
        const std::string examples = footer.substr(0, footer.find("Environment:"));
        if (examples.empty()) return text;
        std::string indented = "  ";
        for (const char c : examples.substr(0, examples.find_last_not_of('\n') + 1)) {
            indented += c;
            if (c == '\n') indented += "  ";
        }
        return text + indented + "\n\n";
    }
};

int Report(const char* prefix, const std::exception& e, int code) {
    std::fflush(stdout);
    std::cerr << "korvane-cli: " << prefix << e.what() << '\n';
    return code;
}

void AddGlobalOptions(CLI::App& app) {
    app.set_version_flag("--version", VersionText, "Print the version record and exit");
    app.set_help_all_flag("--help-all", "Print the help of every command and exit");
    auto* quiet = app.add_flag_callback("-q,--quiet", [] { SetVerbosity(Verbosity::Quiet); },
                                        "Print errors only (and the listings a command exists for)");
    auto* verbose = app.add_flag_callback("-v,--verbose", [] { SetVerbosity(Verbosity::Verbose); },
                                          "Also print the drive's answers, the commands used and timings");
    quiet->excludes(verbose);
    auto* progress = app.add_flag_callback("--progress", [] { SetProgressWanted(true); },
                                           "Draw progress on standard error (default: when it is a terminal)");
    auto* noProgress = app.add_flag_callback("--no-progress", [] { SetProgressWanted(false); }, "Draw no progress");
    progress->excludes(noProgress);
    app.add_option("--disc", "disc image for a virtual drive: a cue sheet or a folder holding one (repeat for "
                             "more drives; replaces KORVANE_DISC; paths may contain ':')")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->each(AddDisc);
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

std::string EnvironmentHelp() { return kEnvironmentHelp; }

}  // namespace korvane::cli

int main(int argc, char** argv) {
    using namespace korvane::cli;
    CLI::App app{"korvane-cli: read CD audio, slice it into regions, play and export them"};
    app.formatter(std::make_shared<HelpFormatter>());
    app.require_subcommand(1);
    app.fallthrough();  // the global options may also follow the command's name
    AddGlobalOptions(app);
    app.footer(std::string("\n") + kExitCodeHelp + "\n" + kEnvironmentHelp);
    int exitCode = 0;
    for (auto& command : RegisteredCommands()) command.setup(app, exitCode);
    CatchInterrupts();
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
        std::fflush(stdout);
        std::cerr << "korvane-cli: " << e.what() << "\nTry 'korvane-cli --help' for more information.\n";
        return kExitUsage;
    } catch (const UsageError& e) {
        return Report("", e, kExitUsage);
    } catch (const NothingToDo& e) {
        return Report("", e, kExitNothingToDo);
    } catch (const std::exception& e) {
        if (InterruptRequested()) return Report("interrupted: ", e, InterruptedExitCode());
        return Report("error: ", e, kExitFailure);
    }
    // A command that stopped because of the signal reports it as the signal's exit code.
    if (exitCode != 0 && InterruptRequested()) return InterruptedExitCode();
    return exitCode;
}
