// The command table: enable and check rules, command routes, and the frame's resources
// (menus, accelerators, toolbar, indicators, prompts, document string).
#include "app/frame/command_rules.h"
#include "resources/frame_resources.h"
#include "resources/strings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

using namespace korvane;
using namespace korvane::app;
namespace cmd = korvane::resources::cmd;

namespace {

bool Enabled(std::uint32_t id, const CommandContext& c) { return QueryCommandState(id, c).enabled; }

std::vector<std::uint32_t> MenuIds(std::uint32_t menuId) {
    std::vector<std::uint32_t> ids;
    for (const auto& popup : resources::FrameMenu(menuId))
        for (const auto& item : popup.items) ids.push_back(item.id);
    return ids;
}

std::vector<std::string> PopupTitles(std::uint32_t menuId) {
    std::vector<std::string> titles;
    for (const auto& popup : resources::FrameMenu(menuId)) titles.emplace_back(popup.text);
    return titles;
}

}  // namespace

TEST(CommandRules, NoDocumentOpen) {
    const CommandContext none{};
    EXPECT_FALSE(Enabled(cmd::kPlay, none));
    EXPECT_FALSE(Enabled(cmd::kLoop, none));
    EXPECT_FALSE(Enabled(cmd::kExportWav, none));
    EXPECT_FALSE(Enabled(cmd::kFileSave, none));
    EXPECT_FALSE(Enabled(cmd::kWindowNew, none));
    // Stop stays enabled (and does nothing without a view); so do the always-on ones.
    for (std::uint32_t id : {cmd::kStop, cmd::kPreferences, cmd::kToolWindow, cmd::kRefresh, cmd::kReadTrack,
                             cmd::kHelpFinder, cmd::kAppAbout, cmd::kAppExit, cmd::kFileNew, cmd::kFileOpen}) {
        EXPECT_TRUE(Enabled(id, none)) << id;
    }
}

TEST(CommandRules, SelectionCountsDecidePlayLoopAndExport) {
    CommandContext c;
    c.hasActiveView = true;
    c.selectedRegions = 0;
    EXPECT_FALSE(Enabled(cmd::kPlay, c));
    EXPECT_FALSE(Enabled(cmd::kExportWav, c));
    EXPECT_TRUE(Enabled(cmd::kFileSave, c));

    c.selectedRegions = 1;
    EXPECT_TRUE(Enabled(cmd::kPlay, c));
    EXPECT_TRUE(Enabled(cmd::kLoop, c));
    EXPECT_TRUE(Enabled(cmd::kExportWav, c));

    c.selectedRegions = 2;
    EXPECT_FALSE(Enabled(cmd::kPlay, c));
    EXPECT_FALSE(Enabled(cmd::kLoop, c));
    EXPECT_TRUE(Enabled(cmd::kExportWav, c));

    // A selection count without an active view (a stale list) enables nothing.
    c.hasActiveView = false;
    c.selectedRegions = 1;
    EXPECT_FALSE(Enabled(cmd::kPlay, c));
    EXPECT_FALSE(Enabled(cmd::kExportWav, c));
}

TEST(CommandRules, ToggleChecksFollowTheWindowsOwnVisibility) {
    CommandContext c;
    c.toolWindowShown = true;
    c.statusBarVisible = false;
    EXPECT_TRUE(QueryCommandState(cmd::kToolWindow, c).checked);
    EXPECT_TRUE(QueryCommandState(cmd::kToolWindow, c).enabled);
    EXPECT_FALSE(QueryCommandState(cmd::kViewStatusBar, c).checked);
    c.toolWindowShown = false;
    c.statusBarVisible = true;
    EXPECT_FALSE(QueryCommandState(cmd::kToolWindow, c).checked);
    EXPECT_TRUE(QueryCommandState(cmd::kViewStatusBar, c).checked);
    EXPECT_FALSE(QueryCommandState(cmd::kPlay, c).checkable);
}

TEST(CommandRules, EditingAndPaneKeysReachNoHandler) {
    CommandContext c;
    c.hasActiveView = true;
    c.selectedRegions = 1;
    for (std::uint32_t id : {cmd::kEditUndo, cmd::kEditCut, cmd::kEditCopy, cmd::kEditPaste}) {
        EXPECT_EQ(RouteOf(id), CommandRoute::kSwallowed) << id;
    }
    // The view is never split, so the pane commands stay disabled.
    EXPECT_FALSE(Enabled(cmd::kNextPane, c));
    EXPECT_FALSE(Enabled(cmd::kPrevPane, c));
    EXPECT_EQ(RouteOf(12345), CommandRoute::kUnknown);
    EXPECT_FALSE(Enabled(12345, c));
    EXPECT_EQ(RouteOf(cmd::kFileOpen), CommandRoute::kApplication);
    EXPECT_EQ(RouteOf(cmd::kFileSave), CommandRoute::kDocument);
    EXPECT_EQ(RouteOf(cmd::kReadTrack), CommandRoute::kFrame);
}

