#include "track/editor_ctrl/sample_editor_widget.h"

#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <limits>

namespace korvane::editor {
namespace {

constexpr double kOverviewRate = 11025.0;
constexpr int kRulerHeight = SampleEditorWidget::kRulerHeight;
constexpr double kDbFloor = -96.0;
// Markers closer than this (logical pixels) are drawn faint and labelled sparsely.
constexpr double kDenseMarkerPixels = 4.0;

struct Palette {
    QColor background{0x16, 0x19, 0x1d};
    QColor ruler{0x20, 0x25, 0x2b};
    QColor rulerText{0x9a, 0xa5, 0xb1};
    QColor grid{0xff, 0xff, 0xff, 0x12};
    QColor centre{0x33, 0x3b, 0x44};
    QColor waveOuter{0x5e, 0xe0, 0xc8};
    QColor waveInner{0x23, 0x8f, 0x86};
    QColor disabledWave{0x5a, 0x60, 0x66};
    QColor selectionFill{0x5a, 0x96, 0xff, 0x44};
    QColor selectionEdge{0x7a, 0xaa, 0xff, 0xd0};
    QColor marker{0xf6, 0xad, 0x55};
    QColor cursor{0xff, 0x5c, 0x5c};
    QColor shade{0x1f, 0x25, 0x2c};
    QColor threshold{0xff, 0x6f, 0xd8};
    QColor dbGrid{0xff, 0xff, 0xff, 0x1c};
};

const Palette& Colours() {
    static const Palette palette;
    return palette;
}

// A tick step (in seconds) from 1-2-5 series so ticks stand at least `minPixels` apart.
double TickStepSeconds(double secondsPerPixel, double minPixels) {
    static constexpr double kSteps[] = {0.001, 0.002, 0.005, 0.01, 0.02, 0.05, 0.1, 0.2, 0.5,
                                        1,     2,     5,     10,   15,   30,   60,  120, 300,
                                        600,   900,   1800,  3600};
    for (double step : kSteps) {
        if (step / secondsPerPixel >= minPixels) return step;
    }
    return 7200;
}

QString TimeLabel(double seconds, double step) {
    const int minutes = static_cast<int>(seconds / 60);
    const double rest = seconds - minutes * 60;
    if (step >= 1) return QString::asprintf("%d:%02d", minutes, static_cast<int>(std::lround(rest)));
    if (step >= 0.1) return QString::asprintf("%d:%04.1f", minutes, rest);
    if (step >= 0.01) return QString::asprintf("%d:%05.2f", minutes, rest);
    return QString::asprintf("%d:%06.3f", minutes, rest);
}

}  // namespace

SampleEditorWidget::SampleEditorWidget(QWidget* parent)
    : QWidget(parent), thresholdDb_(std::numeric_limits<double>::quiet_NaN()) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
    setAccessibleName(QStringLiteral("Waveform"));
}

SampleEditorWidget::~SampleEditorWidget() = default;

void SampleEditorWidget::put_zoomFactorX(std::int32_t zoomFactorX) {
    zoomX_ = std::max<std::int32_t>(1, zoomFactorX);
    update();
}

void SampleEditorWidget::put_zoomFactorY(std::int32_t zoomFactorY) {
    zoomY_ = std::max<std::int32_t>(1, zoomFactorY);
    update();
}

void SampleEditorWidget::put_firstSampleShown(std::int32_t firstSampleShown) {
    first_ = ClampedSample(firstSampleShown);
    update();
}

void SampleEditorWidget::put_selectionStart(std::int32_t selectionStart) {
    selectionStart_ = selectionStart;
    update();
}

void SampleEditorWidget::put_selectionEnd(std::int32_t selectionEnd) {
    selectionEnd_ = selectionEnd;
    update();
}

void SampleEditorWidget::put_cursorPosition(std::int32_t cursorPosition) {
    cursor_.store(cursorPosition, std::memory_order_relaxed);
    // Coalesce: one queued repaint however many positions arrive before it runs.
    if (!cursorRepaintQueued_.exchange(true)) {
        QMetaObject::invokeMethod(this, [this] {
            cursorRepaintQueued_.store(false);
            CursorMoved();
        }, Qt::QueuedConnection);
    }
}

