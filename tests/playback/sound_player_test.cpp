// SoundPlayer on the recording virtual device: device opening, one-shot and looped
// streams checked against what was heard, a loop replaced by a one-shot, failures on the
// stream thread, and a start/stop stress run that stops streams in every state.
#include "playback_fixture.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace korvane::playback::testing {
namespace {

using ds::FaultPoint;

constexpr std::uint32_t kHalfValues = SoundPlayer::kStreamBufferBytes / 4;  // values in half the buffer

// ---- OpenDevice and the driver list ----

ds::VirtualSoundSystem::Options ThreeDrivers(bool withGuids = true) {
    ds::VirtualSoundSystem::Options options;
    options.drivers = {
        ds::DriverInfo{std::nullopt, "Primary Sound Driver", ""},
        ds::DriverInfo{withGuids ? std::optional(ds::StableGuid("one")) : std::nullopt, "Card One", ""},
        ds::DriverInfo{withGuids ? std::optional(ds::StableGuid("two")) : std::nullopt, "Card Two", ""},
    };
    return options;
}

TEST_F(PlaybackTest, OpenDeviceMatchesTheStoredDriverNameExactlyAndEnumeratesOnce) {
    Install(ThreeDrivers(), false);
    Player().OpenDevice("Card Two", nullptr);
    ASSERT_EQ(system_->LastCreatedGuid(), ds::StableGuid("two"));
    Player().OpenDevice("Card One", nullptr);
    EXPECT_EQ(system_->LastCreatedGuid(), ds::StableGuid("one"));
    Player().OpenDevice("card two", nullptr);  // case matters: no match
    EXPECT_EQ(system_->LastCreatedGuid(), ds::StableGuid("one"));
    Player().OpenDevice("", nullptr);
    EXPECT_EQ(system_->LastCreatedGuid(), ds::StableGuid("one"));
    Player().OpenDevice("Primary Sound Driver", nullptr);
    EXPECT_EQ(system_->LastCreatedGuid(), std::nullopt);  // the default device
    EXPECT_EQ(SoundDrivers().Count(), 3);                 // enumerated once only
    EXPECT_EQ(Output()->PrimaryFormat(), ds::PcmFormat(44100, 2, 16));
    // Enumeration appends; OpenDevice never enumerates into the list it finds full.
    EnumerateDrivers();
    Player().OpenDevice("Card Two", nullptr);
    EXPECT_EQ(SoundDrivers().Count(), 6);
    EXPECT_EQ(system_->LastCreatedGuid(), ds::StableGuid("two"));

    // Without GUIDs no name matches: the default device opens.
    Install(ThreeDrivers(false), false);
    Player().OpenDevice("nowhere", nullptr);
    EXPECT_EQ(system_->DevicesCreated(), 1);
    EXPECT_EQ(system_->LastCreatedGuid(), std::nullopt);
}

// A device that fails to open throws code 4; playing without one then reports code 6.
TEST_F(PlaybackTest, OpenDeviceFailuresThrowCode4AndPlayingThenReportsCode6) {
    for (FaultPoint point : {FaultPoint::kCreateDevice, FaultPoint::kSetPrimaryFormat}) {
        ds::VirtualSoundSystem::Options options;
        options.faults = {ds::Fault{point, 0, ds::kDsErrBadFormat}};
        Install(options, false);
        try {
            Player().OpenDevice("", nullptr);
            ADD_FAILURE() << "no exception";
        } catch (const DSoundException& e) {
            EXPECT_EQ(e.code, 4);
            EXPECT_EQ(e.result, ds::kDsErrBadFormat);
        }
        const auto values = Staircase(100);
        Player().PlayOnce(values, 50, false, true);
        ASSERT_TRUE(Player().WaitForStreamEnd(kWaitMs));
        const auto error = Player().TakeStreamError();
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->code, 6);
    }
}

// ---- One-shot ----

TEST_F(PlaybackTest, OneShotsOfEverySizeAreHeardExactlyThenSilence) {
    // Empty, shorter than a quarter, shorter than half a buffer, several buffers long
    // with a ragged end.
    for (std::size_t frames : {std::size_t{0}, std::size_t{1}, std::size_t{3000}, std::size_t{20000},
                               std::size_t{150001}}) {
        SCOPED_TRACE(frames);
        Install({});
        const auto values = Staircase(frames * 2, static_cast<int>(frames));
        PositionLog log;
        Player().SetPositionCallback(&PositionLog::Record, &log);
        Player().PlayOnce(values, static_cast<std::uint32_t>(frames), false, true);
        StartedPlaying();
        ASSERT_TRUE(StepUntilEnd(static_cast<int>(frames / kIntervalFrames) + 16));
        // The values, then silence for at most a few notification intervals.
        ExpectHeardThenSilence(values);
        EXPECT_LE(Output()->Recording().size() - values.size(), 3u * 2 * kIntervalFrames) << "silence tail too long";
        EXPECT_FALSE(Output()->IsPlaying());
        EXPECT_FALSE(Player().TakeStreamError().has_value());
        // Positions rise and stay inside the source.
        const auto positions = log.Take();
        EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
        EXPECT_TRUE(std::all_of(positions.begin(), positions.end(), [&](std::uint32_t p) { return p < values.size(); }));
        if (frames > 3 * kHalfValues) {
            EXPECT_GT(positions.size(), 10u);
        }
    }
}

