#include "installer/uninst/uninstall.h"

#include <span>

#include "platform/machine/files.h"
#include "platform/modules/modules.h"
#include "platform/paths/paths.h"
#include "platform/registry/registry.h"
#include "platform/shell/shell.h"

namespace korvane::installer {

using platform::RootKey;

namespace {

constexpr std::string_view kSharedDlls = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr std::string_view kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

bool IsFile(const LogRecord& r) { return r.kind == LogRecord::Kind::kAppFile || r.kind == LogRecord::Kind::kSysFile; }

bool IsUninstallEntry(const LogRecord& r) {
    return r.path.size() > kUninstallKey.size() && r.path[kUninstallKey.size()] == '\\' &&
           platform::EqualsIgnoreCase(std::string_view(r.path).substr(0, kUninstallKey.size()), kUninstallKey);
}

// One run of the uninstaller: what it did and the records still to be done.
class Run {
public:
    Run(const platform::MachineFiles& files, std::shared_ptr<platform::RegistryStore> registry)
        : files_(files), registry_(std::move(registry)) {}

    void RemoveFile(const LogRecord& record, std::optional<platform::RegKey>& shared);
    void RemoveFolder(const LogRecord& record);
    void ReportKeptFolders();
    void RemoveKey(const LogRecord& record);
    void RemoveUninstaller(std::string_view uninstallerPath);
    bool SaveRemaining(std::string_view logPath, const LogRecord* self);

    UninstallReport report;
    std::vector<LogRecord> remaining;  // in log order

private:
    void Failed(const LogRecord& record, std::string error) {
        report.errors.push_back(std::move(error));
        remaining.push_back(record);
    }

