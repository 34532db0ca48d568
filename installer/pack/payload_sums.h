#pragma once
// Checksums of the payload. The packer adds one resource, "IDT_PAYLOAD_SUMS" of type
// "INSTSUM", holding a line "<resource name> <CRC-32 as 8 hex digits>\n" for every
// "INSTFILE" resource. Setup checks them all at start and refuses to run when one is
// missing or does not match, so a damaged payload file is never installed.
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace korvane::platform {
struct ResourceEntry;
class ResourceImage;
}  // namespace korvane::platform

namespace korvane::installer {

inline constexpr char kSumsType[] = "INSTSUM";
inline constexpr char kSumsName[] = "IDT_PAYLOAD_SUMS";

// Pure: the checksum resource for `resources` (only its "INSTFILE" entries are listed).
platform::ResourceEntry PayloadSumsResource(std::span<const platform::ResourceEntry> resources);

// Pure: nullopt when every "INSTFILE" resource of `image` matches its listed checksum;
// otherwise what is wrong ("IDT_APPFILE_1 is damaged (checksum mismatch)").
std::optional<std::string> PayloadDamage(const platform::ResourceImage& image);

}  // namespace korvane::installer
