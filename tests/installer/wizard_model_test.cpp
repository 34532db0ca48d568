// The wizard's behaviour, without a screen.
#include <gtest/gtest.h>

#include "installer/core/wizard_model.h"
#include "machine_fixture.h"

namespace korvane::installer::test {
namespace {

TEST(Caption, ProductNameTakesThePlaceOfPercentS) {
    EXPECT_EQ(FormatCaption("To install %s, you must first accept the license agreement:", "Korvane"),
              "To install Korvane, you must first accept the license agreement:");
    EXPECT_EQ(FormatCaption("100%% %s %s", "K"), "100% K %s");
    EXPECT_EQ(FormatCaption("no argument", "K"), "no argument");
}

class Wizard : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        SeedWindowsMachine();
        payload.String(50000, "Korvane").String(50001, "Korvane.exe");
        payload.Add("IDT_LICENSE_TXT", Bytes("Line one\r\nLine two"));
        payload.File("APPFILE", 1, "Korvane.exe", "<appdir>", Bytes("exe"));
        MakeInstaller(payload);
    }
    Payload payload;
    RecordingProgress progress;
};

TEST_F(Wizard, LicencePageGatesNextAndCaptionsCarryTheProduct) {
    WizardModel wizard(*installer);
    EXPECT_EQ(wizard.CurrentStep(), WizardModel::kLicence);
    EXPECT_FALSE(wizard.Accepted());
    EXPECT_FALSE(wizard.NextEnabled());
    EXPECT_EQ(wizard.NextText(), "Next >>");
    EXPECT_EQ(wizard.LicenceCaption(), "To install Korvane, you must first accept the license agreement:");
    EXPECT_EQ(wizard.FolderCaption(), "Select a directory where you want to install Korvane:");
    EXPECT_EQ(wizard.LicenceText(), "Line one\r\nLine two");  // the resource's bytes exactly
    EXPECT_EQ(wizard.FolderText(), "C:\\Program Files\\Quorvix\\Korvane");

    EXPECT_EQ(wizard.PressNext(progress), WizardModel::Outcome::kNone);  // disabled
    wizard.ChooseLicence(true);
    EXPECT_TRUE(wizard.NextEnabled());
    wizard.ChooseLicence(false);
    EXPECT_FALSE(wizard.NextEnabled());
    wizard.ChooseLicence(true);
    EXPECT_EQ(wizard.PressNext(progress), WizardModel::Outcome::kShowPage);
    EXPECT_EQ(wizard.CurrentStep(), WizardModel::kFolder);
    EXPECT_TRUE(wizard.NextEnabled());  // stays enabled on the later pages
    EXPECT_EQ(wizard.PressNext(progress), WizardModel::Outcome::kShowPage);
    EXPECT_EQ(wizard.NextText(), "Finish");
}

TEST_F(Wizard, FinishInstallsIntoTheFolderAsTyped) {
    WizardModel wizard(*installer);
    wizard.ChooseLicence(true);
    wizard.PressNext(progress);
    wizard.SetFolderText("C:\\My Apps\\Korvane, new");
    wizard.PressNext(progress);
    EXPECT_EQ(wizard.PressNext(progress), WizardModel::Outcome::kInstalled);
    EXPECT_TRUE(wizard.Ended());
    // The payload carries neither an uninstaller (reported) nor a read-me (not opened).
    EXPECT_EQ(Messages(), std::vector<std::string>{"Could not copy File."});
    EXPECT_TRUE(shell->Executes().empty());
    EXPECT_EQ(ReadText("C:\\My Apps\\Korvane, new\\Korvane.exe"), "exe");
    EXPECT_TRUE(Exists("C:\\My Apps\\Korvane, new\\_install.log"));
    // The typed folder does not move the shared or the shortcut folder.
    EXPECT_EQ(context->sharedDir, "C:\\Program Files\\Common Files\\Quorvix");
    EXPECT_TRUE(Exists("C:\\WINDOWS\\Start Menu\\Programs\\Quorvix\\Korvane.lnk"));
    EXPECT_EQ(wizard.PressCancel(), WizardModel::Outcome::kNone);
}

TEST_F(Wizard, CancelOnAnyPageEndsWithoutInstalling) {
    for (int page = 0; page < 3; ++page) {
        WizardModel wizard(*installer);
        wizard.ChooseLicence(true);
        for (int i = 0; i < page; ++i) wizard.PressNext(progress);
        EXPECT_EQ(wizard.PressCancel(), WizardModel::Outcome::kCancelled);
        EXPECT_EQ(wizard.PressNext(progress), WizardModel::Outcome::kNone);
    }
    EXPECT_EQ(log->Count(), 0);
    EXPECT_FALSE(Exists("C:\\Program Files\\Quorvix"));
    EXPECT_TRUE(Messages().empty());
    EXPECT_TRUE(progress.texts.empty());
}

}  // namespace
}  // namespace korvane::installer::test
