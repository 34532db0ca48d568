#pragma once
// CKorvaneApp: the application object and its start-up sequence. The process-wide
// objects (the CD layer, the sound player and its driver list) exist before
// InitInstance; InitInstance creates the main frame, which shows the splash, checks the
// platform, opens the sound device, puts the last slicing parameters into the slice
// tool window and scans the drives quietly; then the main window is shown. No document
// is opened at start-up, whatever the command line holds.
//
// Every outside dependency is a seam, so tests start the whole application with a
// virtual drive, a virtual sound device, a staged platform and a zero splash pause.
// Thread contract: UI thread only.
#include "app/frame/main_frame.h"

#include <QStringList>
#include <filesystem>
#include <functional>
#include <memory>

namespace korvane::app {

struct StartupSeams {
    int splashMs = 2000;
    std::function<platform::OsVersionInfo()> queryOs;           // default: platform::GetVersionEx
    std::function<void(QWidget*)> openSoundDevice;              // default: SoundPlayer::OpenDevice
    std::shared_ptr<platform::RegistryStore> registry;          // default: the machine's registry
    std::shared_ptr<CdSource> cd;                               // default: the machine's CD drives
    bool noCdAccess = false;                                    // stage a missing ASPI manager
    std::shared_ptr<FileDialogs> dialogs;                       // default: Qt file dialogs
    std::function<bool(const std::filesystem::path&)> openHelp; // default: the desktop's viewer
    std::filesystem::path tempDir;                              // default: the machine's TEMP
    std::filesystem::path helpFile;                             // default: beside the executable
};

// The help file of an executable: its own name with the help extension, found in its
// folder without regard to case (".hlp", else the ".html" this build ships).
std::filesystem::path HelpFileFor(const std::filesystem::path& executable);

class CKorvaneApp {
public:
    CKorvaneApp();
    // Destroys the main frame (storing the slicing parameters) if it still exists.
    ~CKorvaneApp();
    CKorvaneApp(const CKorvaneApp&) = delete;
    CKorvaneApp& operator=(const CKorvaneApp&) = delete;

    // Runs the start-up sequence. kCreated: the main window is shown and the caller
    // runs the event loop; kExitProcess: a fatal message was shown, end with code 0
    // at once; kFailed: start-up failed silently.
    CreateResult InitInstance(StartupSeams seams, const QStringList& arguments);

    CMainFrame* mainFrame() const noexcept { return frame_.get(); }
    // Destroys the main frame now (as the framework does when the window has closed).
    void DestroyMainFrame();

    // Parsed but not acted upon: a file named on the command line is not opened.
    const QStringList& commandLineFiles() const noexcept { return commandLineFiles_; }

private:
    std::shared_ptr<CdSource> cd_;
    std::unique_ptr<CMainFrame> frame_;
    QStringList commandLineFiles_;
};

// The CD layer of this machine behind the frame's interface. When the ASPI manager
// cannot be bound it reports itself unavailable, and the application runs without CD
// access.
std::shared_ptr<CdSource> MakeMachineCdSource();

}  // namespace korvane::app
