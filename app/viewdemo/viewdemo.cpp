// korvane-viewdemo: a developer harness that shows the track view with the slice tool
// window on a generated track file. With --screenshot DIR it renders the view at a few
// zoom levels to PNG files, checks that they show a waveform and slice markers, and exits.
#include "app/preferences.h"
#include "app/qt_message_boxes.h"
#include "app/slice_bar.h"
#include "app/sound_drivers.h"
#include "app/viewdemo/clock_player.h"
#include "cdda/overview.h"
#include "platform/aspi/demo_disc.h"
#include "platform/registry/registry.h"
#include "platform/ui/ui.h"
#include "playback/sound_player.h"
#include "track/view/korvane_view.h"
#include "track/view/sample_editor_ctrl.h"
#include "track/view/sound_player_adapter.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QImage>
#include <QMainWindow>
#include <QMenuBar>
#include <QListView>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <fstream>

using namespace korvane;

namespace {

// The first track of the demo disc as a track file: its raw audio sectors followed by
// the overview, as the track reader lays them out.
bool WriteDemoDiscTrack(const std::filesystem::path& path, double maxSeconds) {
    aspi::DemoDisc disc;
    const auto& toc = disc.Toc();
    if (toc.tracks.empty()) return false;
    const std::uint32_t start = toc.tracks[0].startLba;
    const std::uint32_t end = toc.tracks.size() > 1 ? toc.tracks[1].startLba : toc.leadOutLba;
    const auto limit = static_cast<std::uint32_t>(maxSeconds * 75);
    const std::uint32_t sectors = std::min(end - start, limit > 0 ? limit : end - start);
    std::vector<std::uint8_t> audio(std::size_t{sectors} * 2352);
    disc.ReadSectors(start, sectors, audio);
    std::vector<std::uint8_t> overview(std::size_t{sectors} * 294);
    cdda::DownmixOverviewBytes(audio, overview);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(audio.data()), static_cast<std::streamsize>(audio.size()));
    out.write(reinterpret_cast<const char*>(overview.data()), static_cast<std::streamsize>(overview.size()));
    return static_cast<bool>(out);
}

struct Counts {
    int marker = 0, wave = 0;
};

Counts CountColours(const QImage& image) {
    Counts c;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) > 200 && qGreen(p) > 120 && qGreen(p) < 200 && qBlue(p) < 140) ++c.marker;
            if (qGreen(p) > 100 && qGreen(p) > qRed(p) + 40) ++c.wave;
        }
    }
    return c;
}

