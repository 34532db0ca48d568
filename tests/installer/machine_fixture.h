#pragma once
// A fresh machine root in a temporary folder for each test, with the message boxes and
// shell calls recorded, and helpers to build payloads and installers over it.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "installer/core/installer.h"
#include "platform/machine/files.h"
#include "platform/registry/registry.h"
#include "platform/resources/resources.h"
#include "platform/shell/shell.h"
#include "platform/ui/ui.h"
#include "tests/support/message_boxes.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace korvane::installer::test {

std::vector<std::uint8_t> Bytes(std::string_view text);
std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& file);
std::filesystem::path TestModule(const std::string& name);   // built test modules
std::filesystem::path PayloadModule(const std::string& name); // the shipped stand-ins
// The trailer that makes `image` end with a resource blob of `blobSize` bytes.
void AppendTrailer(std::vector<std::uint8_t>& image, std::uint64_t blobSize);

// An in-memory installer image: resources + string table behind a fake program.
class Payload {
public:
    Payload& Add(std::string name, std::vector<std::uint8_t> data, std::string type = "INSTFILE");
    Payload& String(std::uint32_t id, std::string text);
    // Payload file `n` of `kind` (APPFILE, SYSFILE, SELFREGSYS, SELFREG_CUSTOM) with its
    // name and folder in the kind's string entries.
    Payload& File(std::string_view kind, int n, std::string name, std::string folder, std::vector<std::uint8_t> data);
    const platform::ResourceImage& Image();  // builds on first use

private:
    std::vector<platform::ResourceEntry> resources_;
    std::map<std::uint32_t, std::string> strings_;
    std::vector<std::uint8_t> bytes_;
    std::optional<platform::ResourceImage> image_;
};

// A progress line that keeps what it was set to.
class RecordingProgress : public ProgressLine {
public:
    void SetText(std::string_view text) override { texts.emplace_back(text); }
    std::vector<std::string> texts;
};

class MachineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The keys and folders of a freshly set-up Windows 9x machine (as korvane-machine init).
    void SeedWindowsMachine();
    std::filesystem::path Host(std::string_view windowsPath) const;
    void WriteFile(std::string_view windowsPath, const std::vector<std::uint8_t>& bytes) const;
    std::string ReadText(std::string_view windowsPath) const;
    bool Exists(std::string_view windowsPath) const { return files->Exists(windowsPath); }

    // The product's name and program in the payload's string table.
    Payload& Names() { return payload.String(50000, "Korvane").String(50001, "Korvane.exe"); }
    // An installer over `payload` with a fresh context and log; DiscoverFolders ran.
    Installer& MakeInstaller(Payload& payload);

    korvane::testing::TempDir rootDir;
    std::optional<platform::MachineRoot> root;
    std::shared_ptr<platform::MachineFiles> files;
    std::shared_ptr<platform::RegistryStore> registry;
    korvane::testing::ScopedMessageBoxes boxes;
    std::shared_ptr<platform::RecordingShell> shell;
    Payload payload;
    RecordingProgress progress;
    std::unique_ptr<InstallContext> context;
    std::unique_ptr<InstallLog> log;
    std::unique_ptr<Installer> installer;

private:
    std::shared_ptr<platform::ShellHandler> previousShell_;
    std::optional<korvane::testing::ScopedEnv> rootEnv_;
};

}  // namespace korvane::installer::test
