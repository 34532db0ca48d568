// Folder discovery, registry entries, shared-use counts, the Start-menu shortcut and the
// read-me.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "installer/core/installer.h"
#include "platform/machine/files.h"
#include "platform/resources/resources.h"

namespace korvane::installer {

using platform::RegistryError;
using platform::RootKey;

namespace {

// A registry value read "as a string whatever its type" into a 256-byte buffer: its bytes
// up to the first NUL, at most 255 of them.
std::optional<std::string> ValueAsText(const std::optional<platform::RegKey>& key, std::string_view name) {
    if (!key) return std::nullopt;
    const auto value = key->Query(name);
    if (!value) return std::nullopt;
    std::string text(value->data.begin(), value->data.end());
    text = text.substr(0, text.find('\0'));
    if (text.size() > 255) text.resize(255);
    return text;
}

}  // namespace

Installer::Installer(InstallContext& context, InstallLog& log, std::shared_ptr<const platform::MachineFiles> files,
                     std::shared_ptr<platform::RegistryStore> registry, const platform::ResourceImage& payload)
    : context_(context), log_(log), files_(std::move(files)), registry_(std::move(registry)), payload_(payload) {}

std::string Installer::LoadString(std::uint32_t id) const {
    char buffer[2048];
    payload_.LoadString(id, buffer, sizeof buffer);
    return buffer;
}

bool Installer::CreateDirectoryPath(std::string_view path) {
    const auto ensure = [&](std::string_view folder) {
        if (files_->Exists(folder)) return true;  // a file of that name counts as existing
        if (!files_->CreateDirectory(folder)) return false;
        log_.AddNewDir(folder);
        return true;
    };
    auto p = path.size() > 4 ? path.find('\\', 4) : std::string_view::npos;
    while (p != std::string_view::npos) {
        if (!ensure(path.substr(0, p))) return false;
        if (p + 2 > path.size()) break;
        p = path.find('\\', p + 2);
    }
    return ensure(path);
}

void Installer::DiscoverFolders() {
    if (context_.initialised) return;
    context_.productName = LoadString(kProductNameId);
    context_.exeName = LoadString(kExeNameId);
    context_.windowsDir = std::string(platform::MachineRoot::kWindowsDir);
    context_.systemDir = std::string(platform::MachineRoot::kSystemDir);

    std::optional<platform::RegKey> current, shellFolders;
    try {
        current = registry_->OpenKey(RootKey::LocalMachine, kCurrentVersionKey);
        context_.programFilesDir = ValueAsText(current, "ProgramFilesDir").value_or("c:\\Program Files");
        context_.commonFilesDir = ValueAsText(current, "CommonFilesDir").value_or("c:\\Program Files\\Shared Files");
        shellFolders = registry_->OpenKey(RootKey::Users, kShellFoldersKey);
        context_.programsMenuDir =
            ValueAsText(shellFolders, "Programs").value_or(context_.windowsDir + "\\Start Menu");
    } catch (const RegistryError&) {
        // An unreadable registry counts as missing values: the defaults apply.
        if (context_.programFilesDir.empty()) context_.programFilesDir = "c:\\Program Files";
        if (context_.commonFilesDir.empty()) context_.commonFilesDir = "c:\\Program Files\\Shared Files";
        if (context_.programsMenuDir.empty()) context_.programsMenuDir = context_.windowsDir + "\\Start Menu";
    }

    const auto limit = [](std::string s) {
        if (s.size() > 259) s.resize(259);
        return s;
    };
    context_.appDir = limit(context_.programFilesDir + "\\" + kMakerName + "\\" + context_.productName);
    context_.sharedDir = limit(context_.commonFilesDir + "\\" + kMakerName);

    // Staging folder "_ins<N>": in %TMP% when that names a folder of the machine, else in
    // the Windows folder's Temp, else in the root of the drive.
    std::string parent;
    const char* tmp = std::getenv("TMP");
    if (tmp != nullptr && *tmp != '\0' && files_->IsDirectory(tmp)) parent = tmp;
    else if (files_->IsDirectory(context_.windowsDir + "\\Temp")) parent = context_.windowsDir + "\\Temp";
    else parent = "C:";
    while (!parent.empty() && parent.back() == '\\') parent.pop_back();
    const unsigned start = static_cast<unsigned>(::getpid()) % 100000u;
    std::string staging;
    for (unsigned i = 0; i < 100000u; ++i) {
        const std::string candidate = parent + "\\_ins" + std::to_string((start + i) % 100000u);
        if (!files_->Exists(candidate)) {
            staging = candidate;
            break;
        }
    }
    if (staging.empty() || !files_->CreateDirectory(staging)) {
        // Without a staging folder no system file can be placed; say so now rather than
        // with one "Could not copy file." per file later.
        ShowError("Could not create a temporary folder" + (staging.empty() ? std::string() : " (" + staging + ")") +
                  ".\nSystem files cannot be installed.");
    } else {
        context_.stagingDir = staging;
        context_.machine = files_;
    }
    context_.initialised = 1;
}

bool Installer::OpenOrCreateMachineKey(std::string_view subkey, std::optional<platform::RegKey>* key) {
    try {
        // RegCreateKeyEx also creates the missing keys above the subkey; each key it
        // creates is recorded, outermost first (as folders are), so that an uninstall can
        // remove "Software\Quorvix" as well as "Software\Quorvix\Korvane".
        std::vector<std::string> missing;
        for (auto p = subkey.find('\\'); p != std::string_view::npos; p = subkey.find('\\', p + 1)) {
            const std::string parent(subkey.substr(0, p));
            if (!registry_->KeyExists(RootKey::LocalMachine, parent)) missing.push_back(parent);
        }
        platform::Disposition disposition{};
        *key = registry_->CreateKey(RootKey::LocalMachine, subkey, &disposition);
        for (const auto& parent : missing) log_.AddNewKey("HKEY_LOCAL_MACHINE", parent);
        if (disposition == platform::Disposition::CreatedNewKey) log_.AddNewKey("HKEY_LOCAL_MACHINE", subkey);
        return true;
    } catch (const RegistryError&) {
        ShowError(kRegistryErrorText);
        return false;
    }
}

namespace {
void SetStringOrReport(platform::RegKey& key, std::string_view name, std::string_view value) {
    try {
        key.SetString(name, value);
    } catch (const RegistryError&) {
        ShowError(kRegistryErrorText);
    }
}
}  // namespace

void Installer::RegisterUninstallEntry() {
    std::optional<platform::RegKey> key;
    if (!OpenOrCreateMachineKey(kUninstallKeyBase + context_.productName, &key)) return;
    SetStringOrReport(*key, "DisplayName", context_.productName);
    SetStringOrReport(*key, "UninstallString",
                      context_.windowsDir + "\\VMUninst.exe " + context_.appDir + "\\_install.log");
}

void Installer::CreateProductKey() {
    std::optional<platform::RegKey> key;
    OpenOrCreateMachineKey(std::string("Software\\") + kMakerName + "\\" + context_.productName, &key);
}

void Installer::RegisterAppPath() {
    std::optional<platform::RegKey> key;
    if (!OpenOrCreateMachineKey(kAppPathsKeyBase + context_.exeName, &key)) return;
    SetStringOrReport(*key, "", context_.appDir + "\\" + context_.exeName);
    SetStringOrReport(*key, "Path", context_.appDir);
}

void Installer::IncrementSharedDllCount(std::string_view fullPath) {
    try {
        auto key = registry_->OpenKey(RootKey::LocalMachine, kSharedDllsKey);
        if (!key) return;  // the key is never created
        std::uint32_t count = 1;
        const auto value = key->Query(fullPath);
        // A reinstall of the product counts each file once: its earlier installation
        // already did, and the uninstaller takes one use away.
        if (value && previous_.log) return;
        if (value) {
            const auto stored = value->AsDword();
            if (value->type == platform::ValueType::Dword && stored) {
                // Saturate: a count that wrapped to 0 would let an uninstaller remove a
                // file still in use.
                count = *stored == std::numeric_limits<std::uint32_t>::max() ? *stored : *stored + 1;
            } else {
                count = 1001;  // any other type counts as 1000 uses
            }
        }
        key->SetDword(fullPath, count);
    } catch (const RegistryError&) {
        // Shared-use counting is silent.
    }
}

platform::HRESULT Installer::CreateShellLink(std::string_view linkPath, const ShellLinkSpec& spec) {
    const auto hostLink = files_->Host(linkPath);
    if (!hostLink) return platform::kEInvalidArg;
    platform::ShellLinkData link;
    link.target = spec.targetPath;
    if (spec.flags & ShellLinkSpec::kArguments) link.arguments = spec.arguments;
    if (spec.flags & ShellLinkSpec::kDescription) link.description = spec.description;
    if (spec.flags & ShellLinkSpec::kIcon) {
        link.iconPath = spec.iconPath;
        link.iconIndex = spec.iconIndex;
    }
    if (spec.flags & ShellLinkSpec::kWorkingDirectory) link.workingDirectory = spec.workingDirectory;
    if (spec.flags & ShellLinkSpec::kShowCommand) link.showCommand = spec.showCommand;
    if (spec.flags & ShellLinkSpec::kHotkey) link.hotkey = spec.hotkey;
    const auto hostTarget = files_->Host(link.target);
    const auto hostDir = link.workingDirectory.empty() ? std::nullopt : files_->Host(link.workingDirectory);
    std::string stem = hostLink->stem().string();
    return platform::SaveShellLink(*hostLink, stem, link, hostTarget ? hostTarget->string() : std::string(),
                                   hostDir ? hostDir->string() : std::string());
}

int Installer::CreateProgramShortcut() {
    const std::string target = context_.appDir + "\\" + context_.exeName;
    const std::string folder = context_.programsMenuDir + "\\" + kMakerName;
    CreateDirectoryPath(folder);
    const std::string linkName = context_.productName + ".lnk";
    ShellLinkSpec spec;
    spec.targetPath = target;
    spec.flags = ShellLinkSpec::kWorkingDirectory;
    spec.workingDirectory = context_.appDir;
    CreateShellLink(folder + "\\" + linkName, spec);
    log_.AddAppFile(folder, linkName, 0);
    AddHostMenuEntry();
    return 1;
}

// The shortcut's twin in the host's applications menu, so the program can be started from
// the desktop on this machine root; the uninstaller removes it with the shortcut.
void Installer::AddHostMenuEntry() {
    const auto target = files_->Host(context_.appDir + "\\" + context_.exeName);
    const auto workingDir = files_->Host(context_.appDir);
    if (!target) return;  // the folder check refuses such folders before Finish
    const std::filesystem::path& root = files_->Root().Root();
    const std::string text = platform::FormatMenuEntry(context_.productName, root, target->string(),
                                                       workingDir ? workingDir->string() : std::string());
    if (!platform::AddMenuEntry(platform::MenuEntryFileName(root, context_.productName), text))
        ShowError("Could not add " + context_.productName + " to the applications menu.");
}

void Installer::OpenReadMe() {
    const std::string readMe = context_.appDir + "\\ReadMe.txt";
    if (files_->Exists(readMe)) platform::ShellExecute("open", readMe, "", "", platform::kSwShowNormal);
}

}  // namespace korvane::installer
