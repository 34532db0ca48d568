#include "installer/core/install_log.h"

#include <memory>
#include <span>

#include "installer/core/install_context.h"
#include "platform/machine/files.h"

namespace korvane::installer {

InstallLog::~InstallLog() = default;

void InstallLog::Add(std::string record) { records_.Append(std::make_unique<std::string>(std::move(record))); }

void InstallLog::AddNewKey(std::string_view root, std::string_view subkey) {
    Add("NEWKEY " + std::string(root) + "," + std::string(subkey));
}

void InstallLog::AddNewDir(std::string_view folder) { Add("NEWDIR " + std::string(folder)); }

void InstallLog::AddAppFile(std::string_view folder, std::string_view name, int component) {
    Add("INSTAPPFILE " + std::string(folder) + "," + std::string(name) + (component == 1 ? ",COMPONENT" : ""));
}

void InstallLog::AddSysFile(std::string_view folder, std::string_view name, int component) {
    Add("INSTSYSFILE " + std::string(folder) + "," + std::string(name) + (component == 1 ? ",COMPONENT" : ""));
}

std::string InstallLog::Text() const {
    std::string text;
    for (int i = records_.Count() - 1; i >= 0; --i) {
        text += records_.At(i);
        text += "\r\n";
    }
    return text;
}

bool InstallLog::SaveLog(const platform::MachineFiles& files, std::string_view path) const {
    const std::string text = Text();
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    if (!files.WriteFileAtomically(path, bytes)) {
        ShowError("Could not write File.");
        return false;
    }
    return true;
}

}  // namespace korvane::installer
