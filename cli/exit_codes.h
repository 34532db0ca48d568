#pragma once
// The exit codes of korvane-cli and the exceptions that carry them to main.
//   0 success
//   1 failure (the command could not do what was asked)
//   2 usage error (bad options or arguments; message prefixed "korvane-cli:")
//   3 finished with problems (some regions or tracks not written, suspicious sectors)
//   4 nothing to do (no region reaches the threshold, no audio track)
// 130 interrupted (Ctrl+C); 143 stopped by SIGTERM (128 + the signal's number)
#include <stdexcept>

namespace korvane::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitProblems = 3;
inline constexpr int kExitNothingToDo = 4;
inline constexpr int kExitInterrupted = 130;

// The table above as it appears in --help and the manual page.
inline constexpr char kExitCodeHelp[] =
    "Exit status:\n"
    "  0    success\n"
    "  1    failure\n"
    "  2    usage error (bad options or arguments)\n"
    "  3    finished with problems (some regions or tracks not written, suspicious sectors)\n"
    "  4    nothing to do (no region reaches the threshold, no audio track)\n"
    "  130  interrupted (Ctrl+C); 143 when stopped by SIGTERM\n";

// A usage error found after the options were parsed (a missing source, two options that
// exclude each other, a malformed list): main prints "korvane-cli: <what>" and exits 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Nothing to do (no region reaches the threshold, a disc without audio tracks): main
// prints "korvane-cli: <what>" and exits 4.
class NothingToDo : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace korvane::cli
