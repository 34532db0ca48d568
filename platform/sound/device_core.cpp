#include "platform/sound/device_core.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace korvane::platform::sound::detail {

namespace {

// The formats the renderer reads: 16-bit PCM, one or two channels.
bool ValidPcm(const WaveFormat& f) noexcept {
    if (f.formatTag != kWaveFormatPcm || f.bitsPerSample != 16) return false;
    if (f.channels != 1 && f.channels != 2) return false;
    if (f.samplesPerSec < 100 || f.samplesPerSec > 200000) return false;
    return f.blockAlign == 2 * f.channels && f.avgBytesPerSec == f.blockAlign * f.samplesPerSec;
}

inline std::int32_t ReadSample(const std::byte* p) noexcept {
    std::int16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Reads frame `frame` as a left/right pair (a mono frame feeds both sides).
inline void ReadFrame(const BufferCore& b, std::uint32_t frame, std::int32_t& left,
                      std::int32_t& right) noexcept {
    const std::byte* p = b.data.get() + static_cast<std::size_t>(frame) * b.format.blockAlign;
    left = ReadSample(p);
    right = b.format.channels == 2 ? ReadSample(p + 2) : left;
}

}  // namespace

BufferCore::BufferCore(const WaveFormat& wave, std::uint32_t sizeBytes, std::uint32_t capabilityFlags)
    : format(wave), bytes(sizeBytes), frames(sizeBytes / wave.blockAlign), flags(capabilityFlags),
      data(std::make_unique<std::byte[]>(sizeBytes)) {}  // value-initialised: silence

// ---- Mixer ----

bool Mixer::Attach(BufferCore& buffer) noexcept {
    BufferCore* expected = nullptr;
    return buffer_.compare_exchange_strong(expected, &buffer, std::memory_order_acq_rel) || expected == &buffer;
}

void Mixer::Detach(BufferCore& buffer) noexcept {
    BufferCore* expected = &buffer;
    if (!buffer_.compare_exchange_strong(expected, nullptr, std::memory_order_seq_cst)) return;
    // The renderer raises `busy_` before it loads the pointer and lowers it after its
    // last access; once the pointer is cleared and `busy_` is seen low it cannot hold
    // `buffer`.
    while (busy_.load(std::memory_order_seq_cst)) std::this_thread::yield();
}

void Mixer::SetOutputRate(std::uint32_t samplesPerSec) noexcept {
    outRate_.store(samplesPerSec, std::memory_order_release);
}

bool Mixer::AnyPlaying() const noexcept { return buffer_.load(std::memory_order_acquire) != nullptr; }

bool Mixer::Render(std::int16_t* out, std::uint32_t frameCount) noexcept {
    pending_ = false;
    busy_.store(true, std::memory_order_seq_cst);
    BufferCore* buffer = buffer_.load(std::memory_order_seq_cst);
    if (buffer != nullptr && buffer->playing.load(std::memory_order_acquire)) {
        RenderBuffer(*buffer, out, frameCount, outRate_.load(std::memory_order_acquire));
    } else {
        std::fill_n(out, 2 * static_cast<std::size_t>(frameCount), std::int16_t{0});
    }
    busy_.store(false, std::memory_order_seq_cst);
    return pending_;
}

void Mixer::RenderBuffer(BufferCore& b, std::int16_t* out, std::uint32_t frameCount,
                         std::uint32_t outRate) noexcept {
    (void)b.published.load(std::memory_order_acquire);  // pairs with Unlock
    const std::uint32_t oldBytes = b.playCursor.load(std::memory_order_acquire);
    std::uint32_t frame = oldBytes / b.format.blockAlign;
    // Source frames per output frame in 32.32 fixed point; 1.0 for equal rates, so an
    // unconverted buffer is copied bit for bit.
    const std::uint64_t step = (static_cast<std::uint64_t>(b.format.samplesPerSec) << 32) / outRate;
    const std::uint32_t stepWhole = static_cast<std::uint32_t>(step >> 32);
    const std::uint32_t stepFraction = static_cast<std::uint32_t>(step);
    std::uint32_t fraction = b.phaseFraction;
    std::uint64_t framesTravelled = 0;
    for (std::uint32_t i = 0; i < frameCount; ++i) {
        std::int32_t left, right;
        ReadFrame(b, frame, left, right);
        if (fraction != 0) {  // linear interpolation towards the next frame of the ring
            const std::uint32_t next = frame + 1 < b.frames ? frame + 1 : 0;
            std::int32_t nextLeft, nextRight;
            ReadFrame(b, next, nextLeft, nextRight);
            left += static_cast<std::int32_t>((static_cast<std::int64_t>(nextLeft - left) * fraction) >> 32);
            right += static_cast<std::int32_t>((static_cast<std::int64_t>(nextRight - right) * fraction) >> 32);
        }
        // Between two 16-bit values, so within range.
        out[2 * i] = static_cast<std::int16_t>(left);
        out[2 * i + 1] = static_cast<std::int16_t>(right);
        const std::uint64_t sum = static_cast<std::uint64_t>(fraction) + stepFraction;
        fraction = static_cast<std::uint32_t>(sum);
        const std::uint32_t advance = stepWhole + static_cast<std::uint32_t>(sum >> 32);
        frame = (frame + advance) % b.frames;
        framesTravelled += advance;
    }
    b.phaseFraction = fraction;

    // Offsets passed: o is reached when the cursor moves onto or beyond it, i.e. when
    // its distance ahead of the old cursor (a full buffer for o == old) is travelled.
    const std::uint64_t bytesTravelled = framesTravelled * b.format.blockAlign;
    for (std::size_t k = 0; k < b.notifyOffsets.size(); ++k) {
        std::uint64_t distance = (static_cast<std::uint64_t>(b.notifyOffsets[k]) + b.bytes - oldBytes) % b.bytes;
        if (distance == 0) distance = b.bytes;
        if (distance <= bytesTravelled) {
            b.pendingBits[k / 64].fetch_or(std::uint64_t{1} << (k % 64), std::memory_order_release);
            pending_ = true;
        }
    }
    b.playCursor.store(frame * b.format.blockAlign, std::memory_order_release);
}

// ---- DeviceCore ----

DeviceCore::DeviceCore() = default;

DeviceCore::~DeviceCore() {
    if (engine_) engine_->Shutdown();
}

void DeviceCore::DispatchNotifications() {
    std::lock_guard lock(mutex);
    for (BufferCore* b : buffers) {
        for (std::size_t w = 0; w < b->pendingWords; ++w) {
            std::uint64_t bits = b->pendingBits[w].exchange(0, std::memory_order_acq_rel);
            while (bits != 0) {
                const int bit = __builtin_ctzll(bits);
                bits &= bits - 1;
                const std::size_t k = w * 64 + static_cast<std::size_t>(bit);
                if (k < b->notifyEvents.size()) b->notifyEvents[k]->Set();
            }
        }
    }
}

namespace {

// ---- Secondary buffer ----

class SecondaryBuffer final : public SoundBuffer, private SoundNotify {
public:
    SecondaryBuffer(std::shared_ptr<DeviceCore> core, std::unique_ptr<BufferCore> state)
        : core_(std::move(core)), b_(std::move(state)) {
        std::lock_guard lock(core_->mutex);
        core_->buffers.push_back(b_.get());
    }
    ~SecondaryBuffer() override {
        std::lock_guard lock(core_->mutex);
        b_->playing.store(false, std::memory_order_release);
        core_->Mix().Detach(*b_);
        std::erase(core_->buffers, b_.get());
    }

