#pragma once
// Shared set-up for the playback tests: a recording virtual sound system installed as
// the current back end, a fresh driver list, and helpers that drive the virtual clock
// one notification interval at a time, moving on only once the stream thread has
// reacted (no sleeps).
#include "platform/sound/virtual_sound.h"
#include "playback/sound_driver.h"
#include "playback/sound_player.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace korvane::playback::testing {

namespace ds = platform::sound;

// 4096 bytes of 44,100 Hz stereo: the distance between two notifications.
inline constexpr std::uint32_t kIntervalFrames = SoundPlayer::kStreamBufferBytes / 32 / 4;
inline constexpr std::uint32_t kWaitMs = 20000;

// A fixture whose values reveal any offset error: value i is unique over a long span.
inline std::vector<std::int16_t> Staircase(std::size_t valueCount, int salt = 0) {
    std::vector<std::int16_t> values(valueCount);
    for (std::size_t i = 0; i < valueCount; ++i)
        values[i] = static_cast<std::int16_t>(static_cast<int>((i * 7 + static_cast<std::size_t>(salt) * 1013) % 60013) - 30000);
    return values;
}

// Collects the positions reported on the stream thread.
struct PositionLog {
    std::mutex mutex;
    std::vector<std::uint32_t> positions;
    static void Record(std::uint32_t position, void* user) {
        auto* log = static_cast<PositionLog*>(user);
        std::lock_guard lock(log->mutex);
        log->positions.push_back(position);
    }
    std::vector<std::uint32_t> Take() {
        std::lock_guard lock(mutex);
        return positions;
    }
};

class PlaybackTest : public ::testing::Test {
protected:
    void SetUp() override { Install({}); }
    void TearDown() override {
        player_.reset();
        ds::SetSoundSystem(nullptr);
        SoundDrivers().Clear();
    }

    // Replaces the back end (and the player) with one built from `options`.
    void Install(ds::VirtualSoundSystem::Options options, bool open = true) {
        player_.reset();
        options.record = true;
        system_ = std::make_shared<ds::VirtualSoundSystem>(std::move(options));
        ds::SetSoundSystem(system_);
        SoundDrivers().Clear();
        player_ = std::make_unique<SoundPlayer>();
        if (open) player_->OpenDevice("", nullptr);
    }

    SoundPlayer& Player() { return *player_; }
    std::shared_ptr<ds::VirtualOutput> Output() { return system_->LastOutput(); }

    // Advances one notification interval (`frames` output frames: 1024 for 44,100 Hz
    // stereo, 2048 for mono or half rate) and waits until the stream thread handled it.
    void Step(std::uint32_t frames = kIntervalFrames) {
        const std::uint64_t before = player_->StreamWakeCount();
        Output()->Advance(frames);
        ASSERT_TRUE(player_->WaitForStreamWakes(before + 1, kWaitMs));
    }
    void Steps(int count) {
        for (int i = 0; i < count; ++i) Step();
    }
    // Steps until the stream ends by itself; false when it still runs after maxSteps.
    bool StepUntilEnd(int maxSteps, std::uint32_t frames = kIntervalFrames) {
        for (int i = 0; i < maxSteps; ++i) {
            if (!player_->IsStreaming()) return true;
            Step(frames);
        }
        return player_->WaitForStreamEnd(kWaitMs);
    }
    // The recording is `values`, then only silence.
    void ExpectHeardThenSilence(std::vector<std::int16_t> values) {
        const auto heard = Output()->Recording();
        ASSERT_GE(heard.size(), values.size());
        values.resize(heard.size(), 0);
        EXPECT_EQ(heard, values);
    }
    // Waits until the stream just started plays (or has already ended by itself).
    void StartedPlaying() {
        for (std::uint32_t waitedMs = 0; waitedMs < kWaitMs; waitedMs += 50) {
            if (Output()->WaitUntilPlaying(50) || !player_->IsStreaming()) return;
        }
        FAIL() << "the stream never started to play";
    }

    std::shared_ptr<ds::VirtualSoundSystem> system_;
    std::unique_ptr<SoundPlayer> player_;
};

}  // namespace korvane::playback::testing
