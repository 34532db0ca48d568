#include "platform/version/version.h"

#include <cstring>
#include <fstream>
#include <string>

namespace korvane::platform {
namespace {

template <typename T>
bool ReadAt(std::span<const std::uint8_t> bytes, std::uint64_t offset, T* out) noexcept {
    if (offset > bytes.size() || bytes.size() - offset < sizeof(T)) return false;
    std::memcpy(out, bytes.data() + offset, sizeof(T));
    return true;
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
}

constexpr std::size_t kStringsOffset = sizeof(kVersionBlockMagic) + sizeof(VsFixedFileInfo);

}  // namespace

std::optional<std::span<const std::uint8_t>> FindVersionSection(std::span<const std::uint8_t> image) noexcept {
    static constexpr std::uint8_t kElfMagic[4] = {0x7F, 'E', 'L', 'F'};
    if (image.size() < 64 || std::memcmp(image.data(), kElfMagic, 4) != 0) return std::nullopt;
    if (image[4] != 2 /* ELFCLASS64 */ || image[5] != 1 /* little endian */) return std::nullopt;
    std::uint64_t shoff = 0;
    std::uint16_t shentsize = 0, shnum = 0, shstrndx = 0;
    if (!ReadAt(image, 0x28, &shoff) || !ReadAt(image, 0x3A, &shentsize) || !ReadAt(image, 0x3C, &shnum) ||
        !ReadAt(image, 0x3E, &shstrndx))
        return std::nullopt;
    if (shentsize < 64 || shstrndx >= shnum) return std::nullopt;

    auto section = [&](std::uint16_t index, std::uint32_t* name, std::uint32_t* type, std::uint64_t* offset,
                       std::uint64_t* size) {
        const std::uint64_t base = shoff + std::uint64_t(index) * shentsize;
        return ReadAt(image, base, name) && ReadAt(image, base + 4, type) && ReadAt(image, base + 0x18, offset) &&
               ReadAt(image, base + 0x20, size);
    };
    std::uint32_t strName = 0, strType = 0;
    std::uint64_t strOffset = 0, strSize = 0;
    if (!section(shstrndx, &strName, &strType, &strOffset, &strSize)) return std::nullopt;
    if (strOffset > image.size() || image.size() - strOffset < strSize) return std::nullopt;
    const std::string_view names(reinterpret_cast<const char*>(image.data() + strOffset), strSize);

    for (std::uint16_t i = 0; i < shnum; ++i) {
        std::uint32_t name = 0, type = 0;
        std::uint64_t offset = 0, size = 0;
        if (!section(i, &name, &type, &offset, &size)) return std::nullopt;
        if (name >= names.size()) continue;
        const std::string_view sectionName = names.substr(name, names.find('\0', name) - name);
        if (sectionName != kVersionSectionName) continue;
        if (type == 8 /* SHT_NOBITS */) return std::nullopt;
        if (offset > image.size() || image.size() - offset < size) return std::nullopt;
        return image.subspan(offset, size);
    }
    return std::nullopt;
}

bool IsValidVersionBlock(std::span<const std::uint8_t> block) noexcept {
    if (block.size() < kStringsOffset + 1) return false;
    if (std::memcmp(block.data(), kVersionBlockMagic, sizeof(kVersionBlockMagic)) != 0) return false;
    VsFixedFileInfo fixed;
    std::memcpy(&fixed, block.data() + sizeof(kVersionBlockMagic), sizeof(fixed));
    if (fixed.dwSignature != kVsFixedSignature) return false;
    // The strings must end inside the block (an empty name ends the list).
    for (std::size_t i = kStringsOffset; i < block.size(); ++i)
        if (block[i] == 0 && (i == kStringsOffset || block[i - 1] == 0)) return true;
    return false;
}

std::uint32_t GetFileVersionInfoSize(const std::filesystem::path& file) {
    const auto bytes = ReadWholeFile(file);
    if (!bytes) return 0;
    const auto section = FindVersionSection(*bytes);
    if (!section || !IsValidVersionBlock(*section)) return 0;
    return static_cast<std::uint32_t>(section->size());
}

bool GetFileVersionInfo(const std::filesystem::path& file, std::span<std::uint8_t> block) {
    const auto bytes = ReadWholeFile(file);
    if (!bytes) return false;
    const auto section = FindVersionSection(*bytes);
    if (!section || !IsValidVersionBlock(*section) || block.size() < section->size()) return false;
    std::memcpy(block.data(), section->data(), section->size());
    return true;
}

bool VerQueryValue(std::span<const std::uint8_t> block, std::string_view subBlock,
                   std::span<const std::uint8_t>* value) noexcept {
    if (!IsValidVersionBlock(block) || value == nullptr) return false;
    if (subBlock == "\\") {
        *value = block.subspan(sizeof(kVersionBlockMagic), sizeof(VsFixedFileInfo));
        return true;
    }
    static constexpr std::string_view kPrefix = "\\StringFileInfo\\";
    if (!subBlock.starts_with(kPrefix)) return false;
    const std::string_view rest = subBlock.substr(kPrefix.size());
    const auto slash = rest.find('\\');
    if (slash == std::string_view::npos) return false;
    const std::string_view wanted = rest.substr(slash + 1);
    // Walk "name\0value\0" pairs until the empty name. Every string is bounded by the
    // block: one without its NUL inside the block ends the walk as malformed.
    const auto text = [&](std::size_t at) -> std::optional<std::string_view> {
        if (at >= block.size()) return std::nullopt;
        const auto* start = reinterpret_cast<const char*>(block.data() + at);
        const auto* nul = static_cast<const char*>(std::memchr(start, 0, block.size() - at));
        if (nul == nullptr) return std::nullopt;
        return std::string_view(start, std::size_t(nul - start));
    };
    std::size_t pos = kStringsOffset;
    while (pos < block.size() && block[pos] != 0) {
        const auto name = text(pos);
        const auto data = name ? text(pos + name->size() + 1) : std::nullopt;
        if (!data) return false;
        const std::size_t valuePos = pos + name->size() + 1;
        if (*name == wanted) {
            *value = block.subspan(valuePos, data->size() + 1);
            return true;
        }
        pos = valuePos + data->size() + 1;
    }
    return false;
}

std::optional<VsFixedFileInfo> ReadFixedVersion(const std::filesystem::path& file) {
    const std::uint32_t size = GetFileVersionInfoSize(file);
    if (size == 0) return std::nullopt;
    std::vector<std::uint8_t> block(size);
    if (!GetFileVersionInfo(file, block)) return std::nullopt;
    std::span<const std::uint8_t> fixedBytes;
    if (!VerQueryValue(block, "\\", &fixedBytes) || fixedBytes.size() != sizeof(VsFixedFileInfo)) return std::nullopt;
    VsFixedFileInfo fixed;
    std::memcpy(&fixed, fixedBytes.data(), sizeof(fixed));
    return fixed;
}

}  // namespace korvane::platform
