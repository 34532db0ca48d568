// End to end: a generated cue/bin served by the manager module, read through korvane-cli
// (module loading, discovery, registry letters, TOC, track reader), compared byte for byte
// with the image and with an independently computed overview.
#include "tests/support/test_disc.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;
using korvane::testing::TempDir;

struct CliRun {
    int exitCode = -1;
    std::string out;
};

// Runs korvane-cli with `args` and the test's environment; captures stdout.
CliRun Cli(const std::string& env, const std::string& args) {
    const std::string command = env + " " + std::string(KORVANE_BIN_DIR) + "/korvane-cli " + args + " 2>&1";
    CliRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    std::array<char, 4096> buffer;
    while (std::fgets(buffer.data(), buffer.size(), pipe)) run.out += buffer.data();
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

using korvane::testing::IndependentOverview;
using korvane::testing::ReadFileBytes;

class CliRoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        // A data track between audio tracks, and one at the end, as on a CD-Extra.
        cue = korvane::testing::WriteCueBin(dir.Path(), "album",
                                            {{30}, {75}, {20, true}, {49}, {1}, {24}, {10, true}}, &image);
        env = "KORVANE_ROOT='" + (dir.Path() / "root").string() + "' KORVANE_REAL_DRIVES=0 KORVANE_DISC='" +
              cue.string() + "'";
    }
    TempDir dir;
    fs::path cue;
    std::string env;
    std::vector<std::uint8_t> image;
};

TEST_F(CliRoundTrip, DrivesAndTracksAreListedFromTheImage) {
    const CliRun drives = Cli(env, "drives");
    ASSERT_EQ(drives.exitCode, 0) << drives.out;
    EXPECT_EQ(drives.out,
              "D:  0:0:0  KORVANE  Virtual CD-ROM   1.0 \n"
              "E:  0:1:0  KORVANE  Demo Disc        1.0 \n");
    const CliRun tracks = Cli(env, "tracks --drive d:");
    ASSERT_EQ(tracks.exitCode, 0) << tracks.out;
    // The Track box lines with TOC number, start, length and flags; data tracks marked;
    // the freedb ID over all 7 tracks: digit sums of 2,2,3,3,4,4,4 s = 0x16, 2 s long.
    EXPECT_EQ(tracks.out.substr(0, tracks.out.find("MusicBrainz disc ID: ")),
              "Track #1 - 0:00:00.40   track  1  LBA      0      30 sectors  audio\n"
              "Track #2 - 0:00:01.00   track  2  LBA     30      75 sectors  audio\n"
              "Data track 3            track  3  LBA    105      20 sectors  data\n"
              "Track #3 - 0:00:00.65   track  4  LBA    125      49 sectors  audio\n"
              "Track #4 - 0:00:00.01   track  5  LBA    174       1 sectors  audio\n"
              "Track #5 - 0:00:00.32   track  6  LBA    175      24 sectors  audio\n"
              "Data track 7            track  7  LBA    199      10 sectors  data\n"
              "lead-out LBA 209\nfreedb disc ID: 16000207\n");
    EXPECT_EQ(Cli(env, "tracks --drive Q:").exitCode, 1);
}

TEST_F(CliRoundTrip, EveryTrackReadsBackByteForByte) {
    const std::uint32_t starts[] = {0, 30, 125, 174, 175};
    const std::uint32_t lengths[] = {30, 75, 49, 1, 24};
    for (int t = 0; t < 5; ++t) {
        SCOPED_TRACE("track " + std::to_string(t + 1));
        fs::path out = dir.Path() / "t";
        out += std::to_string(t + 1);
        out += ".trk";
        const CliRun run = Cli(env, "read --track " + std::to_string(t + 1) + " -o '" + out.string() + "'");
        ASSERT_EQ(run.exitCode, 0) << run.out;
        const auto bytes = ReadFileBytes(out);
        const std::size_t audioBytes = std::size_t{lengths[t]} * 2352;
        ASSERT_EQ(bytes.size(), std::size_t{lengths[t]} * 2646);
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + audioBytes, image.begin() + starts[t] * 2352));
        EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + audioBytes, bytes.end()),
                  IndependentOverview(std::span(image).subspan(starts[t] * 2352, audioBytes)));
    }
    // WAV: the header, then exactly the audio.
    const fs::path wav = dir.Path() / "t2.wav";
    ASSERT_EQ(Cli(env, "read --track 2 --wav -o '" + wav.string() + "'").exitCode, 0);
    const auto bytes = ReadFileBytes(wav);
    ASSERT_EQ(bytes.size(), 46u + 75u * 2352u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(bytes[16], 18) << "18-byte format chunk";
    EXPECT_TRUE(std::equal(bytes.begin() + 46, bytes.end(), image.begin() + 30 * 2352));
    // Nothing is left behind but the outputs.
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        EXPECT_EQ(entry.path().filename().string().find("~krvn"), std::string::npos) << entry.path();
}

