// The sampler export end to end over a track file: every file still opens in
// libsndfile (and sox when installed) with the audio the options say, the chunks lie
// where RIFF puts them, the instrument and the groove describe the files written, and
// bad input writes nothing. With every option off the files are the plain export's bytes: korvane-cli
// export always goes this way (CliTest.ImportThenExport...).
#include "export/sampler_export.h"

#include "export/instrument.h"
#include "export/sampler_chunks.h"
#include "tests/support/audio_files.h"
#include "tests/support/run_program.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <map>

namespace {

using namespace korvane;
using namespace korvane::wavexport;
using namespace korvane::testing;
namespace fs = std::filesystem;

// The chunks of a RIFF/WAVE file: id -> contents; checks the sizes add up to the file
// with even padding.
std::map<std::string, std::vector<std::byte>> Chunks(const std::vector<std::byte>& file) {
    std::map<std::string, std::vector<std::byte>> chunks;
    EXPECT_EQ(Le32(file, 4), file.size() - 8);
    std::size_t at = 12;
    while (at + 8 <= file.size()) {
        std::string id;
        for (int i = 0; i < 4; ++i) id.push_back(static_cast<char>(file[at + i]));
        const std::uint32_t size = Le32(file, at + 4);
        if (at + 8 + size > file.size()) break;
        chunks[id].assign(file.begin() + at + 8, file.begin() + at + 8 + size);
        at += 8 + size + size % 2;
    }
    EXPECT_EQ(at, file.size());
    return chunks;
}

std::vector<std::int16_t> ReadWithSndfile(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    if (file == nullptr) return {};
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, 44100);
    std::vector<std::int16_t> samples(static_cast<std::size_t>(info.frames) * 2);
    EXPECT_EQ(sf_readf_short(file, samples.data(), info.frames), info.frames);
    sf_close(file);
    return samples;
}

class SamplerExportTest : public TempFolderTest {
protected:
    void SetUp() override {
        track_ = dir_ / "~krvn3.tmp";
        stereo_.resize(2 * 44100);
        for (std::size_t f = 0; f < 44100; ++f) {  // two detuned sines, so cuts have crossings to find
            stereo_[2 * f] = static_cast<std::int16_t>(12000 * std::sin(f * 0.031));
            stereo_[2 * f + 1] = static_cast<std::int16_t>(9000 * std::sin(f * 0.029 + 1));
        }
        WriteTrackFile(track_, stereo_);
        for (std::uint32_t k = 0; k < 11; ++k) request_.regions.push_back({1000 * k + 5, 900 + 10 * k, 0});
        request_.plain.trackFile = track_;
        request_.plain.regionAt = [this](std::size_t line) {
            return RegionBounds{request_.regions[line].start, request_.regions[line].length};
        };
        request_.plain.chosenPath = (dir_ / "out" / "kick.wav").string();
        request_.thresholdDb = -36;
        request_.releaseMs = 750;
        request_.sourceName = "song.wav";
        fs::create_directory(dir_ / "out");
    }
    void Select(std::vector<std::size_t> lines) { request_.plain.selectedLines = std::move(lines); }

    fs::path track_;
    std::vector<std::int16_t> stereo_;
    SamplerExportRequest request_;
};

