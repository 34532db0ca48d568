// The Qt wizard: what the user sees and what the buttons do, offscreen.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <memory>

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

class WizardDialogTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        SeedWindowsMachine();
        payload.String(50000, "Korvane").String(50001, "Korvane.exe");
        payload.Add("IDT_LICENSE_TXT", Bytes("Terms\r\nMore terms"));
        payload.File("APPFILE", 1, "Korvane.exe", "<appdir>", Bytes("exe"));
        MakeInstaller(payload);
    }
    static bool PageShown(QWidget* control) { return control->parentWidget()->isVisible(); }
    Payload payload;
};

// The buttons, keys and fields reach the wizard's model and the pages follow it; what the
// model decides is tested on the model itself.
TEST_F(WizardDialogTest, ClicksWalkThePagesRefuseABadFolderAndFinishInTheTypedOne) {
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
    EXPECT_EQ(Messages(), std::vector<std::string>{std::string(kBadFolderText)});
    EXPECT_TRUE(PageShown(wizard.FolderEdit()));
    wizard.FolderEdit()->selectAll();
    QTest::keyClicks(wizard.FolderEdit(), "C:\\Apps\\Korvane");
    QTest::mouseClick(wizard.NextButton(), Qt::LeftButton);
    EXPECT_EQ(wizard.NextButton()->text(), "Finish");
    EXPECT_TRUE(PageShown(wizard.ProgressLabel()));
    EXPECT_EQ(log->Count(), 0);  // nothing installed before Finish
    QTest::mouseClick(wizard.NextButton(), Qt::LeftButton);
    EXPECT_EQ(wizard.result(), 1);
    EXPECT_EQ(ReadText("C:\\Apps\\Korvane\\Korvane.exe"), "exe");
    EXPECT_EQ(wizard.ProgressLabel()->text(), QString(ProgressText(1).c_str()));
}

}  // namespace
}  // namespace korvane::installer::test
