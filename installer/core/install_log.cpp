#include "installer/core/install_log.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <span>

#include "installer/core/install_context.h"
#include "platform/machine/files.h"

namespace korvane::installer {
namespace {

constexpr std::string_view kComponent = ",COMPONENT";

bool SplitFile(std::string_view fields, LogRecord* record) {
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

std::optional<LogRecord> ParseRecord(std::string_view line) {
    LogRecord record{};
    if (line.starts_with("NEWKEY ")) {
        const std::string_view fields = line.substr(7);
        const auto comma = fields.find(',');
        record.kind = LogRecord::Kind::kNewKey;
        if (comma == std::string_view::npos || comma == 0 || comma + 1 == fields.size()) return std::nullopt;
        record.root = fields.substr(0, comma);
        record.path = fields.substr(comma + 1);
        if (record.root != "HKEY_LOCAL_MACHINE") return std::nullopt;
        return record;
    }
    if (line.starts_with("NEWDIR ")) {
        record.kind = LogRecord::Kind::kNewDir;
        record.path = line.substr(7);
        if (record.path.empty()) return std::nullopt;
        return record;
    }
    if (line.starts_with("INSTAPPFILE ") || line.starts_with("INSTSYSFILE ")) {
        record.kind = line[4] == 'A' ? LogRecord::Kind::kAppFile : LogRecord::Kind::kSysFile;
        if (!SplitFile(line.substr(12), &record)) return std::nullopt;
        return record;
    }
    return std::nullopt;
}

}  // namespace

std::string FormatLogRecord(const LogRecord& record) {
    switch (record.kind) {
        case LogRecord::Kind::kNewKey: return "NEWKEY " + record.root + "," + record.path;
        case LogRecord::Kind::kNewDir: return "NEWDIR " + record.path;
        case LogRecord::Kind::kAppFile:
        case LogRecord::Kind::kSysFile: break;
    }
    std::string line = record.kind == LogRecord::Kind::kAppFile ? "INSTAPPFILE " : "INSTSYSFILE ";
    line += record.path;
    line += ',';
    line += record.name;
    if (record.component) line += kComponent;
    return line;
}

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
        if (auto record = ParseRecord(line)) log.records.push_back(std::move(*record));
        else log.rejected.push_back("line " + std::to_string(number) + ": " + std::string(line));
    }
    return log;
}

bool IsRecordableFileName(std::string_view name) noexcept {
    return !name.empty() && name != kComponent.substr(1) && name.find_first_of(",\r\n") == std::string_view::npos;
}

InstallLog::~InstallLog() = default;

void InstallLog::Add(std::string record) { records_.Append(std::make_unique<std::string>(std::move(record))); }

void InstallLog::AddNewKey(std::string_view root, std::string_view subkey) {
    Add(FormatLogRecord({LogRecord::Kind::kNewKey, std::string(root), std::string(subkey), {}, false}));
}

void InstallLog::AddNewDir(std::string_view folder) {
    Add(FormatLogRecord({LogRecord::Kind::kNewDir, {}, std::string(folder), {}, false}));
}

void InstallLog::AddAppFile(std::string_view folder, std::string_view name, int component) {
    Add(FormatLogRecord({LogRecord::Kind::kAppFile, {}, std::string(folder), std::string(name), component == 1}));
}

void InstallLog::AddSysFile(std::string_view folder, std::string_view name, int component) {
    Add(FormatLogRecord({LogRecord::Kind::kSysFile, {}, std::string(folder), std::string(name), component == 1}));
}

void InstallLog::KeepEarlier(const ParsedLog& earlier, const std::function<bool(const LogRecord&)>& stillThere) {
    std::vector<std::string> own;
    for (int i = 0; i < records_.Count(); ++i) own.push_back(records_.At(i));
    std::vector<std::string> kept;
    // The earlier log is newest first; recording order is the reverse.
    for (auto it = earlier.records.rbegin(); it != earlier.records.rend(); ++it) {
        std::string line = FormatLogRecord(*it);
        if (std::find(own.begin(), own.end(), line) != own.end()) continue;
        if (std::find(kept.begin(), kept.end(), line) != kept.end()) continue;
        if (stillThere(*it)) kept.push_back(std::move(line));
    }
    if (kept.empty()) return;
    records_.Clear();
    for (auto& line : kept) Add(std::move(line));
    for (auto& line : own) Add(std::move(line));
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
