#include "app/main/korvane_app.h"

#include "app/frame/cd_source.h"
#include "platform/paths/paths.h"
#include "platform/registry/registry.h"
#include "app/sound_drivers.h"
#include "playback/sound_player.h"

#include <QCommandLineParser>
#include <algorithm>
#include <cctype>

namespace korvane::app {
namespace fs = std::filesystem;

fs::path HelpFileFor(const fs::path& executable) {
    const fs::path dir = executable.parent_path();
    const std::string stem = executable.stem().string();
    // Beside the program (a build tree, the machine's application folder), then the
    // shared data of an installed package (<prefix>/share/korvane for <prefix>/bin).
    for (const fs::path& folder : {dir, dir.parent_path() / "share" / "korvane"}) {
        for (const char* extension : {".hlp", ".html"}) {
            const std::string wanted = stem + extension;
            std::error_code ec;
            for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
                if (platform::EqualsIgnoreCase(entry.path().filename().string(), wanted)) return entry.path();
            }
        }
    }
    return dir / (stem + ".hlp");
}

CKorvaneApp::CKorvaneApp() = default;

CKorvaneApp::~CKorvaneApp() { DestroyMainFrame(); }

void CKorvaneApp::DestroyMainFrame() { frame_.reset(); }

CreateResult CKorvaneApp::InitInstance(StartupSeams seams, const QStringList& arguments) {
    // The process-wide objects: the CD layer binds to the ASPI manager, the sound
    // player exists, the driver list is filled.
    if (!seams.noCdAccess) cd_ = seams.cd ? seams.cd : MakeMachineCdSource();
    playback::SoundPlayer& player = playback::TheSoundPlayer();
    std::vector<DriverChoice> drivers = EnumeratedDriverChoices();

    const platform::MachineRoot machine = platform::MachineRoot::FromEnvironment();
    FrameServices services;
    services.soundPlayer = &player;
    services.registry = seams.registry ? seams.registry : platform::RegistryStore::OpenMachine();
    services.cd = cd_.get();
    services.tempDir = seams.tempDir.empty() ? machine.TempDir() : seams.tempDir;
    services.helpFile = seams.helpFile.empty() ? HelpFileFor(fs::read_symlink("/proc/self/exe")) : seams.helpFile;
    services.openHelp = seams.openHelp;
    services.dialogs = seams.dialogs;

    // The frame's constructor loads (and completes) the settings before any window.
    frame_ = std::make_unique<CMainFrame>(std::move(services), std::move(drivers));
    CreateOptions options;
    options.splashMs = seams.splashMs;
    if (seams.queryOs) options.queryOs = seams.queryOs;
    options.openSoundDevice = seams.openSoundDevice;
    const CreateResult result = frame_->LoadFrame(options);
    if (result != CreateResult::kCreated) return result;

    // The command line is parsed, and nothing in it is opened.
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("ignored"));
    parser.parse(arguments.isEmpty() ? QStringList{QStringLiteral("korvane")} : arguments);
    commandLineFiles_ = parser.positionalArguments();

    frame_->show();
    frame_->UpdateCommandUi();
    return result;
}

}  // namespace korvane::app
