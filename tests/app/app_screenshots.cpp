// Screenshots of the running application under a real X server (Xvfb): the main window
// in its default layout with a track open and a region selected, the same in the dB
// display, a densely cut track, the slice tool window, the Preferences dialog, the
// About box, the splash and the whole screen. PNGs go to KORVANE_SCREENSHOT_DIR. Each
// one is checked to show what it names: the main window changes where the track is
// drawn once it is read, the dialogs carry their titles.
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

// A 16-bit stereo 44100 Hz WAV file: a 20 ms burst every `periodSeconds`.
void WriteClickTrack(const std::filesystem::path& path, double seconds, double periodSeconds) {
    const auto frames = static_cast<std::uint32_t>(seconds * 44100);
    const auto period = static_cast<std::uint32_t>(periodSeconds * 44100);
    std::vector<std::int16_t> samples(std::size_t{frames} * 2, 0);
    for (std::uint32_t f = 0; f < frames; ++f) {
        const auto value = static_cast<std::int16_t>(f / 25 % 2 ? 14000 : -14000);  // about 880 Hz
        if (f % period < 882) samples[2 * f] = samples[2 * f + 1] = value;
    }
    WriteWav(path, samples, 44100, 2);
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
        QTest::qWait(100);
        const QImage empty = frame.grab().toImage();
        frame.cdBar()->trackBox()->setCurrentIndex(0);
        frame.OnCommand(cmd::kReadTrack);
        QVERIFY(rig.View() != nullptr);
        rig.Select({2});
        frame.UpdateCommandUi();
        QTest::qWait(300);

        const QPixmap main = frame.grab();
        Keep(main, "main_window.png");
        QCOMPARE(main.size(), empty.size());
        QVERIFY2(main.toImage() != empty, "the track was read but the main window looks the same");
        Keep(frame.sliceBar()->grab(), "tool_window.png");

        // The dB display with the threshold line.
        frame.OnDbDisplay();
        QVERIFY(rig.View()->editorCtrl().editor()->get_dbDisplay());
        QTest::qWait(200);
        Keep(frame.grab(), "db_display.png");
        frame.OnDbDisplay();

        // A dense track in a second window (the first stays, dimmed): clicks every 120 ms
        // and a short release cut hundreds of regions.
        const auto dense = rig.Root() / "clicks.wav";
        WriteClickTrack(dense, 60.0, 0.12);
        rig.dialogs->open.push_back(dense);
        frame.OnCommand(cmd::kFileOpen);
        QCOMPARE(frame.childFrames().size(), std::size_t{2});
        frame.sliceBar()->releaseSlider()->setValue(5);
        frame.sliceBar()->thresholdSlider()->setValue(-300);
        QVERIFY2(rig.View()->Regions().size() >= 140, qPrintable(QString::number(rig.View()->Regions().size())));
        QTest::qWait(200);
        Keep(frame.grab(), "dense_track.png");
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
