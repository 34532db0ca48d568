#pragma once
// What korvane-cli writes and how: the one overwrite rule of every command (an existing
// file is replaced only with --force), the output format chosen from the name or
// --format, and the last step of writing a file (a finished temporary file takes the
// output's name).
#include <filesystem>
#include <string>
#include <vector>

namespace korvane::cli {

// Throws std::runtime_error "<path> exists; use --force to replace it" when a file
// (or anything else) lies at `path` and `force` is false.
void RefuseToReplace(const std::filesystem::path& path, bool force);
// The same over every name, before anything is written; names the first one that exists.
void RefuseToReplaceAny(const std::vector<std::string>& paths, bool force);

// Gives the finished temporary file `temp` the name `output`, with the usual permissions
// of a new file of the user's. With `replace` an existing output is replaced in one
// step; without, an output that appeared meanwhile is never overwritten (the refusal
// names it). `temp` is removed on failure.
void PublishFile(const std::filesystem::path& temp, const std::filesystem::path& output, bool replace);

enum class OutputFormat { TrackFile, Wav, Raw };

// "-": standard output.
bool IsStandardOutput(const std::string& output) noexcept;

// The format --format names ("trk", "wav", "raw"), or when it is empty the one the
// output's extension names: ".wav" WAV, ".raw"/".pcm" raw audio, anything else (".trk",
// none) a track file; standard output takes WAV. Throws UsageError for an unknown
// --format, and for a track file on standard output (its overview follows the audio).
OutputFormat ChooseOutputFormat(const std::string& output, const std::string& formatOption);
const char* FormatName(OutputFormat format) noexcept;

}  // namespace korvane::cli
