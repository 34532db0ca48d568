// Checksums and verified reading over a scripted sector source (the whole reader over
// simulated drives is in linux_drive_test.cpp, korvane-cli's --verify in the cli tests).
#include "cdda/checksums.h"
#include "cdda/secure_read.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <functional>
#include <map>

namespace korvane::cdda {
namespace {

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
            EXPECT_EQ(std::tuple(sums.accurateRip.V1(), sums.accurateRip.V2(), sums.crc32),
                      std::tuple(v1, v2, static_cast<std::uint32_t>(crc32(0, audio.data(), static_cast<uInt>(audio.size())))));
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
        std::vector<std::uint32_t> suspicious;
        std::uint8_t value;  // what sector 10 ends as
        int reads;           // reads of sector 10
    };
    const Case cases[] = {
        {"clean", [](int) { return 0; }, 0, {}, 10, 2},
        {"flaky once", [](int n) { return n == 1 ? 1 : 0; }, 1, {}, 10, 3},
        {"medium error twice", [](int n) { return n <= 2 ? 2 : 0; }, 24, {}, 10, 4},
        {"different every time", [](int) { return 1; }, 1, {10}, 11, 2 + 5},
        {"never readable", [](int) { return 2; }, 24, {10}, 0, 2 + 5 + 2},
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
        // Between the two passes, the sector farthest away (the range's end) defeats the cache.
        EXPECT_EQ(std::tuple(reader.Stats().rereadSectors, reader.Stats().suspicious, disc.reads[10], disc.log[1], reader.Stats().cacheNotDefeated),
                  std::tuple(c.rereads, c.suspicious, c.reads, std::pair<std::uint32_t, std::uint32_t>{4999, 1}, false));
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

}  // namespace
}  // namespace korvane::cdda
