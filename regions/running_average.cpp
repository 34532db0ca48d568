#include "regions/running_average.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <limits>
#include <system_error>
#include <thread>
#include <vector>

namespace korvane {
namespace {

constexpr std::size_t kBlock = 16;             // steps summarised by one block entry
constexpr std::size_t kLanes = 16;             // chunks of one job, run in lock step
constexpr std::size_t kVectorLanes = 4;        // doubles per vector
constexpr std::size_t kCheckpointSteps = 4096; // a lane's state is recorded this often
constexpr unsigned kMaxThreads = 4;

using Vector = double __attribute__((vector_size(kVectorLanes * sizeof(double))));
using IntVector = int32_t __attribute__((vector_size(kVectorLanes * sizeof(int32_t))));

inline uint32_t Magnitude(int16_t sample) noexcept {
    return sample < 0 ? uint32_t(-int32_t(sample)) : uint32_t(sample);
}

// The value step k adds to the average: sample k + 1, or the halved sum of frame
// k + 1's two magnitudes.
template <bool Mono>
inline uint32_t Input(const int16_t* s, std::size_t step) noexcept {
    if constexpr (Mono) {
        return Magnitude(s[step + 1]);
    } else {
        return (Magnitude(s[2 * step + 2]) + Magnitude(s[2 * step + 3])) / 2;
    }
}

inline uint64_t Bits(double value) noexcept { return std::bit_cast<uint64_t>(value); }

struct Recurrence {
    double weight;   // n - 1
    double divisor;  // n
};

// Runs steps [first, last) one after the other from `avg` and returns the state
// after the last. `first` is a multiple of 16; a block cut short by `last` (the end
// of the buffer) is summarised over the steps it has.
template <bool Mono>
double RunSerial(const int16_t* s, Recurrence r, double avg, std::size_t first, std::size_t last,
                 const AverageFloors& out) noexcept {
    for (std::size_t b = first; b < last; b += kBlock) {
        const std::size_t end = std::min(last, b + kBlock);
        uint16_t lo = std::numeric_limits<uint16_t>::max();
        uint16_t hi = 0;
        for (std::size_t k = b; k < end; ++k) {
            avg = (r.weight * avg + double(Input<Mono>(s, k))) / r.divisor;
            const auto v = uint16_t(avg);  // avg lies in [0, 32768]: truncation is floor
            out.values[k] = v;
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        out.blockMin[b / kBlock] = lo;
        out.blockMax[b / kBlock] = hi;
    }
    return avg;
}

// What one lane-run chunk leaves for the check: its state where its own steps begin
// (reached by the warm-up), at each checkpoint, and at its end.
struct ChunkRecord {
    double warm = 0.0;
    double end = 0.0;
};

// The work split: chunk 0 = steps [0, C) runs serially from the true seed; chunks
// 1 .. 16J run in lanes, 16 to a job; the steps after them run serially.
struct Plan {
    std::size_t steps = 0;
    std::size_t chunkSteps = 0;
    std::size_t warmupSteps = 0;
    std::size_t jobs = 0;
    unsigned threads = 1;

    std::size_t LaneChunks() const noexcept { return jobs * kLanes; }
    std::size_t TailStart() const noexcept { return (LaneChunks() + 1) * chunkSteps; }
    std::size_t CheckpointsPerChunk() const noexcept { return (chunkSteps - 1) / kCheckpointSteps; }
};

std::size_t RoundUpToBlock(std::size_t steps) noexcept { return (steps + kBlock - 1) / kBlock * kBlock; }

Plan MakePlan(std::size_t steps, uint32_t n, const AverageSplit& split) {
    Plan plan;
    plan.steps = steps;
    // Merging from any state takes some 40 n steps outside silences; the rest is
    // margin. Inside long silences states need not merge at all, which the check
    // catches.
    plan.warmupSteps = RoundUpToBlock(split.warmupSteps != 0 ? split.warmupSteps
                                                             : std::max<std::size_t>(2048, 128 * std::size_t{n}));
    if (split.chunkSteps != 0) {
        plan.chunkSteps = std::max(RoundUpToBlock(split.chunkSteps), plan.warmupSteps);
        plan.jobs = steps > plan.chunkSteps ? (steps - plan.chunkSteps) / (kLanes * plan.chunkSteps) : 0;
    } else {
        const std::size_t target = std::max<std::size_t>(std::size_t{1} << 16, 32 * plan.warmupSteps);
        plan.jobs = steps / (kLanes * target);
        if (plan.jobs != 0) plan.chunkSteps = steps / (kLanes * plan.jobs + 1) / kBlock * kBlock;
    }
    if (plan.chunkSteps < plan.warmupSteps) plan.jobs = 0;
    unsigned threads = split.threads != 0 ? split.threads : std::min(kMaxThreads, std::thread::hardware_concurrency());
    plan.threads = unsigned(std::clamp<std::size_t>(threads, 1, std::max<std::size_t>(1, plan.jobs)));
    return plan;
}

struct LaneJob {
    const int16_t* samples;
    Recurrence recurrence;
    std::size_t firstChunk;  // chunks firstChunk .. firstChunk + 15
    const Plan* plan;
    ChunkRecord* records;    // indexed by chunk
    double* checkpoints;     // CheckpointsPerChunk() per chunk, indexed by chunk
    const AverageFloors* out;
};

// Runs the 16 chunks of a job side by side, each from a warm-up that starts at
// state 0, 16 steps at a time: the inputs of a block are gathered step-major, the
// recurrence runs on vectors of 4 chunks, and the floors go back to each chunk's
// place in the output.
template <bool Mono>
[[gnu::always_inline]] inline void RunLanes(const LaneJob& job) noexcept {
    constexpr std::size_t kVectors = kLanes / kVectorLanes;
    const Plan& plan = *job.plan;
    const std::size_t warm = plan.warmupSteps;
    const std::size_t total = warm + plan.chunkSteps;
    const std::size_t perChunk = plan.CheckpointsPerChunk();
    const Vector weight = Vector{} + job.recurrence.weight;
    const Vector divisor = Vector{} + job.recurrence.divisor;

    std::size_t first[kLanes];  // the step each lane starts its warm-up at
    for (std::size_t c = 0; c < kLanes; ++c) first[c] = (job.firstChunk + c) * plan.chunkSteps - warm;
    Vector avg[kVectors] = {};

    for (std::size_t done = 0; done < total; done += kBlock) {
        alignas(32) double x[kBlock][kLanes];
        for (std::size_t c = 0; c < kLanes; ++c) {
            for (std::size_t k = 0; k < kBlock; ++k) x[k][c] = double(Input<Mono>(job.samples, first[c] + done + k));
        }
        alignas(32) uint16_t floors[kBlock][kLanes];
        for (std::size_t k = 0; k < kBlock; ++k) {
            for (std::size_t v = 0; v < kVectors; ++v) {
                Vector in;
                std::memcpy(&in, &x[k][v * kVectorLanes], sizeof in);
                avg[v] = (weight * avg[v] + in) / divisor;
                const IntVector truncated = __builtin_convertvector(avg[v], IntVector);
                for (std::size_t j = 0; j < kVectorLanes; ++j) floors[k][v * kVectorLanes + j] = uint16_t(truncated[j]);
            }
        }
        const std::size_t after = done + kBlock;
        if (after <= warm) {
            if (after == warm) {
                for (std::size_t c = 0; c < kLanes; ++c) job.records[job.firstChunk + c].warm = avg[c / 4][c % 4];
            }
            continue;
        }
        const AverageFloors& out = *job.out;
        for (std::size_t c = 0; c < kLanes; ++c) {
            const std::size_t step = first[c] + done;
            uint16_t lo = floors[0][c];
            uint16_t hi = floors[0][c];
            for (std::size_t k = 0; k < kBlock; ++k) {
                out.values[step + k] = floors[k][c];
                lo = std::min(lo, floors[k][c]);
                hi = std::max(hi, floors[k][c]);
            }
            out.blockMin[step / kBlock] = lo;
            out.blockMax[step / kBlock] = hi;
        }
        const std::size_t own = after - warm;  // steps of the chunks themselves run so far
        if (own % kCheckpointSteps == 0 && own < plan.chunkSteps) {
            const std::size_t j = own / kCheckpointSteps - 1;
            for (std::size_t c = 0; c < kLanes; ++c)
                job.checkpoints[(job.firstChunk + c) * perChunk + j] = avg[c / 4][c % 4];
        }
    }
    for (std::size_t c = 0; c < kLanes; ++c) job.records[job.firstChunk + c].end = avg[c / 4][c % 4];
}

#if defined(__x86_64__)
// The mono kernel with AVX2 by hand: the 16 x 16 blocks of inputs and of floors are
// transposed in registers instead of gathered and scattered one value at a time.
namespace avx2 {

// Transposes a 16 x 16 matrix of 16-bit values held one row per register.
[[gnu::target("avx2"), gnu::always_inline]] inline void Transpose16(__m256i r[16]) noexcept {
    __m256i half[2][8];
    for (int g = 0; g < 2; ++g) {
        const __m256i* in = r + 8 * g;
        __m256i t[8], u[8];
        for (int i = 0; i < 4; ++i) {
            t[2 * i] = _mm256_unpacklo_epi16(in[2 * i], in[2 * i + 1]);
            t[2 * i + 1] = _mm256_unpackhi_epi16(in[2 * i], in[2 * i + 1]);
        }
        for (int i = 0; i < 2; ++i) {
            u[4 * i] = _mm256_unpacklo_epi32(t[4 * i], t[4 * i + 2]);
            u[4 * i + 1] = _mm256_unpackhi_epi32(t[4 * i], t[4 * i + 2]);
            u[4 * i + 2] = _mm256_unpacklo_epi32(t[4 * i + 1], t[4 * i + 3]);
            u[4 * i + 3] = _mm256_unpackhi_epi32(t[4 * i + 1], t[4 * i + 3]);
        }
        for (int i = 0; i < 4; ++i) {
            half[g][2 * i] = _mm256_unpacklo_epi64(u[i], u[i + 4]);
            half[g][2 * i + 1] = _mm256_unpackhi_epi64(u[i], u[i + 4]);
        }
    }
    // Each 128-bit lane now holds an 8 x 8 transpose; join the lanes of both halves.
    for (int j = 0; j < 8; ++j) {
        r[j] = _mm256_permute2x128_si256(half[0][j], half[1][j], 0x20);
        r[j + 8] = _mm256_permute2x128_si256(half[0][j], half[1][j], 0x31);
    }
}

[[gnu::target("avx2"), gnu::always_inline]] inline void StoreStates(const __m256d avg[4], double* to) noexcept {
    for (int v = 0; v < 4; ++v) _mm256_storeu_pd(to + 4 * v, avg[v]);
}

[[gnu::target("avx2")]] void RunLanesMono(const LaneJob& job) noexcept {
    const Plan& plan = *job.plan;
    const std::size_t warm = plan.warmupSteps;
    const std::size_t total = warm + plan.chunkSteps;
    const std::size_t perChunk = plan.CheckpointsPerChunk();
    const __m256d weight = _mm256_set1_pd(job.recurrence.weight);
    const __m256d divisor = _mm256_set1_pd(job.recurrence.divisor);
    const AverageFloors& out = *job.out;

    std::size_t first[kLanes];
    for (std::size_t c = 0; c < kLanes; ++c) first[c] = (job.firstChunk + c) * plan.chunkSteps - warm;
    __m256d avg[4] = {_mm256_setzero_pd(), _mm256_setzero_pd(), _mm256_setzero_pd(), _mm256_setzero_pd()};

    for (std::size_t done = 0; done < total; done += kBlock) {
        __m256i rows[16];
        for (std::size_t c = 0; c < kLanes; ++c) {
            const int16_t* from = job.samples + first[c] + done + 1;  // step k reads sample k + 1
            rows[c] = _mm256_abs_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(from)));
        }
        Transpose16(rows);  // rows[k]: the magnitudes of step k in the 16 chains
        __m256i lo = _mm256_set1_epi16(-1);
        __m256i hi = _mm256_setzero_si256();
        for (std::size_t k = 0; k < kBlock; ++k) {
            const __m256i low8 = _mm256_cvtepu16_epi32(_mm256_castsi256_si128(rows[k]));
            const __m256i high8 = _mm256_cvtepu16_epi32(_mm256_extracti128_si256(rows[k], 1));
            const __m256d x[4] = {_mm256_cvtepi32_pd(_mm256_castsi256_si128(low8)),
                                  _mm256_cvtepi32_pd(_mm256_extracti128_si256(low8, 1)),
                                  _mm256_cvtepi32_pd(_mm256_castsi256_si128(high8)),
                                  _mm256_cvtepi32_pd(_mm256_extracti128_si256(high8, 1))};
            __m128i floors[4];
            for (int v = 0; v < 4; ++v) {
                avg[v] = _mm256_div_pd(_mm256_add_pd(_mm256_mul_pd(weight, avg[v]), x[v]), divisor);
                floors[v] = _mm256_cvttpd_epi32(avg[v]);  // avg lies in [0, 32768]: truncation is floor
            }
            rows[k] = _mm256_set_m128i(_mm_packus_epi32(floors[2], floors[3]), _mm_packus_epi32(floors[0], floors[1]));
            lo = _mm256_min_epu16(lo, rows[k]);
            hi = _mm256_max_epu16(hi, rows[k]);
        }
        const std::size_t after = done + kBlock;
        if (after <= warm) {
            if (after == warm) {
                alignas(32) double at[kLanes];
                StoreStates(avg, at);
                for (std::size_t c = 0; c < kLanes; ++c) job.records[job.firstChunk + c].warm = at[c];
            }
            continue;
        }
        Transpose16(rows);  // rows[c]: the 16 floors of chain c
        alignas(32) uint16_t blockLo[kLanes], blockHi[kLanes];
        _mm256_store_si256(reinterpret_cast<__m256i*>(blockLo), lo);
        _mm256_store_si256(reinterpret_cast<__m256i*>(blockHi), hi);
        for (std::size_t c = 0; c < kLanes; ++c) {
            const std::size_t step = first[c] + done;
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out.values.data() + step), rows[c]);
            out.blockMin[step / kBlock] = blockLo[c];
            out.blockMax[step / kBlock] = blockHi[c];
        }
        const std::size_t own = after - warm;
        if (own % kCheckpointSteps == 0 && own < plan.chunkSteps) {
            alignas(32) double at[kLanes];
            StoreStates(avg, at);
            const std::size_t j = own / kCheckpointSteps - 1;
            for (std::size_t c = 0; c < kLanes; ++c) job.checkpoints[(job.firstChunk + c) * perChunk + j] = at[c];
        }
    }
    alignas(32) double at[kLanes];
    StoreStates(avg, at);
    for (std::size_t c = 0; c < kLanes; ++c) job.records[job.firstChunk + c].end = at[c];
}

}  // namespace avx2
#endif

