// korvane-cli end to end over generated disc images: each test drives the real program
// through the manager module (module loading, discovery, registry letters, TOC, reader).
#include "platform/registry/registry.h"
#include "tests/cli/cli_fixture.h"

#include <regex>

namespace {

namespace fs = std::filesystem;
using korvane::testing::Cli;
using korvane::testing::ProgramRun;
using korvane::testing::ReadText;
using korvane::testing::TemporaryLeftovers;
using korvane::testing::TestTrack;

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
        {"read -t 6 -o x.trk", 1, "korvane-cli: error: no track 6: the disc in D: has 5 audio tracks"},
        {"tracks -d /dev/null/none", 1, "no CD drive /dev/null/none (drives: D: KORVANE Virtual CD-ROM"},
        {"tracks --drive Q:", 1, "no CD drive Q: (drives: D: KORVANE Virtual CD-ROM"},
        {"slice --demo --seconds 5 --threshold 0", 4, "korvane-cli: no region reaches the threshold at 0.0 dB / 750 ms"},
    };
    for (const auto& c : cases) {
        const ProgramRun run = Run(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args << ": " << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.args << ": " << run.err;
    }
    EXPECT_FALSE(fs::exists(dir.Path() / "x.trk"));
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
    for (const auto& [name, audio] : files) EXPECT_EQ(ReadText(dir.Path() / name), Wav(audio)) << name;
    // The default names, the format from the extension, and -q keeping stdout empty: every
    // track file is the track's audio, byte for byte, then its overview.
    ASSERT_EQ(Run("-q read -t all").exitCode, 0);
    for (std::size_t t = 0; t < std::size(kAudioTracks); ++t)
        EXPECT_EQ(ReadText(dir.Path() / ("track0" + std::to_string(t + 1) + ".trk")), TrackFile(t)) << "track " << t + 1;
    EXPECT_TRUE(TemporaryLeftovers(dir.Path()).empty());
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
    EXPECT_EQ(ReadText(dir.Path() / "rip-02.wav"), Wav(Audio(30, 75)));
}

TEST_F(Cli, StandardOutputCarriesTheAudioAndMessagesGoToStderr) {
    const ProgramRun wav = Run("-v read -t 2 -o -");
    ASSERT_EQ(wav.exitCode, 0) << wav.err;
    EXPECT_EQ(wav.out, Wav(Audio(30, 75)));
    EXPECT_NE(wav.err.find("READ CD 0xBE"), std::string::npos) << wav.err;  // -v: the command used
    EXPECT_FALSE(fs::exists(dir.Path() / "-"));
    EXPECT_EQ(Run("read -t 3 --format raw -o -").out, Audio(125, 49));
    EXPECT_EQ(Run("read -t 3 --format trk -o -").exitCode, 2);
}

