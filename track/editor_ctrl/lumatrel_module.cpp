// The Lumatrel.ocx module: class factory and self-registration of the waveform editor
// control. Only the three extern "C" entry points are visible outside the module.
#include "platform/registry/registry.h"
#include "track/editor_ctrl/sample_editor.h"
#include "track/editor_ctrl/sample_editor_widget.h"

#include <dlfcn.h>

#include <cctype>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

#define LUMATREL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr long kSOk = 0;
constexpr long kEFail = static_cast<long>(0x80004005L);
constexpr char kClassesKey[] = "Software\\Classes";

bool SameClassId(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    }
    return true;
}

// The absolute path of this module as the loader mapped it.
std::filesystem::path ModulePath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ModulePath), &info) == 0 || info.dli_fname == nullptr) return {};
    std::error_code ec;
    auto path = std::filesystem::canonical(info.dli_fname, ec);
    return ec ? std::filesystem::absolute(info.dli_fname) : path;
}

std::string ClassKey() { return std::string(kClassesKey) + "\\CLSID\\" + korvane::editor::kSampleEditorClassId; }
std::string ProgIdKey() { return std::string(kClassesKey) + "\\" + korvane::editor::kSampleEditorProgId; }

}  // namespace

// Records HKLM\Software\Classes\CLSID\{class id} (default "SampleEditorCtrl Control",
// subkeys InprocServer32 = module path with ThreadingModel "Apartment", ProgID) and
// HKLM\Software\Classes\<prog id>\CLSID in the machine registry.
LUMATREL_EXPORT long DllRegisterServer() {
    try {
        using korvane::platform::RootKey;
        const std::filesystem::path self = ModulePath();
        if (self.empty()) return kEFail;
        auto store = korvane::platform::RegistryStore::OpenMachine();
        store->CreateKey(RootKey::LocalMachine, ClassKey()).SetString("", "SampleEditorCtrl Control");
        auto server = store->CreateKey(RootKey::LocalMachine, ClassKey() + "\\InprocServer32");
        server.SetString("", self.string());
        server.SetString("ThreadingModel", "Apartment");
        store->CreateKey(RootKey::LocalMachine, ClassKey() + "\\ProgID").SetString("", korvane::editor::kSampleEditorProgId);
        store->CreateKey(RootKey::LocalMachine, ProgIdKey() + "\\CLSID").SetString("", korvane::editor::kSampleEditorClassId);
        return kSOk;
    } catch (const std::exception&) {
        return kEFail;
    }
}

// Removes both keys; succeeds also when they were not there.
LUMATREL_EXPORT long DllUnregisterServer() {
    try {
        using korvane::platform::RootKey;
        auto store = korvane::platform::RegistryStore::OpenMachine();
        store->DeleteKey(RootKey::LocalMachine, ClassKey());
        store->DeleteKey(RootKey::LocalMachine, ProgIdKey());
        return kSOk;
    } catch (const std::exception&) {
        return kEFail;
    }
}

LUMATREL_EXPORT korvane::editor::ISampleEditor* LumatrelCreateControl(const char* classId, QWidget* parent) {
    if (classId == nullptr || !SameClassId(classId, korvane::editor::kSampleEditorClassId)) return nullptr;
    try {
        return new korvane::editor::SampleEditorWidget(parent);  // owned by `parent`
    } catch (const std::exception&) {
        return nullptr;
    }
}
