#include "platform/riff/riff.h"

#include <array>
#include <limits>

namespace korvane::platform {
namespace {

std::array<std::byte, 4> LittleEndian32(std::uint32_t value) {
    return {std::byte(value & 0xFF), std::byte((value >> 8) & 0xFF), std::byte((value >> 16) & 0xFF),
            std::byte((value >> 24) & 0xFF)};
}

std::span<const std::byte> AsBytes(const FourCc& code) {
    return std::as_bytes(std::span<const char>(code));
}

}  // namespace

RiffWriter::RiffWriter(std::unique_ptr<ByteSink> sink) : sink_(std::move(sink)) {
    if (!sink_) throw RiffError("RiffWriter needs a sink");
}

void RiffWriter::CreateChunkWithHeader(FourCc id, std::span<const std::byte> extra) {
    if (detached_) throw RiffError("chunk created after detach");
    const std::uint64_t start = sink_->Position();
    std::array<std::byte, 12> header{};
    const auto idBytes = AsBytes(id);
    std::copy(idBytes.begin(), idBytes.end(), header.begin());
    // Size 0 for now; Ascend writes the true size.
    std::copy(extra.begin(), extra.end(), header.begin() + 8);
    sink_->Write(std::span<const std::byte>(header).first(8 + extra.size()));
    open_.push_back({start + 4, start + 8});
}

void RiffWriter::CreateRiffChunk(FourCc formType) {
    CreateChunkWithHeader(MakeFourCc("RIFF"), AsBytes(formType));
}

void RiffWriter::CreateChunk(FourCc id) { CreateChunkWithHeader(id, {}); }

void RiffWriter::Write(std::span<const std::byte> bytes) {
    if (detached_) throw RiffError("write after detach");
    sink_->Write(bytes);
}

void RiffWriter::Ascend() {
    if (open_.empty()) throw RiffError("ascend without an open chunk");
    const OpenChunk chunk = open_.back();
    const std::uint64_t end = sink_->Position();
    if (end < chunk.dataOffset) throw RiffError("chunk position moved before its data");
    const std::uint64_t size = end - chunk.dataOffset;
    if (size > std::numeric_limits<std::uint32_t>::max()) throw RiffError("chunk larger than 4 GiB");
    std::uint64_t after = end;
    if (size % 2 != 0) {
        const std::byte pad{0};
        sink_->Write(std::span<const std::byte>(&pad, 1));
        ++after;
    }
    const auto sizeBytes = LittleEndian32(static_cast<std::uint32_t>(size));
    sink_->Seek(chunk.sizeFieldOffset);
    sink_->Write(sizeBytes);
    sink_->Seek(after);
    open_.pop_back();
}

std::unique_ptr<ByteSink> RiffWriter::Detach() {
    if (detached_) throw RiffError("detach twice");
    if (!open_.empty()) throw RiffError("detach with chunks not ascended from");
    detached_ = true;
    return std::move(sink_);
}

}  // namespace korvane::platform
