#pragma once
// The DirectSound-shaped output layer: driver enumeration, a device with a fixed
// primary format, a circular secondary buffer with Lock/Unlock, looping play, a play
// cursor, and position notifications that set events.
//
// Back ends (chosen by CurrentSoundSystem()):
//   - PortAudio: real output through ALSA or JACK. A secondary buffer is a ring that
//     the PortAudio callback reads; its play cursor advances with the frames handed to
//     the device. The callback never allocates, locks or throws: it copies from the
//     ring, publishes the cursor with an atomic store and wakes a notifier thread
//     (sem_post) that sets the notification events.
//   - Virtual device (virtual_sound.h): the same buffers over a clock that tests advance
//     by hand, optionally recording every frame played. It is also the fallback, with a
//     real-time clock and no recording, when KORVANE_AUDIO=null or PortAudio finds no
//     output device.
//
// Results are HRESULT-shaped: kDsOk (0) or a negative error code with DirectSound's
// value. Nothing in this layer throws for a device failure.
//
// Thread contract: a device and its buffers may be used from any thread, one call at a
// time per object being the usual pattern (calls are internally serialised). Buffers
// keep their device's internals alive, so releasing the device first is safe.
#include "platform/sync/sync.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::platform::sound {

using HResult = std::int32_t;

inline constexpr HResult kDsOk = 0;
inline constexpr HResult kDsErrGeneric = static_cast<HResult>(0x80004005u);       // DSERR_GENERIC
inline constexpr HResult kDsErrNoInterface = static_cast<HResult>(0x80004002u);   // DSERR_NOINTERFACE
inline constexpr HResult kDsErrOutOfMemory = static_cast<HResult>(0x8007000Eu);   // DSERR_OUTOFMEMORY
inline constexpr HResult kDsErrInvalidParam = static_cast<HResult>(0x80070057u);  // DSERR_INVALIDPARAM
inline constexpr HResult kDsErrAllocated = static_cast<HResult>(0x8878000Au);     // DSERR_ALLOCATED
inline constexpr HResult kDsErrInvalidCall = static_cast<HResult>(0x88780032u);   // DSERR_INVALIDCALL
inline constexpr HResult kDsErrPrioLevelNeeded = static_cast<HResult>(0x88780046u);
inline constexpr HResult kDsErrBadFormat = static_cast<HResult>(0x88780064u);     // DSERR_BADFORMAT
inline constexpr HResult kDsErrNoDriver = static_cast<HResult>(0x88780078u);      // DSERR_NODRIVER
inline constexpr HResult kDsErrBufferLost = static_cast<HResult>(0x88780096u);    // DSERR_BUFFERLOST

constexpr bool Succeeded(HResult result) noexcept { return result >= 0; }
constexpr bool Failed(HResult result) noexcept { return result < 0; }

// Cooperative levels (DSSCL_*).
inline constexpr std::uint32_t kDssclNormal = 1;
inline constexpr std::uint32_t kDssclPriority = 2;
inline constexpr std::uint32_t kDssclExclusive = 3;
inline constexpr std::uint32_t kDssclWritePrimary = 4;

// Buffer capabilities (DSBCAPS_*).
inline constexpr std::uint32_t kDsbcapsPrimaryBuffer = 0x00000001;
inline constexpr std::uint32_t kDsbcapsCtrlFrequency = 0x00000020;
inline constexpr std::uint32_t kDsbcapsCtrlPan = 0x00000040;
inline constexpr std::uint32_t kDsbcapsCtrlVolume = 0x00000080;
inline constexpr std::uint32_t kDsbcapsCtrlPositionNotify = 0x00000100;
inline constexpr std::uint32_t kDsbcapsGlobalFocus = 0x00008000;
inline constexpr std::uint32_t kDsbcapsGetCurrentPosition2 = 0x00010000;

inline constexpr std::uint32_t kDsbPlayLooping = 0x00000001;        // DSBPLAY_LOOPING
inline constexpr std::uint32_t kDsbpnOffsetStop = 0xFFFFFFFFu;       // DSBPN_OFFSETSTOP
inline constexpr std::uint16_t kWaveFormatPcm = 1;

// A 16-byte driver identifier. Text form: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
struct Guid {
    std::array<std::uint8_t, 16> bytes{};
    std::string ToString() const;
    friend bool operator==(const Guid&, const Guid&) = default;
};

// A name-based identifier: the same `name` gives the same Guid in every run.
Guid StableGuid(std::string_view name) noexcept;

// WAVEFORMATEX.
struct WaveFormat {
    std::uint16_t formatTag = kWaveFormatPcm;
    std::uint16_t channels = 2;
    std::uint32_t samplesPerSec = 44100;
    std::uint32_t avgBytesPerSec = 176400;
    std::uint16_t blockAlign = 4;
    std::uint16_t bitsPerSample = 16;
    std::uint16_t extraBytes = 0;  // cbSize
    friend bool operator==(const WaveFormat&, const WaveFormat&) = default;
};

// PCM format with consistent derived fields.
WaveFormat PcmFormat(std::uint32_t samplesPerSec, std::uint16_t channels,
                     std::uint16_t bitsPerSample) noexcept;

