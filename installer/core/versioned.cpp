// Versioned placement of shared system files and their replacement at the next restart.
#include <cstring>
#include <system_error>
#include <vector>

#include "installer/core/installer.h"
#include "platform/machine/files.h"
#include "platform/machine/wininit.h"

namespace fs = std::filesystem;

namespace korvane::installer {

bool IsNewerProductVersion(const platform::VsFixedFileInfo& staged, const platform::VsFixedFileInfo& existing) noexcept {
    if (staged.dwProductVersionMS != existing.dwProductVersionMS)
        return staged.dwProductVersionMS > existing.dwProductVersionMS;
    return staged.dwProductVersionLS > existing.dwProductVersionLS;
}

std::string AddRenameLines(std::string_view control, std::string_view shortTarget, std::string_view shortPending) {
    const std::string lines =
        "NUL=" + std::string(shortTarget) + "\r\n" + std::string(shortTarget) + "=" + std::string(shortPending) + "\r\n";
    std::string out;
    bool inserted = false;
    std::size_t pos = 0;
    while (pos < control.size()) {
        const auto nl = control.find('\n', pos);
        std::string_view line = control.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
        pos = nl == std::string_view::npos ? control.size() : nl + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        out += line;
        out += "\r\n";  // a last line without its line end gets one, so nothing is glued to it
        if (!inserted && platform::IsRenameSectionHeader(line)) {
            out += lines;
            inserted = true;
        }
    }
    if (!inserted) out += "[Rename]\r\n" + lines;
    return out;
}

bool Installer::ReadFixedFileInfo(std::string_view path, platform::VsFixedFileInfo* info) const {
    *info = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};  // the cleared 52-byte record
    const auto host = files_->Host(path);
    if (!host) return false;
    const std::uint32_t size = platform::GetFileVersionInfoSize(*host);
    if (size == 0) return false;
    std::vector<std::uint8_t> block(size);
    if (!platform::GetFileVersionInfo(*host, block)) return false;
    std::span<const std::uint8_t> fixed;
    if (!platform::VerQueryValue(block, "\\", &fixed) || fixed.size() != sizeof *info) return false;
    std::memcpy(info, fixed.data(), sizeof *info);
    return true;
}

int Installer::PlaceVersionedFile(std::span<const std::uint8_t> data, std::string_view name, std::string_view folder,
                                  int component) {
    const std::string staged = context_.stagingDir + "\\" + std::string(name);
    if (!IsRecordableFileName(name)) {
        ShowError(UnrecordableNameText(name));
        return 0;
    }
    if (context_.stagingDir.empty() || !files_->WriteFileAtomically(staged, data)) {
        ShowError(kStageErrorText);
        return 0;
    }
    const std::string target = std::string(folder) + "\\" + std::string(name);
    const bool existed = files_->Exists(target);
    bool replaceNow = true;
    if (existed) {
        platform::VsFixedFileInfo present{}, delivered{};
        if (ReadFixedFileInfo(target, &present) && ReadFixedFileInfo(staged, &delivered) &&
            !IsNewerProductVersion(delivered, present)) {
            files_->DeleteFile(staged);
            return 0;  // the file in place is as new or newer: it stays
        }
        replaceNow = files_->DeleteFile(target);  // fails while the file is in use
    }
    if (replaceNow) {
        if (!existed) log_.AddSysFile(folder, name, component);
        if (files_->MoveFile(staged, target)) return 1;
    }

    // Replacement at the next restart.
    context_.rebootNeeded = 1;
    const std::string pending = std::string(folder) + "\\" + std::string(name) + ".precpy";
    if (!files_->MoveFile(staged, pending)) return 0;  // e.g. a pending copy left from an earlier run
    ScheduleReplaceOnRestart(target, pending);
    return 0;
}

bool Installer::ScheduleReplaceOnRestart(std::string_view targetPath, std::string_view pendingPath) {
    const auto shortTarget = files_->Root().ShortPathName(targetPath);
    const auto shortPending = files_->Root().ShortPathName(pendingPath);
    if (!shortTarget || !shortPending || shortTarget->size() > 255 || shortPending->size() > 255) return false;

    const std::string controlPath = context_.windowsDir + "\\wininit.ini";
    std::string control;
    if (files_->Exists(controlPath)) {
        const auto in = files_->Open(controlPath, "rb");
        if (!in) return false;
        char buffer[4096];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0) control.append(buffer, n);
        if (std::ferror(in.get())) return false;
    }
    const std::string text = AddRenameLines(control, *shortTarget, *shortPending);

    // The new file is written completely beside the old one's replacement and renamed over
    // it in one step: the restart file is never missing or half written.
    const std::string tempPath = context_.stagingDir + "\\nwii.tmp";
    const auto hostTemp = files_->Host(tempPath);
    const auto hostControl = files_->Host(controlPath);
    if (!hostTemp || !hostControl) return false;
    {
        const auto out = files_->Open(tempPath, "wb");
        if (!out) return false;
        const bool written = std::fwrite(text.data(), 1, text.size(), out.get()) == text.size() &&
                             std::fflush(out.get()) == 0;
        if (!written) {
            std::error_code ec;
            fs::remove(*hostTemp, ec);
            return false;
        }
    }
    std::error_code ec;
    fs::rename(*hostTemp, *hostControl, ec);
    if (ec) {
        fs::remove(*hostTemp, ec);
        return false;
    }
    return true;
}

}  // namespace korvane::installer
