#include "export/sampler.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace korvane::sampler {
namespace {

constexpr std::uint64_t kFramesPerOverviewSample = 4;
constexpr std::uint64_t kRateHz = 44'100;

std::uint64_t FramesOfMs(std::uint32_t ms) noexcept { return std::uint64_t{ms} * kRateHz / 1000; }

int Sign(std::int32_t v) noexcept { return (v > 0) - (v < 0); }

std::uint64_t ReachDown(std::uint64_t at, std::uint64_t by) noexcept { return at > by ? at - by : 0; }

// The zero-crossing cut for `at` within [lo, hi], reading the sums it needs.
std::uint64_t MoveCut(const FrameSums& sums, std::uint64_t at, std::uint64_t lo, std::uint64_t hi) {
    if (lo > hi) return at;
    const std::uint64_t windowFirst = lo > 0 ? lo - 1 : 0;
    std::vector<std::int32_t> window(static_cast<std::size_t>(hi - windowFirst + 1));
    sums(windowFirst, window);
    return NearestZeroCrossing(window, windowFirst, at, lo, hi);
}

}  // namespace

std::string CheckOptions(const SamplerOptions& options, std::size_t regionCount) {
    if (options.sfz || options.midi || options.smpl) {
        if (options.firstKey < 0 || options.firstKey > 127)
            return "the first key must be a MIDI key from 0 to 127, not " + std::to_string(options.firstKey);
        if (regionCount > 0 && options.firstKey + regionCount - 1 > 127)
            return std::to_string(regionCount) + " regions from key " + std::to_string(options.firstKey) +
                   " reach past key 127: choose a lower first key or fewer regions";
    }
    if (options.midi && !(options.bpm >= kMinBpm && options.bpm <= kMaxBpm))
        return "the tempo must be from 20 to 400 BPM, not " + std::to_string(options.bpm);
    if (options.zeroCrossMs > kMaxZeroCrossMs)
        return "the zero-crossing distance must be at most 50 ms, not " + std::to_string(options.zeroCrossMs);
    if (options.fadeInMs > kMaxFadeMs || options.fadeOutMs > kMaxFadeMs)
        return "a fade must be at most 10000 ms";
    if (options.markers && options.sfz)
        return "--markers writes one file for the whole span; the instrument (--sfz) needs one file per region";
    return {};
}

FrameSpan PlainSpan(const Region& region) noexcept {
    return {std::uint64_t{region.start} * kFramesPerOverviewSample,
            std::uint64_t{region.length} * kFramesPerOverviewSample};
}

std::uint64_t NearestZeroCrossing(std::span<const std::int32_t> sums, std::uint64_t windowFirst, std::uint64_t at,
                                  std::uint64_t lo, std::uint64_t hi) {
    if (lo > hi) return at;
    const auto distance = [at](std::uint64_t c) { return c > at ? c - at : at - c; };
    const auto sumAt = [&](std::uint64_t c) { return sums[static_cast<std::size_t>(c - windowFirst)]; };
    std::uint64_t crossing = 0, quietest = lo;
    bool haveCrossing = false;
    for (std::uint64_t c = lo; c <= hi; ++c) {
        const std::int32_t v = sumAt(c);
        const bool crosses = v == 0 || (c > windowFirst && Sign(sumAt(c - 1)) * Sign(v) < 0);
        if (crosses && (!haveCrossing || distance(c) < distance(crossing))) {
            crossing = c;
            haveCrossing = true;
        }
        const std::int64_t mag = std::llabs(v), best = std::llabs(sumAt(quietest));
        if (mag < best || (mag == best && distance(c) < distance(quietest))) quietest = c;
    }
    return haveCrossing ? crossing : quietest;
}

std::vector<FrameSpan> AdjustBounds(std::span<const Region> regions, std::span<const std::uint32_t> soundEnds,
                                    std::uint64_t audioFrames, const SamplerOptions& options, const FrameSums& sums) {
    const std::size_t n = regions.size();
    // Each region's end before zero crossings: its plain end, or where its sound ends.
    std::vector<std::uint64_t> ends(n);
    for (std::size_t k = 0; k < n; ++k) {
        const FrameSpan plain = PlainSpan(regions[k]);
        std::uint64_t end = plain.End();
        if (options.trim && k < soundEnds.size())
            end = std::clamp<std::uint64_t>(std::uint64_t{soundEnds[k]} * kFramesPerOverviewSample, plain.first, end);
        ends[k] = std::min(end, audioFrames);
    }
    const std::uint64_t reach = FramesOfMs(options.zeroCrossMs);
    const std::uint64_t lastFrame = audioFrames > 0 ? audioFrames - 1 : 0;
    std::vector<FrameSpan> out(n);
    std::uint64_t previousEnd = 0;
    for (std::size_t k = 0; k < n; ++k) {
        std::uint64_t start = std::min(PlainSpan(regions[k]).first, ends[k]);
        std::uint64_t end = ends[k];
        if (reach > 0 && end > start && audioFrames > 0) {
            // A start stays behind the previous region's end; an end stays before the
            // next region's end, and the next start then stays behind it.
            const std::uint64_t endLimit = k + 1 < n ? std::max<std::uint64_t>(ends[k + 1], 1) - 1 : lastFrame;
            start = MoveCut(sums, start, std::max(previousEnd, ReachDown(start, reach)),
                            std::min({start + reach, end - 1, lastFrame}));
            end = MoveCut(sums, end, std::max(start + 1, ReachDown(end, reach)),
                          std::min({end + reach, endLimit, lastFrame}));
        }
        start = std::max(start, previousEnd);
        end = std::max(end, start);
        out[k] = {start, end - start};
        previousEnd = end;
    }
    return out;
}

std::uint64_t FadeFrames(std::uint32_t ms, std::uint64_t regionFrames) noexcept {
    return std::min(FramesOfMs(ms), regionFrames);
}

void ApplyFades(std::span<std::byte> block, std::uint64_t offset, std::uint64_t regionFrames,
                std::uint64_t fadeInFrames, std::uint64_t fadeOutFrames) noexcept {
    const std::uint64_t frames = block.size() / 4;
    const std::uint64_t fadeOutFrom = regionFrames - std::min(fadeOutFrames, regionFrames);
    // Only the frames inside a fade change.
    if (offset >= fadeInFrames && offset + frames <= fadeOutFrom) return;
    for (std::uint64_t i = 0; i < frames; ++i) {
        const std::uint64_t p = offset + i;
        double gain = 1.0;
        if (p < fadeInFrames) gain *= double(p) / double(fadeInFrames);
        if (p >= fadeOutFrom && p < regionFrames) gain *= double(regionFrames - 1 - p) / double(fadeOutFrames);
        if (gain == 1.0) continue;
        for (std::size_t b = static_cast<std::size_t>(4 * i); b < 4 * i + 4; b += 2) {
            const auto raw = static_cast<std::uint16_t>(std::to_integer<unsigned>(block[b]) |
                                                        (std::to_integer<unsigned>(block[b + 1]) << 8));
            const auto scaled =
                static_cast<std::uint16_t>(static_cast<std::int16_t>(double(static_cast<std::int16_t>(raw)) * gain));
            block[b] = std::byte(scaled & 0xFF);
            block[b + 1] = std::byte(scaled >> 8);
        }
    }
}

}  // namespace korvane::sampler
