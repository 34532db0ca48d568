#pragma once
// Opening a WAV file as a track: its audio is copied into a new track file (raw part
// and overview part exactly as the track reader writes them), which a document then
// owns like any track read from a CD. The user's WAV file is only read: never
// modified, never deleted.
//
// Accepted: 16-bit PCM, 44,100 Hz, stereo or mono (mono becomes two equal channels).
// Anything else, and any malformed, truncated or unreadable file, gives an error whose
// message says which, and leaves no file behind.
//
// Thread contract: UI thread (blocking); memory is bounded by one transfer.
#include "platform/riff/file_io.h"
#include "track/korvane_doc.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace korvane::track {

enum class ImportError {
    kNone,
    kCannotRead,      // the WAV file cannot be opened or read
    kMalformed,       // not RIFF/WAVE, broken chunks, missing "fmt " or "data", truncated data
    kNotPcm16,        // compressed, float, 8/24/32-bit, ...
    kWrongRate,       // not 44,100 Hz
    kWrongChannels,   // neither mono nor stereo
    kCannotWrite,     // the track file cannot be created or written
    kCancelled,       // the progress callback asked to stop
};

struct ImportOutcome {
    ImportError error = ImportError::kNone;
    std::string detail;            // what exactly went wrong, for logs and the command line
    std::uint64_t frames = 0;      // frames of the WAV file
    std::uint64_t sectorCount = 0; // sectors of the track file (the last one padded with silence)
    bool Ok() const noexcept { return error == ImportError::kNone; }
};

struct ImportIo {
    std::function<std::unique_ptr<platform::ByteSource>(const std::filesystem::path&)> openSource;
    std::function<std::unique_ptr<platform::ByteSink>(std::unique_ptr<platform::ByteSink>)> wrapSink;
    std::function<bool(std::uint64_t framesDone, std::uint64_t frameCount)> progress;
};

// The string-table id of the message for a failed import.
std::uint32_t ImportMessageId(ImportError error) noexcept;

// True when `path` starts like a WAV file ("RIFF" size "WAVE"). Reads 12 bytes.
bool LooksLikeWavFile(const std::filesystem::path& path);

// Writes `wavFile` as the track file `trackFile`. The new file is written under a
// temporary name in the same folder and renamed over `trackFile` only when complete.
ImportOutcome ImportWavToTrackFile(const std::filesystem::path& wavFile, const std::filesystem::path& trackFile,
                                   const ImportIo& io = {});

struct ImportedDocument {
    std::unique_ptr<CKorvaneDoc> document;  // null on failure
    ImportOutcome outcome;
};

// Imports `wavFile` into a new temporary track file "~krvn<unique>.tmp" in `tempDir` (the
// machine's Windows\TEMP) and opens it as a document that owns that file, titled with
// the WAV file's name. On failure shows the import message and returns no document;
// the temporary file is gone.
ImportedDocument OpenWavAsDocument(const std::filesystem::path& wavFile, const std::filesystem::path& tempDir,
                                   CKorvaneDoc::Hooks hooks = {}, const ImportIo& io = {});

// File Open: a WAV file is imported (the application owns the copy); any other file
// is opened as a track file the user chose, which the document never deletes.
std::unique_ptr<CKorvaneDoc> OpenDocumentFile(const std::filesystem::path& path, const std::filesystem::path& tempDir,
                                              CKorvaneDoc::Hooks hooks = {});

}  // namespace korvane::track
