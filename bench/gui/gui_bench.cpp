// The interactive paths of the track view on an 80-minute track:
//  - a slider step to the markers handed to the control (stop, relabel, re-slice, list
//    refill, SetSlices), the path every drag step takes; target below one 60 Hz frame;
//  - SliderStep/<N>regions: the same step on an 80-minute track cut into N regions, the
//    region list and the markers refilled each time; target below 16 ms at 50,000;
//  - a full repaint of the waveform control at the widest and the narrowest zoom.
#include "app/preferences.h"
#include "app/slice_bar.h"
#include "regions/demo_signal.h"
#include "track/editor_ctrl/sample_editor_widget.h"
#include "track/view/korvane_view.h"
#include "track/view/region_player.h"
#include "track/view/sample_editor_ctrl.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QSlider>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <fstream>
#include <map>
#include <string>
#include <optional>

using namespace korvane;

namespace {

constexpr double kTrackSeconds = 80 * 60;

const std::vector<std::int16_t>& Overview() {
    static const std::vector<std::int16_t> overview = [] {
        demo::DemoSignalSpec spec;
        spec.rateHz = 11025;
        spec.durationSeconds = kTrackSeconds;
        auto v = demo::MakeDemoSignal(spec);
        v.resize(v.size() / 147 * 147);
        return v;
    }();
    return overview;
}

// An 80-minute overview of `bursts` equal bursts, each a quarter of its period loud
// and the rest silent, so a 5 ms release cuts one region per burst.
std::vector<std::int16_t> BurstOverview(int bursts) {
    std::vector<std::int16_t> v(static_cast<std::size_t>(kTrackSeconds * 11025) / 147 * 147, 0);
    const std::size_t period = v.size() / static_cast<std::size_t>(bursts);
    for (std::size_t i = 0; i + period <= v.size(); i += period) {
        for (std::size_t k = 0; k < period / 4; ++k) v[i + k] = static_cast<std::int16_t>(k % 2 == 0 ? 16000 : -16000);
    }
    return v;
}

// A track file with its audio part left as a hole: the view reads only the overview.
std::filesystem::path WriteTrackFile(const std::vector<std::int16_t>& overview, const std::string& name) {
    static QTemporaryDir dir;
    const auto p = std::filesystem::path(dir.path().toStdString()) / name;
    std::ofstream out(p, std::ios::binary);
    out.seekp(static_cast<std::streamoff>(overview.size() * 16));
    out.write(reinterpret_cast<const char*>(overview.data()), static_cast<std::streamsize>(overview.size() * 2));
    return p;
}

std::filesystem::path TrackFile() {
    static const std::filesystem::path path = WriteTrackFile(Overview(), "long.tmp");
    return path;
}

class SilentPlayer : public trackview::RegionPlayer {
public:
    void StopPlayback() override {}
    void PlayOnce(const std::int16_t*, std::uint32_t, std::uint32_t, std::uint32_t, PositionCallback, void*) override {}
    void PlayLoop(const std::int16_t*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                  PositionCallback, void*) override {}
};

// A track view driven by the slice bar's sliders, as in the main window.
struct SliderRig : app::CSliceBar::Host {
    SilentPlayer player;
    app::CPreferencesDlg prefs{nullptr, {}};
    app::CSliceBar bar;
    editor::SampleEditorWidget* control = new editor::SampleEditorWidget;
    trackview::CKorvaneView view{std::make_unique<trackview::CSampleEditorCtrl>(control, nullptr), player,
                                 [this] { return trackview::SliceSettings{bar.thresholdDb(), bar.releaseMs()}; }};

