#include "machine_fixture.h"

#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace korvane::installer::test {

std::vector<std::uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

std::vector<std::uint8_t> ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

fs::path TestModule(const std::string& name) { return fs::path(INSTALLER_TEST_MODULES) / name; }
fs::path PayloadModule(const std::string& name) { return fs::path(INSTALLER_PAYLOAD_DIR) / name; }

void AppendTrailer(std::vector<std::uint8_t>& image, std::uint64_t blobSize) {
    for (int i = 0; i < 8; ++i) image.push_back(static_cast<std::uint8_t>(blobSize >> (8 * i)));
    image.insert(image.end(), std::begin(platform::kResourceTrailerMagic), std::end(platform::kResourceTrailerMagic));
}

Payload& Payload::Add(std::string name, std::vector<std::uint8_t> data, std::string type) {
    resources_.push_back({std::move(type), std::move(name), std::move(data)});
    return *this;
}

Payload& Payload::String(std::uint32_t id, std::string text) {
    strings_[id] = std::move(text);
    return *this;
}

Payload& Payload::File(std::string_view kind, int n, std::string name, std::string folder, std::vector<std::uint8_t> data) {
    static const std::map<std::string_view, std::pair<std::uint32_t, std::uint32_t>> kNameAndFolderIds = {
        {"APPFILE", {40000, 47000}}, {"SYSFILE", {41000, 44000}},
        {"SELFREGSYS", {42000, 45000}}, {"SELFREG_CUSTOM", {43000, 46000}}};
    const auto [nameId, folderId] = kNameAndFolderIds.at(kind);
    const auto index = static_cast<std::uint32_t>(n - 1);
    Add("IDT_" + std::string(kind) + "_" + std::to_string(n), std::move(data));
    return String(nameId + index, std::move(name)).String(folderId + index, std::move(folder));
}

const platform::ResourceImage& Payload::Image() {
    if (!image_) {
        bytes_ = Bytes("#!fake program image\n");
        const auto blob = platform::EncodeResourceBlob(resources_, strings_);
        bytes_.insert(bytes_.end(), blob.begin(), blob.end());
        AppendTrailer(bytes_, blob.size());
        std::string error;
        image_ = platform::ResourceImage::Parse(bytes_, &error);
        if (!image_) throw std::runtime_error("test payload does not parse: " + error);
    }
    return *image_;
}

void MachineTest::SetUp() {
    rootEnv_.emplace("KORVANE_ROOT", rootDir.Path().c_str());
    root.emplace(rootDir.Path());
    files = std::make_shared<platform::MachineFiles>(*root);
    registry = platform::RegistryStore::Open(root->RegistryFile());
    shell = std::make_shared<platform::RecordingShell>();
    previousShell_ = platform::SetShellHandler(shell);
}

// The members go in reverse order: the installer before its context and log, all of them
// before the registry and the machine folder.
void MachineTest::TearDown() { platform::SetShellHandler(previousShell_); }

void MachineTest::SeedWindowsMachine() {
    using platform::RootKey;
    const std::string current = kCurrentVersionKey;
    auto key = registry->CreateKey(RootKey::LocalMachine, current);
    key.SetString("ProgramFilesDir", "C:\\Program Files");
    key.SetString("CommonFilesDir", "C:\\Program Files\\Common Files");
    for (const char* sub : {"\\Uninstall", "\\App Paths", "\\SharedDLLs"}) registry->CreateKey(RootKey::LocalMachine, current + sub);
    registry->CreateKey(RootKey::LocalMachine, "Software\\Classes\\CLSID");
    registry->CreateKey(RootKey::Users, kShellFoldersKey).SetString("Programs", "C:\\WINDOWS\\Start Menu\\Programs");
    fs::create_directories(root->DriveC() / "Program Files/Common Files");
    fs::create_directories(root->DriveC() / "WINDOWS/Start Menu/Programs");
}

fs::path MachineTest::Host(std::string_view windowsPath) const {
    const auto host = root->ToHost(windowsPath);
    if (!host) throw std::runtime_error("not a machine path: " + std::string(windowsPath));
    return *host;
}

void MachineTest::WriteFile(std::string_view windowsPath, const std::vector<std::uint8_t>& bytes) const {
    const fs::path host = Host(windowsPath);
    fs::create_directories(host.parent_path());
    std::ofstream out(host, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + host.string());
}

std::string MachineTest::ReadText(std::string_view windowsPath) const {
    const auto bytes = ReadBytes(Host(windowsPath));
    return {bytes.begin(), bytes.end()};
}

Installer& MachineTest::MakeInstaller(Payload& payload) {
    installer.reset();
    log = std::make_unique<InstallLog>();
    context = std::make_unique<InstallContext>();
    installer = std::make_unique<Installer>(*context, *log, files, registry, payload.Image());
    installer->DiscoverFolders();
    return *installer;
}

}  // namespace korvane::installer::test
