#include "cdda/toc.h"

#include "regions/clock_format.h"

#include <string>

#include <cstdio>

namespace korvane::cdda {

int TocTrackCount(const TocBuffer& toc) noexcept {
    const int n = int{toc[3]} - int{toc[2]} + 1;
    if (n < 0) return 0;
    return n > kMaxTocTracks ? kMaxTocTracks : n;
}

TocDescriptor DescriptorAt(const TocBuffer& toc, int index) noexcept {
    const std::uint8_t* d = toc.data() + 4 + static_cast<std::size_t>(index) * kTocDescriptorBytes;
    return TocDescriptor{static_cast<std::uint8_t>(d[1] & 0x0F), d[2], ReadBigEndian32(d + 4)};
}

SessionInfo ParseSessionInfo(const std::uint8_t* data) noexcept {
    SessionInfo s;
    if (((data[0] << 8) | data[1]) < 10) return s;
    s.firstSession = data[2];
    s.lastSession = data[3];
    s.lastSessionFirstTrack = data[6];
    s.lastSessionStart = ReadBigEndian32(data + 8);
    return s;
}

std::vector<AudioTrack> ListAudioTracks(const TocBuffer& toc, const SessionInfo& sessions) {
    std::vector<AudioTrack> tracks;
    const int n = TocTrackCount(toc);
    int running = 1;
    for (int i = 0; i < n; ++i) {
        const TocDescriptor d = DescriptorAt(toc, i);
        if (d.IsData()) continue;
        const TocDescriptor next = DescriptorAt(toc, i + 1);
        std::uint32_t end = next.lba;
        // The last track of an earlier session stops where its session's lead-out begins.
        if (sessions.MultiSession() && i + 1 < n && next.trackNumber == sessions.lastSessionFirstTrack &&
            next.lba >= d.lba + kSessionGapSectors)
            end = next.lba - kSessionGapSectors;
        tracks.push_back(AudioTrack{running++, i, d.trackNumber, d.lba, end - d.lba});
    }
    return tracks;
}

std::string FormatTrackLine(int runningNumber, std::uint32_t sectorCount) {
    return "Track #" + std::to_string(runningNumber) + " - " + units::FormatClock(sectorCount * 0.013333333333333334);
}

std::vector<std::string> TrackLines(const TocBuffer& toc, const SessionInfo& sessions) {
    std::vector<std::string> lines;
    for (const AudioTrack& t : ListAudioTracks(toc, sessions)) lines.push_back(FormatTrackLine(t.runningNumber, t.sectorCount));
    return lines;
}

}  // namespace korvane::cdda