// The output is 44,100 Hz stereo: a mono frame feeds both sides; a 22,050 Hz frame is
// followed by the mean of it and the next one, rounded down (silence follows the last).
TEST_F(PlaybackTest, MonoAndHalfRateOneShotsPlayTheirWholeSource) {
    const auto values = Staircase(50000);
    Player().PlayOnce(values, 50000, false, false);
    StartedPlaying();
    ASSERT_TRUE(StepUntilEnd(200, 2 * kIntervalFrames));
    std::vector<std::int16_t> mono;
    for (std::int16_t v : values) mono.insert(mono.end(), {v, v});
    ExpectHeardThenSilence(mono);

    Install({});
    Player().PlayOnce(values, 25000, true, true);
    StartedPlaying();
    ASSERT_TRUE(StepUntilEnd(200, 2 * kIntervalFrames));
    std::vector<std::int16_t> slow;
    for (std::size_t at = 0; at < values.size(); at += 2) {
        slow.insert(slow.end(), {values[at], values[at + 1]});
        for (std::size_t side = 0; side < 2; ++side) {
            const int next = at + 2 < values.size() ? values[at + 2 + side] : 0;
            slow.push_back(static_cast<std::int16_t>(std::floor((values[at + side] + next) / 2.0)));
        }
    }
    ExpectHeardThenSilence(slow);
}

TEST_F(PlaybackTest, SourceShorterThanTheFrameCountIsRefused) {
    const auto values = Staircase(100);
    EXPECT_THROW(Player().PlayOnce(values, 51, false, true), std::invalid_argument);
    EXPECT_THROW(Player().PlayLoop(values, 50, false, true, 10, 41), std::invalid_argument);
    EXPECT_FALSE(Player().IsStreaming());
}

// ---- Loops ----

// Checks that `heard` is values[0, loopEnd) and then [loopStart, loopEnd) repeated.
void ExpectLooped(const std::vector<std::int16_t>& heard, const std::vector<std::int16_t>& values,
                  std::size_t loopStart, std::size_t loopEnd) {
    const std::size_t length = loopEnd - loopStart;
    for (std::size_t i = 0; i < heard.size(); ++i) {
        const std::size_t at = i < loopEnd ? i : loopStart + (i - loopEnd) % length;
        ASSERT_EQ(heard[i], values[at]) << "value " << i;
    }
}

// A short loop ends well inside the first half buffer, so it is written loop-wrapped
// from the first fill; a long one with a lead-in is longer than the whole buffer.
TEST_F(PlaybackTest, LoopsRepeatSeamlesslyOverManyWraps) {
    struct Case {
        std::uint32_t frames, loopStart, loopLength;
        int steps;  // notification intervals listened to
    };
    for (const Case c : {Case{3001, 0, 3001, 100}, Case{70000, 10000, 60000, 260}}) {
        SCOPED_TRACE(c.frames);
        Install({});
        const auto values = Staircase(2 * c.frames, 5);
        PositionLog log;
        Player().SetPositionCallback(&PositionLog::Record, &log);
        Player().PlayLoop(values, c.frames, false, true, c.loopStart, c.loopLength);
        StartedPlaying();
        Steps(c.steps);
        ASSERT_TRUE(Player().IsStreaming());
        Player().StopPlayback();
        const auto heard = Output()->Recording();
        ASSERT_EQ(heard.size(), std::size_t(c.steps) * 2 * kIntervalFrames);
        ExpectLooped(heard, values, 2 * c.loopStart, values.size());
        // Positions rise within a pass and fall back only to the loop start, all inside the loop.
        const auto positions = log.Take();
        int passes = 0;
        for (std::size_t i = 0; i < positions.size(); ++i) {
            EXPECT_LT(positions[i], values.size());
            if (i > 0 && positions[i] < positions[i - 1]) ++passes;
            if (passes > 0) {
                EXPECT_GE(positions[i], 2 * c.loopStart);
            }
        }
        EXPECT_GE(passes, 3);
    }
}