    const platform::MachineFiles& files_;
    std::shared_ptr<platform::RegistryStore> registry_;
};

void Run::RemoveFile(const LogRecord& record, std::optional<platform::RegKey>& shared) {
    const std::string path = record.path + "\\" + record.name;
    try {
        if (shared) {
            if (const auto count = shared->QueryDword(path)) {
                if (*count > 1) {
                    shared->SetDword(path, *count - 1);
                    report.kept.push_back(path + " (still used by " + std::to_string(*count - 1) + ")");
                    return;
                }
                shared->DeleteValue(path);
            } else if (shared->Query(path)) {
                // A count of another type stands for 1000 uses: the file stays.
                report.kept.push_back(path + " (shared use count is not a number)");
                return;
            }
        }
    } catch (const platform::RegistryError& e) {
        return Failed(record, path + ": " + e.what());
    }
    if (!files_.Exists(path)) {
        report.kept.push_back(path + " (already gone)");
        return;
    }
    if (record.component) {
        const auto host = files_.Host(path);
        auto module = host ? platform::Module::Load(*host) : std::nullopt;
        using UnregisterFn = long();
        auto* unregister = module ? module->Function<UnregisterFn>("DllUnregisterServer") : nullptr;
        if (unregister == nullptr || unregister() < 0) report.errors.push_back(path + ": could not unregister");
    }
    if (!files_.DeleteFile(path)) return Failed(record, path + ": could not delete (in use?)");
    report.removed.push_back(path);
    // A shortcut has a twin in the host's applications menu.
    constexpr std::string_view kLink = ".lnk";
    if (record.name.size() > kLink.size() &&
        platform::EqualsIgnoreCase(std::string_view(record.name).substr(record.name.size() - kLink.size()), kLink)) {
        const std::string_view stem = std::string_view(record.name).substr(0, record.name.size() - kLink.size());
        if (!platform::RemoveMenuEntry(platform::MenuEntryFileName(files_.Root().Root(), stem)))
            report.errors.push_back(path + ": could not remove its applications menu entry");
    }
}

// A folder that is not empty yet is tried again at the end (it may hold only the log).
void Run::RemoveFolder(const LogRecord& record) {
    if (!files_.IsDirectory(record.path)) return;
    if (files_.RemoveDirectory(record.path)) report.removed.push_back(record.path);
    else remaining.push_back(record);
}

// The folders left over after the last try: they hold files the log does not name.
void Run::ReportKeptFolders() {
    for (const auto& record : remaining)
        if (record.kind == LogRecord::Kind::kNewDir && files_.IsDirectory(record.path))
            report.kept.push_back(record.path + " (not empty)");
}

void Run::RemoveKey(const LogRecord& record) {
    const std::string name = "HKEY_LOCAL_MACHINE\\" + record.path;
    try {
        const auto key = registry_->OpenKey(RootKey::LocalMachine, record.path);
        if (!key) return;
        // A key that still has subkeys belongs to someone else too.
        if (!key->Subkeys().empty()) {
            report.kept.push_back(name + " (has subkeys)");
            return;
        }
        registry_->DeleteKey(RootKey::LocalMachine, record.path);
        report.removed.push_back(name);
    } catch (const platform::RegistryError& e) {
        Failed(record, name + ": " + e.what());
    }
}

void Run::RemoveUninstaller(std::string_view uninstallerPath) {
    if (uninstallerPath.empty() || !files_.Exists(uninstallerPath)) return;
    bool stillUsed = false;
    try {
        if (const auto entries = registry_->OpenKey(RootKey::LocalMachine, kUninstallKey)) {
            for (const auto& product : entries->Subkeys()) {
                const auto command =
                    platform::RegKey(registry_, RootKey::LocalMachine, std::string(kUninstallKey) + "\\" + product)
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
    else if (files_.DeleteFile(uninstallerPath)) report.removed.push_back(std::string(uninstallerPath));
    else report.errors.push_back(std::string(uninstallerPath) + ": could not delete");
}

// The log again, with only what is still to be done (and its own record).
bool Run::SaveRemaining(std::string_view logPath, const LogRecord* self) {
    if (logPath.empty()) return true;
    std::string text;
    if (self != nullptr) text += FormatLogRecord(*self) + "\r\n";
    for (const auto& record : remaining) text += FormatLogRecord(record) + "\r\n";
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    if (files_.WriteFileAtomically(logPath, bytes)) return true;
    report.errors.push_back(std::string(logPath) + ": could not rewrite the log with what is left");
    return false;
}

}  // namespace

UninstallReport Uninstall(const ParsedLog& log, const platform::MachineFiles& files,
                          const std::shared_ptr<platform::RegistryStore>& registry, std::string_view uninstallerPath,
                          std::string_view logPath) {
    Run run(files, registry);
    std::optional<platform::RegKey> shared;
    try {
        shared = registry->OpenKey(RootKey::LocalMachine, kSharedDlls);
    } catch (const platform::RegistryError& e) {
        run.report.errors.push_back(std::string("registry: ") + e.what());
    }
    const auto isLog = [&](const LogRecord& r) {
        return !logPath.empty() && platform::EqualsIgnoreCase(r.path + "\\" + r.name, logPath);
    };
    const LogRecord* self = nullptr;
    for (const auto& record : log.records) {
        if (!IsFile(record)) continue;
        if (isLog(record)) self = &record;
        else run.RemoveFile(record, shared);
    }
    // Folders, innermost first (the log is newest first).
    for (const auto& record : log.records)
        if (record.kind == LogRecord::Kind::kNewDir) run.RemoveFolder(record);

    const bool filesDone = run.report.errors.empty();
    for (const auto& record : log.records) {
        if (record.kind != LogRecord::Kind::kNewKey) continue;
        if (filesDone && !IsUninstallEntry(record)) run.RemoveKey(record);
        else if (!filesDone) run.remaining.push_back(record);
    }
    // The uninstall entry and the log go only when everything else is gone, so a failed
    // run can be repeated from the entry.
    if (!run.report.errors.empty()) {
        if (filesDone)
            for (const auto& record : log.records)
                if (record.kind == LogRecord::Kind::kNewKey && IsUninstallEntry(record)) run.remaining.push_back(record);
        run.ReportKeptFolders();
        run.SaveRemaining(logPath, self);
        return std::move(run.report);
    }
    for (const auto& record : log.records)
        if (record.kind == LogRecord::Kind::kNewKey && IsUninstallEntry(record)) run.RemoveKey(record);
    if (!logPath.empty() && files.Exists(logPath)) {
        if (files.DeleteFile(logPath)) run.report.removed.push_back(std::string(logPath));
        else run.report.errors.push_back(std::string(logPath) + ": could not delete");
    }
    auto folders = std::move(run.remaining);
    run.remaining.clear();
    for (const auto& record : folders) run.RemoveFolder(record);
    run.ReportKeptFolders();
    run.RemoveUninstaller(uninstallerPath);
    return std::move(run.report);
}

}  // namespace korvane::installer
