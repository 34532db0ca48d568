#include "track/korvane_doc.h"

#include "export/wav_format.h"
#include "platform/ui/ui.h"
#include "resources/strings.h"

#include <utility>


namespace korvane::track {
namespace {

namespace fs = std::filesystem;

void ShowError(std::uint32_t id, const std::string& argument = {}) {
    std::string text(resources::LoadAppString(id));
    if (const auto at = text.find("%s"); at != std::string::npos) text.replace(at, 2, argument);
    platform::MessageBox(text, resources::kAppTitle, platform::kMbOk | platform::kMbIconError);
}

}  // namespace

CKorvaneDoc::CKorvaneDoc(Hooks hooks) : hooks_(std::move(hooks)) {}

CKorvaneDoc::~CKorvaneDoc() {
    if (open_) OnCloseDocument();
}

bool CKorvaneDoc::OnNewDocument() {
    origin_ = DocumentOrigin::kNew;
    pathName_.clear();
    open_ = true;
    return true;
}

bool CKorvaneDoc::OnOpenDocument(const fs::path& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return false;
    origin_ = DocumentOrigin::kUserFile;
    pathName_ = fs::absolute(path, ec);
    if (ec) pathName_ = path;
    open_ = true;
    return true;
}

void CKorvaneDoc::AdoptTemporaryTrackFile(const fs::path& path) {
    origin_ = DocumentOrigin::kOwnedTrackFile;
    pathName_ = path;
    open_ = true;
}

bool CKorvaneDoc::OnSaveDocument(const fs::path& target) {
    if (!CanSave()) return false;
    std::error_code ec;
    if (fs::exists(target, ec) && fs::equivalent(target, pathName_, ec)) {
        ShowError(resources::kIdsSaveOntoTrackFile);
        return false;
    }
    std::uint64_t fileBytes = 0;
    {
        fileBytes = fs::file_size(pathName_, ec);
        if (ec) {
            ShowError(resources::kIdsCouldNotWriteFile);
            return false;
        }
    }
    const std::uint64_t frames = wavexport::TrackAudioBytes(fileBytes) / wavexport::kBytesPerFrame;
    if (!ExportRegion(target, 0, frames, false).Ok()) return false;
    return companion_.empty() || SaveCompanionBeside(target);
}

// Copies the companion file to "<target without extension>.log" through a temporary
// name, so an earlier log there is replaced only by a complete one.
bool CKorvaneDoc::SaveCompanionBeside(const fs::path& target) const {
    fs::path log = target;
    log.replace_extension(".log");
    fs::path temp = log;
    temp += ".part";
    std::error_code ec;
    fs::copy_file(companion_, temp, fs::copy_options::overwrite_existing, ec);
    if (!ec) fs::rename(temp, log, ec);
    if (!ec) return true;
    std::error_code ignored;
    fs::remove(temp, ignored);
    ShowError(resources::kIdsCouldNotWriteFile);
    return false;
}

wavexport::ExportOutcome CKorvaneDoc::ExportRegion(const fs::path& fileName, std::uint64_t firstFrame,
                                                   std::uint64_t frameCount, bool normalize,
                                                   const wavexport::ExportIo& io) const {
    wavexport::ExportOutcome outcome;
    if (pathName_.empty())
        outcome = {wavexport::ExportError::kSourceUnreadable, "the document has no track file"};
    else
        outcome = wavexport::WriteRegionWav(pathName_, fileName, firstFrame, frameCount, normalize, io);
    if (!outcome.Ok() && outcome.error != wavexport::ExportError::kCancelled)
        ShowError(resources::kIdsCouldNotWriteFile);
    return outcome;
}

bool CKorvaneDoc::OnCloseDocument() {
    if (!open_) return true;
    // Playback must have ended before the views go and the file is deleted.
    if (hooks_.stopPlayback) hooks_.stopPlayback();
    const fs::path path = pathName_;
    const fs::path companion = std::exchange(companion_, {});
    const bool owned = OwnsTrackFile();
    open_ = false;
    if (hooks_.releaseViews) hooks_.releaseViews();
    if (!owned) return true;
    std::error_code ec;
    if (!companion.empty() && !fs::remove(companion, ec) && ec)
        ShowError(resources::kIdsCouldNotDeleteTrackFile, companion.string());
    fs::remove(path, ec);  // false without error when the file is already gone
    if (ec) {
        ShowError(resources::kIdsCouldNotDeleteTrackFile, path.string());
        return false;
    }
    return true;
}

}  // namespace korvane::track
