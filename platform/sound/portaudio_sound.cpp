// The PortAudio back end. A device is one PortAudio output device; its stream is opened
// when the first buffer plays and runs until the device is released. The stream
// callback renders the mix (real-time safe) and wakes the notifier thread with
// sem_post, which is async-signal-safe and never blocks; the notifier sets the events.
#include "platform/sound/device_core.h"
#include "platform/sound/sound.h"

#include <portaudio.h>
#include <semaphore.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <map>
#include <mutex>
#include <string>

namespace korvane::platform::sound {

namespace {

// Pa_Initialize/Pa_Terminate, shared by every user in the process.
class PaLibrary {
public:
    PaLibrary() : ok_(Pa_Initialize() == paNoError) {}
    ~PaLibrary() {
        if (ok_) Pa_Terminate();
    }
    PaLibrary(const PaLibrary&) = delete;
    PaLibrary& operator=(const PaLibrary&) = delete;
    bool Ok() const noexcept { return ok_; }

    static std::shared_ptr<PaLibrary> Acquire() {
        static std::mutex mutex;
        static std::weak_ptr<PaLibrary> shared;
        std::lock_guard lock(mutex);
        auto library = shared.lock();
        if (!library) {
            library = std::make_shared<PaLibrary>();
            shared = library;
        }
        return library;
    }

private:
    bool ok_;
};

struct PaOutput {
    PaDeviceIndex index;
    std::string description;
    std::string hostApi;
    Guid guid;
};

// Output devices in PortAudio's order. The guid is derived from the host API and the
// device name (with an occurrence number for twins), so it is the same in every run
// while the hardware is the same.
std::vector<PaOutput> ListOutputs() {
    std::vector<PaOutput> outputs;
    std::map<std::string, int> seen;
    const PaDeviceIndex count = Pa_GetDeviceCount();
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info == nullptr || info->maxOutputChannels < 1) continue;
        const PaHostApiInfo* host = Pa_GetHostApiInfo(info->hostApi);
        PaOutput out;
        out.index = i;
        out.hostApi = host && host->name ? host->name : "";
        const std::string name = info->name ? info->name : "";
        const std::string key = out.hostApi + ":" + name;
        const int occurrence = seen[key]++;
        out.guid = StableGuid("portaudio:" + key + "#" + std::to_string(occurrence));
        out.description = name + " (" + out.hostApi + ")";
        if (occurrence > 0) out.description += " #" + std::to_string(occurrence + 1);
        outputs.push_back(std::move(out));
    }
    return outputs;
}

class PortAudioEngine final : public detail::OutputEngine {
public:
    PortAudioEngine(std::shared_ptr<PaLibrary> library, PaDeviceIndex device, detail::DeviceCore& core)
        : library_(std::move(library)), device_(device), core_(core) {
        sem_init(&wake_, 0, 0);
        notifier_ = std::make_unique<Thread>([this] { return NotifierLoop(); });
    }
    ~PortAudioEngine() override {
        Shutdown();
        sem_destroy(&wake_);
    }

    HResult SetFormat(const WaveFormat& format) override {
        std::lock_guard lock(mutex_);
        PaStreamParameters params = Parameters(format);
        if (Pa_IsFormatSupported(nullptr, &params, format.samplesPerSec) != paFormatIsSupported)
            return kDsErrBadFormat;
        CloseLocked();
        format_ = format;
        return kDsOk;
    }

    HResult StartOutput() override {
        std::lock_guard lock(mutex_);
        if (Failed(health_.load(std::memory_order_acquire))) return health_.load();
        if (stream_ == nullptr) {
            PaStreamParameters params = Parameters(format_);
            PaError err = Pa_OpenStream(&stream_, nullptr, &params, format_.samplesPerSec,
                                        paFramesPerBufferUnspecified, paNoFlag, &PortAudioEngine::Callback, this);
            if (err != paNoError) {
                stream_ = nullptr;
                return err == paDeviceUnavailable ? kDsErrAllocated : kDsErrGeneric;
            }
            Pa_SetStreamFinishedCallback(stream_, &PortAudioEngine::Finished);
        }
        if (Pa_IsStreamActive(stream_) != 1) {
            closing_.store(false, std::memory_order_release);
            lastCallbackNs_.store(NowNs(), std::memory_order_release);
            if (Pa_StartStream(stream_) != paNoError) return kDsErrGeneric;
            running_.store(true, std::memory_order_release);
        }
        return kDsOk;
    }

    // A stream that stops calling back for kStallNs (a suspended or vanished server
    // does that without an error) counts as failed, so that a stream waiting on its
    // position is told instead of waiting for ever.
    HResult Health() const noexcept override {
        const HResult health = health_.load(std::memory_order_acquire);
        if (Failed(health)) return health;
        if (running_.load(std::memory_order_acquire) &&
            NowNs() - lastCallbackNs_.load(std::memory_order_acquire) > kStallNs)
            return kDsErrGeneric;
        return kDsOk;
    }

