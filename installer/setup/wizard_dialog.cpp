#include "installer/setup/wizard_dialog.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include "installer/core/installer.h"
#include "installer/core/wizard_model.h"
#include "platform/ui/ui.h"

namespace korvane::installer {
namespace {

// Dialog units of the 8-point "MS Sans Serif" templates: 4 horizontal units are one
// average character (6 pixels), 8 vertical units one character height (13 pixels).
int Dx(int units) { return units * 6 / 4; }
int Dy(int units) { return units * 13 / 8; }
QRect DluRect(int x, int y, int w, int h) { return QRect(Dx(x), Dy(y), Dx(w), Dy(h)); }

QString Text(const std::string& s) { return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size())); }

class LabelProgress : public ProgressLine {
public:
    explicit LabelProgress(QLabel* label) : label_(label) {}
    void SetText(std::string_view text) override {
        label_->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
        // Repaint now; the wizard takes no input while it installs.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }

private:
    QLabel* label_;
};

class QtMessageBoxes : public platform::MessageBoxHandler {
public:
    int Show(std::string_view text, std::string_view caption, std::uint32_t flags) override {
        QMessageBox box(QApplication::focusWidget());
        box.setText(QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())));
        box.setWindowTitle(caption.empty() ? QStringLiteral("Error")
                                           : QString::fromLocal8Bit(caption.data(), static_cast<qsizetype>(caption.size())));
        switch (flags & 0xF0) {
            case platform::kMbIconError: box.setIcon(QMessageBox::Critical); break;
            case platform::kMbIconQuestion: box.setIcon(QMessageBox::Question); break;
            case platform::kMbIconWarning: box.setIcon(QMessageBox::Warning); break;
            case platform::kMbIconInformation: box.setIcon(QMessageBox::Information); break;
            default: break;
        }
        struct Button {
            QMessageBox::StandardButton qt;
            int id;
        };
        std::vector<Button> buttons;
        switch (flags & 0xF) {
            case platform::kMbOkCancel: buttons = {{QMessageBox::Ok, platform::kIdOk}, {QMessageBox::Cancel, platform::kIdCancel}}; break;
            case platform::kMbYesNo: buttons = {{QMessageBox::Yes, platform::kIdYes}, {QMessageBox::No, platform::kIdNo}}; break;
            case platform::kMbYesNoCancel:
                buttons = {{QMessageBox::Yes, platform::kIdYes}, {QMessageBox::No, platform::kIdNo}, {QMessageBox::Cancel, platform::kIdCancel}};
                break;
            case platform::kMbRetryCancel: buttons = {{QMessageBox::Retry, platform::kIdRetry}, {QMessageBox::Cancel, platform::kIdCancel}}; break;
            case platform::kMbAbortRetryIgnore:
                buttons = {{QMessageBox::Abort, platform::kIdAbort}, {QMessageBox::Retry, platform::kIdRetry}, {QMessageBox::Ignore, platform::kIdIgnore}};
                break;
            default: buttons = {{QMessageBox::Ok, platform::kIdOk}}; break;
        }
        QMessageBox::StandardButtons set;
        for (const auto& b : buttons) set |= b.qt;
        box.setStandardButtons(set);
        box.setDefaultButton(buttons.front().qt);
        const int pressed = box.exec();
        for (const auto& b : buttons)
            if (pressed == b.qt) return b.id;
        return buttons.size() > 1 ? platform::kIdCancel : platform::kIdOk;
    }
};

}  // namespace

void InstallQtMessageBoxes() { platform::SetMessageBoxHandler(std::make_shared<QtMessageBoxes>()); }

