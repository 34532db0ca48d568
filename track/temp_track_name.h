#pragma once
// Temporary track files: "~krvn<n>.tmp" in the machine's Windows\TEMP, as the track
// reader names them. The name is reserved by creating the file exclusively, so two
// documents never share a file and an existing file is never reused.
#include <filesystem>

namespace korvane::track {

// Creates an empty, new file "~krvn<n>.tmp" in `tempDir` (the lowest free n from 1)
// and returns its path. Throws platform::IoError when none can be created.
std::filesystem::path CreateTemporaryTrackFile(const std::filesystem::path& tempDir);

}  // namespace korvane::track
