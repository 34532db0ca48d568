#pragma once
// The few user-interface calls the lower layers need, behind an interface so tests
// answer message boxes without a screen, and so non-GUI programs print to a terminal.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::platform {

// MessageBox button sets and icons (MB_*), and the answers (ID*), with Win32 values.
enum MessageBoxFlags : std::uint32_t {
    kMbOk = 0x0, kMbOkCancel = 0x1, kMbAbortRetryIgnore = 0x2, kMbYesNoCancel = 0x3,
    kMbYesNo = 0x4, kMbRetryCancel = 0x5,
    kMbIconError = 0x10, kMbIconQuestion = 0x20, kMbIconWarning = 0x30, kMbIconInformation = 0x40,
};
enum MessageBoxResult : int {
    kIdOk = 1, kIdCancel = 2, kIdAbort = 3, kIdRetry = 4, kIdIgnore = 5, kIdYes = 6, kIdNo = 7,
};

class MessageBoxHandler {
public:
    virtual ~MessageBoxHandler() = default;
    // Shows `text` with `caption` and returns the button pressed (kIdOk, kIdRetry, ...).
    // Called on the UI thread (the thread that runs the lower layers' blocking calls).
    virtual int Show(std::string_view text, std::string_view caption, std::uint32_t flags) = 0;
};

// The process-wide handler. The default prints to stderr and answers the first button
// (OK / Abort / Yes / Retry); the GUI installs a Qt handler, tests a scripted one.
// MessageBox() holds its own reference to the handler for the duration of the call, so
// replacing it from another thread while a box is shown is safe.
// Installs `handler` (nullptr restores the default) and returns the previous one.
std::shared_ptr<MessageBoxHandler> SetMessageBoxHandler(std::shared_ptr<MessageBoxHandler> handler);

// MessageBox(nullptr, text, caption, flags) through the current handler.
int MessageBox(std::string_view text, std::string_view caption, std::uint32_t flags);

// A test double that records every box and answers from a queue (then `fallback`).
// Not synchronised: use it from one thread at a time.
class ScriptedMessageBoxes : public MessageBoxHandler {
public:
    struct Shown {
        std::string text, caption;
        std::uint32_t flags;
    };
    explicit ScriptedMessageBoxes(int fallback = kIdOk) : fallback_(fallback) {}
    void QueueAnswer(int answer);
    int Show(std::string_view text, std::string_view caption, std::uint32_t flags) override;
    const std::vector<Shown>& ShownBoxes() const noexcept { return shown_; }

private:
    std::vector<Shown> shown_;
    std::vector<int> answers_;
    int fallback_;
};

// A string table (LoadString): id -> text. Each program fills its own from resources/.
class StringTable {
public:
    StringTable() = default;
    void Add(std::uint32_t id, std::string text);
    std::optional<std::string> Find(std::uint32_t id) const;
    // The text, or "" when the id is absent (LoadString returning 0).
    std::string Load(std::uint32_t id) const;

private:
    std::map<std::uint32_t, std::string> strings_;
};

}  // namespace korvane::platform