void RunLanesMono(const LaneJob& job) noexcept { RunLanes<true>(job); }
void RunLanesStereo(const LaneJob& job) noexcept { RunLanes<false>(job); }

using LaneKernel = void (*)(const LaneJob&) noexcept;

LaneKernel ChooseKernel(bool mono) noexcept {
#if defined(__x86_64__)
    if (mono && __builtin_cpu_supports("avx2")) return avx2::RunLanesMono;
#endif
    return mono ? RunLanesMono : RunLanesStereo;
}

// Recomputes lane chunk `chunk` from its true starting state, segment by segment
// up to each checkpoint, until the serial state meets the lane's recorded one;
// from there the lane's values are exact. Returns the true end state.
template <bool Mono>
double Repair(const int16_t* s, Recurrence r, double state, std::size_t chunk, const Plan& plan,
              const ChunkRecord& record, const double* checkpoints, const AverageFloors& out,
              AverageReport& report) noexcept {
    const std::size_t begin = chunk * plan.chunkSteps;
    const std::size_t perChunk = plan.CheckpointsPerChunk();
    for (std::size_t j = 0; j <= perChunk; ++j) {
        const std::size_t from = begin + j * kCheckpointSteps;
        const std::size_t to = j < perChunk ? from + kCheckpointSteps : begin + plan.chunkSteps;
        state = RunSerial<Mono>(s, r, state, from, to, out);
        report.recomputedSteps += to - from;
        const double recorded = j < perChunk ? checkpoints[chunk * perChunk + j] : record.end;
        if (Bits(state) == Bits(recorded)) return record.end;
    }
    return state;
}

