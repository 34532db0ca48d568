#include "platform/aspi/disc_image.h"

#include "platform/riff/file_io.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace korvane::aspi {
namespace {

namespace fs = std::filesystem;

// A cue sheet of 99 tracks with every command fits in a few kilobytes; a larger file
// is not a cue sheet (a disc image given by mistake).
constexpr std::uint64_t kMaxCueBytes = 1 << 20;

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The entries of `folder` whose names equal `name` ignoring letter case.
std::vector<fs::path> CaseInsensitiveMatches(const fs::path& folder, const std::string& name,
                                            bool (*wanted)(const fs::directory_entry&)) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder.empty() ? "." : folder, ec))
        if (wanted(entry) && SameIgnoringCase(entry.path().filename().string(), name)) found.push_back(entry.path());
    std::sort(found.begin(), found.end());
    return found;
}

// The file a FILE line names: as written, or else the one file whose path differs only
// in letter case (component by component, as the sheet may come from a system whose
// names ignore case). Throws std::runtime_error when none or several match.
fs::path ResolveFileName(const fs::path& folder, const std::string& name) {
    fs::path path = fs::path(name).is_relative() ? folder / name : fs::path(name);
    std::error_code ec;
    if (fs::exists(path, ec)) return path;
    fs::path resolved = path.root_path();
    for (const fs::path& part : path.relative_path()) {
        if (fs::exists(resolved / part, ec) || part == "." || part == "..") {
            resolved /= part;
            continue;
        }
        const auto matches = CaseInsensitiveMatches(resolved, part.string(), [](const fs::directory_entry&) { return true; });
        if (matches.size() > 1)
            throw std::runtime_error("cannot open " + path.string() + ": " + std::to_string(matches.size()) +
                                     " files match it when letter case is ignored");
        if (matches.empty()) throw std::runtime_error("cannot open " + path.string() + ": " + std::strerror(ENOENT));
        resolved = matches.front();
    }
    return resolved;
}

// A folder given in place of a cue sheet: the one cue sheet in it.
fs::path CueSheetIn(const fs::path& folder) {
    std::vector<fs::path> sheets;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (entry.is_regular_file(ec) && SameIgnoringCase(entry.path().extension().string(), ".cue"))
            sheets.push_back(entry.path());
    if (ec) throw cue::CueError(0, folder.string() + ": cannot list the folder: " + ec.message());
    if (sheets.size() != 1)
        throw cue::CueError(0, folder.string() + ": the folder holds " + std::to_string(sheets.size()) +
                                   " cue sheets; give the one to use");
    return sheets.front();
}

}  // namespace

std::unique_ptr<CueBinImage> CueBinImage::Open(const fs::path& given) {
    std::error_code ec;
    const fs::path cueFile = fs::is_directory(given, ec) ? CueSheetIn(given) : given;
    auto fail = [&](const std::string& why) { return cue::CueError(0, cueFile.string() + ": " + why); };
    // "<cue>: line N: <reason>", keeping N as the error's line.
    auto atLine = [&](int line, const std::string& reason) {
        cue::CueError error(0, cueFile.string() + ": " + (line > 0 ? "line " + std::to_string(line) + ": " : "") + reason);
        error.line = line;
        return error;
    };
    std::string text;
    try {
        platform::FileSource in(cueFile);  // refuses a FIFO or device without blocking on it
        text.resize(static_cast<std::size_t>(std::min<std::uint64_t>(in.Size(), kMaxCueBytes + 1)));
        in.ReadAt(0, std::as_writable_bytes(std::span(text)));
    } catch (const platform::IoError& e) {
        throw fail(e.Code() == std::errc::invalid_argument ? "the cue sheet is not a regular file"
                                                           : "cannot read the cue sheet: " + e.Code().message());
    }
    if (text.size() > kMaxCueBytes) throw fail("the cue sheet is larger than 1 MB");

    std::unique_ptr<CueBinImage> image(new CueBinImage);
    image->cuePath_ = cueFile;
    image->files_.push_back(cueFile);
    cue::Sheet sheet;
    try {
        sheet = cue::Parse(text);
    } catch (const cue::CueError& e) {
        cue::CueError error = atLine(0, e.what());  // e.what() names the line already
        error.line = e.line;
        throw error;
    }
    for (const cue::File& f : sheet.files) {
        try {
            const fs::path path = ResolveFileName(cueFile.parent_path(), f.name);
            image->files_.push_back(path);
            image->sources_.push_back(f.type == cue::FileType::Audio ? OpenAudioFile(path) : OpenRawFile(path));
        } catch (const std::exception& e) {
            throw atLine(f.line, e.what());
        }
        image->bigEndian_.push_back(f.type == cue::FileType::Motorola);
    }
    try {
        image->layout_ = cue::LayOut(sheet, [&](std::size_t i) { return image->sources_[i]->Size(); });
    } catch (const cue::CueError& e) {
        cue::CueError error = atLine(0, e.what());  // e.what() names the line already
        error.line = e.line;
        throw error;
    }
    return image;
}

CueBinImage::~CueBinImage() = default;

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
            sources_[e.fileIndex]->Read(e.byteOffset + std::uint64_t{at - e.lba} * 2352, std::span(dst, want));
            if (bigEndian_[e.fileIndex] && !e.data) {
                for (std::size_t i = 0; i + 1 < want; i += 2) std::swap(dst[i], dst[i + 1]);
            }
        } else {
            // Cooked data sectors: user data in place of a raw sector, the rest zero.
            for (std::uint32_t s = 0; s < count; ++s) {
                std::uint8_t* sector = dst + std::size_t{s} * 2352;
                std::memset(sector, 0, 2352);
                constexpr std::size_t place = 16;  // after sync and header
                sources_[e.fileIndex]->Read(e.byteOffset + std::uint64_t{at - e.lba + s} * e.sectorBytes,
                                            std::span(sector + place, e.sectorBytes));
            }
        }
        done += count;
    }
}

}  // namespace korvane::aspi