TEST_F(CliRoundTrip, ExistingOutputIsKeptAndBadRequestsFail) {
    const fs::path out = dir.Path() / "keep.trk";
    std::ofstream(out) << "precious";
    const CliRun run = Cli(env, "read --track 1 -o '" + out.string() + "'");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("--force"), std::string::npos) << run.out;
    EXPECT_EQ(ReadFileBytes(out).size(), 8u);
    EXPECT_EQ(Cli(env, "read --track 1 --force -o '" + out.string() + "'").exitCode, 0);
    EXPECT_EQ(ReadFileBytes(out).size(), 30u * 2646u);
    const CliRun past = Cli(env, "read --track 6 -o '" + (dir.Path() / "x").string() + "'");
    EXPECT_EQ(past.exitCode, 1);
    EXPECT_NE(past.out.find("has 5 audio tracks"), std::string::npos) << past.out;
}

// The same disc as WAV files, one per track, in a folder whose name holds a ':', given
// with --disc: every track reads back byte for byte.
TEST_F(CliRoundTrip, PerTrackWavImagesReadBackThroughTheWholeStack) {
    const fs::path folder = dir.Path() / "rip: 2024";
    fs::create_directories(folder);
    const std::uint32_t starts[] = {0, 30, 105, 125, 174, 175, 199, 209};
    std::string sheet;
    for (int t = 0; t < 7; ++t) {
        const std::string name = "track" + std::to_string(t + 1) + ".wav";
        const std::uint32_t bytes = (starts[t + 1] - starts[t]) * 2352;
        std::ofstream out(folder / name, std::ios::binary);
        const std::uint32_t header[] = {0x46464952, 36 + bytes, 0x45564157, 0x20746d66, 16, 0x00020001,
                                        44100, 44100 * 4, 0x00100004, 0x61746164, bytes};
        out.write(reinterpret_cast<const char*>(header), sizeof header);
        out.write(reinterpret_cast<const char*>(image.data() + starts[t] * 2352), bytes);
        sheet += "FILE \"" + name + "\" WAVE\n TRACK 0" + std::to_string(t + 1) + " AUDIO\n  INDEX 01 00:00:00\n";
    }
    std::ofstream(folder / "rip.cue") << sheet;
    const std::string disc = "--disc '" + folder.string() + "' ";
    const std::string plain = "KORVANE_ROOT='" + (dir.Path() / "root").string() + "' KORVANE_REAL_DRIVES=0";
    for (int t : {2, 7}) {
        const fs::path out = dir.Path() / ("w" + std::to_string(t) + ".trk");
        const CliRun run = Cli(plain, disc + "read --track " + std::to_string(t) + " -o '" + out.string() + "'");
        ASSERT_EQ(run.exitCode, 0) << run.out;
        const auto bytes = ReadFileBytes(out);
        const std::size_t audioBytes = std::size_t{starts[t] - starts[t - 1]} * 2352;
        ASSERT_EQ(bytes.size(), audioBytes / 2352 * 2646);
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + audioBytes, image.begin() + starts[t - 1] * 2352));
    }
}

TEST_F(CliRoundTrip, ABrokenCueSheetIsReportedAndItsDriveIsEmpty) {
    std::ofstream(dir.Path() / "bad.cue") << "FILE \"gone.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n";
    const std::string badEnv = "KORVANE_ROOT='" + (dir.Path() / "root").string() +
                               "' KORVANE_REAL_DRIVES=0 KORVANE_DISC='" + (dir.Path() / "bad.cue").string() + "'";
    const CliRun drives = Cli(badEnv, "drives");
    EXPECT_EQ(drives.exitCode, 0);
    std::string unusable = "\n    unusable: ";
    unusable += (dir.Path() / "bad.cue").string();
    unusable += ": line 1: cannot open";
    EXPECT_NE(drives.out.find(unusable), std::string::npos) << drives.out;
    // Even on a terminal (script answers any prompt with Retry) the read fails at once.
    const CliRun tracks = Cli("yes r | " + badEnv, "tracks");
    EXPECT_EQ(tracks.exitCode, 1);
    EXPECT_NE(tracks.out.find("cannot read the table of contents in D: the disc image cannot be used: "),
              std::string::npos)
        << tracks.out;
    EXPECT_EQ(tracks.out.find("not responding"), std::string::npos) << tracks.out;
}

TEST_F(CliRoundTrip, RejectedReadCdFallsBackAndAFailingDriveLeavesNothing) {
    const fs::path out = dir.Path() / "fallback.trk";
    const CliRun fallback = Cli(env + " KORVANE_ASPI_FAULTS=reject-readcd", "read --track 2 -o '" + out.string() + "'");
    ASSERT_EQ(fallback.exitCode, 0) << fallback.out;
    EXPECT_EQ(fallback.out.find("not responding"), std::string::npos) << "the probe is quiet";
    const auto bytes = ReadFileBytes(out);
    ASSERT_EQ(bytes.size(), 75u * 2646u);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 75 * 2352, image.begin() + 30 * 2352));

    const fs::path failed = dir.Path() / "failed.trk";
    const CliRun broken =
        Cli(env + " KORVANE_ASPI_FAULTS=reject-readcd,fail:D8:1000 </dev/null", "read --track 2 -o '" + failed.string() + "'");
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_NE(broken.out.find("Device not responding. Try again?"), std::string::npos) << broken.out;
    EXPECT_NE(broken.out.find("the drive reported a hardware error (sense 04/44/00)"), std::string::npos) << broken.out;
    EXPECT_FALSE(fs::exists(failed));
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        EXPECT_EQ(entry.path().filename().string().find("~krvn"), std::string::npos) << entry.path();
    const CliRun typo = Cli(env + " KORVANE_ASPI_FAULTS=explode", "tracks");
    EXPECT_NE(typo.out.find("cannot understand \"explode\""), std::string::npos) << typo.out;
}

