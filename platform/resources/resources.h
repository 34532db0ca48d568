#pragma once
// Resources carried inside a program's own image (FindResource / LoadResource /
// SizeofResource / LoadString). A build step (korvane-pack) appends a resource blob and a
// 16-byte trailer to the finished executable:
//   <executable bytes> <blob> <u64 LE blob size> <"KVRSRC01">
// The blob holds named resources of string types ("INSTFILE") and a string table:
//   "KVRB" u32 resourceCount { u16 typeLen type u16 nameLen name u64 offset u64 size }*
//          u32 stringCount   { u32 id u32 len text }*
//   data (offsets are relative to the blob start)
// The image is mapped read-only; resource bytes are views into the mapping and stay valid
// for the life of the ResourceImage ("locked" for the life of the process).
//
// Thread contract: a ResourceImage is immutable after Open; share it freely.
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/ui.h"

namespace korvane::platform {

inline constexpr char kResourceTrailerMagic[8] = {'K', 'V', 'R', 'S', 'R', 'C', '0', '1'};
inline constexpr std::size_t kResourceTrailerSize = 16;

struct ResourceEntry {
    std::string type;  // "INSTFILE"
    std::string name;  // "IDT_APPFILE_1"
    std::vector<std::uint8_t> data;
};

// Pure: the blob for `resources` and `strings` (the packer's half).
std::vector<std::uint8_t> EncodeResourceBlob(const std::vector<ResourceEntry>& resources,
                                             const std::map<std::uint32_t, std::string>& strings);

// A resource found by FindResource: a view of its bytes inside the image.
struct ResourceRef {
    std::span<const std::uint8_t> bytes;
};

class ResourceImage {
public:
    // Pure: parses `image` (executable + blob + trailer). nullopt with a reason in `error`
    // when there is no trailer or the blob is malformed (every offset is checked).
    // The image must outlive the result; use Open for files.
    static std::optional<ResourceImage> Parse(std::span<const std::uint8_t> image, std::string* error = nullptr);
    // Maps `file` read-only and parses it.
    static std::optional<ResourceImage> Open(const std::filesystem::path& file, std::string* error = nullptr);
    // The running program's own image (/proc/self/exe).
    static std::optional<ResourceImage> Self(std::string* error = nullptr);

    // FindResource(module, name, type): nullopt when absent. Names and types compare
    // case-insensitively, as Win32 resource names do.
    std::optional<ResourceRef> FindResource(std::string_view name, std::string_view type) const;
    // LoadResource + LockResource: the resource's bytes.
    static std::span<const std::uint8_t> LoadResource(const ResourceRef& ref) noexcept { return ref.bytes; }
    // LoadString(module, id, buffer, bufferSize): copies at most bufferSize - 1 characters
    // and a terminating NUL; returns the number of characters copied (0 when absent).
    int LoadString(std::uint32_t id, char* buffer, int bufferSize) const noexcept;
    // The string table as a whole (the ui layer's StringTable).
    const StringTable& Strings() const noexcept { return strings_; }
    // The names of all resources of `type`, in blob order (for listing tools).
    std::vector<std::string> ResourceNames(std::string_view type) const;

private:
    struct Mapping;
    struct Entry {
        std::string type, name;
        std::span<const std::uint8_t> bytes;
    };
    std::shared_ptr<Mapping> mapping_;  // null for Parse over caller-owned bytes
    std::vector<Entry> entries_;
    std::map<std::uint32_t, std::string> rawStrings_;
    StringTable strings_;
};

}  // namespace korvane::platform
