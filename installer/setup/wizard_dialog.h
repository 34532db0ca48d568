#pragma once
// The installer's wizard on Qt Widgets: a fixed frame with "Next >>" and "Cancel" and three
// pages shown one at a time (licence, folder, finish with the progress line). All
// behaviour lives in WizardModel; this class only shows it.
#include <QDialog>
#include <memory>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace korvane::installer {
class Installer;
class WizardModel;

class WizardDialog : public QDialog {
public:
    explicit WizardDialog(Installer& installer, QWidget* parent = nullptr);
    ~WizardDialog() override;

    // The controls, for the screenshots.
    QPushButton* NextButton() const noexcept { return next_; }
    QRadioButton* AcceptRadio() const noexcept { return accept_; }
    QRadioButton* DeclineRadio() const noexcept { return decline_; }
    QLineEdit* FolderEdit() const noexcept { return folder_; }
    QLabel* ProgressLabel() const noexcept { return progress_; }

protected:
    void reject() override;  // Cancel, Escape and the close box

private:
    void OnNext();
    void ShowCurrentPage(int step);

    std::unique_ptr<WizardModel> model_;
    QWidget* pages_[3] = {nullptr, nullptr, nullptr};
    QPushButton* next_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QRadioButton* accept_ = nullptr;
    QRadioButton* decline_ = nullptr;
    QPlainTextEdit* licence_ = nullptr;
    QLineEdit* folder_ = nullptr;
    QLabel* progress_ = nullptr;
};

// Installs a message-box handler that shows QMessageBoxes.
void InstallQtMessageBoxes();

}  // namespace korvane::installer
