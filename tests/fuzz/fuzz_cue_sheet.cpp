// A cue sheet end to end: parse, lay out over image files of sizes the input chooses,
// serve it from a virtual drive, read its table of contents into the track list and
// read the first sectors of every audio track.
#include "cdda/cd_reader.h"
#include "cdda/toc.h"
#include "platform/aspi/cue_sheet.h"
#include "platform/aspi/virtual_drive.h"

#include <cstring>
#include <vector>

namespace {

using namespace korvane;

// Sectors of a known layout, each filled with its own address.
class PatternImage final : public aspi::DiscImage {
public:
    explicit PatternImage(aspi::cue::Layout layout) : layout_(std::move(layout)) {}
    const aspi::cue::Layout& Toc() const noexcept override { return layout_; }
    void ReadSectors(std::uint32_t lba, std::uint32_t sectorCount, std::span<std::uint8_t> out) override {
        for (std::uint32_t s = 0; s < sectorCount; ++s) std::memset(out.data() + s * 2352u, (lba + s) & 0xFF, 2352);
    }
    std::string Source() const override { return "fuzz"; }

private:
    aspi::cue::Layout layout_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 64 * 1024) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    aspi::cue::Layout layout;
    try {
        const aspi::cue::Sheet sheet = aspi::cue::Parse(text);
        // File sizes from the text's length, so a file may be shorter than its tracks.
        layout = aspi::cue::LayOut(sheet, [&](std::size_t i) { return (size * 977 + i * 2352 * 75) % (2352ull * 9000); });
    } catch (const aspi::cue::CueError&) {
        return 0;
    }
    aspi::VirtualDrive drive(std::make_unique<PatternImage>(layout), aspi::VirtualDrive::Identity{});
    cdda::TocBuffer toc{};
    const auto tocCdb = cdda::ReadTocCdb();
    auto request = cdda::MakeExecRequest({}, toc, tocCdb);
    if (drive.Execute(request) != aspi::Completion::Done || request.SRB_Status != aspi::SS_COMP) return 0;
    std::vector<std::uint8_t> sectors(2352 * 2);
    for (const cdda::AudioTrack& track : cdda::ListAudioTracks(toc)) {
        (void)cdda::FormatTrackLine(track.runningNumber, track.sectorCount);
        const auto readCdb = cdda::ReadCdCdb(track.startLba, std::min<std::uint32_t>(track.sectorCount, 2));
        auto read = cdda::MakeExecRequest({}, sectors, readCdb);
        drive.Execute(read);
    }
    return 0;
}
