#include "cdda/checksums.h"

#include <algorithm>
#include <zlib.h>

namespace korvane::cdda {

std::uint32_t Crc32(std::uint32_t crc, std::span<const std::uint8_t> bytes) noexcept {
    // zlib takes lengths as uInt: feed very large spans in pieces.
    constexpr std::size_t kPiece = std::size_t{1} << 30;
    uLong value = crc;
    for (std::size_t done = 0; done < bytes.size(); done += kPiece) {
        const std::size_t n = std::min(kPiece, bytes.size() - done);
        value = crc32_z(value, bytes.data() + done, n);
    }
    return static_cast<std::uint32_t>(value);
}

AccurateRipSum::AccurateRipSum(std::uint64_t frameCount, bool firstTrack, bool lastTrack) noexcept
    : last_(frameCount) {
    if (firstTrack) first_ = kAccurateRipSkipFrames;
    if (lastTrack) last_ = frameCount >= kAccurateRipSkipFrames ? frameCount - kAccurateRipSkipFrames : 0;
}

void AccurateRipSum::Add(std::span<const std::uint8_t> frames) noexcept {
    const std::size_t count = frames.size() / 4;
    // Only the indices in [first_, last_] count; the loop below runs over that window.
    const std::uint64_t begin = std::max(next_, first_);
    const std::uint64_t end = std::min(next_ + count, last_ + 1);  // exclusive
    std::uint32_t v1 = v1_;
    std::uint32_t v2 = v2_;
    const std::uint8_t* p = frames.data() + (begin - next_) * 4;
    for (std::uint64_t i = begin; i < end; ++i, p += 4) {
        const std::uint32_t word = std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
                                   (std::uint32_t{p[3]} << 24);
        const std::uint64_t product = (i & 0xFFFFFFFFu) * word;
        v1 += static_cast<std::uint32_t>(product);
        v2 += static_cast<std::uint32_t>(product) + static_cast<std::uint32_t>(product >> 32);
    }
    v1_ = v1;
    v2_ = v2;
    next_ += count;
}

}  // namespace korvane::cdda
