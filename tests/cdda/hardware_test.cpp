// A real drive: runs when /dev/sr0 can be opened and holds a disc with audio tracks;
// reported as skipped otherwise.
#include "cdda/toc.h"
#include "cdda/track_file.h"
#include "cdda/track_reader.h"
#include "platform/aspi/environment.h"
#include "tests/cdda/reader_fixture.h"
#include "tests/support/test_disc.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

namespace korvane::cdda {
namespace {

TEST(RealDrive, ReadsTheTocAndTheSameAudioTwice) {
    const int fd = ::open("/dev/sr0", O_RDONLY | O_NONBLOCK);
    if (fd < 0) GTEST_SKIP() << "/dev/sr0 cannot be opened: " << std::strerror(errno);
    ::close(fd);

    korvane::testing::ReaderRig rig;
    aspi::DriveSelection selection;
    selection.realDrives = true;
    rig.manager = aspi::BuildManager(selection);
    CDReader& reader = rig.Bind();
    reader.quiet = true;
    reader.ScanDrives();
    const CDDrive* sr0 = nullptr;
    for (int i = 0; i < reader.drives.Count(); ++i)
        if (reader.drives.At(i).source == "/dev/sr0") sr0 = &reader.drives.At(i);
    ASSERT_NE(sr0, nullptr) << "/dev/sr0 opens but the manager does not list it";
    EXPECT_NE(sr0->letter, 0);
    reader.SelectDrive(*sr0);
    try {
        reader.ReadTOC();
    } catch (const CDReaderException& e) {
        GTEST_SKIP() << "no readable disc in /dev/sr0 (status " << e.detail << ")";
    }
    const auto tracks = ListAudioTracks(reader.toc);
    if (tracks.empty()) GTEST_SKIP() << "the disc in /dev/sr0 has no audio track";
    for (const auto& line : TrackLines(reader.toc)) EXPECT_EQ(line.rfind("Track #", 0), 0u);

    // The first audio track, read twice into track files: bit-exact.
    korvane::testing::TempDir temp;
    auto readOnce = [&] {
        const auto file = ReadTrackToTrackFile(reader, *sr0, 0, temp.Path());
        const auto bytes = korvane::testing::ReadFileBytes(*file);
        std::filesystem::remove(*file);
        return bytes;
    };
    const std::vector<std::uint8_t> first = readOnce();
    EXPECT_EQ(first.size(), TrackFileBytesForSectors(tracks[0].sectorCount));
    EXPECT_EQ(readOnce(), first);
}

}  // namespace
}  // namespace korvane::cdda
