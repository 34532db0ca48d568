// The payload catalogue: the four numbered kinds, the plain placement, registration of
// self-registering modules, the uninstaller and the install sequence.
#include <cstdio>

#include "installer/core/installer.h"
#include "platform/machine/files.h"
#include "platform/modules/modules.h"
#include "platform/resources/resources.h"

namespace korvane::installer {

std::string ProgressText(int counter) {
    std::string text;
    for (int i = 0; i < counter && text.size() + 5 < 1024; ++i) text += "|||||";
    return text;
}

template <typename Place>
void Installer::ForEachPayload(const PayloadKind& kind, ProgressLine& progress, int& counter, Place place) {
    std::uint32_t nameId = kind.nameBase;
    std::uint32_t folderId = kind.folderBase;
    for (int n = 1; n <= kMaxFilesPerKind; ++n) {
        char resourceName[64];
        std::snprintf(resourceName, sizeof resourceName, "%s%d", kind.prefix, n);
        const auto resource = payload_.FindResource(resourceName, kPayloadType);
        if (!resource) continue;  // a gap consumes no string entries
        const auto data = platform::ResourceImage::LoadResource(*resource);
        const std::string folderEntry = LoadString(folderId++);
        const std::string name = LoadString(nameId++);
        const std::string folder = ExpandDirToken(folderEntry);
        CreateDirectoryPath(folder);
        place(data, name, folder);
        ++counter;
        progress.SetText(ProgressText(counter));
    }
}

int Installer::WritePayloadFile(std::span<const std::uint8_t> data, std::string_view name, std::string_view folder,
                                int component) {
    // Written through a temporary and a rename: a failed write leaves the previous file
    // (or none) instead of a truncated one, and is reported rather than taken as success.
    if (!IsRecordableFileName(name)) {
        ShowError(UnrecordableNameText(name));
        return 0;
    }
    const std::string path = std::string(folder) + "\\" + std::string(name);
    if (!files_->WriteFileAtomically(path, data)) {
        ShowError(kCopyErrorText);
        return 0;
    }
    log_.AddAppFile(folder, name, component);
    return 1;
}

int Installer::RegisterServerFile(std::string_view path) {
    bool registered = false;
    if (const auto host = files_->Host(path)) {
        if (auto module = platform::Module::Load(*host)) {
            using RegisterFn = platform::HRESULT();
            if (auto* registerServer = module->Function<RegisterFn>("DllRegisterServer"))
                registered = registerServer() >= 0;
        }  // the module is unloaded here, whether or not it registered
    }
    if (registered) return 1;
    ShowError("There was an error while trying to install a file\n(" + std::string(path) +
              ").\nThe installation my be incomplete.");
    return 0;
}

int Installer::InstallAppFiles(ProgressLine& progress, int& counter) {
    ForEachPayload(kAppFiles, progress, counter, [&](auto data, const std::string& name, const std::string& folder) {
        WritePayloadFile(data, name, folder, 0);
    });
    return 1;
}

int Installer::InstallSystemFiles(ProgressLine& progress, int& counter) {
    ForEachPayload(kSystemFiles, progress, counter, [&](auto data, const std::string& name, const std::string& folder) {
        PlaceVersionedFile(data, name, folder, 0);
        IncrementSharedDllCount(folder + "\\" + name);
    });
    return 1;
}

int Installer::InstallSelfRegSystemFiles(ProgressLine& progress, int& counter) {
    ForEachPayload(kSelfRegSystemFiles, progress, counter,
                   [&](auto data, const std::string& name, const std::string& folder) {
                       const std::string path = folder + "\\" + name;
                       if (PlaceVersionedFile(data, name, folder, 1) == 1) RegisterServerFile(path);
                       IncrementSharedDllCount(path);
                   });
    return 1;
}

int Installer::InstallSelfRegCustomFiles(ProgressLine& progress, int& counter) {
    ForEachPayload(kSelfRegCustomFiles, progress, counter,
                   [&](auto data, const std::string& name, const std::string& folder) {
                       const std::string path = folder + "\\" + name;
                       if (WritePayloadFile(data, name, folder, 1) == 1) {
                           RegisterServerFile(path);
                           IncrementSharedDllCount(path);
                       }
                   });
    return 1;
}

int Installer::WriteUninstaller() {
    const auto resource = payload_.FindResource("IDT_APPFILE_UNINST", kPayloadType);
    if (!resource ||
        !files_->WriteFileAtomically(context_.windowsDir + "\\VMUnInst.exe", platform::ResourceImage::LoadResource(*resource))) {
        ShowError(kCopyErrorText);
        return 0;
    }
    return 1;
}

int Installer::RunInstallation(ProgressLine& progress) {
    progress.SetText("");
    previous_ = ReadPreviousInstallation();
    RegisterUninstallEntry();
    CreateProductKey();
    RegisterAppPath();
    CreateDirectoryPath(context_.appDir);
    CreateDirectoryPath(context_.sharedDir);
    int counter = 0;
    InstallAppFiles(progress, counter);
    counter = 15;
    InstallSystemFiles(progress, counter);
    counter = 30;
    InstallSelfRegSystemFiles(progress, counter);
    counter = 45;
    InstallSelfRegCustomFiles(progress, counter);
    CreateProgramShortcut();
    log_.AddAppFile(context_.appDir, "_install.log", 0);
    // A reinstall overwrites the earlier log: what the earlier installation created and
    // this one did not make again is carried over, so the uninstaller removes both.
    KeepPreviousRecords();
    if (!log_.SaveLog(*files_, context_.appDir + "\\_install.log")) RestoreUninstallEntry();
    WriteUninstaller();
    OpenReadMe();
    return 1;
}

}  // namespace korvane::installer
