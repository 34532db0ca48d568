// The sampler export's pure logic: zero-crossing cuts, trimmed tails, fades, the RIFF
// chunks field by field, the instrument's text and the groove (read back by a small
// MIDI reader of its own).
#include "export/instrument.h"
#include "export/sampler.h"
#include "export/sampler_chunks.h"
#include "regions/slice_index.h"
#include "regions/sound_ends.h"
#include "tests/support/audio_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

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

TEST(AdjustBounds, CutsLandOnTheNearestCrossingAndAStartSharedWithAnEndStaysShared) {
    // Abutting regions, and one after a gap; starts in overview samples (4 frames).
    const std::vector<Region> regions{{100, 250, 0}, {350, 400, 0}, {800, 300, 0}};
    SamplerOptions options;
    options.zeroCrossMs = 1;  // 44 frames
    // The cuts at frames 400, 1400, 3000, 3200 and 4400 move 25 frames back to the sine's
    // crossings (of two equally near, the earlier).
    EXPECT_EQ(AdjustBounds(regions, {}, 1'000'000, options, Sine()),
              (std::vector<FrameSpan>{{375, 1000}, {1375, 1600}, {3175, 1200}}));
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
    const double gains[] = {0, 0.25, 0.5, 0.75, 1, 1, 1, 1, 0.5, 0};
    for (std::int16_t v : {std::int16_t{32767}, std::int16_t{-32768}, std::int16_t{1000}, std::int16_t{-1}}) {
        std::vector<std::int16_t> block(2 * 10, v);  // 10 stereo frames
        ApplyFades(std::as_writable_bytes(std::span(block)), 0, 10, 4, 2);  // in over frames 0-3, out over 8-9
        std::vector<std::int16_t> expected;
        for (double gain : gains) expected.insert(expected.end(), 2, static_cast<std::int16_t>(v * gain));
        EXPECT_EQ(block, expected) << v;
    }
    EXPECT_EQ(FadeFrames(10, 1'000'000), 441u);
    EXPECT_EQ(FadeFrames(10, 100), 100u);
}

// The 32-bit little-endian words of a chunk's contents.
std::vector<std::uint32_t> Words(const std::vector<std::byte>& b) {
    EXPECT_EQ(b.size() % 4, 0u);
    std::vector<std::uint32_t> words;
    for (std::size_t at = 0; at + 4 <= b.size(); at += 4) words.push_back(Le32(b, at));
    return words;
}

TEST(Chunks, SmplCueAndLabelsFieldByField) {
    const SampleLoop loop{0, 44099};
    // Manufacturer, product, period (ns), unity note, fraction, SMPTE format and offset,
    // one loop, no extra data; the loop: id, forward, first and last frame, fraction, play count.
    EXPECT_EQ(Words(SmplChunk(38, std::span(&loop, 1))),
              (std::vector<std::uint32_t>{0, 0, 22675, 38, 0, 0, 0, 1, 0, 0, 0, 0, 44099, 0, 0}));

    // Count; per point: id, position, "data", chunk start, block start, sample offset.
    const std::uint32_t data = 0x61746164;  // "data" as a little-endian word
    const std::uint32_t frames[] = {0, 5000};
    EXPECT_EQ(Words(CueChunk(frames)), (std::vector<std::uint32_t>{2, 1, 0, data, 0, 0, 0, 2, 5000, data, 0, 0, 5000}));

    // "adtl", then per label: "labl", size, id, the NUL-ended name, a pad byte after an odd size.
    const auto list = LabelListChunk(std::vector<std::string>{"Region 1", "Region 10"});
    EXPECT_EQ(Text(list, 0, list.size()),
              std::string("adtl" "labl\x0d\0\0\0" "\x01\0\0\0" "Region 1\0\0" "labl\x0e\0\0\0" "\x02\0\0\0" "Region 10\0", 48));
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

// One region a line, keys counting up from the first, sample paths relative to the
// instrument's folder, standard opcodes only.
TEST(Instrument, SfzMapsTheFilesToContiguousKeys) {
    SamplerOptions options;
    options.firstKey = 40;
    const std::vector<std::filesystem::path> files{"/x/kick1.wav", "/x/kick2.wav", "/x/sub/kick3.wav"};
    EXPECT_EQ(SfzText(files, "/x", options, {"song.flac", -36.0, 750}),
              "// Korvane instrument: 3 regions of song.flac\n"
              "// slicing: threshold -36.0 dB, release 750 ms; trim off, zero crossings 0 ms, linear fades in 0 ms / out 0 ms\n"
              "<region> sample=kick1.wav lokey=40 hikey=40 pitch_keycenter=40 loop_mode=one_shot\n"
              "<region> sample=kick2.wav lokey=41 hikey=41 pitch_keycenter=41 loop_mode=one_shot\n"
              "<region> sample=sub/kick3.wav lokey=42 hikey=42 pitch_keycenter=42 loop_mode=one_shot\n");
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
    std::vector<std::pair<std::uint64_t, int>> expected;
    for (std::size_t k = 0; k < spans.size(); ++k)
        expected.emplace_back(std::llround(spans[k].first / 44100.0 * 960 * 93.5 / 60), 50 + static_cast<int>(k));
    EXPECT_EQ(ons, expected);
}

}  // namespace
}  // namespace korvane::sampler
