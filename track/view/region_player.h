#pragma once
// The part of the region player the track view drives. The main frame adapts the
// playback layer's SoundPlayer to it; tests use the virtual sound device behind the same
// adapter or a recording double.
//
// Thread contract: every member is called on the UI thread. The position callback runs
// on the stream thread while playback runs and must not block on the UI thread.
// StopPlayback stops the streaming buffer and returns only after the stream thread has
// ended; after it returns no callback runs and the source buffer is no longer read.
#include <cstdint>

namespace korvane::trackview {

class RegionPlayer {
public:
    // position: the play position in 16-bit values from the start of the source.
    using PositionCallback = void (*)(std::uint32_t position, void* user);

    virtual ~RegionPlayer() = default;
    virtual void StopPlayback() = 0;
    // Plays `frameCount` interleaved frames of `source` once. `source` stays valid until
    // the next StopPlayback returns.
    virtual void PlayOnce(const std::int16_t* source, std::uint32_t frameCount, std::uint32_t rateHz,
                          std::uint32_t channels, PositionCallback callback, void* user) = 0;
    // As PlayOnce, repeating frames [loopStart, loopStart + loopLength) until stopped.
    virtual void PlayLoop(const std::int16_t* source, std::uint32_t frameCount, std::uint32_t rateHz,
                          std::uint32_t channels, std::uint32_t loopStart, std::uint32_t loopLength,
                          PositionCallback callback, void* user) = 0;
};

}  // namespace korvane::trackview
