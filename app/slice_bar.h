#pragma once
// CSliceBar: the floating tool window "Make Slices" with the two slicing parameters,
// the slice settings every track view slices with.
//
//   threshold slider (1012): positions -960 .. 0, threshold = position x 0.1 dB
//   release slider   (1013): positions 5 .. 2500, release time = position ms
//   labels 1014/1015: "Threshold: %4.1fdB", "Rls Time: %dms"
//
// Every change of a slider's value by the user - each drag step, and also arrow keys,
// page clicks and the wheel - applies at once: playback stops (blocking until the stream
// thread has ended), the labels update, the active track view gets its cursor hidden
// and selection cleared and is re-sliced, and the preferences object receives the new
// values. Initialise sets the sliders without applying anything, so a stored value
// outside a slider's range (say -100 dB) stays in use until the user moves that slider.
//
// Thread contract: UI thread only. The host and the preferences object must outlive
// the bar (the main frame owns all three).
#include <QDockWidget>

class QLabel;
class QSlider;

namespace korvane::trackview {
class CKorvaneView;
}

namespace korvane::app {

class CPreferencesDlg;

class CSliceBar : public QDockWidget {
    Q_OBJECT
public:
    static constexpr int kThresholdSliderId = 1012;
    static constexpr int kReleaseSliderId = 1013;
    static constexpr int kThresholdLabelId = 1014;
    static constexpr int kReleaseLabelId = 1015;

    // What the bar needs from its owning frame.
    class Host {
    public:
        virtual ~Host() = default;
        // StopPlayback: returns once the stream thread has ended.
        virtual void StopPlayback() = 0;
        // The track view of the active child window, or nullptr when none is open.
        virtual trackview::CKorvaneView* ActiveTrackView() = 0;
    };

    explicit CSliceBar(QWidget* parent = nullptr);

    // Called once at start-up: takes the values from `preferences`, positions the
    // sliders and writes the labels. `host` may be nullptr (nothing to stop or re-slice).
    void Initialise(CPreferencesDlg& preferences, Host* host);

    double thresholdDb() const noexcept { return thresholdDb_; }
    int releaseMs() const noexcept { return releaseMs_; }

    QSlider* thresholdSlider() const noexcept { return thresholdSlider_; }
    QSlider* releaseSlider() const noexcept { return releaseSlider_; }
    QLabel* thresholdLabel() const noexcept { return thresholdLabel_; }
    QLabel* releaseLabel() const noexcept { return releaseLabel_; }

    // Writes both labels from the current values.
    void UpdateLabels();
    // The line under the sliders: "12 regions", "1 region", "no region reaches the
    // threshold"; empty for a negative count (no track window open).
    void ShowRegionCount(int regionCount);
    QLabel* regionCountLabel() const noexcept { return countLabel_; }
    static QString RegionCountText(int regionCount);

    static QString ThresholdText(double thresholdDb);
    static QString ReleaseText(int releaseMs);

signals:
    // After a user change has been applied (regions rebuilt, preferences updated).
    void sliceSettingsChanged(double thresholdDb, int releaseMs);

private:
    void OnThresholdMoved(int position);
    void OnReleaseMoved(int position);
    void Apply();

    QSlider* thresholdSlider_;
    QSlider* releaseSlider_;
    QLabel* thresholdLabel_;
    QLabel* releaseLabel_;
    QLabel* countLabel_;
    double thresholdDb_ = -36.0;
    int releaseMs_ = 750;
    CPreferencesDlg* preferences_ = nullptr;
    Host* host_ = nullptr;
};

}  // namespace korvane::app
