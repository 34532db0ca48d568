#include "platform/ui/ui.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace korvane::platform {
namespace {

// The first button of each MB_* button set: what Enter picks on a default dialog.
int FirstButton(std::uint32_t flags) noexcept {
    switch (flags & 0xFu) {
        case kMbOk:
        case kMbOkCancel: return kIdOk;
        case kMbAbortRetryIgnore: return kIdAbort;
        case kMbYesNoCancel:
        case kMbYesNo: return kIdYes;
        case kMbRetryCancel: return kIdRetry;
        default: return kIdOk;
    }
}

const char* ButtonName(int id) noexcept {
    switch (id) {
        case kIdOk: return "OK";
        case kIdCancel: return "Cancel";
        case kIdAbort: return "Abort";
        case kIdRetry: return "Retry";
        case kIdIgnore: return "Ignore";
        case kIdYes: return "Yes";
        case kIdNo: return "No";
        default: return "?";
    }
}

// For programs without a screen: the box goes to stderr, answered with its first button.
class TerminalMessageBoxes : public MessageBoxHandler {
public:
    int Show(std::string_view text, std::string_view caption, std::uint32_t flags) override {
        const int answer = FirstButton(flags);
        std::fprintf(stderr, "[%.*s] %.*s -> %s\n", static_cast<int>(caption.size()), caption.data(),
                     static_cast<int>(text.size()), text.data(), ButtonName(answer));
        return answer;
    }
};

struct HandlerSlot {
    std::mutex mutex;
    std::shared_ptr<MessageBoxHandler> defaultHandler = std::make_shared<TerminalMessageBoxes>();
    std::shared_ptr<MessageBoxHandler> current = defaultHandler;
};

HandlerSlot& Slot() {
    static HandlerSlot slot;
    return slot;
}

std::shared_ptr<MessageBoxHandler> CurrentShared() {
    HandlerSlot& slot = Slot();
    std::lock_guard lock(slot.mutex);
    return slot.current;
}

}  // namespace

std::shared_ptr<MessageBoxHandler> SetMessageBoxHandler(std::shared_ptr<MessageBoxHandler> handler) {
    HandlerSlot& slot = Slot();
    std::lock_guard lock(slot.mutex);
    if (!handler) handler = slot.defaultHandler;
    return std::exchange(slot.current, std::move(handler));
}

int MessageBox(std::string_view text, std::string_view caption, std::uint32_t flags) {
    // Holding a reference keeps the handler alive even if another thread replaces it meanwhile.
    const std::shared_ptr<MessageBoxHandler> handler = CurrentShared();
    return handler->Show(text, caption, flags);
}

void ScriptedMessageBoxes::QueueAnswer(int answer) { answers_.push_back(answer); }

int ScriptedMessageBoxes::Show(std::string_view text, std::string_view caption, std::uint32_t flags) {
    shown_.push_back(Shown{std::string(text), std::string(caption), flags});
    if (answers_.empty()) return fallback_;
    const int answer = answers_.front();
    answers_.erase(answers_.begin());
    return answer;
}

void StringTable::Add(std::uint32_t id, std::string text) { strings_.insert_or_assign(id, std::move(text)); }

std::optional<std::string> StringTable::Find(std::uint32_t id) const {
    const auto it = strings_.find(id);
    if (it == strings_.end()) return std::nullopt;
    return it->second;
}

std::string StringTable::Load(std::uint32_t id) const { return Find(id).value_or(std::string()); }

}  // namespace korvane::platform
