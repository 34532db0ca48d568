// The manager module WNASPI32.DLL: the two ASPI entry points over the drives that
// environment.h selects, plus our two optional extensions. The manager is built on the
// first call into the module and lives until the module is unloaded.
#include "platform/aspi/aspi.h"
#include "platform/aspi/environment.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace {

korvane::aspi::Manager& TheManager() {
    static std::once_flag once;
    static std::unique_ptr<korvane::aspi::Manager> manager;
    std::call_once(once, [] { manager = korvane::aspi::BuildManager(korvane::aspi::SelectionFromEnvironment()); });
    return *manager;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) std::uint32_t GetASPI32SupportInfo() { return TheManager().SupportInfo(); }

__attribute__((visibility("default"))) std::uint32_t SendASPI32Command(void* srb) { return TheManager().Send(srb); }

__attribute__((visibility("default"))) std::uint32_t KorvaneAspiDescribeDevices(korvane::aspi::KorvaneAspiDevice* out,
                                                                                std::uint32_t capacity) {
    const auto devices = TheManager().Describe();
    for (std::size_t i = 0; i < devices.size() && i < capacity; ++i) out[i] = devices[i];
    return static_cast<std::uint32_t>(devices.size());
}

__attribute__((visibility("default"))) std::uint32_t KorvaneAspiDiagnostics(char* buffer, std::uint32_t size) {
    std::string text;
    for (const auto& line : TheManager().Diagnostics()) text += line + "\n";
    if (buffer != nullptr && size > 0) {
        const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
        std::memcpy(buffer, text.data(), n);
        buffer[n] = 0;
    }
    return static_cast<std::uint32_t>(text.size());
}

}  // extern "C"
