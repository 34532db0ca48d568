// The whole application end to end under the offscreen platform: start-up on the demo
// disc, Read Track, slicing, the enable rules, playback on the recording virtual device,
// export, close, exit, and the start-up paths that end the program or run without CD
// access (the wrong platform family is run as a real process in program_test.cpp).
#include "app/frame/cd_bar.h"
#include "app/frame/cd_source.h"
#include "app/frame/machine_cd_source.h"
#include "app/frame/main_frame.h"
#include "app/main/korvane_app.h"
#include "app/preferences.h"
#include "cdda/toc.h"
#include "platform/aspi/demo_disc.h"
#include "platform/aspi/environment.h"
#include "platform/aspi/simulated_drive.h"
#include "platform/registry/registry.h"
#include "platform/sound/sound.h"
#include "platform/sound/virtual_sound.h"
#include "platform/ui/ui.h"
#include "playback/sound_player.h"
#include "regions/demo_signal.h"
#include "resources/frame_resources.h"
#include "resources/strings.h"
#include "tests/cdda/reader_fixture.h"
#include "tests/support/audio_files.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_disc.h"
#include "track/view/korvane_view.h"
#include "track/view/sample_editor_ctrl.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QListView>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QtTest>
#include <cerrno>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <vector>

using namespace korvane;
using namespace korvane::testing;
namespace cmd = korvane::resources::cmd;
namespace fs = std::filesystem;

namespace {

// The names of the files in `folder`, sorted.
QStringList FileNames(const fs::path& folder) {
    QStringList names;
    for (const auto& entry : fs::directory_iterator(folder)) names << QString::fromStdString(entry.path().filename().string());
    names.sort();
    return names;
}

// Answers the frame's file dialogs from queues; an empty queue answers "cancelled".
class ScriptedFileDialogs : public app::FileDialogs {
public:
    std::deque<fs::path> open, exportTo, save;
    int asked = 0;
    std::optional<fs::path> ChooseOpenFile(QWidget*) override { return Take(open); }
    std::optional<fs::path> ChooseExportFile(QWidget*) override { return Take(exportTo); }
    std::optional<fs::path> ChooseSaveFile(QWidget*) override { return Take(save); }

private:
    std::optional<fs::path> Take(std::deque<fs::path>& queue) {
        ++asked;
        if (queue.empty()) return std::nullopt;
        auto path = queue.front();
        queue.pop_front();
        return path;
    }
};

// The whole application in the test process: a fresh machine root, the demo disc behind
// the ASPI manager beside the test program, a recording virtual sound device, scripted
// message boxes and file dialogs, and no splash pause.
struct AppRig {
    korvane::testing::TempDir root;
    std::shared_ptr<platform::sound::VirtualSoundSystem> sound;
    std::shared_ptr<platform::ScriptedMessageBoxes> boxes = std::make_shared<platform::ScriptedMessageBoxes>();
    std::shared_ptr<ScriptedFileDialogs> dialogs = std::make_shared<ScriptedFileDialogs>();
    std::vector<fs::path> helpOpened;
    std::unique_ptr<app::CKorvaneApp> app = std::make_unique<app::CKorvaneApp>();

    explicit AppRig(platform::sound::VirtualSoundSystem::Options soundOptions = {}) {
        setenv("KORVANE_ROOT", root.Path().c_str(), 1);
        soundOptions.record = true;
        sound = std::make_shared<platform::sound::VirtualSoundSystem>(std::move(soundOptions));
        platform::sound::SetSoundSystem(sound);
        platform::SetMessageBoxHandler(boxes);
    }
    ~AppRig() {
        app.reset();
        platform::SetMessageBoxHandler(nullptr);
        platform::sound::SetSoundSystem(nullptr);
    }

    app::StartupSeams Seams() {
        app::StartupSeams seams;
        seams.splashMs = 0;
        seams.dialogs = dialogs;
        seams.openHelp = [this](const fs::path& file) {
            helpOpened.push_back(file);
            return true;
        };
        return seams;
    }
    app::CreateResult Start() { return app->InitInstance(Seams(), {QStringLiteral("korvane")}); }

