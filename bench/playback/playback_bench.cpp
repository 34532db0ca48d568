// Playback figures:
//  - the cost of one quarter refill (32,768 bytes) into a locked streaming buffer, in
//    ns per byte, straight from the source, wrapping a short loop, and silence;
//  - the worst StopPlayback latency over 1,000 start/stop cycles on the virtual device.
#include "platform/sound/virtual_sound.h"
#include "playback/sound_driver.h"
#include "playback/sound_player.h"
#include "playback/stream_fill.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <random>
#include <vector>

namespace {

namespace ds = korvane::platform::sound;
using korvane::playback::SoundPlayer;
using korvane::playback::StreamFiller;
using korvane::playback::StreamSource;

constexpr std::uint32_t kBufferBytes = SoundPlayer::kStreamBufferBytes;
constexpr std::uint32_t kQuarterBytes = kBufferBytes / 4;

struct Device {
    std::shared_ptr<ds::VirtualSoundSystem> system = std::make_shared<ds::VirtualSoundSystem>();
    std::unique_ptr<ds::SoundDevice> device;
    std::unique_ptr<ds::SoundBuffer> buffer;
    Device() {
        system->CreateDevice(nullptr, device);
        const ds::WaveFormat format = ds::PcmFormat(44100, 2, 16);
        ds::BufferDescription d;
        d.flags = ds::kDsbcapsCtrlPositionNotify | ds::kDsbcapsGetCurrentPosition2;
        d.bufferBytes = kBufferBytes;
        d.format = &format;
        device->CreateSoundBuffer(d, buffer);
    }
};

// Lock, fill and unlock one quarter at the next offset, as the stream thread does.
void RefillQuarters(benchmark::State& state, std::uint32_t sourceValues, std::uint32_t loopValues) {
    Device dev;
    std::vector<std::int16_t> source(std::max<std::uint32_t>(sourceValues, 1));
    std::mt19937 random(1);
    for (auto& v : source) v = static_cast<std::int16_t>(random());
    const std::uint32_t loopStart = loopValues ? sourceValues - loopValues : 0;
    std::uint32_t writeOffset = 0;
    std::optional<StreamFiller> filler;
    filler.emplace(StreamSource{source.data(), sourceValues, loopStart, loopValues});
    for (auto _ : state) {
        ds::LockedRegion region;
        if (dev.buffer->Lock(writeOffset, kQuarterBytes, region) != ds::kDsOk) {
            state.SkipWithError("Lock failed");
            break;
        }
        filler->FillQuarter(region);
        dev.buffer->Unlock(region);
        writeOffset = (writeOffset + kQuarterBytes) % kBufferBytes;
        if (!loopValues && sourceValues > kQuarterBytes && filler->ReadPosition() + kQuarterBytes / 2 > sourceValues)
            filler.emplace(StreamSource{source.data(), sourceValues, 0, 0});  // keep copying audio
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kQuarterBytes);
    state.counters["ns_per_byte"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kQuarterBytes * 1e-9,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_RefillQuarterStraight(benchmark::State& state) { RefillQuarters(state, 10'000'000, 0); }
void BM_RefillQuarterShortLoop(benchmark::State& state) { RefillQuarters(state, 3000, 3000); }
void BM_RefillQuarterSilence(benchmark::State& state) { RefillQuarters(state, 0, 0); }
BENCHMARK(BM_RefillQuarterStraight);
BENCHMARK(BM_RefillQuarterShortLoop);
BENCHMARK(BM_RefillQuarterSilence);

// 1,000 cycles: start a looped stream, let the virtual clock run a random number of
// notification intervals (the stream thread reacting to each), then time StopPlayback.
void BM_StopPlaybackWorstOf1000(benchmark::State& state) {
    auto system = std::make_shared<ds::VirtualSoundSystem>();
    auto previous = ds::SetSoundSystem(system);
    korvane::playback::SoundDrivers().Clear();
    std::vector<std::int16_t> source(2 * 200'000);
    std::mt19937 random(7);
    for (auto& v : source) v = static_cast<std::int16_t>(random());
    double worstUs = 0, totalUs = 0;
    int cycles = 0;
    {
        SoundPlayer player;
        player.OpenDevice("", nullptr);
        auto output = system->LastOutput();
        for (auto _ : state) {
            for (int cycle = 0; cycle < 1000; ++cycle) {
                player.PlayLoop(source, 200'000, false, true, 0, 200'000);
                output->WaitUntilPlaying(10'000);
                for (std::uint32_t i = random() % 24; i > 0; --i) {
                    const auto before = player.StreamWakeCount();
                    output->Advance(1024);
                    player.WaitForStreamWakes(before + 1, 10'000);
                }
                const auto start = std::chrono::steady_clock::now();
                player.StopPlayback();
                const double us =
                    std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
                worstUs = std::max(worstUs, us);
                totalUs += us;
                ++cycles;
            }
        }
    }
    korvane::playback::SoundDrivers().Clear();
    ds::SetSoundSystem(previous);
    state.counters["worst_us"] = worstUs;
    state.counters["mean_us"] = cycles ? totalUs / cycles : 0;
}
BENCHMARK(BM_StopPlaybackWorstOf1000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
