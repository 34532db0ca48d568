#include "platform/machine/restart.h"

#include <ostream>
#include <system_error>

#include "platform/paths/paths.h"

namespace fs = std::filesystem;

namespace korvane::platform {

std::optional<WininitResult> ApplyRequestedRestart(const MachineRoot& root) {
    std::error_code ec;
    if (!fs::exists(root.RestartRequestFile(), ec)) return std::nullopt;
    WininitResult result = ProcessWininit(root);
    if (result.failures.empty()) fs::remove(root.RestartRequestFile(), ec);
    return result;
}

void RestartIfRequested(const MachineRoot& root, const char* program, std::ostream& out) {
    const auto result = ApplyRequestedRestart(root);
    if (!result) return;
    out << program << ": carrying out the requested restart: " << result->applied
        << " pending file operation(s) of wininit.ini done\n";
    for (const auto& failure : result->failures) out << program << ": restart: " << failure << "\n";
    if (!result->failures.empty()) out << program << ": the rest is tried again at the next start\n";
}

}  // namespace korvane::platform