TEST_F(PlaybackTest, PlayOnceWhileLoopingStopsTheLoopFirst) {
    const auto loop = Staircase(4000, 1);
    const auto once = Staircase(6000, 2);
    Player().PlayLoop(loop, 2000, false, true, 0, 2000);
    StartedPlaying();
    Steps(10);
    const auto loopHeard = Output()->Recording();
    Player().PlayOnce(once, 3000, false, true);
    StartedPlaying();
    Output()->ClearRecording();
    ASSERT_TRUE(StepUntilEnd(16));
    ExpectLooped(loopHeard, loop, 0, loop.size());
    ExpectHeardThenSilence(once);  // nothing of the loop left
}

// ---- Failures on the stream thread ----

TEST_F(PlaybackTest, StreamFailuresAreReportedAndTheStreamStillEnds) {
    struct Case {
        ds::Fault fault;
        std::int32_t code;
        bool afterStart;  // the failure comes in the main loop
    };
    const Case cases[] = {
        {{FaultPoint::kCreateBuffer, 1, ds::kDsErrOutOfMemory}, 6, false},
        {{FaultPoint::kQueryNotify, 1, ds::kDsErrGeneric}, 6, false},
        {{FaultPoint::kSetNotificationPositions, 1, ds::kDsErrInvalidParam}, 9, false},
        {{FaultPoint::kLock, 1, ds::kDsErrGeneric}, 9, false},
        {{FaultPoint::kUnlock, 1, ds::kDsErrGeneric}, 10, false},
        {{FaultPoint::kSetCurrentPosition, 1, ds::kDsErrGeneric}, 11, false},
        {{FaultPoint::kPlay, 1, ds::kDsErrGeneric}, 12, false},
        {{FaultPoint::kLock, 2, ds::kDsErrGeneric}, 9, true},         // the first refill
        {{FaultPoint::kUnlock, 2, ds::kDsErrGeneric}, 10, true},
        {{FaultPoint::kGetCurrentPosition, 3, ds::kDsErrGeneric}, 12, true},
    };
    const auto values = Staircase(400000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        Install({});
        Output()->InjectFault(c.fault);
        Player().PlayLoop(values, 200000, false, true, 0, 200000);
        if (c.afterStart) {
            StartedPlaying();
            for (int i = 0; i < 8 && Player().IsStreaming(); ++i) Step();
        }
        ASSERT_TRUE(Player().WaitForStreamEnd(kWaitMs));
        const auto error = Player().TakeStreamError();
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->code, c.code);
        EXPECT_FALSE(Player().TakeStreamError().has_value());  // reported once
        EXPECT_FALSE(Output()->IsPlaying());
        Player().StopPlayback();  // returns at once

        // The next stream works on the same device.
        Output()->ClearRecording();
        const auto small = Staircase(3000, 9);
        Player().PlayOnce(small, 1500, false, true);
        StartedPlaying();
        ASSERT_TRUE(StepUntilEnd(16));
        ExpectHeardThenSilence(small);
    }
}

TEST_F(PlaybackTest, LostBufferIsRestoredOnceAndStreamingGoesOn) {
    Output()->InjectFault(ds::Fault{FaultPoint::kLock, 2, ds::kDsErrBufferLost});  // the first refill
    const auto values = Staircase(2 * 60000);
    Player().PlayOnce(values, 60000, false, true);
    StartedPlaying();
    ASSERT_TRUE(StepUntilEnd(100));
    EXPECT_FALSE(Player().TakeStreamError().has_value());
    ExpectHeardThenSilence(values);
}

// ---- Stress ----

TEST_F(PlaybackTest, ThousandStartStopCyclesAtRandomMoments) {
    std::mt19937 random(20261208);
    const auto values = Staircase(2 * 90000);
    for (int cycle = 0; cycle < 1000; ++cycle) {
        const auto frames = static_cast<std::uint32_t>(random() % 90000);
        if (random() % 2) {
            Player().PlayOnce(values, frames, false, true);
        } else {
            Player().PlayLoop(values, frames, false, true, frames / 3, frames - frames / 3);
        }
        switch (random() % 4) {
            case 0: break;  // stop before it plays, or while it sets up
            case 1: StartedPlaying(); break;
            case 2:
                // Clock moves the stream thread reacts to while it runs: at most 12 of
                // 1024 frames, less than the half buffer written ahead, so the clock
                // never overtakes the writer even if the thread has not reacted.
                StartedPlaying();
                for (std::uint32_t i = random() % 12; i > 0; --i)
                    Output()->Advance(static_cast<std::uint32_t>(random() % kIntervalFrames) + 1);
                break;
            default:
                StartedPlaying();
                for (std::uint32_t i = random() % 40; i > 0 && Player().IsStreaming(); --i) Step();
                Output()->Advance(static_cast<std::uint32_t>(random() % kIntervalFrames));
        }
        Player().StopPlayback();
        ASSERT_FALSE(Player().IsStreaming());
        ASSERT_FALSE(Output()->IsPlaying());
        Output()->ClearRecording();
    }
    EXPECT_FALSE(Player().TakeStreamError().has_value());
}

}  // namespace
}  // namespace korvane::playback::testing
