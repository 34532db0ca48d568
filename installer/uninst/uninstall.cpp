#include "installer/uninst/uninstall.h"

#include "platform/machine/files.h"
#include "platform/modules/modules.h"
#include "platform/paths/paths.h"
#include "platform/registry/registry.h"

namespace korvane::installer {

using platform::RootKey;

namespace {

constexpr std::string_view kSharedDlls = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr std::string_view kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

bool SplitFile(std::string_view fields, LogRecord* record) {
    constexpr std::string_view kComponent = ",COMPONENT";
    if (fields.ends_with(kComponent)) {
        record->component = true;
        fields.remove_suffix(kComponent.size());
    }
    const auto comma = fields.rfind(',');
    if (comma == std::string_view::npos || comma == 0 || comma + 1 == fields.size()) return false;
    record->path = fields.substr(0, comma);
    record->name = fields.substr(comma + 1);
    return true;
}

}  // namespace

ParsedLog ParseInstallLog(std::string_view text) {
    ParsedLog log;
    std::size_t pos = 0;
    int number = 0;
    while (pos < text.size()) {
        const auto nl = text.find('\n', pos);
        std::string_view line = text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
        pos = nl == std::string_view::npos ? text.size() : nl + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        LogRecord record{};
        bool ok = false;
        if (line.starts_with("NEWKEY ")) {
            const std::string_view fields = line.substr(7);
            const auto comma = fields.find(',');
            record.kind = LogRecord::Kind::kNewKey;
            if (comma != std::string_view::npos && comma > 0 && comma + 1 < fields.size()) {
                record.root = fields.substr(0, comma);
                record.path = fields.substr(comma + 1);
                ok = record.root == "HKEY_LOCAL_MACHINE";
            }
        } else if (line.starts_with("NEWDIR ")) {
            record.kind = LogRecord::Kind::kNewDir;
            record.path = line.substr(7);
            ok = !record.path.empty();
        } else if (line.starts_with("INSTAPPFILE ")) {
            record.kind = LogRecord::Kind::kAppFile;
            ok = SplitFile(line.substr(12), &record);
        } else if (line.starts_with("INSTSYSFILE ")) {
            record.kind = LogRecord::Kind::kSysFile;
            ok = SplitFile(line.substr(12), &record);
        }
        if (ok) log.records.push_back(std::move(record));
        else log.rejected.push_back("line " + std::to_string(number) + ": " + std::string(line));
    }
    return log;
}

UninstallReport Uninstall(const ParsedLog& log, const platform::MachineFiles& files,
                          const std::shared_ptr<platform::RegistryStore>& registry, std::string_view uninstallerPath) {
    UninstallReport report;
    std::optional<platform::RegKey> shared;
    try {
        shared = registry->OpenKey(RootKey::LocalMachine, kSharedDlls);
    } catch (const platform::RegistryError& e) {
        report.errors.push_back(std::string("registry: ") + e.what());
    }

    // Files.
    for (const auto& record : log.records) {
        if (record.kind != LogRecord::Kind::kAppFile && record.kind != LogRecord::Kind::kSysFile) continue;
        const std::string path = record.path + "\\" + record.name;
        try {
            if (shared) {
                if (const auto count = shared->QueryDword(path)) {
                    if (*count > 1) {
                        shared->SetDword(path, *count - 1);
                        report.kept.push_back(path + " (still used by " + std::to_string(*count - 1) + ")");
                        continue;
                    }
                    shared->DeleteValue(path);
                } else if (shared->Query(path)) {
                    // A count of another type stands for 1000 uses: the file stays.
                    report.kept.push_back(path + " (shared use count is not a number)");
                    continue;
                }
            }
        } catch (const platform::RegistryError& e) {
            report.errors.push_back(path + ": " + e.what());
            continue;
        }
        if (!files.Exists(path)) {
            report.kept.push_back(path + " (already gone)");
            continue;
        }
        if (record.component) {
            const auto host = files.Host(path);
            auto module = host ? platform::Module::Load(*host) : std::nullopt;
            using UnregisterFn = long();
            auto* unregister = module ? module->Function<UnregisterFn>("DllUnregisterServer") : nullptr;
            if (unregister == nullptr || unregister() < 0) report.errors.push_back(path + ": could not unregister");
        }
        if (files.DeleteFile(path)) report.removed.push_back(path);
        else report.errors.push_back(path + ": could not delete (in use?)");
    }

    // Folders, innermost first (the log is newest first).
    for (const auto& record : log.records) {
        if (record.kind != LogRecord::Kind::kNewDir) continue;
        if (!files.IsDirectory(record.path)) continue;
        if (files.RemoveDirectory(record.path)) report.removed.push_back(record.path);
        else report.kept.push_back(record.path + " (not empty)");
    }

    // Keys, inner keys first; a key that still has subkeys belongs to someone else too.
    for (const auto& record : log.records) {
        if (record.kind != LogRecord::Kind::kNewKey) continue;
        try {
            const auto key = registry->OpenKey(RootKey::LocalMachine, record.path);
            if (!key) continue;
            if (!key->Subkeys().empty()) {
                report.kept.push_back("HKEY_LOCAL_MACHINE\\" + record.path + " (has subkeys)");
                continue;
            }
            registry->DeleteKey(RootKey::LocalMachine, record.path);
            report.removed.push_back("HKEY_LOCAL_MACHINE\\" + record.path);
        } catch (const platform::RegistryError& e) {
            report.errors.push_back("HKEY_LOCAL_MACHINE\\" + record.path + ": " + e.what());
        }
    }

    // The uninstaller itself, once no uninstall entry starts it any more.
    if (!uninstallerPath.empty() && files.Exists(uninstallerPath)) {
        bool stillUsed = false;
        try {
            if (const auto entries = registry->OpenKey(RootKey::LocalMachine, kUninstallKey)) {
                for (const auto& product : entries->Subkeys()) {
                    const auto command =
                        platform::RegKey(registry, RootKey::LocalMachine, std::string(kUninstallKey) + "\\" + product)
                            .QueryString("UninstallString");
                    if (command && command->size() >= uninstallerPath.size() &&
                        platform::EqualsIgnoreCase(std::string_view(*command).substr(0, uninstallerPath.size()),
                                                   uninstallerPath))
                        stillUsed = true;
                }
            }
        } catch (const platform::RegistryError&) {
            stillUsed = true;  // cannot tell: keep it
        }
        if (stillUsed) report.kept.push_back(std::string(uninstallerPath) + " (used by another product)");
        else if (files.DeleteFile(uninstallerPath)) report.removed.push_back(std::string(uninstallerPath));
        else report.errors.push_back(std::string(uninstallerPath) + ": could not delete");
    }
    return report;
}

}  // namespace korvane::installer
