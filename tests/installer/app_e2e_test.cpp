// The installed application's side of the installation: the control that the installer
// registered is created by its class id from the machine's registry, out of the module
// the installer placed, the way the track view creates it.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "platform/paths/paths.h"
#include "platform/registry/registry.h"
#include "tests/support/temp_dir.h"
#include "track/view/sample_editor_ctrl.h"

namespace fs = std::filesystem;

namespace {

TEST(InstalledApplication, CreatesTheInstalledControlByClassId) {
    const korvane::testing::TempDir temp;
    const fs::path& root = temp.Path();
    const std::string env = "KORVANE_ROOT='" + root.string() + "' KORVANE_SHELL=record ";
    ASSERT_EQ(std::system((env + "'" KORVANE_BIN_DIR "/korvane-machine' init").c_str()), 0);
    ASSERT_EQ(std::system((env + "'" KORVANE_BIN_DIR "/korvane-setup' --script accept finish > /dev/null").c_str()), 0);

    ::setenv("KORVANE_ROOT", root.c_str(), 1);
    int argc = 1;
    char name[] = "installer_app_e2e_test";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    auto registry = korvane::platform::RegistryStore::Open(korvane::platform::MachineRoot(root).RegistryFile());
    std::string error;
    auto control = korvane::trackview::CSampleEditorCtrl::Create(registry.get(), nullptr, &error);
    ASSERT_TRUE(control) << error;
    const auto installed = korvane::platform::MachineRoot(root).ToHost("C:\\Program Files\\Common Files\\Quorvix\\Lumatrel.ocx");
    ASSERT_TRUE(installed);
    EXPECT_TRUE(fs::equivalent(control->modulePath(), *installed)) << control->modulePath();
    control.reset();
}

}  // namespace
