#include "app/frame/main_frame.h"

#include "app/frame/cd_bar.h"
#include "app/frame/cd_source.h"
#include "app/frame/dialogs.h"
#include "app/export_dialog.h"
#include "export/sampler_export.h"
#include "platform/paths/paths.h"
#include "platform/registry/registry.h"
#include "platform/shell/shell.h"
#include "platform/ui/ui.h"
#include "playback/dsound_exception.h"
#include "playback/sound_player.h"
#include "resources/frame_resources.h"
#include "resources/strings.h"
#include "track/view/korvane_view.h"
#include "track/audio_import.h"
#include "track/view/sample_editor_ctrl.h"
#include "track/view/sound_player_adapter.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <algorithm>

namespace korvane::app {

namespace cmd = resources::cmd;
namespace fs = std::filesystem;

namespace {

QString Text(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
QString AppString(std::uint32_t id) { return Text(resources::LoadAppString(id)); }
// A string-table format with one %s.
QString FormatAppString(std::uint32_t id, const QString& argument) {
    QString format = AppString(id);
    return format.replace(QStringLiteral("%s"), argument);
}

void ShowMessage(const QString& text, std::uint32_t flags) {
    platform::MessageBox(text.toStdString(), resources::kAppTitle, flags);
}

// The wait cursor for the length of a blocking command.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// Toolbar glyphs, 16 by 15 pixels.
QIcon Glyph(std::uint32_t command) {
    QPixmap pixmap(16, 15);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(20, 20, 20), 1.0));
    switch (command) {
        case cmd::kExportWav: {
            p.setBrush(QColor(40, 90, 170));
            p.drawRect(2, 1, 11, 12);
            p.setBrush(Qt::white);
            p.drawRect(4, 1, 7, 4);
            p.setBrush(QColor(220, 220, 220));
            p.drawRect(4, 8, 7, 5);
            break;
        }
        case cmd::kStop:
            p.setBrush(QColor(30, 30, 30));
            p.drawRect(3, 3, 9, 9);
            break;
        case cmd::kPlay: {
            QPainterPath triangle;
            triangle.moveTo(4, 2);
            triangle.lineTo(13, 7.5);
            triangle.lineTo(4, 13);
            triangle.closeSubpath();
            p.fillPath(triangle, QColor(20, 140, 50));
            p.drawPath(triangle);
            break;
        }
        case cmd::kLoop: {
            p.setPen(QPen(QColor(20, 110, 170), 2.0));
            p.drawArc(QRectF(2.5, 2.5, 10, 10), 30 * 16, 300 * 16);
            QPainterPath head;
            head.moveTo(11, 0.5);
            head.lineTo(14.5, 4.5);
            head.lineTo(9.5, 5.5);
            head.closeSubpath();
            p.fillPath(head, QColor(20, 110, 170));
            break;
        }
        case cmd::kPreferences:
            p.setBrush(QColor(150, 150, 150));
            p.drawEllipse(QRectF(2.5, 2, 11, 11));
            p.setBrush(Qt::white);
            p.drawEllipse(QRectF(5.5, 5, 5, 5));
            break;
        default: break;
    }
    p.end();
    return QIcon(pixmap);
}

// Opens the help file: through the shell layer when it lies inside the machine (an
// installed program), else with the desktop's viewer (a build tree).
bool OpenWithDesktop(const fs::path& file) {
    const platform::MachineRoot machine = platform::MachineRoot::FromEnvironment();
    if (const std::optional<std::string> windowsPath = machine.ToWindows(file)) {
        return platform::ShellExecute("open", *windowsPath, "", "", platform::kSwShowNormal) > 32;
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file.string())));
}

class QtFileDialogs : public FileDialogs {
public:
    std::optional<fs::path> ChooseOpenFile(QWidget* parent) override {
        const QString name = QFileDialog::getOpenFileName(parent, QString(), QString(),
                                                          AppString(resources::kIdsOpenFilter));
        return Result(name);
    }
    std::optional<fs::path> ChooseExportFile(QWidget* parent) override { return ChooseExportFile(parent, {}); }
    std::optional<fs::path> ChooseExportFile(QWidget* parent,
                                             const std::function<QString(const QString&)>& describe) override {
        ExportDescriber line;
        if (describe) line = [describe](const QString& name, const sampler::SamplerOptions&) { return describe(name); };
        return Run(parent, line, nullptr);
    }
    std::optional<fs::path> ChooseExportFile(
        QWidget* parent, const std::function<QString(const QString&, const sampler::SamplerOptions&)>& describe,
        sampler::SamplerOptions& options) override {
        return Run(parent, describe, &options);
    }
    std::optional<fs::path> ChooseSaveFile(QWidget* parent) override { return ChooseExportFile(parent); }

private:
    static std::optional<fs::path> Run(QWidget* parent, const ExportDescriber& describe,
                                       sampler::SamplerOptions* options) {
        ExportFileDialog dialog(parent, describe, options);
        dialog.setNameFilter(AppString(resources::kIdsSaveFilter));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
        if (options != nullptr) *options = dialog.Options();
        return Result(dialog.selectedFiles().front());
    }

    static std::optional<fs::path> Result(const QString& name) {
        if (name.isEmpty()) return std::nullopt;
        return fs::path(name.toStdString());
    }
};

// Drives the Read Track progress dialog: the bar follows the transfers, and while the
// drive spins up the label says so and the dialog keeps answering, so Cancel ends the
// wait. Returning false cancels the read.
ReadProgress ReadTrackProgress(QProgressDialog& dialog, const QString& readingLabel) {
    ReadProgress progress;
    progress.fraction = [&dialog](double fraction) {
        // A modal progress dialog processes events when its value changes; the calls made
        // while a request is pending repeat the value, so events (Cancel) are processed
        // here as well.
        dialog.setValue(static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 1000.0));
        QCoreApplication::processEvents();
        return !dialog.wasCanceled();
    };
    // Shows `label` when it changed and lets the dialog answer, so Cancel is seen.
    const auto show = [&dialog](const QString& label) {
        if (dialog.labelText() != label) dialog.setLabelText(label);
        QCoreApplication::processEvents();
        return !dialog.wasCanceled();
    };
    progress.waiting = [show, readingLabel](bool waiting) {
        return show(waiting ? QObject::tr("Waiting for the drive to become ready...") : readingLabel);
    };
    progress.verifying = [show, readingLabel](int pass, std::uint32_t rereadSectors) {
        const QString phase = pass <= 2 ? QObject::tr("pass %1 of 2").arg(pass) : QObject::tr("re-reading");
        return show(readingLabel + QStringLiteral("\n") +
                    QObject::tr("Verifying: %1, %2 sectors re-read").arg(phase).arg(rereadSectors));
    };
    return progress;
}

