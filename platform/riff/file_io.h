#pragma once
// Byte-level file I/O for the RIFF writer and the WAV export: a sink that is written
// front to back with occasional seeks back (to patch chunk sizes), and a source that is
// read at explicit offsets. Every failure is thrown as IoError; nothing is ever
// reported as done when it was not.
//
// Real implementations over POSIX file descriptors (FileSink, FileSource) and test
// doubles (MemorySink, FaultInjectingSink, FaultInjectingSource) that let tests fail a
// write, a seek, a read, a sync or a close at a chosen byte, as a full disk would.
//
// Thread contract: an object is used by one thread at a time (the UI thread in the
// application); no object shares state with another.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace korvane::platform {

// A failed file operation: what was attempted, on which file, and the system error.
class IoError : public std::runtime_error {
public:
    IoError(const std::string& what, std::error_code code);
    std::error_code Code() const noexcept { return code_; }

private:
    std::error_code code_;
};

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Writes all of `bytes` at the current position and advances it. Throws IoError on
    // any failure, including a short write (a full disk).
    virtual void Write(std::span<const std::byte> bytes) = 0;
    // Moves the position to `offset` bytes from the start.
    virtual void Seek(std::uint64_t offset) = 0;
    virtual std::uint64_t Position() const = 0;
    // Makes everything written durable (fsync for files).
    virtual void Sync() = 0;
    // Syncing many files with one flush: StartSync starts writing the data out
    // without waiting (a hint); WaitWritten waits until this file's data has reached
    // the device and reports its write errors, without making it durable;
    // SyncFileSystem makes everything on the file system holding this file durable
    // (data and metadata of all files), one flush for all of them.
    virtual void StartSync() noexcept {}
    virtual void WaitWritten() {}
    virtual void SyncFileSystem() { Sync(); }
    // Releases the sink; reports a failure of the final flush. Idempotent.
    virtual void Close() = 0;
};

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Fills all of `bytes` from `offset`. Throws IoError on failure and when the source
    // ends before `bytes` is full.
    virtual void ReadAt(std::uint64_t offset, std::span<std::byte> bytes) = 0;
};

// How a FileSink opens its file.
enum class CreateMode {
    kExclusive,  // O_CREAT|O_EXCL: fails when the file exists (never touches another file)
    kTruncate,   // O_CREAT|O_TRUNC
};

// Owns one file descriptor opened for writing; closes it in the destructor if Close
// was not called (a failure there cannot be reported, so callers Close explicitly).
class FileSink final : public ByteSink {
public:
    // Creates `path` with permission bits 0666 filtered by the process umask.
    FileSink(const std::filesystem::path& path, CreateMode mode);
    ~FileSink() override;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    void Write(std::span<const std::byte> bytes) override;
    void Seek(std::uint64_t offset) override;
    std::uint64_t Position() const override { return position_; }
    void Sync() override;
    void StartSync() noexcept override;
    void WaitWritten() override;
    void SyncFileSystem() override;
    void Close() override;

private:
    std::filesystem::path path_;
    int fd_ = -1;
    std::uint64_t position_ = 0;
};

// Owns one file descriptor opened for reading.
class FileSource final : public ByteSource {
public:
    explicit FileSource(const std::filesystem::path& path);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    std::uint64_t Size() const override { return size_; }
    void ReadAt(std::uint64_t offset, std::span<std::byte> bytes) override;

private:
    std::filesystem::path path_;
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

// Test double: a growable byte vector.
class MemorySink final : public ByteSink {
public:
    void Write(std::span<const std::byte> bytes) override;
    void Seek(std::uint64_t offset) override;
    std::uint64_t Position() const override { return position_; }
    void Sync() override {}
    void Close() override {}

    const std::vector<std::byte>& Bytes() const noexcept { return bytes_; }

private:
    std::vector<std::byte> bytes_;
    std::uint64_t position_ = 0;
};

// Test double: a read-only view of bytes the test keeps alive.
class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const std::byte> bytes) : bytes_(bytes) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    void ReadAt(std::uint64_t offset, std::span<std::byte> bytes) override;

private:
    std::span<const std::byte> bytes_;
};

// Where a FaultInjectingSink fails. Unset limits never fail.
struct SinkFaults {
    // Total bytes that may be written; the write that would pass this limit writes up
    // to it and then fails with ENOSPC, as a full disk does.
    std::uint64_t writeLimitBytes = UINT64_MAX;
    // The write call with this number (from 1) fails with EIO and writes nothing; the
    // calls after it succeed, as after a transient error. 0: none.
    std::uint64_t failWriteCall = 0;
    bool failSeek = false;
    bool failSync = false;
    bool failClose = false;
};

// Test double: forwards to `inner` and fails as `faults` says.
class FaultInjectingSink final : public ByteSink {
public:
    FaultInjectingSink(std::unique_ptr<ByteSink> inner, SinkFaults faults);
    void Write(std::span<const std::byte> bytes) override;
    void Seek(std::uint64_t offset) override;
    std::uint64_t Position() const override { return inner_->Position(); }
    void Sync() override;
    void StartSync() noexcept override { inner_->StartSync(); }
    void WaitWritten() override;
    void SyncFileSystem() override;
    void Close() override;
    std::uint64_t WriteCalls() const noexcept { return writeCalls_; }

private:
    std::unique_ptr<ByteSink> inner_;
    SinkFaults faults_;
    std::uint64_t written_ = 0;
    std::uint64_t writeCalls_ = 0;
};

// Test double: forwards to `inner`; any read touching bytes at or after
// `failFromOffset` fails with EIO (a bad sector, a vanished network share).
class FaultInjectingSource final : public ByteSource {
public:
    FaultInjectingSource(std::unique_ptr<ByteSource> inner, std::uint64_t failFromOffset);
    std::uint64_t Size() const override { return inner_->Size(); }
    void ReadAt(std::uint64_t offset, std::span<std::byte> bytes) override;

private:
    std::unique_ptr<ByteSource> inner_;
    std::uint64_t failFromOffset_;
};

}  // namespace korvane::platform