template <bool Mono>
AverageReport Run(const int16_t* s, uint32_t n, const AverageFloors& out, const Plan& plan) {
    const Recurrence r{double(n - 1), double(n)};
    double seed = 0.0;
    if constexpr (Mono) {
        seed = double(Magnitude(s[0]));
    } else {
        seed = double((Magnitude(s[0]) + Magnitude(s[1])) / 2);
    }
    AverageReport report;
    if (plan.jobs == 0) {
        RunSerial<Mono>(s, r, seed, 0, plan.steps, out);
        return report;
    }

    const std::size_t chunkCount = plan.LaneChunks() + 1;
    std::vector<ChunkRecord> records(chunkCount);
    std::vector<double> checkpoints(chunkCount * plan.CheckpointsPerChunk());
    const LaneKernel kernel = ChooseKernel(Mono);
    std::atomic<std::size_t> nextJob{0};
    auto work = [&]() noexcept {
        for (std::size_t j = nextJob.fetch_add(1); j < plan.jobs; j = nextJob.fetch_add(1)) {
            kernel(LaneJob{s, r, 1 + j * kLanes, &plan, records.data(), checkpoints.data(), &out});
        }
    };
    std::vector<std::thread> workers;
    for (unsigned t = 1; t < plan.threads; ++t) {
        try {
            workers.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // fewer threads: the caller's thread does the rest
        }
    }
    double state = RunSerial<Mono>(s, r, seed, 0, plan.chunkSteps, out);
    work();
    for (auto& w : workers) w.join();

    report.chunks = plan.LaneChunks();
    for (std::size_t chunk = 1; chunk < chunkCount; ++chunk) {
        const ChunkRecord& record = records[chunk];
        if (Bits(record.warm) == Bits(state)) {
            state = record.end;
            continue;
        }
        ++report.rejectedChunks;
        state = Repair<Mono>(s, r, state, chunk, plan, record, checkpoints.data(), out, report);
    }
    RunSerial<Mono>(s, r, state, plan.TailStart(), plan.steps, out);
    return report;
}

}  // namespace

std::size_t AverageSteps(std::size_t sampleCount, bool mono) noexcept {
    const std::size_t extent = mono ? sampleCount : sampleCount / 2;
    return extent < 2 ? 0 : extent - 1;
}

AverageReport RunAverageFloors(std::span<const int16_t> samples, bool mono, uint32_t n, AverageFloors out,
                               AverageSplit split) {
    const std::size_t steps = AverageSteps(samples.size(), mono);
    if (steps == 0) return {};
    const Plan plan = MakePlan(steps, std::max<uint32_t>(n, 1), split);
    return mono ? Run<true>(samples.data(), std::max<uint32_t>(n, 1), out, plan)
                : Run<false>(samples.data(), std::max<uint32_t>(n, 1), out, plan);
}

}  // namespace korvane