// The status bar text after a read: the checksums, the suspicious sectors and where the
// rip log is.
QString ReadSummaryText(const QString& readText, const CdReadSummary& summary) {
    QString text = readText;
    if (!summary.checksums.empty()) text += QStringLiteral(" - ") + QString::fromStdString(summary.checksums);
    if (summary.suspiciousSectors > 0)
        text += QObject::tr("; %n suspicious sector(s)", nullptr, static_cast<int>(summary.suspiciousSectors));
    if (!summary.ripLog.empty())
        text += QObject::tr("; rip log %1").arg(QString::fromStdString(summary.ripLog.string()));
    if (!summary.ripLogProblem.empty())
        text += QObject::tr("; no rip log: %1").arg(QString::fromStdString(summary.ripLogProblem));
    return text;
}

}  // namespace

std::shared_ptr<FileDialogs> MakeQtFileDialogs() { return std::make_shared<QtFileDialogs>(); }

// --- child frame ---------------------------------------------------------------------------

CChildFrame::CChildFrame(track::CKorvaneDoc& document, QWidget* parent) : QMdiSubWindow(parent), document_(document) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(QIcon(Glyph(cmd::kPlay)));
}

void CChildFrame::SetView(trackview::CKorvaneView* view) {
    view_ = view;
    setWidget(view);
}

void CChildFrame::closeEvent(QCloseEvent* event) {
    bool allow = true;
    emit closing(this, &allow);
    if (allow) {
        QMdiSubWindow::closeEvent(event);
    } else {
        event->ignore();
    }
}

// --- main frame ------------------------------------------------------------------------------

struct CMainFrame::DocumentEntry {
    std::unique_ptr<track::CKorvaneDoc> document;
    std::vector<QPointer<CChildFrame>> frames;
    bool closing = false;
};

CMainFrame::CMainFrame(FrameServices services, std::vector<DriverChoice> drivers)
    : services_(std::move(services)),
      preferences_(std::make_unique<CPreferencesDlg>(services_.registry, std::move(drivers))),
      player_(std::make_unique<trackview::SoundPlayerAdapter>(*services_.soundPlayer)) {
    if (!services_.openHelp) services_.openHelp = &OpenWithDesktop;
    if (!services_.dialogs) services_.dialogs = MakeQtFileDialogs();
    samplerOptions_ = preferences_->samplerDefaults();
    setObjectName(QStringLiteral("CMainFrame"));
    setAcceptDrops(true);  // a file dropped on the window is opened
    setWindowTitle(AppString(resources::kIdsMainTitle));
    setWindowIcon(QIcon(Glyph(cmd::kPlay)));
    mdi_ = new QMdiArea(this);
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdi_);
    connect(mdi_, &QMdiArea::subWindowActivated, this, &CMainFrame::OnSubWindowActivated);
    idleMessage_ = AppString(resources::kIdsIdleMessage);
    CreateActions();
    CreateWorkbenchActions();
    ShowMenu(resources::kIdrMainFrame);
    resize(1100, 720);
}

// The window placement of the last session, beside the settings.
constexpr char kPlacementValue[] = "Window Placement";

void CMainFrame::PlaceMainWindow() {
    if (services_.registry) {
        if (auto key = services_.registry->OpenKey(platform::RootKey::LocalMachine, CPreferencesDlg::kKeyPath)) {
            if (const auto stored = key->QueryString(kPlacementValue)) {
                if (restoreGeometry(QByteArray::fromBase64(QByteArray::fromStdString(*stored)))) return;
            }
        }
    }
    // First start: nine tenths of the screen's work area, centred.
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        resize(1100, 720);
        return;
    }
    const QRect area = screen->availableGeometry();
    const QSize size = QSize(area.width() * 9 / 10, area.height() * 9 / 10).expandedTo(minimumSizeHint());
    resize(size);
    move(area.left() + std::max(0, (area.width() - size.width()) / 2),
         area.top() + std::max(0, (area.height() - size.height()) / 2));
}

void CMainFrame::StorePlacement() {
    if (!services_.registry) return;
    try {
        services_.registry->CreateKey(platform::RootKey::LocalMachine, CPreferencesDlg::kKeyPath)
            .SetString(kPlacementValue, saveGeometry().toBase64().toStdString());
    } catch (const std::exception& failed) {
        // The placement is a convenience: the window opens at the default next time.
        statusBar()->showMessage(QString::fromStdString(failed.what()), 4000);
    }
}

void CMainFrame::CreateWorkbenchActions() {
    // The transport from the keyboard: Space plays the selected region or stops one that
    // plays, L loops, Esc stops. Play and Loop keep their enable rules.
    action(cmd::kPlay)->setText(QStringLiteral("&Play\tSpace"));
    action(cmd::kLoop)->setText(QStringLiteral("&Loop"));
    action(cmd::kLoop)->setShortcut(QKeySequence(Qt::Key_L));
    action(cmd::kStop)->setText(QStringLiteral("&Stop"));
    action(cmd::kStop)->setShortcut(QKeySequence(Qt::Key_Escape));
    playOrStopAction_ = new QAction(QStringLiteral("Play or Stop"), this);
    playOrStopAction_->setShortcut(QKeySequence(Qt::Key_Space));
    connect(playOrStopAction_, &QAction::triggered, this, &CMainFrame::OnPlayOrStop);
    for (QAction* act : {playOrStopAction_, action(cmd::kLoop), action(cmd::kStop)}) {
        act->setShortcutContext(Qt::WindowShortcut);
        addAction(act);
    }
    dbDisplayAction_ = new QAction(QStringLiteral("&dB Display"), this);
    dbDisplayAction_->setCheckable(true);
    dbDisplayAction_->setStatusTip(QStringLiteral("show the active track's waveform in decibels or linear"));
    connect(dbDisplayAction_, &QAction::triggered, this, &CMainFrame::OnDbDisplay);
    followCursorAction_ = new QAction(QStringLiteral("&Follow Play Cursor"), this);
    followCursorAction_->setCheckable(true);
    followCursorAction_->setChecked(true);
    followCursorAction_->setStatusTip(QStringLiteral("scroll the track windows to keep the play cursor in view"));
    connect(followCursorAction_, &QAction::triggered, this, &CMainFrame::OnFollowPlayCursor);
}

