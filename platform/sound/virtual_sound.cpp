#include "platform/sound/virtual_sound.h"

#include "platform/sound/device_core.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace korvane::platform::sound {

struct VirtualOutput::State {
    bool record = false;
    bool realTimeClock = false;

    mutable std::mutex mutex;
    mutable std::condition_variable playingChanged;
    std::vector<std::int16_t> recording;
    std::vector<Fault> faults;
    std::array<std::uint32_t, static_cast<std::size_t>(FaultPoint::kCount)> calls{};
    WaveFormat format;
    std::weak_ptr<detail::DeviceCore> core;
    std::atomic<std::uint64_t> framesRendered{0};

    std::mutex advanceMutex;  // one Advance at a time
    std::vector<std::int16_t> scratch;

    // Real-time clock of the fallback device.
    std::mutex clockMutex;
    std::condition_variable clockWake;
    bool clockStop = false;
    std::thread clock;

    void Advance(std::uint32_t frameCount);
    std::uint32_t Rate() {
        std::lock_guard lock(mutex);
        return format.samplesPerSec;
    }
};

VirtualOutput::VirtualOutput(bool record, bool realTimeClock, std::vector<Fault> faults)
    : state_(std::make_shared<State>()) {
    state_->record = record;
    state_->realTimeClock = realTimeClock;
    state_->faults = std::move(faults);
}

VirtualOutput::~VirtualOutput() {
    {
        std::lock_guard lock(state_->clockMutex);
        state_->clockStop = true;
    }
    state_->clockWake.notify_all();
    if (state_->clock.joinable()) {
        // The clock thread may itself drop the last reference (it briefly owns the
        // device while rendering); it then finishes on its own, holding the state.
        if (state_->clock.get_id() == std::this_thread::get_id()) {
            state_->clock.detach();
        } else {
            state_->clock.join();
        }
    }
}

void VirtualOutput::Bind(const std::shared_ptr<detail::DeviceCore>& core) {
    std::weak_ptr<detail::DeviceCore> weak = core;
    {
        std::lock_guard lock(state_->mutex);
        state_->core = weak;
    }
    if (!state_->realTimeClock) return;
    // Plays in real time (silently) so that streams progress and end as on a sound card.
    state_->clock = std::thread([state = state_] {
        using Clock = std::chrono::steady_clock;
        const auto start = Clock::now();
        std::uint64_t framesDone = 0;
        std::unique_lock lock(state->clockMutex);
        while (!state->clockStop) {
            state->clockWake.wait_for(lock, std::chrono::milliseconds(5));
            if (state->clockStop) break;
            const std::uint32_t rate = state->Rate();
            const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
            const std::uint64_t due = static_cast<std::uint64_t>(elapsed.count()) * rate / 1000000;
            if (due > framesDone) {
                // Like a sound card, the clock never plays faster to catch up: after a
                // stall of this thread the missed time is dropped, beyond 20 ms.
                const auto frames = static_cast<std::uint32_t>(std::min<std::uint64_t>(due - framesDone, rate / 50));
                framesDone = due;
                lock.unlock();
                state->Advance(frames);
                lock.lock();
            }
        }
    });
}

void VirtualOutput::Advance(std::uint32_t frameCount) { state_->Advance(frameCount); }

void VirtualOutput::State::Advance(std::uint32_t frameCount) {
    State* const state_ = this;
    std::lock_guard advance(state_->advanceMutex);
    std::shared_ptr<detail::DeviceCore> core;
    {
        std::lock_guard lock(state_->mutex);
        core = state_->core.lock();
    }
    if (!core) return;
    constexpr std::uint32_t kStepFrames = 4096;
    while (frameCount > 0) {
        const std::uint32_t n = std::min(frameCount, kStepFrames);
        state_->scratch.resize(2 * static_cast<std::size_t>(n));
        const bool due = core->Mix().Render(state_->scratch.data(), n);
        state_->framesRendered.fetch_add(n, std::memory_order_relaxed);
        if (state_->record) {
            std::lock_guard lock(state_->mutex);
            state_->recording.insert(state_->recording.end(), state_->scratch.begin(), state_->scratch.end());
        }
        if (due) core->DispatchNotifications();
        frameCount -= n;
    }
}

std::vector<std::int16_t> VirtualOutput::Recording() const {
    std::lock_guard lock(state_->mutex);
    return state_->recording;
}

void VirtualOutput::ClearRecording() {
    std::lock_guard lock(state_->mutex);
    state_->recording.clear();
}

std::uint64_t VirtualOutput::FramesRendered() const noexcept {
    return state_->framesRendered.load(std::memory_order_relaxed);
}

