#pragma once
// The install log: every registry key, folder and file the installation created, saved as
// "_install.log" for the uninstaller. One record per line, newest first, each ended by
// CR LF; no header, no count. The uninstaller reads this format, so it binds byte for byte.
//
// Thread contract: one thread (the wizard's).
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "regions/chained_list.h"

namespace korvane::platform {
class MachineFiles;
}

namespace korvane::installer {

// One record of the log, as the uninstaller reads it.
struct LogRecord {
    enum class Kind { kNewKey, kNewDir, kAppFile, kSysFile };
    Kind kind;
    std::string root;    // kNewKey: "HKEY_LOCAL_MACHINE"
    std::string path;    // kNewKey: subkey; kNewDir: folder; files: folder
    std::string name;    // files: file name
    bool component = false;

    bool operator==(const LogRecord&) const = default;
};

struct ParsedLog {
    std::vector<LogRecord> records;     // in file order (newest first)
    std::vector<std::string> rejected;  // "line N: text" of lines that are no record
};

// Pure: the line of a record, without its line end ("INSTAPPFILE C:\A,b.txt,COMPONENT").
std::string FormatLogRecord(const LogRecord& record);

// Pure: the records of a log text (CR LF or LF lines). A file record splits at the last
// comma (after removing a trailing ",COMPONENT"), so folders may hold commas; a key record
// splits at the first comma (the root has none). Every record that FormatLogRecord makes
// from a recordable file name parses back to itself.
ParsedLog ParseInstallLog(std::string_view text);

// Pure: whether a file record with this name reads back as written: not empty, no comma,
// not "COMPONENT", no line end. The installer refuses to place files it cannot record.
bool IsRecordableFileName(std::string_view name) noexcept;

class InstallLog {
public:
    InstallLog() = default;
    InstallLog(const InstallLog&) = delete;
    InstallLog& operator=(const InstallLog&) = delete;
    virtual ~InstallLog();

    void AddNewKey(std::string_view root, std::string_view subkey);              // "NEWKEY root,subkey"
    void AddNewDir(std::string_view folder);                                      // "NEWDIR folder"
    void AddAppFile(std::string_view folder, std::string_view name, int component);  // "INSTAPPFILE f,n[,COMPONENT]"
    void AddSysFile(std::string_view folder, std::string_view name, int component);  // "INSTSYSFILE f,n[,COMPONENT]"

    // Puts the records of an earlier installation that this one did not make again before
    // this installation's own, as if recorded first, so one log names everything both
    // created. `stillThere` decides which earlier records still apply.
    void KeepEarlier(const ParsedLog& earlier, const std::function<bool(const LogRecord&)>& stillThere);

    int Count() const noexcept { return records_.Count(); }
    const std::string& At(int index) const { return records_.At(index); }

    // Pure: the file content SaveLog writes (records newest first, each + CR LF).
    std::string Text() const;
    // Writes Text() to `path` (a Windows path) through a temporary and a rename. On
    // failure ShowError("Could not write File.") and false; the file is then untouched.
    bool SaveLog(const platform::MachineFiles& files, std::string_view path) const;

private:
    void Add(std::string record);
    ChainedList<std::string> records_;
};

}  // namespace korvane::installer
