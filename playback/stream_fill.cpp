#include "playback/stream_fill.h"

#include <algorithm>
#include <cstring>

namespace korvane::playback {

namespace {

// Writes bytes in order into a locked region.
class LockedWriter {
public:
    explicit LockedWriter(const platform::sound::LockedRegion& region) : bytes_(region.bytes) {}

    std::size_t Total() const noexcept { return bytes_.size(); }
    std::size_t Room() const noexcept { return bytes_.size() - written_; }

    void Copy(const std::int16_t* values, std::size_t byteCount) noexcept {
        Put(reinterpret_cast<const std::byte*>(values), byteCount);
    }
    void Zero(std::size_t byteCount) noexcept { Put(nullptr, byteCount); }

private:
    void Put(const std::byte* from, std::size_t byteCount) noexcept {
        byteCount = std::min(byteCount, Room());
        if (byteCount == 0) return;
        if (from) {
            std::memcpy(bytes_.data() + written_, from, byteCount);
        } else {
            std::memset(bytes_.data() + written_, 0, byteCount);
        }
        written_ += byteCount;
    }

    std::span<std::byte> bytes_;
    std::size_t written_ = 0;
};

}  // namespace

void StreamFiller::FillFirst(const platform::sound::LockedRegion& region) noexcept {
    LockedWriter out(region);
    const std::size_t L = out.Total();
    const std::uint32_t loopEnd = s_.loopStart + s_.loopLength;
    if (s_.loopLength != 0 && 2 * static_cast<std::size_t>(loopEnd) <= L) {
        out.Copy(s_.values, 2 * static_cast<std::size_t>(loopEnd));
        readPos_ = s_.loopStart;
        while (out.Room() > 0) {
            const std::size_t n = std::min<std::size_t>(out.Room(), 2 * static_cast<std::size_t>(s_.loopLength));
            out.Copy(s_.values + s_.loopStart, n);
            readPos_ = s_.loopStart + static_cast<std::uint32_t>(n / 2);
        }
    } else if (L < 2 * static_cast<std::size_t>(s_.valueCount)) {
        out.Copy(s_.values, L);
        readPos_ = static_cast<std::uint32_t>(L / 2);
    } else {
        out.Copy(s_.values, 2 * static_cast<std::size_t>(s_.valueCount));
        out.Zero(out.Room());
        readPos_ = s_.valueCount;
    }
}

void StreamFiller::FillQuarter(const platform::sound::LockedRegion& region) noexcept {
    LockedWriter out(region);
    const std::size_t L = out.Total();
    const std::uint32_t loopEnd = s_.loopStart + s_.loopLength;
    std::size_t take = 0;  // bytes still available straight from the source
    if (readPos_ + L / 2 <= s_.valueCount) {
        take = L;
    } else if (readPos_ < s_.valueCount) {
        take = 2 * static_cast<std::size_t>(s_.valueCount - readPos_);
    }
    if (s_.loopLength != 0 && readPos_ + L / 2 > loopEnd) {
        if (readPos_ < loopEnd) out.Copy(s_.values + readPos_, 2 * static_cast<std::size_t>(loopEnd - readPos_));
        readPos_ = loopEnd;
        while (out.Room() > 0) {
            const std::size_t n = std::min<std::size_t>(out.Room(), 2 * static_cast<std::size_t>(s_.loopLength));
            out.Copy(s_.values + s_.loopStart, n);
            readPos_ = s_.loopStart + static_cast<std::uint32_t>(n / 2);
        }
    } else if (take < L) {
        out.Copy(s_.values + readPos_, take);
        out.Zero(out.Room());
        readPos_ += static_cast<std::uint32_t>(take / 2);
    } else {
        out.Copy(s_.values + readPos_, L);
        readPos_ += static_cast<std::uint32_t>(L / 2);
    }
}

}  // namespace korvane::playback
