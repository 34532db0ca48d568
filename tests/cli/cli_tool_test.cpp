// korvane-cli end to end over generated disc images: each test drives the real program.
#include "platform/registry/registry.h"
#include "tests/support/run_program.h"
#include "tests/support/test_disc.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

namespace fs = std::filesystem;
using korvane::testing::ProgramRun;
using korvane::testing::ReadText;

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        cue = korvane::testing::WriteCueBin(dir.Path(), "album", {{30}, {75}, {20, true}, {49}}, &image);
        SetDiscs(cue.string());
    }
    void SetDiscs(const std::string& discs) {
        env = {"KORVANE_ROOT=" + (dir.Path() / "root").string(), "KORVANE_REAL_DRIVES=0", "KORVANE_DISC=" + discs};
    }
    // Runs korvane-cli in the test's folder.
    ProgramRun Run(const std::string& args) {
        return korvane::testing::RunProgram(
            "/bin/sh", {"-c", "cd " + korvane::testing::ShellQuoted(dir.Path().string()) + " && exec " KORVANE_BIN_DIR "/korvane-cli " + args},
            dir.Path(), env);
    }
    // The raw audio of disc sectors [first, first + count).
    std::string Audio(std::size_t first, std::size_t count) const {
        return std::string(image.begin() + first * 2352, image.begin() + (first + count) * 2352);
    }
    korvane::testing::TempDir dir;
    fs::path cue;
    std::vector<std::uint8_t> image;
    std::vector<std::string> env;
};

