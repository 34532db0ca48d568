#include "platform/audiofile/riff_probe.h"

#include <array>
#include <cstring>

namespace korvane::platform {
namespace {

std::uint32_t Le32(const std::byte* p) {
    return std::to_integer<std::uint32_t>(p[0]) | std::to_integer<std::uint32_t>(p[1]) << 8 |
           std::to_integer<std::uint32_t>(p[2]) << 16 | std::to_integer<std::uint32_t>(p[3]) << 24;
}

}  // namespace

std::optional<RiffDataChunk> FindRiffDataChunk(ByteSource& source) {
    const std::uint64_t size = source.Size();
    std::array<std::byte, 12> head{};
    if (size < head.size()) return std::nullopt;
    source.ReadAt(0, head);
    if (std::memcmp(head.data(), "RIFF", 4) != 0 || std::memcmp(head.data() + 8, "WAVE", 4) != 0) return std::nullopt;
    std::uint64_t at = 12;
    std::array<std::byte, 8> chunk{};
    while (at + chunk.size() <= size) {
        source.ReadAt(at, chunk);
        const std::uint32_t bytes = Le32(chunk.data() + 4);
        if (std::memcmp(chunk.data(), "data", 4) == 0) return RiffDataChunk{at + 8, bytes};
        at += 8 + std::uint64_t{bytes} + (bytes & 1u);  // odd sizes carry a pad byte
    }
    return std::nullopt;
}

}  // namespace korvane::platform
