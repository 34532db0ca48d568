#pragma once
// The Drive box and the Track box without their windows: what the main frame's
// Refresh and drive-selection handlers show.
//
// Thread contract: UI thread (the thread that owns the CDReader); blocks while the
// drives answer.
#include "cdda/cd_reader.h"

#include <optional>
#include <string>
#include <vector>

namespace korvane::cdda {

struct DriveScan {
    std::vector<std::string> lines;  // FormatDriveLine of every drive, line i = drives.At(i)
    // Set when the scan failed (the drive list is then empty): what went wrong.
    std::optional<std::string> error;
};

// Scans the drives (replacing the list) and returns the Drive box lines. A failed
// scan gives an empty list and an error text instead of an exception.
DriveScan RefreshDrives(CDReader& reader);

// The Track box for Drive box line `driveLine`: selects that drive, reads its TOC and
// returns one line per audio track. Empty when there is no drive at all, when the TOC
// cannot be read (the retry prompt has been offered already unless quiet) or when the
// disc has no audio track.
std::vector<std::string> FillTrackList(CDReader& reader, int driveLine);

}  // namespace korvane::cdda
