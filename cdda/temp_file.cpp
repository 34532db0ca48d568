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

void TempFile::Write(std::span<const std::uint8_t> bytes) {
    if (fd_ < 0) Fail("write", path_, EBADF);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("write", path_, errno);
        }
        if (n == 0) Fail("write", path_, ENOSPC);
        done += static_cast<std::size_t>(n);
    }
}

void TempFile::AppendContentOf(const TempFile& source) {
    if (source.fd_ < 0) Fail("read", source.path_, EBADF);
    std::vector<std::uint8_t> buffer(1 << 16);
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::pread(source.fd_, buffer.data(), buffer.size(), offset);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("read", source.path_, errno);
        }
        if (n == 0) break;
        Write(std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(n)));
        offset += n;
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
