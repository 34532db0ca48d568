#include "track/track_file_writer.h"

#include "cdda/overview.h"
#include "cdda/track_file.h"

#include <algorithm>
#include <bit>
#include <stdexcept>

namespace korvane::track {
namespace {

// Sectors per batch: 64 transfers of the track reader, 3.4 MiB of audio.
constexpr std::size_t kBatchSectors = 64 * cdda::kSectorsPerTransfer;
constexpr std::size_t kBatchValues = kBatchSectors * cdda::kBytesPerSector / 2;

// The file stores 16-bit values little-endian; host-order values are turned into that
// order in place before they are written (nothing to do on little-endian hosts).
void ToLittleEndian(std::span<std::int16_t> values) noexcept {
    if constexpr (std::endian::native != std::endian::little) {
        for (std::int16_t& v : values) {
            const auto u = static_cast<std::uint16_t>(v);
            v = static_cast<std::int16_t>(static_cast<std::uint16_t>((u >> 8) | (u << 8)));
        }
    }
}

}  // namespace

TrackFileWriter::TrackFileWriter(std::unique_ptr<platform::ByteSink> sink, std::uint64_t frameCount)
    : sink_(std::move(sink)),
      frameCount_(frameCount),
      sectorCount_((frameCount + cdda::kFramesPerSector - 1) / cdda::kFramesPerSector),
      overviewOffset_(cdda::AudioBytesForSectors(sectorCount_)) {
    // A short track needs no more than its own sectors.
    const auto values = std::min<std::uint64_t>(kBatchValues, sectorCount_ * cdda::kBytesPerSector / 2);
    batch_.resize(static_cast<std::size_t>(values));
    overview_.resize(cdda::OverviewSamplesFor(batch_.size()));
}

void TrackFileWriter::AppendStereo(std::span<const std::int16_t> samples) {
    if (samples.size() % 2 != 0) throw std::invalid_argument("stereo samples come in pairs");
    if (samples.size() / 2 > frameCount_ - framesWritten_) throw std::length_error("more frames than announced");
    while (!samples.empty()) {
        const std::size_t n = std::min(batch_.size() - batchValues_, samples.size());
        std::copy_n(samples.data(), n, batch_.data() + batchValues_);
        batchValues_ += n;
        samples = samples.subspan(n);
        framesWritten_ += n / 2;
        if (batchValues_ == batch_.size()) FlushBatch();
    }
}

void TrackFileWriter::FlushBatch() {
    if (batchValues_ == 0) return;
    const auto audio = std::span(batch_).first(batchValues_);
    const auto overview = std::span(overview_).first(cdda::OverviewSamplesFor(batchValues_));
    cdda::DownmixOverview(audio, overview);
    ToLittleEndian(audio);
    ToLittleEndian(overview);
    sink_->Seek(audioOffset_);
    sink_->Write(std::as_bytes(audio));
    sink_->Seek(overviewOffset_);
    sink_->Write(std::as_bytes(overview));
    sink_->StartSync();
    audioOffset_ += audio.size_bytes();
    overviewOffset_ += overview.size_bytes();
    batchValues_ = 0;
}

void TrackFileWriter::Finish() {
    if (framesWritten_ != frameCount_) throw std::logic_error("fewer frames than announced");
    // Complete the last sector with silence (batches hold whole sectors).
    const std::size_t sectorValues = cdda::kBytesPerSector / 2;
    const std::size_t padded = (batchValues_ + sectorValues - 1) / sectorValues * sectorValues;
    std::fill(batch_.begin() + static_cast<std::ptrdiff_t>(batchValues_),
              batch_.begin() + static_cast<std::ptrdiff_t>(padded), std::int16_t{0});
    batchValues_ = padded;
    FlushBatch();
    sink_->Sync();
    sink_->Close();
}

}  // namespace korvane::track