    app::CMainFrame& frame() const { return *app->mainFrame(); }
    fs::path Root() const { return root.Path(); }
    fs::path TempDir() const { return Root() / "drive_c" / "WINDOWS" / "TEMP"; }
    QStringList TempFiles() const { return FileNames(TempDir()); }
    QStringList Lines(QComboBox* box) const {
        QStringList lines;
        for (int i = 0; i < box->count(); ++i) lines << box->itemText(i);
        return lines;
    }
    trackview::CKorvaneView* View() const { return frame().ActiveTrackView(); }
    void Select(std::initializer_list<int> rows) const {
        View()->SelectRegions(std::vector<int>(rows));
    }
    bool Enabled(std::uint32_t command) const { return frame().action(command)->isEnabled(); }
    // The texts of the message boxes shown so far.
    QStringList BoxTexts() const {
        QStringList texts;
        for (const auto& box : boxes->ShownBoxes()) texts << QString::fromStdString(box.text);
        return texts;
    }
};

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

// The items of the menus shown and the toolbar buttons that show no prompt in the
// status bar.
QStringList Unprompted(app::CMainFrame& frame) {
    QList<QAction*> items = frame.toolBar()->actions();
    for (QAction* menu : frame.menuBar()->actions()) items += menu->menu()->actions();
    QStringList missing;
    for (QAction* item : items)
        if (!item->isSeparator() && item->statusTip().isEmpty()) missing << item->text();
    return missing;
}

std::uint32_t DemoTrackSectors(int line) {
    return aspi::DemoDisc::TrackSeconds()[static_cast<std::size_t>(line)] * 75 + aspi::DemoDisc::kPauseSectors;
}

QStringList DemoTrackLines() {
    QStringList lines;
    for (int line = 0; line < std::ssize(aspi::DemoDisc::TrackSeconds()); ++line)
        lines << QString::fromStdString(cdda::FormatTrackLine(line + 1, DemoTrackSectors(line)));
    return lines;
}

std::string Text(std::uint32_t id) { return std::string(resources::LoadAppString(id)); }

// The message of a Read Track that failed for `reason`.
QString Failed(const std::string& reason) {
    return QString::fromStdString(Text(resources::kIdsReadTrackFailed) + ": " + reason);
}

// A CD layer with the drives it is given (none at first) and two tracks, whose reads
// fail as told; it records how it was asked.
class ScriptedSource : public app::CdSource {
public:
    enum class Failure { kUnusableImage, kStaleLine, kFile, kCancelWhileWaiting };
    std::vector<std::string> drives;
    Failure failure = Failure::kUnusableImage;
    std::vector<bool> scansQuiet;
    int trackListCalls = 0;
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
    void initTestCase() {
        // Virtual drives only; the shell records.
        setenv("KORVANE_REAL_DRIVES", "0", 1);
        setenv("KORVANE_DISC", "demo", 1);
        setenv("KORVANE_SHELL", "record", 1);
        setenv("KORVANE_AUDIO", "null", 1);
    }

