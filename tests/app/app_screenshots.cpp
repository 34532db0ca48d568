// Screenshots of the running application under a real X server (Xvfb): the main window
// with a track open and a region selected, the slice tool window, the Preferences
// dialog, the About box, the splash and the whole screen. PNGs go to
// KORVANE_SCREENSHOT_DIR. Each one is checked to show what it names: the main window
// changes where the track is drawn once it is read, the dialogs carry their titles.
#include "app_fixture.h"
#include "app/frame/dialogs.h"
#include "resources/frame_resources.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QScreen>
#include <QTimer>
#include <QtTest>
#include <set>

using namespace korvane;
using namespace korvane::testing;
namespace cmd = korvane::resources::cmd;

namespace {

QString ShotPath(const char* name) { return QDir(QStringLiteral(KORVANE_SCREENSHOT_DIR)).filePath(name); }

// Saves the picture and checks it shows something: a reasonable size, many colours.
void Keep(const QPixmap& pixmap, const char* name) {
    QVERIFY2(!pixmap.isNull(), name);
    QVERIFY2(pixmap.save(ShotPath(name)), name);
    const QImage image = pixmap.toImage();
    QVERIFY2(image.width() >= 150 && image.height() >= 80, name);
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3) colours.insert(image.pixel(x, y));
    QVERIFY2(colours.size() >= 4, name);
}

}  // namespace

class AppScreenshots : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        UseTestEnvironment();
        QVERIFY(QDir().mkpath(QStringLiteral(KORVANE_SCREENSHOT_DIR)));
    }

    void mainWindowToolWindowAndDialogs() {
        AppRig rig;
        QCOMPARE(rig.Start(), app::CreateResult::kCreated);
        app::CMainFrame& frame = rig.frame();
        frame.resize(1180, 760);
        frame.move(20, 20);
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QTest::qWait(100);
        const QImage empty = frame.grab().toImage();
        frame.cdBar()->trackBox()->setCurrentIndex(0);
        frame.OnCommand(cmd::kReadTrack);
        QVERIFY(rig.View() != nullptr);
        frame.activeChild()->showMaximized();
        rig.Select({2});
        frame.UpdateCommandUi();
        frame.sliceBar()->move(frame.geometry().right() - 380, frame.geometry().top() + 150);
        QTest::qWait(300);

        const QPixmap main = frame.grab();
        Keep(main, "main_window.png");
        QCOMPARE(main.size(), empty.size());
        QVERIFY2(main.toImage() != empty, "the track was read but the main window looks the same");
        Keep(frame.sliceBar()->grab(), "tool_window.png");
        Keep(app::SplashBitmap(), "splash.png");

        bool preferencesShown = false;
        QTimer::singleShot(300, &frame, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            QVERIFY(dialog != nullptr);
            preferencesShown = true;
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Preferences"));
            Keep(dialog->grab(), "preferences.png");
            dialog->close();
        });
        frame.OnCommand(cmd::kPreferences);
        QVERIFY(preferencesShown);

        bool aboutShown = false;
        QTimer::singleShot(300, &frame, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            QVERIFY(dialog != nullptr);
            aboutShown = true;
            QVERIFY(dialog->windowTitle().startsWith(QStringLiteral("About")));
            Keep(dialog->grab(), "about.png");
            dialog->close();
        });
        frame.OnCommand(cmd::kAppAbout);
        QVERIFY(aboutShown);

        QTest::qWait(200);
        if (QScreen* screen = QGuiApplication::primaryScreen()) Keep(screen->grabWindow(0), "screen.png");
    }
};

QTEST_MAIN(AppScreenshots)
#include "app_screenshots.moc"
