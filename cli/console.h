#pragma once
// Where korvane-cli's messages go, and how many of them: -q keeps only errors, -v adds
// the drive's answers, the commands used and timings. Listings a command exists to print
// (tracks, drives, regions) go to standard output whatever the level; messages about
// what was done go there too, unless standard output carries data (-o -), when every
// message goes to standard error.
//
// Thread contract: set from main before the command runs; read from the main thread.
#include <string>

namespace korvane::cli {

enum class Verbosity { Quiet, Normal, Verbose };

void SetVerbosity(Verbosity verbosity) noexcept;
Verbosity CurrentVerbosity() noexcept;
bool IsVerbose() noexcept;

// --progress / --no-progress. Unset, progress is drawn when standard error is a
// terminal and -q is not given.
void SetProgressWanted(bool wanted) noexcept;
bool ProgressWanted() noexcept;

// Standard output carries the command's data from now on: messages go to stderr.
void SetDataOnStdout() noexcept;
bool DataOnStdout() noexcept;

// A message about what was done ("wrote kick1.wav ..."); nothing with -q.
void Say(const std::string& line);
// A message on standard error about what goes on (playing, stopped); nothing with -q.
void Note(const std::string& line);
// A detail for -v, on standard error.
void Detail(const std::string& line);
// "korvane-cli: warning: <line>" on standard error; nothing with -q.
void Warn(const std::string& line);

}  // namespace korvane::cli
