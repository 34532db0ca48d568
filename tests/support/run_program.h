#pragma once
// Runs one of the built programs with arguments, capturing its exit code, standard output
// and standard error; for end-to-end tests of the command-line tools.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace korvane::testing {

struct ProgramRun {
    int exitCode = -1;  // -1 when the program did not end normally
    std::string out;
    std::string err;
};

// The text of a file ("" when it cannot be read).
inline std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A word quoted for the shell.
inline std::string ShellQuoted(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs `program` (a name in the build's bin folder, or a path) with `args` and extra
// environment settings ("NAME=value"); the captured streams pass through `scratch`.
inline ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                             const std::filesystem::path& scratch, const std::vector<std::string>& env = {}) {
    const std::filesystem::path path = program.find('/') == std::string::npos
                                           ? std::filesystem::path(KORVANE_BIN_DIR) / program
                                           : std::filesystem::path(program);
    const auto out = scratch / ("run-" + std::to_string(::getpid()) + ".out");
    const auto err = scratch / ("run-" + std::to_string(::getpid()) + ".err");
    std::string command;
    for (const auto& e : env) {
        const std::size_t equals = e.find('=');
        command += e.substr(0, equals + 1) + ShellQuoted(e.substr(equals + 1)) + ' ';
    }
    command += ShellQuoted(path.string());
    for (const auto& a : args) command += ' ' + ShellQuoted(a);
    command += " >" + ShellQuoted(out.string()) + " 2>" + ShellQuoted(err.string());
    const int status = std::system(command.c_str());
    ProgramRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadText(out);
    run.err = ReadText(err);
    std::error_code ec;
    std::filesystem::remove(out, ec);
    std::filesystem::remove(err, ec);
    return run;
}

}  // namespace korvane::testing