void SampleEditorWidget::put_pcmDataIsStereo(bool pcmDataIsStereo) {
    if (stereo_ == pcmDataIsStereo) return;
    stereo_ = pcmDataIsStereo;
    RefreshLevels();
}

void SampleEditorWidget::put_Enabled(bool enabled) {
    enabled_ = enabled;
    setEnabled(enabled);
    update();
}

void SampleEditorWidget::put_sampleName(const char* sampleName) {
    sampleName_ = sampleName != nullptr ? sampleName : "";
    setToolTip(QString::fromStdString(sampleName_));
}

void SampleEditorWidget::put_sampleRaster(double sampleRaster) { sampleRaster_ = sampleRaster; }

void SampleEditorWidget::SetPCMData(const std::int16_t* pcmSamples, std::int32_t numPCMSamples) {
    const bool hadData = levels_.Size() > 0;
    if ((pcmSamples == nullptr || numPCMSamples <= 0) && hadData && width() > 0 && height() > 0) {
        // An inactive view keeps showing what it showed, dimmed, until it gets data again.
        const qreal dpr = devicePixelRatioF();
        lastPicture_ = QImage(size() * dpr, QImage::Format_RGB32);
        lastPicture_.setDevicePixelRatio(dpr);
        QPainter painter(&lastPicture_);
        Render(painter, size(), dpr);
    } else if (pcmSamples != nullptr && numPCMSamples > 0) {
        lastPicture_ = QImage();
    }
    if (pcmSamples == nullptr || numPCMSamples <= 0) {
        pcm_ = nullptr;
        pcmCount_ = 0;
    } else {
        pcm_ = pcmSamples;
        pcmCount_ = numPCMSamples;
    }
    RefreshLevels();
}

void SampleEditorWidget::RefreshLevels() {
    levels_.Build(pcm_, static_cast<std::size_t>(pcmCount_), stereo_);
    first_ = ClampedSample(first_);
    update();
}

void SampleEditorWidget::SetSlices(const std::int32_t* slices, std::int32_t numSlices) {
    lengths_.clear();
    if (slices == nullptr || numSlices <= 0) {
        slices_.clear();
        if (levels_.Size() == 0) lastPicture_ = QImage();  // an emptied view shows nothing
    } else {
        slices_.assign(slices, slices + numSlices);
        if (!std::is_sorted(slices_.begin(), slices_.end())) std::sort(slices_.begin(), slices_.end());
    }
    update();
}

void SampleEditorWidget::Advise(SampleEditorEvents* sink) { sink_ = sink; }

void SampleEditorWidget::SetSliceLengths(const std::int32_t* lengths, std::int32_t count) {
    // Only lengths that pair up with the markers shade anything.
    if (lengths == nullptr || count <= 0 || static_cast<std::size_t>(count) != slices_.size()) {
        lengths_.clear();
    } else {
        lengths_.assign(lengths, lengths + count);
    }
    update();
}

void SampleEditorWidget::put_thresholdDb(double thresholdDb) {
    thresholdDb_ = thresholdDb;
    update();
}

void SampleEditorWidget::put_dbDisplay(bool dbDisplay) {
    dbDisplay_ = dbDisplay;
    update();
}

double SampleEditorWidget::DbDisplayShare(double level) noexcept {
    // The slicer's scale: 6 dB per bit, 0 dB at 32768, -96 dB at 0.5.
    if (!(level > 0.5)) return 0.0;
    const double db = 6.0 * std::log2(level / 0.5) + kDbFloor;
    return std::clamp((db - kDbFloor) / -kDbFloor, 0.0, 1.0);
}

double SampleEditorWidget::ThresholdOffset(double halfHeight) const noexcept {
    if (std::isnan(thresholdDb_)) return -1.0;
    if (dbDisplay_) return std::clamp((thresholdDb_ - kDbFloor) / -kDbFloor, 0.0, 1.0) * halfHeight;
    // The level the slicer compares with: truncate(0.5 * 2^((dB + 96) / 6)).
    const double level = std::floor(0.5 * std::pow(2.0, (thresholdDb_ - kDbFloor) / 6.0));
    return std::min(halfHeight, level * halfHeight * zoomY_ / 32768.0);
}

