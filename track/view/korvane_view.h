#pragma once
// CKorvaneView: the form of one track document. It shows the track's overview in the
// waveform control, lists the regions the slicer finds ("#n - h:mm:ss.ss", the region's
// number and length), scrolls and zooms the control, and plays the selected region.
//
// Process-wide (shared by all views, UI thread): one overview buffer, loaded by the
// view activated last, and one region buffer, the audio of the region being played.
//
// Units: regions, selection, cursor and scroll positions are overview samples; one
// overview sample stands for 4 stereo frames (16 bytes) of the track's raw audio. A
// track file of L bytes holds its overview (L / 18 samples) from byte L - L / 9 on.
//
// Thread contract: UI thread only, except OnPositionChanged, which the stream thread
// calls; it only stores the position and queues the cursor update to the UI thread.
// The view stops playback before it replaces the region buffer and when it is
// destroyed while its region plays.
#include "export/sampler.h"
#include "regions/region.h"
#include "track/editor_ctrl/sample_editor.h"
#include "regions/slice_index.h"

#include <QWidget>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

class QListView;
class QScrollBar;
class QToolButton;

namespace korvane::trackview {

class CSampleEditorCtrl;
class RegionListModel;
class RegionPlayer;

struct SliceSettings {
    double thresholdDb = -36.0;
    int releaseMs = 750;
};

// The up-down control of the zoom: arrow buttons over positions 0 .. 16.
class ZoomSpin : public QWidget {
    Q_OBJECT
public:
    ZoomSpin(Qt::Orientation orientation, QWidget* parent);
    int position() const noexcept { return position_; }
    void setRange(int minimum, int maximum);
    // The same as pressing an arrow `delta` times (positive: up / right).
    void Step(int delta);

signals:
    // The new position after a step, already clamped to the range.
    void positionChanged(int position);

private:
    int position_ = 0;
    int minimum_ = 0;
    int maximum_ = 16;
};

// Picking on the waveform: a click inside a region's span selects that region, a drag
// selects every region it touches, Ctrl or Shift adds to the selection, a double-click
// plays the region. Return in the region list plays the selected region.
class CKorvaneView : public QWidget, private editor::SampleEditorEvents {
    Q_OBJECT
public:
    static constexpr std::uint32_t kAveragingWindow = 50;
    static constexpr std::uint32_t kOverviewRateHz = 11025;
    static constexpr int kMaxZoomExponent = 16;

    // `editor` is the waveform control (its window becomes a child of the view);
    // `player` and `settings` are the frame's and outlive the view.
    CKorvaneView(std::unique_ptr<CSampleEditorCtrl> editor, RegionPlayer& player,
                 std::function<SliceSettings()> settings, QWidget* parent = nullptr);
    ~CKorvaneView() override;

    // The document's temporary track file (set once, before the first activation).
    void SetTrackFile(std::filesystem::path trackFile);
    const std::filesystem::path& TrackFile() const noexcept { return trackFile_; }

    // Activation by the frame: loads the overview, hands it to the control and re-slices
    // when the slice settings changed since this view last saw them. Deactivation hands
    // the control no data. A track file that cannot be read or holds no overview shows
    // a message and leaves the view empty.
    void OnActivateView(bool activate);
    // Slices the overview again with the current slice settings and refills the list
    // and the control's markers.
    void ReSlice();
    // Hides the play cursor and clears the control's selection (before a re-slice).
    void ResetEditorMarks();

    // Reads the audio of the one selected region into the region buffer; nothing when
    // not exactly one region is selected. Stops playback first.
    bool LoadRegionAudio();
    // Stop, load the selected region and play it once / looped. Nothing plays unless
    // exactly one region is selected.
    void PlayRegionOnce();
    void PlayRegionLooped();
    void StopPlayback();
    // While trim, zero crossings or fades are on, play and loop hear the region shaped
    // as the sampler export writes it (export/sampler_export.h); otherwise the plain one.
    void SetSamplerPlayback(const sampler::SamplerOptions& options) { samplerPlayback_ = options; }
    // The slice settings the regions are cut with.
    SliceSettings CurrentSliceSettings() const { return settings_ ? settings_() : SliceSettings{}; }
    // While on (the default), the waveform scrolls to the play cursor when it leaves the
    // visible part.
    void SetFollowPlayCursor(bool follow) noexcept { followCursor_ = follow; }
    // The region whose span holds `overviewSample`, or -1.
    int RegionAt(std::int32_t overviewSample) const;

