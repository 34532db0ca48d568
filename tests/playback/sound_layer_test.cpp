// The sound layer over the virtual device: buffers, cursors, notifications, format
// conversion, enumeration and injected faults.
#include "platform/sound/sound.h"
#include "platform/sound/virtual_sound.h"
#include "platform/sync/sync.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace korvane::platform::sound {
namespace {

struct Rig {
    std::shared_ptr<VirtualSoundSystem> system;
    std::unique_ptr<SoundDevice> device;
    std::unique_ptr<SoundBuffer> primary;
    std::shared_ptr<VirtualOutput> output;

    explicit Rig(VirtualSoundSystem::Options options = {}) {
        options.record = true;
        system = std::make_shared<VirtualSoundSystem>(std::move(options));
        EXPECT_EQ(system->CreateDevice(nullptr, device), kDsOk);
        EXPECT_EQ(device->SetCooperativeLevel(nullptr, kDssclPriority), kDsOk);
        BufferDescription d;
        d.flags = kDsbcapsPrimaryBuffer;
        EXPECT_EQ(device->CreateSoundBuffer(d, primary), kDsOk);
        EXPECT_EQ(primary->SetFormat(PcmFormat(44100, 2, 16)), kDsOk);
        output = system->LastOutput();
    }

    std::unique_ptr<SoundBuffer> Secondary(std::uint32_t bytes, const WaveFormat& format = PcmFormat(44100, 2, 16)) {
        BufferDescription d;
        d.flags = kDsbcapsCtrlPositionNotify | kDsbcapsGetCurrentPosition2;
        d.bufferBytes = bytes;
        d.format = &format;
        std::unique_ptr<SoundBuffer> buffer;
        EXPECT_EQ(device->CreateSoundBuffer(d, buffer), kDsOk);
        return buffer;
    }
};

void Fill(SoundBuffer& buffer, const std::vector<std::int16_t>& values) {
    LockedRegion region;
    ASSERT_EQ(buffer.Lock(0, static_cast<std::uint32_t>(values.size() * 2), region, 0), kDsOk);
    ASSERT_TRUE(region.second.empty());
    std::memcpy(region.first.data(), values.data(), values.size() * 2);
    ASSERT_EQ(buffer.Unlock(region), kDsOk);
}

std::vector<std::int16_t> Ramp(std::size_t count) {
    std::vector<std::int16_t> v(count);
    for (std::size_t i = 0; i < count; ++i) v[i] = static_cast<std::int16_t>(i * 3 + 1);
    return v;
}

TEST(SoundLayer, LockWrapsIntoTwoPartsAndUnlockChecksThem) {
    Rig rig;
    auto buffer = rig.Secondary(4096);
    LockedRegion region;
    ASSERT_EQ(buffer->Lock(3072, 2048, region, 0), kDsOk);
    EXPECT_EQ(region.first.size(), 1024u);
    EXPECT_EQ(region.second.size(), 1024u);
    EXPECT_EQ(region.second.data() + 3072, region.first.data());
    EXPECT_EQ(buffer->Unlock(region), kDsOk);

    std::byte foreign[16];
    EXPECT_EQ(buffer->Unlock(LockedRegion{std::span(foreign), {}}), kDsErrInvalidParam);
    EXPECT_EQ(buffer->Lock(4096, 4, region, 0), kDsErrInvalidParam);
    EXPECT_EQ(buffer->Lock(0, 4100, region, 0), kDsErrInvalidParam);
    ASSERT_EQ(buffer->Lock(100, 0, region, kDsbLockEntireBuffer), kDsOk);
    EXPECT_EQ(region.first.size() + region.second.size(), 4096u);
}

TEST(SoundLayer, OneShotBufferStopsAtItsEndAndSignalsStop) {
    Rig rig;
    auto buffer = rig.Secondary(400);
    Fill(*buffer, Ramp(200));
    Event stopped(false, false);
    SoundNotify* notify = nullptr;
    ASSERT_EQ(buffer->QueryNotify(notify), kDsOk);
    PositionNotify stop{kDsbpnOffsetStop, &stopped};
    ASSERT_EQ(notify->SetNotificationPositions(std::span(&stop, 1)), kDsOk);
    ASSERT_EQ(buffer->Play(0), kDsOk);
    rig.output->Advance(150);
    const auto heard = rig.output->Recording();
    ASSERT_EQ(heard.size(), 300u);
    for (std::size_t i = 0; i < 200; ++i) EXPECT_EQ(heard[i], static_cast<std::int16_t>(i * 3 + 1));
    for (std::size_t i = 200; i < 300; ++i) EXPECT_EQ(heard[i], 0);
    EXPECT_EQ(WaitForSingleObject(stopped, 0), kWaitObject0);
    std::uint32_t status = 0;
    buffer->GetStatus(status);
    EXPECT_EQ(status & kDsbStatusPlaying, 0u);
    EXPECT_FALSE(rig.output->IsPlaying());
}

TEST(SoundLayer, NotificationsFireWhenTheCursorReachesTheirOffsets) {
    Rig rig;
    auto buffer = rig.Secondary(4096);
    Event at0(false, false), at1024(false, false), at2048(false, false), stopped(false, false);
    PositionNotify list[] = {{0, &at0}, {1024, &at1024}, {2048, &at2048}, {kDsbpnOffsetStop, &stopped}};
    SoundNotify* notify = nullptr;
    ASSERT_EQ(buffer->QueryNotify(notify), kDsOk);
    ASSERT_EQ(notify->SetNotificationPositions(list), kDsOk);
    ASSERT_EQ(buffer->Play(kDsbPlayLooping), kDsOk);
    EXPECT_EQ(notify->SetNotificationPositions(list), kDsErrInvalidCall);

    rig.output->Advance(255);  // cursor at 1020: nothing reached yet
    EXPECT_EQ(WaitForSingleObject(at1024, 0), kWaitTimeout);
    rig.output->Advance(1);  // 1024
    EXPECT_EQ(WaitForSingleObject(at1024, 0), kWaitObject0);
    EXPECT_EQ(WaitForSingleObject(at2048, 0), kWaitTimeout);
    rig.output->Advance(768);  // wraps to 0
    EXPECT_EQ(WaitForSingleObject(at2048, 0), kWaitObject0);
    EXPECT_EQ(WaitForSingleObject(at0, 0), kWaitObject0);
    EXPECT_EQ(WaitForSingleObject(stopped, 0), kWaitTimeout);
    ASSERT_EQ(buffer->Stop(), kDsOk);
    EXPECT_EQ(WaitForSingleObject(stopped, 0), kWaitObject0);
    ASSERT_EQ(buffer->Stop(), kDsOk);  // already stopped: no second stop notification
    EXPECT_EQ(WaitForSingleObject(stopped, 0), kWaitTimeout);
}

TEST(SoundLayer, SetCurrentPositionMovesTheCursorAlignedToFrames) {
    Rig rig;
    auto buffer = rig.Secondary(4000);
    const auto values = Ramp(2000);
    Fill(*buffer, values);
    ASSERT_EQ(buffer->SetCurrentPosition(1002), kDsOk);  // aligned down to 1000
    ASSERT_EQ(buffer->Play(kDsbPlayLooping), kDsOk);
    rig.output->Advance(2);
    const auto heard = rig.output->Recording();
    ASSERT_EQ(heard.size(), 4u);
    EXPECT_EQ(heard[0], values[500]);
    EXPECT_EQ(heard[3], values[503]);
    EXPECT_EQ(buffer->SetCurrentPosition(4000), kDsErrInvalidParam);
}

TEST(SoundLayer, HalfRateMonoIsConvertedToTheStereoOutput) {
    Rig rig;
    auto buffer = rig.Secondary(2000, PcmFormat(22050, 1, 16));
    const auto values = Ramp(1000);
    Fill(*buffer, values);
    ASSERT_EQ(buffer->Play(kDsbPlayLooping), kDsOk);
    rig.output->Advance(100);
    const auto heard = rig.output->Recording();
    ASSERT_EQ(heard.size(), 200u);
    for (std::size_t frame = 0; frame + 1 < 100; frame += 2) {
        // Even output frames fall on source samples; odd ones lie half-way between.
        EXPECT_EQ(heard[2 * frame], values[frame / 2]);
        EXPECT_EQ(heard[2 * frame + 1], values[frame / 2]);
        EXPECT_EQ(heard[2 * frame + 2], (values[frame / 2] + values[frame / 2 + 1]) / 2);
    }
    std::uint32_t play = 0;
    buffer->GetCurrentPosition(&play, nullptr);
    EXPECT_EQ(play, 100u);  // 50 source frames of 2 bytes
}

TEST(SoundLayer, TwoBuffersAreMixedWithSaturation) {
    Rig rig;
    auto a = rig.Secondary(8);
    auto b = rig.Secondary(8);
    Fill(*a, {30000, -30000, 100, -100});
    Fill(*b, {30000, -30000, 23, 7});
    ASSERT_EQ(a->Play(kDsbPlayLooping), kDsOk);
    ASSERT_EQ(b->Play(kDsbPlayLooping), kDsOk);
    rig.output->Advance(2);
    EXPECT_EQ(rig.output->Recording(), (std::vector<std::int16_t>{32767, -32768, 123, -93}));
}

TEST(SoundLayer, CreationValidatesDescriptionsAndFormats) {
    Rig rig;
    std::unique_ptr<SoundBuffer> buffer;
    WaveFormat bad = PcmFormat(44100, 2, 16);
    bad.blockAlign = 3;
    BufferDescription d;
    d.bufferBytes = 4096;
    d.format = &bad;
    EXPECT_EQ(rig.device->CreateSoundBuffer(d, buffer), kDsErrBadFormat);
    const WaveFormat good = PcmFormat(44100, 2, 16);
    d.format = &good;
    d.bufferBytes = 4094;  // not whole frames
    EXPECT_EQ(rig.device->CreateSoundBuffer(d, buffer), kDsErrInvalidParam);
    d.bufferBytes = 4096;
    d.structBytes = 24;
    EXPECT_EQ(rig.device->CreateSoundBuffer(d, buffer), kDsErrInvalidParam);
    d.structBytes = 20;
    d.flags = 0;  // no notification capability
    ASSERT_EQ(rig.device->CreateSoundBuffer(d, buffer), kDsOk);
    SoundNotify* notify = nullptr;
    EXPECT_EQ(buffer->QueryNotify(notify), kDsErrNoInterface);
    EXPECT_EQ(rig.primary->SetFormat(PcmFormat(44100, 2, 8)), kDsErrBadFormat);

    // The primary format needs the priority level.
    std::unique_ptr<SoundDevice> normal;
    ASSERT_EQ(rig.system->CreateDevice(nullptr, normal), kDsOk);
    ASSERT_EQ(normal->SetCooperativeLevel(nullptr, kDssclNormal), kDsOk);
    d = BufferDescription{};
    d.flags = kDsbcapsPrimaryBuffer;
    std::unique_ptr<SoundBuffer> primary;
    ASSERT_EQ(normal->CreateSoundBuffer(d, primary), kDsOk);
    EXPECT_EQ(primary->SetFormat(PcmFormat(44100, 2, 16)), kDsErrPrioLevelNeeded);
}

TEST(SoundLayer, LostBufferRefusesLockUntilRestored) {
    VirtualSoundSystem::Options options;
    options.faults = {Fault{FaultPoint::kLock, 1, kDsErrBufferLost}};
    Rig rig(options);
    auto buffer = rig.Secondary(64);
    LockedRegion region;
    EXPECT_EQ(buffer->Lock(0, 16, region, 0), kDsErrBufferLost);
    EXPECT_EQ(buffer->Lock(0, 16, region, 0), kDsErrBufferLost);
    EXPECT_EQ(buffer->Play(kDsbPlayLooping), kDsErrBufferLost);
    std::uint32_t status = 0;
    buffer->GetStatus(status);
    EXPECT_NE(status & kDsbStatusBufferLost, 0u);
    ASSERT_EQ(buffer->Restore(), kDsOk);
    EXPECT_EQ(buffer->Lock(0, 16, region, 0), kDsOk);
}

TEST(SoundLayer, BuffersOutliveTheirDevice) {
    Rig rig;
    auto buffer = rig.Secondary(64);
    Fill(*buffer, Ramp(32));
    ASSERT_EQ(buffer->Play(kDsbPlayLooping), kDsOk);
    rig.primary.reset();
    rig.device.reset();
    rig.output->Advance(4);
    EXPECT_EQ(rig.output->Recording().size(), 8u);
    buffer.reset();
    rig.output->Advance(4);  // the device is gone: nothing more is rendered
    EXPECT_EQ(rig.output->Recording().size(), 8u);
}

// The enumeration's order and GUIDs are checked through the driver list
// (PlaybackTest.EnumerationAppends...); here the GUIDs themselves.
TEST(SoundLayer, GuidsAreStableAndAnUnknownOneOpensNothing) {
    auto system = std::make_shared<VirtualSoundSystem>();
    const Guid a = StableGuid("portaudio:ALSA:hw:0,0#0");
    EXPECT_EQ(a, StableGuid("portaudio:ALSA:hw:0,0#0"));
    EXPECT_NE(a, StableGuid("portaudio:ALSA:hw:0,0#1"));

    std::unique_ptr<SoundDevice> device;
    const Guid unknown = StableGuid("nothing");
    EXPECT_EQ(system->CreateDevice(&unknown, device), kDsErrNoDriver);
}

}  // namespace
}  // namespace korvane::platform::sound
