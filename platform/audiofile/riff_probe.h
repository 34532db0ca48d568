#pragma once
// Where a RIFF/WAVE file's "data" chunk lies and the size its header declares. Walks
// the chunk headers only (never the audio), so it is cheap for any file length. Used
// to recognise WAVs written to a pipe (size 0 or 0xFFFFFFFF) and truncated WAVs, which
// the decoder would otherwise read silently short or as empty.
// Pure logic over a ByteSource; throws platform::IoError when the source fails.
#include "platform/riff/file_io.h"

#include <cstdint>
#include <optional>

namespace korvane::platform {

struct RiffDataChunk {
    std::uint64_t offset = 0;        // of the chunk's first audio byte
    std::uint32_t declaredBytes = 0; // as its header says
};

// The data chunk of a "RIFF....WAVE" file, or nothing for any other file or when no
// data chunk header lies inside the file.
std::optional<RiffDataChunk> FindRiffDataChunk(ByteSource& source);

}  // namespace korvane::platform
