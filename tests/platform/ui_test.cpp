#include "platform/ui/ui.h"

#include <gtest/gtest.h>

namespace korvane::platform {
namespace {

// A handler set (here the tests' scripted one) answers until reset; resetting returns it
// and restores the default handler, which answers the first button and prints the box.
TEST(MessageBox, AHandlerAnswersUntilResetThenTheDefaultAnswersTheFirstButtonAndPrints) {
    auto scripted = std::make_shared<ScriptedMessageBoxes>(kIdCancel);
    SetMessageBoxHandler(scripted);
    EXPECT_EQ(MessageBox("first", "Setup", kMbOkCancel), kIdCancel);
    EXPECT_EQ(SetMessageBoxHandler(nullptr), scripted);

    const struct { std::uint32_t flags; int answer; } cases[] = {
        {kMbOk | kMbIconError, kIdOk}, {kMbOkCancel, kIdOk},      {kMbAbortRetryIgnore | kMbIconWarning, kIdAbort},
        {kMbYesNoCancel, kIdYes},      {kMbYesNo | kMbIconQuestion, kIdYes}, {kMbRetryCancel, kIdRetry},
    };
    for (const auto& c : cases) EXPECT_EQ(MessageBox("text", "caption", c.flags), c.answer) << c.flags;
    ::testing::internal::CaptureStderr();
    MessageBox("ERROR: could not open DirectSound driver!\nTerminating program.", "Korvane", kMbOk | kMbIconError);
    const std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(printed.find("could not open DirectSound driver!"), std::string::npos) << printed;
    EXPECT_NE(printed.find("Korvane"), std::string::npos) << printed;
}

TEST(StringTable, LaterTextsReplaceEarlierOnesAndAbsentIdsHaveNone) {
    StringTable table;
    table.Add(7, "seven");
    table.Add(7, "SEVEN");
    EXPECT_EQ(table.Load(7), "SEVEN");
    EXPECT_EQ(table.Find(8), std::nullopt);
    EXPECT_EQ(table.Load(8), "");
}

}  // namespace
}  // namespace korvane::platform
