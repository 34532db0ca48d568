// korvane: the application. KORVANE_SPLASH_MS shortens the splash pause (scripted runs);
// KORVANE_MESSAGE_LOG sends message boxes to a file instead of the screen.
#include "app/frame/message_log.h"
#include "app/qt_message_boxes.h"
#include "app/main/korvane_app.h"
#include "platform/machine/restart.h"
#include "platform/paths/paths.h"
#include "platform/ui/ui.h"
#include "platform/version/version_record.h"
#include "resources/strings.h"

#include <QApplication>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string_view>

// The version resource of the executable: 1.0.0.1, "Korvane executable".
KORVANE_VERSION_RECORD(1, 0, 0, 1, "Korvane executable");

namespace {

int SplashMilliseconds() {
    const char* text = std::getenv("KORVANE_SPLASH_MS");
    if (text == nullptr) return 2000;
    const std::string_view value(text);
    int ms = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), ms);
    if (error != std::errc{} || end != value.data() + value.size() || ms < 0) return 2000;
    return ms;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvane"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.0.1"));
    if (const char* log = std::getenv("KORVANE_MESSAGE_LOG"); log != nullptr && *log != '\0') {
        korvane::platform::SetMessageBoxHandler(std::make_shared<korvane::app::MessageLogBoxes>(log));
    } else {
        korvane::platform::SetMessageBoxHandler(std::make_shared<korvane::app::QtMessageBoxes>());
    }

    korvane::app::CKorvaneApp app;
    korvane::app::StartupSeams seams;
    seams.splashMs = SplashMilliseconds();
    korvane::app::CreateResult result;
    try {
        // A restart an installation asked for happens before the application touches the machine.
        korvane::platform::RestartIfRequested(korvane::platform::MachineRoot::FromEnvironment(), "korvane", std::cerr);
        result = app.InitInstance(std::move(seams), QApplication::arguments());
    } catch (const std::exception& failed) {
        // The machine root or its registry cannot be used: say why instead of aborting.
        korvane::platform::MessageBox(failed.what(), korvane::resources::kAppTitle,
                                      korvane::platform::kMbOk | korvane::platform::kMbIconError);
        return 1;
    }
    switch (result) {
        case korvane::app::CreateResult::kExitProcess:
            // A fatal start-up condition: end at once, without destructors and without
            // storing anything.
            std::fflush(nullptr);
            std::_Exit(0);
        case korvane::app::CreateResult::kFailed:
            return 1;
        case korvane::app::CreateResult::kCreated:
            break;
    }
    const int code = QApplication::exec();
    app.DestroyMainFrame();
    return code;
}
