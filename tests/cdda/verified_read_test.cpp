// Verified reading, checksums and the read offset: the verification logic over a scripted
// sector source; the whole reader over simulated Linux drives (flaky and bad sectors,
// drives with a read offset); korvane-cli's read with --verify, --offset and --log.
#include "cdda/checksums.h"
#include "cdda/drive_offsets.h"
#include "cdda/secure_read.h"
#include "cdda/track_reader.h"
#include "platform/aspi/environment.h"
#include "platform/aspi/sg_device.h"
#include "platform/aspi/simulated_drive.h"
#include "tests/cdda/reader_fixture.h"
#include "tests/support/run_program.h"
#include "tests/support/test_disc.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <map>

namespace korvane::cdda {
namespace {

namespace fs = std::filesystem;
using korvane::testing::TempDir;

// A staircase of frames: left sample i, right sample 3i (16 bits each, wrapping).
std::vector<std::uint8_t> Staircase(std::uint32_t frames) {
    std::vector<std::uint8_t> bytes(std::size_t{frames} * 4);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const std::uint16_t left = static_cast<std::uint16_t>(i), right = static_cast<std::uint16_t>(3 * i);
        bytes[4 * i] = left & 0xFF, bytes[4 * i + 1] = left >> 8, bytes[4 * i + 2] = right & 0xFF, bytes[4 * i + 3] = right >> 8;
    }
    return bytes;
}

TEST(Checksums, Crc32AndAccurateRipAgreeWithTheFormulaWhateverTheFeeding) {
    const std::uint32_t frames = 20 * 588 + 7;
    const auto audio = Staircase(frames);
    for (const bool first : {false, true}) {
        for (const bool last : {false, true}) {
            // The formula, word by word.
            std::uint32_t v1 = 0, v2 = 0;
            for (std::uint64_t i = 1; i <= frames; ++i) {
                if ((first && i < 2940) || (last && i > frames - 2940)) continue;
                const std::uint8_t* p = &audio[(i - 1) * 4];
                const std::uint32_t w = p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t{p[3]} << 24;
                const std::uint64_t product = i * w;
                v1 += static_cast<std::uint32_t>(product);
                v2 += static_cast<std::uint32_t>(product) + static_cast<std::uint32_t>(product >> 32);
            }
            TrackChecksums sums(frames, first, last);
            for (std::size_t at = 0, piece = 4; at < audio.size(); at += piece, piece = piece * 3 % 9000 + 4) {
                sums.Add(std::span(audio).subspan(at, std::min(piece, audio.size() - at)));
            }
            SCOPED_TRACE(std::to_string(first) + std::to_string(last));
            EXPECT_EQ(sums.accurateRip.V1(), v1);
            EXPECT_EQ(sums.accurateRip.V2(), v2);
            EXPECT_EQ(sums.crc32, static_cast<std::uint32_t>(crc32(0, audio.data(), static_cast<uInt>(audio.size()))));
        }
    }
}

// Sectors whose bytes are their LBA; reads may be scripted to fail or to differ.
struct ScriptedDisc final : SectorDevice {
    std::map<std::uint32_t, std::function<int(int read)>> script;  // returns 0 ok, 1 altered, 2 unreadable
    std::map<std::uint32_t, int> reads;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> log;
    void Read(std::uint32_t lba, std::span<std::uint8_t> out, std::uint32_t count) override {
        log.emplace_back(lba, count);
        for (std::uint32_t s = 0; s < count; ++s) {
            const int n = ++reads[lba + s];
            const int what = script.count(lba + s) ? script[lba + s](n) : 0;
            if (what == 2) throw SectorsUnreadable("scripted");
            std::fill_n(out.begin() + s * 2352, 2352, static_cast<std::uint8_t>(lba + s + (what == 1 ? n : 0)));
        }
    }
};

TEST(VerifiedReader, ResolvesSectorsUntilTwoReadsAgreeAndReportsTheRest) {
    struct Case {
        const char* name;
        std::function<int(int)> sector10;  // the script of sector 10
        std::uint32_t rereads;
        bool suspicious;
        std::uint8_t value;  // what sector 10 ends as
        int reads;           // reads of sector 10
    };
    const Case cases[] = {
        {"clean", [](int) { return 0; }, 0, false, 10, 2},
        {"flaky once", [](int n) { return n == 1 ? 1 : 0; }, 1, false, 10, 3},
        {"medium error twice", [](int n) { return n <= 2 ? 2 : 0; }, 24, false, 10, 4},
        {"different every time", [](int) { return 1; }, 1, true, 11, 2 + 5},
        {"never readable", [](int) { return 2; }, 24, true, 0, 2 + 5 + 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedDisc disc;
        disc.script[10] = c.sector10;
        VerifiedReader reader(disc, 5, 0, 5000);
        std::vector<std::uint8_t> out(24 * 2352), first(out.size()), second(out.size());
        reader.Read(0, 24, out, first, second);
        for (std::uint32_t s = 0; s < 24; ++s) {
            const std::uint8_t want = s == 10 ? c.value : static_cast<std::uint8_t>(s);
            ASSERT_EQ(std::count(out.begin() + s * 2352, out.begin() + (s + 1) * 2352, want), 2352) << "sector " << s;
        }
        EXPECT_EQ(reader.Stats().rereadSectors, c.rereads);
        EXPECT_EQ(reader.Stats().suspicious, c.suspicious ? std::vector<std::uint32_t>{10} : std::vector<std::uint32_t>{});
        EXPECT_EQ(disc.reads[10], c.reads);
        // Between the two passes, the sector farthest away (the range's end).
        EXPECT_EQ(disc.log[1], (std::pair<std::uint32_t, std::uint32_t>{4999, 1}));
        EXPECT_FALSE(reader.Stats().cacheNotDefeated);
    }
    // Cancel stops a sector's re-reads at once.
    ScriptedDisc endless;
    endless.script[10] = [](int) { return 1; };
    VerifiedReader cancelled(endless, 1000, 0, 5000);
    std::atomic<bool> cancel{false};
    cancelled.cancel = &cancel;
    cancelled.onPhase = [&](VerifyPhase phase, std::uint32_t) { cancel = phase == VerifyPhase::Rereading; };
    std::vector<std::uint8_t> all(24 * 2352), one(all.size()), two(all.size());
    cancelled.Read(0, 24, all, one, two);
    EXPECT_EQ(endless.reads[10], 2) << "no re-read after Cancel";

    ScriptedDisc small;
    VerifiedReader tooSmall(small, 5, 0, 100);
    std::vector<std::uint8_t> out(2352), first(2352), second(2352);
    tooSmall.Read(50, 1, out, first, second);
    EXPECT_TRUE(tooSmall.Stats().cacheNotDefeated) << "no sector on the disc lies beyond the drive's cache";
}

// One simulated Linux drive over a disc of three audio tracks whose first and last two
// sectors are silent, as a pressed CD's are.
struct OffsetDisc {
    TempDir dir;
    std::vector<std::uint8_t> image;
    korvane::testing::ReaderRig rig;
    aspi::SimulatedDrive* drive = nullptr;

    explicit OffsetDisc(std::function<void(aspi::SimulatedDrive&)> setUp) {
        const fs::path cue = korvane::testing::WriteCueBin(dir.Path(), "disc", {{40}, {30}, {40}}, &image);
        std::fill_n(image.begin(), 2 * 2352, 0);
        std::fill(image.end() - 2 * 2352, image.end(), 0);
        std::ofstream(dir.Path() / "disc.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        rig.manager->AddAdapter("linux");
        auto simulated = std::make_unique<aspi::SimulatedDrive>(aspi::CueBinImage::Open(cue), aspi::VirtualDrive::Identity{});
        drive = simulated.get();
        setUp(*drive);
        rig.manager->AddDevice(0, 0, 0, std::make_unique<aspi::SgDevice>(std::move(simulated), "/dev/sr0"));
        rig.Bind().ScanDrives();
    }
    // The audio of track `line` as read with `secure`, and the report.
    std::vector<std::uint8_t> Read(int line, SecureReadSettings secure, TrackReadReport* report = nullptr) {
        ReadControl control;
        control.secure = secure;
        const auto file = ReadTrackToTrackFile(*rig.reader, rig.reader->drives.At(0), line, dir.Path(), control, {}, report);
        auto bytes = korvane::testing::ReadText(*file);
        fs::remove(*file);
        return {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() - bytes.size() / 9)};
    }
    std::vector<std::uint8_t> Image(std::uint32_t lba, std::uint32_t sectors) const {
        return {image.begin() + lba * 2352, image.begin() + (lba + sectors) * 2352};
    }
};

TEST(VerifiedTrackRead, FlakySectorsEndExactAndABadSectorIsReportedAtItsPosition) {
    OffsetDisc disc([](aspi::SimulatedDrive& d) {
        for (std::uint32_t lba = 45; lba < 51; ++lba) d.FlakySectorAt(lba, 50);
        d.BadSectorAt(60);
    });
    TrackReadReport report;
    const auto verified = disc.Read(1, {true, 4, 0}, &report);
    auto expected = disc.Image(40, 30);
    EXPECT_TRUE(std::equal(verified.begin(), verified.begin() + 20 * 2352, expected.begin()));
    EXPECT_TRUE(std::equal(verified.begin() + 21 * 2352, verified.end(), expected.begin() + 21 * 2352));
    EXPECT_GE(report.rereadSectors, 2u);
    EXPECT_LE(report.rereadSectors, 7u);
    EXPECT_EQ(report.suspiciousFrames, std::vector<std::uint64_t>{20 * 588});
    EXPECT_NE(report.testCrc, report.copyCrc);
    // Unverified: the drive's bytes as they came, the bad sector's among them.
    const auto plain = disc.Read(1, {});
    EXPECT_FALSE(std::equal(plain.begin() + 20 * 2352, plain.begin() + 21 * 2352, expected.begin() + 20 * 2352));
    EXPECT_TRUE(std::equal(plain.begin() + 21 * 2352, plain.end(), expected.begin() + 21 * 2352));
}

TEST(VerifiedTrackRead, TheMatchingOffsetReproducesTheImageUpToTheDiscsEnds) {
    for (const std::int32_t offset : {667, -1164}) {
        SCOPED_TRACE(offset);
        OffsetDisc disc([offset](aspi::SimulatedDrive& d) { d.SetReadOffset(offset); });
        EXPECT_EQ(disc.Read(0, {false, 0, offset}), disc.Image(0, 40));
        EXPECT_EQ(disc.Read(1, {true, 2, offset}), disc.Image(40, 30));
        EXPECT_EQ(disc.Read(2, {false, 0, offset}), disc.Image(70, 40));
        EXPECT_NE(disc.Read(1, {}), disc.Image(40, 30)) << "the drive shifts its audio";
    }
}

TEST(VerifiedTrackRead, CliVerifiesLogsSavesTheOffsetAndExitsThreeOnSuspiciousSectors) {
    TempDir dir;
    const fs::path cue = korvane::testing::WriteCueBin(dir.Path(), "disc", {{40}, {30}});
    auto run = [&](const std::string& faults, std::vector<std::string> args) {
        args.insert(args.begin(), {"--disc", cue.string(), "read", "--track", "2", "--force", "-o",
                                   (dir.Path() / "t.trk").string(), "--log", (dir.Path() / "t.log").string()});
        return korvane::testing::RunProgram("korvane-cli", args, dir.Path(),
                                            {"KORVANE_ROOT=" + (dir.Path() / "root").string(), "KORVANE_REAL_DRIVES=0",
                                             "KORVANE_ASPI_FAULTS=" + faults});
    };
    auto bad = run("bad:55", {"--verify", "--max-retries", "3", "--progress"});
    EXPECT_EQ(bad.exitCode, 3) << bad.err;
    // The progress names the pass and counts the sectors read again.
    EXPECT_NE(bad.err.find("re-reading, 0 sectors re-read"), std::string::npos) << bad.err;
    EXPECT_NE(bad.err.find("pass 2, 1 sector re-read"), std::string::npos) << bad.err;
    std::string log = korvane::testing::ReadText(dir.Path() / "t.log");
    EXPECT_NE(log.find("Suspicious positions: 0:00:00.20\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\n1 suspicious sector\n"), std::string::npos) << log;
    EXPECT_NE(bad.out.find("AccurateRip v2: "), std::string::npos) << bad.out;

    auto saved = run("flaky:50:30,offset:+667", {"--verify", "--offset", "+667", "--save-offset"});
    EXPECT_EQ(saved.exitCode, 0) << saved.err;
    auto again = run("offset:+667", {});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    log = korvane::testing::ReadText(dir.Path() / "t.log");
    EXPECT_NE(log.find("Read offset: +667 samples\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Verify reads: off\n"), std::string::npos) << log;
    EXPECT_EQ(log.substr(log.size() - 20), "\nNo errors occurred\n");
    const std::string help = korvane::testing::RunProgram("korvane-cli", {"read", "--help"}, dir.Path()).out;
    EXPECT_NE(help.find("3 the read finished but some sectors are suspicious"), std::string::npos) << help;
}

}  // namespace
}  // namespace korvane::cdda
