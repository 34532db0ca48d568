#include "installer/setup/setup_main.h"

#include <iostream>

#include "installer/core/installer.h"
#include "installer/pack/payload_sums.h"
#include "platform/machine/files.h"
#include "platform/machine/restart.h"
#include "platform/resources/resources.h"
#include "platform/shell/shell.h"
#include "platform/ui/ui.h"

namespace korvane::installer {
namespace {

// The installer's state, as static objects: constructed before the entry runs and
// destroyed after it returns (the context then removes the staging folder).
InstallContext gContext;
InstallLog gLog;

}  // namespace

int SetupMain(const WizardRunner& runWizard) {
    std::string error;
    const auto payload = platform::ResourceImage::Self(&error);
    // Every payload file is checked before anything is written, so a damaged installer
    // installs nothing instead of a broken program.
    if (payload) error = PayloadDamage(*payload).value_or("");
    if (!payload || !error.empty()) {
        platform::MessageBox("This installer is damaged and cannot run:\n" + error, "Vestramo Installer",
                             platform::kMbOk | platform::kMbIconError);
        return 1;
    }
    try {
        const auto root = platform::MachineRoot::FromEnvironment();
        platform::RestartIfRequested(root, "korvane-setup", std::cerr);
        auto files = std::make_shared<const platform::MachineFiles>(root);
        auto registry = platform::RegistryStore::Open(root.RegistryFile());
        Installer installer(gContext, gLog, files, registry, *payload);
        installer.DiscoverFolders();

        const int result = runWizard(installer);
        if (result == 1) {
            if (gContext.rebootNeeded) {
                const int answer = platform::MessageBox(
                    "Setup finished.\nYou have to reboot your computer\n(choose 'Cancel' to reboot later).", "Reboot",
                    platform::kMbOkCancel | platform::kMbIconQuestion);
                if (answer == platform::kIdOk) platform::ExitWindowsEx(platform::kEwxReboot, 0);
            } else {
                platform::MessageBox("Setup finished", "Vestramo Installer", platform::kMbIconInformation);
            }
            // The installation goes on after each error it reported, but it is not a clean
            // one: scripts and package tools must see that.
            if (ErrorsShown() > 0) {
                std::cerr << "korvane-setup: the installation finished with " << ErrorsShown() << " error(s)\n";
                return 4;
            }
            return 0;
        }
        return result == 2 ? 0 : 3;
    } catch (const std::exception& e) {
        // The machine root or its registry could not be opened: nothing was installed.
        platform::MessageBox(std::string("The installation cannot start:\n") + e.what(), "Vestramo Installer",
                             platform::kMbOk | platform::kMbIconError);
        return 1;
    }
}

}  // namespace korvane::installer
