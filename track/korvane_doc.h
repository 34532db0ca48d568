#pragma once
// CKorvaneDoc: the document of one track. It stands for one track file (raw audio part
// followed by the overview part) and keeps no audio of its own; the track view reads
// the file when it is activated and the export reads the stretch a region covers.
//
// Ownership contract: a document owns its file only when the track reader or the WAV
// import made it (AdoptTemporaryTrackFile); closing deletes such a file. A document from
// New has no file; a document opened on a file the user chose (OnOpenDocument) never
// deletes, truncates or writes that file.
//
// Save never writes the track file: OnSaveDocument writes the track's audio as a WAV
// file to a name the user chose (Save behaves as Save As), and refuses the track file
// itself. A document from New has nothing to save (CanSave is false).
//
// Thread contract: UI thread only. Closing first calls the stopPlayback hook
// (SoundPlayer::StopPlayback), which waits until the stream thread has ended; only then
// are the views released and the file deleted, so playback never reads a deleted file.
// Free of any GUI toolkit; the GUI supplies the hooks.
#include "export/wav_export.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace korvane::track {

// How the document came to its path name.
enum class DocumentOrigin {
    kNew,             // File New: no file
    kUserFile,        // File Open on a file the user chose: never deleted or written
    kOwnedTrackFile,  // made by the track reader or the WAV import: deleted on close
};

class CKorvaneDoc {
public:
    struct Hooks {
        // Stops playback and waits for the stream thread (SoundPlayer::StopPlayback).
        std::function<void()> stopPlayback;
        // Destroys the document's frames and views (the framework's base close).
        std::function<void()> releaseViews;
    };

    explicit CKorvaneDoc(Hooks hooks = {});
    // Closes the document if it is still open (the same steps as OnCloseDocument).
    ~CKorvaneDoc();
    CKorvaneDoc(const CKorvaneDoc&) = delete;
    CKorvaneDoc& operator=(const CKorvaneDoc&) = delete;

    void SetHooks(Hooks hooks) { hooks_ = std::move(hooks); }

    // File New: a document without a file. Returns true (the base operation cannot fail).
    bool OnNewDocument();
    // File Open: a document on `path`, a file the user chose. False when it is not a
    // readable regular file. The file is never deleted or written by the document.
    bool OnOpenDocument(const std::filesystem::path& path);
    // The track reader or the import hands over the temporary track file it made;
    // from now on the document owns it and deletes it on close.
    void AdoptTemporaryTrackFile(const std::filesystem::path& path);

    // A file that belongs with an adopted track file (the rip log of a verified read):
    // deleted with the track file when the document closes, and copied beside the WAV
    // file that Save writes, as "<name>.log".
    void AdoptCompanionFile(const std::filesystem::path& path) { companion_ = path; }
    const std::filesystem::path& CompanionFile() const noexcept { return companion_; }

    bool OwnsTrackFile() const noexcept { return origin_ == DocumentOrigin::kOwnedTrackFile; }

    // The track file's path; empty for a document from New.
    const std::filesystem::path& GetPathName() const noexcept { return pathName_; }
    // The Track box line of the track that was read (set by the track reader).
    const std::string& GetTitle() const noexcept { return title_; }
    void SetTitle(std::string title) { title_ = std::move(title); }

    bool CanSave() const noexcept { return open_ && origin_ != DocumentOrigin::kNew; }
    // Writes the whole audio part as a WAV file `target`. Refuses the track file itself
    // (message 62011) and shows 61217 when writing fails; returns whether it was written.
    bool OnSaveDocument(const std::filesystem::path& target);

    // Writes frames firstFrame .. firstFrame + frameCount - 1 of the track file as the
    // WAV file `fileName`, normalised when `normalize` is set. Shows "could not write
    // file" (61217) on any failure. Returns the outcome for callers that log it.
    wavexport::ExportOutcome ExportRegion(const std::filesystem::path& fileName, std::uint64_t firstFrame,
                                          std::uint64_t frameCount, bool normalize,
                                          const wavexport::ExportIo& io = {}) const;

    // Closes: stops playback, releases the views, deletes the owned track file. A file
    // already gone counts as deleted; any other failure to delete shows one message
    // (62010) and returns false. A second call does nothing and returns true.
    bool OnCloseDocument();

private:
    bool SaveCompanionBeside(const std::filesystem::path& target) const;
    Hooks hooks_;
    DocumentOrigin origin_ = DocumentOrigin::kNew;
    std::filesystem::path pathName_;
    std::filesystem::path companion_;
    std::string title_;
    bool open_ = false;
};

}  // namespace korvane::track
