#pragma once
// "In use" files. On the original platform a running program's executable and loaded
// modules cannot be deleted or overwritten. We model this with advisory locks: a process
// that runs a file holds a shared flock on it (InUseLock); deleting, overwriting or
// renaming over a file through the machine layer first tests for such a lock and fails
// with "sharing violation" when one is held, by this or any other process.
//
// Thread contract: InUseLock is a move-only owner; IsInUse is safe from any thread.
#include <filesystem>
#include <optional>

namespace korvane::platform {

class InUseLock {
public:
    // Holds `file` in use until destroyed; nullopt when the file cannot be opened.
    static std::optional<InUseLock> Hold(const std::filesystem::path& file);
    InUseLock(InUseLock&& other) noexcept;
    InUseLock& operator=(InUseLock&& other) noexcept;
    InUseLock(const InUseLock&) = delete;
    InUseLock& operator=(const InUseLock&) = delete;
    ~InUseLock();

private:
    explicit InUseLock(int fd) noexcept : fd_(fd) {}
    int fd_ = -1;
};

// True when some process holds `file` in use. A missing file is not in use.
bool IsInUse(const std::filesystem::path& file);

}  // namespace korvane::platform