TEST(FrameResources, MenusForNoDocumentAndForATrack) {
    EXPECT_EQ(PopupTitles(resources::kIdrMainFrame), (std::vector<std::string>{"&File", "&View", "&Help"}));
    EXPECT_EQ(PopupTitles(resources::kIdrKorvaType),
              (std::vector<std::string>{"&File", "&View", "&Window", "&Help"}));
    const auto noDoc = MenuIds(resources::kIdrMainFrame);
    EXPECT_EQ(std::count(noDoc.begin(), noDoc.end(), cmd::kExportWav), 0);
    EXPECT_EQ(noDoc, (std::vector<std::uint32_t>{cmd::kFileOpen, 0, cmd::kPreferences, 0, cmd::kAppExit,
                                                 cmd::kToolWindow, cmd::kViewStatusBar, cmd::kHelpFinder,
                                                 cmd::kAppAbout}));
    EXPECT_EQ(MenuIds(resources::kIdrKorvaType),
              (std::vector<std::uint32_t>{cmd::kFileOpen, 0, cmd::kExportWav, 0, cmd::kPreferences, 0,
                                          cmd::kAppExit, cmd::kToolWindow, cmd::kViewStatusBar, cmd::kWindowNew,
                                          cmd::kWindowCascade, cmd::kWindowTile, cmd::kWindowArrange,
                                          cmd::kHelpFinder, cmd::kAppAbout}));
    EXPECT_TRUE(resources::FrameMenu(130).empty());
    // Every menu command has a rule (none is silently unknown).
    for (std::uint32_t id : MenuIds(resources::kIdrKorvaType)) {
        if (id != 0) {
            EXPECT_NE(RouteOf(id), CommandRoute::kUnknown) << id;
        }
    }
}

TEST(FrameResources, AcceleratorsToolbarAndIndicators) {
    std::set<std::pair<std::string, std::uint32_t>> accels;
    for (const auto& a : resources::FrameAccelerators()) accels.emplace(std::string(a.keys), a.command);
    const std::set<std::pair<std::string, std::uint32_t>> expected = {
        {"Ctrl+N", 57600}, {"Ctrl+O", 57601}, {"Ctrl+S", 57603},    {"Ctrl+Z", 57643},   {"Alt+Backspace", 57643},
        {"Ctrl+X", 57635}, {"Shift+Del", 57635}, {"Ctrl+C", 57634}, {"Ctrl+Ins", 57634}, {"Ctrl+V", 57637},
        {"Shift+Ins", 57637}, {"F6", 57680},  {"Shift+F6", 57681}};
    EXPECT_EQ(accels, expected);

    const auto toolbar = resources::FrameToolbar();
    EXPECT_EQ(std::vector<std::uint32_t>(toolbar.begin(), toolbar.end()),
              (std::vector<std::uint32_t>{32772, 0, 1023, 1026, 1025, 0, 32771}));

    std::vector<std::string> panes;
    for (std::uint32_t id : resources::StatusIndicators())
        panes.emplace_back(id == 0 ? "" : resources::LoadAppString(id));
    EXPECT_EQ(panes, (std::vector<std::string>{"", "CAP", "NUM", "SCRL"}));
    EXPECT_EQ(resources::LoadAppString(resources::kIdsIdleMessage), "Ready");
}

TEST(FrameResources, PromptsSplitIntoStatusTextAndTooltip) {
    const struct {
        std::uint32_t id;
        const char* status;
        const char* tip;
    } prompts[] = {
        {1023, "stop playback", "stop"},
        {1025, "play region looped", "loop"},
        {1026, "play region one-shot", "play"},
        {32771, "change settings and preferences", "preferences"},
        {32772, "export region(s) as .WAV", "export region(s)"},
        {32773, "show or hide the slice tool window", "toggle tool window"},
        {57665, "quit the application", "exit"},
        {57667, "show help topics", "help topics"},
        {59393, "show or hide the status bar", "toggle status bar"},
    };
    for (const auto& p : prompts) {
        const auto split = resources::SplitPrompt(resources::LoadAppString(p.id));
        EXPECT_EQ(split.statusText, p.status) << p.id;
        EXPECT_EQ(split.tooltip, p.tip) << p.id;
    }
    const auto noBreak = resources::SplitPrompt("only status");
    EXPECT_EQ(noBreak.statusText, "only status");
    EXPECT_TRUE(noBreak.tooltip.empty());
}

TEST(FrameResources, DocumentStringAndStartupMessages) {
    const std::string_view doc = resources::LoadAppString(resources::kIdsDocString);
    const char* fields[] = {"", "Korva", "Korva", "", "", "Korvane.Document", "Korva Document"};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(resources::DocStringField(doc, i), fields[i]) << i;
    EXPECT_EQ(resources::DocStringField(doc, 7), "");
    EXPECT_EQ(resources::LoadAppString(128), "Korvane");
    EXPECT_EQ(resources::LoadAppString(57344), "Korvane");
    EXPECT_EQ(resources::LoadAppString(61568), "This product requires Microsoft Windows95 or Windows98");
    EXPECT_EQ(resources::LoadAppString(61567), "ERROR: could not open DirectSound driver!\nTerminating program.");
}