    void startupScansTheDemoDiscOpensNothingAndTheBarsKeysAndHelpWork() {
        AppRig rig;
        const fs::path help = rig.Root() / "Korvane.hlp";
        std::ofstream(help) << "help";
        app::StartupSeams seams = rig.Seams();
        seams.helpFile = help;
        QCOMPARE(rig.app->InitInstance(seams, {QStringLiteral("korvane"), QStringLiteral("/tmp/some.wav")}),
                 app::CreateResult::kCreated);
        app::CMainFrame& frame = rig.frame();
        QCOMPARE(std::pair(frame.isVisible(), frame.childFrames().size()), std::pair(true, std::size_t{0}));
        QCOMPARE(MenuTitles(frame.menuBar()), (QStringList{"&File", "&View", "&Help"}));
        QVERIFY(!MenuItems(frame.menuBar()).contains(QStringLiteral("Export .WAV...")));
        QCOMPARE(Unprompted(frame).join(","), QString());
        QCOMPARE(frame.windowTitle(), QStringLiteral("Korvane"));

        const QStringList drives = rig.Lines(frame.cdBar()->driveBox());
        QCOMPARE(drives, QStringList{QStringLiteral("D:  KORVANE  Demo Disc       ")});
        QCOMPARE(rig.Lines(frame.cdBar()->trackBox()), DemoTrackLines());
        QCOMPARE(frame.cdBar()->trackBox()->currentIndex(), 0);
        QCOMPARE(frame.statusBar()->currentMessage(), QStringLiteral("Ready"));
        QVERIFY(rig.boxes->ShownBoxes().empty());
        QVERIFY(rig.TempFiles().empty());

        // The tool window is docked at the right and shown. (The settings written at the
        // first start are checked on the program in program_test.)
        QCOMPARE(std::tuple(frame.sliceBar()->isFloating(), frame.dockWidgetArea(frame.sliceBar()), frame.sliceBar()->windowTitle(),
                            frame.sliceBar()->releaseMs()),
                 std::tuple(false, Qt::RightDockWidgetArea, QStringLiteral("Make Slices"), 750));

        // A button's prompt: the status-bar text and the tooltip.
        QCOMPARE((QStringList{frame.action(cmd::kPlay)->statusTip(), frame.action(cmd::kPlay)->toolTip()}),
                 (QStringList{"play region one-shot", "play"}));

        // Refresh replaces the list instead of adding the drives again.
        frame.OnCommand(cmd::kRefresh);
        QCOMPARE(rig.Lines(frame.cdBar()->driveBox()), drives);
        QCOMPARE(rig.Lines(frame.cdBar()->trackBox()), DemoTrackLines());

        // The Tool Window and Status Bar commands each hide and show their own bar, with
        // the check mark: (shown, checked) for the tool window, then for the status bar.
        const auto bars = [&frame] {
            return std::tuple(frame.sliceBar()->isVisible(), frame.action(cmd::kToolWindow)->isChecked(),
                              frame.statusBar()->isVisible(), frame.action(cmd::kViewStatusBar)->isChecked());
        };
        frame.OnCommand(cmd::kToolWindow);
        QCOMPARE(bars(), std::tuple(false, false, true, true));
        frame.OnCommand(cmd::kViewStatusBar);
        QCOMPARE(bars(), std::tuple(false, false, false, false));
        frame.OnCommand(cmd::kToolWindow);
        QCOMPARE(bars(), std::tuple(true, true, false, false));
        frame.OnCommand(cmd::kViewStatusBar);
        QCOMPARE(bars(), std::tuple(true, true, true, true));

        // The lock keys light their panes, in the order of the indicators.
        const auto panes = [&frame] {
            return QStringList{frame.indicatorPane(0)->text(), frame.indicatorPane(1)->text(), frame.indicatorPane(2)->text()};
        };
        QTest::keyClick(&frame, Qt::Key_CapsLock);
        QTest::keyClick(&frame, Qt::Key_ScrollLock);
        QCOMPARE(panes(), (QStringList{"CAP", "", "SCRL"}));
        QTest::keyClick(&frame, Qt::Key_CapsLock);
        QCOMPARE(panes(), (QStringList{"", "", "SCRL"}));

        // Help Topics opens the help file; a missing one is reported with its path.
        frame.OnCommand(cmd::kHelpFinder);
        QCOMPARE(rig.helpOpened, std::vector<fs::path>{help});
        fs::remove(help);
        frame.OnCommand(cmd::kHelpFinder);
        QCOMPARE(rig.helpOpened, std::vector<fs::path>{help});
        QCOMPARE(rig.BoxTexts(), QStringList{QString::fromStdString("The help file could not be opened:\n" + help.string())});

        // The help file beside an executable, found without regard to case.
        TempDir bin;
        std::ofstream(bin.Path() / "KORVANE.HLP") << "x";
        QCOMPARE(app::HelpFileFor(bin.Path() / "korvane"), bin.Path() / "KORVANE.HLP");

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

    void documentsDeleteTheFilesTheyOwnKeepTheUsersAndExitStoresTheParameters() {
        AppRig rig;
        QCOMPARE(rig.Start(), app::CreateResult::kCreated);
        app::CMainFrame& frame = rig.frame();
        // Without a document: play, loop, export, save and the window commands disabled,
        // stop enabled and harmless.
        QVERIFY(!rig.Enabled(cmd::kPlay) && !rig.Enabled(cmd::kLoop) && !rig.Enabled(cmd::kExportWav));
        QVERIFY(!rig.Enabled(cmd::kFileSave));
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
        QCOMPARE((QStringList{QString::fromStdString(child->document().GetTitle()), child->windowTitle(), frame.windowTitle()}),
                 (QStringList{line, line, QStringLiteral("Korvane - ") + line}));
        QCOMPARE(MenuTitles(frame.menuBar()), (QStringList{"&File", "&View", "&Play", "&Window", "&Help"}));
        QVERIFY(MenuItems(frame.menuBar()).contains(QStringLiteral("Export .WAV...")));
        QCOMPARE(Unprompted(frame).join(","), QString());
        const fs::path first = child->document().GetPathName();
        QCOMPARE(rig.TempFiles(), QStringList{QString::fromStdString(first.filename().string())});
        QCOMPARE(fs::file_size(first), std::uintmax_t{2646} * DemoTrackSectors(1));

        // A second window on the same document keeps the file until both are closed.
        frame.OnCommand(cmd::kWindowNew);
        QCOMPARE(frame.childFrames().size(), std::size_t{2});
        frame.activeChild()->close();
        QCoreApplication::processEvents();
        QVERIFY(fs::exists(first));
        frame.activeChild()->close();
        QTRY_VERIFY(frame.childFrames().empty());
        QVERIFY(!fs::exists(first));
        QTRY_COMPARE(MenuTitles(frame.menuBar()), (QStringList{"&File", "&View", "&Help"}));
        QCOMPARE(frame.windowTitle(), QStringLiteral("Korvane"));

        // Ctrl+N: an untitled document without a file; nothing to play, export or save.
        frame.OnCommand(cmd::kFileNew);
        QCOMPARE(frame.childFrames().size(), std::size_t{1});
        QCOMPARE(std::pair(frame.activeChild()->windowTitle(), frame.activeChild()->document().GetPathName()),
                 std::pair(QStringLiteral("Korva1"), fs::path()));
        QVERIFY(!rig.Enabled(cmd::kPlay) && !rig.Enabled(cmd::kExportWav));
        frame.OnCommand(cmd::kFileSave);
        QCOMPARE(rig.dialogs->asked, 0);
        frame.activeChild()->close();
        QTRY_VERIFY(frame.childFrames().empty());

        // Save writes a read track elsewhere and keeps the track file.
        frame.OnCommand(cmd::kReadTrack);
        const fs::path read = frame.activeChild()->document().GetPathName();
        const auto readBytes = fs::file_size(read);
        TempDir mine;
        rig.dialogs->save.push_back(mine.Path() / "whole.wav");
        frame.action(cmd::kFileSave)->trigger();
        QCOMPARE(fs::file_size(mine.Path() / "whole.wav"), 46 + readBytes - readBytes / 9);
        QCOMPARE(fs::file_size(read), readBytes);

        // A track file the user keeps elsewhere: opened, sliced, and left alone on close.
        const fs::path kept = mine.Path() / "kept.trk";
        fs::copy_file(read, kept);
        frame.activeChild()->close();
        QTRY_VERIFY(frame.childFrames().empty());
        rig.dialogs->open.push_back(kept);
        frame.OnCommand(cmd::kFileOpen);
        QCOMPARE(frame.childFrames().size(), std::size_t{1});
        QCOMPARE(frame.activeChild()->windowTitle(), QStringLiteral("kept.trk"));
        frame.activeChild()->close();
        QTRY_VERIFY(frame.childFrames().empty());
        QVERIFY(fs::exists(kept));
        QVERIFY(rig.TempFiles().empty());
        // A cancelled open dialog opens nothing.
        frame.OnCommand(cmd::kFileOpen);
        QVERIFY(frame.childFrames().empty());

        // A WAV file opened is imported into a copy in TEMP, which goes on close; the
        // user's file stays as it was. (What the import writes, and that the document owns
        // only its copy, is checked in tests/track.)
        const fs::path wav = mine.Path() / "song.wav";
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
        const fs::path text = mine.Path() / "notes.wav";
        std::ofstream(text) << "not audio at all";
        rig.dialogs->open.push_back(text);
        frame.OnCommand(cmd::kFileOpen);
        QVERIFY(frame.childFrames().empty());
        QVERIFY(rig.TempFiles().empty());
        const std::string name = text.string();
        QCOMPARE(rig.BoxTexts(), QStringList{QString::fromStdString(
                                     "This file is not an audio file Korvane can read, or it is damaged or incomplete:\n" + name +
                                     "\n(" + name + ": not an audio file of a kind Korvane reads (the format is not recognised))")});
        QCOMPARE(rig.boxes->ShownBoxes()[0].flags, std::uint32_t{platform::kMbOk | platform::kMbIconError});
        QVERIFY(fs::exists(text));

        // A document still open at exit loses its file too.
        frame.OnCommand(cmd::kReadTrack);
        QCOMPARE(rig.TempFiles().size(), 1);
        frame.sliceBar()->releaseSlider()->setValue(123);
        frame.sliceBar()->thresholdSlider()->setValue(-200);
        frame.close();
        rig.app->DestroyMainFrame();
        QVERIFY(rig.TempFiles().empty());
        auto store = platform::RegistryStore::Open(rig.Root() / "registry.db");
        auto key = store->OpenKey(platform::RootKey::LocalMachine, app::CPreferencesDlg::kKeyPath);
        QVERIFY(key.has_value());
        QCOMPARE(std::pair(key->QueryDword(app::CPreferencesDlg::kReleaseValue), key->QueryDword(app::CPreferencesDlg::kThresholdValue)),
                 std::pair(std::optional<std::uint32_t>(123), std::optional<std::uint32_t>(200)));
    }

    void withoutADriveTheBoxesStayEmptyAndFailedReadsSayWhy() {
        AppRig rig;
        auto source = std::make_shared<ScriptedSource>();
        app::StartupSeams seams = rig.Seams();
        seams.cd = source;
        QCOMPARE(rig.app->InitInstance(seams, {}), app::CreateResult::kCreated);
        app::CMainFrame& frame = rig.frame();
        QCOMPARE(std::pair(frame.cdBar()->driveBox()->count(), frame.cdBar()->trackBox()->count()), std::pair(0, 0));
        QCOMPARE(frame.statusBar()->currentMessage(), QString::fromStdString(Text(resources::kIdsNoCdDrive)));
        frame.OnCommand(cmd::kReadTrack);
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
        const QString unusable = Failed("the disc image cannot be used: line 3: no FILE");
        QCOMPARE(rig.BoxTexts(), QStringList{unusable});
        QCOMPARE(frame.statusBar()->currentMessage(), unusable);

        // Waiting for the drive shows in the dialog, and Cancel there ends the read.
        source->failure = ScriptedSource::Failure::kCancelWhileWaiting;
        frame.OnCommand(cmd::kReadTrack);
        QCOMPARE(source->waitingLabel, QStringLiteral("Waiting for the drive to become ready..."));
        QCOMPARE(frame.statusBar()->currentMessage(), QString::fromStdString(Text(resources::kIdsReadTrackCancelled)));

        // Another disc in the drive: the Track box is read again instead.
        source->failure = ScriptedSource::Failure::kStaleLine;
        const int fills = source->trackListCalls;
        frame.OnCommand(cmd::kReadTrack);
        QVERIFY(frame.childFrames().empty());
        QCOMPARE(source->trackListCalls, fills + 1);
        QCOMPARE(frame.statusBar()->currentMessage(), Failed("the disc in the drive has changed"));

        // A temporary file that cannot be written is shown in a message box.
        source->failure = ScriptedSource::Failure::kFile;
        frame.OnCommand(cmd::kReadTrack);
        QVERIFY(frame.childFrames().empty());
        QCOMPARE(rig.BoxTexts(), (QStringList{unusable, "could not create the temporary track file\n"
                                                        "C:\\WINDOWS\\TEMP: No space left on device"}));
        QVERIFY(rig.TempFiles().empty());
    }

    void workbenchKeysExportAndSlidersFollowTheMenuRulesAndWindowsFitTheScreen() {
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
        QLabel* count = frame.sliceBar()->regionCountLabel();
        frame.UpdateCommandUi();
        QVERIFY(count->text().isEmpty());

        frame.OnCommand(cmd::kReadTrack);
        frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        trackview::CKorvaneView* view = rig.View();
        const std::size_t regions = view->Regions().size();
        QVERIFY(regions >= 3);
        QWidget* list = view->regionList();
        list->setFocus();
        // The editing keys are taken and do nothing; the pane keys are disabled.
        QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
        QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(list, Qt::Key_Insert, Qt::ShiftModifier);
        QCOMPARE(frame.unhandledCommands(), 3);
        QVERIFY(!frame.action(cmd::kNextPane)->isEnabled());
        QTest::keyClick(list, Qt::Key_F6);
        QCOMPARE(std::tuple(frame.unhandledCommands(), view->Regions().size(), frame.childFrames().size()),
                 std::tuple(3, regions, std::size_t{1}));

        // Nothing or two selected: Space, L and Return play nothing, like Play and Loop.
        playback::SoundPlayer& player = playback::TheSoundPlayer();
        view->SelectRegions({});
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
        const std::pair<Qt::Key, bool> steps[] = {
            {Qt::Key_Space, true}, {Qt::Key_Space, false}, {Qt::Key_L, true}, {Qt::Key_Escape, false}, {Qt::Key_Return, true}};
        for (const auto& [key, streaming] : steps) {
            QTest::keyClick(list, key);
            QVERIFY2(player.IsStreaming() == streaming, qPrintable(QKeySequence(key).toString()));
        }
        frame.OnCommand(cmd::kStop);
        QCOMPARE(view->SelectedRegionIndices(), std::vector<int>{1});

        // Export writes the selected regions as numbered files after the chosen name: each
        // region's audio after the 46-byte header, as it is in the track file.
        TempDir out;
        rig.dialogs->exportTo.push_back(out.Path() / "kick.wav");
        rig.Select({0, 2});
        frame.action(cmd::kExportWav)->trigger();
        QCOMPARE(FileNames(out.Path()), (QStringList{"kick1.wav", "kick2.wav"}));
        const std::vector<std::uint8_t> track = ReadFileBytes(frame.activeChild()->document().GetPathName());
        for (int k = 0; k < 2; ++k) {
            const Region& r = view->Regions()[k == 0 ? 0 : 2];
            const std::vector<std::uint8_t> wav = ReadFileBytes(out.Path() / ("kick" + std::to_string(k + 1) + ".wav"));
            const auto audio = track.begin() + std::ptrdiff_t{r.start} * 16;
            QVERIFY(wav.size() > 46 && std::equal(wav.begin() + 46, wav.end(), audio, audio + std::ptrdiff_t{r.length} * 16));
        }
        QVERIFY(rig.boxes->ShownBoxes().empty());
        QCOMPARE(frame.statusBar()->currentMessage(), QString::fromStdString("2 regions written to " + out.Path().string()));
        // Cancelled file dialog: nothing more is written.
        frame.action(cmd::kExportWav)->trigger();
        QCOMPARE(FileNames(out.Path()), (QStringList{"kick1.wav", "kick2.wav"}));

        // The tool window counts the regions; a very short release time lets every little
        // dip start a new region.
        frame.UpdateCommandUi();
        QCOMPARE(count->text(), QStringLiteral("%1 regions").arg(regions));
        frame.sliceBar()->releaseSlider()->setValue(5);
        QVERIFY2(view->Regions().size() > regions, qPrintable(QStringLiteral("%1 -> %2").arg(regions).arg(view->Regions().size())));
        // A threshold at full scale finds nothing to cut, and the tool window says so.
        frame.sliceBar()->thresholdSlider()->setValue(0);
        QVERIFY(view->Regions().empty());
        QCOMPARE(count->text(), QStringLiteral("no region reaches the threshold"));

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
        QCOMPARE(rig.BoxTexts(), QStringList{QString::fromStdString(Text(resources::kIdsNoDirectSound))});
        QCOMPARE(rig.boxes->ShownBoxes()[0].flags, std::uint32_t{platform::kMbOk});
        QCOMPARE(std::pair(rig.frame().isVisible(), rig.frame().cdBar()->driveBox()->count()), std::pair(false, 0));  // no drive scan
    }

    void withoutAspiManagerTheApplicationRunsWithoutCdAccess() {
        AppRig rig;
        TempDir empty;
        app::StartupSeams seams = rig.Seams();
        cdda::CDReader::Options nowhere;
        nowhere.managerSearchDirs = {empty.Path()};
        seams.cd = std::make_shared<app::MachineCdSource>(nowhere);
        QCOMPARE(rig.app->InitInstance(seams, {}), app::CreateResult::kCreated);
        app::CMainFrame& frame = rig.frame();
        QCOMPARE(std::pair(frame.cdBar()->driveBox()->count(), frame.cdBar()->trackBox()->count()), std::pair(0, 0));
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
        QCOMPARE(std::pair(frame.cdBar()->driveBox()->count(), frame.cdBar()->trackBox()->count()), std::pair(1, 2));

        frame.cdBar()->trackBox()->setCurrentIndex(1);
        rig.boxes->QueueAnswer(platform::kIdCancel);
        frame.OnCommand(cmd::kReadTrack);
        QVERIFY(frame.childFrames().empty());
        QCOMPARE(rig.BoxTexts(), QStringList{"Device not responding. Try again?\n\nmedium error at 00:00.13 (sector 40) (sense 03/11/00)"});
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
        QCOMPARE(rig.TempFiles().size(), 2);
        frame.activeChild()->close();
        QVERIFY(rig.TempFiles().empty());
        rig.app.reset();
        CurrentManager() = nullptr;
    }
};

QTEST_MAIN(AppEndToEnd)
#include "app_e2e_test.moc"
