// Cue sheets over audio files: per-track and single-file layouts, FILE names in another
// letter case, folders given for a cue sheet, and the files a disc image may not use.
#include "platform/aspi/disc_image.h"
#include "tests/support/test_disc.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sndfile.h>

namespace korvane::aspi {
namespace {

namespace fs = std::filesystem;
using testing::StaircaseValue;

// Sectors [from, from + count) of the staircase disc as 16-bit stereo audio in `format`.
void WriteSectors(const fs::path& path, std::uint32_t from, std::uint32_t count, int format = SF_FORMAT_WAV,
                  int rate = 44100) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = format | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<std::int16_t> samples;
    for (std::uint32_t lba = from; lba < from + count; ++lba)
        for (std::uint32_t k = 0; k < 1176; ++k) samples.push_back(StaircaseValue(lba, k));
    sf_writef_short(file, samples.data(), static_cast<sf_count_t>(samples.size() / 2));
    sf_close(file);
}

void WriteText(const fs::path& path, const std::string& text) { std::ofstream(path) << text; }

// Every sector of the image equals the staircase disc.
void ExpectStaircase(CueBinImage& image) {
    const std::uint32_t total = image.Toc().leadOutLba;
    std::vector<std::uint8_t> out(std::size_t{total} * 2352);
    image.ReadSectors(0, total, out);
    for (std::uint32_t lba = 0; lba < total; ++lba)
        for (std::uint32_t k = 0; k < 1176; k += 97) {
            const auto v = static_cast<std::uint16_t>(StaircaseValue(lba, k));
            ASSERT_EQ(out[lba * 2352 + 2 * k] | out[lba * 2352 + 2 * k + 1] << 8, v) << "sector " << lba;
        }
}

std::vector<std::uint32_t> Starts(const CueBinImage& image) {
    std::vector<std::uint32_t> starts;
    for (const auto& t : image.Toc().tracks) starts.push_back(t.startLba);
    return starts;
}

// Three tracks, each with a gap (INDEX 00) before its INDEX 01: on the disc INDEX 01
// lies at 0, 40 and 85, the lead-out at 125.
TEST(CueOverAudioFiles, PerTrackLayoutsGiveThePressedDiscsSectors) {
    testing::TempDir dir;
    // Gaps at the end of the previous track's file (INDEX 00 there).
    WriteSectors(dir.Path() / "01.wav", 0, 40);
    WriteSectors(dir.Path() / "02.wav", 40, 40);
    WriteSectors(dir.Path() / "03.flac", 80, 45, SF_FORMAT_FLAC);
    WriteText(dir.Path() / "end.cue",
              "FILE \"01.wav\" WAVE\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n TRACK 02 AUDIO\n  INDEX 00 00:00:30\n"
              "FILE \"02.wav\" WAVE\n  INDEX 01 00:00:00\n TRACK 03 AUDIO\n  INDEX 00 00:00:35\n"
              "FILE \"03.flac\" FLAC\n  INDEX 01 00:00:05\n");
    auto endGaps = CueBinImage::Open(dir.Path() / "end.cue");
    EXPECT_EQ(std::tuple(Starts(*endGaps), endGaps->Toc().leadOutLba), std::tuple(std::vector<std::uint32_t>{0, 40, 85}, 125u));
    ExpectStaircase(*endGaps);

    // Gaps at the start of each track's own file, names in another letter case.
    WriteSectors(dir.Path() / "a.wav", 0, 30);
    WriteSectors(dir.Path() / "b.wav", 30, 55);
    WriteSectors(dir.Path() / "c.aiff", 85, 40, SF_FORMAT_AIFF);
    WriteText(dir.Path() / "start.cue",
              "FILE \"A.WAV\" WAVE\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
              "FILE \"B.Wav\" WAVE\n TRACK 02 AUDIO\n  INDEX 00 00:00:00\n  INDEX 01 00:00:10\n"
              "FILE \"c.AIFF\" AIFF\n TRACK 03 AUDIO\n  INDEX 01 00:00:00\n");
    auto startGaps = CueBinImage::Open(dir.Path() / "start.cue");
    EXPECT_EQ(Starts(*startGaps), (std::vector<std::uint32_t>{0, 40, 85}));
    ExpectStaircase(*startGaps);
}

TEST(CueOverAudioFiles, OneFileImagesAndFolders) {
    testing::TempDir dir;
    const fs::path album = dir.Path() / "album";
    fs::create_directories(album);
    WriteSectors(album / "album.flac", 0, 101, SF_FORMAT_FLAC);
    WriteText(album / "Album.CUE", "FILE \"album.flac\" WAVE\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
                                   " TRACK 02 AUDIO\n  INDEX 01 00:00:60\n");
    auto image = CueBinImage::Open(album);  // the folder stands for its one cue sheet
    EXPECT_EQ(Starts(*image), (std::vector<std::uint32_t>{0, 60}));
    ExpectStaircase(*image);

    WriteText(album / "other.cue", "FILE \"album.flac\" WAVE\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n");
    EXPECT_THROW(CueBinImage::Open(album), cue::CueError);
}

TEST(CueOverAudioFiles, UnusableFilesAreRefusedWithTheirReason) {
    testing::TempDir dir;
    WriteSectors(dir.Path() / "dat.wav", 0, 10, SF_FORMAT_WAV, 48000);
    WriteSectors(dir.Path() / "x.wav", 0, 10);
    WriteSectors(dir.Path() / "X.WAV", 0, 10);
    WriteText(dir.Path() / "text.wav", "not audio");
    const struct {
        std::string file, message;
    } cases[] = {
        {"dat.wav", "must hold CD audio"},
        {"x.Wav", "2 files match"},
        {"text.wav", "not an audio file"},
        {"gone.wav", "cannot open"},
    };
    for (const auto& c : cases) {
        WriteText(dir.Path() / "d.cue", "FILE \"" + c.file + "\" WAVE\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n");
        EXPECT_THAT([&] { CueBinImage::Open(dir.Path() / "d.cue"); },
                    ::testing::ThrowsMessage<cue::CueError>(::testing::AllOf(::testing::HasSubstr("line 1"),
                                                                             ::testing::HasSubstr(c.message))))
            << c.file;
    }
}

}  // namespace
}  // namespace korvane::aspi
