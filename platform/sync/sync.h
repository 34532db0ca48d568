#pragma once
// Events and threads with Win32 semantics over the standard library.
//
// Thread contract: every member may be called from any thread. An Event may be waited
// on by several threads at once. Objects must outlive every wait on them.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

namespace korvane::platform {

constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;      // INFINITE
constexpr std::uint32_t kWaitObject0 = 0x00000000u;   // WAIT_OBJECT_0
constexpr std::uint32_t kWaitTimeout = 0x00000102u;   // WAIT_TIMEOUT
constexpr std::uint32_t kWaitFailed = 0xFFFFFFFFu;    // WAIT_FAILED
constexpr std::uint32_t kStillActive = 0x00000103u;   // STILL_ACTIVE: exit code of a running thread

class Waitable;

// A manual-reset event stays signalled until Reset(); an auto-reset event is reset by
// the one wait it releases (CreateEventA semantics).
class Event {
public:
    Event(bool manualReset, bool initiallySignalled);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();    // SetEvent
    void Reset();  // ResetEvent

private:
    friend class WaitSupport;
    struct State;
    std::unique_ptr<State> state_;
};

// WaitForSingleObject: kWaitObject0 when the event was (or became) signalled within
// `timeoutMs`, kWaitTimeout otherwise. kInfinite waits forever.
std::uint32_t WaitForSingleObject(Event& event, std::uint32_t timeoutMs);

// WaitForMultipleObjects: with waitAll false, returns kWaitObject0 + i for the lowest
// index i that is signalled (resetting it when auto-reset); with waitAll true, waits
// until all are signalled at the same moment and consumes the auto-reset ones together.
// Returns kWaitTimeout on time-out and kWaitFailed for an empty span, a null entry or
// the same event twice (as Windows rejects duplicate handles).
std::uint32_t WaitForMultipleObjects(std::span<Event* const> events, bool waitAll,
                                     std::uint32_t timeoutMs);

// A joinable thread whose body returns an exit code (CreateThread). The destructor
// joins: a Thread never outlives its object silently.
class Thread {
public:
    explicit Thread(std::function<std::uint32_t()> body);
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Waits for the body to return: kWaitObject0 or kWaitTimeout.
    std::uint32_t Wait(std::uint32_t timeoutMs);
    std::uint32_t ExitCode() const;  // the body's result once it returned, kStillActive before

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace korvane::platform
