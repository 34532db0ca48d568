// Export throughput for a 10-minute region, with and without normalisation, next to a
// plain copy of the same bytes (read in the same blocks, written to a new file, synced,
// renamed) measured in the same run. The export should reach at least half the copy's
// rate; normalisation reads the region twice (peak pass, then scale pass).
//
// The fixture track file lies in $KORVANE_BENCH_DIR or the system's temporary folder.
#include "export/wav_export.h"

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

constexpr std::uint64_t kRegionFrames = 10ull * 60 * 44'100;  // 10 minutes
constexpr std::uint64_t kRegionBytes = kRegionFrames * 4;

fs::path BenchDir() {
    const char* env = std::getenv("KORVANE_BENCH_DIR");
    fs::path dir = env && *env ? fs::path(env) : fs::temp_directory_path();
    dir /= "korvane_export_bench_" + std::to_string(::getpid());
    fs::create_directories(dir);
    return dir;
}

// A track file whose audio part is the region plus a little: music-like noise with a
// peak well below full scale, so normalisation has work to do.
struct Fixture {
    Fixture() : dir(BenchDir()), track(dir / "~krvnbench.tmp") {
        std::ofstream out(track, std::ios::binary);
        const std::uint64_t audioBytes = kRegionBytes + 4 * 588 * 4;
        std::vector<std::int16_t> block(1 << 18);
        std::uint32_t state = 12345;
        for (std::uint64_t done = 0; done < audioBytes;) {
            for (auto& s : block) {
                state = state * 1664525u + 1013904223u;
                s = static_cast<std::int16_t>(static_cast<std::int32_t>(state >> 16) % 12000 - 6000);
            }
            const auto n = std::min<std::uint64_t>(block.size() * 2, audioBytes - done);
            out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n));
            done += n;
        }
        const std::vector<char> overview(audioBytes / 8);
        out.write(overview.data(), static_cast<std::streamsize>(overview.size()));
        if (!out) throw std::runtime_error("cannot write the benchmark track file");
    }
    ~Fixture() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    fs::path dir, track;
};

void PlainCopy(const fs::path& from, const fs::path& to);

// The first pass over fresh files is slower for every contestant alike (page cache,
// block allocation); one untimed copy keeps that out of the figures.
Fixture& SharedFixture() {
    static Fixture fixture;
    static const bool warmed = (PlainCopy(fixture.track, fixture.dir / "warmup.raw"), true);
    (void)warmed;
    return fixture;
}

void PlainCopy(const fs::path& from, const fs::path& to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    const fs::path temp = to.string() + ".part";
    const int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (in < 0 || out < 0) throw std::runtime_error("cannot open copy files");
    std::vector<char> block(korvane::wavexport::kExportBlockBytes);
    for (std::uint64_t done = 0; done < kRegionBytes;) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), kRegionBytes - done));
        if (::pread(in, block.data(), n, static_cast<off_t>(done)) != static_cast<ssize_t>(n) ||
            ::write(out, block.data(), n) != static_cast<ssize_t>(n))
            throw std::runtime_error("copy failed");
        done += n;
    }
    if (::fsync(out) != 0 || ::close(out) != 0 || ::close(in) != 0) throw std::runtime_error("copy close failed");
    fs::rename(temp, to);
}

void BM_PlainCopy(benchmark::State& state) {
    auto& fixture = SharedFixture();
    for (auto _ : state) PlainCopy(fixture.track, fixture.dir / "copy.raw");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kRegionBytes));
}

void BM_Export(benchmark::State& state) {
    auto& fixture = SharedFixture();
    const bool normalize = state.range(0) != 0;
    for (auto _ : state) {
        const auto outcome = korvane::wavexport::WriteRegionWav(fixture.track, fixture.dir / "region.wav", 0,
                                                                kRegionFrames, normalize);
        if (!outcome.Ok()) {
            state.SkipWithError(outcome.detail.c_str());
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kRegionBytes));
}

BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_Export)->ArgName("normalize")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
