#pragma once
// Puts a version record into the module being compiled, where GetFileVersionInfo finds it.
// Use once per module, at namespace scope:
//   KORVANE_VERSION_RECORD(5, 80, 2600, 0, "Korvane common controls")
// The product and file versions are MS = (a << 16 | b), LS = (c << 16 | d).
#include <cstdint>

#include "platform/version/version.h"

namespace korvane::platform {
struct VersionSectionLayout {
    char magic[8];
    VsFixedFileInfo fixed;
    char strings[240];
};
}  // namespace korvane::platform

// The arguments are expanded before the inner macro spells them as text, so they may be
// macros themselves (compile definitions of a module built in several versions).
#define KORVANE_VERSION_RECORD(a, b, c, d, description) KORVANE_VERSION_RECORD_(a, b, c, d, description)
#define KORVANE_VERSION_RECORD_(a, b, c, d, description)                                              \
    extern "C" __attribute__((section(".korvane_version"), used, visibility("default")))              \
    const ::korvane::platform::VersionSectionLayout korvane_version_record = {                          \
        {'K', 'V', 'V', 'E', 'R', 'S', '1', '\0'},                                                      \
        {0xFEEF04BDu, 0x00010000u, (std::uint32_t(a) << 16) | std::uint32_t(b),                         \
         (std::uint32_t(c) << 16) | std::uint32_t(d), (std::uint32_t(a) << 16) | std::uint32_t(b),      \
         (std::uint32_t(c) << 16) | std::uint32_t(d), 0x3Fu, 0u, 0x00040004u, 2u, 0u, 0u, 0u},          \
        "FileDescription\0" description "\0ProductVersion\0" #a "." #b "." #c "." #d "\0"}
