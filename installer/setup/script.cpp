#include "installer/setup/script.h"

#include <deque>
#include <iostream>
#include <memory>

#include "installer/core/installer.h"
#include "installer/core/wizard_model.h"
#include "platform/ui/ui.h"

namespace korvane::installer {
namespace {

std::string Escape(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else out += c;
    }
    return out;
}

class PrintingMessageBoxes : public platform::MessageBoxHandler {
public:
    explicit PrintingMessageBoxes(std::deque<int> answers) : answers_(std::move(answers)) {}
    int Show(std::string_view text, std::string_view caption, std::uint32_t flags) override {
        std::cout << "MessageBox\t" << flags << "\t" << Escape(caption) << "\t" << Escape(text) << std::endl;
        if (!answers_.empty()) {
            const int answer = answers_.front();
            answers_.pop_front();
            return answer;
        }
        switch (flags & 0xF) {
            case platform::kMbYesNo:
            case platform::kMbYesNoCancel: return platform::kIdYes;
            case platform::kMbAbortRetryIgnore: return platform::kIdAbort;
            case platform::kMbRetryCancel: return platform::kIdRetry;
            default: return platform::kIdOk;
        }
    }

private:
    std::deque<int> answers_;
};

class PrintingProgress : public ProgressLine {
public:
    void SetText(std::string_view text) override { std::cout << "Progress\t" << text << "\n"; }
};

}  // namespace

void InstallScriptMessageBoxes(const std::vector<std::string>& actions) {
    std::deque<int> answers;
    for (const auto& action : actions) {
        if (!action.starts_with("answer=")) continue;
        const std::string value = action.substr(7);
        answers.push_back(value == "cancel" ? platform::kIdCancel
                          : value == "yes"  ? platform::kIdYes
                          : value == "no"   ? platform::kIdNo
                                            : platform::kIdOk);
    }
    platform::SetMessageBoxHandler(std::make_shared<PrintingMessageBoxes>(std::move(answers)));
}

int RunScriptedWizard(Installer& installer, const std::vector<std::string>& actions) {
    WizardModel wizard(installer);
    PrintingProgress progress;
    for (const auto& action : actions) {
        if (action == "accept" || action == "decline") {
            if (wizard.CurrentStep() != WizardModel::kLicence) {
                std::cerr << "korvane-setup: '" << action << "' outside the licence page\n";
                return 3;
            }
            wizard.ChooseLicence(action == "accept");
        } else if (action.starts_with("folder=")) {
            if (wizard.CurrentStep() > WizardModel::kFolder) {
                std::cerr << "korvane-setup: the folder page is behind us\n";
                return 3;
            }
            wizard.SetFolderText(action.substr(7));
        } else if (action == "next" || action == "finish") {
            do {
                const auto outcome = wizard.PressNext(progress);
                if (outcome == WizardModel::Outcome::kNone) {
                    std::cerr << "korvane-setup: \"" << wizard.NextText() << "\" is disabled\n";
                    return 3;
                }
                if (outcome == WizardModel::Outcome::kRefused) return 3;
                if (outcome == WizardModel::Outcome::kInstalled) return 1;
            } while (action == "finish");
        } else if (action == "cancel") {
            wizard.PressCancel();
            return 2;
        } else if (!action.starts_with("answer=")) {
            std::cerr << "korvane-setup: unknown script action '" << action << "'\n";
            return 3;
        }
    }
    std::cerr << "korvane-setup: the script ended on page " << wizard.CurrentStep() + 1 << " without finishing\n";
    return 3;
}

}  // namespace korvane::installer
