// The sampler export's pure logic: zero-crossing cuts, trimmed tails, fades, the RIFF
// chunks field by field, the instrument (parsed) and the groove (read back by a small
// MIDI reader of its own).
#include "export/instrument.h"
#include "export/sampler.h"
#include "export/sampler_chunks.h"
#include "regions/slice_index.h"
#include "regions/sound_ends.h"
#include "tests/support/audio_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <set>
#include <sstream>

namespace korvane::sampler {
namespace {

using korvane::testing::Le32;

std::string Text(const std::vector<std::byte>& b, std::size_t at, std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s.push_back(static_cast<char>(b[at + i]));
    return s;
}

TEST(ZeroCrossing, NearestCrossingThenQuietestWithinTheWindow) {
    struct Case { std::vector<std::int32_t> sums; std::uint64_t at, lo, hi, want; };
    const Case cases[] = {
        {{5, 4, -3, -2, 6, 7}, 3, 1, 5, 2},      // crossings at 2 and 4: equally near, earlier wins
        {{5, 4, 3, -2, -6, 7}, 4, 1, 5, 3},      // sign changes at 3 and 5, both 1 away
        {{9, 8, 0, 8, 9, 9}, 5, 1, 5, 2},        // an exact zero counts
        {{9, 8, 7, 3, 8, 9}, 1, 1, 5, 3},        // no crossing: the quietest frame
        {{9, 8, -7, 3, 8, 9}, 5, 4, 5, 4},       // the crossing at 2 lies outside [lo, hi]
        {{1, 2, 3}, 1, 2, 1, 1},                 // empty window keeps the cut
    };
    for (const Case& c : cases) EXPECT_EQ(NearestZeroCrossing(c.sums, 0, c.at, c.lo, c.hi), c.want) << c.at;
}

// A 441 Hz sine in both channels (100 frames a period, crossings every 50 frames).
FrameSums Sine() {
    return [](std::uint64_t first, std::span<std::int32_t> out) {
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = 2 * static_cast<std::int32_t>(std::lround(10000 * std::sin(2 * M_PI * double(first + i + 25) / 100)));
    };
}

TEST(AdjustBounds, CutsLandOnCrossingsStayNearAndNeverOverlap) {
    // Abutting regions, and one after a gap; starts in overview samples (4 frames).
    const std::vector<Region> regions{{100, 250, 0}, {350, 400, 0}, {800, 300, 0}};
    SamplerOptions options;
    options.zeroCrossMs = 1;  // 44 frames
    const auto spans = AdjustBounds(regions, {}, 1'000'000, options, Sine());
    ASSERT_EQ(spans.size(), 3u);
    for (std::size_t k = 0; k < spans.size(); ++k) {
        const FrameSpan plain = PlainSpan(regions[k]);
        EXPECT_EQ((spans[k].first + 25) % 50, 0u) << k;  // on a crossing of the sine
        EXPECT_LE(spans[k].first > plain.first ? spans[k].first - plain.first : plain.first - spans[k].first, 44u);
        EXPECT_LE(spans[k].End() > plain.End() ? spans[k].End() - plain.End() : plain.End() - spans[k].End(), 44u);
        if (k > 0) {
            EXPECT_GE(spans[k].first, spans[k - 1].End()) << k;
        }
    }
    EXPECT_EQ(spans[0].End(), spans[1].first);  // the shared cut stays shared
    options.zeroCrossMs = 0;
    EXPECT_EQ(AdjustBounds(regions, {}, 1'000'000, options, Sine())[1], PlainSpan(regions[1]));
}

TEST(Trim, TheTailEndsTheReleaseTimeAfterTheLastFall) {
    // Two loud bursts of 2,000 overview samples, each followed by silence.
    std::vector<std::int16_t> overview(30000, 0);
    for (int i = 1000; i < 3000; ++i) overview[i] = 20000;
    for (int i = 15000; i < 17000; ++i) overview[i] = 20000;
    const std::vector<Region> regions{{988, 14000, 0}, {14988, 15011, 0}};
    const auto ends = SoundEnds(overview, -20.0, 100.0, regions);  // release 1,102 samples
    ASSERT_EQ(ends.size(), 2u);
    for (std::size_t k = 0; k < 2; ++k) {
        EXPECT_GT(ends[k], regions[k].start + 2000 + 1102 - 40) << k;
        EXPECT_LT(ends[k], regions[k].start + 2000 + 1102 + 40) << k;
    }
    SamplerOptions options;
    options.trim = true;
    const auto spans = AdjustBounds(regions, ends, 120000, options, Sine());
    EXPECT_EQ(spans[0], (FrameSpan{988 * 4, (ends[0] - 988) * 4}));
    // A region still loud at its end keeps it.
    const std::vector<Region> loud{{988, 1500, 0}};
    EXPECT_EQ(SoundEnds(overview, -20.0, 100.0, loud)[0], 988u + 1500u);
}

// The view finds the sound ends from its slice index instead of averaging the overview
// again: the same ends, whatever the signal, the settings and the region list.
TEST(Trim, SoundEndsFromTheSliceIndexEqualThoseFromTheOverview) {
    std::mt19937 random(7);
    std::vector<std::int16_t> overview(200'003, 0);
    for (std::size_t i = 0; i < overview.size(); i += random() % 12000) {  // noise bursts, silence between
        const int level = static_cast<int>(random() % 30000) + 1;
        for (std::size_t end = std::min(overview.size(), i + random() % 3000); i < end; ++i)
            overview[i] = static_cast<std::int16_t>(static_cast<int>(random() % (2 * level)) - level);
    }
    const SliceIndex index = SliceIndex::Build(overview, true, 11025, 50);
    for (const auto& [db, ms] : {std::pair{-36.0, 750.0}, {-12.0, 20.0}, {-60.0, 3.0}}) {
        std::vector<Region> regions;
        index.Slice(db, ms, 0, regions);
        ASSERT_GE(regions.size(), 5u) << db;
        for (int k = 0; k < 50; ++k)  // overlapping and out of order as well
            regions.push_back({static_cast<std::uint32_t>(random() % 190000), static_cast<std::uint32_t>(random() % 10000), 0});
        EXPECT_EQ(SoundEnds(index, db, ms, regions), SoundEnds(overview, db, ms, regions)) << db;
    }
}

TEST(Fades, LinearRampsThatNeverRaiseAMagnitude) {
    const std::int16_t values[] = {32767, -32768, 1000, -1};
    for (std::int16_t v : values) {
        std::vector<std::int16_t> block(2 * 10, v);  // 10 stereo frames
        ApplyFades(std::as_writable_bytes(std::span(block)), 0, 10, 4, 2);  // in over frames 0-3, out over 8-9
        const double gains[] = {0, 0.25, 0.5, 0.75, 1, 1, 1, 1, 0.5, 0};
        for (std::size_t f = 0; f < 10; ++f)
            EXPECT_EQ(block[2 * f], static_cast<std::int16_t>(v * gains[f])) << v << " frame " << f;
    }
    EXPECT_EQ(FadeFrames(10, 1'000'000), 441u);
    EXPECT_EQ(FadeFrames(10, 100), 100u);
}

TEST(Chunks, SmplCueAndLabelsFieldByField) {
    const SampleLoop loop{0, 44099};
    const auto smpl = SmplChunk(38, std::span(&loop, 1));
    ASSERT_EQ(smpl.size(), 60u);
    const std::uint32_t want[] = {0, 0, 22675, 38, 0, 0, 0, 1, 0, 0, 0, 0, 44099, 0, 0};
    for (std::size_t i = 0; i < 15; ++i) EXPECT_EQ(Le32(smpl, 4 * i), want[i]) << "field " << i;

    const std::uint32_t frames[] = {0, 5000};
    const auto cue = CueChunk(frames);
    ASSERT_EQ(cue.size(), 4u + 2 * 24);
    EXPECT_EQ(Le32(cue, 0), 2u);
    EXPECT_EQ(Le32(cue, 28), 2u);     // second id
    EXPECT_EQ(Le32(cue, 32), 5000u);  // position
    EXPECT_EQ(Text(cue, 36, 4), "data");
    EXPECT_EQ(Le32(cue, 48), 5000u);  // sample offset

    const std::vector<std::string> names{"Region 1", "Region 10"};
    const auto list = LabelListChunk(names);
    EXPECT_EQ(Text(list, 0, 4), "adtl");
    EXPECT_EQ(Text(list, 4, 4), "labl");
    EXPECT_EQ(Le32(list, 8), 13u);  // id + "Region 1\0": odd, so a pad byte follows
    EXPECT_EQ(Le32(list, 12), 1u);
    EXPECT_EQ(Text(list, 16, 9), std::string("Region 1\0", 9));
    EXPECT_EQ(Text(list, 26, 4), "labl");  // after the pad byte
    EXPECT_EQ(Le32(list, 30), 14u);
    EXPECT_EQ(list.size(), 26u + 8 + 14);
}

TEST(Options, OutOfRangeInputIsRefusedWithAReason) {
    struct Case { SamplerOptions options; std::size_t regions; const char* says; };
    SamplerOptions sfz;
    sfz.sfz = true;
    const auto with = [](SamplerOptions o, auto change) { change(o); return o; };
    const Case cases[] = {
        {with(sfz, [](auto& o) { o.firstKey = 128; }), 1, "0 to 127"},
        {with(sfz, [](auto& o) { o.firstKey = 120; }), 9, "past key 127"},
        {with(sfz, [](auto& o) { o.midi = true; o.bpm = 10; }), 1, "20 to 400 BPM"},
        {with(sfz, [](auto& o) { o.markers = true; }), 1, "--markers"},
    };
    for (const Case& c : cases) EXPECT_NE(CheckOptions(c.options, c.regions).find(c.says), std::string::npos) << c.says;
    EXPECT_EQ(CheckOptions(with(sfz, [](auto& o) { o.firstKey = 120; }), 8), "");
}

TEST(Instrument, SfzParsesWithKnownOpcodesAndContiguousKeys) {
    SamplerOptions options;
    options.firstKey = 40;
    const std::vector<std::filesystem::path> files{"/x/kick1.wav", "/x/kick2.wav", "/x/sub/kick3.wav"};
    const std::string text = SfzText(files, "/x", options, {"song.flac", -36.0, 750});
    const std::set<std::string> known{"sample", "lokey", "hikey", "pitch_keycenter", "loop_mode"};
    std::istringstream lines(text);
    std::string line;
    std::vector<std::map<std::string, std::string>> regions;
    while (std::getline(lines, line)) {
        if (line.starts_with("//")) continue;
        std::istringstream words(line);
        std::string word;
        words >> word;
        ASSERT_EQ(word, "<region>");
        regions.emplace_back();
        while (words >> word) {
            const auto eq = word.find('=');
            ASSERT_NE(eq, std::string::npos) << word;
            EXPECT_TRUE(known.count(word.substr(0, eq))) << word;
            regions.back()[word.substr(0, eq)] = word.substr(eq + 1);
        }
    }
    ASSERT_EQ(regions.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) {
        for (const char* key : {"lokey", "hikey", "pitch_keycenter"}) EXPECT_EQ(regions[k][key], std::to_string(40 + k));
        EXPECT_EQ(regions[k]["loop_mode"], "one_shot");
    }
    EXPECT_EQ(regions[2]["sample"], "sub/kick3.wav");
    EXPECT_NE(text.find("song.flac"), std::string::npos);
}

// An independent reader of format-0 MIDI files: the note-on ticks and keys.
std::vector<std::pair<std::uint64_t, int>> NoteOns(const std::vector<std::byte>& f, int& division, double& bpm) {
    auto u = [&](std::size_t at) { return std::to_integer<unsigned>(f.at(at)); };
    auto be = [&](std::size_t at, int n) { std::uint32_t v = 0; while (n--) v = (v << 8) | u(at++); return v; };
    EXPECT_EQ(Text(f, 0, 4), "MThd");
    EXPECT_EQ(be(4, 4), 6u);
    EXPECT_EQ(be(8, 2), 0u);  // format 0
    EXPECT_EQ(be(10, 2), 1u);
    division = static_cast<int>(be(12, 2));
    EXPECT_EQ(Text(f, 14, 4), "MTrk");
    const std::size_t end = 22 + be(18, 4);
    EXPECT_EQ(end, f.size());
    std::vector<std::pair<std::uint64_t, int>> ons;
    std::uint64_t tick = 0;
    for (std::size_t at = 22; at < end;) {
        std::uint32_t delta = 0;
        do delta = (delta << 7) | (u(at) & 0x7F); while (u(at++) & 0x80);
        tick += delta;
        const unsigned status = u(at++);
        if (status == 0xFF) {
            const unsigned type = u(at++), length = u(at++);
            if (type == 0x51) bpm = 60e6 / be(at, 3);
            at += length;
        } else {
            if ((status & 0xF0) == 0x90 && u(at + 1) > 0) ons.emplace_back(tick, static_cast<int>(u(at)));
            at += 2;
        }
    }
    return ons;
}

TEST(Instrument, GrooveHasOneNotePerRegionAtItsStartTick) {
    SamplerOptions options;
    options.bpm = 93.5;
    options.firstKey = 50;
    const std::vector<FrameSpan> spans{{0, 1000}, {44100, 30000}, {123457, 5}, {200000, 44100}};
    int division = 0;
    double bpm = 0;
    const auto ons = NoteOns(GrooveMidi(spans, options), division, bpm);
    EXPECT_EQ(division, 960);
    EXPECT_NEAR(bpm, 93.5, 0.01);
    ASSERT_EQ(ons.size(), spans.size());
    for (std::size_t k = 0; k < spans.size(); ++k) {
        EXPECT_EQ(ons[k].first, std::llround(spans[k].first / 44100.0 * 960 * 93.5 / 60)) << k;
        EXPECT_EQ(ons[k].second, 50 + static_cast<int>(k));
    }
}

}  // namespace
}  // namespace korvane::sampler
