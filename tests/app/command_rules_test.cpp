// The command table: enable and check rules, command routes, and the frame's resources
// (menus, accelerators, toolbar, indicators, prompts, document string).
#include "app/frame/command_rules.h"
#include "resources/frame_resources.h"
#include "resources/strings.h"

#include <gtest/gtest.h>

#include <algorithm>
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

}  // namespace

TEST(CommandRules, DocumentAndSelectionDecideWhatIsEnabled) {
    // Stop stays enabled without a view (and does nothing); so do the always-on commands.
    const std::vector<std::uint32_t> alwaysOn = {cmd::kStop,      cmd::kPreferences, cmd::kToolWindow, cmd::kRefresh,
                                                 cmd::kReadTrack, cmd::kHelpFinder,  cmd::kAppAbout,   cmd::kAppExit,
                                                 cmd::kFileNew,   cmd::kFileOpen};
    const struct {
        bool view;
        int selected;
        std::vector<std::uint32_t> on, off;
    } cases[] = {
        {false, 0, alwaysOn, {cmd::kPlay, cmd::kLoop, cmd::kExportWav, cmd::kFileSave, cmd::kWindowNew}},
        {true, 0, {cmd::kFileSave}, {cmd::kPlay, cmd::kLoop, cmd::kExportWav}},
        {true, 1, {cmd::kPlay, cmd::kLoop, cmd::kExportWav}, {}},
        {true, 2, {cmd::kExportWav}, {cmd::kPlay, cmd::kLoop}},
        {false, 1, {}, {cmd::kPlay, cmd::kExportWav}},  // a stale selection count without a view
    };
    for (const auto& c : cases) {
        CommandContext context;
        context.hasActiveView = c.view;
        context.selectedRegions = c.selected;
        for (std::uint32_t id : c.on) EXPECT_TRUE(Enabled(id, context)) << id << " view " << c.view << " sel " << c.selected;
        for (std::uint32_t id : c.off) EXPECT_FALSE(Enabled(id, context)) << id << " view " << c.view << " sel " << c.selected;
    }
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

TEST(FrameResources, EveryCommandReachesAHandlerAndEveryMenuItemHasAPrompt) {
    // The document menu holds Export, the no-document menu does not.
    const auto noDoc = MenuIds(resources::kIdrMainFrame);
    const auto track = MenuIds(resources::kIdrKorvaType);
    EXPECT_EQ(std::count(noDoc.begin(), noDoc.end(), cmd::kExportWav), 0);
    EXPECT_EQ(std::count(track.begin(), track.end(), cmd::kExportWav), 1);
    // Every command a menu item, a toolbar button or a key sends reaches a handler (or is
    // deliberately swallowed); every menu item and button has a status-bar prompt.
    std::vector<std::uint32_t> shown(track.begin(), track.end());
    shown.insert(shown.end(), noDoc.begin(), noDoc.end());
    for (std::uint32_t id : resources::FrameToolbar()) shown.push_back(id);
    for (std::uint32_t id : shown) {
        if (id == 0) continue;  // separator
        EXPECT_NE(RouteOf(id), CommandRoute::kUnknown) << id;
        std::string_view prompt = resources::LoadAppString(id);
        if (prompt.empty()) prompt = resources::FrameworkPrompt(id);
        EXPECT_FALSE(resources::SplitPrompt(prompt).statusText.empty()) << id;
    }
    for (const auto& a : resources::FrameAccelerators()) EXPECT_NE(RouteOf(a.command), CommandRoute::kUnknown) << a.keys;
    // Toolbar buttons also carry a tooltip after the line break.
    for (std::uint32_t id : resources::FrameToolbar()) {
        if (id != 0) {
            EXPECT_FALSE(resources::SplitPrompt(resources::LoadAppString(id)).tooltip.empty()) << id;
        }
    }
    const auto noBreak = resources::SplitPrompt("only status");
    EXPECT_EQ(noBreak.statusText, "only status");
    EXPECT_TRUE(noBreak.tooltip.empty());
}

TEST(FrameResources, DocumentStringFieldsSplitAtLineBreaks) {
    const std::string_view doc = resources::LoadAppString(resources::kIdsDocString);
    EXPECT_EQ(resources::DocStringField(doc, 0), "");
    EXPECT_EQ(resources::DocStringField(doc, 1), "Korva");
    EXPECT_EQ(resources::DocStringField(doc, 6), "Korva Document");
    EXPECT_EQ(resources::DocStringField(doc, 7), "");
}
