#pragma once
// GetVersionEx for the machine model: the version of the Windows the machine root
// stands for. The emulated machine is a Windows 98 system (4.10.1998, platform family
// VER_PLATFORM_WIN32_WINDOWS). KORVANE_PLATFORM_ID overrides the family (0 = Win32s,
// 1 = Windows 95/98, 2 = Windows NT), which is how a run on another family is staged.
//
// Thread contract: any thread; reads the environment on every call.
#include <cstdint>
#include <string>

namespace korvane::platform {

inline constexpr std::uint32_t kVerPlatformWin32s = 0;
inline constexpr std::uint32_t kVerPlatformWin32Windows = 1;
inline constexpr std::uint32_t kVerPlatformWin32Nt = 2;

struct OsVersionInfo {
    std::uint32_t majorVersion = 4;
    std::uint32_t minorVersion = 10;
    std::uint32_t buildNumber = 1998;
    std::uint32_t platformId = kVerPlatformWin32Windows;
    std::string csdVersion;
};

// The version of the emulated system. A KORVANE_PLATFORM_ID that is not a plain
// decimal number is ignored (the default family is reported).
OsVersionInfo GetVersionEx();

}  // namespace korvane::platform
