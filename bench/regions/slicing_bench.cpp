// Slicing an 80-minute overview (11025 Hz mono, 52.92 M samples) of music-like
// audio with pauses: the plain one-pass slicer against building the slice index
// once and re-slicing through it, at several thresholds (release 250 ms).
//
// Targets: a re-slice via the index at least 1000x faster than the plain pass;
// FirstSlice/80min (index build + first slice, what opening a track costs) at
// least 4x faster than PlainSlice/80min, both at -30 dB.
#include "regions/auto_slicer.h"
#include "regions/demo_signal.h"
#include "regions/slice_index.h"
#include "regions/units.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using namespace korvane;

constexpr double kReleaseMs = 250.0;
constexpr uint32_t kWindow = units::kDefaultAveragingWindow;
constexpr uint32_t kRate = units::kOverviewRateHz;

const std::vector<int16_t>& Overview() {
    static const std::vector<int16_t> samples =
        demo::MakeDemoSignal({2026, kRate, 1, 80.0 * 60.0});
    return samples;
}

const SliceIndex& Index() {
    static const SliceIndex index = SliceIndex::Build(Overview(), true, kRate, kWindow);
    return index;
}

double DbOf(const benchmark::State& state) { return double(state.range(0)) / 10.0; }

void PlainSlice(benchmark::State& state, double thresholdDb) {
    const auto& s = Overview();
    AutoSlicer slicer;
    slicer.samples = s.data();
    slicer.sampleCount = uint32_t(s.size());
    slicer.thresholdDb = thresholdDb;
    slicer.releaseMs = kReleaseMs;
    slicer.averagingWindow = kWindow;
    for (auto _ : state) {
        slicer.regions.Clear();
        slicer.Slice(1, kRate, 0);
        benchmark::DoNotOptimize(slicer.regions);
    }
    state.counters["regions"] = slicer.regions.Count();
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(s.size()));
}

void IndexBuild(benchmark::State& state) {
    const auto& s = Overview();
    std::size_t bytes = 0;
    for (auto _ : state) {
        SliceIndex index = SliceIndex::Build(s, true, kRate, kWindow);
        bytes = index.MemoryBytes();
        benchmark::DoNotOptimize(index);
    }
    state.counters["index_MB"] = double(bytes) / 1e6;
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(s.size()));
}

void FirstSlice(benchmark::State& state, double thresholdDb) {
    const auto& s = Overview();
    std::vector<Region> regions;
    for (auto _ : state) {
        regions.clear();
        const SliceIndex index = SliceIndex::Build(s, true, kRate, kWindow);
        index.Slice(thresholdDb, kReleaseMs, 0, regions);
        benchmark::DoNotOptimize(regions.data());
    }
    state.counters["regions"] = double(regions.size());
}

void IndexSlice(benchmark::State& state) {
    const SliceIndex& index = Index();
    std::vector<Region> regions;
    for (auto _ : state) {
        regions.clear();
        index.Slice(DbOf(state), kReleaseMs, 0, regions);
        benchmark::DoNotOptimize(regions.data());
    }
    state.counters["regions"] = double(regions.size());
}

// The same, delivered into the region list as the track view holds it.
void IndexSliceToList(benchmark::State& state) {
    const SliceIndex& index = Index();
    ChainedList<Region> regions;
    for (auto _ : state) {
        regions.Clear();
        index.Slice(DbOf(state), kReleaseMs, 0, regions);
        benchmark::DoNotOptimize(regions);
    }
    state.counters["regions"] = regions.Count();
}

// A full slider sweep -96.0 .. 0.0 dB in 0.1 dB steps at one release time;
// reported per slice.
void IndexSliderSweep(benchmark::State& state) {
    const SliceIndex& index = Index();
    std::vector<Region> regions;
    const auto releaseMs = double(state.range(0));
    for (auto _ : state) {
        for (int step = 0; step <= 960; ++step) {
            regions.clear();
            index.Slice(double(step - 960) / 10.0, releaseMs, 0, regions);
            benchmark::DoNotOptimize(regions.data());
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 961);
}

void Thresholds(benchmark::internal::Benchmark* b) {
    for (int tenthsDb : {-600, -450, -300, -200, -100}) b->Arg(tenthsDb);
    b->ArgName("dBx10");
}

[[maybe_unused]] const bool kRegistered = [] {
    benchmark::RegisterBenchmark("PlainSlice/80min", PlainSlice, -30.0)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("FirstSlice/80min", FirstSlice, -30.0)->Unit(benchmark::kMillisecond);
    return true;
}();
BENCHMARK(IndexBuild)->Unit(benchmark::kMillisecond);
BENCHMARK(IndexSlice)->Apply(Thresholds)->Unit(benchmark::kMicrosecond);
BENCHMARK(IndexSliceToList)->Apply(Thresholds)->Unit(benchmark::kMicrosecond);
BENCHMARK(IndexSliderSweep)->Arg(5)->Arg(250)->Arg(2500)->ArgName("releaseMs")
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
