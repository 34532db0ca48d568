#pragma once
// Writes a track file from 16-bit stereo frames, laid out exactly as the track reader
// lays it out: the raw audio part in whole CD sectors (2,352 bytes, 588 frames each),
// then the overview part (294 bytes per sector) made by the same DownmixOverview. A
// last partial sector is completed with digital silence, as a CD track always holds
// whole sectors.
//
// The frame count is fixed up front, so the overview goes straight to its final place
// (seek) and one file suffices. Audio is gathered into batches of a few MiB, each
// written with its overview in two large writes, after which the sink is asked to start
// writing them out (StartSync): by Finish most of the file is already on the device
// and the final sync has little left to wait for. Memory: one batch and its overview.
// Errors are thrown (platform::IoError); the caller removes the partial file.
// Thread contract: one thread at a time.
#include "platform/riff/file_io.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace korvane::track {

class TrackFileWriter {
public:
    TrackFileWriter(std::unique_ptr<platform::ByteSink> sink, std::uint64_t frameCount);

    // Appends interleaved stereo frames (host order, left first). Throws
    // std::length_error past the frame count given at construction.
    void AppendStereo(std::span<const std::int16_t> samples);
    // Pads the last sector with silence, writes the last overview, syncs and closes.
    // Throws std::logic_error when fewer frames than announced were appended.
    void Finish();

    std::uint64_t SectorCount() const noexcept { return sectorCount_; }

private:
    void FlushBatch();

    std::unique_ptr<platform::ByteSink> sink_;
    std::uint64_t frameCount_;
    std::uint64_t sectorCount_;
    std::uint64_t framesWritten_ = 0;
    std::uint64_t audioOffset_ = 0;
    std::uint64_t overviewOffset_;
    std::vector<std::int16_t> batch_;  // stereo values of the current batch, host order
    std::size_t batchValues_ = 0;      // values of batch_ in use
    std::vector<std::int16_t> overview_;
};

}  // namespace korvane::track
