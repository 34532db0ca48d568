// Creating the control by class id: registry lookup, module load, class factory.
#include "platform/modules/modules.h"
#include "platform/registry/registry.h"
#include "track/view/sample_editor_ctrl.h"

#include <optional>

namespace korvane::trackview {
namespace {

std::optional<std::string> RegisteredModulePath(platform::RegistryStore* registry, const char* classId) {
    if (registry == nullptr) return std::nullopt;
    try {
        const std::string path = std::string("Software\\Classes\\CLSID\\") + classId + "\\InprocServer32";
        auto key = registry->OpenKey(platform::RootKey::LocalMachine, path);
        if (!key) return std::nullopt;
        auto value = key->QueryString("");
        if (!value || value->empty()) return std::nullopt;
        return value;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace

std::unique_ptr<CSampleEditorCtrl> CSampleEditorCtrl::Create(platform::RegistryStore* registry, QWidget* parent,
                                                             std::string* error, const char* classId) {
    std::string reason;
    std::optional<platform::Module> module;
    if (auto path = RegisteredModulePath(registry, classId)) {
        module = platform::Module::Load(*path, &reason);
        if (!module) reason = "registered module " + *path + " could not be loaded: " + reason;
    } else {
        reason = std::string("class ") + classId + " is not registered";
    }
    if (!module) {
        // A build tree keeps the module beside the programs.
        std::string local;
        module = platform::Module::LoadByName(editor::kSampleEditorModuleName, platform::ProgramModuleDirs(), &local);
        if (!module) reason += "; " + std::string(editor::kSampleEditorModuleName) + " beside the program: " + local;
    }
    if (!module) {
        if (error != nullptr) *error = reason;
        return nullptr;
    }
    auto* factory = module->Function<LumatrelCreateControlFn>("LumatrelCreateControl");
    if (factory == nullptr) {
        if (error != nullptr) *error = module->Path().string() + " has no control factory";
        return nullptr;
    }
    editor::ISampleEditor* control = factory(classId, parent);
    if (control == nullptr) {
        if (error != nullptr) *error = module->Path().string() + " does not provide class " + classId;
        return nullptr;
    }
    auto shared = std::make_shared<platform::Module>(std::move(*module));
    std::string path = shared->Path().string();
    return std::make_unique<CSampleEditorCtrl>(control, std::shared_ptr<const void>(shared, shared.get()),
                                               std::move(path));
}

}  // namespace korvane::trackview
