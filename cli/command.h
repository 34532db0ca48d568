#pragma once
// Subcommands of korvane-cli register themselves here, one source file each
// (cmd_<name>.cpp), so adding a command never touches main.cpp.
#include <CLI/CLI.hpp>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace korvane::cli {

// Adds the subcommand to `app`. The subcommand's callback stores the process exit
// code in `exitCode` (cli/exit_codes.h); failures are reported by throwing: main prints
// a std::exception as "korvane-cli: error: <what>" with exit code 1, a UsageError or
// CLI11 parse error as "korvane-cli: <what>" with 2, and NothingToDo with 4.
using CommandSetup = std::function<void(CLI::App& app, int& exitCode)>;

struct CommandRegistrar {
    CommandRegistrar(std::string name, CommandSetup setup);
};

struct RegisteredCommand {
    std::string name;
    CommandSetup setup;
};

// All registered commands, sorted by name.
std::vector<RegisteredCommand> RegisteredCommands();

// The environment variables korvane-cli reads, for the help of each command.
std::string EnvironmentHelp();

// Set by main from SIGINT or SIGTERM: long-running commands poll it and stop cleanly;
// a command that stops for it exits with 130 (SIGINT) or 143 (SIGTERM).
bool InterruptRequested() noexcept;
// The same flag, for layers that poll an atomic (CDReader::cancel).
const std::atomic<bool>& InterruptFlag() noexcept;

}  // namespace korvane::cli
