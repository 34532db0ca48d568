#include "app/slice_bar.h"

#include "app/preferences.h"
#include "track/view/korvane_view.h"

#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>

namespace korvane::app {
namespace {

QSlider* MakeSlider(QWidget* parent, int id, int minimum, int maximum) {
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setObjectName(QStringLiteral("slider%1").arg(id));
    slider->setProperty("controlId", id);
    slider->setRange(minimum, maximum);
    slider->setTickPosition(QSlider::NoTicks);
    slider->setFocusPolicy(Qt::StrongFocus);
    slider->setTracking(true);  // every drag step is a value change
    return slider;
}

}  // namespace

CSliceBar::CSliceBar(QWidget* parent) : QDockWidget(QStringLiteral("Make Slices"), parent) {
    setObjectName(QStringLiteral("SliceBar"));
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(8, 6, 8, 8);
    layout->setSpacing(4);
    thresholdLabel_ = new QLabel(QStringLiteral("Threshold:"), body);
    thresholdLabel_->setObjectName(QStringLiteral("label1014"));
    thresholdSlider_ = MakeSlider(body, kThresholdSliderId, -960, 0);
    releaseLabel_ = new QLabel(QStringLiteral("Rls Time:"), body);
    releaseLabel_->setObjectName(QStringLiteral("label1015"));
    releaseSlider_ = MakeSlider(body, kReleaseSliderId, 5, 2500);
    // Monospaced digits keep the labels from jittering while dragging.
    QFont digits = thresholdLabel_->font();
    digits.setStyleHint(QFont::Monospace);
    digits.setFamily(QStringLiteral("monospace"));
    thresholdLabel_->setFont(digits);
    releaseLabel_->setFont(digits);
    layout->addWidget(thresholdLabel_);
    layout->addWidget(thresholdSlider_);
    layout->addWidget(releaseLabel_);
    layout->addWidget(releaseSlider_);
    countLabel_ = new QLabel(body);
    countLabel_->setObjectName(QStringLiteral("regionCount"));
    layout->addWidget(countLabel_);
    layout->addStretch();
    body->setMinimumWidth(180);
    setWidget(body);

    connect(thresholdSlider_, &QSlider::valueChanged, this, &CSliceBar::OnThresholdMoved);
    connect(releaseSlider_, &QSlider::valueChanged, this, &CSliceBar::OnReleaseMoved);
}

QString CSliceBar::ThresholdText(double thresholdDb) { return QString::asprintf("Threshold: %4.1fdB", thresholdDb); }
QString CSliceBar::ReleaseText(int releaseMs) { return QString::asprintf("Rls Time: %dms", releaseMs); }

void CSliceBar::Initialise(CPreferencesDlg& preferences, Host* host) {
    preferences_ = &preferences;
    host_ = host;
    thresholdDb_ = preferences.thresholdDb();
    releaseMs_ = preferences.releaseMs();
    const QSignalBlocker blockThreshold(thresholdSlider_);
    const QSignalBlocker blockRelease(releaseSlider_);
    thresholdSlider_->setValue(static_cast<int>(std::trunc(thresholdDb_ * 10.0)));  // the slider clamps
    releaseSlider_->setValue(releaseMs_);
    UpdateLabels();
}

void CSliceBar::UpdateLabels() {
    thresholdLabel_->setText(ThresholdText(thresholdDb_));
    releaseLabel_->setText(ReleaseText(releaseMs_));
}

QString CSliceBar::RegionCountText(int regionCount) {
    if (regionCount < 0) return {};
    if (regionCount == 0) return QStringLiteral("no region reaches the threshold");
    return regionCount == 1 ? QStringLiteral("1 region") : QStringLiteral("%1 regions").arg(regionCount);
}

void CSliceBar::ShowRegionCount(int regionCount) { countLabel_->setText(RegionCountText(regionCount)); }

void CSliceBar::OnThresholdMoved(int position) {
    thresholdDb_ = position * 0.1;
    Apply();
}

void CSliceBar::OnReleaseMoved(int position) {
    releaseMs_ = position;
    Apply();
}

void CSliceBar::Apply() {
    if (host_ != nullptr) host_->StopPlayback();
    UpdateLabels();
    if (trackview::CKorvaneView* view = host_ != nullptr ? host_->ActiveTrackView() : nullptr) {
        view->ResetEditorMarks();
        view->ReSlice();
        ShowRegionCount(static_cast<int>(view->Regions().size()));
    }
    if (preferences_ != nullptr) preferences_->SetSliceSettings(thresholdDb_, releaseMs_);
    emit sliceSettingsChanged(thresholdDb_, releaseMs_);
}

}  // namespace korvane::app
