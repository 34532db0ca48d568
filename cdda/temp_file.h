#pragma once
// An exclusively created, owner-only temporary file (O_CREAT | O_EXCL | O_NOFOLLOW, mode
// 0600): a name that already exists, or a planted link, is never opened; another name
// is tried instead. The file stays on disk after the object is gone unless Remove() was
// called. Errors throw TrackFileError naming the file.
#include "cdda/track_reader.h"

#include <filesystem>
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
    // Copies the whole content of `source` (from its start) to the end of this file.
    void AppendContentOf(const TempFile& source);
    void Close();          // closes, reporting a failed close
    void Remove() noexcept;  // closes and deletes
    const std::filesystem::path& Path() const noexcept { return path_; }

private:
    TempFile(int fd, std::filesystem::path path) noexcept : fd_(fd), path_(std::move(path)) {}
    int fd_ = -1;
    std::filesystem::path path_;
};

}  // namespace korvane::cdda
