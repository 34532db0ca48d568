#pragma once
// The GUI's message boxes for the lower layers (platform::MessageBox): a QMessageBox
// with the Win32 button set and icon. When KORVANE_MESSAGE_LOG names a file, no box is
// shown: each message is appended to that file as one record and answered with the
// first button, so a scripted run (and the end-to-end tests of the program) never waits
// for a click. Thread contract: UI thread only.
#include "platform/ui/ui.h"

#include <string>

class QWidget;

namespace korvane::app {

class QtMessageBoxes : public platform::MessageBoxHandler {
public:
    // `logFile` empty: real boxes over the active window.
    explicit QtMessageBoxes(std::string logFile = {});
    int Show(std::string_view text, std::string_view caption, std::uint32_t flags) override;

    // The answer a box with `flags` gives when nobody is asked (its first button).
    static int FirstButton(std::uint32_t flags) noexcept;

private:
    std::string logFile_;
};

}  // namespace korvane::app
