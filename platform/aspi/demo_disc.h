#pragma once
// The built-in demo disc: a few tracks of the deterministic music-like demo signal
// (regions/demo_signal.h: phrases of notes with pauses, one seed per track), each
// followed by two seconds of digital silence, so that a machine without a CD drive can
// read and slice something. The same disc on every run.
#include "platform/aspi/disc_image.h"

#include <cstdint>
#include <vector>

namespace korvane::aspi {

class DemoDisc final : public DiscImage {
public:
    DemoDisc();
    const cue::Layout& Toc() const noexcept override { return layout_; }
    void ReadSectors(std::uint32_t lba, std::uint32_t sectorCount, std::span<std::uint8_t> out) override;
    std::string Source() const override { return "demo"; }

    // Length of every track's music in seconds, and the silence after it in sectors.
    static const std::vector<std::uint32_t>& TrackSeconds();
    static constexpr std::uint32_t kPauseSectors = 150;

private:
    // The samples of track `index` (stereo 44,100 Hz, music then pause), rendered on
    // first use. The two tracks used last stay rendered, so a reader that looks at a
    // distant sector between two reads (verification) does not render each time.
    const std::vector<std::int16_t>& Render(std::size_t index);
    cue::Layout layout_;
    struct Rendered {
        std::size_t track = SIZE_MAX;
        std::vector<std::int16_t> samples;
    };
    Rendered cache_[2];  // cache_[0] used last
};

}  // namespace korvane::aspi
