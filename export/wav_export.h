#pragma once
// Writing one region of a track file as a WAV file.
//
// The output never replaces an existing file before the new one is complete: the WAV is
// written to a temporary name in the target's folder, synced, and renamed over the
// target, and the folder is synced. Every failure (target read-only or not a file,
// create, read, write, seek, sync, close, rename, a region reaching past the audio
// part) leaves the target as it was and no temporary file behind. Temporary files that
// an interrupted export left (the process that wrote them is gone) are removed by the
// next export into the same folder.
//
// Many regions are written in two stages so that they are synced together, which costs
// about one disk flush instead of one per file: StageRegionWav writes a complete WAV
// under its temporary name and starts writing it out; CommitStagedWavs syncs them all,
// then renames each over its target and syncs the folders.
//
// Memory stays bounded: the audio moves in blocks of kExportBlockBytes; with
// normalisation the region is read twice, once for its peak and once to scale and
// write, which gives the same bytes as scaling the whole region at once.
//
// Thread contract: UI thread (blocking); no state is shared between calls.
#include "platform/riff/file_io.h"
#include "platform/riff/riff.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

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

// How a region is shaped on its way into the file; the default is the plain region.
struct RegionShaping {
    std::uint64_t fadeInFrames = 0;   // linear fades (export/sampler.h)
    std::uint64_t fadeOutFrames = 0;
    // Chunks written after "data" ("smpl", "cue ", "LIST"): id and contents.
    std::vector<std::pair<platform::FourCc, std::vector<std::byte>>> trailingChunks;
};

// A region written completely under its temporary name, not yet synced or renamed.
// Move-only; the temporary file is removed when a StagedWav that was not committed
// goes away.
class StagedWav {
public:
    StagedWav() = default;
    StagedWav(StagedWav&& other) noexcept;
    StagedWav& operator=(StagedWav&& other) noexcept;
    ~StagedWav();

    const std::filesystem::path& Target() const noexcept { return target_; }

private:
    friend ExportOutcome StageRegionWav(const std::filesystem::path&, const std::filesystem::path&, std::uint64_t,
                                        std::uint64_t, bool, const RegionShaping&, const ExportIo&, StagedWav&);
    friend ExportOutcome StageFileBytes(const std::filesystem::path&, std::span<const std::byte>, StagedWav&);
    friend std::vector<ExportOutcome> CommitStagedWavs(std::span<StagedWav>);
    void Discard() noexcept;

    std::filesystem::path target_;
    std::filesystem::path temporary_;  // empty when there is nothing to remove
    std::unique_ptr<platform::ByteSink> sink_;
};

// The first stage of WriteRegionWav: checks, writes the temporary file completely and
// starts writing it out. On failure `staged` is left empty and nothing stays on disk.
ExportOutcome StageRegionWav(const std::filesystem::path& trackFile, const std::filesystem::path& target,
                             std::uint64_t firstFrame, std::uint64_t frameCount, bool normalize, const ExportIo& io,
                             StagedWav& staged);
// The same with fades (after normalisation) and chunks after the audio.
ExportOutcome StageRegionWav(const std::filesystem::path& trackFile, const std::filesystem::path& target,
                             std::uint64_t firstFrame, std::uint64_t frameCount, bool normalize,
                             const RegionShaping& shaping, const ExportIo& io, StagedWav& staged);

// Stages a small file of other content (an instrument, a MIDI file) the same way, to be
// committed with the WAV files.
ExportOutcome StageFileBytes(const std::filesystem::path& target, std::span<const std::byte> bytes,
                             StagedWav& staged);

// The second stage for many files: syncs and closes every staged file, renames each
// over its target, then syncs each folder once. One outcome per staged file, in order;
// a file that fails is removed and its target left as it was. Afterwards every
// StagedWav is empty.
std::vector<ExportOutcome> CommitStagedWavs(std::span<StagedWav> staged);

}  // namespace korvane::wavexport