void CMainFrame::AddWorkbenchMenus(QMenuBar* bar, QMenu* viewMenu) {
    viewMenu->addSeparator();
    viewMenu->addAction(dbDisplayAction_);
    viewMenu->addAction(followCursorAction_);
    QMenu* play = bar->addMenu(QStringLiteral("&Play"));
    for (std::uint32_t id : {cmd::kPlay, cmd::kLoop, cmd::kStop}) play->addAction(action(id));
    connect(play, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUi);
}

CMainFrame::~CMainFrame() {
    if (idleTimer_ != nullptr) idleTimer_->stop();
    qApp->removeEventFilter(this);
    CloseAllDocuments();
    // Views use the player adapter and the slice bar uses the settings object: both go
    // before the members they refer to.
    for (QMdiSubWindow* window : mdi_->subWindowList()) delete window;
    delete sliceBar_;
    sliceBar_ = nullptr;
    if (services_.soundPlayer != nullptr) services_.soundPlayer->StopPlayback();
    // preferences_ is destroyed next and stores the slicing parameters.
}

QAction* CMainFrame::MakeAction(std::uint32_t command, const QString& text) {
    auto* act = new QAction(text, this);
    act->setObjectName(QString::number(command));
    act->setData(command);
    std::string_view prompt = resources::LoadAppString(command);
    if (prompt.empty()) prompt = resources::FrameworkPrompt(command);
    const resources::CommandPrompt split = resources::SplitPrompt(prompt);
    if (!split.statusText.empty()) act->setStatusTip(Text(split.statusText));
    if (!split.tooltip.empty()) act->setToolTip(Text(split.tooltip));
    connect(act, &QAction::triggered, this, [this, command] { OnCommand(command); });
    actions_[command] = act;
    return act;
}

void CMainFrame::CreateActions() {
    // Menu commands, with the texts of the menus.
    for (std::uint32_t menuId : {resources::kIdrMainFrame, resources::kIdrKorvaType}) {
        for (const resources::MenuPopup& popup : resources::FrameMenu(menuId)) {
            for (const resources::MenuItem& item : popup.items) {
                if (item.id == 0 || actions_.count(item.id) != 0) continue;
                QString text = Text(item.text);
                text = text.left(text.indexOf(QLatin1Char('\t')) < 0 ? text.size() : text.indexOf(QLatin1Char('\t')));
                MakeAction(item.id, text);
            }
        }
    }
    // Toolbar buttons without a menu item.
    const std::pair<std::uint32_t, const char*> buttons[] = {
        {cmd::kStop, "stop"}, {cmd::kPlay, "play"}, {cmd::kLoop, "loop"}};
    for (const auto& [id, text] : buttons) MakeAction(id, QString::fromLatin1(text));
    for (std::uint32_t id : {cmd::kExportWav, cmd::kStop, cmd::kPlay, cmd::kLoop, cmd::kPreferences}) {
        actions_[id]->setIcon(Glyph(id));
    }
    // Accelerators: the table's keys on the commands (an accelerator whose command has no
    // menu item gets an action of its own, kept on the frame so its keys are taken).
    for (const resources::Accelerator& accel : resources::FrameAccelerators()) {
        QAction* act = action(accel.command);
        if (act == nullptr) {
            act = MakeAction(accel.command, QString::number(accel.command));
            addAction(act);
        }
        QList<QKeySequence> keys = act->shortcuts();
        keys << QKeySequence(Text(accel.keys));
        act->setShortcuts(keys);
        act->setShortcutContext(Qt::WindowShortcut);
        addAction(act);
    }
    // The framework's default-help command reaches the same handler as Topics.
    addAction(MakeAction(cmd::kDefaultHelp, QStringLiteral("Help")));
    for (auto& [id, act] : actions_) {
        if (QueryCommandState(id, {}).checkable) act->setCheckable(true);
    }
}

QAction* CMainFrame::action(std::uint32_t command) const {
    const auto it = actions_.find(command);
    return it == actions_.end() ? nullptr : it->second;
}

void CMainFrame::FillMenu(QMenu* menu, std::uint32_t menuId, std::size_t popup) {
    for (const resources::MenuItem& item : resources::FrameMenu(menuId)[popup].items) {
        if (item.IsSeparator()) {
            menu->addSeparator();
        } else if (QAction* act = action(item.id)) {
            menu->addAction(act);
        }
    }
}

void CMainFrame::ShowMenu(std::uint32_t menuId) {
    if (menuId == menuId_) return;
    menuId_ = menuId;
    QMenuBar* bar = menuBar();
    bar->clear();
    const auto popups = resources::FrameMenu(menuId);
    for (std::size_t i = 0; i < popups.size(); ++i) {
        QMenu* menu = bar->addMenu(Text(popups[i].text));
        FillMenu(menu, menuId, i);
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUi);
        if (popups[i].text == "&View" && menuId == resources::kIdrKorvaType) AddWorkbenchMenus(bar, menu);
        if (popups[i].text == "&Window") {
            // The open windows after the window commands, as MDI frames list them.
            connect(menu, &QMenu::aboutToShow, this, [this, menu, menuId, i] {
                menu->clear();
                FillMenu(menu, menuId, i);
                const auto windows = mdi_->subWindowList();
                if (!windows.isEmpty()) menu->addSeparator();
                int n = 1;
                for (QMdiSubWindow* window : windows) {
                    QAction* pick = menu->addAction(QStringLiteral("&%1 %2").arg(n++).arg(window->windowTitle()));
                    pick->setCheckable(true);
                    pick->setChecked(window == mdi_->activeSubWindow());
                    connect(pick, &QAction::triggered, this, [this, w = QPointer<QMdiSubWindow>(window)] {
                        if (w) mdi_->setActiveSubWindow(w);
                    });
                }
            });
        }
    }
}

