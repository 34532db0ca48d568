#include "track/track_file_writer.h"

#include "cdda/overview.h"
#include "cdda/track_file.h"

#include <algorithm>
#include <stdexcept>

namespace korvane::track {
namespace {

constexpr std::size_t kTransferBytes = cdda::kSectorsPerTransfer * cdda::kBytesPerSector;  // 56,448

void PutSample(std::vector<std::uint8_t>& out, std::int16_t value) {
    const auto u = static_cast<std::uint16_t>(value);
    out.push_back(static_cast<std::uint8_t>(u & 0xFF));
    out.push_back(static_cast<std::uint8_t>(u >> 8));
}

}  // namespace

TrackFileWriter::TrackFileWriter(std::unique_ptr<platform::ByteSink> sink, std::uint64_t frameCount)
    : sink_(std::move(sink)),
      frameCount_(frameCount),
      sectorCount_((frameCount + cdda::kFramesPerSector - 1) / cdda::kFramesPerSector),
      overviewOffset_(cdda::AudioBytesForSectors(sectorCount_)) {
    transfer_.reserve(kTransferBytes);
    overview_.resize(kTransferBytes / 8);
}

void TrackFileWriter::AppendStereo(std::span<const std::int16_t> samples) {
    if (samples.size() % 2 != 0) throw std::invalid_argument("stereo samples come in pairs");
    if (samples.size() / 2 > frameCount_ - framesWritten_) throw std::length_error("more frames than announced");
    // Whole runs up to the end of the transfer at a time (the per-byte loop vectorises).
    for (std::size_t i = 0; i < samples.size();) {
        const std::size_t at = transfer_.size();
        const std::size_t n = std::min((kTransferBytes - at) / 2, samples.size() - i);
        transfer_.resize(at + 2 * n);
        for (std::size_t k = 0; k < n; ++k) {
            const auto u = static_cast<std::uint16_t>(samples[i + k]);
            transfer_[at + 2 * k] = static_cast<std::uint8_t>(u & 0xFF);
            transfer_[at + 2 * k + 1] = static_cast<std::uint8_t>(u >> 8);
        }
        i += n;
        if (transfer_.size() == kTransferBytes) FlushTransfer();
    }
    framesWritten_ += samples.size() / 2;
}

void TrackFileWriter::AppendMono(std::span<const std::int16_t> samples) {
    if (samples.size() > frameCount_ - framesWritten_) throw std::length_error("more frames than announced");
    for (const std::int16_t s : samples) {
        PutSample(transfer_, s);
        PutSample(transfer_, s);
        if (transfer_.size() == kTransferBytes) FlushTransfer();
    }
    framesWritten_ += samples.size();
}

void TrackFileWriter::FlushTransfer() {
    if (transfer_.empty()) return;
    const std::size_t overviewBytes = transfer_.size() / 8;
    cdda::DownmixOverviewBytes(transfer_, std::span(overview_).first(overviewBytes));
    sink_->Seek(audioOffset_);
    sink_->Write(std::as_bytes(std::span(transfer_)));
    sink_->Seek(overviewOffset_);
    sink_->Write(std::as_bytes(std::span(overview_).first(overviewBytes)));
    audioOffset_ += transfer_.size();
    overviewOffset_ += overviewBytes;
    transfer_.clear();
}

void TrackFileWriter::Finish() {
    if (framesWritten_ != frameCount_) throw std::logic_error("fewer frames than announced");
    // Complete the last sector with silence.
    while (transfer_.size() % cdda::kBytesPerSector != 0) transfer_.push_back(0);
    FlushTransfer();
    sink_->Sync();
    sink_->Close();
}

}  // namespace korvane::track
