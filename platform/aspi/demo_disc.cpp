#include "platform/aspi/demo_disc.h"

#include "regions/demo_signal.h"

#include <algorithm>
#include <cstring>

namespace korvane::aspi {
namespace {

constexpr std::uint32_t kFramesPerSector = 588;

}  // namespace

const std::vector<std::uint32_t>& DemoDisc::TrackSeconds() {
    static const std::vector<std::uint32_t> seconds{32, 41, 27, 50, 36};
    return seconds;
}

DemoDisc::DemoDisc() {
    std::uint32_t lba = 0;
    int number = 1;
    for (std::uint32_t s : TrackSeconds()) {
        layout_.tracks.push_back(cue::LaidOutTrack{number++, 0x00, lba, 1});
        lba += s * 75 + kPauseSectors;
    }
    layout_.firstTrack = 1;
    layout_.lastTrack = static_cast<int>(TrackSeconds().size());
    layout_.leadOutLba = lba;
}

const std::vector<std::int16_t>& DemoDisc::Render(std::size_t index) {
    if (cache_[0].track == index) return cache_[0].samples;
    std::swap(cache_[0], cache_[1]);
    if (cache_[0].track == index) return cache_[0].samples;
    std::vector<std::int16_t>& samples = cache_[0].samples;
    demo::DemoSignalSpec spec;
    spec.seed = index + 1;
    spec.rateHz = 44'100;
    spec.channelCount = 2;
    spec.durationSeconds = TrackSeconds()[index];
    samples = demo::MakeDemoSignal(spec);
    // Whole sectors of music, then the pause.
    const std::size_t musicValues = std::size_t{TrackSeconds()[index]} * 75 * kFramesPerSector * 2;
    samples.resize(musicValues + std::size_t{kPauseSectors} * kFramesPerSector * 2, 0);
    std::fill(samples.begin() + static_cast<std::ptrdiff_t>(musicValues), samples.end(), std::int16_t{0});
    cache_[0].track = index;
    return samples;
}

void DemoDisc::ReadSectors(std::uint32_t lba, std::uint32_t sectorCount, std::span<std::uint8_t> out) {
    std::uint32_t done = 0;
    while (done < sectorCount) {
        const std::uint32_t at = lba + done;
        std::size_t index = layout_.tracks.size() - 1;
        while (index > 0 && layout_.tracks[index].startLba > at) --index;
        const std::uint32_t trackStart = layout_.tracks[index].startLba;
        const std::uint32_t trackEnd =
            index + 1 < layout_.tracks.size() ? layout_.tracks[index + 1].startLba : layout_.leadOutLba;
        if (at >= trackEnd) throw ImageReadError("sector beyond the lead-out");
        const std::vector<std::int16_t>& samples = Render(index);
        const std::uint32_t count = std::min(sectorCount - done, trackEnd - at);
        std::uint8_t* dst = out.data() + std::size_t{done} * 2352;
        const std::int16_t* src = samples.data() + std::size_t{at - trackStart} * kFramesPerSector * 2;
        for (std::size_t i = 0; i < std::size_t{count} * kFramesPerSector * 2; ++i) {
            const auto u = static_cast<std::uint16_t>(src[i]);
            dst[2 * i] = static_cast<std::uint8_t>(u & 0xFF);
            dst[2 * i + 1] = static_cast<std::uint8_t>(u >> 8);
        }
        done += count;
    }
}

}  // namespace korvane::aspi
