#include "app/frame/command_rules.h"

#include "resources/frame_resources.h"

namespace korvane::app {

namespace cmd = resources::cmd;

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
        case cmd::kDriveBox:
        case cmd::kRefresh:
        case cmd::kReadTrack:
        case cmd::kStop:
        case cmd::kPreferences:
        case cmd::kHelpFinder:
        case cmd::kDefaultHelp:
        case cmd::kAppAbout:
        case cmd::kAppExit:
        case cmd::kFileNew:
        case cmd::kFileOpen:
        case cmd::kEditUndo:
        case cmd::kEditCut:
        case cmd::kEditCopy:
        case cmd::kEditPaste:
            // Always enabled; the editing keys are taken and do nothing.
            state.enabled = true;
            break;
        default:
            // Not a command of this program.
            break;
    }
    return state;
}

}  // namespace korvane::app