bool CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    if (bar == nullptr) return false;
    bar->setObjectName(QString::number(resources::kIdwStatusBar));
    const auto panes = resources::StatusIndicators();
    for (std::size_t i = 1; i < panes.size(); ++i) {
        auto* pane = new QLabel(bar);
        pane->setObjectName(AppString(panes[i]));
        pane->setAlignment(Qt::AlignCenter);
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(AppString(panes[i])) + 10);
        bar->addPermanentWidget(pane);
        indicators_[i - 1] = pane;
    }
    connect(bar, &QStatusBar::messageChanged, this, [this](const QString& message) {
        if (message.isEmpty() && !idleMessage_.isEmpty()) statusBar()->showMessage(idleMessage_);
    });
    bar->showMessage(idleMessage_);
    UpdateIndicators();
    return true;
}

void CMainFrame::CreateToolBar() {
    toolBar_ = new QToolBar(tr("Toolbar"), this);
    toolBar_->setObjectName(QString::number(resources::kIdwToolBar));
    toolBar_->setIconSize(QSize(16, 15));
    toolBar_->setAllowedAreas(Qt::TopToolBarArea);
    for (std::uint32_t id : resources::FrameToolbar()) {
        if (id == 0) {
            toolBar_->addSeparator();
        } else {
            toolBar_->addAction(action(id));
        }
    }
    addToolBar(Qt::TopToolBarArea, toolBar_);
}

void CMainFrame::CreateCdBar() {
    cdBarHolder_ = new QToolBar(tr("CD"), this);
    cdBarHolder_->setObjectName(QString::number(resources::kIdwDialogBar));
    cdBarHolder_->setAllowedAreas(Qt::TopToolBarArea);
    cdBar_ = new CCdBar(cdBarHolder_);
    cdBarHolder_->addWidget(cdBar_);
    // The rebar: both bars as bands of the top area, each with its gripper.
    addToolBar(Qt::TopToolBarArea, cdBarHolder_);
    connect(cdBar_, &CCdBar::driveSelectionChanged, this, [this](int) { FillTrackList(); });
    connect(cdBar_, &CCdBar::command, this, [this](unsigned id) { OnCommand(id); });
}

void CMainFrame::CreateSliceBar() {
    sliceBar_ = new CSliceBar(this);
    sliceBar_->setObjectName(QString::number(resources::kIddSliceBar));
    sliceBar_->setWindowTitle(tr("Make Slices"));
    sliceBar_->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    // Docked at the right edge, where it covers no track window; it can still be floated.
    addDockWidget(Qt::RightDockWidgetArea, sliceBar_);
    // The bar's own close button hides it like the command does.
    connect(sliceBar_, &QDockWidget::visibilityChanged, this, [this](bool) { UpdateCommandUi(); });
}

CreateResult CMainFrame::LoadFrame(const CreateOptions& options) {
    CSplashDlg splash;
    splash.ShowAndPaint();
    if (options.splashMs > 0) QThread::msleep(static_cast<unsigned long>(options.splashMs));

    CreateToolBar();
    CreateCdBar();
    CreateSliceBar();
    if (!CreateStatusBar()) return CreateResult::kFailed;

    const platform::OsVersionInfo os = options.queryOs ? options.queryOs() : platform::GetVersionEx();
    if (os.platformId != platform::kVerPlatformWin32Windows) {
        ShowMessage(AppString(resources::kIdsWrongPlatform), platform::kMbOk);
        return CreateResult::kExitProcess;
    }
    try {
        if (options.openSoundDevice) {
            options.openSoundDevice(this);
        } else {
            services_.soundPlayer->OpenDevice(preferences_->driverName(), static_cast<void*>(this));
        }
    } catch (const playback::DSoundException&) {
        ShowMessage(AppString(resources::kIdsNoDirectSound), platform::kMbOk);
        return CreateResult::kExitProcess;
    }

    sliceBar_->Initialise(*preferences_, this);
    OnRefreshDrives(/*quiet=*/true);

    PlaceMainWindow();  // the bars are in, so the frame knows its smallest size
    qApp->installEventFilter(this);
    idleTimer_ = new QTimer(this);
    idleTimer_->setInterval(250);
    connect(idleTimer_, &QTimer::timeout, this, [this] {
        UpdateCommandUi();
        UpdateIndicators();
    });
    idleTimer_->start();
    UpdateCommandUi();
    return CreateResult::kCreated;
}

// --- command routing ------------------------------------------------------------------------

void CMainFrame::OnCommand(std::uint32_t command) {
    // Keys and buttons arrive here only while enabled; a direct call obeys the same rule.
    if (!StateOf(command).enabled) return;
    switch (command) {
        case cmd::kRefresh: OnRefreshDrives(); break;
        case cmd::kReadTrack: OnReadTrack(); break;
        case cmd::kStop:
            if (trackview::CKorvaneView* view = ActiveTrackView()) view->StopPlayback();
            break;
        case cmd::kPlay:
            if (trackview::CKorvaneView* view = ActiveTrackView()) view->PlayRegionOnce();
            break;
        case cmd::kLoop:
            if (trackview::CKorvaneView* view = ActiveTrackView()) view->PlayRegionLooped();
            break;
        case cmd::kExportWav: OnExportWav(); break;
        case cmd::kPreferences: OnPreferences(); break;
        case cmd::kToolWindow: OnToolWindow(); break;
        case cmd::kHelpFinder:
        case cmd::kDefaultHelp: OnHelpFinder(); break;
        case cmd::kViewStatusBar: statusBar()->setHidden(!statusBar()->isHidden()); break;
        case cmd::kAppExit: close(); break;
        case cmd::kWindowNew: OnWindowNew(); break;
        case cmd::kWindowCascade: mdi_->cascadeSubWindows(); break;
        case cmd::kWindowTile: mdi_->tileSubWindows(); break;
        case cmd::kWindowArrange: {
            // Minimised windows in a row along the bottom of the workspace.
            int x = 0;
            for (QMdiSubWindow* window : mdi_->subWindowList()) {
                if (!window->isMinimized()) continue;
                window->move(x, mdi_->viewport()->height() - window->height());
                x += window->width();
            }
            break;
        }
        case cmd::kAppAbout: OnAppAbout(); break;
        case cmd::kFileNew: OnFileNew(); break;
        case cmd::kFileOpen: OnFileOpen(); break;
        case cmd::kFileSave: OnFileSave(); break;
        default:
            // Undo, Cut, Copy, Paste: the keys are taken and nothing happens.
            ++unhandledCommands_;
            break;
    }
    UpdateCommandUi();
}

