#include "playback/sound_player.h"

#include "playback/sound_driver.h"
#include "playback/stream_fill.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <stdexcept>

namespace korvane::playback {

namespace ds = platform::sound;

namespace {

// Lock with the single restore-and-retry on a lost buffer; DSoundException 9 on failure.
ds::LockedRegion LockStream(ds::SoundBuffer& buffer, std::uint32_t byteOffset, std::uint32_t byteCount) {
    ds::LockedRegion region;
    ds::HResult r = buffer.Lock(byteOffset, byteCount, region);
    if (r == ds::kDsErrBufferLost) {
        buffer.Restore();
        r = buffer.Lock(byteOffset, byteCount, region);
    }
    if (ds::Failed(r)) throw DSoundException(DSoundException::kLockStreamBuffer, r);
    return region;
}

void UnlockStream(ds::SoundBuffer& buffer, const ds::LockedRegion& region) {
    if (ds::HResult r = buffer.Unlock(region); ds::Failed(r))
        throw DSoundException(DSoundException::kUnlockStreamBuffer, r);
}

}  // namespace

SoundPlayer::SoundPlayer() = default;

SoundPlayer::~SoundPlayer() {
    StopPlayback();
    thread_.reset();
    primaryBuffer_.reset();
    device_.reset();
}

void SoundPlayer::OpenDevice(std::string_view description, ds::WindowHandle window) {
    StopPlayback();  // a stream must not outlive the device it plays on
    primaryBuffer_.reset();
    device_.reset();

    auto& drivers = SoundDrivers();
    if (drivers.Count() == 0) EnumerateDrivers();
    const std::int32_t count = drivers.Count();
    std::int32_t chosen = -1;
    std::int32_t firstWithGuid = -1;
    for (std::int32_t i = 0; i < count; ++i) {
        const SoundDriver& driver = drivers.At(i);
        if (driver.hasGuid && firstWithGuid < 0) firstWithGuid = i;
        if (driver.description == description) {
            chosen = i;
            break;
        }
    }
    if (chosen < 0) chosen = firstWithGuid >= 0 ? firstWithGuid : 0;

    // With no driver listed at all the default device is tried; its failure is code 4.
    const ds::Guid* guid = nullptr;
    if (chosen < count && drivers.At(chosen).hasGuid) guid = &drivers.At(chosen).guid;

    std::unique_ptr<ds::SoundDevice> device;
    if (ds::HResult r = ds::DirectSoundCreate(guid, device); ds::Failed(r))
        throw DSoundException(DSoundException::kOpenDevice, r);
    device->SetCooperativeLevel(window, ds::kDssclPriority);  // result deliberately unused

    ds::BufferDescription primaryDescription;
    primaryDescription.flags = ds::kDsbcapsPrimaryBuffer;
    std::unique_ptr<ds::SoundBuffer> primary;
    if (ds::HResult r = device->CreateSoundBuffer(primaryDescription, primary); ds::Failed(r))
        throw DSoundException(DSoundException::kOpenDevice, r);
    if (ds::HResult r = primary->SetFormat(ds::PcmFormat(44100, 2, 16)); ds::Failed(r))
        throw DSoundException(DSoundException::kOpenDevice, r);

    device_ = std::move(device);
    primaryBuffer_ = std::move(primary);
}

void SoundPlayer::SetPositionCallback(PositionCallback callback, void* user) noexcept {
    positionCallback_ = callback;
    callbackUser_ = user;
}

void SoundPlayer::PlayOnce(std::span<const std::int16_t> source, std::uint32_t frameCount, bool halfRate,
                           bool stereo) {
    StartStream(source, frameCount, halfRate, stereo, 0, 0);
}

void SoundPlayer::PlayLoop(std::span<const std::int16_t> source, std::uint32_t frameCount, bool halfRate,
                           bool stereo, std::uint32_t loopStartFrames, std::uint32_t loopFrames) {
    if (static_cast<std::uint64_t>(loopStartFrames) + loopFrames > frameCount)
        throw std::invalid_argument("PlayLoop: the loop ends after the last frame");
    StartStream(source, frameCount, halfRate, stereo, loopStartFrames, loopFrames);
}

void SoundPlayer::StartStream(std::span<const std::int16_t> source, std::uint32_t frameCount, bool halfRate,
                              bool stereo, std::uint32_t loopStartFrames, std::uint32_t loopFrames) {
    const std::uint32_t channels = stereo ? 2 : 1;
    if (static_cast<std::uint64_t>(frameCount) * channels > source.size())
        throw std::invalid_argument("PlayOnce/PlayLoop: the source holds fewer frames than requested");
    if (static_cast<std::uint64_t>(frameCount) * channels > 0x7FFFFFFFu)
        throw std::invalid_argument("PlayOnce/PlayLoop: the source is too long");

    StopPlayback();
    thread_.reset();  // closes the ended thread
    halfRate_ = halfRate;
    stereo_ = stereo;
    source_ = source.data();
    sourceValues_ = frameCount * channels;
    loopStart_ = loopStartFrames * channels;
    loopLength_ = loopFrames * channels;
    {
        std::lock_guard lock(bufferMutex_);
        stopRequested_ = false;
    }
    streamEnded_.store(false, std::memory_order_release);
    const StreamParams params{source_,   sourceValues_, loopStart_,        loopLength_,
                              halfRate_, stereo_,       positionCallback_, callbackUser_};
    thread_ = std::make_unique<platform::Thread>([this, params] { return StreamThread(params); });
}

void SoundPlayer::StopPlayback() {
    {
        std::lock_guard lock(bufferMutex_);
        // The request also covers a stream thread that has not published its buffer
        // yet: it checks the flag before it starts to play.
        stopRequested_ = true;
        if (streamBuffer_) streamBuffer_->Stop();
    }
    if (thread_) thread_->Wait(platform::kInfinite);
}

bool SoundPlayer::IsStreaming() const {
    // The thread flags the end once its buffer is released and its events are closed;
    // joining it may lag a moment behind.
    return thread_ != nullptr && !streamEnded_.load(std::memory_order_acquire);
}

bool SoundPlayer::WaitForStreamEnd(std::uint32_t timeoutMs) {
    return thread_ == nullptr || thread_->Wait(timeoutMs) == platform::kWaitObject0;
}

bool SoundPlayer::WaitForStreamWakes(std::uint64_t count, std::uint32_t timeoutMs) {
    std::unique_lock lock(wakeMutex_);
    return wakeChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return wakeCount_.load(std::memory_order_acquire) >= count || streamEnded_.load(std::memory_order_acquire);
    });
}