double SampleEditorWidget::ThresholdOffset() const noexcept {
    return ThresholdOffset(std::max(1.0, static_cast<double>(height() - kRulerHeight)) / 2.0 - 1.0);
}

int SampleEditorWidget::MarkerLabelStep(double pixelsPerMarker) const noexcept {
    if (pixelsPerMarker >= kDenseMarkerPixels) return 1;
    // Labels from the 1-2-5 series, at least about 40 pixels apart.
    for (int step : {2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000, 50000}) {
        if (step * pixelsPerMarker >= 40.0) return step;
    }
    return 100000;
}

std::int32_t SampleEditorWidget::ClampedSample(double sample) const noexcept {
    const double last = levels_.Size() == 0 ? 0.0 : static_cast<double>(levels_.Size() - 1);
    return static_cast<std::int32_t>(std::clamp(sample, 0.0, last));
}

double SampleEditorWidget::SamplesPerPixel() const noexcept {
    const double w = std::max(1, width());
    if (levels_.Size() == 0) return 1.0;
    return static_cast<double>(levels_.Size()) / (w * zoomX_);
}

double SampleEditorWidget::SampleAtX(double x) const noexcept { return first_ + x * SamplesPerPixel(); }

double SampleEditorWidget::XOfSample(double sample) const noexcept {
    return (sample - first_) / SamplesPerPixel();
}

QRect SampleEditorWidget::CursorRect(std::int32_t position) const {
    if (position < 0) return {};
    const int x = static_cast<int>(std::floor(XOfSample(position)));
    if (x < -3 || x > width() + 3) return {};
    return QRect(x - 3, 0, 7, height());
}

void SampleEditorWidget::CursorMoved() {
    const std::int32_t now = cursor_.load(std::memory_order_relaxed);
    if (now == cursorDrawn_) return;
    update(CursorRect(cursorDrawn_));
    cursorDrawn_ = now;
    update(CursorRect(cursorDrawn_));
}

void SampleEditorWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Render(painter, size(), devicePixelRatioF());
}

