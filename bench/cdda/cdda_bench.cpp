// Track reading from the virtual drive, next to dd in the same run:
//   ReadTrack/60min  a 60-minute track through the whole CD layer (requests on the
//                    manager's worker, 24-sector transfers, overview, one temporary
//                    track file written out to the device before the read returns)
//   DdSameBytes      the track's bytes copied from the image file like
//                    `dd bs=56448 conv=fsync`: 24-sector reads and writes, one fsync
//                    at the end; target: ReadTrack at most 1.2 times this
// and the overview downmix. Both contestants' outputs are removed, and the removal
// synced, untimed (this machine's file system discards freed blocks, which costs time
// of its own).
//
//   korvane_cdda_bench --benchmark_filter='ReadTrack|DdSameBytes'
#include "cdda/overview.h"
#include "cdda/temp_file.h"
#include "cdda/track_file.h"
#include "cdda/track_reader.h"
#include "tests/cdda/reader_fixture.h"
#include "tests/support/test_disc.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace korvane;
namespace fs = std::filesystem;

constexpr std::uint32_t kSixtyMinutesSectors = 60 * 60 * 75;

// One 60-minute track image, written once per run.
struct LongDisc {
    korvane::testing::TempDir dir;
    fs::path cue;
    fs::path bin;
    LongDisc() {
        cue = korvane::testing::WriteCueBin(dir.Path(), "long", {{kSixtyMinutesSectors}});
        bin = dir.Path() / "long.bin";
        ::sync();  // the image's own write-out must not fall into the timed runs
    }
    static LongDisc& Get() {
        static LongDisc disc;
        return disc;
    }
};

void ReadTrack60Min(benchmark::State& state) {
    LongDisc& disc = LongDisc::Get();
    korvane::testing::ReaderRig rig;
    rig.manager->AddAdapter("virtual");
    rig.manager->AddDevice(0, 0, 0,
                           std::make_unique<aspi::VirtualDrive>(aspi::CueBinImage::Open(disc.cue),
                                                                aspi::VirtualDrive::Identity{}));
    cdda::CDReader& reader = rig.Bind();
    reader.ScanDrives();
    const fs::path out = disc.dir.Path() / "out";
    fs::create_directories(out);
    for (auto _ : state) {
        auto file = cdda::ReadTrackToTrackFile(reader, reader.drives.At(0), 0, out);
        state.PauseTiming();
        if (!file || fs::file_size(*file) != cdda::TrackFileBytesForSectors(kSixtyMinutesSectors))
            state.SkipWithError("wrong track file");
        if (file) fs::remove(*file);
        ::sync();  // the freed blocks' discards finish here, not in the next timed run
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(cdda::AudioBytesForSectors(kSixtyMinutesSectors)));
}
BENCHMARK(ReadTrack60Min)->Name("ReadTrack/60min")->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The same audio bytes copied file to file in transfers of the same size, then synced.
void DdSameBytes(benchmark::State& state) {
    LongDisc& disc = LongDisc::Get();
    const fs::path copy = disc.dir.Path() / "copy.bin";
    std::vector<std::uint8_t> buffer(cdda::kSectorsPerTransfer * cdda::kBytesPerSector);
    for (auto _ : state) {
        const int in = ::open(disc.bin.c_str(), O_RDONLY | O_CLOEXEC);
        const int outFd = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (in < 0 || outFd < 0) state.SkipWithError("open");
        for (;;) {
            const ssize_t n = ::read(in, buffer.data(), buffer.size());
            if (n <= 0) break;
            if (::write(outFd, buffer.data(), static_cast<std::size_t>(n)) != n) state.SkipWithError("write");
        }
        if (::fsync(outFd) != 0) state.SkipWithError("fsync");
        ::close(in);
        ::close(outFd);
        state.PauseTiming();
        fs::remove(copy);
        ::sync();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(cdda::AudioBytesForSectors(kSixtyMinutesSectors)));
}
BENCHMARK(DdSameBytes)->Name("DdSameBytes")->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_DownmixOverview(benchmark::State& state) {
    const std::size_t sectors = static_cast<std::size_t>(state.range(0));
    std::vector<std::uint8_t> audio(sectors * cdda::kBytesPerSector);
    for (std::size_t i = 0; i < audio.size(); ++i) audio[i] = static_cast<std::uint8_t>(i * 2654435761u >> 13);
    std::vector<std::uint8_t> overview(sectors * cdda::kOverviewBytesPerSector);
    for (auto _ : state) {
        cdda::DownmixOverviewBytes(audio, overview);
        benchmark::DoNotOptimize(overview.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(audio.size()));
}
// One transfer, and one minute of audio.
BENCHMARK(BM_DownmixOverview)->Arg(24)->Arg(4500);

}  // namespace

BENCHMARK_MAIN();