    HResult SetFormat(const WaveFormat&) override { return kDsErrInvalidCall; }

    HResult Lock(std::uint32_t byteOffset, std::uint32_t byteCount, LockedRegion& region) override {
        region = {};
        std::lock_guard lock(core_->mutex);
        if (HResult r = core_->Engine().CheckFault(FaultPoint::kLock); Failed(r)) {
            if (r == kDsErrBufferLost) b_->lost = true;
            return r;
        }
        if (Failed(core_->Engine().Health())) b_->lost = true;
        if (b_->lost) return kDsErrBufferLost;
        if (byteOffset >= b_->bytes || byteCount == 0 || byteCount > b_->bytes - byteOffset)
            return kDsErrInvalidParam;
        region.bytes = {b_->data.get() + byteOffset, byteCount};
        return kDsOk;
    }

    HResult Unlock(const LockedRegion& region) override {
        std::lock_guard lock(core_->mutex);
        if (HResult r = core_->Engine().CheckFault(FaultPoint::kUnlock); Failed(r)) return r;
        if (!Inside(region.bytes)) return kDsErrInvalidParam;
        b_->published.fetch_add(1, std::memory_order_release);
        return kDsOk;
    }

    HResult Play(std::uint32_t flags) override {
        if (!(flags & kDsbPlayLooping)) return kDsErrInvalidParam;
        std::lock_guard lock(core_->mutex);
        if (HResult r = core_->Engine().CheckFault(FaultPoint::kPlay); Failed(r)) return r;
        if (b_->lost) return kDsErrBufferLost;
        if (HResult r = core_->Engine().Health(); Failed(r)) return r;
        if (b_->playing.load(std::memory_order_acquire)) return kDsOk;  // playing means attached
        if (HResult r = core_->Engine().StartOutput(); Failed(r)) return r;
        b_->playing.store(true, std::memory_order_release);
        if (!core_->Mix().Attach(*b_)) {
            b_->playing.store(false, std::memory_order_release);
            return kDsErrAllocated;
        }
        core_->Engine().BufferStarted();
        return kDsOk;
    }

