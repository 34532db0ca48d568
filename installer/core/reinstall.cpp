// Installing over an earlier installation of the product, and the folder trial before
// anything is installed.
#include <unistd.h>

#include <sstream>

#include "installer/core/installer.h"
#include "platform/machine/files.h"

namespace korvane::installer {

using platform::RegistryError;
using platform::RootKey;

Installer::Previous Installer::ReadPreviousInstallation() const {
    Previous previous;
    try {
        const auto key = registry_->OpenKey(RootKey::LocalMachine, kUninstallKeyBase + context_.productName);
        if (key) previous.uninstallString = key->QueryString("UninstallString");
    } catch (const RegistryError&) {
        return previous;  // the registry step reports it
    }
    if (!previous.uninstallString) return previous;
    // "<uninstaller> <log path>": the log path is the whole rest of the command.
    const auto blank = previous.uninstallString->find(' ');
    if (blank == std::string::npos) return previous;
    const std::string logPath = previous.uninstallString->substr(blank + 1);
    const auto file = files_->Open(logPath, "rb");
    if (!file) return previous;
    std::string text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0;) text.append(buffer, n);
    if (!std::ferror(file.get())) previous.log = ParseInstallLog(text);
    return previous;
}

bool Installer::RecordStillThere(const LogRecord& record) const {
    switch (record.kind) {
        case LogRecord::Kind::kNewKey:
            try {
                return registry_->KeyExists(RootKey::LocalMachine, record.path);
            } catch (const RegistryError&) {
                return true;  // cannot tell: keep the record, the uninstaller will see
            }
        case LogRecord::Kind::kNewDir: return files_->IsDirectory(record.path);
        case LogRecord::Kind::kAppFile:
        case LogRecord::Kind::kSysFile: return files_->Exists(record.path + "\\" + record.name);
    }
    return false;
}

void Installer::KeepPreviousRecords() {
    if (!previous_.log) return;
    log_.KeepEarlier(*previous_.log, [&](const LogRecord& record) { return RecordStillThere(record); });
}

void Installer::RestoreUninstallEntry() {
    if (!previous_.log || !previous_.uninstallString) return;
    try {
        auto key = registry_->OpenKey(RootKey::LocalMachine, kUninstallKeyBase + context_.productName);
        if (key) key->SetString("UninstallString", *previous_.uninstallString);
    } catch (const RegistryError&) {
        ShowError(kRegistryErrorText);
    }
}

bool Installer::CanInstallInto(std::string_view folder) const {
    // The missing folders, outermost first; every existing part must be a folder.
    std::vector<std::string> missing;
    for (std::size_t p = folder.size() > 4 ? folder.find('\\', 4) : std::string_view::npos;;
         p = folder.find('\\', p + 1)) {
        const std::string part(folder.substr(0, p));
        if (!files_->Exists(part)) missing.push_back(part);
        else if (!missing.empty() || !files_->IsDirectory(part)) return false;
        if (p == std::string_view::npos) break;
    }
    std::size_t created = 0;
    bool ok = true;
    for (; created < missing.size() && ok; ++created) ok = files_->CreateDirectory(missing[created]);
    if (!ok) --created;
    if (ok) {
        const std::string probe = std::string(folder) + "\\~kvprobe" + std::to_string(::getpid()) + ".tmp";
        const std::uint8_t byte = 0;
        ok = files_->WriteFileAtomically(probe, std::span(&byte, 1)) && files_->DeleteFile(probe);
    }
    while (created > 0) files_->RemoveDirectory(missing[--created]);
    return ok;
}

}  // namespace korvane::installer
