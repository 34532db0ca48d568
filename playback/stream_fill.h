#pragma once
// What the stream thread writes into the streaming buffer: the initial fill of the
// first half and each quarter refill, for a one-shot block (then silence) or a block
// whose loop section repeats. Kept apart from the thread so that it can be measured.
//
// Thread contract: one filler belongs to one stream thread; no locking, no allocation.
#include "platform/sound/sound.h"

#include <cstdint>

namespace korvane::playback {

struct StreamSource {
    const std::int16_t* values = nullptr;  // not owned
    std::uint32_t valueCount = 0;
    std::uint32_t loopStart = 0;   // 16-bit values; 0 with loopLength 0 for a one-shot
    std::uint32_t loopLength = 0;  // 16-bit values
};

class StreamFiller {
public:
    explicit StreamFiller(const StreamSource& source) noexcept : s_(source) {}

    // Fills the locked first half. A loop that ends within it is written wrapped at
    // once; otherwise the source is copied straight (then silence when it is shorter).
    void FillFirst(const platform::sound::LockedRegion& region) noexcept;
    // Fills one locked quarter with the next values: straight from the source, wrapped
    // back to the loop start at the loop end, or silence once a one-shot is exhausted.
    void FillQuarter(const platform::sound::LockedRegion& region) noexcept;

    // The next source value to be written.
    std::uint32_t ReadPosition() const noexcept { return readPos_; }

private:
    const StreamSource s_;
    std::uint32_t readPos_ = 0;
};

}  // namespace korvane::playback
