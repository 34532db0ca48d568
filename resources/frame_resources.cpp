#include "resources/frame_resources.h"

#include <array>

namespace korvane::resources {
namespace {

constexpr MenuItem kSeparator{};

constexpr std::array kFileMenuNoDoc = {
    MenuItem{cmd::kFileOpen, "&Open...\tCtrl+O"},
    kSeparator,
    MenuItem{cmd::kPreferences, "Preferences..."},
    kSeparator,
    MenuItem{cmd::kAppExit, "E&xit"},
};
constexpr std::array kFileMenuDoc = {
    MenuItem{cmd::kFileOpen, "&Open...\tCtrl+O"},
    kSeparator,
    MenuItem{cmd::kExportWav, "Export .WAV..."},
    kSeparator,
    MenuItem{cmd::kPreferences, "Preferences..."},
    kSeparator,
    MenuItem{cmd::kAppExit, "E&xit"},
};
constexpr std::array kViewMenu = {
    MenuItem{cmd::kToolWindow, "&Tool Window"},
    MenuItem{cmd::kViewStatusBar, "&Status Bar"},
};
constexpr std::array kWindowMenu = {
    MenuItem{cmd::kWindowNew, "&New Window"},
    MenuItem{cmd::kWindowCascade, "&Cascade"},
    MenuItem{cmd::kWindowTile, "&Tile"},
    MenuItem{cmd::kWindowArrange, "&Arrange Icons"},
};
constexpr std::array kHelpMenu = {
    MenuItem{cmd::kHelpFinder, "Topics"},
    MenuItem{cmd::kAppAbout, "&About Korvane..."},
};

constexpr std::array kMenu128 = {
    MenuPopup{"&File", kFileMenuNoDoc},
    MenuPopup{"&View", kViewMenu},
    MenuPopup{"&Help", kHelpMenu},
};
constexpr std::array kMenu129 = {
    MenuPopup{"&File", kFileMenuDoc},
    MenuPopup{"&View", kViewMenu},
    MenuPopup{"&Window", kWindowMenu},
    MenuPopup{"&Help", kHelpMenu},
};

constexpr std::array kAccelerators = {
    Accelerator{"Ctrl+N", cmd::kFileNew},
    Accelerator{"Ctrl+O", cmd::kFileOpen},
    Accelerator{"Ctrl+S", cmd::kFileSave},
    Accelerator{"Ctrl+Z", cmd::kEditUndo},
    Accelerator{"Alt+Backspace", cmd::kEditUndo},
    Accelerator{"Ctrl+X", cmd::kEditCut},
    Accelerator{"Shift+Del", cmd::kEditCut},
    Accelerator{"Ctrl+C", cmd::kEditCopy},
    Accelerator{"Ctrl+Ins", cmd::kEditCopy},
    Accelerator{"Ctrl+V", cmd::kEditPaste},
    Accelerator{"Shift+Ins", cmd::kEditPaste},
    Accelerator{"F6", cmd::kNextPane},
    Accelerator{"Shift+F6", cmd::kPrevPane},
};

constexpr std::array<std::uint32_t, 7> kToolbar = {
    cmd::kExportWav, 0, cmd::kStop, cmd::kPlay, cmd::kLoop, 0, cmd::kPreferences,
};

constexpr std::array<std::uint32_t, 4> kIndicators = {
    0, kIdsIndicatorCaps, kIdsIndicatorNum, kIdsIndicatorScroll,
};

}  // namespace

std::span<const MenuPopup> FrameMenu(std::uint32_t menuId) noexcept {
    if (menuId == kIdrMainFrame) return kMenu128;
    if (menuId == kIdrKorvaType) return kMenu129;
    return {};
}

std::span<const Accelerator> FrameAccelerators() noexcept { return kAccelerators; }
std::span<const std::uint32_t> FrameToolbar() noexcept { return kToolbar; }
std::span<const std::uint32_t> StatusIndicators() noexcept { return kIndicators; }

CommandPrompt SplitPrompt(std::string_view prompt) noexcept {
    const auto lineBreak = prompt.find('\n');
    if (lineBreak == std::string_view::npos) return {prompt, {}};
    return {prompt.substr(0, lineBreak), prompt.substr(lineBreak + 1)};
}

std::string_view DocStringField(std::string_view docString, int index) noexcept {
    if (index < 0) return {};
    for (int field = 0; field < index; ++field) {
        const auto lineBreak = docString.find('\n');
        if (lineBreak == std::string_view::npos) return {};
        docString.remove_prefix(lineBreak + 1);
    }
    return docString.substr(0, docString.find('\n'));
}

std::string_view FrameworkPrompt(std::uint32_t command) noexcept {
    switch (command) {
        case cmd::kFileOpen: return "Open an existing document\nOpen";
        case cmd::kWindowNew: return "Open another window for the active document\nNew Window";
        case cmd::kWindowArrange: return "Arrange icons at the bottom of the window\nArrange Icons";
        case cmd::kWindowCascade: return "Arrange windows so they overlap\nCascade Windows";
        case cmd::kWindowTile: return "Arrange windows as non-overlapping tiles\nTile Windows";
        case cmd::kAppAbout: return "Display program information, version number and copyright\nAbout";
        default: return {};
    }
}

}  // namespace korvane::resources