CommandContext CMainFrame::Context() const {
    CommandContext context;
    if (CChildFrame* child = activeChild(); child != nullptr && child->view() != nullptr) {
        context.hasActiveView = true;
        context.selectedRegions = static_cast<int>(child->view()->SelectedRegionCount());
    }
    context.toolWindowShown = ToolWindowShown();
    context.statusBarVisible = statusBar() != nullptr && !statusBar()->isHidden();
    return context;
}

void CMainFrame::UpdateCommandUi() {
    const CommandContext context = Context();
    for (auto& [id, act] : actions_) {
        const CommandState state = QueryCommandState(id, context);
        act->setEnabled(state.enabled);
        if (state.checkable) act->setChecked(state.checked);
    }
    trackview::CKorvaneView* view = context.hasActiveView ? activeChild()->view() : nullptr;
    if (dbDisplayAction_ != nullptr) {
        dbDisplayAction_->setEnabled(view != nullptr);
        dbDisplayAction_->setChecked(view != nullptr && view->editorCtrl().editor()->get_dbDisplay());
    }
    if (sliceBar_ != nullptr) sliceBar_->ShowRegionCount(view != nullptr ? static_cast<int>(view->Regions().size()) : -1);
    if (cdBar_ != nullptr) {
        cdBar_->refreshButton()->setEnabled(QueryCommandState(cmd::kRefresh, context).enabled);
        cdBar_->readTrackButton()->setEnabled(QueryCommandState(cmd::kReadTrack, context).enabled);
    }
}

void CMainFrame::StopPlayback() { services_.soundPlayer->StopPlayback(); }

void CMainFrame::OnPlayOrStop() {
    OnCommand(services_.soundPlayer->IsStreaming() ? cmd::kStop : cmd::kPlay);
}

void CMainFrame::OnDbDisplay() {
    if (trackview::CKorvaneView* view = ActiveTrackView()) {
        editor::ISampleEditor* editor = view->editorCtrl().editor();
        editor->put_dbDisplay(!editor->get_dbDisplay());
    }
    UpdateCommandUi();
}

void CMainFrame::OnFollowPlayCursor() {
    for (CChildFrame* child : childFrames()) {
        if (child->view() != nullptr) child->view()->SetFollowPlayCursor(followCursorAction_->isChecked());
    }
}

CChildFrame* CMainFrame::activeChild() const { return qobject_cast<CChildFrame*>(mdi_->activeSubWindow()); }

trackview::CKorvaneView* CMainFrame::ActiveTrackView() {
    CChildFrame* child = activeChild();
    return child != nullptr ? child->view() : nullptr;
}

std::vector<CChildFrame*> CMainFrame::childFrames() const {
    std::vector<CChildFrame*> frames;
    for (QMdiSubWindow* window : mdi_->subWindowList()) {
        if (auto* child = qobject_cast<CChildFrame*>(window)) frames.push_back(child);
    }
    return frames;
}

QLabel* CMainFrame::indicatorPane(int index) const { return index >= 0 && index < 3 ? indicators_[index] : nullptr; }

bool CMainFrame::hasCdAccess() const { return services_.cd != nullptr && services_.cd->Available(); }

void CMainFrame::SetIdleMessage(const QString& text) {
    idleMessage_ = text;
    if (statusBar() != nullptr) statusBar()->showMessage(text);
}

// --- CD bar -----------------------------------------------------------------------------------

void CMainFrame::OnRefreshDrives() { OnRefreshDrives(false); }

void CMainFrame::OnRefreshDrives(bool quiet) {
    QComboBox* drives = cdBar_->driveBox();
    drives->clear();
    cdBar_->trackBox()->clear();
    if (!hasCdAccess()) {
        SetIdleMessage(AppString(resources::kIdsNoCdAccess));
        return;
    }
    std::vector<std::string> lines;
    try {
        WaitCursor wait;
        lines = services_.cd->ScanDrives(quiet);
    } catch (const std::exception& failed) {
        SetIdleMessage(FormatAppString(resources::kIdsDriveScanFailed, QString::fromStdString(failed.what())));
        return;
    }
    // A new scan replaces the list, so a line number stays the drive's list position.
    for (const std::string& line : lines) drives->addItem(QString::fromStdString(line));
    // Drives that are missing or unusable, and why (e.g. the group to join for /dev/sr0).
    const std::vector<std::string> problems = services_.cd->Problems();
    QString problemText;
    for (const std::string& problem : problems)
        problemText += (problemText.isEmpty() ? QString() : QStringLiteral("; ")) + QString::fromStdString(problem);
    if (!quiet && !problems.empty()) ShowMessage(problemText, platform::kMbOk | platform::kMbIconWarning);
    if (lines.empty()) {
        SetIdleMessage(problemText.isEmpty() ? AppString(resources::kIdsNoCdDrive) : problemText);
        return;
    }
    drives->setCurrentIndex(0);
    SetIdleMessage(problemText.isEmpty() ? AppString(resources::kIdsIdleMessage) : problemText);
    FillTrackList(quiet);
}

void CMainFrame::FillTrackList() { FillTrackList(false); }

void CMainFrame::FillTrackList(bool quiet) {
    QComboBox* tracks = cdBar_->trackBox();
    tracks->clear();
    const int drive = cdBar_->driveBox()->currentIndex();
    if (drive < 0 || !hasCdAccess()) return;
    std::vector<std::string> lines;
    {
        WaitCursor wait;
        try {
            lines = services_.cd->TrackLines(drive, quiet);
        } catch (const std::exception&) {
            // No disc or a drive the user gave up on: the Track box stays empty.
            lines.clear();
        }
    }
    for (const std::string& line : lines) tracks->addItem(QString::fromStdString(line));
    if (!lines.empty()) tracks->setCurrentIndex(0);
}

