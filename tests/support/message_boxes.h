#pragma once
// Message boxes answered from a script for the length of one scope, so a test sees what
// would have been shown and nothing waits for a click.
#include "platform/ui/ui.h"

#include <memory>
#include <string>
#include <vector>

namespace korvane::testing {

class ScopedMessageBoxes {
public:
    explicit ScopedMessageBoxes(int fallback = platform::kIdOk)
        : boxes_(std::make_shared<platform::ScriptedMessageBoxes>(fallback)) {
        previous_ = platform::SetMessageBoxHandler(boxes_);
    }
    ~ScopedMessageBoxes() { platform::SetMessageBoxHandler(previous_); }
    ScopedMessageBoxes(const ScopedMessageBoxes&) = delete;
    ScopedMessageBoxes& operator=(const ScopedMessageBoxes&) = delete;

    const auto& Shown() const { return boxes_->ShownBoxes(); }
    platform::ScriptedMessageBoxes& Boxes() const { return *boxes_; }
    // The texts of the boxes shown so far, in order.
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& box : Shown()) texts.push_back(box.text);
        return texts;
    }

private:
    std::shared_ptr<platform::ScriptedMessageBoxes> boxes_;
    std::shared_ptr<platform::MessageBoxHandler> previous_;
};

}  // namespace korvane::testing