WizardDialog::WizardDialog(Installer& installer, QWidget* parent)
    : QDialog(parent), model_(std::make_unique<WizardModel>(installer)) {
    setWindowTitle(QStringLiteral("Vestramo Installer"));
    setFixedSize(Dx(303), Dy(199));
    QFont font = this->font();
    font.setPointSize(8);
    setFont(font);

    auto* welcome = new QLabel(QStringLiteral("Welcome to Vestramo"), this);
    welcome->setGeometry(DluRect(7, 7, 289, 8));
    welcome->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    next_ = new QPushButton(QStringLiteral("Next >>"), this);
    next_->setGeometry(DluRect(246, 178, 50, 14));
    next_->setDefault(true);
    next_->setEnabled(false);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setGeometry(DluRect(190, 178, 50, 14));
    connect(next_, &QPushButton::clicked, this, [this] { OnNext(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });

    // Licence page ("IDD_STEP1").
    auto* licencePage = new QWidget(this);
    licencePage->resize(Dx(274), Dy(141));
    auto* licenceCaption = new QLabel(Text(model_->LicenceCaption()), licencePage);
    licenceCaption->setGeometry(DluRect(0, 0, 274, 8));
    licence_ = new QPlainTextEdit(licencePage);
    licence_->setGeometry(DluRect(0, 15, 274, 90));
    licence_->setReadOnly(true);
    licence_->setLineWrapMode(QPlainTextEdit::NoWrap);
    licence_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    licence_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QString licenceText = Text(model_->LicenceText());
    licenceText.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    licence_->setPlainText(licenceText);
    accept_ = new QRadioButton(QStringLiteral("Yes, I accept the license agreement"), licencePage);
    accept_->setGeometry(DluRect(1, 110, 205, 10));
    decline_ = new QRadioButton(QStringLiteral("No, I do not accept the license agreement"), licencePage);
    decline_->setGeometry(DluRect(1, 121, 187, 10));
    decline_->setChecked(true);
    connect(accept_, &QRadioButton::clicked, this, [this] {
        model_->ChooseLicence(true);
        next_->setEnabled(model_->NextEnabled());
    });
    connect(decline_, &QRadioButton::clicked, this, [this] {
        model_->ChooseLicence(false);
        next_->setEnabled(model_->NextEnabled());
    });
    pages_[0] = licencePage;

    // Folder page ("IDD_STEP2").
    auto* folderPage = new QWidget(this);
    folderPage->resize(Dx(261), Dy(141));
    auto* folderCaption = new QLabel(Text(model_->FolderCaption()), folderPage);
    folderCaption->setGeometry(DluRect(0, 0, 261, 8));
    folder_ = new QLineEdit(Text(model_->FolderText()), folderPage);
    folder_->setGeometry(DluRect(2, 25, 259, 14));
    folder_->setMaxLength(319);
    connect(folder_, &QLineEdit::textEdited, this,
            [this](const QString& text) { model_->SetFolderText(text.toLocal8Bit().toStdString()); });
    auto* select = new QPushButton(QStringLiteral("Select..."), folderPage);
    select->setGeometry(DluRect(211, 41, 50, 14));
    select->setVisible(false);  // created invisible and without a handler
    pages_[1] = folderPage;

    // Finish page ("IDD_STEP3").
    auto* finishPage = new QWidget(this);
    finishPage->resize(Dx(261), Dy(141));
    auto* finishCaption = new QLabel(QStringLiteral("Click \"Finish\" to start the installation"), finishPage);
    finishCaption->setGeometry(DluRect(0, 0, 261, 8));
    finishCaption->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    auto* progressCaption = new QLabel(QStringLiteral("Installation Progress:"), finishPage);
    progressCaption->setGeometry(DluRect(0, 55, 174, 8));
    progress_ = new QLabel(finishPage);
    progress_->setGeometry(DluRect(0, 67, 261, 11));
    pages_[2] = finishPage;

    ShowCurrentPage(0);
}

WizardDialog::~WizardDialog() = default;

void WizardDialog::ShowCurrentPage(int step) {
    if (step < 0 || step > 2) return;
    for (int i = 0; i < 3; ++i) pages_[i]->setVisible(i == step);
    pages_[step]->move(18, 48);
    next_->setText(Text(model_->NextText()));
}

void WizardDialog::OnNext() {
    LabelProgress progress(progress_);
    if (model_->CurrentStep() == WizardModel::kFinish) {
        next_->setEnabled(false);
        cancel_->setEnabled(false);
    }
    const auto outcome = model_->PressNext(progress);
    if (outcome == WizardModel::Outcome::kInstalled) {
        done(1);
        return;
    }
    next_->setEnabled(model_->NextEnabled());
    cancel_->setEnabled(true);
    ShowCurrentPage(model_->CurrentStep());
}

void WizardDialog::reject() {
    if (model_->Ended()) return;
    model_->PressCancel();
    done(2);
}

}  // namespace korvane::installer