void SampleEditorWidget::Render(QPainter& painter, QSize size, qreal dpr) const {
    const Palette& c = Colours();
    const double w = size.width();
    const double h = size.height();
    const bool enabled = enabled_ && isEnabled();
    const QRectF ruler(0, 0, w, kRulerHeight);
    const QRectF wave(0, kRulerHeight, w, std::max(1.0, h - kRulerHeight));
    if (levels_.Size() == 0 && !lastPicture_.isNull()) {
        // Inactive: the last picture, dimmed.
        painter.drawImage(QRectF(0, 0, w, h), lastPicture_);
        painter.fillRect(QRectF(0, 0, w, h), QColor(0, 0, 0, 130));
        return;
    }
    painter.fillRect(ruler, c.ruler);

    const double count = static_cast<double>(levels_.Size());
    const double spp = count > 0 ? count / (std::max(1.0, w) * zoomX_) : 1.0;
    const double first = first_;
    const double visibleEnd = std::min(count, first + w * spp);
    auto xOf = [&](double sample) { return (sample - first) / spp; };
    const double mid = wave.center().y();
    const double half = wave.height() / 2.0 - 1.0;
    const double gain = half * zoomY_ / 32768.0;
    auto yOf = [&](double v) {
        // dB display: the magnitude on the slicer's dB scale, mirrored about the centre.
        const double offset = dbDisplay_ ? std::copysign(DbDisplayShare(std::abs(v)) * half, v) : v * gain;
        return std::clamp(mid - offset, wave.top(), wave.bottom());
    };
    // Markers in view and how close they stand.
    const auto visibleFrom = std::lower_bound(slices_.begin(), slices_.end(), static_cast<std::int32_t>(first_));
    const auto visibleTo = std::upper_bound(visibleFrom, slices_.end(),
                                            static_cast<std::int32_t>(std::min(count, first_ + w * spp)));
    const double pixelsPerMarker = w / static_cast<double>(std::max<std::ptrdiff_t>(1, visibleTo - visibleFrom));
    const bool denseMarkers = pixelsPerMarker < kDenseMarkerPixels;
    const double hair = 1.0 / dpr;

    // The wave area: background, centre line and waveform as one opaque image when there
    // is at least one sample per device pixel; the image is copied to the target without
    // blending, and everything else is drawn over it.
    const QColor outer = enabled ? c.waveOuter : c.disabledWave;
    const QColor inner = enabled ? c.waveInner : c.disabledWave.darker(130);
    const double sppDevice = spp / dpr;
    const bool imageMode = count > 0 && sppDevice >= 1.0;
    if (imageMode) {
        // One min/max span per device column, written straight into an image whose
        // rows carry the vertical gradient: the cost is one pass over the covered
        // pixels, whatever the zoom.
        const int columns = static_cast<int>(std::ceil(w * dpr));
        const int rows = std::max(1, static_cast<int>(std::ceil(wave.height() * dpr)));
        if (waveImage_.width() != columns || waveImage_.height() != rows) {
            waveImage_ = QImage(columns, rows, QImage::Format_RGB32);
        }
        waveImage_.fill(c.background);
        if (!denseMarkers) ShadeRegions(waveImage_, first, sppDevice);
        {
            const int centreRow = std::clamp(static_cast<int>((mid - wave.top()) * dpr), 0, rows - 1);
            auto* centre = reinterpret_cast<QRgb*>(waveImage_.scanLine(centreRow));
            std::fill(centre, centre + columns, c.centre.rgb());
        }
        std::vector<QRgb> rowColour(static_cast<std::size_t>(rows));
        const double midRow = (mid - wave.top()) * dpr;
        const double halfRows = std::max(1.0, wave.height() * dpr / 2.0);
        for (int y = 0; y < rows; ++y) {
            const double t = std::min(1.0, std::abs(y + 0.5 - midRow) / halfRows);
            const auto mix = [t](int a, int b) { return static_cast<int>(a + (b - a) * t); };
            rowColour[static_cast<std::size_t>(y)] =
                qRgb(mix(inner.red(), outer.red()), mix(inner.green(), outer.green()), mix(inner.blue(), outer.blue()));
        }
        const auto stride = static_cast<std::size_t>(waveImage_.bytesPerLine() / 4);
        auto* pixels = reinterpret_cast<QRgb*>(waveImage_.bits());
        for (int col = 0; col < columns; ++col) {
            const double b = first + col * sppDevice;
            if (b >= count) break;
            const double e = std::min(count, first + (col + 1) * sppDevice);
            const auto begin = static_cast<std::size_t>(b);
            const MinMax m = levels_.Range(begin, std::max(begin + 1, static_cast<std::size_t>(std::ceil(e))));
            double high = m.max, low = m.min;
            if (dbDisplay_) {
                high = std::max(std::abs(high), std::abs(low));
                low = -high;
            }
            int top = static_cast<int>(std::floor((yOf(high) - wave.top()) * dpr));
            int bottom = static_cast<int>(std::ceil((yOf(low) - wave.top()) * dpr));
            top = std::clamp(top, 0, rows - 1);
            bottom = std::clamp(std::max(bottom, top + 1), 1, rows);  // silence stays a hairline
            for (int y = top; y < bottom; ++y) {
                pixels[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(col)] =
                    rowColour[static_cast<std::size_t>(y)];
            }
        }
        // Marker lines are blended into the image too: a dense track shows thousands.
        if (!slices_.empty()) {
            const QColor marker = c.marker;
            // Dense markers: a short faint tick at the top, full lines only on labelled ones.
            const int labelStep = MarkerLabelStep(pixelsPerMarker);
            const int tickRows = std::min(rows, static_cast<int>(8 * dpr));
            const auto from = std::lower_bound(slices_.begin(), slices_.end(), static_cast<std::int32_t>(first));
            int lastColumn = -1;
            for (auto it = from; it != slices_.end() && *it <= visibleEnd; ++it) {
                const int col = static_cast<int>(xOf(*it) * dpr);
                if (col == lastColumn || col < 0 || col >= columns) continue;
                lastColumn = col;
                const bool labelled = (it - slices_.begin() + 1) % labelStep == 0;
                const int alpha = !enabled ? 110 : !denseMarkers ? 220 : labelled ? 120 : 150;
                const int lineRows = !denseMarkers || labelled ? rows : tickRows;
                for (int y = 0; y < lineRows; ++y) {
                    QRgb& p = pixels[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(col)];
                    const auto mix = [alpha](int over, int under) { return (over * alpha + under * (255 - alpha)) / 255; };
                    p = qRgb(mix(marker.red(), qRed(p)), mix(marker.green(), qGreen(p)), mix(marker.blue(), qBlue(p)));
                }
            }
        }
        waveImage_.setDevicePixelRatio(dpr);
        painter.drawImage(QPointF(0, wave.top()), waveImage_);
    } else {
        painter.fillRect(wave, c.background);
        // Zoomed in: few regions in view, shaded with one rectangle each.
        for (auto it = visibleFrom; !lengths_.empty() && it != slices_.end() && *it <= visibleEnd; ++it) {
            const auto i = static_cast<std::size_t>(it - slices_.begin());
            if (i % 2 == 0) continue;
            const double x0 = std::max(0.0, xOf(*it)), x1 = std::min(w, xOf(*it + double(lengths_[i])));
            if (x1 > x0) painter.fillRect(QRectF(x0, wave.top(), x1 - x0, wave.height()), c.shade);
        }
        if (visibleFrom != slices_.begin() && !lengths_.empty()) {
            const auto i = static_cast<std::size_t>(visibleFrom - slices_.begin() - 1);  // a region begun left of view
            const double x1 = std::min(w, xOf(slices_[i] + double(lengths_[i])));
            if (i % 2 == 1 && x1 > 0) painter.fillRect(QRectF(0, wave.top(), x1, wave.height()), c.shade);
        }
        painter.fillRect(QRectF(0, mid, w, hair), c.centre);
    }
    if (count > 0 && dbDisplay_) DrawDbGrid(painter, wave);

    // Time grid and ruler labels.
    QFont font = painter.font();
    font.setPixelSize(10);
    painter.setFont(font);
    if (count > 0) {
        const double secondsPerPixel = spp / kOverviewRate;
        const double step = TickStepSeconds(secondsPerPixel, 90);
        const double firstSecond = first / kOverviewRate;
        for (double t = std::floor(firstSecond / step) * step; t <= visibleEnd / kOverviewRate; t += step) {
            const double x = std::round(xOf(t * kOverviewRate) * dpr) / dpr;
            if (x < 0) continue;
            painter.fillRect(QRectF(x, wave.top(), hair, wave.height()), c.grid);
            painter.fillRect(QRectF(x, ruler.bottom() - 5, hair, 5), c.rulerText);
            painter.setPen(c.rulerText);
            painter.drawText(QPointF(x + 3, ruler.top() + 11), TimeLabel(t, step));
        }
    }
    // Selection.
    const std::int32_t selA = std::min(selectionStart_, selectionEnd_);
    const std::int32_t selB = std::max(selectionStart_, selectionEnd_);
    if (count > 0 && selB > selA) {
        const double x0 = std::max(-1.0, xOf(selA));
        const double x1 = std::min(w + 1, xOf(selB));
        if (x1 > x0) {
            painter.fillRect(QRectF(x0, wave.top(), std::max(hair, x1 - x0), wave.height()), c.selectionFill);
            painter.fillRect(QRectF(x0, wave.top(), hair, wave.height()), c.selectionEdge);
            painter.fillRect(QRectF(x1 - hair, wave.top(), hair, wave.height()), c.selectionEdge);
        }
    }

    // Waveform.
    if (count > 0) {
        if (!imageMode) {
            // Zoomed in past one sample per device pixel: a line through the samples,
            // with dots once samples stand well apart.
            const auto i0 = static_cast<std::size_t>(std::max(0.0, std::floor(first)));
            const auto i1 = static_cast<std::size_t>(std::min(count - 1, std::ceil(visibleEnd) + 1));
            QPolygonF line;
            line.reserve(static_cast<int>(i1 - i0 + 1));
            for (std::size_t i = i0; i <= i1; ++i) line.append(QPointF(xOf(static_cast<double>(i)), yOf(levels_.At(i))));
            painter.setRenderHint(QPainter::Antialiasing, true);
            QPen pen(outer, 1.0);
            pen.setCosmetic(true);  // the raster engine's fast anti-aliased line path
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            painter.drawPolyline(line);
            if (1.0 / spp >= 8.0) {
                painter.setPen(Qt::NoPen);
                painter.setBrush(outer);
                for (const QPointF& p : line) painter.drawEllipse(p, 2.0, 2.0);
            }
            painter.setRenderHint(QPainter::Antialiasing, false);
        }
        DrawThreshold(painter, wave);
    }

    // Slice markers: a line through the wave, a flag and the region number in the ruler.
    // Lines and flags go out in one call each: a dense track has thousands of markers.
    if (count > 0 && !slices_.empty()) {
        QColor line = c.marker;
        line.setAlpha(enabled ? 200 : 110);
        const auto begin = std::lower_bound(slices_.begin(), slices_.end(), static_cast<std::int32_t>(first));
        int lastColumn = -1;
        double lastLabelEnd = -1e9;
        double lastFlag = -1e9;
        QVector<QLineF> lines;
        QPainterPath flags;
        struct Label {
            QPointF at;
            QString text;
        };
        std::vector<Label> labels;
        const QFontMetricsF metrics(painter.font());
        const int labelStep = MarkerLabelStep(pixelsPerMarker);
        for (auto it = begin; it != slices_.end() && *it <= visibleEnd; ++it) {
            const int column = static_cast<int>(xOf(*it) * dpr);
            if (column == lastColumn) continue;  // several markers in one device pixel
            lastColumn = column;
            const double xs = (column + 0.5) / dpr;
            if (!imageMode) lines.append(QLineF(xs, wave.top(), xs, wave.bottom()));
            // Dense markers: flags and numbers only on every labelStep-th region.
            if (labelStep > 1 && (it - slices_.begin() + 1) % labelStep != 0) continue;
            if (xs < lastFlag + 7) continue;  // dense markers: lines only, flags where there is room
            lastFlag = xs;
            flags.moveTo(xs, ruler.bottom() - 7);
            flags.lineTo(xs + 6, ruler.bottom() - 3.5);
            flags.lineTo(xs, ruler.bottom());
            flags.closeSubpath();
            QString label = QString::number(it - slices_.begin() + 1);
            const double labelWidth = metrics.horizontalAdvance(label);
            if (xs + 8 > lastLabelEnd + 4 && xs + 8 + labelWidth < w) {
                labels.push_back({QPointF(xs + 8, wave.top() + 11), std::move(label)});
                lastLabelEnd = xs + 8 + labelWidth;
            }
        }
        QPen pen(line, 0);  // cosmetic: one device pixel
        painter.setPen(pen);
        painter.drawLines(lines);
        painter.fillPath(flags, c.marker);
        painter.setPen(c.marker);
        for (const Label& l : labels) painter.drawText(l.at, l.text);
    }

    // Play cursor.
    const std::int32_t cursor = cursor_.load(std::memory_order_relaxed);
    if (count > 0 && cursor >= 0 && cursor <= visibleEnd && cursor >= first) {
        const double x = std::round(xOf(cursor) * dpr) / dpr;
        painter.fillRect(QRectF(x - hair, 0, 2 * hair + 0.5, h), c.cursor);
    }

    // Zoom badge, bottom right.
    if (count > 0 && (zoomX_ > 1 || zoomY_ > 1)) {
        const QString badge = QString::asprintf("x%d  y%d", zoomX_, zoomY_);
        painter.setPen(c.rulerText);
        const double bw = painter.fontMetrics().horizontalAdvance(badge);
        painter.drawText(QPointF(w - bw - 6, h - 5), badge);
    }
}

