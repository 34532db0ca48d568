#pragma once
// The wizard's behaviour without any toolkit: the step, the licence choice, the state of
// "Next >>", the folder text and what pressing a button does. The Qt wizard and the
// scripted (headless) wizard both drive this model, so its behaviour is tested directly.
//
// Thread contract: the wizard's thread only.
#include <string>
#include <string_view>

namespace korvane::installer {

class Installer;
class ProgressLine;

class WizardModel {
public:
    enum Step { kLicence = 0, kFolder = 1, kFinish = 2, kDone = 3 };
    enum class Outcome { kNone, kShowPage, kRefused, kInstalled, kCancelled };

    // Prepares the captions and the folder text from the context (DiscoverFolders ran).
    explicit WizardModel(Installer& installer);

    int CurrentStep() const noexcept { return step_; }
    bool NextEnabled() const noexcept { return nextEnabled_; }
    std::string NextText() const { return step_ >= kFinish ? "Finish" : "Next >>"; }
    const std::string& LicenceCaption() const noexcept { return licenceCaption_; }
    const std::string& FolderCaption() const noexcept { return folderCaption_; }
    const std::string& LicenceText() const noexcept { return licenceText_; }
    const std::string& FolderText() const noexcept { return folderText_; }

    // Radio 1002 enables "Next >>", radio 1003 disables it (on any page).
    void ChooseLicence(bool accept) noexcept;
    // The edit 1005; at most 319 characters are taken, as by the page's buffer.
    void SetFolderText(std::string_view text);
    // "Next >>" / "Finish". Ignored while disabled. Leaving the folder page with a folder
    // that is not usable (malformed: kBadFolderText; or one that cannot be created or
    // written) refuses with a message shown through ShowError and stays.
    // At the finish page it takes the folder, runs the installation with `progress` and
    // ends with kInstalled.
    Outcome PressNext(ProgressLine& progress);
    // "Cancel", the close box or Escape: ends without installing.
    Outcome PressCancel() noexcept;
    bool Ended() const noexcept { return ended_; }

private:
    // Empty when the typed folder can take the installation, else the message saying why.
    std::string FolderProblem() const;

    Installer& installer_;
    int step_ = kLicence;
    bool nextEnabled_ = false;
    bool ended_ = false;
    std::string licenceCaption_, folderCaption_, licenceText_, folderText_;
};

// Pure: "%s"-style formatting of a caption template with the product name (only the first
// "%s" is replaced; "%%" becomes "%"), limited to 255 characters of template.
std::string FormatCaption(std::string_view pattern, std::string_view productName);

}  // namespace korvane::installer
