#include "export/numbered_name.h"

#include <gtest/gtest.h>

namespace {

using korvane::wavexport::MakeNumberedName;

// The number goes before the last dot of the whole path, which may lie in a folder's
// name; without a dot it is appended.
TEST(MakeNumberedName, NumberGoesBeforeTheLastDotOfTheWholePath) {
    struct Case {
        const char* path;
        int n;
        const char* numbered;
    };
    const Case cases[] = {
        {"C:\\Loops\\kick.wav", 12, "C:\\Loops\\kick12.wav"},
        {"/home/u/loops/kick.drum.wav", 3, "/home/u/loops/kick.drum3.wav"},
        {"C:\\My.Loops\\kick", 2, "C:\\My2.Loops\\kick"},
        {"kick.", 4, "kick4."},  // a trailing dot keeps its place
        {"kick", 1, "kick1"},
        {"", 5, "5"},
    };
    for (const Case& c : cases) EXPECT_EQ(MakeNumberedName(c.path, c.n), c.numbered) << c.path;
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