    explicit SliderRig(int releaseMs) {
        bar.Initialise(prefs, this);
        if (releaseMs > 0) bar.releaseSlider()->setValue(releaseMs);
    }
    // Opens `file` in a 1400x500 view: loads the overview and builds the slicing index once.
    void Open(const std::filesystem::path& file) {
        view.SetTrackFile(file);
        view.resize(1400, 500);
        view.show();
        view.OnActivateView(true);
    }
    void StopPlayback() override { view.StopPlayback(); }
    trackview::CKorvaneView* ActiveTrackView() override { return &view; }
};

void BM_SliderStepToMarkers(benchmark::State& state) {
    SliderRig rig(0);
    rig.Open(TrackFile());
    const bool release = state.range(0) != 0;
    QSlider* slider = release ? rig.bar.releaseSlider() : rig.bar.thresholdSlider();
    const int base = release ? 750 : -360;
    int step = 0;
    for (auto _ : state) {
        slider->setValue(base - (step++ % 2 == 0 ? 1 : 0) * (release ? 10 : 1));
        benchmark::DoNotOptimize(rig.control->slices().data());
    }
    state.counters["regions"] = static_cast<double>(rig.view.Regions().size());
}
BENCHMARK(BM_SliderStepToMarkers)->Arg(0)->Arg(1)->ArgName("releaseSlider")->Unit(benchmark::kMillisecond);

// A threshold step on a track of `regions` bursts, release 5 ms: re-slice, list and markers.
void SliderStepWithRegions(benchmark::State& state, int regions) {
    static std::map<int, std::filesystem::path> files;
    if (files.count(regions) == 0) {
        files[regions] = WriteTrackFile(BurstOverview(regions), "bursts" + std::to_string(regions) + ".tmp");
    }
    SliderRig rig(5);
    rig.Open(files[regions]);
    int step = 0;
    for (auto _ : state) {
        rig.bar.thresholdSlider()->setValue(-360 - (step++ % 2));
        QCoreApplication::processEvents();  // the list lays out what it shows
        benchmark::DoNotOptimize(rig.control->slices().data());
    }
    state.counters["regions"] = static_cast<double>(rig.view.Regions().size());
}
// Opening an 80-minute track: a new view activated for the first time reads the
// overview from the track file, hands it to the control (waveform levels), builds the
// slicing index and slices once (list and markers). Target: 200 ms.
void OpenTrack(benchmark::State& state) {
    SilentPlayer player;
    const auto file = TrackFile();
    std::optional<trackview::CKorvaneView> view;
    std::size_t regions = 0;
    for (auto _ : state) {
        state.PauseTiming();  // tearing the previous view down is not part of opening
        view.reset();
        state.ResumeTiming();
        auto* control = new editor::SampleEditorWidget;
        view.emplace(std::make_unique<trackview::CSampleEditorCtrl>(control, nullptr), player,
                     [] { return trackview::SliceSettings{-36.0, 750}; });
        view->SetTrackFile(file);
        view->resize(1400, 500);
        view->OnActivateView(true);
        regions = view->Regions().size();
    }
    state.counters["regions"] = static_cast<double>(regions);
}
BENCHMARK(OpenTrack)->Name("OpenTrack/80min")->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WaveformRepaint(benchmark::State& state) {
    const auto& overview = Overview();
    editor::SampleEditorWidget control;
    control.resize(1600, 400);
    control.SetPCMData(overview.data(), static_cast<std::int32_t>(overview.size()));
    std::vector<std::int32_t> markers;
    for (std::int32_t s = 0; s < static_cast<std::int32_t>(overview.size()); s += 11025 * 3) markers.push_back(s);
    control.SetSlices(markers.data(), static_cast<std::int32_t>(markers.size()));
    const int zoom = static_cast<int>(state.range(0));
    const qreal dpr = static_cast<qreal>(state.range(1));
    control.put_zoomFactorX(zoom);
    control.put_firstSampleShown(static_cast<std::int32_t>(overview.size() / 3));
    control.put_selectionStart(static_cast<std::int32_t>(overview.size() / 3 + 100));
    control.put_selectionEnd(static_cast<std::int32_t>(overview.size() / 3 + 5000));
    QImage image(control.size() * dpr, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    for (auto _ : state) {
        QPainter painter(&image);
        control.Render(painter, control.size(), dpr);
        painter.end();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_WaveformRepaint)
    ->Args({1, 1})
    ->Args({65536, 1})
    ->Args({1, 2})
    ->Args({65536, 2})
    ->ArgNames({"zoom", "dpr"})
    ->Unit(benchmark::kMillisecond);

void BM_WaveformLevelsBuild(benchmark::State& state) {
    const auto& overview = Overview();
    editor::WaveformLevels levels;
    for (auto _ : state) {
        levels.Build(overview.data(), overview.size(), false);
        benchmark::DoNotOptimize(levels.LevelCount());
    }
}
BENCHMARK(BM_WaveformLevelsBuild)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    for (int regions : {10000, 50000}) {
        benchmark::RegisterBenchmark(("SliderStep/" + std::to_string(regions) + "regions").c_str(),
                                     [regions](benchmark::State& state) { SliderStepWithRegions(state, regions); })
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
