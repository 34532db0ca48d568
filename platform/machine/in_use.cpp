#include "platform/machine/in_use.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace korvane::platform {

std::optional<InUseLock> InUseLock::Hold(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    if (::flock(fd, LOCK_SH) != 0) {
        ::close(fd);
        return std::nullopt;
    }
    return InUseLock(fd);
}

InUseLock::InUseLock(InUseLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

InUseLock& InUseLock::operator=(InUseLock&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

InUseLock::~InUseLock() {
    if (fd_ >= 0) ::close(fd_);
}

bool IsInUse(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    // An exclusive lock is refused while anyone holds the shared one.
    const bool inUse = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);  // also drops the exclusive lock if we got it
    return inUse;
}

}  // namespace korvane::platform
