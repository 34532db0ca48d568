// korvane-cli slice on one 20-minute signal that gives 1,000, 10,000 or 50,000
// regions depending on the threshold: the cost of many regions (appending them,
// walking them, printing them) next to the cost of few. The runs differ only in
// how many regions come out, so CliSliceRegions/50000 over CliSliceRegions/1000
// is the price of the regions themselves (target: at most 3x).
//
// The signal, as the 11025 Hz overview the command slices: 50,000 slots of 264
// samples, each a 100-sample square burst and a quiet rest. Every 50th burst is at
// 16,000, every 5th at 4,000, the rest at 1,000; thresholds of -12, -24 and -36 dB
// (levels 8192, 2048, 512) with a release of 5 ms pick 1,000, 10,000 and 50,000
// onsets. The file holds it as CD audio (44,100 Hz stereo, each overview sample v
// as four frames (v, v)), so the command converts nothing and its overview is the
// signal itself.
//
// The program run is $KORVANE_CLI when set (to time another build of it), else the
// korvane-cli of this build tree. Output goes to /dev/null.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kRateHz = 11025;
constexpr std::uint32_t kSlots = 50'000;
constexpr std::uint32_t kSlotSamples = 264;
constexpr std::uint32_t kBurstSamples = 100;
constexpr std::uint32_t kTotalSamples = 20 * 60 * kRateHz;

std::vector<std::int16_t> LayeredBursts() {
    std::vector<std::int16_t> s(kTotalSamples, 0);
    for (std::uint32_t k = 0; k < kSlots; ++k) {
        const std::int16_t amplitude = k % 50 == 0 ? 16000 : k % 5 == 0 ? 4000 : 1000;
        for (std::uint32_t i = 0; i < kBurstSamples; ++i)
            s[k * kSlotSamples + i] = static_cast<std::int16_t>(i % 2 == 0 ? amplitude : -amplitude);
    }
    return s;
}

void PutLe(std::ofstream& out, std::uint32_t value, int bytes) {
    for (int b = 0; b < bytes; ++b) out.put(static_cast<char>((value >> (8 * b)) & 0xFF));
}

// A 16-bit stereo 44,100 Hz PCM WAV of the signal, written once per process.
const fs::path& SignalWav() {
    static const fs::path path = [] {
        const fs::path p = fs::temp_directory_path() / ("korvane-cli-regions-" + std::to_string(::getpid()) + ".wav");
        const auto overview = LayeredBursts();
        std::vector<std::int16_t> samples(overview.size() * 8);
        for (std::size_t i = 0; i < overview.size(); ++i) std::fill_n(samples.begin() + 8 * i, 8, overview[i]);
        const std::uint32_t dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
        std::ofstream out(p, std::ios::binary);
        out.write("RIFF", 4);
        PutLe(out, 36 + dataBytes, 4);
        out.write("WAVEfmt ", 8);
        PutLe(out, 16, 4);
        PutLe(out, 1, 2);           // PCM
        PutLe(out, 2, 2);           // stereo
        PutLe(out, 4 * kRateHz, 4);  // 44,100 Hz
        PutLe(out, 16 * kRateHz, 4);
        PutLe(out, 4, 2);
        PutLe(out, 16, 2);
        out.write("data", 4);
        PutLe(out, dataBytes, 4);
        out.write(reinterpret_cast<const char*>(samples.data()), dataBytes);
        if (!out) throw std::runtime_error("cannot write " + p.string());
        return p;
    }();
    return path;
}

struct RemoveSignal {
    ~RemoveSignal() {
        std::error_code ec;
        fs::remove(SignalWav(), ec);
    }
};

std::string CliPath() {
    const char* env = std::getenv("KORVANE_CLI");
    return env && *env ? env : KORVANE_CLI_PATH;
}

// Runs the program with stdout and stderr on /dev/null; its exit code.
int RunQuiet(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

void CliSliceRegions(benchmark::State& state, const char* thresholdDb) {
    const fs::path& wav = SignalWav();
    static RemoveSignal cleanup;  // made after the path, so it runs before the path goes
    const std::vector<std::string> args{CliPath(), "slice", wav.string(), "--threshold", thresholdDb,
                                        "--release", "5"};
    for (auto _ : state) {
        if (RunQuiet(args) != 0) {
            state.SkipWithError("korvane-cli slice failed");
            break;
        }
    }
}

[[maybe_unused]] const bool kRegistered = [] {
    for (const auto& [name, db] : {std::pair{"CliSliceRegions/1000", "-12"}, std::pair{"CliSliceRegions/10000", "-24"},
                                   std::pair{"CliSliceRegions/50000", "-36"}}) {
        benchmark::RegisterBenchmark(name, CliSliceRegions, db)->Unit(benchmark::kMillisecond)->UseRealTime();
    }
    return true;
}();

}  // namespace