void SampleEditorWidget::ShadeRegions(QImage& image, double first, double spp) const {
    if (lengths_.empty()) return;
    // One row of background and shade, copied into every row: odd regions are shaded.
    const int columns = image.width();
    std::vector<QRgb> row(static_cast<std::size_t>(columns), Colours().background.rgb());
    bool any = false;
    auto from = std::lower_bound(slices_.begin(), slices_.end(), static_cast<std::int32_t>(first));
    if (from != slices_.begin()) --from;  // the region that began left of the view
    for (auto it = from; it != slices_.end() && *it < first + columns * spp; ++it) {
        const auto i = static_cast<std::size_t>(it - slices_.begin());
        if (i % 2 == 0) continue;
        const int c0 = std::clamp(static_cast<int>(std::floor((*it - first) / spp)), 0, columns);
        const int c1 = std::clamp(static_cast<int>(std::ceil((*it + double(lengths_[i]) - first) / spp)), 0, columns);
        std::fill(row.begin() + c0, row.begin() + c1, Colours().shade.rgb());
        any = any || c1 > c0;
    }
    if (!any) return;
    for (int y = 0; y < image.height(); ++y) {
        std::copy(row.begin(), row.end(), reinterpret_cast<QRgb*>(image.scanLine(y)));
    }
}

