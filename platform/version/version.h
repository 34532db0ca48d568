#pragma once
// File version information of our own modules (GetFileVersionInfoSize / GetFileVersionInfo /
// VerQueryValue). A module carries its record in the ELF section ".korvane_version", put
// there by KORVANE_VERSION_RECORD (version_record.h). The record is the 52-byte fixed
// block (VS_FIXEDFILEINFO layout) followed by NUL-separated name/value string pairs.
// A file that is not a 64-bit little-endian ELF image, or has no such section, has no
// version information (size 0), as a Windows file without a version resource.
//
// Thread contract: pure functions and file reads; safe from any thread.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace korvane::platform {

struct VsFixedFileInfo {
    std::uint32_t dwSignature = 0xFEEF04BDu;
    std::uint32_t dwStrucVersion = 0x00010000u;
    std::uint32_t dwFileVersionMS = 0;
    std::uint32_t dwFileVersionLS = 0;
    std::uint32_t dwProductVersionMS = 0;
    std::uint32_t dwProductVersionLS = 0;
    std::uint32_t dwFileFlagsMask = 0x3Fu;
    std::uint32_t dwFileFlags = 0;
    std::uint32_t dwFileOS = 0x00040004u;  // VOS_NT_WINDOWS32
    std::uint32_t dwFileType = 2;           // VFT_DLL
    std::uint32_t dwFileSubtype = 0;
    std::uint32_t dwFileDateMS = 0;
    std::uint32_t dwFileDateLS = 0;
};
static_assert(sizeof(VsFixedFileInfo) == 52, "the fixed version record is 52 bytes");

inline constexpr std::uint32_t kVsFixedSignature = 0xFEEF04BDu;
inline constexpr char kVersionSectionName[] = ".korvane_version";
// The section starts with this 8-byte magic, then the fixed record, then the strings.
inline constexpr char kVersionBlockMagic[8] = {'K', 'V', 'V', 'E', 'R', 'S', '1', '\0'};

// Pure: the bytes of the ".korvane_version" section of an ELF64 LE image, or nullopt when
// `image` is not such an image, has no such section, or a header points outside `image`.
std::optional<std::span<const std::uint8_t>> FindVersionSection(std::span<const std::uint8_t> image) noexcept;

// Pure: validates a version block (magic, fixed record with its signature, terminated
// strings). A block handed to VerQueryValue must have passed this.
bool IsValidVersionBlock(std::span<const std::uint8_t> block) noexcept;

// GetFileVersionInfoSize: the size of the file's version block, 0 when it has none or the
// file cannot be read.
std::uint32_t GetFileVersionInfoSize(const std::filesystem::path& file);
// GetFileVersionInfo: copies the version block into `block` (at most block.size() bytes);
// false when the file has none, cannot be read, or `block` is too small.
bool GetFileVersionInfo(const std::filesystem::path& file, std::span<std::uint8_t> block);

// VerQueryValue over a block read by GetFileVersionInfo:
//   "\"                                  -> the fixed record (52 bytes)
//   "\StringFileInfo\<any>\<Name>"       -> the string value <Name> with its terminating NUL
// false when the sub-block does not exist or the block is malformed.
bool VerQueryValue(std::span<const std::uint8_t> block, std::string_view subBlock,
                   std::span<const std::uint8_t>* value) noexcept;

// Convenience over the three calls: the fixed record of a file, nullopt when it has none.
std::optional<VsFixedFileInfo> ReadFixedVersion(const std::filesystem::path& file);

}  // namespace korvane::platform
