#include "cli/disc_ids.h"

#include <discid/discid.h>

#include <array>
#include <memory>

namespace korvane::cli {
namespace {

constexpr std::uint32_t kPregapSectors = 150;  // the 2 s before LBA 0 that both IDs count

struct DiscIdDeleter {
    void operator()(DiscId* disc) const noexcept { discid_free(disc); }
};

// libdiscid over tracks first..last starting at `starts` and ending at `leadOut`;
// "" when it refuses the TOC.
std::string ComputeId(int first, const std::vector<std::uint32_t>& starts, std::uint32_t leadOut, bool freedb) {
    if (starts.empty()) return {};
    std::array<int, 100> offsets{};
    offsets[0] = static_cast<int>(leadOut + kPregapSectors);
    for (std::size_t i = 0; i < starts.size(); ++i)
        offsets[static_cast<std::size_t>(first) + i] = static_cast<int>(starts[i] + kPregapSectors);
    std::unique_ptr<DiscId, DiscIdDeleter> disc(discid_new());
    if (!disc || !discid_put(disc.get(), first, first + static_cast<int>(starts.size()) - 1, offsets.data())) return {};
    return freedb ? discid_get_freedb_id(disc.get()) : discid_get_id(disc.get());
}

}  // namespace

DiscSummary SummarizeDisc(const cdda::TocBuffer& toc, const cdda::SessionInfo& sessions) {
    DiscSummary summary;
    const int count = cdda::TocTrackCount(toc);
    const auto audio = cdda::ListAudioTracks(toc, sessions);
    std::size_t nextAudio = 0;
    for (int i = 0; i < count; ++i) {
        const cdda::TocDescriptor d = cdda::DescriptorAt(toc, i);
        TocTrack track{d.trackNumber, 0, d.lba, cdda::DescriptorAt(toc, i + 1).lba - d.lba, d.IsData(),
                       (d.control & 0x01) != 0, (d.control & 0x02) != 0};
        if (!track.data && nextAudio < audio.size()) {
            track.runningNumber = audio[nextAudio].runningNumber;
            track.sectorCount = audio[nextAudio++].sectorCount;
        }
        summary.tracks.push_back(track);
    }
    summary.leadOutLba = cdda::DescriptorAt(toc, count).lba;
    if (summary.tracks.empty()) return summary;

    std::vector<std::uint32_t> starts;
    for (const auto& t : summary.tracks) starts.push_back(t.startLba);
    const int first = summary.tracks.front().trackNumber;
    summary.freedbId = ComputeId(first, starts, summary.leadOutLba, true);
    // MusicBrainz leaves out the data tracks of a last session (an enhanced CD); the
    // audio then ends a session gap before that session starts.
    std::uint32_t leadOut = summary.leadOutLba;
    if (sessions.MultiSession()) {
        while (!starts.empty() && summary.tracks[starts.size() - 1].data &&
               summary.tracks[starts.size() - 1].trackNumber >= sessions.lastSessionFirstTrack)
            starts.pop_back();
        if (starts.size() < summary.tracks.size()) leadOut = sessions.lastSessionStart - cdda::kSessionGapSectors;
    }
    summary.musicBrainzId = ComputeId(first, starts, leadOut, false);
    return summary;
}

}  // namespace korvane::cli
