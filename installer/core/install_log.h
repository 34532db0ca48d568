#pragma once
// The install log: every registry key, folder and file the installation created, saved as
// "_install.log" for the uninstaller. One record per line, newest first, each ended by
// CR LF; no header, no count. The uninstaller reads this format, so it binds byte for byte.
//
// Thread contract: one thread (the wizard's).
#include <cstdint>
#include <string>
#include <string_view>

#include "regions/chained_list.h"

namespace korvane::platform {
class MachineFiles;
}

namespace korvane::installer {

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