TEST_F(Cli, DrivesAndTracksAreListedByLetterOrDevicePathWithTheirDiscIds) {
    const ProgramRun drives = Run("drives");
    ASSERT_EQ(drives.exitCode, 0) << drives.err;
    EXPECT_EQ(drives.out,
              "D:  0:0:0  KORVANE  Virtual CD-ROM   1.0 \n"
              "E:  0:1:0  KORVANE  Demo Disc        1.0 \n");
    const ProgramRun tracks = Run("tracks --drive d:");
    ASSERT_EQ(tracks.exitCode, 0) << tracks.err;
    // The Track box lines with TOC number, start, length and flags; data tracks marked;
    // the freedb ID over all 7 tracks: digit sums of 2,2,3,3,4,4,4 s = 0x16, 2 s long;
    // the MusicBrainz ID: SHA-1 of the TOC's hex digits (offsets + 150), in its base 64.
    EXPECT_EQ(tracks.out,
              "Track #1 - 0:00:00.40   track  1  LBA      0      30 sectors  audio\n"
              "Track #2 - 0:00:01.00   track  2  LBA     30      75 sectors  audio\n"
              "Data track 3            track  3  LBA    105      20 sectors  data\n"
              "Track #3 - 0:00:00.65   track  4  LBA    125      49 sectors  audio\n"
              "Track #4 - 0:00:00.01   track  5  LBA    174       1 sectors  audio\n"
              "Track #5 - 0:00:00.32   track  6  LBA    175      24 sectors  audio\n"
              "Data track 7            track  7  LBA    199      10 sectors  data\n"
              "lead-out LBA 209\nfreedb disc ID: 16000207\nMusicBrainz disc ID: vmRTNS7yRJ2x4LZErawBp3QIdrI-\n");

    // Sixteen identical discs and the demo disc get a letter each.
    std::string list = cue.string();
    for (int i = 1; i < 16; ++i) list.append(":").append(cue.string());
    SetDiscs(list);
    const ProgramRun seventeen = Run("drives");
    ASSERT_EQ(seventeen.exitCode, 0) << seventeen.err;
    std::string letters;
    std::istringstream lines(seventeen.out);
    for (std::string line; std::getline(lines, line);) letters += line[0];
    EXPECT_EQ(letters, "DEFGHIJKLMNOPQRST") << seventeen.out;

    // A drive found by its device path, through a link.
    const auto second = korvane::testing::WriteCueBin(dir.Path(), "second", {{7}});
    fs::create_symlink(second, dir.Path() / "cdrom");
    SetDiscs(cue.string() + ":" + second.string());
    const ProgramRun json = Run("tracks -d ./cdrom --json");
    ASSERT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(json.out,
              "{\"drive\": \"E:\", \"leadOutLba\": 7, \"freedbId\": \"02000001\", "
              "\"musicBrainzId\": \"laUQelsex4nBjiuXNc9LrIDA55I-\", \"tracks\": [\n"
              "  {\"track\": 1, \"audioTrack\": 1, \"line\": \"Track #1 - 0:00:00.09\", \"startLba\": 0, "
              "\"sectors\": 7, \"data\": false, \"preEmphasis\": false, \"copyPermitted\": false}\n]}\n");

    // An enhanced CD: its last audio track ends where its session ends; MusicBrainz
    // leaves the data session out (the same ID as the audio alone), freedb counts every track.
    const auto tracksOf = [&](const std::vector<TestTrack>& tracks) {
        SetDiscs(korvane::testing::WriteCueBin(dir.Path(), "disc" + std::to_string(tracks.size()), tracks).string());
        return Run("tracks").out;
    };
    const std::string extra = tracksOf({{30, false, 1}, {49}, {10, true, 2}});
    const std::string plain = tracksOf({{30}, {49}});
    EXPECT_EQ(extra.rfind("Track #1 - 0:00:00.40 ", 0), 0u) << extra;
    EXPECT_NE(extra.find("\nTrack #2 - 0:00:00.65 "), std::string::npos) << "not 0:02:32.65: " << extra;
    EXPECT_EQ(extra.substr(extra.find("MusicBrainz")), plain.substr(plain.find("MusicBrainz")));
    EXPECT_NE(extra.substr(extra.find("freedb")), plain.substr(plain.find("freedb")));
}

// Audio files in a folder whose name holds a ':', given with --disc: read back byte for byte.
TEST_F(Cli, ACueSheetOverWavFilesInAFolderIsReadThroughTheWholeStack) {
    const fs::path folder = dir.Path() / "rip: 2024";
    fs::create_directories(folder);
    for (int t = 0; t < 2; ++t) {
        korvane::testing::WriteAll(folder / ("track" + std::to_string(t + 1) + ".wav"),
                                   korvane::testing::BuildWav({.samples = Samples(Audio(30 * t, 30 + 45 * t))}));
    }
    std::ofstream(folder / "rip.cue") << "FILE \"track1.wav\" WAVE\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
                                         "FILE \"track2.wav\" WAVE\n TRACK 02 AUDIO\n  INDEX 01 00:00:00\n";
    SetDiscs("");
    const ProgramRun run = Run("--disc " + korvane::testing::ShellQuoted(folder.string()) + " read -t 2 --format raw -o -");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, Audio(30, 75));
}

TEST_F(Cli, ABrokenCueSheetIsReportedAndItsDriveIsEmpty) {
    std::ofstream(dir.Path() / "bad.cue") << "FILE \"gone.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n";
    SetDiscs((dir.Path() / "bad.cue").string());
    const std::string unusable = (dir.Path() / "bad.cue").string() + ": line 1: cannot open " +
                                 (dir.Path() / "gone.bin").string() + ": No such file or directory";
    const ProgramRun drives = Run("drives");
    EXPECT_EQ(drives.exitCode, 0);
    EXPECT_EQ(drives.out, "D:  0:0:0  KORVANE  Virtual CD-ROM   1.0 \n    unusable: " + unusable +
                              "\nE:  0:1:0  KORVANE  Demo Disc        1.0 \n");
    // An unusable image is no reason to offer a retry: the read fails at once.
    const ProgramRun tracks = Run("tracks");
    EXPECT_EQ(tracks.exitCode, 1);
    EXPECT_EQ(tracks.err, "korvane-cli: warning: disc image not usable: " + unusable +
                              "\nkorvane-cli: error: cannot read the table of contents in D: the disc image cannot be "
                              "used: " + unusable + " (sense 02/30/01)\n");
}

