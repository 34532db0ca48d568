#pragma once
// File operations on Windows paths of the machine, with Win32 results: FindFirstFile-style
// existence, CreateDirectory, DeleteFile, MoveFile, RemoveDirectory, and opening a file
// for writing. Each maps its paths through MachineRoot::ToHost (case-insensitive) and
// honours "in use" files (in_use.h): deleting, replacing or writing a file in use fails.
//
// Thread contract: stateless apart from the root; safe from any thread.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/paths/paths.h"

namespace korvane::platform {

struct FileCloser {
    void operator()(std::FILE* f) const noexcept {
        if (f) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

class MachineFiles {
public:
    explicit MachineFiles(MachineRoot root) : root_(std::move(root)) {}

    const MachineRoot& Root() const noexcept { return root_; }
    std::optional<std::filesystem::path> Host(std::string_view windowsPath) const { return root_.ToHost(windowsPath); }

    // A directory entry (file or folder) of that name exists.
    bool Exists(std::string_view windowsPath) const;
    bool IsDirectory(std::string_view windowsPath) const;
    // CreateDirectoryA: the parent must exist; fails when the entry exists already.
    bool CreateDirectory(std::string_view windowsPath) const;
    // RemoveDirectoryA: only an empty folder.
    bool RemoveDirectory(std::string_view windowsPath) const;
    // DeleteFileA: fails for a missing file, a folder or a file in use.
    bool DeleteFile(std::string_view windowsPath) const;
    // MoveFileA: fails when the target exists, the source is missing or in use.
    bool MoveFile(std::string_view from, std::string_view to) const;
    // fopen with `mode`; writing modes fail for a file in use. Null on failure.
    FilePtr Open(std::string_view windowsPath, const char* mode) const;
    // Writes `bytes` to the file through a temporary beside it and a rename, so the
    // file is either fully replaced or left as it was. False when the target is in use,
    // a folder, or any step fails (the temporary is then removed).
    bool WriteFileAtomically(std::string_view windowsPath, std::span<const std::uint8_t> bytes) const;

private:
    MachineRoot root_;
};

}  // namespace korvane::platform