void CMainFrame::OnReadTrack() {
    // Playback has ended before the drive is read.
    services_.soundPlayer->StopPlayback();
    QComboBox* tracks = cdBar_->trackBox();
    const int trackLine = tracks->count() > 0 ? tracks->currentIndex() : -1;
    if (trackLine < 0 || !hasCdAccess()) return;
    const QString title = tracks->currentText();

    std::optional<fs::path> trackFile;
    QString failure;
    bool stale = false;
    {
        WaitCursor wait;
        QProgressDialog progress(FormatAppString(resources::kIdsReadingTrack, title), tr("Cancel"), 0, 1000, this);
        progress.setObjectName(QStringLiteral("ReadTrackProgress"));
        progress.setWindowTitle(AppString(resources::kIdsAppTitle));
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(0);
        progress.setAutoClose(false);
        progress.setAutoReset(false);
        progress.setValue(0);
        services_.cd->SetReadOptions({preferences_->verifyReads(), KORVANE_VERSION});
        try {
            trackFile = services_.cd->ReadTrack(
                cdBar_->driveBox()->currentIndex(), trackLine, title.toStdString(), services_.tempDir,
                ReadTrackProgress(progress, FormatAppString(resources::kIdsReadingTrack, title)));
            if (!trackFile) failure = AppString(resources::kIdsReadTrackCancelled);
        } catch (const CdTrackListOutOfDate& changed) {
            stale = true;
            failure = QString::fromStdString(changed.what());
        } catch (const CdError& drive) {
            failure = AppString(resources::kIdsReadTrackFailed) + QStringLiteral(": ") + QString::fromStdString(drive.what());
            // A failure the retry prompt has shown gets no second box; one that failed at
            // once (an unusable disc image) is shown here.
            if (!drive.OfferedForRetry()) ShowMessage(failure, platform::kMbOk | platform::kMbIconWarning);
        } catch (const std::exception& file) {
            ShowMessage(FormatAppString(resources::kIdsImportCannotWrite, QString::fromStdString(file.what())),
                        platform::kMbOk | platform::kMbIconError);
            failure = AppString(resources::kIdsReadTrackFailed);
        }
        progress.close();
    }
    if (stale) {
        // Another disc is in the drive: show its tracks instead of reading a wrong one.
        FillTrackList();
        statusBar()->showMessage(AppString(resources::kIdsReadTrackFailed) + QStringLiteral(": ") + failure, 10000);
        return;
    }
    if (!trackFile) {
        statusBar()->showMessage(failure, 10000);
        return;
    }
    const CdReadSummary summary = services_.cd->LastReadSummary();
    CChildFrame* child = OpenTrackDocument(*trackFile, title.toStdString(), track::DocumentOrigin::kOwnedTrackFile);
    if (child == nullptr) return;
    if (!summary.ripLog.empty()) child->document().AdoptCompanionFile(summary.ripLog);
    const int shownMs = summary.suspiciousSectors > 0 || !summary.ripLog.empty() ? 60000 : 10000;
    statusBar()->showMessage(ReadSummaryText(FormatAppString(resources::kIdsTrackRead, title), summary), shownMs);
}

// --- documents ----------------------------------------------------------------------------------

CMainFrame::DocumentEntry* CMainFrame::EntryOf(const track::CKorvaneDoc& document) const {
    for (const auto& entry : documents_) {
        if (entry->document.get() == &document) return entry.get();
    }
    return nullptr;
}

CChildFrame* CMainFrame::OpenTrackDocument(const fs::path& trackFile, const std::string& title,
                                           track::DocumentOrigin origin) {
    auto document = std::make_unique<track::CKorvaneDoc>();
    switch (origin) {
        case track::DocumentOrigin::kOwnedTrackFile:
            document->AdoptTemporaryTrackFile(trackFile);
            break;
        case track::DocumentOrigin::kUserFile:
            if (!document->OnOpenDocument(trackFile)) {
                ShowMessage(FormatAppString(resources::kIdsImportCannotRead, QString::fromStdString(trackFile.string())),
                            platform::kMbOk | platform::kMbIconError);
                return nullptr;
            }
            break;
        case track::DocumentOrigin::kNew:
            document->OnNewDocument();
            break;
    }
    document->SetTitle(title);
    return AdoptDocument(std::move(document));
}

CChildFrame* CMainFrame::AdoptDocument(std::unique_ptr<track::CKorvaneDoc> document) {
    auto entry = std::make_unique<DocumentEntry>();
    entry->document = std::move(document);
    DocumentEntry* raw = entry.get();
    raw->document->SetHooks({
        [this] { services_.soundPlayer->StopPlayback(); },
        [raw] {
            raw->closing = true;
            for (const QPointer<CChildFrame>& frame : raw->frames) {
                if (frame) frame->close();
            }
            raw->frames.clear();
        },
    });
    documents_.push_back(std::move(entry));
    CChildFrame* frame = AddChildFrame(*raw);
    if (frame == nullptr) {
        // Without a view the document is of no use: close it (its own file goes with it).
        raw->document->OnCloseDocument();
        documents_.erase(std::find_if(documents_.begin(), documents_.end(),
                                      [raw](const auto& e) { return e.get() == raw; }));
    }
    return frame;
}

CChildFrame* CMainFrame::AddChildFrame(DocumentEntry& entry) {
    std::string error;
    std::unique_ptr<trackview::CSampleEditorCtrl> editor =
        trackview::CSampleEditorCtrl::Create(services_.registry.get(), nullptr, &error);
    if (!editor) {
        ShowMessage(QStringLiteral("The waveform editor control could not be created:\n") + QString::fromStdString(error),
                    platform::kMbOk | platform::kMbIconError);
        return nullptr;
    }
    auto* frame = new CChildFrame(*entry.document, nullptr);
    auto* view = new trackview::CKorvaneView(
        std::move(editor), *player_,
        [this] {
            if (sliceBar_ != nullptr) return trackview::SliceSettings{sliceBar_->thresholdDb(), sliceBar_->releaseMs()};
            return trackview::SliceSettings{preferences_->thresholdDb(), preferences_->releaseMs()};
        },
        frame);
    if (!entry.document->GetPathName().empty()) view->SetTrackFile(entry.document->GetPathName());
    view->SetFollowPlayCursor(followCursorAction_->isChecked());
    view->SetSamplerPlayback(samplerOptions_);
    frame->SetView(view);
    frame->setWindowTitle(QString::fromStdString(entry.document->GetTitle()));
    connect(frame, &CChildFrame::closing, this, &CMainFrame::OnChildClosing);
    connect(view, &trackview::CKorvaneView::regionSelectionChanged, this, &CMainFrame::UpdateCommandUi);
    entry.frames.emplace_back(frame);
    mdi_->addSubWindow(frame);
    PlaceChildFrame(frame);
    frame->show();
    mdi_->setActiveSubWindow(frame);
    // The activation signal does not come again for a window that was already active.
    OnSubWindowActivated(frame);
    return frame;
}

