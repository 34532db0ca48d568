#pragma once
// Writing one region of a track file as a WAV file.
//
// The output never replaces an existing file before the new one is complete: the WAV is
// written to a temporary name in the target's folder, synced, and renamed over the
// target. Every failure (target read-only or not a file, create, read, write, seek,
// sync, close, rename, a region reaching past the audio part) leaves the target as it
// was and no temporary file behind.
//
// Memory stays bounded: the audio moves in blocks of kExportBlockBytes; with
// normalisation the region is read twice, once for its peak and once to scale and
// write, which gives the same bytes as scaling the whole region at once.
//
// Thread contract: UI thread (blocking); no state is shared between calls.
#include "platform/riff/file_io.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace korvane::wavexport {

inline constexpr std::size_t kExportBlockBytes = 1 << 20;

enum class ExportError {
    kNone,
    kTargetNotWritable,  // existing target is read-only, a folder, or the track file itself
    kSourceUnreadable,   // the track file cannot be opened or read
    kRegionPastEnd,      // the region reaches past the audio part of the track file
    kRegionTooLarge,     // more frames than a WAV file's 32-bit sizes can hold
    kWriteFailed,        // create, write, seek, sync, close or rename failed
    kCancelled,          // the progress callback asked to stop
};

struct ExportOutcome {
    ExportError error = ExportError::kNone;
    std::string detail;  // for logs and the command line; empty on success
    bool Ok() const noexcept { return error == ExportError::kNone; }
};

// Seams for tests and tools. Defaults: FileSource, no wrapping, no progress.
struct ExportIo {
    // Opens the track file.
    std::function<std::unique_ptr<platform::ByteSource>(const std::filesystem::path&)> openSource;
    // Wraps the sink of the temporary output file (a test makes it fail like a full disk).
    std::function<std::unique_ptr<platform::ByteSink>(std::unique_ptr<platform::ByteSink>)> wrapSink;
    // Called after each block with the frames written so far; returning false cancels.
    std::function<bool(std::uint64_t framesDone, std::uint64_t frameCount)> progress;
};

// The audio part of a track file of `fileBytes` bytes: the first L - L/9 bytes.
constexpr std::uint64_t TrackAudioBytes(std::uint64_t fileBytes) { return fileBytes - fileBytes / 9; }

// Writes frames firstFrame .. firstFrame + frameCount - 1 of the audio part of
// `trackFile` as the WAV file `target`, normalised when `normalize` is set. Shows no
// message; the outcome says what failed.
ExportOutcome WriteRegionWav(const std::filesystem::path& trackFile, const std::filesystem::path& target,
                             std::uint64_t firstFrame, std::uint64_t frameCount, bool normalize,
                             const ExportIo& io = {});

// The temporary name WriteRegionWav writes before renaming: a hidden file beside
// `target` whose name starts with "." + the target's file name.
bool IsExportTemporaryFor(const std::filesystem::path& candidate, const std::filesystem::path& target);

}  // namespace korvane::wavexport
