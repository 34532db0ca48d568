// Export throughput next to plain copies of the same bytes, measured in the same run.
//
//  - ExportAll/151regions: a 10-minute track cut into 151 consecutive regions, all
//    exported as numbered WAV files through the export command's path (every file
//    complete and on disk before it replaces an older one), against
//  - CopySameBytes: the same audio bytes copied into one new file (read in the same
//    blocks, written, synced, renamed), what `cp` plus a sync costs. Target: the
//    export within 1.5x of the copy. Both write new files (see RemoveOutputs).
//  - ExportAll/128regions against ExportSampler/128regions: the same track cut into 128
//    regions (one per MIDI key), exported plain and with the sampler options
//    --trim --zero-cross 5 --smpl --sfz --midi. Target: the sampler export within 1.3x
//    of the plain one.
//  - Export/normalize:0|1: one 10-minute region, plain and normalised (normalisation
//    reads the region twice: peak pass, then scale pass).
//  - PlayShaped/151regions: what a play click costs before the sound starts, for the last
//    of 151 regions with --trim --zero-cross 5 and 5 ms fades, as the view does it (sound
//    ends from its slice index), against PlayShapedFromFile/151regions (the overview read
//    from the track file and averaged again) and PlayPlain/151regions (the plain bytes).
//
// The fixture track file lies in $KORVANE_BENCH_DIR or the system's temporary folder.
#include "export/export_regions.h"
#include "export/sampler_export.h"
#include "export/wav_export.h"
#include "regions/slice_index.h"
#include "regions/sound_ends.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kTrackFrames = 10ull * 60 * 44'100;  // 10 minutes
constexpr std::uint64_t kTrackBytes = kTrackFrames * 4;
constexpr std::uint32_t kOverviewSamples = kTrackFrames / 4;
constexpr std::uint32_t kRegionCount = 151;

fs::path BenchDir() {
    const char* env = std::getenv("KORVANE_BENCH_DIR");
    fs::path dir = env && *env ? fs::path(env) : fs::temp_directory_path();
    dir /= "korvane_export_bench_" + std::to_string(::getpid());
    fs::create_directories(dir);
    return dir;
}

// A track file whose audio part is 10 minutes of music-like noise with a peak well below
// full scale, so normalisation has work to do.
struct Fixture {
    Fixture() : dir(BenchDir()), track(dir / "~krvnbench.tmp") {
        std::ofstream out(track, std::ios::binary);
        std::vector<std::int16_t> block(1 << 18);
        std::uint32_t state = 12345;
        for (std::uint64_t done = 0; done < kTrackBytes;) {
            for (auto& s : block) {
                state = state * 1664525u + 1013904223u;
                s = static_cast<std::int16_t>(static_cast<std::int32_t>(state >> 16) % 12000 - 6000);
            }
            const auto n = std::min<std::uint64_t>(block.size() * 2, kTrackBytes - done);
            out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n));
            done += n;
        }
        const std::vector<char> overview(kTrackBytes / 8);
        out.write(overview.data(), static_cast<std::streamsize>(overview.size()));
        if (!out) throw std::runtime_error("cannot write the benchmark track file");
    }
    ~Fixture() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    fs::path dir, track;
};

void PlainCopy(const fs::path& from, const fs::path& to, std::uint64_t bytes);

// The first pass over fresh files is slower for every contestant alike (page cache,
// block allocation); one untimed copy keeps that out of the figures.
Fixture& SharedFixture() {
    static Fixture fixture;
    static const bool warmed = (PlainCopy(fixture.track, fixture.dir / "warmup.raw", kTrackBytes), true);
    (void)warmed;
    return fixture;
}

