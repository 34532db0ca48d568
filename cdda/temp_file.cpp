#include "cdda/temp_file.h"

#include "platform/hostfiles/leftovers.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace korvane::cdda {
namespace {

[[noreturn]] void Fail(const char* what, const std::filesystem::path& path, int error) {
    throw TrackFileError(std::string("cannot ") + what + " the temporary file " + path.string() + ": " +
                         std::strerror(error));
}

}  // namespace

TempFile TempFile::CreateUnique(const std::filesystem::path& dir, std::string_view prefix) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    platform::RemoveLeftoverTemporariesOnce(dir);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::filesystem::path path = dir / (std::string(prefix) + platform::TemporaryTag() + ".tmp");
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) return TempFile(fd, std::move(path));
        if (errno != EEXIST) Fail("create", path, errno);
    }
    Fail("create", dir / (std::string(prefix) + "*.tmp"), EEXIST);
}

TempFile::TempFile(TempFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

TempFile::~TempFile() {
    if (fd_ >= 0) ::close(fd_);
}

void TempFile::Write(std::span<const std::uint8_t> bytes) { WriteAll(bytes, -1); }

void TempFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    WriteAll(bytes, static_cast<off_t>(offset));
    // A hint: a failure here shows again, and is reported, in Sync.
    ::sync_file_range(fd_, static_cast<off_t>(offset), static_cast<off_t>(bytes.size()), SYNC_FILE_RANGE_WRITE);
}

// Writes all of `bytes` at `offset`, or at the file position when `offset` is negative.
void TempFile::WriteAll(std::span<const std::uint8_t> bytes, off_t offset) {
    if (fd_ < 0) Fail("write", path_, EBADF);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::size_t left = bytes.size() - done;
        const ssize_t n = offset < 0 ? ::write(fd_, bytes.data() + done, left)
                                     : ::pwrite(fd_, bytes.data() + done, left, offset + static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("write", path_, errno);
        }
        if (n == 0) Fail("write", path_, ENOSPC);
        done += static_cast<std::size_t>(n);
    }
}

void TempFile::Sync() {
    if (fd_ < 0) Fail("write out", path_, EBADF);
    while (::fdatasync(fd_) != 0) {
        if (errno != EINTR) Fail("write out", path_, errno);
    }
}

void TempFile::Close() {
    if (fd_ < 0) return;
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0 && errno != EINTR) Fail("close", path_, errno);
}

void TempFile::Remove() noexcept {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    if (!path_.empty()) ::unlink(path_.c_str());
}

}  // namespace korvane::cdda