    HResult Stop() override {
        std::lock_guard lock(core_->mutex);
        const bool wasPlaying = b_->playing.exchange(false, std::memory_order_acq_rel);
        core_->Mix().Detach(*b_);
        if (wasPlaying) {
            for (Event* e : b_->stopEvents) e->Set();
        }
        return kDsOk;
    }

    HResult GetCurrentPosition(std::uint32_t& playCursor) override {
        std::lock_guard lock(core_->mutex);
        if (HResult r = core_->Engine().CheckFault(FaultPoint::kGetCurrentPosition); Failed(r)) return r;
        if (HResult r = core_->Engine().Health(); Failed(r)) return r;
        playCursor = b_->playCursor.load(std::memory_order_acquire);
        return kDsOk;
    }

    HResult SetCurrentPosition(std::uint32_t playCursor) override {
        std::lock_guard lock(core_->mutex);
        if (HResult r = core_->Engine().CheckFault(FaultPoint::kSetCurrentPosition); Failed(r)) return r;
        if (b_->playing.load(std::memory_order_acquire)) return kDsErrInvalidCall;
        if (playCursor >= b_->bytes) return kDsErrInvalidParam;
        b_->playCursor.store(playCursor - playCursor % b_->format.blockAlign, std::memory_order_release);
        b_->phaseFraction = 0;
        return kDsOk;
    }

    HResult Restore() override {
        std::lock_guard lock(core_->mutex);
        if (HResult r = core_->Engine().Health(); Failed(r)) return r;
        b_->lost = false;
        return kDsOk;
    }

    HResult QueryNotify(SoundNotify*& notify) override {
        notify = nullptr;
        if (!(b_->flags & kDsbcapsCtrlPositionNotify)) return kDsErrNoInterface;
        std::lock_guard lock(core_->mutex);
        if (HResult r = core_->Engine().CheckFault(FaultPoint::kQueryNotify); Failed(r)) return r;
        notify = this;
        return kDsOk;
    }

private:
    HResult SetNotificationPositions(std::span<const PositionNotify> positions) override {
        std::lock_guard lock(core_->mutex);
        if (HResult r = core_->Engine().CheckFault(FaultPoint::kSetNotificationPositions); Failed(r)) return r;
        if (b_->playing.load(std::memory_order_acquire)) return kDsErrInvalidCall;
        for (const PositionNotify& p : positions) {
            if (p.event == nullptr) return kDsErrInvalidParam;
            if (p.byteOffset != kDsbpnOffsetStop && p.byteOffset >= b_->bytes) return kDsErrInvalidParam;
        }
        core_->Mix().Detach(*b_);  // the renderer no longer reads the old list
        b_->notifyOffsets.clear();
        b_->notifyEvents.clear();
        b_->stopEvents.clear();
        for (const PositionNotify& p : positions) {
            if (p.byteOffset == kDsbpnOffsetStop) {
                b_->stopEvents.push_back(p.event);
            } else {
                b_->notifyOffsets.push_back(p.byteOffset);
                b_->notifyEvents.push_back(p.event);
            }
        }
        b_->pendingWords = (b_->notifyOffsets.size() + 63) / 64;
        b_->pendingBits = std::make_unique<std::atomic<std::uint64_t>[]>(b_->pendingWords);
        return kDsOk;
    }

