// The waveform control on its own: the positions its interface keeps in range and what it
// draws where. (Its mouse events are seen through the track view in workbench_test, the
// play cursor in track_view_test.)
#include "track/editor_ctrl/sample_editor_widget.h"

#include <QImage>
#include <QPainter>
#include <QtTest>
#include <cmath>
#include <vector>

using korvane::editor::SampleEditorWidget;

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

}  // namespace

class SampleEditorTest : public QObject {
    Q_OBJECT
private slots:
    void zoomAndScrollPositionsAreKeptInRange() {
        std::vector<std::int16_t> data(11025 * 10, 0);
        SampleEditorWidget w;
        w.resize(1000, 200);
        w.SetPCMData(data.data(), static_cast<std::int32_t>(data.size()));
        w.put_zoomFactorX(0);
        QCOMPARE(w.zoomFactorX(), 1);
        w.put_firstSampleShown(-20);
        QCOMPARE(w.firstSampleShown(), 0);
        w.put_firstSampleShown(1'000'000'000);
        QCOMPARE(w.firstSampleShown(), static_cast<std::int32_t>(data.size() - 1));
        // Empty data: the scroll position falls back to 0, nothing divides by zero.
        w.SetPCMData(nullptr, 0);
        QCOMPARE(w.firstSampleShown(), 0);
        RenderImage(w);
    }

    void drawsWaveformMarkersSelectionAndCursorWhereTheyBelong() {
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
    }

};

QTEST_MAIN(SampleEditorTest)
#include "sample_editor_test.moc"