bool VirtualOutput::IsPlaying() const noexcept {
    std::shared_ptr<detail::DeviceCore> core;
    {
        std::lock_guard lock(state_->mutex);
        core = state_->core.lock();
    }
    return core && core->Mix().AnyPlaying();
}

bool VirtualOutput::WaitUntilPlaying(std::uint32_t timeoutMs) const {
    std::unique_lock lock(state_->mutex);
    return state_->playingChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] {
        auto core = state_->core.lock();
        return core && core->Mix().AnyPlaying();
    });
}

WaveFormat VirtualOutput::PrimaryFormat() const {
    std::lock_guard lock(state_->mutex);
    return state_->format;
}

void VirtualOutput::InjectFault(const Fault& fault) {
    std::lock_guard lock(state_->mutex);
    state_->faults.push_back(fault);
}

HResult VirtualOutput::CheckFault(FaultPoint point) {
    std::lock_guard lock(state_->mutex);
    const std::uint32_t call = ++state_->calls[static_cast<std::size_t>(point)];
    for (const Fault& f : state_->faults) {
        if (f.point == point && (f.nth == 0 || f.nth == call)) return f.result;
    }
    return kDsOk;
}

void VirtualOutput::NoteFormat(const WaveFormat& format) {
    std::lock_guard lock(state_->mutex);
    state_->format = format;
}

void VirtualOutput::NotePlaying() {
    { std::lock_guard lock(state_->mutex); }
    state_->playingChanged.notify_all();
}

namespace {

class VirtualEngine final : public detail::OutputEngine {
public:
    explicit VirtualEngine(std::shared_ptr<VirtualOutput> output) : output_(std::move(output)) {}
    HResult SetFormat(const WaveFormat& format) override {
        output_->NoteFormat(format);
        return kDsOk;
    }
    HResult StartOutput() override { return kDsOk; }
    void BufferStarted() noexcept override { output_->NotePlaying(); }
    HResult Health() const noexcept override { return kDsOk; }
    HResult CheckFault(FaultPoint point) override { return output_->CheckFault(point); }
    void Shutdown() noexcept override {}

private:
    std::shared_ptr<VirtualOutput> output_;
};

}  // namespace

struct VirtualSoundSystem::State {
    Options options;
    mutable std::mutex mutex;
    std::shared_ptr<VirtualOutput> last;
    std::optional<Guid> lastGuid;
    int created = 0;
};

std::vector<DriverInfo> VirtualSoundSystem::DefaultDrivers() {
    return {
        DriverInfo{std::nullopt, "Primary Sound Driver", ""},
        DriverInfo{StableGuid("virtual:Korvane Virtual Output"), "Korvane Virtual Output", "virtual"},
    };
}

VirtualSoundSystem::VirtualSoundSystem() : VirtualSoundSystem(Options{}) {}

VirtualSoundSystem::VirtualSoundSystem(Options options) : state_(std::make_unique<State>()) {
    state_->options = std::move(options);
}

VirtualSoundSystem::~VirtualSoundSystem() = default;

std::vector<DriverInfo> VirtualSoundSystem::Drivers() {
    std::lock_guard lock(state_->mutex);
    return state_->options.drivers;
}

HResult VirtualSoundSystem::CreateDevice(const Guid* guid, std::unique_ptr<SoundDevice>& device) {
    device.reset();
    std::lock_guard lock(state_->mutex);
    if (guid != nullptr) {
        const bool known = std::any_of(state_->options.drivers.begin(), state_->options.drivers.end(),
                                       [&](const DriverInfo& d) { return d.guid && *d.guid == *guid; });
        if (!known) return kDsErrNoDriver;
    }
    auto output = std::make_shared<VirtualOutput>(state_->options.record, state_->options.realTimeClock,
                                                  state_->options.faults);
    if (HResult r = output->CheckFault(FaultPoint::kCreateDevice); Failed(r)) return r;
    auto core = std::make_shared<detail::DeviceCore>();
    core->SetEngine(std::make_unique<VirtualEngine>(output));
    output->NoteFormat(core->primaryFormat);
    output->Bind(core);
    state_->last = output;
    state_->lastGuid = guid ? std::optional<Guid>(*guid) : std::nullopt;
    ++state_->created;
    device = detail::MakeDevice(std::move(core));
    return kDsOk;
}

std::shared_ptr<VirtualOutput> VirtualSoundSystem::LastOutput() const {
    std::lock_guard lock(state_->mutex);
    return state_->last;
}

std::optional<Guid> VirtualSoundSystem::LastCreatedGuid() const {
    std::lock_guard lock(state_->mutex);
    return state_->lastGuid;
}

int VirtualSoundSystem::DevicesCreated() const {
    std::lock_guard lock(state_->mutex);
    return state_->created;
}

}  // namespace korvane::platform::sound
