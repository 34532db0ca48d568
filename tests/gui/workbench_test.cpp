// The waveform control and the slicing workbench on the track view: what the control
// draws where and the positions it keeps in range, picking regions with the mouse, the
// threshold line in the linear and the dB display, the dimmed picture of an inactive
// view, and the length format.
#include "track_fixture.h"

#include <QListView>
#include <QPainter>
#include <QtTest>
#include <cmath>
#include <set>
#include <tuple>

using namespace korvane;
using editor::SampleEditorWidget;
using trackview::CKorvaneView;

namespace {

QImage RenderImage(const SampleEditorWidget& w, qreal dpr = 1.0) {
    QImage image((w.size() * dpr), QImage::Format_RGB32);
    image.setDevicePixelRatio(dpr);
    QPainter p(&image);
    w.Render(p, w.size(), dpr);
    return image;
}

bool IsMarkerColour(QRgb c) { return qRed(c) > 200 && qGreen(c) > 120 && qGreen(c) < 200 && qBlue(c) < 140; }
bool IsWaveColour(QRgb c) { return qGreen(c) > 100 && qGreen(c) > qRed(c) + 40; }

// Twelve loud bursts of 3,000 samples, 7,000 apart: one region each at -30 dB / 200 ms.
std::vector<std::int16_t> Bursts() {
    std::vector<std::int16_t> v(147 * 600, 0);
    for (std::size_t b = 0; b < 12; ++b)
        for (std::size_t k = 0; k < 3000; ++k) v[b * 7000 + 3000 + k] = static_cast<std::int16_t>(k % 2 ? 12000 : -12000);
    return v;
}

struct Rig : testing::ViewRig {
    Rig() : ViewRig(Bursts(), QSize(1000, 400)) { view->OnActivateView(true); }
    QPoint At(double sample) const { return QPoint(static_cast<int>(control->XOfSample(sample)), 120); }
    QPoint Inside(int row) const {
        const Region& r = view->Regions()[static_cast<std::size_t>(row)];
        return At(r.start + r.length / 2.0);
    }
};

}  // namespace

