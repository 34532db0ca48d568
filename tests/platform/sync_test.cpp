#include "platform/sync/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace korvane::platform {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kGenerousMs = 10000;  // a wait that must succeed long before this

bool Signalled(Event& event) { return WaitForSingleObject(event, 0) == kWaitObject0; }

TEST(Event, ManualResetStaysSignalledUntilResetAutoResetOnlyForOneWait) {
    Event event(true, false);
    EXPECT_FALSE(Signalled(event));
    event.Set();
    EXPECT_TRUE(Signalled(event));
    EXPECT_TRUE(Signalled(event));
    event.Reset();
    EXPECT_FALSE(Signalled(event));

    // An auto-reset event is consumed by the wait it releases.
    Event autoEvent(false, true);
    EXPECT_TRUE(Signalled(autoEvent));
    EXPECT_FALSE(Signalled(autoEvent));
    autoEvent.Set();
    autoEvent.Set();  // setting a signalled event does not count twice
    EXPECT_TRUE(Signalled(autoEvent));
    EXPECT_FALSE(Signalled(autoEvent));
    autoEvent.Set();
    autoEvent.Reset();
    EXPECT_FALSE(Signalled(autoEvent));
}

TEST(Wait, TimesOutAfterRoughlyTheGivenTimeAndRefusesBadSets) {
    Event event(false, false);
    const auto start = Clock::now();
    EXPECT_EQ(WaitForSingleObject(event, 60), kWaitTimeout);
    EXPECT_GE(Clock::now() - start, 55ms);
    Event other(true, false);
    Event* pair[] = {&event, &other};
    const auto start2 = Clock::now();
    EXPECT_EQ(WaitForMultipleObjects(pair, false, 60), kWaitTimeout);
    EXPECT_EQ(WaitForMultipleObjects(pair, true, 0), kWaitTimeout);
    EXPECT_GE(Clock::now() - start2, 55ms);

    // Empty sets, null events and duplicates are refused.
    Event a(true, true);
    EXPECT_EQ(WaitForMultipleObjects({}, false, 0), kWaitFailed);
    Event* withNull[] = {&a, nullptr};
    EXPECT_EQ(WaitForMultipleObjects(withNull, false, 0), kWaitFailed);
    Event* twice[] = {&a, &a};
    EXPECT_EQ(WaitForMultipleObjects(twice, true, 0), kWaitFailed);
}

// Wait-any returns the lowest signalled event and consumes only that one; wait-all
// consumes nothing until all are signalled.
TEST(WaitMultiple, AnyTakesTheLowestSignalledAllTakesNothingUntilAllAre) {
    Event a(false, false), b(false, true), c(false, true);
    Event* events[] = {&a, &b, &c};
    EXPECT_EQ(WaitForMultipleObjects(events, false, 0), kWaitObject0 + 1);
    EXPECT_EQ(WaitForMultipleObjects(events, false, 0), kWaitObject0 + 2);
    EXPECT_EQ(WaitForMultipleObjects(events, false, 0), kWaitTimeout);

    Event manual(true, true), autoEvent(false, true);
    Event* mixed[] = {&manual, &autoEvent};
    EXPECT_EQ(WaitForMultipleObjects(mixed, false, 0), kWaitObject0);
    EXPECT_EQ(WaitForMultipleObjects(mixed, false, 0), kWaitObject0);
    EXPECT_TRUE(Signalled(autoEvent)) << "an auto-reset event that was not returned was consumed";

    a.Set();  // b was taken above
    Event* all[] = {&a, &b, &manual};
    EXPECT_EQ(WaitForMultipleObjects(all, true, 20), kWaitTimeout);
    EXPECT_TRUE(Signalled(a)) << "a failed wait-all consumed an auto-reset event";
    a.Set();
    std::thread setB([&] {
        std::this_thread::sleep_for(30ms);
        b.Set();
    });
    EXPECT_EQ(WaitForMultipleObjects(all, true, kGenerousMs), kWaitObject0);
    setB.join();
    EXPECT_FALSE(Signalled(a));
    EXPECT_FALSE(Signalled(b));
    EXPECT_TRUE(Signalled(manual));
}

