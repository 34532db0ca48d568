// A self-registering test module: DllRegisterServer records a class id with the module's
// Windows path in the machine registry. Built with KV_REGISTER_FAILS it refuses to
// register (a negative HRESULT).
#include <dlfcn.h>

#include "platform/paths/paths.h"
#include "platform/registry/registry.h"
#include "platform/version/version_record.h"

KORVANE_VERSION_RECORD(KV_VERSION_A, KV_VERSION_B, KV_VERSION_C, KV_VERSION_D, KV_DESCRIPTION);

namespace {
constexpr const char* kClassKey = "Software\\Classes\\CLSID\\{6B1E0F3A-2C4D-4E5F-8A9B-0C1D2E3F4A5B}";

std::string OwnPath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&OwnPath), &info) == 0 || info.dli_fname == nullptr) return {};
    const auto root = korvane::platform::MachineRoot::FromEnvironment();
    return root.ToWindows(info.dli_fname).value_or(info.dli_fname);
}
}  // namespace

extern "C" __attribute__((visibility("default"))) long DllRegisterServer() {
#ifdef KV_REGISTER_FAILS
    return static_cast<long>(static_cast<std::int32_t>(0x80004005u));
#else
    try {
        auto store = korvane::platform::RegistryStore::OpenMachine();
        store->CreateKey(korvane::platform::RootKey::LocalMachine, std::string(kClassKey) + "\\InprocServer32")
            .SetString("", OwnPath());
        return 0;
    } catch (...) {
        return static_cast<long>(static_cast<std::int32_t>(0x80004005u));
    }
#endif
}
