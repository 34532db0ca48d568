#pragma once
// Message boxes for scripted runs: when KORVANE_MESSAGE_LOG names a file, no box is
// shown; each message is appended to that file as one record and answered with its
// first button, so a run without anyone at the screen (and the end-to-end tests of the
// program) never waits for a click.
//
// Record format: "<caption>|<flags>\n<text>\n--\n".
// Thread contract: the UI thread (where message boxes are shown).
#include "platform/ui/ui.h"

#include <filesystem>

namespace korvane::app {

class MessageLogBoxes final : public platform::MessageBoxHandler {
public:
    explicit MessageLogBoxes(std::filesystem::path logFile) : logFile_(std::move(logFile)) {}
    // Appends the record; throws std::runtime_error when the log cannot be written.
    int Show(std::string_view text, std::string_view caption, std::uint32_t flags) override;

    // The answer of a box with `flags` when nobody is asked: its first button.
    static int FirstButton(std::uint32_t flags) noexcept;

private:
    std::filesystem::path logFile_;
};

}  // namespace korvane::app
