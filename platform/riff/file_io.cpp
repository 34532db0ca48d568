#include "platform/riff/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace korvane::platform {
namespace {

std::error_code LastError() { return {errno, std::generic_category()}; }

[[noreturn]] void Fail(const std::string& what, const std::filesystem::path& path,
                       std::error_code code) {
    throw IoError(what + " " + path.string(), code);
}

}  // namespace

IoError::IoError(const std::string& what, std::error_code code)
    : std::runtime_error(what + ": " + code.message()), code_(code) {}

FileSink::FileSink(const std::filesystem::path& path, CreateMode mode) : path_(path) {
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
    flags |= mode == CreateMode::kExclusive ? O_EXCL : O_TRUNC;
    fd_ = ::open(path.c_str(), flags, 0666);
    if (fd_ < 0) Fail("cannot create", path_, LastError());
}

FileSink::~FileSink() {
    if (fd_ >= 0) ::close(fd_);
}

void FileSink::Write(std::span<const std::byte> bytes) {
    if (fd_ < 0) Fail("write after close of", path_, std::make_error_code(std::errc::bad_file_descriptor));
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("cannot write", path_, LastError());
        }
        if (n == 0) Fail("cannot write", path_, std::make_error_code(std::errc::no_space_on_device));
        position_ += static_cast<std::uint64_t>(n);
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
}

void FileSink::Seek(std::uint64_t offset) {
    if (fd_ < 0) Fail("seek after close of", path_, std::make_error_code(std::errc::bad_file_descriptor));
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) Fail("cannot seek in", path_, LastError());
    position_ = offset;
}

void FileSink::Sync() {
    if (fd_ < 0) Fail("sync after close of", path_, std::make_error_code(std::errc::bad_file_descriptor));
    if (::fsync(fd_) != 0) Fail("cannot flush", path_, LastError());
}

void FileSink::StartSync() noexcept {
    if (fd_ >= 0) ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
}

void FileSink::WaitWritten() {
    if (fd_ < 0) Fail("wait after close of", path_, std::make_error_code(std::errc::bad_file_descriptor));
    constexpr unsigned kAll = SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
    if (::sync_file_range(fd_, 0, 0, kAll) != 0) Fail("cannot write out", path_, LastError());
}

// syncfs reports write errors of the whole file system since this file was opened
// (Linux 5.8 and later), so a failure elsewhere is reported here too: never a success
// that was not one.
void FileSink::SyncFileSystem() {
    if (fd_ < 0) Fail("sync after close of", path_, std::make_error_code(std::errc::bad_file_descriptor));
    if (::syncfs(fd_) != 0) Fail("cannot flush the file system of", path_, LastError());
}

void FileSink::Close() {
    if (fd_ < 0) return;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) Fail("cannot close", path_, LastError());
}

FileSource::FileSource(const std::filesystem::path& path) : path_(path) {
    // Non-blocking, so that a FIFO or a device fails the type check below instead of
    // blocking the open; a regular file reads the same either way.
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) Fail("cannot open", path_, LastError());
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        const auto code = LastError();
        ::close(fd_);
        fd_ = -1;
        Fail("cannot read the size of", path_, code);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        Fail("not a regular file:", path_, std::make_error_code(std::errc::invalid_argument));
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
}

FileSource::~FileSource() {
    if (fd_ >= 0) ::close(fd_);
}

void FileSource::ReadAt(std::uint64_t offset, std::span<std::byte> bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::pread(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("cannot read", path_, LastError());
        }
        if (n == 0) Fail("unexpected end of", path_, std::make_error_code(std::errc::io_error));
        offset += static_cast<std::uint64_t>(n);
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
}

void MemorySink::Write(std::span<const std::byte> bytes) {
    const std::uint64_t end = position_ + bytes.size();
    if (bytes_.size() < end) bytes_.resize(end);
    std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(position_));
    position_ = end;
}

void MemorySink::Seek(std::uint64_t offset) {
    if (bytes_.size() < offset) bytes_.resize(offset);
    position_ = offset;
}

void MemorySource::ReadAt(std::uint64_t offset, std::span<std::byte> bytes) {
    if (offset > bytes_.size() || bytes.size() > bytes_.size() - offset)
        throw IoError("read past the end of a memory source", std::make_error_code(std::errc::io_error));
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), bytes.size(), bytes.begin());
}

FaultInjectingSink::FaultInjectingSink(std::unique_ptr<ByteSink> inner, SinkFaults faults)
    : inner_(std::move(inner)), faults_(faults) {}

void FaultInjectingSink::Write(std::span<const std::byte> bytes) {
    if (++writeCalls_ == faults_.failWriteCall)
        throw IoError("injected write failure", std::make_error_code(std::errc::io_error));
    const std::uint64_t room = faults_.writeLimitBytes - std::min(written_, faults_.writeLimitBytes);
    if (bytes.size() > room) {
        inner_->Write(bytes.first(static_cast<std::size_t>(room)));
        written_ += room;
        throw IoError("injected write failure", std::make_error_code(std::errc::no_space_on_device));
    }
    inner_->Write(bytes);
    written_ += bytes.size();
}

void FaultInjectingSink::Seek(std::uint64_t offset) {
    if (faults_.failSeek) throw IoError("injected seek failure", std::make_error_code(std::errc::io_error));
    inner_->Seek(offset);
}

void FaultInjectingSink::Sync() {
    if (faults_.failSync) throw IoError("injected sync failure", std::make_error_code(std::errc::no_space_on_device));
    inner_->Sync();
}

void FaultInjectingSink::WaitWritten() {
    if (faults_.failSync) throw IoError("injected write-out failure", std::make_error_code(std::errc::io_error));
    inner_->WaitWritten();
}

void FaultInjectingSink::SyncFileSystem() {
    if (faults_.failSync) throw IoError("injected sync failure", std::make_error_code(std::errc::no_space_on_device));
    inner_->SyncFileSystem();
}

void FaultInjectingSink::Close() {
    inner_->Close();
    if (faults_.failClose) throw IoError("injected close failure", std::make_error_code(std::errc::io_error));
}

FaultInjectingSource::FaultInjectingSource(std::unique_ptr<ByteSource> inner, std::uint64_t failFromOffset)
    : inner_(std::move(inner)), failFromOffset_(failFromOffset) {}

void FaultInjectingSource::ReadAt(std::uint64_t offset, std::span<std::byte> bytes) {
    if (offset + bytes.size() > failFromOffset_)
        throw IoError("injected read failure", std::make_error_code(std::errc::io_error));
    inner_->ReadAt(offset, bytes);
}

}  // namespace korvane::platform
