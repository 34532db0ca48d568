#include "platform/machine/files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <system_error>

#include "platform/machine/in_use.h"

namespace fs = std::filesystem;

namespace korvane::platform {
namespace {

bool IsWritingMode(const char* mode) {
    return std::strchr(mode, 'w') != nullptr || std::strchr(mode, 'a') != nullptr ||
           std::strchr(mode, '+') != nullptr;
}

}  // namespace

bool MachineFiles::Exists(std::string_view windowsPath) const {
    const auto host = Host(windowsPath);
    std::error_code ec;
    return host && fs::symlink_status(*host, ec).type() != fs::file_type::not_found && !ec;
}

bool MachineFiles::IsDirectory(std::string_view windowsPath) const {
    const auto host = Host(windowsPath);
    std::error_code ec;
    return host && fs::is_directory(*host, ec);
}

bool MachineFiles::CreateDirectory(std::string_view windowsPath) const {
    const auto host = Host(windowsPath);
    if (!host) return false;
    std::error_code ec;
    // create_directory reports false without error for an existing folder; Win32 fails.
    return fs::create_directory(*host, ec) && !ec;
}

bool MachineFiles::RemoveDirectory(std::string_view windowsPath) const {
    const auto host = Host(windowsPath);
    std::error_code ec;
    if (!host || !fs::is_directory(fs::symlink_status(*host, ec))) return false;
    return fs::remove(*host, ec) && !ec;  // fails with ENOTEMPTY for a non-empty folder
}

bool MachineFiles::DeleteFile(std::string_view windowsPath) const {
    const auto host = Host(windowsPath);
    std::error_code ec;
    if (!host) return false;
    const auto status = fs::symlink_status(*host, ec);
    if (ec || status.type() == fs::file_type::not_found || fs::is_directory(status)) return false;
    if (IsInUse(*host)) return false;  // ERROR_SHARING_VIOLATION
    return fs::remove(*host, ec) && !ec;
}

bool MachineFiles::MoveFile(std::string_view from, std::string_view to) const {
    const auto source = Host(from);
    const auto target = Host(to);
    if (!source || !target) return false;
    std::error_code ec;
    if (fs::symlink_status(*source, ec).type() == fs::file_type::not_found) return false;
    if (fs::symlink_status(*target, ec).type() != fs::file_type::not_found) return false;  // ERROR_ALREADY_EXISTS
    if (IsInUse(*source)) return false;
    // link + unlink would refuse an existing target atomically; rename is enough here
    // because the target was tested just above and the machine has one installer at a time.
    fs::rename(*source, *target, ec);
    return !ec;
}

FilePtr MachineFiles::Open(std::string_view windowsPath, const char* mode) const {
    const auto host = Host(windowsPath);
    if (!host) return nullptr;
    if (IsWritingMode(mode) && IsInUse(*host)) return nullptr;
    return FilePtr(std::fopen(host->c_str(), mode));
}

bool MachineFiles::WriteFileAtomically(std::string_view windowsPath, std::span<const std::uint8_t> bytes) const {
    const auto host = Host(windowsPath);
    if (!host) return false;
    std::error_code ec;
    if (fs::is_directory(*host, ec) || IsInUse(*host)) return false;
    fs::path temp = *host;
    temp += ".kvtmp" + std::to_string(::getpid());
    // Program images stay runnable on the host once placed (Windows has no execute bit).
    const bool image = bytes.size() >= 4 && bytes[0] == 0x7F && bytes[1] == 'E' && bytes[2] == 'L' && bytes[3] == 'F';
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, image ? 0755 : 0644);
    if (fd < 0) return false;
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ok = false;
        else done += std::size_t(n);
    }
    if (ok && ::fsync(fd) != 0) ok = false;
    if (::close(fd) != 0) ok = false;
    if (ok) {
        fs::rename(temp, *host, ec);
        ok = !ec;
    }
    if (!ok) fs::remove(temp, ec);
    return ok;
}

}  // namespace korvane::platform
