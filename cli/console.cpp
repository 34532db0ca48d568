#include "cli/console.h"

#include <unistd.h>

#include <cstdio>

namespace korvane::cli {
namespace {

Verbosity verbosity = Verbosity::Normal;
int progressChoice = -1;  // -1 unset, 0 off, 1 on
bool dataOnStdout = false;

void PutLine(std::FILE* stream, const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
}

}  // namespace

void SetVerbosity(Verbosity v) noexcept { verbosity = v; }
Verbosity CurrentVerbosity() noexcept { return verbosity; }
bool IsVerbose() noexcept { return verbosity == Verbosity::Verbose; }

void SetProgressWanted(bool wanted) noexcept { progressChoice = wanted ? 1 : 0; }
bool ProgressWanted() noexcept {
    if (progressChoice >= 0) return progressChoice == 1;
    return verbosity != Verbosity::Quiet && ::isatty(STDERR_FILENO) == 1;
}

void SetDataOnStdout() noexcept { dataOnStdout = true; }
bool DataOnStdout() noexcept { return dataOnStdout; }

void Say(const std::string& line) {
    if (verbosity == Verbosity::Quiet) return;
    std::fflush(stdout);
    PutLine(dataOnStdout ? stderr : stdout, line);
}

void Note(const std::string& line) {
    if (verbosity == Verbosity::Quiet) return;
    std::fflush(stdout);
    PutLine(stderr, line);
}

void Detail(const std::string& line) {
    if (verbosity != Verbosity::Verbose) return;
    std::fflush(stdout);
    PutLine(stderr, line);
}

void Warn(const std::string& line) {
    if (verbosity == Verbosity::Quiet) return;
    std::fflush(stdout);
    PutLine(stderr, "korvane-cli: warning: " + line);
}

}  // namespace korvane::cli
