#include "installer/pack/payload_sums.h"

#include <zlib.h>

#include <cstdio>
#include <map>
#include <sstream>

#include "platform/paths/paths.h"
#include "platform/resources/resources.h"

namespace korvane::installer {
namespace {

constexpr char kPayloadType[] = "INSTFILE";

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
    uLong crc = crc32(0L, Z_NULL, 0);
    // zlib takes at most uInt bytes a call.
    for (std::size_t done = 0; done < bytes.size();) {
        const uInt chunk = static_cast<uInt>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        crc = crc32(crc, bytes.data() + done, chunk);
        done += chunk;
    }
    return static_cast<std::uint32_t>(crc);
}

std::string Hex(std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

}  // namespace

platform::ResourceEntry PayloadSumsResource(std::span<const platform::ResourceEntry> resources) {
    std::string text;
    for (const auto& r : resources)
        if (platform::EqualsIgnoreCase(r.type, kPayloadType)) text += r.name + " " + Hex(Crc32(r.data)) + "\n";
    return {kSumsType, kSumsName, std::vector<std::uint8_t>(text.begin(), text.end())};
}

std::optional<std::string> PayloadDamage(const platform::ResourceImage& image) {
    const auto sums = image.FindResource(kSumsName, kSumsType);
    if (!sums) return "the payload carries no checksums";
    const auto bytes = platform::ResourceImage::LoadResource(*sums);
    std::map<std::string, std::string> listed;
    std::istringstream lines(std::string(bytes.begin(), bytes.end()));
    for (std::string name, sum; lines >> name >> sum;) listed[name] = sum;
    for (const auto& name : image.ResourceNames(kPayloadType)) {
        const auto it = listed.find(name);
        if (it == listed.end()) return name + " has no checksum";
        const auto resource = image.FindResource(name, kPayloadType);
        if (!resource || Hex(Crc32(platform::ResourceImage::LoadResource(*resource))) != it->second)
            return name + " is damaged (checksum mismatch)";
    }
    return std::nullopt;
}

}  // namespace korvane::installer