// Failures that pass, retries and the command fallback give the clean bytes; failures
// that stay are reported in plain words and leave no file behind.
TEST_F(Cli, DriveFaultsThatPassGiveTheCleanBytesAndTheOthersLeaveNothing) {
    struct Case {
        std::string faults, options;
        int exitCode;
        const char* says;
    };
    const Case cases[] = {
        {"reject-readcd", "", 0, ""},
        {"fail:BE:1,fail:D8:1000", "", 0, ""},
        {"fail:BE:1:02/04/01", "", 0, ""},
        {"explode", "", 0, "cannot understand \"explode\""},
        {"reject-readcd,fail:D8:1", "", 1, "the drive reported a hardware error (sense 04/44/00)"},
        {"reject-readcd,fail:D8:1000", "", 1, "Device not responding. Try again?"},
        {"reject-readcd,fail:D8:1", "--retries 1", 0, ""},
        {"linux,medium:10", "--retries 2", 1, "medium error at 00:00.13 (sector 10)"},
        {"linux,short:BE:1000", "", 1, "the drive returned fewer bytes than asked"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.faults + " " + c.options);
        fs::remove(dir.Path() / "t.trk");
        const ProgramRun run = Run("read -t 1 " + c.options + " -o t.trk </dev/null", c.faults);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(ReadText(dir.Path() / "t.trk"), c.exitCode == 0 ? TrackFile(0) : "");
        EXPECT_TRUE(TemporaryLeftovers(dir.Path()).empty());
    }
}

TEST_F(Cli, ReadVerifiesLogsSavesTheOffsetAndExitsThreeOnSuspiciousSectors) {
    const ProgramRun bad = Run("read -t 2 -o t.trk --log t.log --verify --max-retries 3 --progress", "bad:55");
    EXPECT_EQ(bad.exitCode, 3) << bad.err;
    // The progress names the pass and counts the sectors read again.
    EXPECT_NE(bad.err.find("re-reading, 0 sectors re-read"), std::string::npos) << bad.err;
    EXPECT_NE(bad.err.find("pass 2, 1 sector re-read"), std::string::npos) << bad.err;
    std::string log = ReadText(dir.Path() / "t.log");
    EXPECT_NE(log.find("Suspicious positions: 0:00:00.33\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\n1 suspicious sector\n"), std::string::npos) << log;
    const auto crc = [&](const std::string& name) { return log.substr(log.find(name) + name.size(), 8); };
    EXPECT_NE(crc("Test CRC: "), crc("Copy CRC: ")) << "the passes differ at the bad sector: " << log;
    EXPECT_NE(bad.out.find("AccurateRip v2: "), std::string::npos) << bad.out;

    // Track 1, whose offset reads reach into the audio of track 2: a flaky sector read
    // until two reads agree and the drive's offset undone give the track's exact bytes,
    // and so does the next read with the saved offset.
    const std::string read = "read -t 1 -f -o t.trk --log t.log ";
    const ProgramRun saved = Run(read + "--verify --offset +667 --save-offset", "flaky:20:50,flaky:21:50,flaky:22:50,offset:+667");
    EXPECT_EQ(saved.exitCode, 0) << saved.err;
    EXPECT_EQ(ReadText(dir.Path() / "t.trk"), TrackFile(0));
    const ProgramRun again = Run(read, "offset:+667");
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(ReadText(dir.Path() / "t.trk"), TrackFile(0));
    log = ReadText(dir.Path() / "t.log");
    EXPECT_NE(log.find("\nRead offset: +667 samples\nVerify reads: off\n"), std::string::npos) << log;
    EXPECT_EQ(log.substr(log.size() - 20), "\nNo errors occurred\n");
    const std::string help = Run("read --help").out;
    EXPECT_NE(help.find("3 the read finished but some sectors are suspicious"), std::string::npos) << help;
}

// -o ./kick numbers the file, never the folder; import keeps an existing output.
TEST_F(Cli, ExportNumbersTheFileNotTheFolderAndImportRefusesToReplace) {
    SetDiscs("demo");
    const ProgramRun run = Run("export --demo --regions 1-2 -o ./kick");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    for (const char* made : {"kick1", "kick2"}) EXPECT_TRUE(fs::exists(dir.Path() / made)) << made;
    EXPECT_FALSE(fs::exists(dir.Path() / "1.")) << "no number before the dot of ./";
    const ProgramRun import = Run("import kick1 -o kick2");
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
    std::vector<std::int16_t> samples(2 * 44100, 0);
    for (int i = 0; i < 4410; ++i) samples.insert(samples.end(), 2, static_cast<std::int16_t>(i % 8 < 4 ? 16384 : -16384));
    samples.resize(samples.size() + 2 * 44100, 0);
    korvane::testing::WriteAll(dir.Path() / "hit.wav", korvane::testing::BuildWav({.samples = samples}));
    const ProgramRun played = Run("play --wav hit.wav --region 1");
    EXPECT_EQ(played.exitCode, 0) << played.err;
    EXPECT_NE(played.err.find("playing into the silent virtual device (KORVANE_AUDIO=null)\n"), std::string::npos)
        << played.err;
}

}  // namespace
