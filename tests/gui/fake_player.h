#pragma once
// A region player double that records what the view asks for and can play positions
// back from a thread of its own, as the stream thread does.
#include "track/view/region_player.h"

#include <thread>
#include <vector>

namespace korvane::testing {

class RecordingPlayer : public trackview::RegionPlayer {
public:
    struct Start {
        const std::int16_t* source;
        std::uint32_t frameCount;
        bool looped;
        std::uint32_t loopStart, loopLength;
    };
    std::vector<Start> starts;
    int stops = 0;
    PositionCallback callback = nullptr;
    void* user = nullptr;

    void StopPlayback() override { ++stops; }
    // The rate and channels are what the real player is given; the view's audio is heard
    // through it in track_view_playback_test.
    void PlayOnce(const std::int16_t* source, std::uint32_t frameCount, std::uint32_t, std::uint32_t,
                  PositionCallback cb, void* u) override {
        starts.push_back({source, frameCount, false, 0, 0});
        callback = cb;
        user = u;
    }
    void PlayLoop(const std::int16_t* source, std::uint32_t frameCount, std::uint32_t, std::uint32_t,
                  std::uint32_t loopStart, std::uint32_t loopLength, PositionCallback cb, void* u) override {
        starts.push_back({source, frameCount, true, loopStart, loopLength});
        callback = cb;
        user = u;
    }
    // Reports `positions` from another thread and waits for it to end.
    void ReportFromStreamThread(const std::vector<std::uint32_t>& positions) {
        std::thread stream([&] {
            for (std::uint32_t p : positions) callback(p, user);
        });
        stream.join();
    }
};

}  // namespace korvane::testing
