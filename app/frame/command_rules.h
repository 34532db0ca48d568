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

// How a command is dealt with when it arrives.
enum class CommandRoute {
    kFrame,        // a handler of the main frame (CD bar, playback, export, tool window, ...)
    kApplication,  // a handler of the application object (New, Open, About)
    kDocument,     // the active document (Save)
    kFramework,    // standard window handling (Exit, status bar, MDI window commands, help)
    kSwallowed,    // an accelerator with no handler anywhere: the key is taken, nothing happens
    kUnknown,      // not a command of this program
};

CommandRoute RouteOf(std::uint32_t command) noexcept;
CommandState QueryCommandState(std::uint32_t command, const CommandContext& context) noexcept;

}  // namespace korvane::app
