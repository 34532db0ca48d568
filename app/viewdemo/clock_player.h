#pragma once
// A region player for the developer harness: it plays nothing audible but runs a stream
// thread that reports the play position in real time, as the sound device would, so
// the play cursor can be watched without a sound card.
#include "track/view/region_player.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace korvane::viewdemo {

class ClockPlayer : public trackview::RegionPlayer {
public:
    ~ClockPlayer() override { StopPlayback(); }

    void StopPlayback() override {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        if (stream_.joinable()) stream_.join();
    }

    void PlayOnce(const std::int16_t*, std::uint32_t frameCount, std::uint32_t rateHz, std::uint32_t channels,
                  PositionCallback callback, void* user) override {
        Start(frameCount, rateHz, channels, 0, 0, callback, user);
    }

    void PlayLoop(const std::int16_t*, std::uint32_t frameCount, std::uint32_t rateHz, std::uint32_t channels,
                  std::uint32_t loopStart, std::uint32_t loopLength, PositionCallback callback, void* user) override {
        Start(frameCount, rateHz, channels, loopStart, loopLength, callback, user);
    }

private:
    void Start(std::uint32_t frameCount, std::uint32_t rateHz, std::uint32_t channels, std::uint32_t loopStart,
               std::uint32_t loopLength, PositionCallback callback, void* user) {
        StopPlayback();
        stop_ = false;
        stream_ = std::thread([=, this] {
            const auto begin = std::chrono::steady_clock::now();
            std::unique_lock lock(mutex_);
            while (!stop_) {
                const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
                auto frame = static_cast<std::uint64_t>(seconds * rateHz);
                if (frame >= frameCount) {
                    if (loopLength == 0) break;
                    frame = loopStart + (frame - loopStart) % loopLength;
                }
                callback(static_cast<std::uint32_t>(frame * channels), user);
                wake_.wait_for(lock, std::chrono::milliseconds(20), [this] { return stop_; });
            }
        });
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread stream_;
};

}  // namespace korvane::viewdemo
