#pragma once
// Opening an audio file as a track: its audio is converted to CD audio (44,100 Hz, 16-bit
// stereo; see CdAudioConverter) and written into a new track file (raw part and overview
// part exactly as the track reader writes them), which a document then owns like any
// track read from a CD. The user's file is only read: never modified, never deleted.
//
// Any file libsndfile decodes is accepted. A 16-bit 44,100 Hz stereo or mono source is
// copied bit-exactly. A refused file gives an error whose message names the problem and
// leaves no file behind.
//
// Thread contract: the calling thread (the UI thread in the application) blocks; memory
// is bounded by one transfer whatever the length of the file.
#include "platform/riff/file_io.h"
#include "track/korvane_doc.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace korvane::track {

enum class ImportError {
    kNone,
    kCannotRead,   // the file cannot be opened or read
    kMalformed,    // not an audio file, or a damaged or truncated one
    kUnsupported,  // an audio file whose encoding cannot be decoded
    kCannotWrite,  // the track file cannot be created or written
    kCancelled,    // the progress callback asked to stop
};

struct ImportOutcome {
    ImportError error = ImportError::kNone;
    std::string detail;            // what exactly went wrong, for logs and the command line
    std::uint64_t frames = 0;      // CD frames written (before the last sector's padding)
    std::uint64_t sectorCount = 0; // sectors of the track file (the last one padded with silence)
    std::string sourceFormat;      // e.g. "WAV (Microsoft), Signed 24 bit PCM, 48000 Hz, 2 channels"
    std::string channelRule;       // how the channels became stereo
    bool converted = false;        // false: a bit-exact copy
    bool streamed = false;         // a WAV without its size, read to the end of the file
    std::uint64_t clippedSamples = 0;
    bool Ok() const noexcept { return error == ImportError::kNone; }
    // Warnings worth telling the user about (streamed WAV, clipping); empty when none.
    std::vector<std::string> Warnings() const;
};

struct ImportIo {
    std::function<std::unique_ptr<platform::ByteSource>(const std::filesystem::path&)> openSource;
    std::function<std::unique_ptr<platform::ByteSink>(std::unique_ptr<platform::ByteSink>)> wrapSink;
    // Frames of the source done out of its total; returns false to cancel.
    std::function<bool(std::uint64_t framesDone, std::uint64_t frameCount)> progress;
};

// The string-table id of the message for a failed import (0 for none and cancel).
std::uint32_t ImportMessageId(ImportError error) noexcept;
// The message for a failed import of `file`, as the user sees it.
std::string ImportMessage(const ImportOutcome& outcome, const std::filesystem::path& file);

// True when `path` is named as an audio file (.wav, .flac, ...) or the decoder recognises
// it as one (reads its header only).
bool LooksLikeAudioFile(const std::filesystem::path& path);

// Writes `audioFile` as the track file `trackFile`. The new file is written under a
// temporary name in the same folder and renamed over `trackFile` only when complete.
ImportOutcome ImportAudioToTrackFile(const std::filesystem::path& audioFile, const std::filesystem::path& trackFile,
                                     const ImportIo& io = {});

// Where converted CD audio goes: `begin` learns the CD frame count before any audio,
// then `append` receives interleaved stereo values (in blocks of whole frames) until
// that count is reached. Either may throw; the conversion then fails as kCannotWrite.
struct CdAudioSink {
    std::function<void(std::uint64_t frameCount)> begin;
    std::function<void(std::span<const std::int16_t> stereo)> append;
};

// Decodes and converts `audioFile` into `sink`, a block at a time. The track file import
// and the command line's slice (which keeps only the overview) are built on it.
ImportOutcome ConvertAudioFile(const std::filesystem::path& audioFile, const CdAudioSink& sink,
                               const ImportIo& io = {});

struct ImportedDocument {
    std::unique_ptr<CKorvaneDoc> document;  // null on failure
    ImportOutcome outcome;
};

// Imports `audioFile` into a new temporary track file "~krvn<unique>.tmp" in `tempDir`
// (the machine's Windows\TEMP) and opens it as a document that owns that file, titled
// with the file's name. On failure shows the import message and returns no document;
// the temporary file is gone. A cancelled import shows nothing.
ImportedDocument OpenAudioAsDocument(const std::filesystem::path& audioFile, const std::filesystem::path& tempDir,
                                     CKorvaneDoc::Hooks hooks = {}, const ImportIo& io = {});

// File Open: an audio file is imported (the application owns the copy); any other file
// is opened as a track file the user chose, which the document never deletes.
std::unique_ptr<CKorvaneDoc> OpenDocumentFile(const std::filesystem::path& path, const std::filesystem::path& tempDir,
                                              CKorvaneDoc::Hooks hooks = {}, const ImportIo& io = {});

}  // namespace korvane::track
