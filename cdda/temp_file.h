#pragma once
// An exclusively created, owner-only temporary file (O_CREAT | O_EXCL | O_NOFOLLOW, mode
// 0600): a name that already exists, or a planted link, is never opened; another name
// is tried instead. The file stays on disk after the object is gone unless Remove() was
// called. Errors throw TrackFileError naming the file.
#include "cdda/track_reader.h"

#include <filesystem>
#include <sys/types.h>
#include <span>
#include <string_view>

namespace korvane::cdda {

class TempFile final : public TrackSink {
public:
    // A new file "<prefix><pid>-<unique>.tmp" in `dir`. Leftovers of writers that are
    // gone are first removed from `dir` (once per folder and process).
    static TempFile CreateUnique(const std::filesystem::path& dir, std::string_view prefix);
    TempFile(TempFile&& other) noexcept;
    TempFile& operator=(TempFile&&) = delete;
    TempFile(const TempFile&) = delete;
    ~TempFile() override;

    void Write(std::span<const std::uint8_t> bytes) override;
    // Writes all of `bytes` at byte `offset` (the file grows as needed) and starts
    // writing them out to the device without waiting, so that a later Sync has little
    // left to do.
    void WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes);
    // Waits until the file's data is on the device (fdatasync), reporting write errors.
    void Sync();
    void Close();          // closes, reporting a failed close
    void Remove() noexcept;  // closes and deletes
    const std::filesystem::path& Path() const noexcept { return path_; }

private:
    TempFile(int fd, std::filesystem::path path) noexcept : fd_(fd), path_(std::move(path)) {}
    void WriteAll(std::span<const std::uint8_t> bytes, off_t offset);
    int fd_ = -1;
    std::filesystem::path path_;
};

}  // namespace korvane::cdda
