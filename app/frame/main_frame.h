#pragma once
// CMainFrame: the MDI main window. It owns the settings (CPreferencesDlg), the control
// bars - toolbar 128, the CD bar, the slice tool window "Make Slices" and the status
// bar with CAP/NUM/SCRL - and routes every command: most find the active track view
// and hand the work to it, or to the CD layer, the player and the export.
//
// Menus, accelerators, toolbar and prompts come from resources/frame_resources.h; the
// enable rules from command_rules.h. Command states are refreshed before a menu opens,
// when the active child changes, when a view's selection changes and on a short idle
// timer, as a framework updates its command UI on idle.
//
// CChildFrame is the MDI child around one track view. A document may have several
// child frames (Window > New Window); closing the last one closes the document, which
// stops playback, destroys the views and deletes the document's temporary track file.
//
// Thread contract: UI thread only. The stream thread reaches views only through their
// own queued cursor hand-over.
#include "app/frame/command_rules.h"
#include "app/preferences.h"
#include "app/slice_bar.h"
#include "platform/osinfo/osinfo.h"
#include "track/korvane_doc.h"

#include <QMainWindow>
#include <QMdiSubWindow>
#include <QPointer>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QMenuBar;
class QTimer;
class QToolBar;

namespace korvane::platform {
class RegistryStore;
}
namespace korvane::playback {
class SoundPlayer;
}
namespace korvane::trackview {
class CKorvaneView;
class SoundPlayerAdapter;
}

namespace korvane::app {

class CCdBar;
class CdSource;

// The file dialogs the frame shows; tests answer them without a screen.
class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // File > Open: a WAV file to open as a track; nullopt when cancelled.
    virtual std::optional<std::filesystem::path> ChooseOpenFile(QWidget* parent) = 0;
    // Export .WAV...: the name to export to (need not exist; overwrite is confirmed).
    virtual std::optional<std::filesystem::path> ChooseExportFile(QWidget* parent) = 0;
    // The same, with a line under the name that `describe` writes for the name typed so
    // far (which files the export will write, and how).
    virtual std::optional<std::filesystem::path> ChooseExportFile(QWidget* parent,
                                                                  const std::function<QString(const QString&)>& describe) {
        (void)describe;
        return ChooseExportFile(parent);
    }
    // The same with the "Sampler" section, which starts from `options` and receives
    // what the user chose when the dialog is accepted; the line follows the section too.
    virtual std::optional<std::filesystem::path> ChooseExportFile(
        QWidget* parent, const std::function<QString(const QString&, const sampler::SamplerOptions&)>& describe,
        sampler::SamplerOptions& options) {
        const sampler::SamplerOptions shown = options;
        return ChooseExportFile(parent, [&](const QString& name) { return describe(name, shown); });
    }
    // Save (Ctrl+S): where to write the track as a WAV file.
    virtual std::optional<std::filesystem::path> ChooseSaveFile(QWidget* parent) = 0;
};
std::shared_ptr<FileDialogs> MakeQtFileDialogs();

// The process-wide objects and the machine the frame works with.
struct FrameServices {
    playback::SoundPlayer* soundPlayer = nullptr;        // required; outlives the frame
    std::shared_ptr<platform::RegistryStore> registry;   // settings and the control's class id
    CdSource* cd = nullptr;                              // nullptr: no CD access at all
    std::filesystem::path tempDir;                       // the Windows TEMP folder
    std::filesystem::path helpFile;                      // beside the executable
    std::function<bool(const std::filesystem::path&)> openHelp;  // default: the desktop's viewer
    std::shared_ptr<FileDialogs> dialogs;                // default: Qt file dialogs
};

// Seams of the creation sequence.
struct CreateOptions {
    int splashMs = 2000;                                                // the splash pause
    std::function<platform::OsVersionInfo()> queryOs = &platform::GetVersionEx;
    std::function<void(QWidget* frame)> openSoundDevice;                // throws DSoundException
};

enum class CreateResult {
    kCreated,      // the frame is ready to be shown
    kFailed,       // creation failed silently (the status bar could not be made)
    kExitProcess,  // a fatal start-up message was shown; end the process with code 0
};

class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    CChildFrame(track::CKorvaneDoc& document, QWidget* parent);
    track::CKorvaneDoc& document() const noexcept { return document_; }
    trackview::CKorvaneView* view() const noexcept { return view_; }
    void SetView(trackview::CKorvaneView* view);

signals:
    void closing(CChildFrame* frame, bool* allow);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    track::CKorvaneDoc& document_;
    trackview::CKorvaneView* view_ = nullptr;
};

class CMainFrame : public QMainWindow, public CSliceBar::Host {
    Q_OBJECT
public:
    // Constructs the settings object (loading and completing the stored settings) for
    // `drivers` in enumeration order. No window exists yet.
    CMainFrame(FrameServices services, std::vector<DriverChoice> drivers);
    // Closes every document (their track files are deleted), then destroys the settings
    // object, which stores the slicing parameters.
    ~CMainFrame() override;

    // The creation handler: splash and pause, toolbar, CD bar, slice tool window, status
    // bar, the platform check, the sound device, the tool window's values and the quiet
    // drive scan, in this order. The window is not shown.
    CreateResult LoadFrame(const CreateOptions& options);

