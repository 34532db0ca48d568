#include "platform/sync/sync.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace korvane::platform {

// All events share one mutex. A multi-object wait must look at several events and
// consume the auto-reset ones in the same instant; with one lock that is trivially
// atomic and there is no lock order to get wrong. Critical sections are a few loads
// and stores, so the shared lock costs far less than a lock-ordering scheme would.
// Each waiting thread registers a Waiter with every event it waits on; Set() wakes
// all registered waiters, and each re-checks its own condition under the lock, so
// exactly one wait consumes an auto-reset event and no wait misses a Set.
namespace {

std::mutex& EventMutex() {
    static std::mutex mutex;
    return mutex;
}

struct Waiter {
    std::condition_variable cv;
};

using Clock = std::chrono::steady_clock;

}  // namespace

struct Event::State {
    bool manualReset;
    bool signalled;
    std::vector<Waiter*> waiters;  // guarded by EventMutex()
};

// The waiting side of events; befriended by Event to reach its state.
class WaitSupport {
public:
    static std::uint32_t Wait(std::span<Event* const> events, bool waitAll, std::uint32_t timeoutMs);

private:
    static bool ValidSet(std::span<Event* const> events) noexcept;
    static std::optional<std::uint32_t> TryAcquire(std::span<Event* const> events, bool waitAll) noexcept;
    // Registers a waiter with every event for the scope of one blocking wait.
    class Registration {
    public:
        Registration(std::span<Event* const> events, Waiter& waiter);
        ~Registration();
        Registration(const Registration&) = delete;
        Registration& operator=(const Registration&) = delete;

    private:
        void Unregister(std::size_t count) noexcept;
        std::span<Event* const> events_;
        Waiter& waiter_;
    };
};

Event::Event(bool manualReset, bool initiallySignalled)
    : state_(std::make_unique<State>(State{manualReset, initiallySignalled, {}})) {}

Event::~Event() = default;

void Event::Set() {
    std::lock_guard lock(EventMutex());
    state_->signalled = true;
    for (Waiter* waiter : state_->waiters) waiter->cv.notify_one();
}

void Event::Reset() {
    std::lock_guard lock(EventMutex());
    state_->signalled = false;
}

bool WaitSupport::ValidSet(std::span<Event* const> events) noexcept {
    if (events.empty()) return false;
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i] == nullptr) return false;
        // As on Windows, the same object twice is a caller error (it would make
        // "consume all auto-reset events together" ambiguous).
        if (std::find(events.begin() + static_cast<std::ptrdiff_t>(i) + 1, events.end(), events[i]) !=
            events.end())
            return false;
    }
    return true;
}

// With the lock held: the result of the wait if it can complete now, consuming the
// auto-reset events it returns.
std::optional<std::uint32_t> WaitSupport::TryAcquire(std::span<Event* const> events, bool waitAll) noexcept {
    if (waitAll) {
        for (Event* event : events)
            if (!event->state_->signalled) return std::nullopt;
        for (Event* event : events)
            if (!event->state_->manualReset) event->state_->signalled = false;
        return kWaitObject0;
    }
    for (std::size_t i = 0; i < events.size(); ++i) {
        Event::State& state = *events[i]->state_;
        if (state.signalled) {
            if (!state.manualReset) state.signalled = false;
            return kWaitObject0 + static_cast<std::uint32_t>(i);
        }
    }
    return std::nullopt;
}

WaitSupport::Registration::Registration(std::span<Event* const> events, Waiter& waiter)
    : events_(events), waiter_(waiter) {
    std::size_t done = 0;
    try {
        for (; done < events.size(); ++done) events[done]->state_->waiters.push_back(&waiter);
    } catch (...) {
        Unregister(done);  // no event may keep a pointer to a waiter that is going away
        throw;
    }
}

WaitSupport::Registration::~Registration() { Unregister(events_.size()); }

void WaitSupport::Registration::Unregister(std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        auto& waiters = events_[i]->state_->waiters;
        waiters.erase(std::find(waiters.begin(), waiters.end(), &waiter_));
    }
}

std::uint32_t WaitSupport::Wait(std::span<Event* const> events, bool waitAll, std::uint32_t timeoutMs) {
    if (!ValidSet(events)) return kWaitFailed;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock lock(EventMutex());
    if (auto result = TryAcquire(events, waitAll)) return *result;
    if (timeoutMs == 0) return kWaitTimeout;

    Waiter waiter;
    const Registration registration(events, waiter);
    std::optional<std::uint32_t> result;
    while (!(result = TryAcquire(events, waitAll))) {
        if (timeoutMs == kInfinite) {
            waiter.cv.wait(lock);
        } else if (waiter.cv.wait_until(lock, deadline) == std::cv_status::timeout) {
            // A Set that raced with the time-out still counts, as the lock orders them.
            result = TryAcquire(events, waitAll);
            break;
        }
    }
    return result.value_or(kWaitTimeout);
}

std::uint32_t WaitForSingleObject(Event& event, std::uint32_t timeoutMs) {
    Event* const one[] = {&event};
    return WaitSupport::Wait(one, false, timeoutMs);
}

std::uint32_t WaitForMultipleObjects(std::span<Event* const> events, bool waitAll, std::uint32_t timeoutMs) {
    return WaitSupport::Wait(events, waitAll, timeoutMs);
}

// ---------------------------------------------------------------------------------

struct Thread::State {
    std::mutex mutex;
    std::condition_variable done;
    std::atomic<bool> finished{false};
    std::uint32_t exitCode = kStillActive;  // guarded by mutex
    std::thread thread;
};

Thread::Thread(std::function<std::uint32_t()> body) : state_(std::make_unique<State>()) {
    State* state = state_.get();
    // A body that throws ends the process (std::terminate), as an exception leaving
    // a std::thread does: there is no caller to report it to.
    state->thread = std::thread([state, body = std::move(body)]() {
        const std::uint32_t code = body();
        std::lock_guard lock(state->mutex);
        state->exitCode = code;
        state->finished.store(true, std::memory_order_release);
        state->done.notify_all();
    });
}

Thread::~Thread() {
    if (state_->thread.joinable()) state_->thread.join();
}

std::uint32_t Thread::Wait(std::uint32_t timeoutMs) {
    std::unique_lock lock(state_->mutex);
    auto finished = [this] { return state_->finished.load(std::memory_order_acquire); };
    if (timeoutMs == kInfinite) {
        state_->done.wait(lock, finished);
        return kWaitObject0;
    }
    return state_->done.wait_for(lock, std::chrono::milliseconds(timeoutMs), finished) ? kWaitObject0
                                                                                         : kWaitTimeout;
}

std::uint32_t Thread::ExitCode() const {
    std::lock_guard lock(state_->mutex);
    return state_->exitCode;
}

}  // namespace korvane::platform
