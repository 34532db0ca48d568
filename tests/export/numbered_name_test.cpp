#include "export/numbered_name.h"

#include <gtest/gtest.h>

namespace {

using korvane::wavexport::MakeNumberedName;

TEST(MakeNumberedName, NumberGoesBeforeTheLastDotOfTheWholePath) {
    EXPECT_EQ(MakeNumberedName("C:\\Loops\\kick.wav", 1), "C:\\Loops\\kick1.wav");
    EXPECT_EQ(MakeNumberedName("C:\\Loops\\kick.wav", 12), "C:\\Loops\\kick12.wav");
    EXPECT_EQ(MakeNumberedName("/home/u/loops/kick.drum.wav", 3), "/home/u/loops/kick.drum3.wav");
    // The last "." may lie in a folder name.
    EXPECT_EQ(MakeNumberedName("C:\\My.Loops\\kick", 2), "C:\\My2.Loops\\kick");
    EXPECT_EQ(MakeNumberedName("/tmp/a.b/kick", 2), "/tmp/a2.b/kick");
    // A trailing dot keeps its place.
    EXPECT_EQ(MakeNumberedName("kick.", 4), "kick4.");
}

TEST(MakeNumberedName, WithoutADotTheNumberIsAppended) {
    EXPECT_EQ(MakeNumberedName("kick", 1), "kick1");
    EXPECT_EQ(MakeNumberedName("C:\\Loops\\kick", 10), "C:\\Loops\\kick10");
    EXPECT_EQ(MakeNumberedName("", 5), "5");
}

// The command line's rule: a dot in a folder's name is never the extension's dot; names
// with a dot in the file name itself come out as MakeNumberedName makes them.
TEST(MakeNumberedFileName, OnlyADotInTheFileNameCounts) {
    const std::pair<const char*, const char*> cases[] = {
        {"./kick", "./kick2"},          {"../x/kick", "../x/kick2"},       {"/tmp/a.b/kick", "/tmp/a.b/kick2"},
        {"/tmp/a.b/kick.wav", "/tmp/a.b/kick2.wav"}, {"kick.wav", "kick2.wav"}, {"loops/kick.drum.wav", "loops/kick.drum2.wav"},
        {"kick.", "kick2."},            {".kick", ".kick2"},               {"kick", "kick2"}};
    for (const auto& [path, numbered] : cases)
        EXPECT_EQ(korvane::wavexport::MakeNumberedFileName(path, 2), numbered) << path;
}

}  // namespace