    // Routes one command (menu, toolbar, accelerator or CD bar button).
    void OnCommand(std::uint32_t command);
    CommandContext Context() const;
    CommandState StateOf(std::uint32_t command) const { return QueryCommandState(command, Context()); }
    // Applies the enable rules to every action now.
    void UpdateCommandUi();
    QAction* action(std::uint32_t command) const;
    // The number of commands that arrived with no handler (the swallowed editing keys).
    int unhandledCommands() const noexcept { return unhandledCommands_; }

    // CSliceBar::Host
    void StopPlayback() override;
    trackview::CKorvaneView* ActiveTrackView() override;

    // Command handlers.
    void OnRefreshDrives();
    // `quiet`: a drive that does not answer fails without the retry prompt (start-up).
    void OnRefreshDrives(bool quiet);
    void FillTrackList();
    void FillTrackList(bool quiet);
    void OnReadTrack();
    void OnExportWav();
    void OnToolWindow();
    bool ToolWindowShown() const;
    void OnPreferences();
    void OnHelpFinder();
    void OnAppAbout();
    void OnFileNew();
    void OnFileOpen();
    void OnFileSave();
    // Space: stops while a region plays, else plays the selected region.
    void OnPlayOrStop();
    // View > dB Display: the active view's waveform in dB or linear.
    void OnDbDisplay();
    // View > Follow Play Cursor, for every track window.
    void OnFollowPlayCursor();
    QAction* dbDisplayAction() const noexcept { return dbDisplayAction_; }
    QAction* followCursorAction() const noexcept { return followCursorAction_; }
    QAction* playOrStopAction() const noexcept { return playOrStopAction_; }
    // Opens `path` as File > Open does (an audio file is converted into a temporary track
    // file with progress and Cancel; any other file opens as the user's track file).
    // Also the end of a file dropped on the window. Failures have been shown when it
    // returns nullptr.
    CChildFrame* OpenFile(const std::filesystem::path& path);

    // Opens `trackFile` as a new document with its child frame and view, titled
    // `title`; an owned file is deleted when the document closes. nullptr (the file
    // deleted when owned) when the view cannot be made.
    CChildFrame* OpenTrackDocument(const std::filesystem::path& trackFile, const std::string& title,
                                   track::DocumentOrigin origin);
    // Gives an open document its child frame and view; nullptr (the document closed) when
    // the view cannot be made.
    CChildFrame* AdoptDocument(std::unique_ptr<track::CKorvaneDoc> document);
    // Closes every document; false when one of them refused.
    bool CloseAllDocuments();

    std::vector<CChildFrame*> childFrames() const;
    CChildFrame* activeChild() const;
    CPreferencesDlg& preferences() noexcept { return *preferences_; }
    CSliceBar* sliceBar() const noexcept { return sliceBar_; }
    CCdBar* cdBar() const noexcept { return cdBar_; }
    QMdiArea* mdiArea() const noexcept { return mdi_; }
    QToolBar* toolBar() const noexcept { return toolBar_; }
    QLabel* indicatorPane(int index) const;  // 0 CAP, 1 NUM, 2 SCRL
    bool hasCdAccess() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    struct DocumentEntry;

    void CreateActions();
    QAction* MakeAction(std::uint32_t command, const QString& text);
    bool CreateStatusBar();
    void CreateToolBar();
    void CreateCdBar();
    void CreateSliceBar();
    void ShowMenu(std::uint32_t menuId);
    void FillMenu(QMenu* menu, std::uint32_t menuId, std::size_t popup);
    void CreateWorkbenchActions();
    void AddWorkbenchMenus(QMenuBar* bar, QMenu* viewMenu);
    void PlaceChildFrame(CChildFrame* frame);
    void PlaceMainWindow();
    void StorePlacement();
    void OnSubWindowActivated(QMdiSubWindow* window);
    void OnChildClosing(CChildFrame* frame, bool* allow);
    CChildFrame* AddChildFrame(DocumentEntry& entry);
    void OnWindowNew();
    void SetIdleMessage(const QString& text);
    void UpdateTitle();
    void UpdateIndicators();
    DocumentEntry* EntryOf(const track::CKorvaneDoc& document) const;

    FrameServices services_;
    std::unique_ptr<CPreferencesDlg> preferences_;
    // The sampler options in use: the Preferences defaults, then what the export dialog
    // last chose; play and loop of every view follow them.
    sampler::SamplerOptions samplerOptions_;
    void SetSamplerOptions(const sampler::SamplerOptions& options);
    std::unique_ptr<trackview::SoundPlayerAdapter> player_;
    std::vector<std::unique_ptr<DocumentEntry>> documents_;

    QMdiArea* mdi_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    QToolBar* cdBarHolder_ = nullptr;
    CCdBar* cdBar_ = nullptr;
    CSliceBar* sliceBar_ = nullptr;
    QLabel* indicators_[3] = {nullptr, nullptr, nullptr};
    bool lockState_[3] = {false, false, false};
    QTimer* idleTimer_ = nullptr;
    std::map<std::uint32_t, QAction*> actions_;
    std::uint32_t menuId_ = 0;
    QString idleMessage_;
    int unhandledCommands_ = 0;
    int untitledCount_ = 0;
    QPointer<CChildFrame> lastActive_;
    QAction* playOrStopAction_ = nullptr;
    QAction* dbDisplayAction_ = nullptr;
    QAction* followCursorAction_ = nullptr;
};

}  // namespace korvane::app
