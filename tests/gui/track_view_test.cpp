// The track view: activation and re-activation, the region list and markers, unreadable
// track files, zoom and scrolling, the selection, playback hand-over and the slice tool
// window driving re-slices.
#include "app/preferences.h"
#include "app/slice_bar.h"
#include "platform/ui/ui.h"
#include "regions/auto_slicer.h"
#include "track_fixture.h"
#include "tests/support/message_boxes.h"

#include <QLabel>
#include <QListView>
#include <QScrollBar>
#include <QSlider>
#include <QWheelEvent>
#include <QtTest>
#include <optional>

using namespace korvane;
using trackview::CKorvaneView;
using trackview::SliceSettings;

namespace {

// Regions by the one-pass slicer, for comparison with the view's fast path.
std::vector<Region> SliceDirectly(const std::vector<std::int16_t>& overview, SliceSettings s) {
    AutoSlicer slicer;
    slicer.samples = overview.data();
    slicer.sampleCount = static_cast<std::uint32_t>(overview.size());
    slicer.thresholdDb = s.thresholdDb;
    slicer.releaseMs = s.releaseMs;
    slicer.averagingWindow = 50;
    slicer.Slice(1, 11025, 0);
    return {slicer.regions.begin(), slicer.regions.end()};
}

struct Fixture : testing::ViewRig {
    Fixture() : ViewRig(testing::DemoOverview(40.0)) {}
    QStringList Lines() const {
        QStringList lines;
        for (int i = 0; i < view->regionList()->model()->rowCount(); ++i) lines << view->RegionLineText(i);
        return lines;
    }
};

QStringList ExpectedLines(const std::vector<Region>& regions) {
    QStringList lines;
    for (std::size_t j = 0; j < regions.size(); ++j)
        lines << CKorvaneView::RegionLine(static_cast<int>(j + 1), regions[j].length);
    return lines;
}

std::vector<std::int32_t> Starts(const std::vector<Region>& regions) {
    std::vector<std::int32_t> s;
    for (const Region& r : regions) s.push_back(static_cast<std::int32_t>(r.start));
    return s;
}

}  // namespace

class TrackViewTest : public QObject {
    Q_OBJECT
    std::optional<korvane::testing::ScopedMessageBoxes> boxes_;

private slots:
    void init() { boxes_.emplace(); }
    void cleanup() { boxes_.reset(); }
    QStringList BoxTexts() const {
        QStringList texts;
        for (const auto& box : boxes_->Shown()) texts << QString::fromStdString(box.text);
        return texts;
    }

    void activationFillsListAndMarkersReslicesOnlyAfterASettingsChangeAndABadFileEmptiesThem() {
        Fixture f;
        f.view->OnActivateView(true);
        QCOMPARE(std::pair(f.view->OverviewCount(), f.control->sampleCount()),
                 std::pair(static_cast<std::uint32_t>(f.overview.size()), f.overview.size()));
        const std::vector<Region> expected = SliceDirectly(f.overview, f.settings);
        QVERIFY(expected.size() >= 3);  // the demo signal has phrases and pauses
        QCOMPARE(f.view->Regions(), expected);
        QCOMPARE(f.Lines(), ExpectedLines(expected));
        QCOMPARE(f.control->slices(), Starts(expected));

        // Another view activated in between: re-slicing a view whose overview is no longer
        // in the shared buffer still slices its own track.
        f.Select({1});
        f.view->OnActivateView(false);
        testing::ViewRig other(testing::DemoOverview(20.0, 9));
        other.source = [&] { return f.settings; };
        other.view->OnActivateView(true);
        QCOMPARE(other.control->sampleCount(), other.overview.size());
        f.settings.releaseMs = 400;
        f.view->ReSlice();
        QCOMPARE(f.view->Regions(), SliceDirectly(f.overview, f.settings));
        f.settings.releaseMs = 200;
        f.view->ReSlice();
        f.Select({1});
        other.view->OnActivateView(false);
        f.view->OnActivateView(true);  // overview reloaded, regions kept
        QCOMPARE(f.control->sampleCount(), f.overview.size());
        QCOMPARE(f.view->SelectedRegionIndices(), std::vector<int>{1});
        f.view->OnActivateView(false);
        f.settings.thresholdDb = -20.0;
        f.view->OnActivateView(true);  // settings changed: sliced again
        QVERIFY(f.view->SelectedRegionIndices().empty());
        QCOMPARE(f.view->Regions(), SliceDirectly(f.overview, f.settings));

        // A track file too short to hold an overview, or a missing one: its message and
        // an empty view.
        {
            std::ofstream tiny(f.Path("tiny.tmp"), std::ios::binary);
            tiny << "0123456789";
        }
        f.view->SetTrackFile(f.Path("tiny.tmp"));
        f.view->OnActivateView(true);
        const QString tooShort = QString::fromStdString("The track file is too short to hold a track:\n" + f.Path("tiny.tmp").string());
        QCOMPARE(BoxTexts(), QStringList{tooShort});
        QCOMPARE(std::tuple(f.view->Regions().size(), f.view->regionList()->model()->rowCount(), f.control->sampleCount(),
                            f.control->slices().size()),
                 std::tuple(std::size_t{0}, 0, std::size_t{0}, std::size_t{0}));
        f.view->SetTrackFile(f.Path("missing.tmp"));
        f.view->OnActivateView(true);
        QCOMPARE(BoxTexts(),
                 (QStringList{tooShort, QString::fromStdString("The track file could not be opened:\n" + f.Path("missing.tmp").string())}));
        // Nothing selected, nothing to play; zoom and scroll still behave.
        f.view->PlayRegionOnce();
        QVERIFY(f.player.starts.empty());
        f.view->zoomSpinX()->Step(5);
        f.view->scrollBar()->setValue(10);
        QCOMPARE(f.control->firstSampleShown(), 0);
    }