void SampleEditorWidget::DrawDbGrid(QPainter& painter, const QRectF& wave) const {
    const Palette& c = Colours();
    const double mid = wave.center().y();
    const double half = wave.height() / 2.0 - 1.0;
    painter.setPen(c.rulerText);
    for (int db = -84; db <= -12; db += 12) {
        const double offset = (db - kDbFloor) / -kDbFloor * half;
        painter.fillRect(QRectF(0, mid - offset, wave.width(), 1), c.dbGrid);
        painter.fillRect(QRectF(0, mid + offset, wave.width(), 1), c.dbGrid);
        if (offset >= 12) painter.drawText(QPointF(4, mid - offset - 2), QStringLiteral("%1 dB").arg(db));
    }
    painter.drawText(QPointF(4, wave.top() + 11), QStringLiteral("0 dB"));
}

void SampleEditorWidget::DrawThreshold(QPainter& painter, const QRectF& wave) const {
    const double half = wave.height() / 2.0 - 1.0;
    const double offset = ThresholdOffset(half);
    if (offset < 0) return;
    const double mid = wave.center().y();
    QPen pen(Colours().threshold, 1.0, Qt::DashLine);
    pen.setCosmetic(true);
    painter.setPen(pen);
    painter.drawLine(QLineF(0, mid - offset, wave.width(), mid - offset));
    painter.drawLine(QLineF(0, mid + offset, wave.width(), mid + offset));
    const QString label = QString::asprintf("%.1f dB", thresholdDb_);
    const double labelWidth = painter.fontMetrics().horizontalAdvance(label);
    painter.drawText(QPointF(wave.width() - labelWidth - 6, std::max(wave.top() + 11, mid - offset - 3)), label);
}

void SampleEditorWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || levels_.Size() == 0 || !enabled_) return QWidget::mousePressEvent(event);
    dragging_ = true;
    dragAnchor_ = ClampedSample(SampleAtX(event->position().x()));
    event->accept();
}

void SampleEditorWidget::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return QWidget::mouseMoveEvent(event);
    const std::int32_t here = ClampedSample(SampleAtX(event->position().x()));
    selectionStart_ = std::min(dragAnchor_, here);
    selectionEnd_ = std::max(dragAnchor_, here);
    update();
}

void SampleEditorWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging_ || event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    dragging_ = false;
    const std::int32_t here = ClampedSample(SampleAtX(event->position().x()));
    if (sink_ == nullptr) return;
    const bool extend = (event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier)) != 0;
    if (here == dragAnchor_) {
        sink_->OnClicked(here, extend);
    } else {
        sink_->OnSelectionChanged(std::min(dragAnchor_, here), std::max(dragAnchor_, here), extend);
    }
}

void SampleEditorWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || levels_.Size() == 0 || !enabled_) return QWidget::mouseDoubleClickEvent(event);
    if (sink_ != nullptr) sink_->OnDoubleClicked(ClampedSample(SampleAtX(event->position().x())));
    event->accept();
}

void SampleEditorWidget::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* db = menu.addAction(tr("&dB Display"));
    db->setCheckable(true);
    db->setChecked(dbDisplay_);
    if (menu.exec(event->globalPos()) == db) put_dbDisplay(!dbDisplay_);
}

void SampleEditorWidget::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) update();
    QWidget::changeEvent(event);
}

}  // namespace korvane::editor
