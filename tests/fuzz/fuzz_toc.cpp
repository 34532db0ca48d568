// READ TOC bytes as a drive may answer them (format 0 and the session information of
// format 1) into the track list and the Track box lines.
#include "cdda/toc.h"

#include <algorithm>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvane::cdda;
    TocBuffer toc{};
    std::memcpy(toc.data(), data, std::min(size, toc.size()));
    std::uint8_t session[12] = {};
    if (size > toc.size()) std::memcpy(session, data + toc.size(), std::min<std::size_t>(size - toc.size(), 12));
    const SessionInfo sessions = ParseSessionInfo(session);
    for (int i = 0; i <= TocTrackCount(toc); ++i) (void)DescriptorAt(toc, i);
    const auto tracks = ListAudioTracks(toc, sessions);
    const auto lines = TrackLines(toc, sessions);
    if (lines.size() != tracks.size()) __builtin_trap();
    return 0;
}