void PlainCopy(const fs::path& from, const fs::path& to, std::uint64_t bytes) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    const fs::path temp = to.string() + ".part";
    const int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (in < 0 || out < 0) throw std::runtime_error("cannot open copy files");
    std::vector<char> block(korvane::wavexport::kExportBlockBytes);
    for (std::uint64_t done = 0; done < bytes;) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), bytes - done));
        if (::pread(in, block.data(), n, static_cast<off_t>(done)) != static_cast<ssize_t>(n) ||
            ::write(out, block.data(), n) != static_cast<ssize_t>(n))
            throw std::runtime_error("copy failed");
        done += n;
    }
    if (::fsync(out) != 0 || ::close(out) != 0 || ::close(in) != 0) throw std::runtime_error("copy close failed");
    fs::rename(temp, to);
}

// Both contestants write new files: the outputs of the previous iteration are removed
// untimed. (Replacing files adds the cost of freeing the old ones, which on a file
// system mounted with online discard is milliseconds per file, for the copy's one file
// and the export's 151 alike.)
void RemoveOutputs(benchmark::State& state, const fs::path& file) {
    state.PauseTiming();
    std::error_code ec;
    fs::remove(file, ec);
    state.ResumeTiming();
}

void CopySameBytes(benchmark::State& state) {
    auto& fixture = SharedFixture();
    for (auto _ : state) {
        RemoveOutputs(state, fixture.dir / "copy.raw");
        PlainCopy(fixture.track, fixture.dir / "copy.raw", kTrackBytes);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTrackBytes));
}

void ExportAll(benchmark::State& state) {
    auto& fixture = SharedFixture();
    namespace wx = korvane::wavexport;
    wx::ExportRequest request;
    request.trackFile = fixture.track;
    for (std::size_t line = 0; line < kRegionCount; ++line) request.selectedLines.push_back(line);
    request.regionAt = [](std::size_t line) {
        const std::uint32_t length = kOverviewSamples / kRegionCount;
        const std::uint32_t start = static_cast<std::uint32_t>(line) * length;
        return wx::RegionBounds{start, line + 1 == kRegionCount ? kOverviewSamples - start : length};
    };
    request.chosenPath = (fixture.dir / "all.wav").string();
    const auto names = wx::ExportFileNames(request.chosenPath, kRegionCount);
    for (auto _ : state) {
        for (const auto& name : names) RemoveOutputs(state, name);
        for (const auto& result : wx::ExportSelectedRegions(request)) {
            if (!result.outcome.Ok()) state.SkipWithError(result.outcome.detail.c_str());
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTrackBytes));
}

// 128 consecutive regions over the whole track, and the request of an export of all.
constexpr std::uint32_t kKeyedRegions = 128;
korvane::wavexport::SamplerExportRequest KeyedRequest(const Fixture& fixture, bool sampler) {
    namespace wx = korvane::wavexport;
    wx::SamplerExportRequest request;
    const std::uint32_t length = kOverviewSamples / kKeyedRegions;
    for (std::uint32_t k = 0; k < kKeyedRegions; ++k)
        request.regions.push_back({k * length, k + 1 == kKeyedRegions ? kOverviewSamples - k * length : length, 0});
    request.plain.trackFile = fixture.track;
    for (std::size_t line = 0; line < kKeyedRegions; ++line) request.plain.selectedLines.push_back(line);
    request.plain.regionAt = [regions = request.regions](std::size_t line) {
        return wx::RegionBounds{regions[line].start, regions[line].length};
    };
    request.plain.chosenPath = (fixture.dir / (sampler ? "sampler.wav" : "plain.wav")).string();
    request.thresholdDb = -36.0;
    request.releaseMs = 750;
    request.sourceName = "bench";
    if (sampler) {
        request.options = {.trim = true, .zeroCrossMs = 5, .smpl = true, .sfz = true, .midi = true, .firstKey = 0};
    }
    return request;
}

