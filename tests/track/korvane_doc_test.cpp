// The track document: what closing deletes and reports, what Save As and Export write,
// and what File Open makes of an audio file and of any other file.
#include "track/korvane_doc.h"

#include "track/audio_import.h"
#include "tests/support/audio_files.h"
#include "tests/support/message_boxes.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <vector>

namespace {

using namespace korvane::testing;
using korvane::track::CKorvaneDoc;
namespace fs = std::filesystem;

class KorvaneDocTest : public TempFolderTest {
protected:
    fs::path MakeTrack(const std::string& name) {
        const auto path = dir_ / name;
        WriteTrackFile(path, stereo_);
        return path;
    }
    // Hooks that record the order of the close steps and what existed at each.
    CKorvaneDoc::Hooks Recording(const fs::path& file) {
        return {[this, file] { events_.push_back(fs::exists(file) ? "stop(file)" : "stop(no file)"); },
                [this, file] { events_.push_back(fs::exists(file) ? "views(file)" : "views(no file)"); }};
    }
    const std::vector<std::int16_t> stereo_ = Staircase(588 * 2);
    std::vector<std::string> events_;
    ScopedMessageBoxes boxes_;
};

// Closing a document, or the application with several open, deletes each temporary track
// file once and never a file the user opened; one that cannot be deleted is reported,
// once; a new document writes nothing; a file that cannot be opened is reported.
TEST_F(KorvaneDocTest, ClosingDeletesEveryTemporaryFileOnceAndNeverAUsersFile) {
    std::vector<fs::path> tracks = {MakeTrack("~krvn1.tmp"), MakeTrack("~krvn2.tmp"), MakeTrack("~krvn3.tmp")};
    const auto chosen = MakeTrack("chosen.raw");
    const auto before = ReadAll(chosen);
    // A folder in place of a track file cannot be removed as a file while not empty.
    const auto stuck = dir_ / "~krvn9.tmp";
    fs::create_directory(stuck);
    WriteAll(stuck / "inside", {std::byte{1}});
    EXPECT_TRUE(korvane::track::OpenDocumentFile(chosen, dir_));  // File Open, then closed at once
    {
        std::vector<std::unique_ptr<CKorvaneDoc>> docs;
        for (const auto& t : tracks) {
            docs.push_back(std::make_unique<CKorvaneDoc>());
            docs.back()->AdoptTemporaryTrackFile(t);
        }
        docs.push_back(std::make_unique<CKorvaneDoc>());
        docs.back()->AdoptTemporaryTrackFile(stuck);
        EXPECT_FALSE(docs.back()->OnCloseDocument());  // reported now, not again with the application
        docs.push_back(std::make_unique<CKorvaneDoc>());
        ASSERT_TRUE(docs.back()->OnNewDocument());
        EXPECT_FALSE(docs.back()->CanSave());
        EXPECT_FALSE(docs.back()->OnSaveDocument(dir_ / "x.wav"));
        fs::remove(tracks[1]);  // already gone at close: no error for the user
    }
    EXPECT_EQ(FileNames(), (std::vector<std::string>{"chosen.raw", "~krvn9.tmp"}));
    EXPECT_EQ(ReadAll(chosen), before);
    EXPECT_FALSE(korvane::track::OpenDocumentFile(dir_ / "missing.raw", dir_));
    EXPECT_FALSE(CKorvaneDoc().OnOpenDocument(dir_));
    EXPECT_EQ(boxes_.Texts(), (std::vector<std::string>{"could not delete the temporary track file\n" + stuck.string(),
                                                        "could not read file\n" + (dir_ / "missing.raw").string()}));
}

// Save As writes the track (and the rip log beside it), Export writes a region; neither
// touches the track file. Closing stops playback, releases the views, then deletes the
// track file with its log, once.
TEST_F(KorvaneDocTest, SaveAndExportNeverTouchTheTrackFileThatClosingDeletesLast) {
    const auto track = MakeTrack("~krvn1.tmp");
    const auto before = ReadAll(track);
    const auto log = dir_ / "~krvn1.log";
    std::ofstream(log) << "No errors occurred\n";
    CKorvaneDoc doc(Recording(track));
    doc.AdoptTemporaryTrackFile(track);
    doc.AdoptCompanionFile(log);
    ASSERT_TRUE(doc.CanSave());
    ASSERT_TRUE(doc.OnSaveDocument(dir_ / "kept.wav"));
    EXPECT_EQ(ReadAll(dir_ / "kept.wav"), ExpectedWav(stereo_));
    EXPECT_EQ(ReadAll(dir_ / "kept.log"), ReadAll(log));
    EXPECT_TRUE(doc.ExportRegion(dir_ / "r.wav", 8, 40, false).Ok());
    EXPECT_EQ(ReadAll(dir_ / "r.wav"), ExpectedWav({stereo_.begin() + 16, stereo_.begin() + 96}));
    // Onto itself, also through a link: refused with a message; past the end: refused.
    fs::create_symlink(track, dir_ / "link.tmp");
    EXPECT_FALSE(doc.OnSaveDocument(track));
    EXPECT_FALSE(doc.OnSaveDocument(dir_ / "link.tmp"));
    EXPECT_FALSE(doc.ExportRegion(dir_ / "r2.wav", 1176, 4, false).Ok());
    EXPECT_EQ(ReadAll(track), before);
    EXPECT_TRUE(doc.OnCloseDocument());
    // Closing again (the destructor does) neither stops twice nor reports anything.
    EXPECT_TRUE(doc.OnCloseDocument());
    EXPECT_EQ(events_, (std::vector<std::string>{"stop(file)", "views(file)"}));
    EXPECT_EQ(FileNames(), (std::vector<std::string>{"kept.log", "kept.wav", "link.tmp", "r.wav"}));
    const std::string ontoItself = "A track cannot be saved over its own track file.\nPlease choose another name.";
    EXPECT_EQ(boxes_.Texts(), (std::vector<std::string>{ontoItself, ontoItself, "could not write file"}));
}

// File Open: a WAV opens as a document owning a temporary copy, which goes with it.
TEST_F(KorvaneDocTest, OpeningAWavMakesADocumentOwningACopy) {
    const auto temp = dir_ / "WINDOWS" / "TEMP";
    fs::create_directories(temp);
    const auto wav = dir_ / "kick.wav";
    WriteAll(wav, BuildWav({.samples = stereo_}));
    auto opened = korvane::track::OpenDocumentFile(wav, temp, {[&] { events_.push_back("stop"); }, {}});
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->GetPathName().parent_path(), temp);
    EXPECT_TRUE(opened->GetPathName().filename().string().starts_with("~krvn"));
    EXPECT_EQ(opened->GetPathName().extension(), ".tmp");
    EXPECT_EQ(opened->GetTitle(), "kick.wav");
    EXPECT_EQ(ReadAll(opened->GetPathName()), ExpectedTrackFile(stereo_));
    opened.reset();  // closing the window
    EXPECT_EQ(events_, std::vector<std::string>{"stop"});
    EXPECT_TRUE(fs::is_empty(temp));
    EXPECT_EQ(ReadAll(wav), BuildWav({.samples = stereo_}));
}

}  // namespace
