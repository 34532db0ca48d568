// The wizard: its model's behaviour without a screen, and the Qt dialog's buttons, keys and
// fields reaching that model (offscreen).
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <memory>

#include "installer/core/wizard_model.h"
#include "installer/setup/wizard_dialog.h"
#include "machine_fixture.h"

namespace korvane::installer::test {
namespace {

// One application object for the whole program, made before the first test and destroyed
// after the last (while Qt is still intact).
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override { app_ = std::make_unique<QApplication>(argc_, argv_); }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[32] = "installer_wizard_test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};
[[maybe_unused]] ::testing::Environment* const kQt = ::testing::AddGlobalTestEnvironment(std::make_unique<QtEnvironment>().release());

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
        Names().Add("IDT_LICENSE_TXT", Bytes("Line one\r\nLine two"));
        payload.File("APPFILE", 1, "Korvane.exe", "<appdir>", Bytes("exe"));
        MakeInstaller(payload);
    }
    static bool PageShown(QWidget* control) { return control->parentWidget()->isVisible(); }
};

TEST_F(Wizard, LicencePageGatesNextAndCaptionsCarryTheProduct) {
    WizardModel wizard(*installer);
    EXPECT_EQ(wizard.CurrentStep(), WizardModel::kLicence);
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
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_TRUE(progress.texts.empty());
}

// The buttons, keys and fields of the Qt dialog reach the model and the pages follow it,
// through to an installation into the folder as typed.
TEST_F(Wizard, DialogClicksWalkThePagesRefuseABadFolderAndFinishInTheTypedOne) {
    WizardDialog escaped(*installer);
    escaped.show();
    QTest::keyClick(&escaped, Qt::Key_Escape);
    EXPECT_EQ(escaped.result(), 2);

    WizardDialog wizard(*installer);
    wizard.show();
    EXPECT_EQ(wizard.windowTitle(), "Vestramo Installer");
    EXPECT_TRUE(wizard.DeclineRadio()->isChecked());
    EXPECT_FALSE(wizard.NextButton()->isEnabled());
    EXPECT_TRUE(PageShown(wizard.AcceptRadio()));
    EXPECT_FALSE(PageShown(wizard.FolderEdit()));
    QTest::mouseClick(wizard.AcceptRadio(), Qt::LeftButton);
    EXPECT_TRUE(wizard.NextButton()->isEnabled());
    QTest::mouseClick(wizard.DeclineRadio(), Qt::LeftButton);
    EXPECT_FALSE(wizard.NextButton()->isEnabled());
    QTest::mouseClick(wizard.AcceptRadio(), Qt::LeftButton);
    QTest::mouseClick(wizard.NextButton(), Qt::LeftButton);

    EXPECT_TRUE(PageShown(wizard.FolderEdit()));
    EXPECT_FALSE(PageShown(wizard.AcceptRadio()));
    EXPECT_EQ(wizard.FolderEdit()->text(), "C:\\Program Files\\Quorvix\\Korvane");
    wizard.FolderEdit()->selectAll();
    QTest::keyClicks(wizard.FolderEdit(), "Korvane");
    QTest::mouseClick(wizard.NextButton(), Qt::LeftButton);
    EXPECT_TRUE(PageShown(wizard.FolderEdit()));  // refused: still the folder page
    wizard.FolderEdit()->selectAll();
    QTest::keyClicks(wizard.FolderEdit(), "C:\\My Apps\\Korvane, new");
    QTest::mouseClick(wizard.NextButton(), Qt::LeftButton);
    EXPECT_EQ(wizard.NextButton()->text(), "Finish");
    EXPECT_TRUE(PageShown(wizard.ProgressLabel()));
    EXPECT_EQ(log->Count(), 0);  // nothing installed before Finish
    QTest::mouseClick(wizard.NextButton(), Qt::LeftButton);
    EXPECT_EQ(wizard.result(), 1);
    EXPECT_EQ(wizard.ProgressLabel()->text(), QString(ProgressText(1).c_str()));
    EXPECT_EQ(ReadText("C:\\My Apps\\Korvane, new\\Korvane.exe"), "exe");
    EXPECT_TRUE(Exists("C:\\My Apps\\Korvane, new\\_install.log"));
    // The bad folder's message; the payload carries neither an uninstaller (reported) nor a
    // read-me (not opened).
    EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{std::string(kBadFolderText), "Could not copy File."}));
    EXPECT_TRUE(shell->Executes().empty());
    // The typed folder does not move the shared or the shortcut folder.
    EXPECT_EQ(context->sharedDir, "C:\\Program Files\\Common Files\\Quorvix");
    EXPECT_TRUE(Exists("C:\\WINDOWS\\Start Menu\\Programs\\Quorvix\\Korvane.lnk"));
}

}  // namespace
}  // namespace korvane::installer::test
