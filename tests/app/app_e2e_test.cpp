// The whole application end to end under the offscreen platform: start-up on the demo
// disc, Read Track, slicing, the enable rules, playback on the recording virtual device,
// export, close, exit, and the start-up paths that end the program or run without CD
// access (the wrong platform family is run as a real process in program_test.cpp).
#include "app/frame/cd_source.h"
#include "app/frame/machine_cd_source.h"
#include "app_fixture.h"
#include "app/preferences.h"
#include "cdda/toc.h"
#include "platform/aspi/demo_disc.h"
#include "platform/aspi/environment.h"
#include "platform/aspi/simulated_drive.h"
#include "tests/cdda/reader_fixture.h"
#include "tests/support/test_disc.h"
#include "playback/sound_player.h"
#include "regions/demo_signal.h"
#include "resources/frame_resources.h"
#include "resources/strings.h"
#include "track/view/sample_editor_ctrl.h"

#include <QApplication>
#include <QCheckBox>
#include <QDropEvent>
#include <QMimeData>
#include <cerrno>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>

#include <fstream>
#include <set>

using namespace korvane;
using namespace korvane::testing;
namespace cmd = korvane::resources::cmd;
namespace fs = std::filesystem;

namespace {

QStringList MenuTitles(QMenuBar* bar) {
    QStringList titles;
    for (QAction* a : bar->actions()) titles << a->text();
    return titles;
}

QStringList MenuItems(QMenuBar* bar) {
    QStringList items;
    for (QAction* menu : bar->actions())
        for (QAction* item : menu->menu()->actions()) items << item->text();
    return items;
}

// The items of the frame's menu `menuId` and its toolbar buttons that show no prompt in
// the status bar.
QStringList Unprompted(app::CMainFrame& frame, std::uint32_t menuId) {
    std::vector<std::uint32_t> ids(resources::FrameToolbar().begin(), resources::FrameToolbar().end());
    for (const auto& popup : resources::FrameMenu(menuId))
        for (const auto& item : popup.items) ids.push_back(item.id);
    QStringList missing;
    for (std::uint32_t id : ids) {
        if (id != 0 && frame.action(id)->statusTip().isEmpty()) missing << frame.action(id)->text();  // 0: separator
    }
    // The View menu's own items beside the table's (dB display, follow the cursor).
    for (QAction* menu : frame.menuBar()->actions()) {
        if (menu->text() != QStringLiteral("&View")) continue;
        for (QAction* item : menu->menu()->actions())
            if (!item->isSeparator() && item->statusTip().isEmpty()) missing << item->text();
    }
    return missing;
}

QStringList DemoTrackLines() {
    QStringList lines;
    int n = 1;
    for (std::uint32_t seconds : aspi::DemoDisc::TrackSeconds()) {
        const std::uint32_t sectors = seconds * 75 + aspi::DemoDisc::kPauseSectors;
        lines << QString::fromStdString(cdda::FormatTrackLine(n++, sectors));
    }
    return lines;
}

std::uint32_t DemoTrackSectors(int line) {
    return aspi::DemoDisc::TrackSeconds()[static_cast<std::size_t>(line)] * 75 + aspi::DemoDisc::kPauseSectors;
}

std::string Text(std::uint32_t id) { return std::string(resources::LoadAppString(id)); }

// A CD layer with the drives it is given (one by default) and two tracks, whose reads
// fail as told; it records how it was asked.
class ScriptedSource : public app::CdSource {
public:
    enum class Failure { kUnusableImage, kStaleLine, kFile, kCancelWhileWaiting };
    std::vector<std::string> drives = {"D:  TEST     DRIVE           "};
    Failure failure = Failure::kUnusableImage;
    std::vector<bool> scansQuiet;
    int trackListCalls = 0;
    int reads = 0;
    QString waitingLabel;

    bool Available() const override { return true; }
    std::vector<std::string> ScanDrives(bool quiet) override {
        scansQuiet.push_back(quiet);
        return drives;
    }
    std::vector<std::string> TrackLines(int, bool) override {
        ++trackListCalls;
        return {"Track #1 - 0:00:10.00", "Track #2 - 0:00:20.00"};
    }
    std::optional<fs::path> ReadTrack(int, int, const std::string&, const fs::path&,
                                      const app::ReadProgress& progress) override {
        ++reads;
        switch (failure) {
            case Failure::kUnusableImage: throw app::CdError("the disc image cannot be used: line 3: no FILE");
            case Failure::kCancelWhileWaiting: return WaitAndCancel(progress);
            case Failure::kStaleLine: throw app::CdTrackListOutOfDate("the disc in the drive has changed");
            case Failure::kFile: throw std::runtime_error("C:\\WINDOWS\\TEMP: No space left on device");
        }
        return std::nullopt;
    }

private:
    // A drive spinning up: the dialog says so while the wait lasts, and its Cancel ends it.
    std::optional<fs::path> WaitAndCancel(const app::ReadProgress& progress) {
        if (!progress.waiting(true)) return std::nullopt;
        auto* dialog = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) throw std::runtime_error("no progress dialog while waiting");
        waitingLabel = dialog->labelText();
        dialog->cancel();
        if (progress.waiting(true)) throw std::runtime_error("Cancel did not end the wait");
        progress.waiting(false);
        return std::nullopt;
    }
};

}  // namespace

class AppEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { UseTestEnvironment(); }

    void startupScansTheDemoDiscOpensNothingAndTheBarsKeysAndHelpWork() {
        AppRig rig;
        const fs::path help = rig.Root() / "Korvane.hlp";
        std::ofstream(help) << "help";
        app::StartupSeams seams = rig.Seams();
        seams.helpFile = help;
        QCOMPARE(rig.app->InitInstance(seams, {QStringLiteral("korvane"), QStringLiteral("/tmp/some.wav")}),
                 app::CreateResult::kCreated);
        app::CMainFrame& frame = rig.frame();
        QVERIFY(frame.isVisible());
        QVERIFY(frame.childFrames().empty());
        QCOMPARE(frame.currentMenuId(), resources::kIdrMainFrame);
        QCOMPARE(MenuTitles(frame.menuBar()), (QStringList{"&File", "&View", "&Help"}));
        QVERIFY(!MenuItems(frame.menuBar()).contains(QStringLiteral("Export .WAV...")));
        QCOMPARE(Unprompted(frame, resources::kIdrMainFrame).join(","), QString());
        QCOMPARE(frame.windowTitle(), QStringLiteral("Korvane"));

        const QStringList drives = rig.Lines(frame.cdBar()->driveBox());
        QCOMPARE(drives.size(), 1);
        QVERIFY2(drives[0].startsWith(QStringLiteral("D:  ")), qPrintable(drives[0]));
        QCOMPARE(rig.Lines(frame.cdBar()->trackBox()), DemoTrackLines());
        QCOMPARE(frame.cdBar()->trackBox()->currentIndex(), 0);
        QCOMPARE(frame.statusBar()->currentMessage(), QStringLiteral("Ready"));
        QVERIFY(rig.boxes->ShownBoxes().empty());
        QVERIFY(rig.TempFiles().empty());

        // The tool window is docked at the right and shown. (The settings written at the
        // first start are checked on the program in program_test.)
        QVERIFY(!frame.sliceBar()->isFloating());
        QCOMPARE(frame.dockWidgetArea(frame.sliceBar()), Qt::RightDockWidgetArea);
        QVERIFY(frame.sliceBar()->isVisible());
        QCOMPARE(frame.sliceBar()->windowTitle(), QStringLiteral("Make Slices"));
        QCOMPARE(frame.sliceBar()->releaseMs(), 750);

        // A button's prompt: the status-bar text and the tooltip.
        QCOMPARE(frame.action(cmd::kPlay)->statusTip(), QStringLiteral("play region one-shot"));
        QCOMPARE(frame.action(cmd::kPlay)->toolTip(), QStringLiteral("play"));

        // Refresh replaces the list instead of adding the drives again.
        frame.OnCommand(cmd::kRefresh);
        QCOMPARE(rig.Lines(frame.cdBar()->driveBox()), drives);
        QCOMPARE(rig.Lines(frame.cdBar()->trackBox()), DemoTrackLines());

        // The Tool Window command with its check mark.
        QAction* toggle = frame.action(cmd::kToolWindow);
        QVERIFY(toggle->isChecked());
        frame.OnCommand(cmd::kToolWindow);
        QVERIFY(frame.sliceBar()->isHidden());
        QVERIFY(!toggle->isChecked());
        frame.OnCommand(cmd::kToolWindow);
        QVERIFY(!frame.sliceBar()->isHidden());
        QVERIFY(toggle->isChecked());

        // The lock keys light their panes, in the order of the indicators.
        QVERIFY(frame.indicatorPane(0)->text().isEmpty());
        QTest::keyClick(&frame, Qt::Key_CapsLock);
        QCOMPARE(frame.indicatorPane(0)->text(), QStringLiteral("CAP"));
        QTest::keyClick(&frame, Qt::Key_ScrollLock);
        QCOMPARE(frame.indicatorPane(2)->text(), QStringLiteral("SCRL"));
        QTest::keyClick(&frame, Qt::Key_CapsLock);
        QVERIFY(frame.indicatorPane(0)->text().isEmpty());
        QVERIFY(frame.indicatorPane(1)->text().isEmpty());

        // The Status Bar command with its check mark.
        frame.OnCommand(cmd::kViewStatusBar);
        QVERIFY(frame.statusBar()->isHidden());
        QVERIFY(!frame.action(cmd::kViewStatusBar)->isChecked());
        frame.OnCommand(cmd::kViewStatusBar);
        QVERIFY(!frame.statusBar()->isHidden());

        // Help Topics opens the help file; a missing one is reported with its path.
        frame.OnCommand(cmd::kHelpFinder);
        QCOMPARE(rig.helpOpened, std::vector<fs::path>{help});
        fs::remove(help);
        frame.OnCommand(cmd::kHelpFinder);
        QCOMPARE(rig.helpOpened.size(), std::size_t{1});
        QCOMPARE(rig.boxes->ShownBoxes().size(), std::size_t{1});
        QVERIFY(rig.boxes->ShownBoxes()[0].text.find(help.string()) != std::string::npos);

        // The help file beside an executable, found without regard to case.
        QTemporaryDir bin;
        const fs::path exe = fs::path(bin.path().toStdString()) / "korvane";
        std::ofstream(fs::path(bin.path().toStdString()) / "KORVANE.HLP") << "x";
        QCOMPARE(app::HelpFileFor(exe).filename().string(), std::string("KORVANE.HLP"));

        // The About box: caption, the version line, OK closes it.
        QTimer::singleShot(0, &frame, [] {
            QWidget* about = QApplication::activeModalWidget();
            QVERIFY(about != nullptr);
            QCOMPARE(about->windowTitle(), QStringLiteral("About Korvane"));
            QVERIFY(about->findChildren<QLabel*>().size() >= 3);
            QCOMPARE(about->findChildren<QLabel*>()[0]->text(), QStringLiteral("Korvane Version 1.0"));
            about->close();
        });
        frame.OnCommand(cmd::kAppAbout);
    }

    void exportWritesTheSelectedRegionsAndSliderStepsReslice() {
        AppRig rig;
        QCOMPARE(rig.Start(), app::CreateResult::kCreated);
        app::CMainFrame& frame = rig.frame();
        QLabel* count = frame.sliceBar()->regionCountLabel();
        frame.UpdateCommandUi();
        QVERIFY(count->text().isEmpty());
        frame.OnCommand(cmd::kReadTrack);
        trackview::CKorvaneView* view = rig.View();
        QVERIFY(view != nullptr && view->Regions().size() >= 3);
        const fs::path trackFile = frame.activeChild()->document().GetPathName();

        QTemporaryDir out;
        const fs::path chosen = fs::path(out.path().toStdString()) / "kick.wav";
        rig.dialogs->exportTo.push_back(chosen);
        rig.Select({0, 2});
        frame.action(cmd::kExportWav)->trigger();
        const Region regions[] = {view->Regions()[0], view->Regions()[2]};
        for (int k = 0; k < 2; ++k) {
            const fs::path file = fs::path(out.path().toStdString()) / ("kick" + std::to_string(k + 1) + ".wav");
            QVERIFY2(fs::exists(file), file.c_str());
            const std::uint64_t bytes = std::uint64_t{regions[k].length} * 16;
            QCOMPARE(fs::file_size(file), 46 + bytes);
            QVERIFY(ReadBytes(file, 46, bytes) == ReadBytes(trackFile, std::uint64_t{regions[k].start} * 16, bytes));
        }
        QVERIFY(!fs::exists(chosen));
        QVERIFY(rig.boxes->ShownBoxes().empty());
        QCOMPARE(frame.statusBar()->currentMessage(), QStringLiteral("2 regions written to ") + out.path());
        // Cancelled file dialog: nothing more is written.
        frame.action(cmd::kExportWav)->trigger();
        QCOMPARE(static_cast<int>(std::distance(fs::directory_iterator(out.path().toStdString()), {})), 2);

        // The tool window counts the regions; a very short release time lets every little
        // dip start a new region.
        const std::size_t atDefault = view->Regions().size();
        frame.UpdateCommandUi();
        QCOMPARE(count->text(), QStringLiteral("%1 regions").arg(atDefault));
        frame.sliceBar()->releaseSlider()->setValue(5);
        QCOMPARE(frame.sliceBar()->releaseMs(), 5);
        QVERIFY2(view->Regions().size() > atDefault,
                 qPrintable(QStringLiteral("%1 -> %2").arg(atDefault).arg(view->Regions().size())));
        QCOMPARE(view->regionList()->model()->rowCount(), static_cast<int>(view->Regions().size()));
        // A threshold at full scale finds nothing to cut, and the tool window says so.
        frame.sliceBar()->thresholdSlider()->setValue(0);
        QVERIFY(view->Regions().empty());
        QCOMPARE(count->text(), QStringLiteral("no region reaches the threshold"));
        QCOMPARE(frame.preferences().releaseMs(), 5);
    }

    void readTrackOpensADocumentClosingDeletesItsFileAndExitStoresTheParameters() {
        AppRig rig;
        QCOMPARE(rig.Start(), app::CreateResult::kCreated);
        app::CMainFrame& frame = rig.frame();
        // Without a document: play, loop, export and the window commands disabled, stop
        // enabled and harmless.
        QVERIFY(!rig.Enabled(cmd::kPlay) && !rig.Enabled(cmd::kLoop) && !rig.Enabled(cmd::kExportWav));
        QVERIFY(!rig.Enabled(cmd::kWindowNew) && !rig.Enabled(cmd::kWindowTile));
        QVERIFY(rig.Enabled(cmd::kStop) && rig.Enabled(cmd::kPreferences) && rig.Enabled(cmd::kToolWindow));
        frame.OnCommand(cmd::kStop);

        // Cancel in the progress dialog during a read leaves nothing behind.
        bool cancelled = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, &frame, [&] {
            if (auto* dialog = frame.findChild<QProgressDialog*>(QStringLiteral("ReadTrackProgress"))) {
                if (dialog->value() > 0 && !cancelled) {
                    dialog->cancel();
                    cancelled = true;
                }
            }
        });
        poll.start(0);
        frame.cdBar()->trackBox()->setCurrentIndex(3);  // the longest track
        frame.OnCommand(cmd::kReadTrack);
        poll.stop();
        QVERIFY(cancelled);
        QVERIFY(frame.childFrames().empty());
        QVERIFY(rig.TempFiles().empty());
        QCOMPARE(frame.statusBar()->currentMessage(), QString::fromStdString(Text(resources::kIdsReadTrackCancelled)));
        QVERIFY(rig.boxes->ShownBoxes().empty());

        // A read opens the track file (2,646 bytes per sector) as a document titled with
        // its Track box line, under the document menu.
        frame.cdBar()->trackBox()->setCurrentIndex(1);
        frame.OnCommand(cmd::kReadTrack);
        QCOMPARE(frame.childFrames().size(), std::size_t{1});
        app::CChildFrame* child = frame.activeChild();
        const QString line = frame.cdBar()->trackBox()->itemText(1);
        QCOMPARE(QString::fromStdString(child->document().GetTitle()), line);
        QCOMPARE(child->windowTitle(), line);
        QCOMPARE(frame.windowTitle(), QStringLiteral("Korvane - ") + line);
        QCOMPARE(frame.currentMenuId(), resources::kIdrKorvaType);
        QCOMPARE(MenuTitles(frame.menuBar()), (QStringList{"&File", "&View", "&Play", "&Window", "&Help"}));
        QVERIFY(MenuItems(frame.menuBar()).contains(QStringLiteral("Export .WAV...")));
        QCOMPARE(Unprompted(frame, resources::kIdrKorvaType).join(","), QString());
        const fs::path first = child->document().GetPathName();
        QCOMPARE(rig.TempFiles(), std::vector<fs::path>{first});
        QVERIFY(first.filename().string().rfind("~krvn", 0) == 0);
        QCOMPARE(fs::file_size(first), std::uintmax_t{2646} * DemoTrackSectors(1));
        QCOMPARE(rig.View()->OverviewCount(), 147u * DemoTrackSectors(1));

        // A second window on the same document keeps the file until both are closed.
        frame.OnCommand(cmd::kWindowNew);
        QCOMPARE(frame.childFrames().size(), std::size_t{2});
        frame.activeChild()->close();
        QCoreApplication::processEvents();
        QVERIFY(fs::exists(first));
        frame.activeChild()->close();
        QTRY_VERIFY(frame.childFrames().empty());
        QVERIFY(!fs::exists(first));
        QTRY_COMPARE(frame.currentMenuId(), resources::kIdrMainFrame);
        QCOMPARE(frame.windowTitle(), QStringLiteral("Korvane"));

        // A document still open at exit loses its file too.
        frame.OnCommand(cmd::kReadTrack);
        QCOMPARE(rig.TempFiles().size(), std::size_t{1});
        frame.sliceBar()->releaseSlider()->setValue(123);
        frame.sliceBar()->thresholdSlider()->setValue(-200);
        frame.close();
        rig.app->DestroyMainFrame();
        QVERIFY(rig.TempFiles().empty());
        auto store = platform::RegistryStore::Open(rig.Root() / "registry.db");
        auto key = store->OpenKey(platform::RootKey::LocalMachine, app::CPreferencesDlg::kKeyPath);
        QVERIFY(key.has_value());
        QCOMPARE(key->QueryDword(app::CPreferencesDlg::kReleaseValue).value_or(0), 123u);
        QCOMPARE(key->QueryDword(app::CPreferencesDlg::kThresholdValue).value_or(0), 200u);
    }

    void newOpenAndSaveKeepTheUsersFiles() {
        AppRig rig;
        QCOMPARE(rig.Start(), app::CreateResult::kCreated);
        app::CMainFrame& frame = rig.frame();
        QVERIFY(!rig.Enabled(cmd::kFileSave));
        // Ctrl+N: an untitled document without a file; nothing to play, export or save.
        frame.OnCommand(cmd::kFileNew);
        QCOMPARE(frame.childFrames().size(), std::size_t{1});
        QCOMPARE(frame.activeChild()->windowTitle(), QStringLiteral("Korva1"));
        QVERIFY(frame.activeChild()->document().GetPathName().empty());
        QVERIFY(!rig.Enabled(cmd::kPlay) && !rig.Enabled(cmd::kExportWav));
        frame.OnCommand(cmd::kFileSave);
        QCOMPARE(rig.dialogs->asked, 0);
        frame.activeChild()->close();
        QTRY_VERIFY(frame.childFrames().empty());

        // Save writes a read track elsewhere and keeps the track file.
        frame.OnCommand(cmd::kReadTrack);
        const fs::path read = frame.activeChild()->document().GetPathName();
        const auto readBytes = fs::file_size(read);
        QTemporaryDir mine;
        const fs::path saved = fs::path(mine.path().toStdString()) / "whole.wav";
        rig.dialogs->save.push_back(saved);
        QVERIFY(rig.Enabled(cmd::kFileSave));
        frame.action(cmd::kFileSave)->trigger();
        QCOMPARE(fs::file_size(saved), 46 + readBytes - readBytes / 9);
        QCOMPARE(fs::file_size(read), readBytes);

        // A track file the user keeps elsewhere: opened, sliced, and left alone on close.
        const fs::path kept = fs::path(mine.path().toStdString()) / "kept.trk";
        fs::copy_file(read, kept);
        frame.activeChild()->close();
        QTRY_VERIFY(frame.childFrames().empty());
        rig.dialogs->open.push_back(kept);
        frame.OnCommand(cmd::kFileOpen);
        QCOMPARE(frame.childFrames().size(), std::size_t{1});
        QCOMPARE(frame.activeChild()->windowTitle(), QStringLiteral("kept.trk"));
        QVERIFY(!rig.View()->Regions().empty());
        frame.activeChild()->close();
        QTRY_VERIFY(frame.childFrames().empty());
        QVERIFY(fs::exists(kept));
        QVERIFY(rig.TempFiles().empty());
        // A cancelled open dialog opens nothing.
        frame.OnCommand(cmd::kFileOpen);
        QVERIFY(frame.childFrames().empty());
    }

    void openingOrDroppingAWavImportsItAndLeavesTheFileAlone() {
        // (What the import writes, and that the document owns only its copy, is checked
        // in tests/track; here the frame's paths reach it.)
        AppRig rig;
        QCOMPARE(rig.Start(), app::CreateResult::kCreated);
        app::CMainFrame& frame = rig.frame();
        QTemporaryDir mine;
        const fs::path wav = fs::path(mine.path().toStdString()) / "song.wav";
        const std::vector<std::byte> before = BuildWav(
            {.samples = demo::MakeDemoSignal({.seed = 7, .rateHz = 44100, .channelCount = 2, .durationSeconds = 12.0})});
        std::ofstream(wav, std::ios::binary).write(reinterpret_cast<const char*>(before.data()), std::ssize(before));

        rig.dialogs->open.push_back(wav);
        frame.OnCommand(cmd::kFileOpen);
        QCOMPARE(frame.childFrames().size(), std::size_t{1});
        QCOMPARE(frame.activeChild()->windowTitle(), QStringLiteral("song.wav"));
        QCOMPARE(frame.activeChild()->document().GetPathName().parent_path(), rig.TempDir());
        QVERIFY(!rig.View()->Regions().empty());
        frame.activeChild()->close();
        QTRY_VERIFY(frame.childFrames().empty());
        QVERIFY(rig.TempFiles().empty());
        QVERIFY(ReadAll(wav) == before);

        // Dropped on the window, it opens the same way.
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(wav.string()))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&frame, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&frame, &drop);
        QTRY_COMPARE(frame.childFrames().size(), std::size_t{1});
        QCOMPARE(frame.activeChild()->windowTitle(), QStringLiteral("song.wav"));
        frame.activeChild()->close();
        QTRY_VERIFY(frame.childFrames().empty());

        // A file the import refuses: its message, no document, nothing left in TEMP.
        const fs::path text = fs::path(mine.path().toStdString()) / "notes.wav";
        std::ofstream(text) << "not audio at all";
        rig.dialogs->open.push_back(text);
        frame.OnCommand(cmd::kFileOpen);
        QVERIFY(frame.childFrames().empty());
        QVERIFY(rig.TempFiles().empty());
        QCOMPARE(rig.boxes->ShownBoxes().size(), std::size_t{1});
        QVERIFY(rig.boxes->ShownBoxes()[0].text.find("not an audio file") != std::string::npos);
        QVERIFY(rig.boxes->ShownBoxes()[0].text.find("notes.wav") != std::string::npos);
        QCOMPARE(rig.boxes->ShownBoxes()[0].flags, std::uint32_t{platform::kMbOk | platform::kMbIconError});
        QVERIFY(fs::exists(text));
    }

    void withoutADriveTheBoxesStayEmptyAndFailedReadsSayWhy() {
        AppRig rig;
        auto source = std::make_shared<ScriptedSource>();
        source->drives.clear();
        app::StartupSeams seams = rig.Seams();
        seams.cd = source;
        QCOMPARE(rig.app->InitInstance(seams, {}), app::CreateResult::kCreated);
        app::CMainFrame& frame = rig.frame();
        QCOMPARE(frame.cdBar()->driveBox()->count(), 0);
        QCOMPARE(frame.cdBar()->trackBox()->count(), 0);
        QCOMPARE(source->trackListCalls, 0);
        QCOMPARE(frame.statusBar()->currentMessage(), QString::fromStdString(Text(resources::kIdsNoCdDrive)));
        frame.OnCommand(cmd::kReadTrack);
        QCOMPARE(source->reads, 0);
        QVERIFY(frame.childFrames().empty());
        QVERIFY(rig.boxes->ShownBoxes().empty());
        // A drive plugged in: the start-up scan was quiet (no retry prompt), Refresh by
        // the user is not, and finds it.
        source->drives = {"D:  TEST     DRIVE           "};
        frame.OnCommand(cmd::kRefresh);
        QCOMPARE(source->scansQuiet, (std::vector<bool>{true, false}));
        QCOMPARE(frame.cdBar()->trackBox()->count(), 2);

        // A failure that was never offered for retry (an unusable image) gets its box.
        // (One the CD layer offered for retry goes to the status bar only: real drives below.)
        frame.OnCommand(cmd::kReadTrack);
        QCOMPARE(rig.boxes->ShownBoxes().size(), std::size_t{1});
        QVERIFY(rig.boxes->ShownBoxes()[0].text.find("line 3: no FILE") != std::string::npos);
        QVERIFY(frame.statusBar()->currentMessage().contains(QStringLiteral("line 3")));

        // Waiting for the drive shows in the dialog, and Cancel there ends the read.
        source->failure = ScriptedSource::Failure::kCancelWhileWaiting;
        frame.OnCommand(cmd::kReadTrack);
        QVERIFY(source->waitingLabel.contains(QStringLiteral("Waiting for the drive")));
        QCOMPARE(frame.statusBar()->currentMessage(), QString::fromStdString(Text(resources::kIdsReadTrackCancelled)));

        // Another disc in the drive: the Track box is read again instead.
        source->failure = ScriptedSource::Failure::kStaleLine;
        const int fills = source->trackListCalls;
        frame.OnCommand(cmd::kReadTrack);
        QVERIFY(frame.childFrames().empty());
        QCOMPARE(source->trackListCalls, fills + 1);
        QVERIFY(frame.statusBar()->currentMessage().contains(QStringLiteral("changed")));

        // A temporary file that cannot be written is shown in a message box.
        source->failure = ScriptedSource::Failure::kFile;
        frame.OnCommand(cmd::kReadTrack);
        QVERIFY(frame.childFrames().empty());
        QCOMPARE(rig.boxes->ShownBoxes().size(), std::size_t{2});
        QVERIFY(rig.boxes->ShownBoxes()[1].text.find("No space left") != std::string::npos);
        QVERIFY(rig.TempFiles().empty());
    }

    void workbenchKeysFollowTheMenuRulesAndWindowsFitTheScreen() {
        AppRig rig;
        QCOMPARE(rig.Start(), app::CreateResult::kCreated);
        app::CMainFrame& frame = rig.frame();
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        // Most of the screen, from inside its work area (a screen narrower than the bars
        // gets the frame's smallest size).
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(screen.contains(frame.geometry().topLeft()));
        QVERIFY(frame.width() >= screen.width() * 8 / 10 && frame.height() >= screen.height() * 8 / 10);
        if (frame.minimumSizeHint().width() <= screen.width()) QVERIFY(screen.contains(frame.geometry()));

        frame.OnCommand(cmd::kReadTrack);
        frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        const std::size_t regions = rig.View()->Regions().size();
        QVERIFY(regions >= 3);
        QWidget* list = rig.View()->regionList();
        list->setFocus();
        // The editing keys are taken and do nothing; the pane keys are disabled.
        QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
        QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(list, Qt::Key_Insert, Qt::ShiftModifier);
        QCOMPARE(frame.unhandledCommands(), 3);
        QVERIFY(!frame.action(cmd::kNextPane)->isEnabled());
        QTest::keyClick(list, Qt::Key_F6);
        QCOMPARE(frame.unhandledCommands(), 3);
        QCOMPARE(rig.View()->Regions().size(), regions);
        QCOMPARE(frame.childFrames().size(), std::size_t{1});

        // Nothing or two selected: Space, L and Return play nothing, like Play and Loop.
        playback::SoundPlayer& player = playback::TheSoundPlayer();
        rig.View()->SelectRegions({});
        frame.UpdateCommandUi();
        QTest::keyClick(list, Qt::Key_Space);
        QTest::keyClick(list, Qt::Key_L);
        QVERIFY(!player.IsStreaming());
        rig.Select({0, 1});
        QVERIFY(!rig.Enabled(cmd::kPlay) && !rig.Enabled(cmd::kLoop) && rig.Enabled(cmd::kExportWav));
        QTest::keyClick(list, Qt::Key_L);
        QTest::keyClick(list, Qt::Key_Return);
        QVERIFY(!player.IsStreaming());
        // One selected: Space plays, Space again stops; L loops, Esc stops; Return plays.
        rig.Select({1});
        QTest::keyClick(list, Qt::Key_Space);
        QVERIFY(player.IsStreaming());
        QTest::keyClick(list, Qt::Key_Space);
        QVERIFY(!player.IsStreaming());
        QTest::keyClick(list, Qt::Key_L);
        QVERIFY(player.IsStreaming());
        QTest::keyClick(list, Qt::Key_Escape);
        QVERIFY(!player.IsStreaming());
        QTest::keyClick(list, Qt::Key_Return);
        QVERIFY(player.IsStreaming());
        frame.OnCommand(cmd::kStop);
        QCOMPARE(rig.View()->SelectedRegionIndices(), std::vector<int>{1});

        // Three track windows are cascaded inside the workspace, clear of the tool window.
        frame.cdBar()->trackBox()->setCurrentIndex(1);
        frame.OnCommand(cmd::kReadTrack);
        frame.OnCommand(cmd::kWindowNew);
        QCOMPARE(frame.childFrames().size(), std::size_t{3});
        const QRect workspace = frame.mdiArea()->viewport()->rect();
        std::set<std::pair<int, int>> corners;
        for (app::CChildFrame* child : frame.childFrames()) {
            QVERIFY(workspace.contains(child->geometry()));
            corners.insert({child->x(), child->y()});
        }
        QCOMPARE(corners.size(), std::size_t{3});
        QVERIFY(frame.sliceBar()->isVisible());
        const auto globalRect = [](const QWidget* w) { return QRect(w->mapToGlobal(QPoint(0, 0)), w->size()); };
        QVERIFY(!globalRect(frame.sliceBar()).intersects(globalRect(rig.View()->editorCtrl().widget())));
    }

    void soundDeviceThatCannotOpenShowsItsMessageAndEnds() {
        platform::sound::VirtualSoundSystem::Options failing;
        failing.faults.push_back({platform::sound::FaultPoint::kCreateDevice, 0, platform::sound::kDsErrNoDriver});
        AppRig rig(failing);
        QCOMPARE(rig.Start(), app::CreateResult::kExitProcess);
        QCOMPARE(rig.boxes->ShownBoxes().size(), std::size_t{1});
        QCOMPARE(rig.boxes->ShownBoxes()[0].text, Text(resources::kIdsNoDirectSound));
        QCOMPARE(rig.boxes->ShownBoxes()[0].flags, std::uint32_t{platform::kMbOk});
        QVERIFY(!rig.frame().isVisible());
        QVERIFY(rig.frame().cdBar()->driveBox()->count() == 0);  // the drive scan never ran
    }

    void withoutAspiManagerTheApplicationRunsWithoutCdAccess() {
        AppRig rig;
        QTemporaryDir empty;
        app::StartupSeams seams = rig.Seams();
        cdda::CDReader::Options nowhere;
        nowhere.managerSearchDirs = {fs::path(empty.path().toStdString())};
        auto source = std::make_shared<app::MachineCdSource>(nowhere);
        QVERIFY(!source->Available());
        seams.cd = source;
        QCOMPARE(rig.app->InitInstance(seams, {}), app::CreateResult::kCreated);
        app::CMainFrame& frame = rig.frame();
        QVERIFY(!frame.hasCdAccess());
        QCOMPARE(frame.cdBar()->driveBox()->count(), 0);
        QCOMPARE(frame.cdBar()->trackBox()->count(), 0);
        QCOMPARE(frame.statusBar()->currentMessage(), QString::fromStdString(Text(resources::kIdsNoCdAccess)));
        frame.OnCommand(cmd::kReadTrack);
        frame.OnCommand(cmd::kRefresh);
        QVERIFY(frame.childFrames().empty());
        QVERIFY(rig.TempFiles().empty());
        QVERIFY(rig.boxes->ShownBoxes().empty());
        // The status bar keeps saying so after a prompt has come and gone.
        frame.statusBar()->showMessage(QStringLiteral("prompt"));
        frame.statusBar()->clearMessage();
        QCOMPARE(frame.statusBar()->currentMessage(), QString::fromStdString(Text(resources::kIdsNoCdAccess)));
    }

    void realDrivesSayWhyAReadFailedOrWhatAVerifiedReadFound() {
        // Two Linux drives below the SG_IO seam: sr0 the user may not open, sr1 with a
        // sector that returns wrong data in the first track and a scratched sector in
        // the second.
        korvane::testing::TempDir dir;
        const fs::path cue = korvane::testing::WriteCueBin(dir.Path(), "disc", {{30}, {49}});
        aspi::DriveSelection selection;
        selection.sysBlock = dir.Path() / "sys";
        selection.devDir = dir.Path() / "dev";
        for (const char* name : {"sr0", "sr1"}) {
            fs::create_directories(selection.sysBlock / name);
            fs::create_symlink(std::string("../x/") + (name[2] == '0' ? "0:0:0:0" : "1:0:0:0"),
                               selection.sysBlock / name / "device");
        }
        selection.openDevice = [&](const fs::path& node, int& error) -> std::unique_ptr<aspi::ScsiTransport> {
            if (node.filename() == "sr0") {
                error = EACCES;
                return nullptr;
            }
            auto drive = std::make_unique<aspi::SimulatedDrive>(aspi::CueBinImage::Open(cue), aspi::VirtualDrive::Identity{});
            drive->BadSectorAt(15);
            drive->MediumErrorAt(40);
            return drive;
        };
        auto manager = aspi::BuildManager(selection);
        CurrentManager() = manager.get();
        cdda::CDReader::Options options;
        options.registry = platform::RegistryStore::Open(":memory:");
        AppRig rig;
        app::StartupSeams seams = rig.Seams();
        seams.cd = std::make_shared<app::MachineCdSource>(ForwardingEntryPoints(), options);
        QCOMPARE(rig.app->InitInstance(seams, {}), app::CreateResult::kCreated);
        app::CMainFrame& frame = rig.frame();
        const QString permission = QString::fromStdString("permission denied on " + (selection.devDir / "sr0").string() +
                                                          ": add your user to the group cdrom");
        QVERIFY2(frame.statusBar()->currentMessage().startsWith(permission), qPrintable(frame.statusBar()->currentMessage()));
        QCOMPARE(frame.cdBar()->driveBox()->count(), 1);
        QCOMPARE(frame.cdBar()->trackBox()->count(), 2);

        frame.cdBar()->trackBox()->setCurrentIndex(1);
        rig.boxes->QueueAnswer(platform::kIdCancel);
        frame.OnCommand(cmd::kReadTrack);
        QVERIFY(frame.childFrames().empty());
        QCOMPARE(rig.boxes->ShownBoxes().size(), std::size_t{1});
        const std::string prompt = rig.boxes->ShownBoxes()[0].text;
        QVERIFY2(prompt.rfind("Device not responding. Try again?\n\nmedium error at 00:00.13 (sector 40)", 0) == 0, prompt.c_str());
        QVERIFY(frame.statusBar()->currentMessage().contains(QStringLiteral("medium error at 00:00.13 (sector 40)")));
        QVERIFY(rig.TempFiles().empty());

        // Verified reads, switched on in Preferences, apply to the next read: the first
        // track reads with its checksum, the suspicious sector and a rip log that goes
        // with the track file.
        QTimer::singleShot(0, &frame, [] {
            auto* dialog = qobject_cast<app::PreferencesWindow*>(QApplication::activeModalWidget());
            QVERIFY(dialog != nullptr);
            dialog->verifyCheck()->setChecked(true);
            dialog->findChild<QPushButton*>("okButton")->click();
        });
        frame.OnCommand(cmd::kPreferences);
        frame.cdBar()->trackBox()->setCurrentIndex(0);
        frame.OnCommand(cmd::kReadTrack);
        QCOMPARE(frame.childFrames().size(), std::size_t{1});
        const QString status = frame.statusBar()->currentMessage();
        QVERIFY2(status.contains(QStringLiteral(" - CRC32 ")) && status.contains(QStringLiteral("; 1 suspicious sector")),
                 qPrintable(status));
        const fs::path log = frame.activeChild()->document().CompanionFile();
        QCOMPARE(log.parent_path(), rig.TempDir());
        std::ifstream in(log);
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        QVERIFY2(text.find("Suspicious positions: 0:00:00.20\n") != std::string::npos, text.c_str());
        QCOMPARE(rig.TempFiles().size(), std::size_t{2});
        frame.activeChild()->close();
        QVERIFY(rig.TempFiles().empty());
        rig.app.reset();
        CurrentManager() = nullptr;
    }
};

QTEST_MAIN(AppEndToEnd)
#include "app_e2e_test.moc"