class WorkbenchTest : public QObject {
    Q_OBJECT

private slots:
    void drawsWaveformMarkersSelectionAndCursorWhereTheyBelongAndKeepsPositionsInRange() {
        // Silence with a loud burst in the second half; a marker at its start.
        std::vector<std::int16_t> data(100'000, 0);
        for (std::size_t i = 50'000; i < 60'000; ++i) data[i] = (i % 2) ? 30000 : -30000;
        SampleEditorWidget w;
        w.resize(1000, 200);
        w.SetPCMData(data.data(), static_cast<std::int32_t>(data.size()));
        const std::int32_t marker = 50'000;
        w.SetSlices(&marker, 1);
        const QImage image = RenderImage(w);
        const int xMarker = static_cast<int>(w.XOfSample(marker));
        QCOMPARE(xMarker, 500);
        // The marker line runs through the wave area; a column far from it has none.
        QVERIFY(IsMarkerColour(image.pixel(xMarker, 150)));
        QVERIFY(!IsMarkerColour(image.pixel(300, 150)));
        // The burst reaches near the top of the wave area, the silence does not.
        QVERIFY(IsWaveColour(image.pixel(550, 30)));
        QVERIFY(!IsWaveColour(image.pixel(200, 30)));

        // Zoomed in 4x and scrolled to the burst, the marker moves accordingly.
        w.put_zoomFactorX(4);
        w.put_firstSampleShown(45'000);
        QCOMPARE(static_cast<int>(w.XOfSample(marker)), 200);
        const QImage zoomed = RenderImage(w);
        QVERIFY(IsMarkerColour(zoomed.pixel(200, 150)));

        // High-DPI: the image has twice the pixels, the marker the same logical place.
        const QImage hidpi = RenderImage(w, 2.0);
        QCOMPARE(hidpi.width(), 2000);
        QVERIFY(IsMarkerColour(hidpi.pixel(400, 300)));

        // The selection tints its span; the cursor draws a red line.
        w.put_selectionStart(46'000);
        w.put_selectionEnd(47'000);
        w.put_cursorPosition(48'000);
        const QImage marked = RenderImage(w);
        const QRgb inside = marked.pixel(static_cast<int>(w.XOfSample(46'500)), 60);
        const QRgb outside = marked.pixel(static_cast<int>(w.XOfSample(44'000 + 2'000 - 1'500)), 60);
        QVERIFY(qBlue(inside) > qBlue(outside) + 20);
        const QRgb cursor = marked.pixel(static_cast<int>(std::round(w.XOfSample(48'000))), 60);
        QVERIFY(qRed(cursor) > 200 && qGreen(cursor) < 120);

        // Zoom and scroll positions are kept in range; with empty data the scroll position
        // falls back to 0 and drawing divides by nothing.
        w.put_zoomFactorX(0);
        QCOMPARE(w.zoomFactorX(), 1);
        w.put_firstSampleShown(-20);
        QCOMPARE(w.firstSampleShown(), 0);
        w.put_firstSampleShown(1'000'000'000);
        QCOMPARE(w.firstSampleShown(), static_cast<std::int32_t>(data.size() - 1));
        w.SetPCMData(nullptr, 0);
        QCOMPARE(w.firstSampleShown(), 0);
        RenderImage(w);
    }

    void clicksAndDragsSelectRegionsTheThresholdLineFollowsAndAnInactiveViewStaysDimmed() {
        Rig rig;
        QCOMPARE(rig.view->Regions().size(), std::size_t{12});
        QTest::mouseClick(rig.control, Qt::LeftButton, {}, rig.Inside(3));
        QCOMPARE(rig.view->SelectedRegionIndices(), std::vector<int>{3});
        const Region r3 = rig.view->Regions()[3];
        QCOMPARE(std::pair(rig.control->selectionStart(), rig.control->selectionEnd()),
                 std::pair(std::int32_t(r3.start), std::int32_t(r3.start + r3.length)));
        QTest::mouseClick(rig.control, Qt::LeftButton, Qt::ControlModifier, rig.Inside(5));
        QCOMPARE(rig.view->SelectedRegionIndices(), (std::vector<int>{3, 5}));
        // A click outside every region clears; with Shift it keeps the selection.
        QTest::mouseClick(rig.control, Qt::LeftButton, Qt::ShiftModifier, rig.At(1000));
        QCOMPARE(rig.view->SelectedRegionIndices(), (std::vector<int>{3, 5}));
        QTest::mouseClick(rig.control, Qt::LeftButton, {}, rig.At(1000));
        QVERIFY(rig.view->SelectedRegionIndices().empty());
        // A drag from inside region 4 back to inside region 1 touches 1 .. 4.
        QTest::mousePress(rig.control, Qt::LeftButton, {}, rig.Inside(4));
        QTest::mouseMove(rig.control, rig.Inside(1));
        QTest::mouseRelease(rig.control, Qt::LeftButton, {}, rig.Inside(1));
        QCOMPARE(rig.view->SelectedRegionIndices(), (std::vector<int>{1, 2, 3, 4}));
        QVERIFY(rig.player.starts.empty());
        // A double-click plays the region under it.
        QTest::mouseDClick(rig.control, Qt::LeftButton, {}, rig.Inside(7));
        QCOMPARE(rig.view->SelectedRegionIndices(), std::vector<int>{7});
        QCOMPARE(rig.player.starts.size(), std::size_t{1});
        QCOMPARE(rig.player.starts[0].frameCount, rig.view->Regions()[7].length * 4);

        // The threshold line follows the settings in the linear and the dB display.
        const double half = (rig.control->height() - SampleEditorWidget::kRulerHeight) / 2.0 - 1.0;
        struct Case {
            double thresholdDb;
            double linearShare;  // of the half height: the slicer's level / 32768
            double dbShare;      // (dB + 96) / 96
        };
        const Case cases[] = {{-6.0, 0.5, 0.9375}, {-48.0, 128.0 / 32768, 0.5}, {0.0, 1.0, 1.0}, {-96.0, 0.0, 0.0}};
        for (const Case& c : cases) {
            rig.settings.thresholdDb = c.thresholdDb;
            rig.view->ReSlice();  // what every slider step does
            rig.control->put_dbDisplay(false);
            QVERIFY2(std::abs(rig.control->ThresholdOffset() - c.linearShare * half) < 1e-6, qPrintable(QString::number(c.thresholdDb)));
            rig.control->put_dbDisplay(true);
            QVERIFY2(std::abs(rig.control->ThresholdOffset() - c.dbShare * half) < 1e-6, qPrintable(QString::number(c.thresholdDb)));
        }
        // The line is drawn where it is said to be: a dashed pink row above the centre.
        rig.settings.thresholdDb = -24.0;
        rig.view->ReSlice();
        const QImage image = RenderImage(*rig.control);
        const int mid = SampleEditorWidget::kRulerHeight + (rig.control->height() - SampleEditorWidget::kRulerHeight) / 2;
        const int row = static_cast<int>(std::lround(mid - rig.control->ThresholdOffset()));
        int pink = 0;
        for (int x = 0; x < 40; ++x) {
            for (int y = row - 1; y <= row + 1; ++y) {
                const QRgb p = image.pixel(x, y);
                pink += qRed(p) > 200 && qBlue(p) > 150 && qGreen(p) < 150;
            }
        }
        QVERIFY(pink >= 10);

        // An inactive view keeps its picture, dimmed.
        rig.view->show();
        rig.view->OnActivateView(false);
        QVERIFY(rig.control->HasLastPicture());
        const QImage dimmed = RenderImage(*rig.control);
        std::set<QRgb> colours;
        for (int x = 0; x < dimmed.width(); x += 4) colours.insert(dimmed.pixel(x, dimmed.height() / 2));
        QVERIFY(colours.size() > 2);  // not a flat black field
        rig.view->OnActivateView(true);
        QVERIFY(!rig.control->HasLastPicture());
    }

    void lengthsRoundToHundredthsBeforeTheyAreSplit() {
        const std::tuple<int, std::uint32_t, const char*> regions[] = {
            {1, 11025, "#1 - 0:00:01.00"},
            {12, 11025 * 3723 + 5512, "#12 - 1:02:03.50"},
            {1, 661445, "#1 - 0:01:00.00"},  // 59.995 s
        };
        for (const auto& [n, samples, line] : regions) QCOMPARE(CKorvaneView::RegionLine(n, samples), QString::fromLatin1(line));
    }
};

QTEST_MAIN(WorkbenchTest)
#include "workbench_test.moc"