    void Shutdown() noexcept override {
        {
            std::lock_guard lock(mutex_);
            CloseLocked();
        }
        if (notifier_) {
            quit_.store(true, std::memory_order_release);
            sem_post(&wake_);
            notifier_.reset();  // joins
        }
    }

private:
    PaStreamParameters Parameters(const WaveFormat& format) const {
        PaStreamParameters params{};
        params.device = device_;
        params.channelCount = format.channels;
        params.sampleFormat = paInt16;
        const PaDeviceInfo* info = Pa_GetDeviceInfo(device_);
        params.suggestedLatency = info ? info->defaultLowOutputLatency : 0.05;
        params.hostApiSpecificStreamInfo = nullptr;
        return params;
    }

    static std::int64_t NowNs() noexcept {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

    void CloseLocked() noexcept {
        if (stream_ == nullptr) return;
        closing_.store(true, std::memory_order_release);
        running_.store(false, std::memory_order_release);
        Pa_StopStream(stream_);  // returns after the last callback
        Pa_CloseStream(stream_);
        stream_ = nullptr;
    }

    static int Callback(const void*, void* output, unsigned long frameCount, const PaStreamCallbackTimeInfo*,
                        PaStreamCallbackFlags, void* user) {
        auto* self = static_cast<PortAudioEngine*>(user);
        self->lastCallbackNs_.store(NowNs(), std::memory_order_release);  // vDSO clock read: no lock
        if (self->core_.Mix().Render(static_cast<std::int16_t*>(output), static_cast<std::uint32_t>(frameCount)))
            sem_post(&self->wake_);
        return paContinue;
    }

    // The stream became inactive: a deliberate stop, or the device gave up.
    static void Finished(void* user) {
        auto* self = static_cast<PortAudioEngine*>(user);
        if (!self->closing_.load(std::memory_order_acquire)) {
            self->health_.store(kDsErrGeneric, std::memory_order_release);
            sem_post(&self->wake_);
        }
    }

    std::uint32_t NotifierLoop() {
        for (;;) {
            while (sem_wait(&wake_) != 0 && errno == EINTR) {
            }
            if (quit_.load(std::memory_order_acquire)) return 0;
            core_.DispatchNotifications();
        }
    }

    std::shared_ptr<PaLibrary> library_;
    const PaDeviceIndex device_;
    detail::DeviceCore& core_;
    std::mutex mutex_;
    PaStream* stream_ = nullptr;
    WaveFormat format_;
    std::atomic<HResult> health_{kDsOk};
    static constexpr std::int64_t kStallNs = 2'000'000'000;
    std::atomic<bool> closing_{false};
    std::atomic<bool> running_{false};
    std::atomic<std::int64_t> lastCallbackNs_{0};
    std::atomic<bool> quit_{false};
    sem_t wake_;
    std::unique_ptr<Thread> notifier_;
};

class PortAudioSystem final : public SoundSystem {
public:
    explicit PortAudioSystem(std::shared_ptr<PaLibrary> library) : library_(std::move(library)) {}

    std::vector<DriverInfo> Drivers() override {
        std::lock_guard lock(mutex_);
        std::vector<DriverInfo> drivers{DriverInfo{std::nullopt, "Primary Sound Driver", ""}};
        for (PaOutput& out : ListOutputs()) {
            drivers.push_back(DriverInfo{out.guid, std::move(out.description), std::move(out.hostApi)});
        }
        return drivers;
    }

    HResult CreateDevice(const Guid* guid, std::unique_ptr<SoundDevice>& device) override {
        device.reset();
        std::lock_guard lock(mutex_);
        PaDeviceIndex index = paNoDevice;
        if (guid == nullptr) {
            index = Pa_GetDefaultOutputDevice();
        } else {
            for (const PaOutput& out : ListOutputs()) {
                if (out.guid == *guid) index = out.index;
            }
        }
        if (index == paNoDevice) return kDsErrNoDriver;
        auto core = std::make_shared<detail::DeviceCore>();
        core->SetEngine(std::make_unique<PortAudioEngine>(library_, index, *core));
        device = detail::MakeDevice(std::move(core));
        return kDsOk;
    }

private:
    std::shared_ptr<PaLibrary> library_;
    std::mutex mutex_;
};

}  // namespace

std::shared_ptr<SoundSystem> MakePortAudioSoundSystem() {
    auto library = PaLibrary::Acquire();
    if (!library->Ok()) return nullptr;
    if (ListOutputs().empty() || Pa_GetDefaultOutputDevice() == paNoDevice) return nullptr;
    return std::make_shared<PortAudioSystem>(std::move(library));
}

}  // namespace korvane::platform::sound
