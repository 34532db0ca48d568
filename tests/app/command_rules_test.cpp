// The enable rules of the command table for every kind of document and selection. (Check
// marks, the swallowed editing keys and the prompts are seen on the running frame in
// app_e2e_test.)
#include "app/frame/command_rules.h"
#include "resources/frame_resources.h"

#include <gtest/gtest.h>

#include <vector>

using namespace korvane;
using namespace korvane::app;
namespace cmd = korvane::resources::cmd;

namespace {

bool Enabled(std::uint32_t id, const CommandContext& c) { return QueryCommandState(id, c).enabled; }

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
