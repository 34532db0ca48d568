#pragma once
// What `korvane-cli tracks` tells about a disc beside the Track box lines: every track of
// the table of contents with its start, length and control flags, and the disc's
// identifiers computed from the TOC with libdiscid (freedb/CDDB and MusicBrainz).
#include "cdda/toc.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korvane::cli {

struct TocTrack {
    int trackNumber = 0;
    int runningNumber = 0;  // as `tracks` and the Track box number audio tracks; 0 for data
    std::uint32_t startLba = 0;
    std::uint32_t sectorCount = 0;
    bool data = false;
    bool preEmphasis = false;    // CONTROL bit 0
    bool copyPermitted = false;  // CONTROL bit 1
};

struct DiscSummary {
    std::vector<TocTrack> tracks;  // in TOC order, data tracks included
    std::uint32_t leadOutLba = 0;
    std::string freedbId;       // 8 hex digits over every track and the lead-out
    std::string musicBrainzId;  // over the audio session: a last-session data track is left out
};

// Pure: the summary of a TOC as ReadTOC left it.
DiscSummary SummarizeDisc(const cdda::TocBuffer& toc, const cdda::SessionInfo& sessions);

}  // namespace korvane::cli
