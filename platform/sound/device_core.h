#pragma once
// Internals shared by the back ends: the ring of a secondary buffer, the mixer that
// the output (PortAudio callback or virtual clock) pulls stereo frames from, and the
// device state the buffer objects share. Not part of the public interface.
#include "platform/sound/sound.h"
#include "platform/sound/virtual_sound.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace korvane::platform::sound::detail {

// What a back end provides: the place the mix goes.
class OutputEngine {
public:
    virtual ~OutputEngine() = default;
    // The primary format changed (device thread). kDsErrBadFormat when refused.
    virtual HResult SetFormat(const WaveFormat& format) = 0;
    // A buffer is about to start playing: make sure frames are being pulled.
    virtual HResult StartOutput() = 0;
    // A buffer has started playing (it is visible to the mixer).
    virtual void BufferStarted() noexcept {}
    // kDsOk, or the error with which the device stopped delivering.
    virtual HResult Health() const noexcept = 0;
    // Injected faults (virtual device only).
    virtual HResult CheckFault(FaultPoint) { return kDsOk; }
    // Stops pulling frames; after it returns the mixer is never called again.
    virtual void Shutdown() noexcept = 0;
};

// The state of one secondary buffer that the mixer reads.
//
// Sharing: the ring bytes are written by the owner between Lock and Unlock and read by
// the renderer; Unlock publishes with a release increment of `published`, which the
// renderer acquires before reading, and the renderer publishes the cursor it has
// passed with a release store, which GetCurrentPosition acquires. The cursor is set
// and the notification list changed only while the buffer is detached from the mixer.
struct BufferCore {
    BufferCore(const WaveFormat& wave, std::uint32_t sizeBytes, std::uint32_t capabilityFlags);

    const WaveFormat format;
    const std::uint32_t bytes;
    const std::uint32_t frames;
    const std::uint32_t flags;
    std::unique_ptr<std::byte[]> data;

    std::atomic<std::uint32_t> playCursor{0};  // bytes, a multiple of blockAlign
    std::atomic<std::uint32_t> published{0};   // bumped by Unlock (release)
    std::atomic<bool> playing{false};
    bool lost = false;                         // guarded by the device mutex

    std::uint32_t phaseFraction = 0;  // renderer-only

    // Notifications (changed only while detached, under the device mutex).
    std::vector<std::uint32_t> notifyOffsets;  // without the stop entries
    std::vector<Event*> notifyEvents;
    std::vector<Event*> stopEvents;
    std::unique_ptr<std::atomic<std::uint64_t>[]> pendingBits;
    std::size_t pendingWords = 0;
};

// Renders the playing buffer (a device plays one at a time) to the stereo output.
// Render is real-time safe: no allocation, no lock, no exception; the buffer is
// attached and detached through an atomic pointer.
class Mixer {
public:
    // Device thread, under the device mutex. False while another buffer is attached.
    bool Attach(BufferCore& buffer) noexcept;
    // Device thread, under the device mutex. Returns once the renderer is no longer
    // reading `buffer`.
    void Detach(BufferCore& buffer) noexcept;
    void SetOutputRate(std::uint32_t samplesPerSec) noexcept;
    bool AnyPlaying() const noexcept;

    // Renderer thread: writes `frameCount` interleaved stereo frames to `out`, silence
    // when nothing plays. Returns true when notifications are due.
    bool Render(std::int16_t* out, std::uint32_t frameCount) noexcept;

private:
    void RenderBuffer(BufferCore& buffer, std::int16_t* out, std::uint32_t frameCount,
                      std::uint32_t outRate) noexcept;
    std::atomic<BufferCore*> buffer_{nullptr};
    std::atomic<bool> busy_{false};
    std::atomic<std::uint32_t> outRate_{44100};
    bool pending_ = false;  // renderer-only
};

// The state a device and its buffers share; kept alive by every buffer.
class DeviceCore {
public:
    DeviceCore();
    ~DeviceCore();
    DeviceCore(const DeviceCore&) = delete;
    DeviceCore& operator=(const DeviceCore&) = delete;

    void SetEngine(std::unique_ptr<OutputEngine> engine) { engine_ = std::move(engine); }
    OutputEngine& Engine() noexcept { return *engine_; }
    Mixer& Mix() noexcept { return mixer_; }
    // Sets the events of every notification the renderer has flagged. Not real-time:
    // called by the notifier thread or by the virtual clock after rendering.
    void DispatchNotifications();

    std::mutex mutex;                  // guards everything below and buffer lifetimes
    std::vector<BufferCore*> buffers;  // live secondary buffers
    std::uint32_t cooperativeLevel = 0;
    WaveFormat primaryFormat;

private:
    Mixer mixer_;
    std::unique_ptr<OutputEngine> engine_;
};

// The device object over a core that has its engine.
std::unique_ptr<SoundDevice> MakeDevice(std::shared_ptr<DeviceCore> core);

}  // namespace korvane::platform::sound::detail
