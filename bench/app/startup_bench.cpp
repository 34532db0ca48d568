// Start-up time: InitInstance up to the main window shown and painted, with the splash
// pause set to 0 ms. Runs on the offscreen platform unless QT_QPA_PLATFORM says
// otherwise; the demo disc is scanned quietly as at every start; the settings come from
// a fresh machine root each time (the first start writes their defaults).
#include "app/main/korvane_app.h"
#include "platform/sound/sound.h"
#include "platform/sound/virtual_sound.h"
#include "platform/ui/ui.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdlib>

using namespace korvane;

static void BM_StartupToMainWindowShown(benchmark::State& state) {
    platform::sound::SetSoundSystem(std::make_shared<platform::sound::VirtualSoundSystem>());
    platform::SetMessageBoxHandler(std::make_shared<platform::ScriptedMessageBoxes>());
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir root;
        setenv("KORVANE_ROOT", root.path().toLocal8Bit().constData(), 1);
        auto app = std::make_unique<app::CKorvaneApp>();
        app::StartupSeams seams;
        seams.splashMs = 0;
        state.ResumeTiming();

        const app::CreateResult result = app->InitInstance(std::move(seams), {});
        QApplication::processEvents();
        if (result != app::CreateResult::kCreated || !app->mainFrame()->isVisible()) {
            state.SkipWithError("start-up did not show the main window");
            break;
        }

        state.PauseTiming();
        app.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    platform::SetMessageBoxHandler(nullptr);
    platform::sound::SetSoundSystem(nullptr);
}
BENCHMARK(BM_StartupToMainWindowShown)->Unit(benchmark::kMillisecond)->Iterations(20);

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("KORVANE_REAL_DRIVES", "0", 0);
    setenv("KORVANE_AUDIO", "null", 0);
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
