#include "cdda/drive_list.h"

#include <cstdio>

namespace korvane::cdda {

DriveScan RefreshDrives(CDReader& reader) {
    DriveScan scan;
    try {
        reader.ScanDrives();
    } catch (const CDReaderException& e) {
        char text[160];
        if (e.detail != 0)
            std::snprintf(text, sizeof text, "The CD drives could not be scanned: a drive did not answer (status 0x%02X).",
                          static_cast<unsigned>(e.detail));
        else
            std::snprintf(text, sizeof text, "The CD drives could not be scanned: the drive registry key could not be opened.");
        scan.error = text;
        return scan;
    }
    for (int i = 0; i < reader.drives.Count(); ++i) scan.lines.push_back(FormatDriveLine(reader.drives.At(i)));
    return scan;
}

std::vector<std::string> FillTrackList(CDReader& reader, int driveLine) {
    if (reader.drives.Count() == 0) return {};
    reader.SelectDrive(reader.drives.At(driveLine < reader.drives.Count() ? driveLine : 0));
    try {
        reader.ReadTOC();
    } catch (const CDReaderException&) {
        return {};
    }
    return TrackLines(reader.toc, reader.sessions);
}

}  // namespace korvane::cdda