void CMainFrame::PlaceChildFrame(CChildFrame* frame) {
    // Inside the workspace: at most the view's preferred size, cascaded by one title bar
    // per open window and back to the corner when the next step would not fit.
    const QSize area = mdi_->viewport()->size();
    const int step = std::max(20, frame->style()->pixelMetric(QStyle::PM_TitleBarHeight) + 4);
    // Room is left for three cascade steps, so every new window shows its title bar.
    const QSize preferred = frame->sizeHint().expandedTo(QSize(480, 300));
    const QSize size(std::max(200, std::min(preferred.width(), area.width() - 3 * step)),
                     std::max(150, std::min(preferred.height(), area.height() - 3 * step)));
    const int others = static_cast<int>(mdi_->subWindowList().size()) - 1;
    const int room = std::max(0, std::min((area.width() - size.width()) / step, (area.height() - size.height()) / step));
    const int k = room > 0 ? others % (room + 1) : 0;
    frame->setGeometry(QRect(QPoint(k * step, k * step), size));
}

void CMainFrame::OnSubWindowActivated(QMdiSubWindow* window) {
    auto* child = qobject_cast<CChildFrame*>(window);
    if (child != nullptr && child != lastActive_) {
        if (lastActive_ && lastActive_->view() != nullptr) lastActive_->view()->OnActivateView(false);
        if (child->view() != nullptr && !child->view()->TrackFile().empty()) child->view()->OnActivateView(true);
        lastActive_ = child;
    } else if (window == nullptr && mdi_->subWindowList().isEmpty()) {
        lastActive_ = nullptr;
    }
    ShowMenu(childFrames().empty() ? resources::kIdrMainFrame : resources::kIdrKorvaType);
    UpdateTitle();
    UpdateCommandUi();
}

void CMainFrame::OnChildClosing(CChildFrame* frame, bool* allow) {
    DocumentEntry* entry = EntryOf(frame->document());
    *allow = true;
    if (entry == nullptr || entry->closing) return;
    auto& frames = entry->frames;
    frames.erase(std::remove_if(frames.begin(), frames.end(),
                                [frame](const QPointer<CChildFrame>& f) { return f.isNull() || f == frame; }),
                 frames.end());
    if (!frames.empty()) return;  // another window still shows the document
    entry->closing = true;
    entry->document->OnCloseDocument();
    // The frame being closed goes when its close event is done; the document now.
    documents_.erase(std::find_if(documents_.begin(), documents_.end(),
                                  [entry](const auto& e) { return e.get() == entry; }));
    QTimer::singleShot(0, this, [this] {
        ShowMenu(childFrames().empty() ? resources::kIdrMainFrame : resources::kIdrKorvaType);
        UpdateTitle();
        UpdateCommandUi();
    });
}

bool CMainFrame::CloseAllDocuments() {
    bool allDeleted = true;
    while (!documents_.empty()) {
        std::unique_ptr<DocumentEntry> entry = std::move(documents_.back());
        documents_.pop_back();
        entry->closing = true;
        if (!entry->document->OnCloseDocument()) allDeleted = false;
    }
    ShowMenu(resources::kIdrMainFrame);
    UpdateTitle();
    return allDeleted;
}

void CMainFrame::OnWindowNew() {
    CChildFrame* child = activeChild();
    if (child == nullptr) return;
    if (DocumentEntry* entry = EntryOf(child->document())) AddChildFrame(*entry);
}

void CMainFrame::UpdateTitle() {
    const QString app = AppString(resources::kIdsMainTitle);
    CChildFrame* child = activeChild();
    setWindowTitle(child != nullptr ? app + QStringLiteral(" - ") + child->windowTitle() : app);
}

// --- the other commands ---------------------------------------------------------------------------

