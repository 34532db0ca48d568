#pragma once
// The entry of korvane-setup, shared by the headless and the Qt build: prepares the
// installation, runs a wizard (given as a function), and reports the end.
#include <functional>

namespace korvane::installer {
class Installer;

// Runs the wizard and returns 1 when it ended after an installation, 2 when it was
// cancelled, and another value when it could not run (then nothing was installed).
using WizardRunner = std::function<int(Installer&)>;

// The whole program: returns the process exit code.
int SetupMain(const WizardRunner& runWizard);

}  // namespace korvane::installer
