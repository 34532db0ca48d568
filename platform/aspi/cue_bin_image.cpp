#include "platform/aspi/disc_image.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane::aspi {

std::unique_ptr<CueBinImage> CueBinImage::Open(const std::filesystem::path& cueFile) {
    auto fail = [&](const std::string& why) { return cue::CueError(0, cueFile.string() + ": " + why); };
    // "<cue>: line N: <reason>", keeping N as the error's line.
    auto atLine = [&](int line, const std::string& reason) {
        cue::CueError error(0, cueFile.string() + ": " + (line > 0 ? "line " + std::to_string(line) + ": " : "") + reason);
        error.line = line;
        return error;
    };
    std::ifstream in(cueFile, std::ios::binary);
    if (!in) throw fail(std::string("cannot open the cue sheet: ") + std::strerror(errno));
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw fail("cannot read the cue sheet");

    std::unique_ptr<CueBinImage> image(new CueBinImage);
    image->cuePath_ = cueFile;
    cue::Sheet sheet;
    try {
        sheet = cue::Parse(text.str());
    } catch (const cue::CueError& e) {
        cue::CueError error = atLine(0, e.what());  // e.what() names the line already
        error.line = e.line;
        throw error;
    }
    std::vector<std::uint64_t> sizes;
    for (const cue::File& f : sheet.files) {
        std::filesystem::path path = f.name;
        if (path.is_relative()) path = cueFile.parent_path() / path;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            throw atLine(f.line, "cannot open " + path.string() + ": " + std::strerror(errno));
        image->fds_.push_back(fd);
        image->bigEndian_.push_back(f.type == cue::FileType::Motorola);
        struct stat st{};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
            throw atLine(f.line, path.string() + " is not a regular file");
        sizes.push_back(static_cast<std::uint64_t>(st.st_size));
    }
    try {
        image->layout_ = cue::LayOut(sheet, [&](std::size_t i) { return sizes[i]; });
    } catch (const cue::CueError& e) {
        cue::CueError error = atLine(0, e.what());  // e.what() names the line already
        error.line = e.line;
        throw error;
    }
    return image;
}

CueBinImage::~CueBinImage() {
    for (int fd : fds_) ::close(fd);
}

void CueBinImage::ReadSectors(std::uint32_t lba, std::uint32_t sectorCount, std::span<std::uint8_t> out) {
    const auto& extents = layout_.extents;
    std::uint32_t done = 0;
    while (done < sectorCount) {
        const std::uint32_t at = lba + done;
        auto it = std::upper_bound(extents.begin(), extents.end(), at,
                                   [](std::uint32_t a, const cue::Extent& e) { return a < e.lba; });
        if (it == extents.begin()) throw ImageReadError("sector outside the image");
        const cue::Extent& e = *--it;
        if (at >= e.lba + e.sectorCount) throw ImageReadError("sector outside the image");
        const std::uint32_t count = std::min(sectorCount - done, e.lba + e.sectorCount - at);
        std::uint8_t* dst = out.data() + std::size_t{done} * 2352;
        if (e.fileIndex == cue::kBetweenSessions) throw ImageReadError("sector between two sessions");
        if (e.fileIndex < 0) {
            std::memset(dst, 0, std::size_t{count} * 2352);
        } else if (e.sectorBytes == 2352) {
            const std::size_t want = std::size_t{count} * 2352;
            const off_t offset = static_cast<off_t>(e.byteOffset + std::uint64_t{at - e.lba} * 2352);
            std::size_t got = 0;
            while (got < want) {
                const ssize_t n = ::pread(fds_[e.fileIndex], dst + got, want - got, offset + static_cast<off_t>(got));
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) throw ImageReadError(std::string("cannot read the image: ") +
                                                 (n < 0 ? std::strerror(errno) : "file got shorter"));
                got += static_cast<std::size_t>(n);
            }
            if (bigEndian_[e.fileIndex] && !e.data) {
                for (std::size_t i = 0; i + 1 < want; i += 2) std::swap(dst[i], dst[i + 1]);
            }
        } else {
            // Cooked data sectors: user data in place of a raw sector, the rest zero.
            for (std::uint32_t s = 0; s < count; ++s) {
                std::uint8_t* sector = dst + std::size_t{s} * 2352;
                std::memset(sector, 0, 2352);
                const off_t offset =
                    static_cast<off_t>(e.byteOffset + std::uint64_t{at - e.lba + s} * e.sectorBytes);
                constexpr std::size_t place = 16;  // after sync and header
                const ssize_t n = ::pread(fds_[e.fileIndex], sector + place, e.sectorBytes, offset);
                if (n != static_cast<ssize_t>(e.sectorBytes)) throw ImageReadError("cannot read the image");
            }
        }
        done += count;
    }
}

}  // namespace korvane::aspi