// Several kinds of waits (single, any, all; from their own threads) compete for two
// auto-reset events. The producer sets an event
// again only after its previous signal was consumed, so every Set must be consumed by
// exactly one wait: a lost Set stalls the producer, a doubled one shows in the counts.
TEST(AutoReset, CompetingMultiObjectWaitsConsumeEachSetExactlyOnce) {
    constexpr int kRounds = 1500;
    Event a(false, false), b(false, false), progress(false, false);
    std::atomic<int> setsA{0}, setsB{0}, usedA{0}, usedB{0}, overuse{0};
    std::atomic<bool> stop{false};
    auto consumed = [&](bool gotA, bool gotB) {
        if (gotA && ++usedA > setsA.load()) ++overuse;
        if (gotB && ++usedB > setsB.load()) ++overuse;
        progress.Set();
    };
    auto consumer = [&](std::vector<Event*> events, bool waitAll) {
        return [&, events, waitAll]() -> std::uint32_t {
            while (!stop.load()) {
                // No time-out: a wake-up that goes missing stalls the producer and fails.
                const std::uint32_t r = WaitForMultipleObjects(events, waitAll, kInfinite);
                if (stop.load()) break;
                if (waitAll) {
                    consumed(true, true);
                } else {
                    consumed(events[r] == &a, events[r] == &b);
                }
            }
            return 0;
        };
    };
    {
        Thread all(consumer({&a, &b}, true));
        Thread anyAB(consumer({&a, &b}, false));
        Thread anyBA(consumer({&b, &a}, false));
        Thread onlyB(consumer({&b}, false));
        auto shutDown = [&] {
            stop = true;
            for (Thread* t : {&all, &anyAB, &anyBA, &onlyB})
                while (t->Wait(1) == kWaitTimeout) {
                    a.Set();
                    b.Set();
                }
        };
        bool lost = false;
        while (!lost && (setsA.load() < kRounds || setsB.load() < kRounds)) {
            bool setAny = false;
            if (usedA.load() == setsA.load() && setsA.load() < kRounds) { ++setsA; a.Set(); setAny = true; }
            if (usedB.load() == setsB.load() && setsB.load() < kRounds) { ++setsB; b.Set(); setAny = true; }
            if (!setAny) lost = WaitForSingleObject(progress, kGenerousMs) != kWaitObject0;
        }
        EXPECT_FALSE(lost) << "a Set was lost";
        const auto deadline = Clock::now() + 10s;
        while ((usedA.load() < kRounds || usedB.load() < kRounds) && Clock::now() < deadline)
            WaitForSingleObject(progress, 100);
        shutDown();
    }
    EXPECT_EQ(usedA.load(), kRounds);
    EXPECT_EQ(usedB.load(), kRounds);
    EXPECT_EQ(overuse.load(), 0);
}

TEST(Thread, ReportsExitCodeWaitTimesOutAndDestructorJoins) {
    Event release(true, false);
    Thread thread([&]() -> std::uint32_t {
        WaitForSingleObject(release, kInfinite);
        return 42;
    });
    EXPECT_EQ(thread.Wait(20), kWaitTimeout);
    EXPECT_EQ(thread.ExitCode(), kStillActive);
    release.Set();
    EXPECT_EQ(thread.Wait(kInfinite), kWaitObject0);
    EXPECT_EQ(thread.ExitCode(), 42u);
    EXPECT_EQ(thread.Wait(0), kWaitObject0);

    // The destructor joins the body.
    std::atomic<bool> done{false};
    {
        Thread thread([&]() -> std::uint32_t {
            std::this_thread::sleep_for(30ms);
            done = true;
            return 0;
        });
    }
    EXPECT_TRUE(done.load());
}

}  // namespace
}  // namespace korvane::platform
