#pragma once
// The entry of korvane-setup, shared by the headless and the Qt build: prepares the
// installation, runs a wizard (given as a function), and reports the end.
#include <functional>

namespace korvane::installer {
class Installer;

// Runs the wizard and returns 1 when it ended after an installation, 2 when it was
// cancelled, and another value when it could not run (then nothing was installed).
using WizardRunner = std::function<int(Installer&)>;

// The whole program: returns the process exit code: 0 installed without errors or
// cancelled, 1 the installer or the machine cannot be used, 3 the wizard could not run
// (nothing installed), 4 installed but with errors reported on the way.
int SetupMain(const WizardRunner& runWizard);

}  // namespace korvane::installer
