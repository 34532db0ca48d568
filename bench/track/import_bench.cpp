// Import of audio files into track files, next to a plain copy of the same bytes (what
// `cp` does: read and write in large blocks, no sync) measured in the same run:
//   BM_PlainCopyWav      the 10-minute 16-bit 44,100 Hz stereo WAV copied
//   BM_DdWithFsyncWav    the same bytes copied like `dd conv=fsync`: 24-sector reads and
//                        writes, one fsync at the end (what the import must at least do
//                        to have its file on the device)
//   BM_ImportWav         the same WAV imported (bit-exact copy, overview, sync, rename);
//                        the targets are at most 2.5 times the copy's time and 1.5
//                        times dd's
//   BM_ImportResampled   a 1-minute 48,000 Hz 16-bit stereo WAV imported through the
//                        resampler; the counter audio_s_per_s is seconds of audio per second
//
// The fixtures lie in $KORVANE_BENCH_DIR or the system's temporary folder.
#include "track/audio_import.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace {

namespace fs = std::filesystem;

fs::path BenchDir() {
    const char* env = std::getenv("KORVANE_BENCH_DIR");
    fs::path dir = env && *env ? fs::path(env) : fs::temp_directory_path();
    dir /= "korvane_import_bench_" + std::to_string(::getpid());
    fs::create_directories(dir);
    return dir;
}

// A canonical 16-bit stereo WAV of music-like noise.
void WriteWav(const fs::path& path, std::uint32_t rateHz, std::uint64_t frames) {
    std::ofstream out(path, std::ios::binary);
    const auto bytes = static_cast<std::uint32_t>(frames * 4);
    const std::uint32_t header[] = {0x46464952, 36 + bytes, 0x45564157, 0x20746d66, 16, 0x00020001,
                                    rateHz,     rateHz * 4, 0x00100004, 0x61746164, bytes};
    out.write(reinterpret_cast<const char*>(header), sizeof header);
    std::vector<std::int16_t> block(1 << 18);
    std::uint32_t state = 12345;
    for (std::uint64_t done = 0; done < std::uint64_t{bytes};) {
        for (auto& s : block) {
            state = state * 1664525u + 1013904223u;
            s = static_cast<std::int16_t>(static_cast<std::int32_t>(state >> 16) % 12000 - 6000);
        }
        const auto n = std::min<std::uint64_t>(block.size() * 2, bytes - done);
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n));
        done += n;
    }
    if (!out) throw std::runtime_error("cannot write the benchmark WAV");
}

constexpr std::uint64_t kCdFrames = 10ull * 60 * 44'100;  // 10 minutes
constexpr std::uint64_t kResampledSeconds = 60;

struct Fixture {
    Fixture() : dir(BenchDir()), cd(dir / "cd.wav"), dat(dir / "dat.wav") {
        WriteWav(cd, 44'100, kCdFrames);
        WriteWav(dat, 48'000, kResampledSeconds * 48'000);
    }
    ~Fixture() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    fs::path dir, cd, dat;
};

void PlainCopy(const fs::path& from, const fs::path& to, std::size_t blockBytes = 1 << 17, bool sync = false) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (in < 0 || out < 0) throw std::runtime_error("cannot open copy files");
    std::vector<char> block(blockBytes);
    for (;;) {
        const ssize_t n = ::read(in, block.data(), block.size());
        if (n < 0) throw std::runtime_error("copy failed");
        if (n == 0) break;
        if (::write(out, block.data(), static_cast<std::size_t>(n)) != n) throw std::runtime_error("copy failed");
    }
    ::close(in);
    if (sync && ::fsync(out) != 0) throw std::runtime_error("copy sync failed");
    if (::close(out) != 0) throw std::runtime_error("copy close failed");
}

// The first pass over fresh files is slower for every contestant alike; one untimed copy
// keeps that out of the figures.
Fixture& SharedFixture() {
    static Fixture fixture;
    static const bool warmed = (PlainCopy(fixture.cd, fixture.dir / "warmup.raw"), true);
    (void)warmed;
    return fixture;
}

void BM_PlainCopyWav(benchmark::State& state) {
    auto& fixture = SharedFixture();
    for (auto _ : state) PlainCopy(fixture.cd, fixture.dir / "copy.wav");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fs::file_size(fixture.cd)));
}

void BM_DdWithFsyncWav(benchmark::State& state) {
    auto& fixture = SharedFixture();
    for (auto _ : state) PlainCopy(fixture.cd, fixture.dir / "dd.wav", 24 * 2352, true);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fs::file_size(fixture.cd)));
}

void Import(benchmark::State& state, const fs::path& from, const fs::path& to) {
    const auto outcome = korvane::track::ImportAudioToTrackFile(from, to);
    if (!outcome.Ok()) state.SkipWithError(outcome.detail.c_str());
}

void BM_ImportWav(benchmark::State& state) {
    auto& fixture = SharedFixture();
    for (auto _ : state) Import(state, fixture.cd, fixture.dir / "cd.trk");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fs::file_size(fixture.cd)));
}

void BM_ImportResampled(benchmark::State& state) {
    auto& fixture = SharedFixture();
    for (auto _ : state) Import(state, fixture.dat, fixture.dir / "dat.trk");
    state.counters["audio_s_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kResampledSeconds), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_PlainCopyWav)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_DdWithFsyncWav)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_ImportWav)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_ImportResampled)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
