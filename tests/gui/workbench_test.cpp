// The slicing workbench on the track view and its waveform control: picking regions with
// the mouse, the threshold line in the linear and the dB display, the dimmed picture of
// an inactive view, and the length format at its edges.
#include "track_fixture.h"

#include <QListView>
#include <QPainter>
#include <QtTest>
#include <set>
#include <tuple>

using namespace korvane;
using editor::SampleEditorWidget;
using trackview::CKorvaneView;

namespace {

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
    void clicksAndDragsOnTheWaveformSelectRegions() {
        Rig rig;
        QCOMPARE(rig.view->Regions().size(), std::size_t{12});
        QVERIFY(rig.control->XOfSample(rig.view->Regions()[0].start) > 10);  // silence before the first
        QTest::mouseClick(rig.control, Qt::LeftButton, {}, rig.Inside(3));
        QCOMPARE(rig.view->SelectedRegionIndices(), std::vector<int>{3});
        const Region r3 = rig.view->Regions()[3];
        QCOMPARE(rig.control->selectionStart(), static_cast<std::int32_t>(r3.start));
        QCOMPARE(rig.control->selectionEnd(), static_cast<std::int32_t>(r3.start + r3.length));
        QTest::mouseClick(rig.control, Qt::LeftButton, Qt::ControlModifier, rig.Inside(5));
        QCOMPARE(rig.view->SelectedRegionIndices(), (std::vector<int>{3, 5}));
        // A click outside every region clears; with Shift it keeps the selection.
        QTest::mouseClick(rig.control, Qt::LeftButton, Qt::ShiftModifier, rig.At(1000));
        QCOMPARE(rig.view->SelectedRegionIndices(), (std::vector<int>{3, 5}));
        QTest::mouseClick(rig.control, Qt::LeftButton, {}, rig.At(1000));
        QVERIFY(rig.view->SelectedRegionIndices().empty());
        // A drag from inside region 1 to inside region 4 touches 1 .. 4.
        QTest::mousePress(rig.control, Qt::LeftButton, {}, rig.Inside(1));
        QTest::mouseMove(rig.control, rig.Inside(4));
        QTest::mouseRelease(rig.control, Qt::LeftButton, {}, rig.Inside(4));
        QCOMPARE(rig.view->SelectedRegionIndices(), (std::vector<int>{1, 2, 3, 4}));
        QCOMPARE(rig.view->SelectedRegionCount(), 4);
        QVERIFY(rig.player.starts.empty());
        // A double-click plays the region under it.
        QTest::mouseDClick(rig.control, Qt::LeftButton, {}, rig.Inside(7));
        QCOMPARE(rig.view->SelectedRegionIndices(), std::vector<int>{7});
        QCOMPARE(rig.player.starts.size(), std::size_t{1});
        QCOMPARE(rig.player.starts[0].frameCount, rig.view->Regions()[7].length * 4);
    }

    void theThresholdLineFollowsTheSettingsInBothDisplays() {
        Rig rig;
        const double half = (rig.control->height() - SampleEditorWidget::kRulerHeight) / 2.0 - 1.0;
        struct Case {
            double thresholdDb;
            double linearShare;  // of the half height: the slicer's level / 32768
            double dbShare;      // (dB + 96) / 96
        };
        const Case cases[] = {{-6.0, 0.5, 0.9375},        {0.0, 1.0, 1.0},         {-48.0, 128.0 / 32768, 0.5},
                              {-36.0, 512.0 / 32768, 0.625}, {-96.0, 0.0, 0.0}};
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
        QImage image(rig.control->size(), QImage::Format_RGB32);
        QPainter painter(&image);
        rig.control->Render(painter, rig.control->size(), 1.0);
        painter.end();
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
    }

    void anInactiveViewKeepsItsPictureDimmed() {
        Rig rig;
        rig.view->show();
        rig.view->OnActivateView(false);
        QVERIFY(rig.control->HasLastPicture());
        QImage image(rig.control->size(), QImage::Format_RGB32);
        QPainter painter(&image);
        rig.control->Render(painter, rig.control->size(), 1.0);
        painter.end();
        std::set<QRgb> colours;
        for (int x = 0; x < image.width(); x += 4) colours.insert(image.pixel(x, image.height() / 2));
        QVERIFY(colours.size() > 2);  // not a flat black field
        rig.view->OnActivateView(true);
        QVERIFY(!rig.control->HasLastPicture());
    }

    void lengthsRoundToHundredthsBeforeTheyAreSplit() {
        const std::tuple<int, std::uint32_t, const char*> regions[] = {
            {1, 11025, "#1 - 0:00:01.00"},
            {12, 11025 * 3723 + 5512, "#12 - 1:02:03.50"},
            {3, 0, "#3 - 0:00:00.00"},
            {1, 661434, "#1 - 0:00:59.99"},  // 59.994 s
            {1, 661445, "#1 - 0:01:00.00"},  // 59.995 s
            {1, 39690000, "#1 - 1:00:00.00"}};
        for (const auto& [n, samples, line] : regions) QCOMPARE(CKorvaneView::RegionLine(n, samples), QString::fromLatin1(line));
    }
};

QTEST_MAIN(WorkbenchTest)
#include "workbench_test.moc"