class Host : public app::CSliceBar::Host {
public:
    Host(trackview::RegionPlayer& player, trackview::CKorvaneView*& view) : player_(player), view_(view) {}
    void StopPlayback() override { view_ != nullptr ? view_->StopPlayback() : player_.StopPlayback(); }
    trackview::CKorvaneView* ActiveTrackView() override { return view_; }

private:
    trackview::RegionPlayer& player_;
    trackview::CKorvaneView*& view_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("korvane-viewdemo"));
    QCommandLineParser parser;
    parser.addHelpOption();
    QCommandLineOption seconds(QStringLiteral("seconds"), QStringLiteral("Longest part of the track to show (0: all)."),
                               QStringLiteral("seconds"), QStringLiteral("0"));
    QCommandLineOption shots(QStringLiteral("screenshot"), QStringLiteral("Write PNGs to DIR and exit."),
                             QStringLiteral("dir"));
    parser.addOption(seconds);
    parser.addOption(shots);
    parser.process(app);
    platform::SetMessageBoxHandler(std::make_shared<app::QtMessageBoxes>());

    QTemporaryDir temp;
    const std::filesystem::path track = std::filesystem::path(temp.path().toStdString()) / "~krvn1.tmp";
    if (!WriteDemoDiscTrack(track, parser.value(seconds).toDouble())) {
        std::fprintf(stderr, "cannot write %s\n", track.c_str());
        return 1;
    }

    std::shared_ptr<platform::RegistryStore> registry;
    try {
        registry = platform::RegistryStore::OpenMachine();
    } catch (const std::exception&) {
        registry = nullptr;  // the control is then looked for beside the program only
    }
    app::CPreferencesDlg preferences(nullptr, app::EnumeratedDriverChoices());
    // Sound through the playback layer when a device opens; otherwise a silent clock.
    viewdemo::ClockPlayer clock;
    std::unique_ptr<trackview::SoundPlayerAdapter> sound;
    try {
        playback::TheSoundPlayer().OpenDevice(preferences.driverName(), nullptr);
        sound = std::make_unique<trackview::SoundPlayerAdapter>(playback::TheSoundPlayer());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "no sound device (%s); the cursor runs on a silent clock\n", error.what());
    }
    trackview::RegionPlayer& player = sound ? static_cast<trackview::RegionPlayer&>(*sound) : clock;
    trackview::CKorvaneView* active = nullptr;
    Host host(player, active);

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Korvane - Demo disc, track 1"));
    std::string error;
    auto ctrl = trackview::CSampleEditorCtrl::Create(registry.get(), &window, &error);
    if (!ctrl) {
        std::fprintf(stderr, "cannot create the waveform control: %s\n", error.c_str());
        return 1;
    }
    auto* bar = new app::CSliceBar(&window);
    auto* view = new trackview::CKorvaneView(std::move(ctrl), player,
                                             [bar] { return trackview::SliceSettings{bar->thresholdDb(), bar->releaseMs()}; },
                                             &window);
    view->SetTrackFile(track);
    window.setCentralWidget(view);
    window.addDockWidget(Qt::RightDockWidgetArea, bar);
    bar->Initialise(preferences, &host);
    active = view;

    QMenu* play = window.menuBar()->addMenu(QStringLiteral("&Play"));
    play->addAction(QStringLiteral("Play region"), QKeySequence(Qt::Key_Space), view, &trackview::CKorvaneView::PlayRegionOnce);
    play->addAction(QStringLiteral("Loop region"), QKeySequence(Qt::Key_L), view, &trackview::CKorvaneView::PlayRegionLooped);
    play->addAction(QStringLiteral("Stop"), QKeySequence(Qt::Key_S), view, &trackview::CKorvaneView::StopPlayback);
    play->addAction(QStringLiteral("Preferences..."), [&] { preferences.DoModal(&window); });

    window.resize(1100, 460);
    window.show();
    view->OnActivateView(true);

    if (!parser.isSet(shots)) {
        bar->setFloating(true);
        const int result = QApplication::exec();
        active = nullptr;
        player.StopPlayback();
        return result;
    }

    // Screenshot mode.
    const QString dir = parser.value(shots);
    QDir().mkpath(dir);
    bool ok = true;
    auto shoot = [&](const QString& name, QWidget* widget, bool expectMarks) {
        QCoreApplication::processEvents();
        const QImage image = widget->grab().toImage();
        const QString file = dir + QLatin1Char('/') + name + QStringLiteral(".png");
        if (!image.save(file)) ok = false;
        const Counts c = CountColours(image);
        std::printf("%s: %dx%d, %d waveform and %d marker pixels\n", qPrintable(file), image.width(), image.height(),
                    c.wave, c.marker);
        if (expectMarks && (c.wave < 500 || c.marker < 50)) ok = false;
    };
    QTimer::singleShot(0, [&] {
        if (view->Regions().size() > 2) view->SelectRegions({2});
        view->editorCtrl()->put_cursorPosition(view->Regions().size() > 2 ? view->Regions()[2].start + 3000 : 0);
        shoot(QStringLiteral("trackview_zoom1"), &window, true);
        view->zoomSpinX()->Step(3);
        view->zoomSpinY()->Step(1);
        shoot(QStringLiteral("trackview_zoom8"), &window, true);
        view->zoomSpinX()->Step(16);
        shoot(QStringLiteral("trackview_zoom65536"), view->editorCtrl().widget(), false);
        shoot(QStringLiteral("slicebar"), bar, false);
        QCoreApplication::exit(ok ? 0 : 1);
    });
    const int result = QApplication::exec();
    active = nullptr;
    return result;
}
