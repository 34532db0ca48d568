// korvane-setup: the installer. Without arguments it shows the wizard; with
// "--script <action>..." it runs the wizard headless (see script.h); with
// "--screenshots <folder>" it saves pictures of the three pages and installs nothing.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "installer/setup/script.h"
#include "installer/setup/setup_main.h"

#ifdef KORVANE_SETUP_GUI
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "installer/setup/wizard_dialog.h"
#endif

namespace {

constexpr const char* kUsage =
    "usage: korvane-setup                          the installation wizard\n"
    "       korvane-setup --script <action>...     the wizard without a screen, e.g.\n"
    "                                              korvane-setup --script accept finish\n"
    "       korvane-setup --screenshots <folder>   pictures of the three pages\n"
    "Actions: accept, decline, folder=<C:\\path>, next, finish, cancel, answer=ok|cancel|yes|no.\n"
    "The machine root is KORVANE_ROOT (default ~/.local/share/korvane).\n"
    "Exit status: 0 installed (or cancelled), 1 cannot start, 2 wrong use, 3 nothing installed,\n"
    "4 installed with errors.\n";

// The toolkit aborts when it finds no display; say so before it is started.
bool HaveDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace korvane::installer;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args.front() == "--help" || args.front() == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    if (!args.empty() && args.front() == "--script") {
        const std::vector<std::string> actions(args.begin() + 1, args.end());
        InstallScriptMessageBoxes(actions);
        return SetupMain([&](Installer& installer) { return RunScriptedWizard(installer, actions); });
    }
    const bool screenshots = args.size() == 2 && args.front() == "--screenshots";
    if (!args.empty() && !screenshots) {
        std::cerr << kUsage;
        return 2;
    }
#ifdef KORVANE_SETUP_GUI
    if (!HaveDisplay()) {
        std::cerr << "korvane-setup: no display (DISPLAY and WAYLAND_DISPLAY are unset), so the wizard cannot be "
                     "shown.\nInstall without one: korvane-setup --script accept finish\n";
        return 2;
    }
    QApplication app(argc, argv);
    InstallQtMessageBoxes();
    if (screenshots) {
        const QString folder = QString::fromLocal8Bit(args[1].c_str());
        QDir().mkpath(folder);
        return SetupMain([&](Installer& installer) {
            WizardDialog wizard(installer);
            wizard.show();
            // The pages as a user sees them: the licence page as it opens, the folder page
            // after accepting, the finish page after "Next >>" (nothing is installed).
            const char* names[] = {"setup-1-licence.png", "setup-2-folder.png", "setup-3-finish.png"};
            bool saved = true;
            for (int step = 0; step < 3; ++step) {
                if (step == 1) wizard.AcceptRadio()->click();
                if (step > 0) wizard.NextButton()->click();
                QApplication::processEvents();
                saved = wizard.grab().save(folder + "/" + QString::fromLatin1(names[step])) && saved;
            }
            if (!saved) std::cerr << "korvane-setup: could not save the screenshots\n";
            return saved ? 2 : 3;
        });
    }
    return SetupMain([&](Installer& installer) {
        WizardDialog wizard(installer);
        return wizard.exec();
    });
#else
    (void)HaveDisplay;
    std::cerr << "korvane-setup was built without the wizard; use --script <action>...\n";
    return 2;
#endif
}
