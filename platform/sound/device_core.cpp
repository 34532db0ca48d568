#include "platform/sound/device_core.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <thread>

namespace korvane::platform::sound::detail {

namespace {

bool ValidPcm(const WaveFormat& f) noexcept {
    if (f.formatTag != kWaveFormatPcm) return false;
    if (f.channels != 1 && f.channels != 2) return false;
    if (f.bitsPerSample != 8 && f.bitsPerSample != 16) return false;
    if (f.samplesPerSec < 100 || f.samplesPerSec > 200000) return false;
    if (f.blockAlign != f.channels * f.bitsPerSample / 8) return false;
    return f.avgBytesPerSec == f.blockAlign * f.samplesPerSec;
}

inline std::int32_t ReadSample(const std::byte* p, std::uint16_t bits) noexcept {
    if (bits == 16) {
        std::int16_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    return (static_cast<std::int32_t>(std::to_integer<std::uint8_t>(*p)) - 128) * 256;
}

// Reads frame `frame` as a left/right pair (a mono frame feeds both sides).
inline void ReadFrame(const BufferCore& b, std::uint32_t frame, std::int32_t& left,
                      std::int32_t& right) noexcept {
    const std::byte* p = b.data.get() + static_cast<std::size_t>(frame) * b.format.blockAlign;
    left = ReadSample(p, b.format.bitsPerSample);
    right = b.format.channels == 2 ? ReadSample(p + b.format.bitsPerSample / 8, b.format.bitsPerSample)
                                   : left;
}

inline std::int16_t Saturate(std::int32_t v) noexcept {
    return static_cast<std::int16_t>(std::clamp<std::int32_t>(v, -32768, 32767));
}

}  // namespace

BufferCore::BufferCore(const WaveFormat& wave, std::uint32_t sizeBytes, std::uint32_t capabilityFlags)
    : format(wave), bytes(sizeBytes), frames(sizeBytes / wave.blockAlign), flags(capabilityFlags),
      data(std::make_unique<std::byte[]>(sizeBytes)) {
    std::memset(data.get(), wave.bitsPerSample == 8 ? 0x80 : 0, sizeBytes);
}

// ---- Mixer ----

bool Mixer::Attach(BufferCore& buffer) noexcept {
    if (buffer.slot >= 0 && slots_[buffer.slot].buffer.load(std::memory_order_acquire) == &buffer)
        return true;
    for (int i = 0; i < kSlots; ++i) {
        BufferCore* expected = nullptr;
        if (slots_[i].buffer.compare_exchange_strong(expected, &buffer, std::memory_order_acq_rel)) {
            buffer.slot = i;
            return true;
        }
    }
    return false;
}

void Mixer::Detach(BufferCore& buffer) noexcept {
    if (buffer.slot < 0) return;
    Slot& slot = slots_[buffer.slot];
    BufferCore* expected = &buffer;
    slot.buffer.compare_exchange_strong(expected, nullptr, std::memory_order_seq_cst);
    // The renderer raises `busy` before it loads the slot and lowers it after its last
    // access; once the slot is cleared and `busy` is seen low it cannot hold `buffer`.
    while (slot.busy.load(std::memory_order_seq_cst)) std::this_thread::yield();
    buffer.slot = -1;
}

void Mixer::SetOutputFormat(std::uint32_t samplesPerSec, std::uint16_t channels) noexcept {
    outRate_.store(samplesPerSec, std::memory_order_release);
    outChannels_.store(channels, std::memory_order_release);
}

bool Mixer::AnyPlaying() const noexcept {
    for (const Slot& slot : slots_) {
        if (slot.buffer.load(std::memory_order_acquire) != nullptr) return true;
    }
    return false;
}

bool Mixer::Render(std::int16_t* out, std::uint32_t frameCount) noexcept {
    constexpr std::uint32_t kChunkFrames = 256;
    const std::uint16_t channels = outChannels_.load(std::memory_order_acquire);
    const std::uint32_t rate = outRate_.load(std::memory_order_acquire);
    std::int32_t mix[kChunkFrames * 2];
    pending_ = false;
    while (frameCount > 0) {
        const std::uint32_t n = std::min(frameCount, kChunkFrames);
        std::fill_n(mix, n * channels, 0);
        for (Slot& slot : slots_) {
            slot.busy.store(true, std::memory_order_seq_cst);
            BufferCore* buffer = slot.buffer.load(std::memory_order_seq_cst);
            if (buffer != nullptr && buffer->playing.load(std::memory_order_acquire)) {
                MixBuffer(*buffer, mix, n, channels, rate);
                if (!buffer->playing.load(std::memory_order_acquire)) {
                    BufferCore* expected = buffer;  // ended by itself: leave the slot
                    slot.buffer.compare_exchange_strong(expected, nullptr, std::memory_order_seq_cst);
                }
            }
            slot.busy.store(false, std::memory_order_seq_cst);
        }
        for (std::uint32_t i = 0; i < n * channels; ++i) out[i] = Saturate(mix[i]);
        out += n * channels;
        frameCount -= n;
    }
    return pending_;
}

void Mixer::MixBuffer(BufferCore& b, std::int32_t* mix, std::uint32_t frameCount,
                      std::uint16_t outChannels, std::uint32_t outRate) noexcept {
    const std::uint32_t epoch = b.positionEpoch.load(std::memory_order_acquire);
    if (epoch != b.seenEpoch) {
        b.seenEpoch = epoch;
        b.phaseFraction = 0;
    }
    (void)b.published.load(std::memory_order_acquire);  // pairs with Unlock
    std::uint32_t oldBytes = b.playCursor.load(std::memory_order_acquire);
    std::uint32_t frame = oldBytes / b.format.blockAlign;
    if (frame >= b.frames) frame = 0;
    const bool looping = b.looping.load(std::memory_order_acquire);
    // Source frames per output frame in 32.32 fixed point; 1.0 for equal rates, so an
    // unconverted buffer is copied bit for bit.
    const std::uint64_t step = (static_cast<std::uint64_t>(b.format.samplesPerSec) << 32) / outRate;
    const std::uint32_t stepWhole = static_cast<std::uint32_t>(step >> 32);
    const std::uint32_t stepFraction = static_cast<std::uint32_t>(step);
    std::uint32_t fraction = b.phaseFraction;
    std::uint64_t framesTravelled = 0;
    bool ended = false;
    for (std::uint32_t i = 0; i < frameCount; ++i) {
        std::int32_t left, right;
        ReadFrame(b, frame, left, right);
        if (fraction != 0) {  // linear interpolation towards the next frame
            std::uint32_t next = frame + 1;
            if (next >= b.frames) next = looping ? 0 : frame;
            std::int32_t nextLeft, nextRight;
            ReadFrame(b, next, nextLeft, nextRight);
            left += static_cast<std::int32_t>((static_cast<std::int64_t>(nextLeft - left) * fraction) >> 32);
            right += static_cast<std::int32_t>((static_cast<std::int64_t>(nextRight - right) * fraction) >> 32);
        }
        if (outChannels == 1) {
            mix[i] += (left + right) / 2;
        } else {
            mix[2 * i] += left;
            mix[2 * i + 1] += right;
        }
        const std::uint64_t sum = static_cast<std::uint64_t>(fraction) + stepFraction;
        fraction = static_cast<std::uint32_t>(sum);
        const std::uint32_t advance = stepWhole + static_cast<std::uint32_t>(sum >> 32);
        frame += advance;
        framesTravelled += advance;
        if (frame >= b.frames) {
            if (looping) {
                frame %= b.frames;
            } else {
                framesTravelled -= frame - b.frames;
                frame = 0;
                ended = true;
                break;
            }
        }
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
    const std::uint32_t newBytes = frame * b.format.blockAlign;
    if (ended) {
        if (!b.stopEvents.empty()) {
            b.stopPending.store(true, std::memory_order_release);
            pending_ = true;
        }
    }
    // A SetCurrentPosition in the meantime wins over the renderer's advance.
    b.playCursor.compare_exchange_strong(oldBytes, newBytes, std::memory_order_acq_rel);
    if (ended) b.playing.store(false, std::memory_order_release);
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
        if (b->stopPending.exchange(false, std::memory_order_acq_rel)) {
            for (Event* e : b->stopEvents) e->Set();
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
        std::lock_guard lock(core_->mutex);
        if (HResult r = core_->Engine().CheckFault(FaultPoint::kPlay); Failed(r)) return r;
        if (b_->lost) return kDsErrBufferLost;
        if (HResult r = core_->Engine().Health(); Failed(r)) return r;
        b_->looping.store((flags & kDsbPlayLooping) != 0, std::memory_order_release);
        if (b_->playing.load(std::memory_order_acquire) && b_->slot >= 0) return kDsOk;
        if (HResult r = core_->Engine().StartOutput(); Failed(r)) return r;
        // An end the notifier has not announced yet is announced before playing again.
        if (b_->stopPending.exchange(false, std::memory_order_acq_rel)) {
            for (Event* e : b_->stopEvents) e->Set();
        }
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
        // Also when the buffer has just reached its end by itself and the notifier has
        // not set the stop events yet: they are set here, once.
        const bool endedUnannounced = b_->stopPending.exchange(false, std::memory_order_acq_rel);
        if (wasPlaying || endedUnannounced) {
            for (Event* e : b_->stopEvents) e->Set();
        }
        return kDsOk;
    }

    HResult GetCurrentPosition(std::uint32_t* playCursor, std::uint32_t* writeCursor) override {
        std::lock_guard lock(core_->mutex);
        if (HResult r = core_->Engine().CheckFault(FaultPoint::kGetCurrentPosition); Failed(r)) return r;
        if (HResult r = core_->Engine().Health(); Failed(r)) return r;
        if (playCursor) *playCursor = b_->playCursor.load(std::memory_order_acquire);
        if (writeCursor) *writeCursor = WriteCursorLocked();
        return kDsOk;
    }

    HResult SetCurrentPosition(std::uint32_t playCursor) override {
        std::lock_guard lock(core_->mutex);
        if (HResult r = core_->Engine().CheckFault(FaultPoint::kSetCurrentPosition); Failed(r)) return r;
        if (playCursor >= b_->bytes) return kDsErrInvalidParam;
        b_->playCursor.store(playCursor - playCursor % b_->format.blockAlign, std::memory_order_release);
        b_->positionEpoch.fetch_add(1, std::memory_order_release);
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
        b_->stopPending.store(false, std::memory_order_release);
        return kDsOk;
    }

    std::uint32_t WriteCursorLocked() const noexcept {
        const std::uint32_t play = b_->playCursor.load(std::memory_order_acquire);
        if (!b_->playing.load(std::memory_order_acquire)) return play;
        const std::uint64_t ahead = static_cast<std::uint64_t>(core_->Engine().LatencyFrames()) * b_->format.blockAlign;
        return static_cast<std::uint32_t>((play + std::min<std::uint64_t>(ahead, b_->bytes - b_->format.blockAlign)) % b_->bytes);
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
        if (!ValidPcm(format) || format.bitsPerSample != 16 || format.samplesPerSec < 8000 ||
            format.samplesPerSec > 192000)
            return kDsErrBadFormat;
        if (HResult r = core_->Engine().CheckFault(FaultPoint::kSetPrimaryFormat); Failed(r)) return r;
        if (HResult r = core_->Engine().SetFormat(format); Failed(r)) return r;
        core_->primaryFormat = format;
        core_->Mix().SetOutputFormat(format.samplesPerSec, format.channels);
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
    HResult GetCurrentPosition(std::uint32_t* playCursor, std::uint32_t* writeCursor) override {
        if (playCursor) *playCursor = 0;
        if (writeCursor) *writeCursor = 0;
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
        if (d.structBytes != 20 && d.structBytes != 36) return kDsErrInvalidParam;
        if (d.flags & kDsbcapsPrimaryBuffer) {
            if (d.format != nullptr || d.bufferBytes != 0) return kDsErrInvalidParam;
            buffer = std::make_unique<PrimaryBuffer>(core_);
            return kDsOk;
        }
        if (d.format == nullptr) return kDsErrInvalidParam;
        if (!ValidPcm(*d.format)) return kDsErrBadFormat;
        if (d.bufferBytes < kDsbSizeMin || d.bufferBytes > kDsbSizeMax ||
            d.bufferBytes % d.format->blockAlign != 0)
            return kDsErrInvalidParam;
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
