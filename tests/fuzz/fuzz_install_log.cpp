// The install log: any text parses without harm, and every record it yields whose names
// can be recorded is written and read back as itself (writer and reader agree).
#include "installer/core/install_log.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvane::installer;
    const auto parsed = ParseInstallLog(std::string_view(reinterpret_cast<const char*>(data), size));
    std::string written;
    std::vector<LogRecord> recordable;
    for (const LogRecord& record : parsed.records) {
        const bool file = record.kind == LogRecord::Kind::kAppFile || record.kind == LogRecord::Kind::kSysFile;
        if (file && !IsRecordableFileName(record.name)) continue;
        recordable.push_back(record);
        written += FormatLogRecord(record) + "\r\n";
    }
    const auto reread = ParseInstallLog(written);
    if (reread.records != recordable || !reread.rejected.empty()) __builtin_trap();
    return 0;
}
