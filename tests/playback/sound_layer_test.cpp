// The sound layer's part that the stream thread is built on, over the virtual device:
// position notifications that set events as the play cursor passes their offsets, and
// the stable driver GUIDs. Streaming through it (locks, cursors, lost buffers, faults)
// is checked by what the player makes heard (sound_player_test.cpp).
#include "platform/sound/sound.h"
#include "platform/sound/virtual_sound.h"
#include "platform/sync/sync.h"

#include <gtest/gtest.h>

#include <memory>

namespace korvane::platform::sound {
namespace {

TEST(SoundLayer, NotificationsFireWhenTheCursorReachesTheirOffsets) {
    auto system = std::make_shared<VirtualSoundSystem>();
    std::unique_ptr<SoundDevice> device;
    ASSERT_EQ(system->CreateDevice(nullptr, device), kDsOk);
    const WaveFormat format = PcmFormat(44100, 2, 16);
    BufferDescription description;
    description.flags = kDsbcapsCtrlPositionNotify;
    description.bufferBytes = 4096;
    description.format = &format;
    std::unique_ptr<SoundBuffer> buffer;
    ASSERT_EQ(device->CreateSoundBuffer(description, buffer), kDsOk);
    const auto output = system->LastOutput();
    Event at0(false, false), at1024(false, false), at2048(false, false), stopped(false, false);
    PositionNotify list[] = {{0, &at0}, {1024, &at1024}, {2048, &at2048}, {kDsbpnOffsetStop, &stopped}};
    SoundNotify* notify = nullptr;
    ASSERT_EQ(buffer->QueryNotify(notify), kDsOk);
    ASSERT_EQ(notify->SetNotificationPositions(list), kDsOk);
    ASSERT_EQ(buffer->Play(kDsbPlayLooping), kDsOk);
    EXPECT_EQ(notify->SetNotificationPositions(list), kDsErrInvalidCall);

    output->Advance(255);  // cursor at 1020: nothing reached yet
    EXPECT_EQ(WaitForSingleObject(at1024, 0), kWaitTimeout);
    output->Advance(1);  // 1024
    EXPECT_EQ(WaitForSingleObject(at1024, 0), kWaitObject0);
    EXPECT_EQ(WaitForSingleObject(at2048, 0), kWaitTimeout);
    output->Advance(768);  // wraps to 0
    EXPECT_EQ(WaitForSingleObject(at2048, 0), kWaitObject0);
    EXPECT_EQ(WaitForSingleObject(at0, 0), kWaitObject0);
    EXPECT_EQ(WaitForSingleObject(stopped, 0), kWaitTimeout);
    ASSERT_EQ(buffer->Stop(), kDsOk);
    EXPECT_EQ(WaitForSingleObject(stopped, 0), kWaitObject0);
    ASSERT_EQ(buffer->Stop(), kDsOk);  // already stopped: no second stop notification
    EXPECT_EQ(WaitForSingleObject(stopped, 0), kWaitTimeout);
}

// The enumeration's order and GUIDs are checked through the driver list
// (PlaybackTest.OpenDeviceMatches...); here the GUIDs themselves.
TEST(SoundLayer, StableGuidsAreTheSameForANameAndDifferBetweenNames) {
    const Guid a = StableGuid("portaudio:ALSA:hw:0,0#0");
    EXPECT_EQ(a, StableGuid("portaudio:ALSA:hw:0,0#0"));
    EXPECT_NE(a, StableGuid("portaudio:ALSA:hw:0,0#1"));
}

}  // namespace
}  // namespace korvane::platform::sound
