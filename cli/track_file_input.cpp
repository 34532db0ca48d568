#include "cli/track_file_input.h"

#include "cdda/track_file.h"
#include "platform/riff/file_io.h"

#include <span>
#include <stdexcept>

namespace korvane::cli {

std::vector<std::int16_t> ReadTrackOverview(const std::filesystem::path& path) {
    platform::FileSource source(path);
    const std::uint64_t fileBytes = source.Size();
    if (!cdda::IsTrackFileLength(fileBytes))
        throw std::runtime_error(path.string() + " is not a track file (its length is not a multiple of 18 bytes)");
    const std::uint64_t count = cdda::OverviewSampleCount(fileBytes);
    if (count > UINT32_MAX) throw std::runtime_error("track file too long: " + path.string());
    std::vector<std::int16_t> overview(static_cast<std::size_t>(count));
    // The file stores little-endian samples; so does every host this builds for.
    source.ReadAt(cdda::OverviewPartOffset(fileBytes), std::as_writable_bytes(std::span(overview)));
    return overview;
}

}  // namespace korvane::cli
