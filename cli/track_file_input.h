#pragma once
// Reading a track file given on the command line (play, export --track-file): one
// check of its layout for every command.
#include <cstdint>
#include <filesystem>
#include <vector>

namespace korvane::cli {

// The overview part of the track file `path` as 16-bit samples. Throws
// std::runtime_error when the file cannot be read, is not a regular file, or its
// length is not a whole number of overview samples (a multiple of 18 bytes).
std::vector<std::int16_t> ReadTrackOverview(const std::filesystem::path& path);

}  // namespace korvane::cli