TEST_F(CliRoundTrip, PassingFailuresAndRetriesStillGiveTheCleanBytes) {
    const auto clean = dir.Path() / "clean.trk";
    ASSERT_EQ(Cli(env, "read --track 1 -o '" + clean.string() + "'").exitCode, 0);
    struct Case {
        std::string faults, options;
        int exitCode;
        const char* says;
    };
    const Case cases[] = {
        {"fail:BE:1,fail:D8:1000", "", 0, ""},
        {"linux,fail:BE:1,fail:D8:1000", "", 0, ""},
        {"linux,spinup:3,attention", "", 0, ""},
        {"fail:BE:1:02/04/01", "", 0, ""},
        {"reject-readcd,fail:D8:1", "", 1, "the drive reported a hardware error (sense 04/44/00)"},
        {"reject-readcd,fail:D8:1", "--retries 1", 0, ""},
        {"linux,medium:10", "--retries 2", 1, "medium error at 00:00.13 (sector 10)"},
        {"linux,short:BE:1000", "", 1, "the drive returned fewer bytes than asked"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.faults + " " + c.options);
        const auto out = dir.Path() / "t.trk";
        std::filesystem::remove(out);
        const CliRun run = Cli(env + " KORVANE_ASPI_FAULTS=" + c.faults + " </dev/null",
                               "read --track 1 " + c.options + " -o '" + out.string() + "'");
        EXPECT_EQ(run.exitCode, c.exitCode) << run.out;
        EXPECT_NE(run.out.find(c.says), std::string::npos) << run.out;
        if (c.exitCode == 0) {
            EXPECT_EQ(ReadFileBytes(out), ReadFileBytes(clean));
        }
    }
}

TEST(CliEnhancedCd, TheLastAudioTrackHasTheLengthOfItsAudio) {
    TempDir dir;
    std::vector<std::uint8_t> image;
    const auto cue = korvane::testing::WriteCueBin(dir.Path(), "extra", {{30, false, 1}, {49}, {10, true, 2}}, &image);
    const std::string env = "KORVANE_ROOT='" + (dir.Path() / "root").string() +
                            "' KORVANE_REAL_DRIVES=0 KORVANE_DISC='" + cue.string() + "'";
    const CliRun tracks = Cli(env, "tracks");
    EXPECT_EQ(tracks.out.rfind("Track #1 - 0:00:00.40 ", 0), 0u) << tracks.out;
    EXPECT_NE(tracks.out.find("\nTrack #2 - 0:00:00.65 "), std::string::npos) << "not 0:02:32.65: " << tracks.out;
    const auto out = dir.Path() / "t2.trk";
    ASSERT_EQ(Cli(env, "read --track 2 -o '" + out.string() + "'").exitCode, 0);
    const auto bytes = ReadFileBytes(out);
    ASSERT_EQ(bytes.size(), 49u * 2646u);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 49 * 2352, image.begin() + 30 * 2352));
}

TEST(CliDrives, SixteenIdenticalDiscsGetSixteenLetters) {
    TempDir dir;
    const auto cue = korvane::testing::WriteCueBin(dir.Path(), "same", {{5}});
    std::string list;
    for (int i = 0; i < 16; ++i) {
        if (i > 0) list += ':';
        list += cue.string();
    }
    const CliRun drives = Cli("KORVANE_ROOT='" + (dir.Path() / "root").string() + "' KORVANE_REAL_DRIVES=0 KORVANE_DISC='" +
                                  list + "'",
                              "drives");
    ASSERT_EQ(drives.exitCode, 0) << drives.out;
    std::set<char> letters;
    std::istringstream lines(drives.out);
    for (std::string line; std::getline(lines, line);)
        if (line.find("Virtual CD-ROM") != std::string::npos) letters.insert(line[0]);
    EXPECT_EQ(letters.size(), 16u) << drives.out;
    EXPECT_EQ(letters.count('-'), 0u) << drives.out;
}

TEST(CliDemoDisc, DemoDiscIsThereWithoutAnyDrive) {
    TempDir dir;
    const std::string env = "KORVANE_ROOT='" + (dir.Path() / "root").string() + "' KORVANE_REAL_DRIVES=0 KORVANE_DISC=demo";
    const CliRun tracks = Cli(env, "tracks");
    ASSERT_EQ(tracks.exitCode, 0) << tracks.out;
    EXPECT_EQ(tracks.out.rfind("Track #1 - 0:00:34.00 ", 0), 0u) << tracks.out;
}

}  // namespace
