#pragma once
// The GUI's message boxes: the platform layer's MessageBox shown as a QMessageBox with
// the same buttons, icon and answer codes. The application installs it at start-up
// (platform::SetMessageBoxHandler) so the lower layers' messages appear as dialogs.
//
// Thread contract: Show runs on the UI thread (message boxes are modal there).
#include "platform/ui/ui.h"

namespace korvane::app {

class QtMessageBoxes final : public platform::MessageBoxHandler {
public:
    int Show(std::string_view text, std::string_view caption, std::uint32_t flags) override;
};

}  // namespace korvane::app