// Exit codes by class, each message prefixed "korvane-cli:".
TEST_F(Cli, ExitCodesSayWhatHappened) {
    const struct {
        const char* args;
        int exitCode;
        const char* message;
    } cases[] = {
        {"tracks --track 2-4", 2, "korvane-cli: The following argument"},
        {"frobnicate", 2, "korvane-cli: "},
        {"-q -v drives", 2, "korvane-cli: "},
        {"slice --demo --release 250.5", 2, "korvane-cli: --release: 250.5 is not a whole number"},
        {"read -t 3-2", 2, "korvane-cli: track span 3-2 runs backwards"},
        {"read -t 1,2", 0, ""},
        {"read -t 1-3 -o one.trk", 2, "several tracks need a name pattern"},
        {"read -t 4", 1, "korvane-cli: error: no track 4: the disc in D: has 3 audio tracks"},
        {"tracks -d /dev/null/none", 1, "no CD drive /dev/null/none (drives: D: KORVANE Virtual CD-ROM"},
        {"slice --demo --seconds 5 --threshold 0", 4, "korvane-cli: no region reaches the threshold at 0.0 dB / 750 ms"},
    };
    for (const auto& c : cases) {
        const ProgramRun run = Run(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args << ": " << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.args << ": " << run.err;
    }
    const ProgramRun version = Run("--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(std::regex_search(version.out, std::regex(R"(^korvane-cli \d+\.\d+\.\d+\nfile version \d+(\.\d+){3})")))
        << version.out;
    SetDiscs(korvane::testing::WriteCueBin(dir.Path(), "data", {{20, true}}).string());
    EXPECT_EQ(Run("tracks").exitCode, 4);
}

TEST_F(Cli, ReadWritesSpansThroughPatternsAndKeepsExistingFiles) {
    const ProgramRun run = Run("read -t 2-3,1 -o 'rip-%02d.wav'");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::pair<const char*, std::string> files[] = {
        {"rip-01.wav", Audio(0, 30)}, {"rip-02.wav", Audio(30, 75)}, {"rip-03.wav", Audio(125, 49)}};
    for (const auto& [name, audio] : files) EXPECT_EQ(ReadText(dir.Path() / name).substr(46), audio) << name;
    // The default names, the format from the extension, and -q keeping stdout empty.
    ASSERT_EQ(Run("-q read -t all").exitCode, 0);
    EXPECT_EQ(ReadText(dir.Path() / "track03.trk").size(), 49u * 2646u);
    const ProgramRun quiet = Run("-q read -t 1 -o t.raw");
    EXPECT_EQ(quiet.out + quiet.err, "");
    EXPECT_EQ(ReadText(dir.Path() / "t.raw"), Audio(0, 30));

    // An existing file is named and kept; nothing else is read; --force replaces.
    std::ofstream(dir.Path() / "rip-02.wav") << "keep\n";
    const ProgramRun refused = Run("read -t all -o 'rip-%02d.wav'");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("rip-01.wav exists; use --force"), std::string::npos) << refused.err;
    EXPECT_EQ(ReadText(dir.Path() / "rip-02.wav"), "keep\n");
    EXPECT_EQ(Run("read -t 2 -f -o rip-02.wav").exitCode, 0);
    EXPECT_EQ(ReadText(dir.Path() / "rip-02.wav").substr(46), Audio(30, 75));
}

TEST_F(Cli, StandardOutputCarriesTheAudioAndMessagesGoToStderr) {
    const ProgramRun wav = Run("-v read -t 2 -o -");
    ASSERT_EQ(wav.exitCode, 0) << wav.err;
    ASSERT_EQ(wav.out.size(), 46u + 75u * 2352u);
    EXPECT_EQ(wav.out.substr(0, 4), "RIFF");
    EXPECT_EQ(wav.out.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(wav.out.substr(38, 4), "data");
    const auto* size = reinterpret_cast<const unsigned char*>(wav.out.data() + 42);
    EXPECT_EQ(size[0] | size[1] << 8 | size[2] << 16 | size[3] << 24, 75 * 2352);
    EXPECT_EQ(wav.out.substr(46), Audio(30, 75));
    EXPECT_NE(wav.err.find("READ CD 0xBE"), std::string::npos) << wav.err;  // -v: the command used
    EXPECT_FALSE(fs::exists(dir.Path() / "-"));
    EXPECT_EQ(Run("read -t 3 --format raw -o -").out, Audio(125, 49));
    EXPECT_EQ(Run("read -t 3 --format trk -o -").exitCode, 2);
}

TEST_F(Cli, DrivesAreFoundByDevicePathThroughLinksAndTracksShowDiscIds) {
    const auto second = korvane::testing::WriteCueBin(dir.Path(), "second", {{7}});
    fs::create_symlink(second, dir.Path() / "cdrom");
    SetDiscs(cue.string() + ":" + second.string());
    const ProgramRun json = Run("tracks -d ./cdrom --json");
    ASSERT_EQ(json.exitCode, 0) << json.err;
    EXPECT_NE(json.out.find("\"drive\": \"E:\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"startLba\": 0, \"sectors\": 7, \"data\": false"), std::string::npos) << json.out;

    // An enhanced CD: MusicBrainz leaves the data session out (the same ID as the audio
    // alone), freedb counts every track.
    const auto enhanced = korvane::testing::WriteCueBin(dir.Path(), "extra", {{30, false, 1}, {49}, {10, true, 2}});
    const auto plain = korvane::testing::WriteCueBin(dir.Path(), "plain", {{30}, {49}});
    const auto ids = [&](const fs::path& disc) {
        SetDiscs(disc.string());
        const std::string out = Run("tracks").out;
        return std::make_pair(out.substr(out.find("freedb")), out.substr(out.find("MusicBrainz")));
    };
    const auto [extraFreedb, extraMb] = ids(enhanced);
    const auto [plainFreedb, plainMb] = ids(plain);
    EXPECT_EQ(extraMb, plainMb);
    EXPECT_NE(extraFreedb, plainFreedb);
    EXPECT_TRUE(std::regex_match(extraMb, std::regex("MusicBrainz disc ID: [A-Za-z0-9._-]{27}-\n"))) << extraMb;
}

// -o ./kick numbers the file, never the folder; a dot in the file name works as before.
TEST_F(Cli, ExportNumbersTheFileNameAndRefusesToReplace) {
    SetDiscs("demo");
    fs::create_directory(dir.Path() / "my.loops");
    for (const char* output : {"./kick", "my.loops/kick.wav"}) {
        const ProgramRun run = Run(std::string("export --demo --regions 1-2 -o ") + output);
        EXPECT_EQ(run.exitCode, 0) << output << ": " << run.err;
    }
    for (const char* made : {"kick1", "kick2", "my.loops/kick1.wav", "my.loops/kick2.wav"})
        EXPECT_TRUE(fs::exists(dir.Path() / made)) << made;
    EXPECT_FALSE(fs::exists(dir.Path() / "1.")) << "no number before the dot of ./";
    const ProgramRun again = Run("export --demo --regions 1-2 -o ./kick");
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.err.find("kick1 exists; use --force"), std::string::npos) << again.err;
    const ProgramRun import = Run("import my.loops/kick1.wav -o kick2");
    EXPECT_EQ(import.exitCode, 1);
    EXPECT_NE(import.err.find("kick2 exists; use --force"), std::string::npos) << import.err;
}

// --settings slices with the values the application stored; an option beside it wins.
TEST_F(Cli, SettingsTakeTheStoredSlicingValues) {
    fs::create_directories(dir.Path() / "root");
    {
        auto store = korvane::platform::RegistryStore::Open(dir.Path() / "root" / "registry.db");
        auto key = store->CreateKey(korvane::platform::RootKey::LocalMachine, "Software\\Quorvix\\Korvane");
        key.SetDword("last_Threshold", 125);
        key.SetDword("last_RlsTime", 40);
    }
    EXPECT_NE(Run("slice --demo --seconds 5 --settings").out.find("threshold -12.5 dB (level"), std::string::npos);
    EXPECT_NE(Run("slice --demo --seconds 5 --settings --release 300").out.find("release 300 ms"), std::string::npos);
    EXPECT_NE(Run("slice --demo --seconds 5").out.find("threshold -36.0 dB (level 512), release 750 ms"),
              std::string::npos);
}

TEST_F(Cli, PlayNamesTheDriversAndSaysWhenItIsSilent) {
    const ProgramRun unknown = Run("play --wav none.wav --region 1 --driver Nonexistent");
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.err.find("no sound driver \"Nonexistent\" (drivers: "), std::string::npos) << unknown.err;
    // A WAV file: a tenth of a second of sound between seconds of silence.
    std::string pcm(44100 * 4, '\0');
    for (std::size_t i = 0; i < 4410; ++i) pcm += i % 8 < 4 ? std::string{0, 0x40, 0, 0x40} : std::string{0, -0x40, 0, -0x40};
    pcm += std::string(44100 * 4, '\0');
    const auto le32 = [](std::uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    std::ofstream(dir.Path() / "hit.wav", std::ios::binary)
        << "RIFF" << le32(36 + pcm.size()) << "WAVEfmt " << le32(16) << le32(0x00020001) << le32(44100)
        << le32(176400) << le32(0x00100004) << "data" << le32(pcm.size()) << pcm;
    const ProgramRun played = Run("play --wav hit.wav --region 1");
    EXPECT_EQ(played.exitCode, 0) << played.err;
    EXPECT_NE(played.err.find("playing into the silent virtual device (KORVANE_AUDIO=null)\n"), std::string::npos)
        << played.err;
}

}  // namespace