// DSBUFFERDESC. A secondary buffer needs a 16-bit PCM format (one or two channels) and
// a size that is a whole number of its frames.
struct BufferDescription {
    std::uint32_t flags = 0;
    std::uint32_t bufferBytes = 0;
    const WaveFormat* format = nullptr;  // not owned; copied by CreateSoundBuffer
};

// DSBPOSITIONNOTIFY: `event` is set when the play cursor reaches `byteOffset`, or, for
// kDsbpnOffsetStop, when the buffer stops. The event must outlive the buffer's
// notification list (until it is replaced, or the buffer is released).
struct PositionNotify {
    std::uint32_t byteOffset = 0;
    Event* event = nullptr;
};

// The result of Lock: the locked bytes of the ring.
struct LockedRegion {
    std::span<std::byte> bytes;
};

// IDirectSoundNotify. Owned by its buffer; valid while the buffer lives.
class SoundNotify {
public:
    virtual ~SoundNotify() = default;
    // Replaces the notification list. Allowed only while the buffer is stopped
    // (kDsErrInvalidCall otherwise); offsets must be below the buffer size or be
    // kDsbpnOffsetStop, events non-null (kDsErrInvalidParam).
    virtual HResult SetNotificationPositions(std::span<const PositionNotify> positions) = 0;
};

// IDirectSoundBuffer, primary or secondary.
class SoundBuffer {
public:
    virtual ~SoundBuffer() = default;
    // Primary buffer only, at cooperative level kDssclPriority or above.
    virtual HResult SetFormat(const WaveFormat& format) = 0;
    // Locks `byteCount` bytes from `byteOffset` for writing; the range must end within
    // the buffer (kDsErrInvalidParam otherwise: a lock never wraps round the ring). The
    // memory stays valid while the buffer lives; writing just ahead of the play cursor
    // gives undefined audio, never a crash.
    virtual HResult Lock(std::uint32_t byteOffset, std::uint32_t byteCount, LockedRegion& region) = 0;
    // Commits what was written into a region returned by Lock.
    virtual HResult Unlock(const LockedRegion& region) = 0;
    // A secondary buffer plays looping only (kDsErrInvalidParam without kDsbPlayLooping),
    // and one at a time per device (kDsErrAllocated while another one plays).
    virtual HResult Play(std::uint32_t flags) = 0;
    // Stops the buffer and sets its stop notification events (before returning).
    virtual HResult Stop() = 0;
    // The play cursor: the next byte to be handed to the device.
    virtual HResult GetCurrentPosition(std::uint32_t& playCursor) = 0;
    // Moves the play cursor of a stopped buffer (kDsErrInvalidCall while it plays).
    virtual HResult SetCurrentPosition(std::uint32_t playCursor) = 0;
    virtual HResult Restore() = 0;
    // QueryInterface(IID_IDirectSoundNotify): kDsErrNoInterface unless the buffer was
    // created with kDsbcapsCtrlPositionNotify.
    virtual HResult QueryNotify(SoundNotify*& notify) = 0;
};

using WindowHandle = void*;  // the cooperative-level window; may be null on Linux

// IDirectSound.
class SoundDevice {
public:
    virtual ~SoundDevice() = default;
    virtual HResult SetCooperativeLevel(WindowHandle window, std::uint32_t level) = 0;
    virtual HResult CreateSoundBuffer(const BufferDescription& description,
                                      std::unique_ptr<SoundBuffer>& buffer) = 0;
};

// One driver as enumeration reports it. The primary driver has no GUID.
struct DriverInfo {
    std::optional<Guid> guid;
    std::string description;
    std::string module;
};

// A back end. Implementations: PortAudio (internal) and VirtualSoundSystem.
class SoundSystem {
public:
    virtual ~SoundSystem() = default;
    // The primary driver first (no GUID), then one entry per output device.
    virtual std::vector<DriverInfo> Drivers() = 0;
    // Null guid: the default device. kDsErrNoDriver for an unknown guid.
    virtual HResult CreateDevice(const Guid* guid, std::unique_ptr<SoundDevice>& device) = 0;
};

// The back end in use: the one installed by SetSoundSystem, else (chosen once) the
// virtual fallback when KORVANE_AUDIO=null or when PortAudio reports no output device,
// else PortAudio. Any thread.
std::shared_ptr<SoundSystem> CurrentSoundSystem();
// Installs `system` (nullptr returns to the automatic choice); returns the previous
// override. For tests and tools; call while no device is being created.
std::shared_ptr<SoundSystem> SetSoundSystem(std::shared_ptr<SoundSystem> system);
// The PortAudio back end, or nullptr when PortAudio cannot initialise or lists no
// output device.
std::shared_ptr<SoundSystem> MakePortAudioSoundSystem();

// DirectSoundEnumerateA: calls `callback` for each driver of the current back end
// (guid null for the primary driver) until it returns false.
using DriverCallback =
    std::function<bool(const Guid* guid, std::string_view description, std::string_view module)>;
HResult DirectSoundEnumerate(const DriverCallback& callback);

// DirectSoundCreate on the current back end.
HResult DirectSoundCreate(const Guid* guid, std::unique_ptr<SoundDevice>& device);

}  // namespace korvane::platform::sound
