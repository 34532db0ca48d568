#include "app/frame/qt_message_boxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <cstdio>
#include <memory>
#include <stdexcept>

namespace korvane::app {

QtMessageBoxes::QtMessageBoxes(std::string logFile) : logFile_(std::move(logFile)) {}

int QtMessageBoxes::FirstButton(std::uint32_t flags) noexcept {
    switch (flags & 0xF) {
        case platform::kMbOkCancel: return platform::kIdOk;
        case platform::kMbAbortRetryIgnore: return platform::kIdAbort;
        case platform::kMbYesNoCancel:
        case platform::kMbYesNo: return platform::kIdYes;
        case platform::kMbRetryCancel: return platform::kIdRetry;
        default: return platform::kIdOk;
    }
}

int QtMessageBoxes::Show(std::string_view text, std::string_view caption, std::uint32_t flags) {
    if (!logFile_.empty()) {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> log(std::fopen(logFile_.c_str(), "a"), &std::fclose);
        if (!log) throw std::runtime_error("cannot append to the message log " + logFile_);
        // One record: caption, flags, the text; records end with a line of "--".
        std::fprintf(log.get(), "%.*s|%u\n%.*s\n--\n", static_cast<int>(caption.size()), caption.data(),
                     static_cast<unsigned>(flags), static_cast<int>(text.size()), text.data());
        return FirstButton(flags);
    }

    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));
    box.setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    switch (flags & 0xF0) {
        case platform::kMbIconError: box.setIcon(QMessageBox::Critical); break;
        case platform::kMbIconQuestion: box.setIcon(QMessageBox::Question); break;
        case platform::kMbIconWarning: box.setIcon(QMessageBox::Warning); break;
        case platform::kMbIconInformation: box.setIcon(QMessageBox::Information); break;
        default: box.setIcon(QMessageBox::NoIcon); break;
    }
    struct Button {
        QMessageBox::StandardButton qt;
        int answer;
    };
    std::vector<Button> buttons;
    switch (flags & 0xF) {
        case platform::kMbOkCancel:
            buttons = {{QMessageBox::Ok, platform::kIdOk}, {QMessageBox::Cancel, platform::kIdCancel}};
            break;
        case platform::kMbAbortRetryIgnore:
            buttons = {{QMessageBox::Abort, platform::kIdAbort}, {QMessageBox::Retry, platform::kIdRetry},
                       {QMessageBox::Ignore, platform::kIdIgnore}};
            break;
        case platform::kMbYesNoCancel:
            buttons = {{QMessageBox::Yes, platform::kIdYes}, {QMessageBox::No, platform::kIdNo},
                       {QMessageBox::Cancel, platform::kIdCancel}};
            break;
        case platform::kMbYesNo:
            buttons = {{QMessageBox::Yes, platform::kIdYes}, {QMessageBox::No, platform::kIdNo}};
            break;
        case platform::kMbRetryCancel:
            buttons = {{QMessageBox::Retry, platform::kIdRetry}, {QMessageBox::Cancel, platform::kIdCancel}};
            break;
        default:
            buttons = {{QMessageBox::Ok, platform::kIdOk}};
            break;
    }
    QMessageBox::StandardButtons set;
    for (const Button& b : buttons) set |= b.qt;
    box.setStandardButtons(set);
    box.setDefaultButton(buttons.front().qt);
    const int pressed = box.exec();
    for (const Button& b : buttons) {
        if (pressed == b.qt) return b.answer;
    }
    // Closed with Escape or the title bar: the Cancel answer where there is one.
    for (const Button& b : buttons) {
        if (b.answer == platform::kIdCancel || b.answer == platform::kIdNo) return b.answer;
    }
    return buttons.front().answer;
}

}  // namespace korvane::app
