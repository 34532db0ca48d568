#include "platform/osinfo/osinfo.h"

#include <charconv>
#include <cstdlib>
#include <string_view>

namespace korvane::platform {

OsVersionInfo GetVersionEx() {
    OsVersionInfo info;
    if (const char* family = std::getenv("KORVANE_PLATFORM_ID")) {
        const std::string_view text(family);
        std::uint32_t id = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
        if (error == std::errc{} && end == text.data() + text.size() && !text.empty()) {
            info.platformId = id;
            if (id == kVerPlatformWin32Nt) {
                info.majorVersion = 4;
                info.minorVersion = 0;
                info.buildNumber = 1381;
            }
        }
    }
    return info;
}

}  // namespace korvane::platform
