#pragma once
// SampleEditorWidget: the Qt implementation of the waveform editor control. It lives in
// the Lumatrel.ocx module (and in a static library for its tests and benchmarks); the
// application only sees it as ISampleEditor.
//
// Drawing works in device pixels (high-DPI screens get one min/max column per physical
// pixel) from the precomputed WaveformLevels, so every zoom from 1 to 65536 and every
// scroll step repaints in time proportional to the window width, not to the track.
//
// Thread contract: UI thread, except put_cursorPosition (any thread; the repaint is
// queued to the UI thread). The host must stop calling put_cursorPosition before it
// destroys the control.
#include "track/editor_ctrl/sample_editor.h"
#include "track/editor_ctrl/waveform_levels.h"

#include <QImage>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace korvane::editor {

class SampleEditorWidget final : public QWidget, public ISampleEditor {
    Q_OBJECT
public:
    explicit SampleEditorWidget(QWidget* parent = nullptr);
    ~SampleEditorWidget() override;

    void put_zoomFactorX(std::int32_t zoomFactorX) override;
    void put_zoomFactorY(std::int32_t zoomFactorY) override;
    void put_firstSampleShown(std::int32_t firstSampleShown) override;
    void put_selectionStart(std::int32_t selectionStart) override;
    void put_selectionEnd(std::int32_t selectionEnd) override;
    void put_cursorPosition(std::int32_t cursorPosition) override;
    void put_pcmDataIsStereo(bool pcmDataIsStereo) override;
    void put_Enabled(bool enabled) override;
    void put_sampleName(const char* sampleName) override;
    void put_sampleRaster(double sampleRaster) override;
    void SetPCMData(const std::int16_t* pcmSamples, std::int32_t numPCMSamples) override;
    void SetSlices(const std::int32_t* slices, std::int32_t numSlices) override;
    void Advise(SampleEditorEvents* sink) override;
    QWidget* Widget() override { return this; }
    void SetSliceLengths(const std::int32_t* lengths, std::int32_t count) override;
    void put_thresholdDb(double thresholdDb) override;
    void put_dbDisplay(bool dbDisplay) override;
    bool get_dbDisplay() const override { return dbDisplay_; }

    // Height of the ruler above the wave area, in logical pixels.
    static constexpr int kRulerHeight = 18;
    // The share (0 .. 1) of the half wave height that an amplitude of `level` (0 ..
    // 32768) reaches in the dB display: -96 dB at the centre line, 0 dB at the edge.
    static double DbDisplayShare(double level) noexcept;
    // Distance of the threshold line from the centre line, in logical pixels at the
    // control's current size; negative when no line is drawn.
    double ThresholdOffset() const noexcept;
    // Markers stand so close that they are drawn faint and only every k-th is labelled.
    int MarkerLabelStep(double pixelsPerMarker) const noexcept;
    // The last picture an active control showed, kept (drawn dimmed) while it has no data.
    bool HasLastPicture() const noexcept { return !lastPicture_.isNull(); }

    // Read-back of the state, for the host's tests and for accessibility.
    std::int32_t zoomFactorX() const noexcept { return zoomX_; }
    std::int32_t zoomFactorY() const noexcept { return zoomY_; }
    std::int32_t firstSampleShown() const noexcept { return first_; }
    std::int32_t selectionStart() const noexcept { return selectionStart_; }
    std::int32_t selectionEnd() const noexcept { return selectionEnd_; }
    std::int32_t cursorPosition() const noexcept { return cursor_.load(std::memory_order_relaxed); }
    bool pcmDataIsStereo() const noexcept { return stereo_; }
    std::size_t sampleCount() const noexcept { return levels_.Size(); }
    const std::vector<std::int32_t>& slices() const noexcept { return slices_; }

    // Overview samples per logical pixel at the current zoom and width.
    double SamplesPerPixel() const noexcept;
    // The overview sample under logical x, and back.
    double SampleAtX(double x) const noexcept;
    double XOfSample(double sample) const noexcept;

    // Draws the whole control into `painter` over `size` logical pixels at `dpr` device
    // pixels per logical pixel (the paint event and the benchmarks use it).
    void Render(QPainter& painter, QSize size, qreal dpr) const;

    QSize sizeHint() const override { return {640, 240}; }
    QSize minimumSizeHint() const override { return {120, 60}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void RefreshLevels();
    double ThresholdOffset(double halfHeight) const noexcept;
    void ShadeRegions(QImage& image, double first, double spp) const;
    void DrawDbGrid(QPainter& painter, const QRectF& wave) const;
    void DrawThreshold(QPainter& painter, const QRectF& wave) const;
    void CursorMoved();
    QRect CursorRect(std::int32_t position) const;
    std::int32_t ClampedSample(double sample) const noexcept;

    const std::int16_t* pcm_ = nullptr;
    std::int32_t pcmCount_ = 0;
    bool stereo_ = false;
    bool enabled_ = true;
    WaveformLevels levels_;
    std::int32_t zoomX_ = 1;
    std::int32_t zoomY_ = 1;
    std::int32_t first_ = 0;
    std::int32_t selectionStart_ = 0;
    std::int32_t selectionEnd_ = 0;
    std::vector<std::int32_t> slices_;  // sorted copy of the markers
    std::vector<std::int32_t> lengths_;  // region lengths in the markers' order, or none
    double thresholdDb_;                 // NaN: no threshold line
    bool dbDisplay_ = false;
    QImage lastPicture_;                 // shown dimmed while the control has no data
    std::string sampleName_;
    double sampleRaster_ = 0.0;
    SampleEditorEvents* sink_ = nullptr;

    // The play cursor is written by the stream thread; the UI thread draws it.
    std::atomic<std::int32_t> cursor_{-1};
    std::atomic<bool> cursorRepaintQueued_{false};
    std::int32_t cursorDrawn_ = -1;  // UI thread: where the cursor was last painted

    mutable QImage waveImage_;  // UI thread: reused drawing buffer of the waveform

    bool dragging_ = false;
    std::int32_t dragAnchor_ = 0;
};

}  // namespace korvane::editor
