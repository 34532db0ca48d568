#include "installer/core/wizard_model.h"

#include "installer/core/installer.h"
#include "platform/machine/files.h"
#include "platform/resources/resources.h"

namespace korvane::installer {

std::string FormatCaption(std::string_view pattern, std::string_view productName) {
    pattern = pattern.substr(0, 255);
    std::string out;
    bool used = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size()) {
            if (pattern[i + 1] == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (pattern[i + 1] == 's' && !used) {
                out += productName;
                used = true;
                ++i;
                continue;
            }
        }
        out += pattern[i];
    }
    return out;
}

WizardModel::WizardModel(Installer& installer) : installer_(installer) {
    const auto& context = installer_.Context();
    licenceCaption_ = FormatCaption("To install %s, you must first accept the license agreement:", context.productName);
    folderCaption_ = FormatCaption("Select a directory where you want to install %s:", context.productName);
    if (const auto licence = installer_.Payload().FindResource("IDT_LICENSE_TXT", kPayloadType)) {
        const auto bytes = platform::ResourceImage::LoadResource(*licence);
        licenceText_.assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    SetFolderText(context.appDir);
}

void WizardModel::ChooseLicence(bool accept) noexcept {
    nextEnabled_ = accept;
}

void WizardModel::SetFolderText(std::string_view text) { folderText_ = std::string(text.substr(0, 319)); }

std::string WizardModel::FolderProblem() const {
    if (!IsUsableAppFolder(folderText_) || !installer_.Files().Host(folderText_).has_value())
        return std::string(kBadFolderText);
    if (!installer_.CanInstallInto(folderText_))
        return "The folder " + folderText_ + " cannot be created or written to.\nPlease choose another folder.";
    return {};
}

WizardModel::Outcome WizardModel::PressNext(ProgressLine& progress) {
    if (ended_ || !nextEnabled_ || step_ >= kDone) return Outcome::kNone;
    if (step_ == kFolder) {
        if (const std::string problem = FolderProblem(); !problem.empty()) {
            ShowError(problem);
            return Outcome::kRefused;
        }
    }
    ++step_;
    if (step_ < kDone) return Outcome::kShowPage;
    // Finish: the folder as typed (already checked when leaving the folder page; checked
    // again in case it was changed by a script meanwhile, or the folder changed since).
    if (const std::string problem = FolderProblem(); !problem.empty()) {
        --step_;
        ShowError(problem);
        return Outcome::kRefused;
    }
    installer_.Context().appDir = folderText_;
    installer_.RunInstallation(progress);
    ended_ = true;
    return Outcome::kInstalled;
}

WizardModel::Outcome WizardModel::PressCancel() noexcept {
    if (ended_) return Outcome::kNone;
    ended_ = true;
    return Outcome::kCancelled;
}

}  // namespace korvane::installer
