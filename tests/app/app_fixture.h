#pragma once
// The whole application in the test process: a fresh machine root, the demo disc behind
// the ASPI manager beside the test program, a recording virtual sound device, scripted
// message boxes and file dialogs, and no splash pause.
#include "app/frame/cd_bar.h"
#include "app/frame/main_frame.h"
#include "app/main/korvane_app.h"
#include "platform/registry/registry.h"
#include "platform/sound/sound.h"
#include "platform/sound/virtual_sound.h"
#include "platform/ui/ui.h"
#include "tests/support/audio_files.h"
#include "tests/support/temp_dir.h"
#include "track/view/korvane_view.h"

#include <QAction>
#include <QComboBox>
#include <QListView>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace korvane::testing {

// Answers the frame's file dialogs from queues; an empty queue answers "cancelled".
class ScriptedFileDialogs : public app::FileDialogs {
public:
    std::deque<std::filesystem::path> open, exportTo, save;
    int asked = 0;
    std::optional<std::filesystem::path> ChooseOpenFile(QWidget*) override { return Take(open); }
    std::optional<std::filesystem::path> ChooseExportFile(QWidget*) override { return Take(exportTo); }
    std::optional<std::filesystem::path> ChooseSaveFile(QWidget*) override { return Take(save); }

private:
    std::optional<std::filesystem::path> Take(std::deque<std::filesystem::path>& queue) {
        ++asked;
        if (queue.empty()) return std::nullopt;
        auto path = queue.front();
        queue.pop_front();
        return path;
    }
};

struct AppRig {
    korvane::testing::TempDir root;
    std::shared_ptr<platform::sound::VirtualSoundSystem> sound;
    std::shared_ptr<platform::ScriptedMessageBoxes> boxes = std::make_shared<platform::ScriptedMessageBoxes>();
    std::shared_ptr<ScriptedFileDialogs> dialogs = std::make_shared<ScriptedFileDialogs>();
    std::vector<std::filesystem::path> helpOpened;
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
        seams.openHelp = [this](const std::filesystem::path& file) {
            helpOpened.push_back(file);
            return true;
        };
        return seams;
    }
    app::CreateResult Start() { return app->InitInstance(Seams(), {QStringLiteral("korvane")}); }

    app::CMainFrame& frame() const { return *app->mainFrame(); }
    std::filesystem::path Root() const { return root.Path(); }
    std::filesystem::path TempDir() const { return Root() / "drive_c" / "WINDOWS" / "TEMP"; }
    std::vector<std::filesystem::path> TempFiles() const {
        std::vector<std::filesystem::path> files;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(TempDir(), ec)) files.push_back(entry.path());
        return files;
    }
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

}  // namespace korvane::testing
