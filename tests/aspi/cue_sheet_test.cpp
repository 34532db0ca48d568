#include "platform/aspi/cue_sheet.h"
#include "tests/support/run_program.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace korvane::aspi::cue {
namespace {

namespace fs = std::filesystem;
const fs::path kCueDir = fs::path(KORVANE_TEST_DATA_DIR) / "cue";

using korvane::testing::ReadText;

// The rest of the sheet's "REM <key> ..." line.
std::string RemRest(const std::string& text, const std::string& key) {
    const auto at = text.find("REM " + key + " ");
    if (at == std::string::npos) return {};
    const auto start = at + 5 + key.size();
    return text.substr(start, text.find_first_of("\r\n", start) - start);
}

// Lays the sheet out with the file sizes its "REM sizes" line gives.
Layout LayOutWithSizes(const Sheet& sheet, const std::string& text) {
    std::istringstream words(RemRest(text, "sizes"));
    std::vector<std::uint64_t> sizes;
    for (std::uint64_t size = 0; words >> size;) sizes.push_back(size);
    return LayOut(sheet, [&](std::size_t i) { return sizes.at(i); });
}

TEST(CueTokenizer, WordsQuotedStringsAndLineNumbers) {
    // Each line as its number and its tokens (text, quoted).
    using Line = std::pair<int, std::vector<std::pair<std::string, bool>>>;
    std::vector<Line> lines;
    for (const auto& line : Tokenize("\xEF\xBB\xBF" "FILE \"My Disc.bin\" BINARY\r\n\n  TRACK 01\tAUDIO\r\n")) {
        lines.emplace_back(line.line, std::vector<std::pair<std::string, bool>>{});
        for (const auto& token : line.tokens) lines.back().second.emplace_back(token.text, token.quoted);
    }
    EXPECT_EQ(lines, (std::vector<Line>{{1, {{"FILE", false}, {"My Disc.bin", true}, {"BINARY", false}}},
                                        {3, {{"TRACK", false}, {"01", false}, {"AUDIO", false}}}}));
    EXPECT_EQ(Tokenize("TITLE \"\"").at(0).tokens.at(1).text, "");
}

TEST(CueMsf, ConvertsAndRejects) {
    EXPECT_EQ(std::tuple(ParseMsf("00:00:00", 1), ParseMsf("01:02:03", 1), ParseMsf("99:59:74", 1)),
              std::tuple(0u, (62u * 75u) + 3u, (99u * 60u + 59u) * 75u + 74u));
    for (const char* bad : {"00:00", "00:00:00:00", "aa:00:00", "00:-1:00", "00:00:75", "", "::"})
        EXPECT_THROW(ParseMsf(bad, 1), CueError) << bad;
}

TEST(CueCorpus, GoodSheetsLayOutAsExpected) {
    int checked = 0;
    for (const auto& entry : fs::directory_iterator(kCueDir / "good")) {
        SCOPED_TRACE(entry.path().filename().string());
        const std::string text = ReadText(entry.path());
        const Layout layout = LayOutWithSizes(Parse(text), text);
        std::string got;
        for (const auto& t : layout.tracks)
            got += std::to_string(t.number) + ":" + std::to_string(t.control) + ":" + std::to_string(t.startLba) + " ";
        got += "leadout:" + std::to_string(layout.leadOutLba);
        EXPECT_EQ(got, RemRest(text, "toc"));
        // Each extent as <lba>+<sectors>:<file>@<byte offset>/<sector bytes>, "d" for data;
        // file -1 is silence.
        std::string extents;
        for (const auto& e : layout.extents)
            extents += std::to_string(e.lba) + "+" + std::to_string(e.sectorCount) + ":" + std::to_string(e.fileIndex) + "@" +
                       std::to_string(e.byteOffset) + "/" + std::to_string(e.sectorBytes) + (e.data ? "d " : " ");
        EXPECT_EQ(extents, RemRest(text, "extents") + " ");
        ++checked;
    }
    EXPECT_GE(checked, 5);
}

TEST(CueCorpus, BrokenSheetsNameTheirFault) {
    int checked = 0;
    for (const auto& entry : fs::directory_iterator(kCueDir / "bad")) {
        SCOPED_TRACE(entry.path().filename().string());
        const std::string text = ReadText(entry.path());
        const std::string expected = RemRest(text, "expect");
        ASSERT_FALSE(expected.empty());
        EXPECT_THAT([&] { LayOutWithSizes(Parse(text), text); },
                    ::testing::ThrowsMessage<CueError>(::testing::HasSubstr(expected)));
        ++checked;
    }
    EXPECT_GE(checked, 15);
}

TEST(CueLayout, NinetyNineTracksAndNoMore) {
    std::string text = "FILE \"x.bin\" BINARY\n";
    for (int t = 1; t <= 99; ++t) {
        char line[64];
        std::snprintf(line, sizeof line, "TRACK %02d AUDIO\nINDEX 01 %02d:%02d:00\n", t, (t - 1) * 2 / 60, (t - 1) * 2 % 60);
        text += line;
    }
    const Layout layout = LayOut(Parse(text), [](std::size_t) { return std::uint64_t{99} * 150 * 2352; });
    ASSERT_EQ(layout.tracks.size(), 99u);
    EXPECT_EQ(std::tuple(layout.lastTrack, layout.tracks[98].startLba), std::tuple(99, 98u * 150u));
    EXPECT_THROW(Parse(text + "TRACK 100 AUDIO\nINDEX 01 10:00:00\n"), CueError);
}

}  // namespace
}  // namespace korvane::aspi::cue
