#include "cdda/toc.h"

#include <gtest/gtest.h>

namespace korvane::cdda {
namespace {

struct TocTrackSpec {
    std::uint32_t lba;
    bool data = false;
};

// A TOC buffer as a drive returns it: first/last track numbers and descriptors.
TocBuffer MakeToc(int firstTrack, const std::vector<TocTrackSpec>& tracks, std::uint32_t leadOut) {
    TocBuffer toc{};
    toc[2] = static_cast<std::uint8_t>(firstTrack);
    toc[3] = static_cast<std::uint8_t>(firstTrack + tracks.size() - 1);
    auto put = [&](std::size_t i, std::uint8_t number, std::uint8_t control, std::uint32_t lba) {
        std::uint8_t* d = toc.data() + 4 + 8 * i;
        d[1] = static_cast<std::uint8_t>(0x10 | control);
        d[2] = number;
        d[4] = static_cast<std::uint8_t>(lba >> 24);
        d[5] = static_cast<std::uint8_t>(lba >> 16);
        d[6] = static_cast<std::uint8_t>(lba >> 8);
        d[7] = static_cast<std::uint8_t>(lba);
    };
    for (std::size_t i = 0; i < tracks.size(); ++i)
        put(i, static_cast<std::uint8_t>(firstTrack + i), tracks[i].data ? 0x04 : 0x00, tracks[i].lba);
    put(tracks.size(), 0xAA, 0, leadOut);
    return toc;
}

TEST(TrackLine, FormatsHoursMinutesAndRoundedSeconds) {
    EXPECT_EQ(FormatTrackLine(1, 18934), "Track #1 - 0:04:12.45");
    EXPECT_EQ(FormatTrackLine(2, 274605), "Track #2 - 1:01:01.40");
    EXPECT_EQ(FormatTrackLine(3, 4499), "Track #3 - 0:00:59.99");
    EXPECT_EQ(FormatTrackLine(1, 4500), "Track #1 - 0:01:00.00");
    EXPECT_EQ(FormatTrackLine(2, 269999), "Track #2 - 0:59:59.99");
    EXPECT_EQ(FormatTrackLine(2, 270000), "Track #2 - 1:00:00.00");
    EXPECT_EQ(FormatTrackLine(12, 0), "Track #12 - 0:00:00.00");
}

TEST(TocTracks, DataTracksAreSkippedWhereverTheyStand) {
    // data first, audio, data between, audio, data last
    const TocBuffer toc =
        MakeToc(1, {{0, true}, {1000}, {2000, true}, {2500}, {4000, true}}, 6000);
    // Running number, track number, descriptor, start and length of each audio track.
    using Track = std::tuple<int, int, int, std::uint32_t, std::uint32_t>;
    std::vector<Track> tracks;
    for (const AudioTrack& t : ListAudioTracks(toc))
        tracks.emplace_back(t.runningNumber, t.trackNumber, t.descriptorIndex, t.startLba, t.sectorCount);
    EXPECT_EQ(tracks, (std::vector<Track>{{1, 2, 1, 1000, 1000}, {2, 4, 3, 2500, 1500}}));
    EXPECT_EQ(TrackLines(toc), (std::vector<std::string>{"Track #1 - 0:00:13.33", "Track #2 - 0:00:20.00"}));
    EXPECT_TRUE(TrackLines(MakeToc(1, {{0, true}, {5000, true}}, 9000)).empty());
}

TEST(TocTracks, LastTrackEndsAtTheLeadOutAndNumbersNeedNotStartAtOne) {
    const TocBuffer toc = MakeToc(5, {{150}, {18934 + 150}}, 18934 + 150 + 4499);
    EXPECT_EQ(TrackLines(toc), (std::vector<std::string>{"Track #1 - 0:04:12.45", "Track #2 - 0:00:59.99"}));
}

// Ninety-nine tracks fill the buffer; implausible track numbers stay inside it.
TEST(TocTracks, NinetyNineTracksUseTheWholeBufferAndImplausibleNumbersStayInsideIt) {
    std::vector<TocTrackSpec> tracks;
    for (int i = 0; i < 99; ++i) tracks.push_back({static_cast<std::uint32_t>(i * 100)});
    TocBuffer toc = MakeToc(1, tracks, 99 * 100 + 7);
    EXPECT_EQ(TocTrackCount(toc), 99);
    const auto list = ListAudioTracks(toc);
    ASSERT_EQ(list.size(), 99u);
    EXPECT_EQ(list[98].sectorCount, 107u) << "the lead-out descriptor is the buffer's last 8 bytes";

    toc[3] = 255;  // 255 tracks claimed: only 99 fit
    EXPECT_EQ(TocTrackCount(toc), 99);
    toc[2] = 9;
    toc[3] = 3;  // last before first
    EXPECT_EQ(std::tuple(TocTrackCount(toc), ListAudioTracks(toc).size()), std::tuple(0, 0u));
    EXPECT_EQ(TocTrackCount(TocBuffer{}), 1) << "a zeroed buffer: one empty descriptor";
}

}  // namespace
}  // namespace korvane::cdda
