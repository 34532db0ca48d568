#include "app/frame/command_rules.h"

#include "resources/frame_resources.h"

namespace korvane::app {

namespace cmd = resources::cmd;

CommandRoute RouteOf(std::uint32_t command) noexcept {
    switch (command) {
        case cmd::kDriveBox:
        case cmd::kRefresh:
        case cmd::kReadTrack:
        case cmd::kStop:
        case cmd::kPlay:
        case cmd::kLoop:
        case cmd::kExportWav:
        case cmd::kPreferences:
        case cmd::kToolWindow:
            return CommandRoute::kFrame;
        case cmd::kFileNew:
        case cmd::kFileOpen:
        case cmd::kAppAbout:
            return CommandRoute::kApplication;
        case cmd::kFileSave:
            return CommandRoute::kDocument;
        case cmd::kAppExit:
        case cmd::kViewStatusBar:
        case cmd::kWindowNew:
        case cmd::kWindowCascade:
        case cmd::kWindowTile:
        case cmd::kWindowArrange:
        case cmd::kHelpFinder:
        case cmd::kDefaultHelp:
        case cmd::kNextPane:
        case cmd::kPrevPane:
            return CommandRoute::kFramework;
        case cmd::kEditUndo:
        case cmd::kEditCut:
        case cmd::kEditCopy:
        case cmd::kEditPaste:
            return CommandRoute::kSwallowed;
        default:
            return CommandRoute::kUnknown;
    }
}

CommandState QueryCommandState(std::uint32_t command, const CommandContext& context) noexcept {
    CommandState state;
    switch (command) {
        case cmd::kPlay:
        case cmd::kLoop:
            state.enabled = context.hasActiveView && context.selectedRegions == 1;
            break;
        case cmd::kExportWav:
            state.enabled = context.hasActiveView && context.selectedRegions >= 1;
            break;
        case cmd::kToolWindow:
            state.enabled = true;
            state.checkable = true;
            state.checked = context.toolWindowShown;
            break;
        case cmd::kViewStatusBar:
            state.enabled = true;
            state.checkable = true;
            state.checked = context.statusBarVisible;
            break;
        case cmd::kFileSave:
        case cmd::kWindowNew:
        case cmd::kWindowCascade:
        case cmd::kWindowTile:
        case cmd::kWindowArrange:
            state.enabled = context.hasActiveView;
            break;
        case cmd::kNextPane:
        case cmd::kPrevPane:
            // A track view is never split into panes.
            state.enabled = false;
            break;
        default:
            // Stop, Refresh, Read Track, Preferences, help, About, Exit, New, Open and
            // the swallowed editing keys are always enabled.
            state.enabled = RouteOf(command) != CommandRoute::kUnknown;
            break;
    }
    return state;
}

}  // namespace korvane::app