TEST_F(SamplerExportTest, ShapedFilesCarryLoopsAndFadesAndTheInstrumentNamesThemAll) {
    Select({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    request_.options = {.zeroCrossMs = 2, .fadeInMs = 1, .fadeOutMs = 3, .smpl = true, .sfz = true, .midi = true,
                        .pad = true, .firstKey = 60};
    const auto result = ExportForSampler(request_);
    ASSERT_TRUE(result.Ok()) << result.refused;
    const auto spans = AdjustedSpans(track_, request_.regions, -36, 750, request_.options);
    ASSERT_EQ(result.regions.size(), 11u);
    for (std::size_t k = 0; k < 11; ++k) {
        EXPECT_EQ(fs::path(result.regions[k].path).filename(), (k < 9 ? "kick0" : "kick") + std::to_string(k + 1) + ".wav");
        auto chunks = Chunks(ReadAll(result.regions[k].path));
        const auto frames = static_cast<std::uint32_t>(chunks["data"].size() / 4);
        EXPECT_EQ(frames, spans[k].count);
        // Unity note = its key; one loop from the first frame to the last, inclusive.
        const sampler::SampleLoop loop{0, frames - 1};
        EXPECT_EQ(chunks["smpl"], sampler::SmplChunk(60 + static_cast<int>(k), std::span(&loop, 1))) << k;
        // The audio as libsndfile reads it: silent at both ends, the track's frames
        // between the fades.
        const auto heard = ReadWithSndfile(result.regions[k].path);
        ASSERT_EQ(heard.size(), 2u * frames);
        EXPECT_EQ(heard[0], 0);
        EXPECT_EQ(heard[heard.size() - 1], 0);
        for (std::size_t f = 44; f + 133 < frames; ++f)
            ASSERT_EQ(heard[2 * f], stereo_[2 * (spans[k].first + f)]) << k << " frame " << f;
        std::uint64_t first = 0;
        EXPECT_EQ(heard, ShapedRegionAudio(track_, request_.regions, k, -36, 750, request_.options, first));
    }
    // The instrument beside them names the files written; the groove has their spans.
    std::vector<fs::path> written;
    for (const auto& region : result.regions) written.push_back(region.path);
    EXPECT_EQ(ReadText(dir_ / "out" / "kick.sfz"),
              sampler::SfzText(written, dir_ / "out", request_.options, {"song.wav", -36, 750}));
    EXPECT_EQ(ReadAll(dir_ / "out" / "kick.mid"), sampler::GrooveMidi(spans, request_.options));
    const auto sox = RunProgram("/bin/sh", {"-c", "command -v soxi >/dev/null || exit 77; soxi -s \"$1\"", "sh",
                                            result.regions[3].path}, dir_);
    if (sox.exitCode != 77) {
        EXPECT_EQ(sox.out, std::to_string(spans[3].count) + "\n") << sox.err;
    }
}

TEST_F(SamplerExportTest, OneMarkedFileHoldsTheSpanWithACueAndLabelPerRegion) {
    Select({2, 3, 5});
    request_.options = {.markers = true};
    const auto result = ExportForSampler(request_);
    ASSERT_TRUE(result.Ok()) << result.refused;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "out"), fs::directory_iterator()), 1);
    ASSERT_EQ(result.regions.size(), 1u);
    auto chunks = Chunks(ReadAll(request_.plain.chosenPath));
    const std::uint32_t first = request_.regions[2].start * 4;
    EXPECT_EQ(chunks["data"].size(), (request_.regions[5].start + request_.regions[5].length) * 16 - first * 4);
    // A cue point at each region's first frame, counted from the file's, and its label.
    std::vector<std::uint32_t> cues;
    for (std::size_t line : request_.plain.selectedLines) cues.push_back(request_.regions[line].start * 4 - first);
    EXPECT_EQ(chunks["cue "], sampler::CueChunk(cues));
    EXPECT_EQ(chunks["LIST"], sampler::LabelListChunk(std::vector<std::string>{"Region 1", "Region 2", "Region 3"}));
    const auto heard = ReadWithSndfile(request_.plain.chosenPath);
    EXPECT_TRUE(std::equal(heard.begin(), heard.end(), stereo_.begin() + 2 * first));
}

TEST_F(SamplerExportTest, BadInputIsRefusedBeforeAnythingIsWritten) {
    Select({0, 1, 2});
    request_.options = {.sfz = true, .midi = true, .firstKey = 126};
    auto result = ExportForSampler(request_);
    EXPECT_NE(result.refused.find("past key 127"), std::string::npos);
    // A folder that cannot hold files (a regular file stands where it should be), even
    // for root.
    request_.options.firstKey = 36;
    WriteAll(dir_ / "out" / "blocker", {std::byte{1}});
    request_.plain.chosenPath = (dir_ / "out" / "blocker" / "kick.wav").string();
    result = ExportForSampler(request_);
    EXPECT_NE(result.refused.find("cannot write to the folder"), std::string::npos) << result.refused;
    EXPECT_TRUE(result.regions.empty());
    std::vector<std::string> left;
    for (const auto& entry : fs::recursive_directory_iterator(dir_ / "out")) left.push_back(entry.path().filename());
    EXPECT_EQ(left, std::vector<std::string>{"blocker"});
}

// Play adjusts only the regions up to the next one: for every region its audio starts
// and ends where the bounds over the whole list put it, with cuts that reach the
// neighbours (a 20 Hz sine crosses zero every 1,102 frames; the regions are 400 long).
TEST_F(SamplerExportTest, PlayOfEveryRegionHasItsBoundsOverTheWholeList) {
    std::vector<std::int16_t> slow(2 * 44100);
    for (std::size_t f = 0; f < 44100; ++f)
        slow[2 * f] = slow[2 * f + 1] = static_cast<std::int16_t>(12000 * std::sin(f * 2 * M_PI / 2205.0));
    WriteTrackFile(track_, slow);
    std::vector<Region> regions;
    for (std::uint32_t k = 0; k < 40; ++k) regions.push_back({100 * k, 100, 0});
    const sampler::SamplerOptions options{.trim = true, .zeroCrossMs = 20};
    const auto spans = AdjustedSpans(track_, regions, -36, 750, options);
    for (std::size_t k = 0; k < regions.size(); ++k) {
        std::uint64_t first = 0;
        const auto audio = ShapedRegionAudio(track_, regions, k, -36, 750, options, first);
        EXPECT_EQ(first, spans[k].first) << k;
        EXPECT_EQ(audio.size(), 2 * spans[k].count) << k;
    }
}

}  // namespace
