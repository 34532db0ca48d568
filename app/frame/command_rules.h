#pragma once
// The command table of the main frame as plain logic: which command ids the frame
// handles, and the enable/check state of every command for a given situation. The Qt
// frame asks this before every menu is shown and whenever the situation changes, so
// the toolbar, menus and accelerators always agree. No GUI toolkit involved.
#include <cstdint>

namespace korvane::app {

// What the enable rules look at.
struct CommandContext {
    bool hasActiveView = false;     // an MDI child with a track view is active
    int selectedRegions = 0;        // selection count of that view's region list
    bool toolWindowShown = false;   // the slice tool window's own visibility
    bool statusBarVisible = true;
};

struct CommandState {
    bool enabled = false;
    bool checkable = false;
    bool checked = false;
};

CommandState QueryCommandState(std::uint32_t command, const CommandContext& context) noexcept;

}  // namespace korvane::app