    // Stream thread: position in 16-bit values of the region buffer; user = the view.
    static void OnPositionChanged(std::uint32_t position, void* user);

    // For the frame and the export.
    const std::vector<Region>& Regions() const noexcept { return regions_; }
    std::vector<int> SelectedRegionIndices() const;
    int SelectedRegionCount() const;
    // Selects the list lines `rows` (ascending), replacing the selection or, with
    // `extend`, adding to it; the list scrolls to the first of them.
    void SelectRegions(const std::vector<int>& rows, bool extend = false);
    // The list's line `row` as shown ("#n - h:mm:ss.ss").
    QString RegionLineText(int row) const;
    std::uint32_t OverviewCount() const noexcept { return overviewCount_; }
    int ZoomExponentX() const noexcept;

    CSampleEditorCtrl& editorCtrl() const noexcept { return *editor_; }
    QListView* regionList() const noexcept { return list_; }
    QScrollBar* scrollBar() const noexcept { return scroll_; }
    ZoomSpin* zoomSpinX() const noexcept { return spinX_; }
    ZoomSpin* zoomSpinY() const noexcept { return spinY_; }

    // The list line of a region of `lengthSamples` overview samples, number `number`.
    static QString RegionLine(int number, std::uint32_t lengthSamples);

signals:
    // The selection of the region list changed (by the user or by a re-slice).
    void regionSelectionChanged();

public:

    // The shared region buffer (stereo 44100 Hz audio of the region loaded last).
    static const std::vector<std::int16_t>& SharedRegionBuffer() noexcept;

    QSize sizeHint() const override { return {900, 420}; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Layout();
    bool LoadOverview();
    void ClearView();
    void ZoomScrollUpdate(std::int32_t zoom);
    void OnZoomX(int exponent);
    void OnZoomY(int exponent);
    void OnScrolled(int value);
    void OnListSelectionChanged();
    int SingleSelectedIndex() const;
    void Play(bool looped);
    void ApplyQueuedCursor();
    void OnSelectionChanged(std::int32_t selectionStart, std::int32_t selectionEnd, bool extend) override;
    void OnClicked(std::int32_t overviewSample, bool extend) override;
    void OnDoubleClicked(std::int32_t overviewSample) override;

    std::unique_ptr<CSampleEditorCtrl> editor_;
    RegionPlayer& player_;
    // LoadRegionAudio with the sampler shaping of samplerPlayback_.
    bool LoadShapedRegionAudio(std::size_t row);

    std::function<SliceSettings()> settings_;
    sampler::SamplerOptions samplerPlayback_;
    std::filesystem::path trackFile_;

    double thresholdSeen_ = 0.0;
    std::int32_t releaseSeen_ = 0;
    bool seenValid_ = false;
    std::uint32_t overviewCount_ = 0;
    std::uint32_t regionValues_ = 0;
    std::uint32_t regionStartFrame_ = 0;
    int sliced_ = 0;
    SliceIndex index_;
    bool indexBuilt_ = false;
    std::vector<Region> regions_;
    std::vector<std::int32_t> markerStarts_;   // the markers handed to the control
    std::vector<std::int32_t> markerLengths_;

    std::int32_t zoomX_ = 1;
    std::int32_t previousZoom_ = 1;
    std::int32_t scrollMaximum_ = 0;
    bool followCursor_ = true;

    QListView* list_;
    RegionListModel* model_;
    QScrollBar* scroll_;
    ZoomSpin* spinX_;  // 1008
    ZoomSpin* spinY_;  // 1009

    // Play cursor hand-over from the stream thread.
    std::atomic<std::int32_t> pendingCursor_{-1};
    std::atomic<bool> cursorQueued_{false};
    std::atomic<std::uint64_t> playGeneration_{0};
};

}  // namespace korvane::trackview
