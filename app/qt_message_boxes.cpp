#include "app/qt_message_boxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <utility>
#include <vector>

namespace korvane::app {
namespace {

QString FromUtf8(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// The buttons of a MB_* button set, in Win32 order, with their ID* answers.
std::vector<std::pair<QString, int>> Buttons(std::uint32_t flags) {
    using namespace platform;
    switch (flags & 0x0F) {
        case kMbOkCancel: return {{QStringLiteral("OK"), kIdOk}, {QStringLiteral("Cancel"), kIdCancel}};
        case kMbAbortRetryIgnore:
            return {{QStringLiteral("&Abort"), kIdAbort}, {QStringLiteral("&Retry"), kIdRetry}, {QStringLiteral("&Ignore"), kIdIgnore}};
        case kMbYesNoCancel:
            return {{QStringLiteral("&Yes"), kIdYes}, {QStringLiteral("&No"), kIdNo}, {QStringLiteral("Cancel"), kIdCancel}};
        case kMbYesNo: return {{QStringLiteral("&Yes"), kIdYes}, {QStringLiteral("&No"), kIdNo}};
        case kMbRetryCancel: return {{QStringLiteral("&Retry"), kIdRetry}, {QStringLiteral("Cancel"), kIdCancel}};
        default: return {{QStringLiteral("OK"), kIdOk}};
    }
}

}  // namespace

int QtMessageBoxes::Show(std::string_view text, std::string_view caption, std::uint32_t flags) {
    using namespace platform;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (flags & 0xF0) {
        case kMbIconError: icon = QMessageBox::Critical; break;
        case kMbIconQuestion: icon = QMessageBox::Question; break;
        case kMbIconWarning: icon = QMessageBox::Warning; break;
        case kMbIconInformation: icon = QMessageBox::Information; break;
        default: break;
    }
    QMessageBox box(icon, FromUtf8(caption), FromUtf8(text), QMessageBox::NoButton, QApplication::activeWindow());
    std::vector<std::pair<QAbstractButton*, int>> answers;
    const auto buttons = Buttons(flags);
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        QPushButton* b = box.addButton(buttons[i].first, QMessageBox::ActionRole);
        answers.emplace_back(b, buttons[i].second);
        if (i == 0) box.setDefaultButton(b);
    }
    box.exec();
    for (const auto& [button, answer] : answers) {
        if (box.clickedButton() == button) return answer;
    }
    // Closed without a button (Escape / window close): Cancel where there is one.
    for (const auto& [label, answer] : buttons) {
        if (answer == kIdCancel) return kIdCancel;
    }
    return buttons.front().second;
}

}  // namespace korvane::app