template <bool kSampler>
void ExportKeyed(benchmark::State& state) {
    auto& fixture = SharedFixture();
    const auto request = KeyedRequest(fixture, kSampler);
    const auto names = korvane::wavexport::SamplerFileNames(request.plain.chosenPath, kKeyedRegions, request.options);
    for (auto _ : state) {
        for (const auto& name : names) RemoveOutputs(state, name);
        const auto result = korvane::wavexport::ExportForSampler(request);
        if (!result.Ok()) state.SkipWithError(result.refused.empty() ? "a file failed" : result.refused.c_str());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTrackBytes));
}

void Export(benchmark::State& state) {
    auto& fixture = SharedFixture();
    const bool normalize = state.range(0) != 0;
    for (auto _ : state) {
        const auto outcome = korvane::wavexport::WriteRegionWav(fixture.track, fixture.dir / "region.wav", 0,
                                                                kTrackFrames, normalize);
        if (!outcome.Ok()) {
            state.SkipWithError(outcome.detail.c_str());
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTrackBytes));
}

// Play of the last of 151 consecutive regions with --trim --zero-cross 5 and 5 ms fades.
struct PlayRig {
    std::vector<korvane::Region> regions;
    korvane::sampler::SamplerOptions options{.trim = true, .zeroCrossMs = 5, .fadeInMs = 5, .fadeOutMs = 5};
    korvane::SliceIndex index;  // what the view holds once the track is open
    PlayRig() {
        const std::uint32_t length = kOverviewSamples / kRegionCount;
        for (std::uint32_t k = 0; k < kRegionCount; ++k) regions.push_back({k * length, length, 0});
        std::vector<std::int16_t> overview(kOverviewSamples);
        std::ifstream file(SharedFixture().track, std::ios::binary);
        file.seekg(static_cast<std::streamoff>(kTrackBytes));
        file.read(reinterpret_cast<char*>(overview.data()), static_cast<std::streamsize>(overview.size() * 2));
        index = korvane::SliceIndex::Build(overview, true, 11025, 50);
    }
};

// As the view plays it: the sound ends from its slice index, then the region's audio.
void PlayShaped(benchmark::State& state) {
    static const PlayRig rig;
    const std::size_t last = kRegionCount - 1;
    const auto needed = std::span<const korvane::Region>(rig.regions).first(
        korvane::wavexport::ShapedRegionsNeeded(last, rig.regions.size()));
    for (auto _ : state) {
        const auto ends = korvane::SoundEnds(rig.index, -36.0, 750, needed);
        std::uint64_t first = 0;
        benchmark::DoNotOptimize(
            korvane::wavexport::ShapedRegionAudio(SharedFixture().track, needed, ends, last, rig.options, first));
    }
}

// Everything from the track file, the overview read and averaged again.
void PlayShapedFromFile(benchmark::State& state) {
    static const PlayRig rig;
    for (auto _ : state) {
        std::uint64_t first = 0;
        benchmark::DoNotOptimize(korvane::wavexport::ShapedRegionAudio(SharedFixture().track, rig.regions,
                                                                       kRegionCount - 1, -36.0, 750, rig.options, first));
    }
}

// The plain region's bytes, what play without the options reads.
void PlayPlain(benchmark::State& state) {
    auto& fixture = SharedFixture();
    const std::uint32_t length = kOverviewSamples / kRegionCount;
    std::vector<char> bytes(std::uint64_t{length} * 16);
    for (auto _ : state) {
        std::ifstream file(fixture.track, std::ios::binary);
        file.seekg(static_cast<std::streamoff>(std::uint64_t{length} * (kRegionCount - 1) * 16));
        file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        benchmark::DoNotOptimize(bytes.data());
    }
}

BENCHMARK(CopySameBytes)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(ExportAll)->Name("ExportAll/151regions")->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(ExportKeyed<false>)->Name("ExportAll/128regions")->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(ExportKeyed<true>)->Name("ExportSampler/128regions")->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(PlayPlain)->Name("PlayPlain/151regions")->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(PlayShaped)->Name("PlayShaped/151regions")->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(PlayShapedFromFile)->Name("PlayShapedFromFile/151regions")->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(Export)->ArgName("normalize")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
