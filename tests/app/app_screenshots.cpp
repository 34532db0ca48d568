// Screenshots of the running application under a real X server (Xvfb): the main window
// in its default layout with a track open and a region selected, the same in the dB
// display, a densely cut track, the slice tool window, the Preferences dialog, the
// About box, the splash and the whole screen. PNGs go to
// KORVANE_SCREENSHOT_DIR; each one is checked to hold a picture, not a blank.
#include "app_fixture.h"
#include "app/frame/dialogs.h"
#include "resources/frame_resources.h"
#include "track/view/sample_editor_ctrl.h"

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
        // The layout a user gets: the frame's own placement, the track window as opened.
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().contains(frame.geometry()));
        frame.cdBar()->trackBox()->setCurrentIndex(0);
        frame.OnCommand(cmd::kReadTrack);
        QVERIFY(rig.View() != nullptr);
        rig.Select({2});
        frame.UpdateCommandUi();
        QTest::qWait(300);

        Keep(frame.grab(), "main_window.png");
        Keep(frame.sliceBar()->grab(), "tool_window.png");

        // The dB display with the threshold line.
        frame.OnDbDisplay();
        QVERIFY(rig.View()->editorCtrl().editor()->get_dbDisplay());
        QTest::qWait(200);
        Keep(frame.grab(), "db_display.png");
        frame.OnDbDisplay();

        // A dense track: a short release and a low threshold cut hundreds of regions.
        frame.sliceBar()->releaseSlider()->setValue(5);
        frame.sliceBar()->thresholdSlider()->setValue(-600);
        QVERIFY2(rig.View()->Regions().size() >= 140, qPrintable(QString::number(rig.View()->Regions().size())));
        QTest::qWait(200);
        Keep(frame.grab(), "dense_track.png");
        Keep(app::SplashBitmap(), "splash.png");

        bool preferencesShown = false;
        QTimer::singleShot(300, &frame, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            QVERIFY(dialog != nullptr);
            preferencesShown = true;
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