std::optional<DSoundException> SoundPlayer::TakeStreamError() {
    std::lock_guard lock(errorMutex_);
    std::optional<DSoundException> error;
    std::swap(error, lastError_);
    return error;
}

void SoundPlayer::CountWake() {
    {
        std::lock_guard lock(wakeMutex_);
        wakeCount_.fetch_add(1, std::memory_order_acq_rel);
    }
    wakeChanged_.notify_all();
}

void SoundPlayer::ReportStreamError(const DSoundException& error) noexcept {
    std::lock_guard lock(errorMutex_);
    lastError_ = error;
}

std::uint32_t SoundPlayer::StreamThread(const StreamParams& params) noexcept {
    try {
        RunStream(params);
    } catch (const DSoundException& error) {
        ReportStreamError(error);
    } catch (const std::exception&) {
        // Allocation failure or a failing event: the stream could not run.
        ReportStreamError(DSoundException(DSoundException::kDeviceFailed));
    }
    {
        std::lock_guard lock(wakeMutex_);
        streamEnded_.store(true, std::memory_order_release);
    }
    wakeChanged_.notify_all();
    return 0;
}

void SoundPlayer::RunStream(const StreamParams& params) {
    const std::uint32_t B = kStreamBufferBytes;
    const std::uint32_t H = B / 2;  // bytes in half the buffer = 16-bit values in the buffer
    const std::uint32_t Q = B / 4;
    const std::int16_t* const source = params.source;
    const std::uint32_t sourceValues = params.sourceValues;
    const std::uint32_t loopStart = params.loopStart;
    const std::uint32_t loopLength = params.loopLength;
    const std::uint32_t loopEnd = loopStart + loopLength;
    const PositionCallback callback = params.positionCallback;
    void* const user = params.callbackUser;

    // Set-up.
    const std::uint16_t channels = params.stereo ? 2 : 1;
    const std::uint32_t rate = params.halfRate ? 22050 : 44100;
    const auto quarterMs = static_cast<std::uint32_t>((B / 8) / (params.halfRate ? 22.05 : 44.1) / channels);
    const std::uint32_t timeoutMs = 2 * quarterMs;
    const ds::WaveFormat format = ds::PcmFormat(rate, channels, 16);

    // The events outlive the buffer that refers to them: the guard below releases the
    // buffer first when this function is left in any way.
    std::array<std::unique_ptr<platform::Event>, kNotificationCount + 1> events;
    struct Teardown {
        SoundPlayer& player;
        ~Teardown() {
            std::lock_guard lock(player.bufferMutex_);
            if (player.streamBuffer_) {
                player.streamBuffer_->Stop();
                player.streamBuffer_.reset();
            }
        }
    } teardown{*this};

    if (!device_) throw DSoundException(DSoundException::kCreateStreamBuffer, ds::kDsErrNoDriver);
    ds::BufferDescription description;
    description.flags = ds::kDsbcapsGetCurrentPosition2 | ds::kDsbcapsGlobalFocus | ds::kDsbcapsCtrlPositionNotify |
                        ds::kDsbcapsCtrlVolume | ds::kDsbcapsCtrlPan | ds::kDsbcapsCtrlFrequency;
    description.bufferBytes = B;
    description.format = &format;
    std::unique_ptr<ds::SoundBuffer> created;
    if (ds::HResult r = device_->CreateSoundBuffer(description, created); ds::Failed(r))
        throw DSoundException(DSoundException::kCreateStreamBuffer, r);
    ds::SoundBuffer* buffer = created.get();
    {
        std::lock_guard lock(bufferMutex_);
        streamBuffer_ = std::move(created);
        if (stopRequested_) return;
    }
    ds::SoundNotify* notify = nullptr;
    if (ds::HResult r = buffer->QueryNotify(notify); ds::Failed(r))
        throw DSoundException(DSoundException::kCreateStreamBuffer, r);

    std::array<ds::PositionNotify, kNotificationCount + 1> positions;
    std::array<platform::Event*, kNotificationCount + 1> waitList;
    for (std::uint32_t i = 0; i <= kNotificationCount; ++i) {
        events[i] = std::make_unique<platform::Event>(false, false);
        waitList[i] = events[i].get();
        positions[i].byteOffset = i < kNotificationCount ? i * (B / kNotificationCount) : ds::kDsbpnOffsetStop;
        positions[i].event = events[i].get();
    }
    if (ds::HResult r = notify->SetNotificationPositions(positions); ds::Failed(r))
        throw DSoundException(DSoundException::kLockStreamBuffer, r);

    // Initial fill of the first half.
    StreamFiller filler(StreamSource{source, sourceValues, loopStart, loopLength});
    {
        const ds::LockedRegion region = LockStream(*buffer, 0, H);
        filler.FillFirst(region);
        UnlockStream(*buffer, region);
    }
    if (ds::HResult r = buffer->SetCurrentPosition(0); ds::Failed(r))
        throw DSoundException(DSoundException::kSetPlayPosition, r);
    {
        std::lock_guard lock(bufferMutex_);
        if (stopRequested_) return;
        if (ds::HResult r = buffer->Play(ds::kDsbPlayLooping); ds::Failed(r))
            throw DSoundException(DSoundException::kDeviceFailed, r);
    }

    std::uint32_t writeOffset = H;
    std::uint32_t lastPlay = 0;
    std::uint64_t wraps = 0;

    for (;;) {
        const std::uint32_t waited = platform::WaitForMultipleObjects(waitList, false, timeoutMs);
        if (waited == platform::kWaitObject0 + kNotificationCount) break;
        if (waited == platform::kWaitFailed) throw DSoundException(DSoundException::kDeviceFailed);

        std::uint32_t cursor = 0;
        if (ds::HResult r = buffer->GetCurrentPosition(cursor); ds::Failed(r))
            throw DSoundException(DSoundException::kDeviceFailed, r);
        const std::uint32_t p = cursor / 2;
        if (p < lastPlay) ++wraps;
        lastPlay = p;
        const std::uint32_t ahead = writeOffset > cursor ? writeOffset - cursor : B - cursor + writeOffset;

        if (ahead >= H) {
            const std::uint64_t played = wraps * H + p;  // 16-bit values heard since the start
            std::uint64_t position = played;
            if (loopLength == 0) {
                if (played >= sourceValues) break;  // the one-shot has been heard to its end
            } else if (played >= loopEnd) {
                // After the pre-loop part the stream repeats [loopStart, loopEnd).
                position = loopStart + (played - loopEnd) % loopLength;
            }
            if (callback) callback(static_cast<std::uint32_t>(position), user);
        } else {
            const ds::LockedRegion region = LockStream(*buffer, writeOffset, Q);
            writeOffset += Q;
            if (writeOffset >= B) writeOffset = 0;
            filler.FillQuarter(region);
            UnlockStream(*buffer, region);
        }
        CountWake();
    }
}

SoundPlayer& TheSoundPlayer() {
    static SoundPlayer player;
    return player;
}

}  // namespace korvane::playback