    void zoomScrollPlayAndSliderStepsOnOneView() {
        Fixture f;
        f.view->OnActivateView(true);
        QCOMPARE(std::pair(f.control->zoomFactorX(), f.view->scrollBar()->maximum()), std::pair(1, 0));  // the whole track in view
        f.view->zoomSpinX()->Step(+1);
        QCOMPARE(f.control->zoomFactorX(), 2);
        f.view->zoomSpinX()->Step(+40);
        QCOMPARE(std::pair(f.view->ZoomExponentX(), f.control->zoomFactorX()), std::pair(16, 65536));
        // At the largest zoom the scroll bar still reaches the last samples.
        QScrollBar* scroll = f.view->scrollBar();
        scroll->setValue(scroll->maximum());
        const double lastShown = f.control->SampleAtX(f.control->width());
        QVERIFY2(lastShown >= f.overview.size() - 1, qPrintable(QString::number(lastShown)));
        f.view->zoomSpinX()->Step(-100);
        QCOMPARE(std::pair(f.view->ZoomExponentX(), f.control->zoomFactorX()), std::pair(0, 1));

        // Scrolling keeps the same sample across zoom steps.
        f.view->zoomSpinX()->Step(+3);  // 8x
        scroll->setValue(scroll->maximum() / 2);
        const double before = f.control->firstSampleShown();
        QVERIFY(before > 0);
        f.view->zoomSpinX()->Step(+1);  // 16x: the position doubles, the sample stays
        QVERIFY(std::abs(f.control->firstSampleShown() - before) <= 16);
        scroll->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QVERIFY(f.control->firstSampleShown() > before);
        f.view->zoomSpinX()->Step(-100);
        scroll->setValue(0);

        // The wheel over the waveform: Ctrl zooms in time, Shift in level, alone it scrolls.
        QWidget* control = f.view->editorCtrl().widget();
        auto wheel = [&](int delta, Qt::KeyboardModifiers modifiers) {
            QWheelEvent event(QPointF(100, 50), control->mapToGlobal(QPointF(100, 50)), QPoint(), QPoint(0, delta),
                              Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
            QApplication::sendEvent(control, &event);
        };
        wheel(120, Qt::ControlModifier);
        wheel(120, Qt::ControlModifier);
        QCOMPARE(f.control->zoomFactorX(), 4);
        wheel(-120, Qt::NoModifier);  // towards the end
        QVERIFY(f.control->firstSampleShown() > 0);
        const auto shown = f.control->firstSampleShown();
        wheel(120, Qt::NoModifier);
        QVERIFY(f.control->firstSampleShown() < shown);
        wheel(240, Qt::ShiftModifier);
        QCOMPARE(f.control->zoomFactorY(), 4);

        // The selection and playback hand the region's audio to the player.
        f.view->show();
        // Several selected lines leave the control's selection empty; one is its selection
        // (its end is seen in workbench_test).
        f.Select({0, 2});
        QCOMPARE(std::pair(f.view->SelectedRegionIndices(), f.control->selectionEnd()), std::pair(std::vector<int>{0, 2}, 0));
        const Region r = f.view->Regions()[2];
        f.Select({2});
        QCOMPARE(f.control->selectionStart(), static_cast<std::int32_t>(r.start));
        f.view->PlayRegionOnce();
        QCOMPARE(f.player.starts.size(), std::size_t{1});
        QVERIFY(f.player.stops >= 1);  // stopped before the buffer was replaced
        const auto& once = f.player.starts[0];
        QCOMPARE(std::pair(once.frameCount, once.looped), std::pair(r.length * 4, false));
        // The region's audio, every value: the staircase from the region's start.
        std::vector<std::int16_t> staircase;
        for (std::uint32_t i = 0; i < r.length * 8; ++i) staircase.push_back(testing::StairValue(r.start + i / 8));
        QVERIFY(CKorvaneView::SharedRegionBuffer() == staircase);
        QCOMPARE(once.source, CKorvaneView::SharedRegionBuffer().data());

        // Positions from the stream thread reach the cursor on the UI thread only.
        f.player.ReportFromStreamThread({0, 80, 800});
        QCOMPARE(f.control->cursorPosition(), -1);
        QCoreApplication::processEvents();
        QCOMPARE(f.control->cursorPosition(), static_cast<std::int32_t>(800 / 8 + r.start));

        f.view->PlayRegionLooped();
        QCOMPARE(f.player.starts.size(), std::size_t{2});
        const auto& loop = f.player.starts[1];
        // The whole region repeats: (frames, looped, loop start, loop length).
        QCOMPARE(std::tuple(loop.frameCount, loop.looped, loop.loopStart, loop.loopLength),
                 std::tuple(r.length * 4, true, 0u, r.length * 4));
        QCOMPARE(f.control->cursorPosition(), -1);  // hidden when a region is loaded

        // A position queued before a stop does not bring the cursor back.
        f.player.ReportFromStreamThread({1600});
        f.view->StopPlayback();
        f.view->ResetEditorMarks();
        QCoreApplication::processEvents();
        QCOMPARE(f.control->cursorPosition(), -1);

        // Two selected: nothing plays.
        f.Select({0, 1});
        f.view->PlayRegionOnce();
        QCOMPARE(f.player.starts.size(), std::size_t{2});

        // The slice tool window's slider steps stop playback, re-slice and relabel.
        app::CPreferencesDlg prefs(nullptr, {});
        app::CSliceBar bar;
        struct Host : app::CSliceBar::Host {
            Fixture* f;
            std::vector<std::size_t> regionsAtStop;
            void StopPlayback() override {
                regionsAtStop.push_back(f->view->Regions().size());
                f->view->StopPlayback();
            }
            CKorvaneView* ActiveTrackView() override { return f->view.get(); }
        } host;
        host.f = &f;
        bar.Initialise(prefs, &host);
        // The view reads the bar's current values while re-slicing.
        f.source = [&bar] { return SliceSettings{bar.thresholdDb(), bar.releaseMs()}; };
        const std::size_t regionsBefore = f.view->Regions().size();

        f.Select({0});
        f.view->PlayRegionOnce();
        bar.thresholdSlider()->setValue(-960);
        QCOMPARE(host.regionsAtStop.at(0), regionsBefore);  // the sound stopped before the rebuild
        QCOMPARE(bar.thresholdLabel()->text(), QStringLiteral("Threshold: -96.0dB"));
        bar.thresholdSlider()->setValue(0);
        QCOMPARE(bar.thresholdLabel()->text(), QStringLiteral("Threshold:  0.0dB"));
        bar.releaseSlider()->setValue(5);
        QCOMPARE(bar.releaseLabel()->text(), QStringLiteral("Rls Time: 5ms"));
        bar.releaseSlider()->setValue(2500);
        QCOMPARE(bar.releaseLabel()->text(), QStringLiteral("Rls Time: 2500ms"));
        QCOMPARE(std::tuple(host.regionsAtStop.size(), prefs.thresholdDb(), prefs.releaseMs(), f.control->cursorPosition(),
                            f.control->selectionEnd()),
                 std::tuple(std::size_t{4}, 0.0, 2500, -1, 0));

        // An arrow key applies as well and re-slices exactly as the one-pass slicer.
        bar.thresholdSlider()->setValue(-300);
        bar.releaseSlider()->setValue(100);
        QTest::keyClick(bar.thresholdSlider(), Qt::Key_Left);
        QCOMPARE(bar.thresholdLabel()->text(), QStringLiteral("Threshold: -30.1dB"));
        QCOMPARE(f.view->Regions(), SliceDirectly(f.overview, {bar.thresholdDb(), 100}));
    }
};

QTEST_MAIN(TrackViewTest)
#include "track_view_test.moc"
