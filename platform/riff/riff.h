#pragma once
// An mmio-like RIFF chunk writer: create a chunk with size 0, write its contents,
// ascend from it (which writes the true size into the chunk header and a pad byte
// after odd-sized contents), and detach the sink for the caller to sync and close. The
// RIFF chunk itself is created with its form type ("WAVE"), as mmioCreateChunk does with
// the RIFF-creating flag.
//
// Every write and seek goes through a ByteSink, which throws IoError on failure; the
// writer adds its own checks (unbalanced ascends, chunks larger than 4 GiB) and throws
// RiffError for those. After any exception the writer is unusable and the caller
// discards the partial output.
//
// Ownership: the writer owns its sink. Thread contract: one thread at a time.
#include "platform/riff/file_io.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace korvane::platform {

// A four-character code as it lies on disk ("RIFF", "WAVE", "fmt ", "data").
using FourCc = std::array<char, 4>;
constexpr FourCc MakeFourCc(std::string_view text) {
    return {text[0], text[1], text[2], text[3]};
}

class RiffError : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

class RiffWriter {
public:
    explicit RiffWriter(std::unique_ptr<ByteSink> sink);
    RiffWriter(const RiffWriter&) = delete;
    RiffWriter& operator=(const RiffWriter&) = delete;

    // mmioCreateChunk with the RIFF-creating flag: "RIFF", size 0, then `formType`.
    void CreateRiffChunk(FourCc formType);
    // mmioCreateChunk: `id` with size 0; the size is written by Ascend.
    void CreateChunk(FourCc id);
    // mmioWrite into the innermost open chunk (or at top level).
    void Write(std::span<const std::byte> bytes);
    // mmioAscend: writes the innermost chunk's true size and, after odd contents, a
    // zero pad byte; the position is then just past the chunk.
    void Ascend();
    // Every chunk must have been ascended from. Hands the sink back open and unsynced,
    // so that several files can be synced together (the caller then syncs and closes it).
    std::unique_ptr<ByteSink> Detach();

private:
    struct OpenChunk {
        std::uint64_t sizeFieldOffset;  // where the 4-byte size goes
        std::uint64_t dataOffset;       // first byte after the size field
    };
    void CreateChunkWithHeader(FourCc id, std::span<const std::byte> extra);

    std::unique_ptr<ByteSink> sink_;
    std::vector<OpenChunk> open_;
    bool detached_ = false;
};

}  // namespace korvane::platform
