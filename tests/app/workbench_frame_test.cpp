// The main frame as a slicing workbench: the transport keys with the enable rules of the
// menu, windows that fit the screen and the workspace, the export summary and the live
// region count of the slice tool window.
#include "app_fixture.h"
#include "playback/sound_player.h"
#include "resources/frame_resources.h"
#include "track/view/sample_editor_ctrl.h"

#include <QLabel>
#include <QMdiArea>
#include <QScreen>
#include <QSlider>
#include <QStatusBar>
#include <QtTest>
#include <set>

using namespace korvane;
using namespace korvane::testing;
namespace cmd = korvane::resources::cmd;

namespace {

bool Streaming(const AppRig& rig) { return rig.frame().services().soundPlayer->IsStreaming(); }

void ReadTrack(AppRig& rig, int line) {
    rig.frame().cdBar()->trackBox()->setCurrentIndex(line);
    rig.frame().OnCommand(cmd::kReadTrack);
    QVERIFY(rig.View() != nullptr);
}

QRect GlobalRect(const QWidget* w) { return QRect(w->mapToGlobal(QPoint(0, 0)), w->size()); }

}  // namespace

class WorkbenchFrameTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { UseTestEnvironment(); }

    void transportKeysFollowTheMenuRules() {
        AppRig rig;
        QCOMPARE(rig.Start(), app::CreateResult::kCreated);
        app::CMainFrame& frame = rig.frame();
        frame.show();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        ReadTrack(rig, 0);
        QVERIFY(rig.View()->Regions().size() >= 3);
        frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        QWidget* list = rig.View()->regionList();
        list->setFocus();

        // Nothing selected: Space and L are disabled like Play and Loop.
        rig.View()->SelectRegions({});
        frame.UpdateCommandUi();
        QTest::keyClick(list, Qt::Key_Space);
        QTest::keyClick(list, Qt::Key_L);
        QVERIFY(!Streaming(rig));
        // Two selected: still nothing plays, from the keys or from Return.
        rig.Select({0, 1});
        QTest::keyClick(list, Qt::Key_L);
        QTest::keyClick(list, Qt::Key_Return);
        QVERIFY(!Streaming(rig));
        // One selected: Space plays, Space again stops; L loops, Esc stops; Return plays.
        rig.Select({1});
        QVERIFY(rig.Enabled(cmd::kPlay));
        QTest::keyClick(list, Qt::Key_Space);
        QVERIFY(Streaming(rig));
        QTest::keyClick(list, Qt::Key_Space);
        QVERIFY(!Streaming(rig));
        QTest::keyClick(list, Qt::Key_L);
        QVERIFY(Streaming(rig));
        QTest::keyClick(list, Qt::Key_Escape);
        QVERIFY(!Streaming(rig));
        QTest::keyClick(list, Qt::Key_Return);
        QVERIFY(Streaming(rig));
        frame.OnCommand(cmd::kStop);
        QVERIFY(!Streaming(rig));
        QCOMPARE(rig.View()->SelectedRegionIndices(), std::vector<int>{1});
    }

    void windowsFitTheScreenAndTheWorkspace() {
        AppRig rig;
        QCOMPARE(rig.Start(), app::CreateResult::kCreated);
        app::CMainFrame& frame = rig.frame();
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        // Most of the screen, from inside its work area (a screen narrower than the bars
        // gets the frame's smallest size).
        QVERIFY(screen.contains(frame.geometry().topLeft()));
        QVERIFY(frame.width() >= screen.width() * 8 / 10 && frame.height() >= screen.height() * 8 / 10);
        if (frame.minimumSizeHint().width() <= screen.width()) QVERIFY(screen.contains(frame.geometry()));

        ReadTrack(rig, 0);
        ReadTrack(rig, 1);
        frame.OnCommand(cmd::kWindowNew);
        QCOMPARE(frame.childFrames().size(), std::size_t{3});
        const QRect workspace = frame.mdiArea()->viewport()->rect();
        std::set<std::pair<int, int>> corners;
        for (app::CChildFrame* child : frame.childFrames()) {
            QVERIFY2(workspace.contains(child->geometry()), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                                        .arg(child->x()).arg(child->y())
                                                                        .arg(child->width()).arg(child->height())));
            corners.insert({child->x(), child->y()});
        }
        QCOMPARE(corners.size(), std::size_t{3});  // cascaded, not stacked
        // The tool window covers no part of the active waveform.
        QVERIFY(frame.sliceBar()->isVisible());
        QVERIFY(!GlobalRect(frame.sliceBar()).intersects(GlobalRect(rig.View()->editorCtrl().widget())));
    }

    void theToolWindowCountsRegionsAndExportReportsWhatItWrote() {
        AppRig rig;
        QCOMPARE(rig.Start(), app::CreateResult::kCreated);
        app::CMainFrame& frame = rig.frame();
        QLabel* count = frame.sliceBar()->regionCountLabel();
        frame.UpdateCommandUi();
        QVERIFY(count->text().isEmpty());
        ReadTrack(rig, 0);
        frame.UpdateCommandUi();
        QCOMPARE(count->text(), QStringLiteral("%1 regions").arg(rig.View()->Regions().size()));
        frame.sliceBar()->thresholdSlider()->setValue(0);
        QVERIFY(rig.View()->Regions().empty());  // nothing reaches full scale
        QCOMPARE(count->text(), QStringLiteral("no region reaches the threshold"));
        frame.sliceBar()->thresholdSlider()->setValue(-360);

        const auto folder = rig.Root() / "out";
        std::filesystem::create_directories(folder);
        rig.dialogs->exportTo.push_back(folder / "region.wav");
        rig.Select({0, 1, 2});
        frame.OnCommand(cmd::kExportWav);
        QVERIFY(std::filesystem::exists(folder / "region3.wav"));
        QCOMPARE(frame.statusBar()->currentMessage(),
                 QStringLiteral("3 regions written to ") + QString::fromStdString(folder.string()));
    }
};

QTEST_MAIN(WorkbenchFrameTest)
#include "workbench_frame_test.moc"
