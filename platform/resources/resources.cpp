#include "platform/resources/resources.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace korvane::platform {
namespace {

void PutU16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    for (int i = 0; i < 2; ++i) out.push_back(std::uint8_t(v >> (8 * i)));
}
void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(v >> (8 * i)));
}
void PutU64(std::vector<std::uint8_t>& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(std::uint8_t(v >> (8 * i)));
}
void PutText(std::vector<std::uint8_t>& out, std::string_view s) {
    for (char c : s) out.push_back(static_cast<std::uint8_t>(c));
}

// A bounds-checked little-endian reader over the blob.
class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    template <typename T>
    bool Get(T* out) {
        if (bytes_.size() - pos_ < sizeof(T)) return false;
        T v = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i) v |= T(T(bytes_[pos_ + i]) << (8 * i));
        pos_ += sizeof(T);
        *out = v;
        return true;
    }
    bool Text(std::size_t length, std::string* out) {
        if (bytes_.size() - pos_ < length) return false;
        out->assign(reinterpret_cast<const char*>(bytes_.data() + pos_), length);
        pos_ += length;
        return true;
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
};

bool Fail(std::string* error, std::string why) {
    if (error) *error = std::move(why);
    return false;
}

bool IEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

}  // namespace

struct ResourceImage::Mapping {
    void* address = MAP_FAILED;
    std::size_t length = 0;
    ~Mapping() {
        if (address != MAP_FAILED) ::munmap(address, length);
    }
};

std::vector<std::uint8_t> EncodeResourceBlob(const std::vector<ResourceEntry>& resources,
                                             const std::map<std::uint32_t, std::string>& strings) {
    std::vector<std::uint8_t> header;
    PutText(header, "KVRB");
    PutU32(header, static_cast<std::uint32_t>(resources.size()));
    std::size_t directorySize = 8;
    for (const auto& r : resources) directorySize += 2 + r.type.size() + 2 + r.name.size() + 16;
    directorySize += 4;
    for (const auto& [id, text] : strings) directorySize += 8 + text.size();

    std::uint64_t offset = directorySize;
    for (const auto& r : resources) {
        PutU16(header, static_cast<std::uint16_t>(r.type.size()));
        PutText(header, r.type);
        PutU16(header, static_cast<std::uint16_t>(r.name.size()));
        PutText(header, r.name);
        PutU64(header, offset);
        PutU64(header, r.data.size());
        offset += r.data.size();
    }
    PutU32(header, static_cast<std::uint32_t>(strings.size()));
    for (const auto& [id, text] : strings) {
        PutU32(header, id);
        PutU32(header, static_cast<std::uint32_t>(text.size()));
        PutText(header, text);
    }
    for (const auto& r : resources) header.insert(header.end(), r.data.begin(), r.data.end());
    return header;
}

std::optional<ResourceImage> ResourceImage::Parse(std::span<const std::uint8_t> image, std::string* error) {
    if (image.size() < kResourceTrailerSize ||
        std::memcmp(image.data() + image.size() - 8, kResourceTrailerMagic, 8) != 0) {
        Fail(error, "the program carries no resources");
        return std::nullopt;
    }
    std::uint64_t blobSize = 0;
    for (int i = 0; i < 8; ++i) blobSize |= std::uint64_t(image[image.size() - 16 + i]) << (8 * i);
    if (blobSize > image.size() - kResourceTrailerSize) {
        Fail(error, "the resource trailer names more bytes than the file holds");
        return std::nullopt;
    }
    const auto blob = image.subspan(image.size() - kResourceTrailerSize - blobSize, blobSize);
    Reader in(blob);
    std::string magic;
    std::uint32_t count = 0;
    if (!in.Text(4, &magic) || magic != "KVRB" || !in.Get(&count)) {
        Fail(error, "the resource blob has no valid header");
        return std::nullopt;
    }
    ResourceImage result;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint16_t typeLen = 0, nameLen = 0;
        std::uint64_t offset = 0, size = 0;
        Entry entry;
        if (!in.Get(&typeLen) || !in.Text(typeLen, &entry.type) || !in.Get(&nameLen) ||
            !in.Text(nameLen, &entry.name) || !in.Get(&offset) || !in.Get(&size) || offset > blob.size() ||
            blob.size() - offset < size) {
            Fail(error, "resource directory entry " + std::to_string(i) + " is malformed");
            return std::nullopt;
        }
        entry.bytes = blob.subspan(offset, size);
        result.entries_.push_back(std::move(entry));
    }
    std::uint32_t stringCount = 0;
    if (!in.Get(&stringCount)) {
        Fail(error, "the resource blob has no string table");
        return std::nullopt;
    }
    for (std::uint32_t i = 0; i < stringCount; ++i) {
        std::uint32_t id = 0, length = 0;
        std::string text;
        if (!in.Get(&id) || !in.Get(&length) || !in.Text(length, &text)) {
            Fail(error, "string table entry " + std::to_string(i) + " is malformed");
            return std::nullopt;
        }
        result.strings_.Add(id, text);
        result.rawStrings_[id] = std::move(text);
    }
    return result;
}

std::optional<ResourceImage> ResourceImage::Open(const std::filesystem::path& file, std::string* error) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        Fail(error, "cannot open " + file.string() + ": " + std::strerror(errno));
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size <= 0) {
        ::close(fd);
        Fail(error, "cannot read " + file.string());
        return std::nullopt;
    }
    auto mapping = std::make_shared<Mapping>();
    mapping->length = static_cast<std::size_t>(st.st_size);
    mapping->address = ::mmap(nullptr, mapping->length, PROT_READ, MAP_PRIVATE, fd, 0);
    const int mapErrno = errno;
    ::close(fd);
    if (mapping->address == MAP_FAILED) {
        Fail(error, "cannot map " + file.string() + ": " + std::strerror(mapErrno));
        return std::nullopt;
    }
    auto parsed = Parse({static_cast<const std::uint8_t*>(mapping->address), mapping->length}, error);
    if (parsed) parsed->mapping_ = std::move(mapping);
    return parsed;
}

std::optional<ResourceImage> ResourceImage::Self(std::string* error) { return Open("/proc/self/exe", error); }

std::optional<ResourceRef> ResourceImage::FindResource(std::string_view name, std::string_view type) const {
    for (const auto& e : entries_)
        if (IEquals(e.name, name) && IEquals(e.type, type)) return ResourceRef{e.bytes};
    return std::nullopt;
}

int ResourceImage::LoadString(std::uint32_t id, char* buffer, int bufferSize) const noexcept {
    if (buffer == nullptr || bufferSize <= 0) return 0;
    const auto it = rawStrings_.find(id);
    if (it == rawStrings_.end()) {
        buffer[0] = '\0';
        return 0;
    }
    const std::size_t n = std::min<std::size_t>(it->second.size(), std::size_t(bufferSize - 1));
    std::memcpy(buffer, it->second.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

std::vector<std::string> ResourceImage::ResourceNames(std::string_view type) const {
    std::vector<std::string> names;
    for (const auto& e : entries_)
        if (IEquals(e.type, type)) names.push_back(e.name);
    return names;
}

}  // namespace korvane::platform
