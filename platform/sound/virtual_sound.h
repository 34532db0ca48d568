#pragma once
// The virtual sound device: the buffers of sound.h over a clock that the caller
// advances (or, for the fallback, a real-time clock), optionally recording every frame
// the device put out. Faults can be injected per call kind, so the error paths of the
// callers can be exercised.
//
// Typical test use:
//   auto system = std::make_shared<VirtualSoundSystem>(VirtualSoundSystem::Options{.record = true});
//   SetSoundSystem(system);
//   ... open a device, start a stream ...
//   auto output = system->LastOutput();
//   output->WaitUntilPlaying(5000);
//   output->Advance(1024);              // renders 1024 frames, sets crossed notifications
//   auto heard = output->Recording();   // interleaved samples at the primary format
#include "platform/sound/sound.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace korvane::platform::sound {

namespace detail {
class DeviceCore;
}

// Calls that can be made to fail.
enum class FaultPoint : int {
    kCreateDevice, kSetPrimaryFormat, kCreateBuffer, kQueryNotify, kSetNotificationPositions,
    kLock, kUnlock, kSetCurrentPosition, kPlay, kGetCurrentPosition, kCount
};

// One injected fault: the `nth` call (1-based, counted per device and point; 0 = every
// call) of `point` returns `result`. For kLock with result kDsErrBufferLost the buffer
// becomes lost: Lock and Play answer kDsErrBufferLost until Restore().
struct Fault {
    FaultPoint point = FaultPoint::kLock;
    std::uint32_t nth = 1;
    HResult result = kDsErrGeneric;
};

// The clock, output and recording of one virtual device.
//
// Thread contract: Advance is called by one thread at a time (the test thread, or the
// real-time clock thread of the fallback); every other member may be called from any
// thread. Notification events crossed during Advance are set before it returns.
class VirtualOutput {
public:
    VirtualOutput(bool record, bool realTimeClock, std::vector<Fault> faults);
    ~VirtualOutput();
    VirtualOutput(const VirtualOutput&) = delete;
    VirtualOutput& operator=(const VirtualOutput&) = delete;

    // Renders `frameCount` frames of the playing buffer at the primary format,
    // advancing its play cursor. Does nothing once the device is released.
    void Advance(std::uint32_t frameCount);
    // Everything rendered since the last ClearRecording (empty unless recording):
    // interleaved 16-bit stereo samples.
    std::vector<std::int16_t> Recording() const;
    void ClearRecording();
    std::uint64_t FramesRendered() const noexcept;
    // True when a secondary buffer is playing.
    bool IsPlaying() const noexcept;
    // Waits until a secondary buffer plays; false on time-out. Any thread.
    bool WaitUntilPlaying(std::uint32_t timeoutMs) const;
    WaveFormat PrimaryFormat() const;
    // Adds a fault for the calls to come.
    void InjectFault(const Fault& fault);

    // Used by the device internals.
    HResult CheckFault(FaultPoint point);
    void Bind(const std::shared_ptr<detail::DeviceCore>& core);
    void NoteFormat(const WaveFormat& format);
    void NotePlaying();

private:
    struct State;
    std::shared_ptr<State> state_;  // shared with the real-time clock thread
};

// A back end of virtual devices. Drivers() lists `Options::drivers`; every
// CreateDevice makes a new device with its own VirtualOutput.
class VirtualSoundSystem : public SoundSystem {
public:
    struct Options {
        std::vector<DriverInfo> drivers = DefaultDrivers();
        bool record = false;          // keep every rendered frame
        bool realTimeClock = false;   // advance by itself in real time (the fallback)
        std::vector<Fault> faults;    // faults for every device created
    };
    static std::vector<DriverInfo> DefaultDrivers();

    VirtualSoundSystem();
    explicit VirtualSoundSystem(Options options);
    ~VirtualSoundSystem() override;

    std::vector<DriverInfo> Drivers() override;
    HResult CreateDevice(const Guid* guid, std::unique_ptr<SoundDevice>& device) override;

    // The output of the most recently created device (nullptr before the first one).
    std::shared_ptr<VirtualOutput> LastOutput() const;
    // The guid passed to the most recent CreateDevice (nullopt for the default device).
    std::optional<Guid> LastCreatedGuid() const;
    int DevicesCreated() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace korvane::platform::sound
