#include "installer/core/install_context.h"

#include <atomic>

#include "platform/machine/files.h"
#include "platform/ui/ui.h"

namespace korvane::installer {

InstallContext::~InstallContext() {
    if (machine && !stagingDir.empty()) machine->RemoveDirectory(stagingDir);
}

std::string ExpandDirToken(const InstallContext& context, std::string_view text) {
    const std::pair<std::string_view, const std::string*> tokens[] = {
        {"<appdir>", &context.appDir},
        {"<sysdir>", &context.systemDir},
        {"<windir>", &context.windowsDir},
        {"<shareddir>", &context.sharedDir},
    };
    for (const auto& [token, folder] : tokens) {
        const auto p = text.find(token);
        if (p == std::string_view::npos) continue;
        std::string result(text.substr(0, p));
        result += *folder;
        result += text.substr(p + token.size());
        return result;
    }
    return std::string(text);
}

bool IsUsableAppFolder(std::string_view folder) noexcept {
    // Room below the folder for "\" + the longest payload name we place there.
    constexpr std::size_t kMaxFolderLength = 259 - 1 - 32;
    if (folder.size() < 4 || folder.size() > kMaxFolderLength) return false;
    const char drive = folder[0];
    if (!((drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z')) || folder[1] != ':' || folder[2] != '\\')
        return false;
    std::string_view rest = folder.substr(3);
    while (true) {
        const auto slash = rest.find('\\');
        const std::string_view name = rest.substr(0, slash);
        if (name.empty() || name == "." || name == "..") return false;
        if (name.back() == ' ' || name.back() == '.') return false;
        for (char c : name) {
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (std::string_view("<>:\"/|?*").find(c) != std::string_view::npos) return false;
        }
        if (slash == std::string_view::npos) return true;
        rest = rest.substr(slash + 1);
    }
}

namespace {
std::atomic<int> gErrorsShown{0};
}  // namespace

void ShowError(std::string_view text) {
    ++gErrorsShown;
    platform::MessageBox(text, "", platform::kMbOk | platform::kMbIconError);
}

int ErrorsShown() noexcept { return gErrorsShown.load(); }

}  // namespace korvane::installer