    bool Inside(std::span<std::byte> part) const noexcept {
        if (part.empty()) return true;
        const std::byte* begin = b_->data.get();
        return part.data() >= begin && part.data() + part.size() <= begin + b_->bytes;
    }

    std::shared_ptr<DeviceCore> core_;
    std::unique_ptr<BufferCore> b_;
};

// ---- Primary buffer ----

class PrimaryBuffer final : public SoundBuffer {
public:
    explicit PrimaryBuffer(std::shared_ptr<DeviceCore> core) : core_(std::move(core)) {}

    HResult SetFormat(const WaveFormat& format) override {
        std::lock_guard lock(core_->mutex);
        if (core_->cooperativeLevel < kDssclPriority) return kDsErrPrioLevelNeeded;
        // The mix goes out as stereo.
        if (!ValidPcm(format) || format.channels != 2 || format.samplesPerSec < 8000 ||
            format.samplesPerSec > 192000)
            return kDsErrBadFormat;
        if (HResult r = core_->Engine().CheckFault(FaultPoint::kSetPrimaryFormat); Failed(r)) return r;
        if (HResult r = core_->Engine().SetFormat(format); Failed(r)) return r;
        core_->primaryFormat = format;
        core_->Mix().SetOutputRate(format.samplesPerSec);
        return kDsOk;
    }
    HResult Lock(std::uint32_t, std::uint32_t, LockedRegion& region) override {
        region = {};
        return kDsErrPrioLevelNeeded;  // writing the primary buffer needs kDssclWritePrimary
    }
    HResult Unlock(const LockedRegion&) override { return kDsErrInvalidCall; }
    HResult Play(std::uint32_t flags) override {
        return (flags & kDsbPlayLooping) ? kDsOk : kDsErrInvalidParam;
    }
    HResult Stop() override { return kDsOk; }
    HResult GetCurrentPosition(std::uint32_t& playCursor) override {
        playCursor = 0;
        return kDsOk;
    }
    HResult SetCurrentPosition(std::uint32_t) override { return kDsErrInvalidCall; }
    HResult Restore() override { return core_->Engine().Health(); }
    HResult QueryNotify(SoundNotify*& notify) override {
        notify = nullptr;
        return kDsErrNoInterface;
    }

private:
    std::shared_ptr<DeviceCore> core_;
};

// ---- Device ----

class Device final : public SoundDevice {
public:
    explicit Device(std::shared_ptr<DeviceCore> core) : core_(std::move(core)) {}

    HResult SetCooperativeLevel(WindowHandle, std::uint32_t level) override {
        if (level < kDssclNormal || level > kDssclWritePrimary) return kDsErrInvalidParam;
        std::lock_guard lock(core_->mutex);
        core_->cooperativeLevel = level;
        return kDsOk;
    }

    HResult CreateSoundBuffer(const BufferDescription& d, std::unique_ptr<SoundBuffer>& buffer) override {
        buffer.reset();
        if (d.flags & kDsbcapsPrimaryBuffer) {
            buffer = std::make_unique<PrimaryBuffer>(core_);
            return kDsOk;
        }
        if (d.format == nullptr || !ValidPcm(*d.format)) return kDsErrBadFormat;
        if (d.bufferBytes == 0 || d.bufferBytes % d.format->blockAlign != 0) return kDsErrInvalidParam;
        {
            std::lock_guard lock(core_->mutex);
            if (HResult r = core_->Engine().CheckFault(FaultPoint::kCreateBuffer); Failed(r)) return r;
        }
        buffer = std::make_unique<SecondaryBuffer>(
            core_, std::make_unique<BufferCore>(*d.format, d.bufferBytes, d.flags));
        return kDsOk;
    }

private:
    std::shared_ptr<DeviceCore> core_;
};

}  // namespace

std::unique_ptr<SoundDevice> MakeDevice(std::shared_ptr<DeviceCore> core) {
    return std::make_unique<Device>(std::move(core));
}

}  // namespace korvane::platform::sound::detail
