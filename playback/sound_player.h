#pragma once
// SoundPlayer: the one playback object. It holds the sound device (opened once at
// start-up with the primary format 44,100 Hz, 16-bit, stereo) and streams one block
// of 16-bit PCM through a looping 131,072-byte secondary buffer, once or with a loop
// section, on a stream thread that refills a quarter of the buffer at a time on 32
// position notifications and reports the play position through a callback.
//
// Threads: every member function is for the UI thread (the thread that owns the
// player) unless stated otherwise. The stream thread runs StreamThread; at most one
// exists at a time. The position callback and the error handler run on the stream
// thread: a GUI must marshal them to its UI thread (e.g. a queued signal) before
// touching widgets. They must return promptly and must not call into the player
// (StopPlayback from the stream thread would wait for itself). The UI thread and the stream thread meet only in StopPlayback,
// which stops the buffer and waits for the thread to end.
//
// Ownership: `source` is not owned; it must stay unchanged and alive until the stream
// has ended (StopPlayback has returned, or WaitForStreamEnd reported the end).
#include "platform/sound/sound.h"
#include "platform/sync/sync.h"
#include "playback/dsound_exception.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>

namespace korvane::playback {

class SoundPlayer {
public:
    static constexpr std::uint32_t kStreamBufferBytes = 131072;
    static constexpr std::uint32_t kNotificationCount = 32;  // plus one stop event

    // Called with the play position in 16-bit values from the start of `source`.
    using PositionCallback = void (*)(std::uint32_t position, void* user);

    SoundPlayer();
    // Stops a running stream and waits for it, then releases the device.
    ~SoundPlayer();
    SoundPlayer(const SoundPlayer&) = delete;
    SoundPlayer& operator=(const SoundPlayer&) = delete;

    // Opens the device of the driver whose description equals `description` (exact,
    // case-sensitive); without a match, the first driver that has a GUID, or the first
    // driver with the default device. Enumerates first when the driver list is empty.
    // A running stream is stopped first. Throws DSoundException 4.
    void OpenDevice(std::string_view description, platform::sound::WindowHandle window);

    // Set before PlayOnce/PlayLoop; the stream started next uses it.
    void SetPositionCallback(PositionCallback callback, void* user) noexcept;

    // Stops any running stream (and waits for it), then streams `frameCount` frames of
    // `source` once. `halfRate`: 22,050 Hz instead of 44,100 Hz; `stereo`: two
    // interleaved channels. Throws std::invalid_argument when `source` holds fewer
    // than frameCount frames.
    void PlayOnce(std::span<const std::int16_t> source, std::uint32_t frameCount, bool halfRate, bool stereo);
    // As PlayOnce, but frames [loopStartFrames, loopStartFrames + loopFrames) repeat
    // until stopped (after the frames before the loop have played once). A loop of 0
    // frames plays once. Throws std::invalid_argument when the loop leaves the source.
    void PlayLoop(std::span<const std::int16_t> source, std::uint32_t frameCount, bool halfRate, bool stereo,
                  std::uint32_t loopStartFrames, std::uint32_t loopFrames);

    // Stops the streaming buffer, if any, and waits without time limit until the stream
    // thread has ended. Returns at once when no stream runs.
    void StopPlayback();

    // True while a stream exists and has not ended (its buffer is not yet released).
    bool IsStreaming() const;
    // Waits up to `timeoutMs` for the stream thread to end by itself (a one-shot that
    // has been heard to its end, or a failure). True when no stream runs any more.
    bool WaitForStreamEnd(std::uint32_t timeoutMs);
    // The number of wake-ups (notifications or time-outs) the stream threads have
    // handled so far, and a wait for it to reach `count` (or for the stream to end).
    // Lets a test that drives a virtual clock move on only when the stream thread has
    // reacted. Any thread.
    std::uint64_t StreamWakeCount() const noexcept { return wakeCount_.load(std::memory_order_acquire); }
    bool WaitForStreamWakes(std::uint64_t count, std::uint32_t timeoutMs);

    // The last failure of a stream thread, once; nullopt when there was none since the
    // last call. A failed stream has already released its buffer and ended.
    std::optional<DSoundException> TakeStreamError();

private:
    void StartStream(std::span<const std::int16_t> source, std::uint32_t frameCount, bool halfRate,
                     bool stereo, std::uint32_t loopStartFrames, std::uint32_t loopFrames);
    // What one stream thread works from: fixed when the stream starts, so the UI
    // thread may set the callback for the next stream while this one runs.
    struct StreamParams {
        const std::int16_t* source;
        std::uint32_t sourceValues, loopStart, loopLength;
        bool halfRate, stereo;
        PositionCallback positionCallback;
        void* callbackUser;
    };
    std::uint32_t StreamThread(const StreamParams& params) noexcept;
    void RunStream(const StreamParams& params);
    void ReportStreamError(const DSoundException& error) noexcept;
    void CountWake();

    std::unique_ptr<platform::sound::SoundDevice> device_;
    std::unique_ptr<platform::sound::SoundBuffer> streamBuffer_;  // guarded by bufferMutex_
    std::unique_ptr<platform::sound::SoundBuffer> primaryBuffer_;
    std::unique_ptr<platform::Thread> thread_;  // null: no stream yet (counts as signalled)
    const std::int16_t* source_ = nullptr;
    std::uint32_t sourceValues_ = 0;
    bool halfRate_ = false;
    bool stereo_ = false;
    std::uint32_t loopStart_ = 0;   // 16-bit values
    std::uint32_t loopLength_ = 0;  // 16-bit values
    PositionCallback positionCallback_ = nullptr;
    void* callbackUser_ = nullptr;

    // Serialises reading, stopping, releasing and clearing streamBuffer_ between the UI
    // thread and the stream thread, and orders a stop request against the start of play.
    std::mutex bufferMutex_;
    bool stopRequested_ = false;  // guarded by bufferMutex_

    std::mutex errorMutex_;
    std::optional<DSoundException> lastError_;

    std::atomic<std::uint64_t> wakeCount_{0};
    std::atomic<bool> streamEnded_{true};
    std::mutex wakeMutex_;
    std::condition_variable wakeChanged_;
};

// The process-wide player, constructed on first use and destroyed at process exit.
SoundPlayer& TheSoundPlayer();

}  // namespace korvane::playback
