#pragma once
// The main frame's resources as data: command ids, menus 128 and 129, accelerator
// table 128, toolbar 128, the status-bar indicators and the document string 129.
// Texts are the program's own; '&' marks the mnemonic as in a menu template.
// Constant data, usable from any thread; no GUI toolkit involved.
#include <cstdint>
#include <span>
#include <string_view>

namespace korvane::resources {

// Resource ids of the frame and the document template.
inline constexpr std::uint32_t kIdrMainFrame = 128;   // menu, accelerators, toolbar, icon, title
inline constexpr std::uint32_t kIdrKorvaType = 129;   // document menu, icon, document string
inline constexpr std::uint32_t kIddAboutBox = 100;
inline constexpr std::uint32_t kIddSliceBar = 130;
inline constexpr std::uint32_t kIddCdBar = 131;
inline constexpr std::uint32_t kIdbSplash = 143;
inline constexpr std::uint32_t kIddSplash = 144;

// Commands and controls.
namespace cmd {
inline constexpr std::uint32_t kDriveBox = 1004;
inline constexpr std::uint32_t kTrackBox = 1005;
inline constexpr std::uint32_t kRefresh = 1006;
inline constexpr std::uint32_t kReadTrack = 1007;
inline constexpr std::uint32_t kStop = 1023;
inline constexpr std::uint32_t kLoop = 1025;
inline constexpr std::uint32_t kPlay = 1026;
inline constexpr std::uint32_t kPreferences = 32771;
inline constexpr std::uint32_t kExportWav = 32772;
inline constexpr std::uint32_t kToolWindow = 32773;
inline constexpr std::uint32_t kFileNew = 57600;
inline constexpr std::uint32_t kFileOpen = 57601;
inline constexpr std::uint32_t kFileSave = 57603;
inline constexpr std::uint32_t kEditCopy = 57634;
inline constexpr std::uint32_t kEditCut = 57635;
inline constexpr std::uint32_t kEditPaste = 57637;
inline constexpr std::uint32_t kEditUndo = 57643;
inline constexpr std::uint32_t kWindowNew = 57648;
inline constexpr std::uint32_t kWindowArrange = 57649;
inline constexpr std::uint32_t kWindowCascade = 57650;
inline constexpr std::uint32_t kWindowTile = 57651;
inline constexpr std::uint32_t kAppAbout = 57664;
inline constexpr std::uint32_t kAppExit = 57665;
inline constexpr std::uint32_t kHelpFinder = 57667;
inline constexpr std::uint32_t kDefaultHelp = 57671;
inline constexpr std::uint32_t kNextPane = 57680;
inline constexpr std::uint32_t kPrevPane = 57681;
inline constexpr std::uint32_t kViewStatusBar = 59393;
}  // namespace cmd

// Control-bar child ids.
inline constexpr std::uint32_t kIdwToolBar = 59392;
inline constexpr std::uint32_t kIdwStatusBar = 59393;
inline constexpr std::uint32_t kIdwReBar = 59396;
inline constexpr std::uint32_t kIdwDialogBar = 59397;

// Strings of the frame.
inline constexpr std::uint32_t kIdsMainTitle = 128;          // "Korvane"
inline constexpr std::uint32_t kIdsDocString = 129;          // document template string
inline constexpr std::uint32_t kIdsAppTitle = 57344;         // message-box caption
inline constexpr std::uint32_t kIdsIdleMessage = 57345;      // "Ready"
inline constexpr std::uint32_t kIdsIndicatorCaps = 59137;
inline constexpr std::uint32_t kIdsIndicatorNum = 59138;
inline constexpr std::uint32_t kIdsIndicatorScroll = 59139;
inline constexpr std::uint32_t kIdsNoDirectSound = 61567;
inline constexpr std::uint32_t kIdsWrongPlatform = 61568;

// One menu entry: a command (id != 0), a separator (id 0, empty text) or, inside a
// menu bar, a pop-up holding `items`.
struct MenuItem {
    std::uint32_t id = 0;
    std::string_view text;
    bool IsSeparator() const noexcept { return id == 0 && text.empty(); }
};
struct MenuPopup {
    std::string_view text;
    std::span<const MenuItem> items;
};

// Menu 128 (no document) or 129 (a track document is active); empty for other ids.
std::span<const MenuPopup> FrameMenu(std::uint32_t menuId) noexcept;

// Accelerator table 128. `keys` uses the portable key-sequence notation
// ("Ctrl+N", "Shift+Del", "Alt+Backspace", "F6").
struct Accelerator {
    std::string_view keys;
    std::uint32_t command;
};
std::span<const Accelerator> FrameAccelerators() noexcept;

// Toolbar 128 in button order; 0 is a separator.
std::span<const std::uint32_t> FrameToolbar() noexcept;

// Status-bar panes in order: 0 the message pane, then the indicator string ids.
std::span<const std::uint32_t> StatusIndicators() noexcept;

// A command prompt split at its line break: the status-bar text and the tooltip.
struct CommandPrompt {
    std::string_view statusText;
    std::string_view tooltip;
};
CommandPrompt SplitPrompt(std::string_view prompt) noexcept;

// Field `index` (0-6) of a document string "\nKorva\nKorva\n..." ("" past the end).
std::string_view DocStringField(std::string_view docString, int index) noexcept;

// The framework's standard prompts of the window and frame commands this program keeps.
std::string_view FrameworkPrompt(std::uint32_t command) noexcept;

}  // namespace korvane::resources
