// korvane-setup: the installer. Without arguments it shows the wizard; with
// "--script <action>..." it runs the wizard headless (see script.h); with
// "--screenshots <folder>" it saves pictures of the three pages and installs nothing.
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

int main(int argc, char** argv) {
    using namespace korvane::installer;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args.front() == "--script") {
        const std::vector<std::string> actions(args.begin() + 1, args.end());
        InstallScriptMessageBoxes(actions);
        return SetupMain([&](Installer& installer) { return RunScriptedWizard(installer, actions); });
    }
#ifdef KORVANE_SETUP_GUI
    QApplication app(argc, argv);
    InstallQtMessageBoxes();
    if (args.size() == 2 && args.front() == "--screenshots") {
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
    if (!args.empty()) {
        std::cerr << "usage: korvane-setup [--script <action>... | --screenshots <folder>]\n";
        return 2;
    }
    return SetupMain([&](Installer& installer) {
        WizardDialog wizard(installer);
        return wizard.exec();
    });
#else
    std::cerr << "korvane-setup was built without the wizard; use --script <action>...\n";
    return 2;
#endif
}