void CMainFrame::OnExportWav() {
    trackview::CKorvaneView* view = ActiveTrackView();
    CChildFrame* child = activeChild();
    if (view == nullptr || child == nullptr) return;
    const std::vector<int> selected = view->SelectedRegionIndices();
    if (selected.empty()) return;
    const bool normalise = preferences_->normalise();
    sampler::SamplerOptions options = samplerOptions_;
    const std::optional<fs::path> chosen = services_.dialogs->ChooseExportFile(
        this,
        [count = selected.size(), normalise](const QString& name, const sampler::SamplerOptions& chosenOptions) {
            return DescribeExport(name, count, normalise, chosenOptions);
        },
        options);
    if (!chosen) return;
    SetSamplerOptions(options);

    wavexport::SamplerExportRequest sampler;
    wavexport::ExportRequest& request = sampler.plain;
    request.trackFile = child->document().GetPathName();
    for (int line : selected) request.selectedLines.push_back(static_cast<std::size_t>(line));
    std::sort(request.selectedLines.begin(), request.selectedLines.end());
    const std::vector<Region> regions = view->Regions();
    request.regionAt = [regions](std::size_t line) {
        const Region& r = regions.at(line);
        return wavexport::RegionBounds{r.start, r.length};
    };
    request.chosenPath = chosen->string();
    request.normalize = preferences_->normalise();
    sampler.regions = regions;
    const trackview::SliceSettings slicing = view->CurrentSliceSettings();
    sampler.thresholdDb = slicing.thresholdDb;
    sampler.releaseMs = slicing.releaseMs;
    sampler.sourceName = child->document().GetTitle();
    sampler.options = options;

    WaitCursor wait;
    QProgressDialog progress(tr("Exporting..."), tr("Cancel"), 0, 1, this);
    progress.setObjectName(QStringLiteral("ExportProgress"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    const auto exported = wavexport::ExportForSampler(sampler, [&progress](std::uint64_t done, std::uint64_t total) {
        const int maximum = static_cast<int>(std::min<std::uint64_t>(std::max<std::uint64_t>(total, 1), 1u << 30));
        if (progress.maximum() != maximum) progress.setMaximum(maximum);
        progress.setValue(static_cast<int>(std::min<std::uint64_t>(done, static_cast<std::uint64_t>(maximum))));
        return !progress.wasCanceled();
    });
    progress.close();
    if (!exported.refused.empty()) {
        // Bad sampler input or an unwritable folder: nothing was written.
        ShowMessage(QString::fromStdString(exported.refused), platform::kMbOk | platform::kMbIconError);
        return;
    }
    const auto& results = exported.regions;
    QString summary = QString::fromStdString(wavexport::ExportSummary(results, request.chosenPath));
    for (const auto& companion : exported.companions) {
        const QString name = QString::fromStdString(fs::path(companion.path).filename().string());
        summary += companion.outcome.Ok() ? tr(", %1").arg(name) : tr(", %1 not written").arg(name);
    }
    if (results.size() < (options.markers ? 1 : selected.size())) summary += tr(", cancelled");
    statusBar()->showMessage(summary, 30000);
}

bool CMainFrame::ToolWindowShown() const { return sliceBar_ != nullptr && !sliceBar_->isHidden(); }

void CMainFrame::OnToolWindow() {
    if (sliceBar_ == nullptr) return;
    // Tested on the tool window itself, so a docked one can be shown again as well.
    sliceBar_->setVisible(!ToolWindowShown());
}

void CMainFrame::OnPreferences() {
    // The read offset shown is the one of the drive selected in the CD bar.
    const bool drive = hasCdAccess() && cdBar_ != nullptr;
    preferences_->SetDriveModel(drive ? services_.cd->DriveModel(cdBar_->driveBox()->currentIndex()) : std::string());
    if (preferences_->DoModal(this) == QDialog::Accepted) SetSamplerOptions(preferences_->samplerDefaults());
}

void CMainFrame::SetSamplerOptions(const sampler::SamplerOptions& options) {
    samplerOptions_ = options;
    for (CChildFrame* child : childFrames()) {
        if (child->view() != nullptr) child->view()->SetSamplerPlayback(options);
    }
}

void CMainFrame::OnHelpFinder() {
    const fs::path& help = services_.helpFile;
    std::error_code ec;
    if (help.empty() || !fs::is_regular_file(help, ec) || !services_.openHelp(help)) {
        ShowMessage(FormatAppString(resources::kIdsHelpFileMissing, QString::fromStdString(help.string())),
                    platform::kMbOk | platform::kMbIconWarning);
    }
}

void CMainFrame::OnAppAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CMainFrame::OnFileNew() {
    const std::string name = std::string(resources::DocStringField(resources::LoadAppString(resources::kIdsDocString), 2));
    OpenTrackDocument({}, name + std::to_string(++untitledCount_), track::DocumentOrigin::kNew);
}

void CMainFrame::OnFileOpen() {
    if (const std::optional<fs::path> chosen = services_.dialogs->ChooseOpenFile(this)) OpenFile(*chosen);
}

CChildFrame* CMainFrame::OpenFile(const fs::path& path) {
    std::unique_ptr<track::CKorvaneDoc> document;
    std::vector<std::string> warnings;
    {
        WaitCursor wait;
        QProgressDialog progress(tr("Opening %1 ...").arg(QString::fromStdString(path.filename().string())),
                                 tr("Cancel"), 0, 1000, this);
        progress.setObjectName(QStringLiteral("OpenFileProgress"));
        progress.setWindowTitle(AppString(resources::kIdsAppTitle));
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(500);
        progress.setAutoClose(false);
        progress.setAutoReset(false);
        track::ImportIo io;
        io.progress = [&progress](std::uint64_t done, std::uint64_t total) {
            // A modal progress dialog processes events here, so Cancel is seen.
            progress.setValue(total == 0 ? 1000 : static_cast<int>(done * 1000 / total));
            return !progress.wasCanceled();
        };
        // An audio file is converted into a temporary track file (the user's file is only
        // read); any other file opens as a track file the document never deletes.
        if (track::LooksLikeAudioFile(path)) {
            auto imported = track::OpenAudioAsDocument(path, services_.tempDir, {}, io);
            document = std::move(imported.document);
            warnings = imported.outcome.Warnings();
            if (imported.outcome.error == track::ImportError::kCancelled)
                statusBar()->showMessage(QString::fromStdString(track::ImportMessage(imported.outcome, path)), 4000);
        } else {
            document = track::OpenDocumentFile(path, services_.tempDir);
        }
        progress.close();
    }
    if (!document) return nullptr;
    if (document->GetTitle().empty()) document->SetTitle(path.filename().string());
    CChildFrame* frame = AdoptDocument(std::move(document));
    if (frame != nullptr && !warnings.empty()) {
        QString text = QString::fromStdString(path.filename().string());
        for (const auto& warning : warnings) text += QStringLiteral(": ") + QString::fromStdString(warning);
        statusBar()->showMessage(text, 10000);
    }
    return frame;
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.front().isLocalFile()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile()) return;
    event->acceptProposedAction();
    const fs::path path = urls.front().toLocalFile().toStdString();
    // Opened once the drop has returned, so the drag source is not kept waiting.
    QTimer::singleShot(0, this, [this, path] { OpenFile(path); });
}

void CMainFrame::OnFileSave() {
    CChildFrame* child = activeChild();
    if (child == nullptr || !child->document().CanSave()) return;
    if (const std::optional<fs::path> target = services_.dialogs->ChooseSaveFile(this)) {
        WaitCursor wait;
        child->document().OnSaveDocument(*target);
    }
}

// --- window events -------------------------------------------------------------------------------

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (idleTimer_ != nullptr) idleTimer_->stop();
    StorePlacement();
    CloseAllDocuments();
    preferences_->StoreSliceSettings();
    QMainWindow::closeEvent(event);
}

void CMainFrame::UpdateIndicators() {
    const auto panes = resources::StatusIndicators();
    for (int i = 0; i < 3; ++i) {
        if (indicators_[i] == nullptr) continue;
        // The pane keeps its width; its text shows only while the lock is on.
        indicators_[i]->setText(lockState_[i] ? AppString(panes[static_cast<std::size_t>(i) + 1]) : QString());
    }
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        const bool press = event->type() == QEvent::KeyPress && !key->isAutoRepeat();
        if (QGuiApplication::platformName() == QLatin1String("xcb")) {
            // X11 reports the lock states with every key: Lock and Mod2 (Num Lock).
            lockState_[0] = (key->nativeModifiers() & 0x02u) != 0;
            lockState_[1] = (key->nativeModifiers() & 0x10u) != 0;
        }
        if (press) {
            if (key->key() == Qt::Key_CapsLock) lockState_[0] = !lockState_[0];
            if (key->key() == Qt::Key_NumLock) lockState_[1] = !lockState_[1];
            if (key->key() == Qt::Key_ScrollLock) lockState_[2] = !lockState_[2];
        }
        UpdateIndicators();
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace korvane::app
