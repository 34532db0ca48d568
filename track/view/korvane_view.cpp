#include "track/view/korvane_view.h"

#include "export/sampler_export.h"
#include "platform/riff/file_io.h"
#include "platform/ui/ui.h"
#include "regions/large_buffer.h"
#include "regions/sound_ends.h"
#include "resources/strings.h"
#include "track/view/region_list_model.h"
#include "track/view/region_player.h"
#include "track/view/sample_editor_ctrl.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QItemSelectionModel>
#include <QListView>
#include <QResizeEvent>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>

namespace korvane::trackview {
namespace {

// The process-wide buffers (UI thread; the stream thread reads `region` while it plays).
struct SharedBuffers {
    LargeBuffer<std::int16_t> overview;
    CKorvaneView* current = nullptr;  // the view whose overview is loaded
    std::vector<std::int16_t> region;
    CKorvaneView* playing = nullptr;  // the view whose region the player reads
};

SharedBuffers& Shared() {
    static SharedBuffers buffers;
    return buffers;
}

void ShowTrackFileMessage(std::uint32_t id, const std::filesystem::path& file) {
    const std::string_view format = resources::LoadAppString(id);
    const std::string text = QString::asprintf(std::string(format).c_str(), file.string().c_str()).toStdString();
    platform::MessageBox(text, resources::kAppTitle, platform::kMbOk | platform::kMbIconWarning);
}

}  // namespace

// ---------------------------------------------------------------------------------------

ZoomSpin::ZoomSpin(Qt::Orientation orientation, QWidget* parent) : QWidget(parent) {
    auto* less = new QToolButton(this);
    auto* more = new QToolButton(this);
    const bool horizontal = orientation == Qt::Horizontal;
    less->setArrowType(horizontal ? Qt::LeftArrow : Qt::DownArrow);
    more->setArrowType(horizontal ? Qt::RightArrow : Qt::UpArrow);
    less->setObjectName(QStringLiteral("less"));
    more->setObjectName(QStringLiteral("more"));
    less->setAutoRepeat(true);
    more->setAutoRepeat(true);
    less->setToolTip(horizontal ? tr("Zoom out (time)") : tr("Zoom out (amplitude)"));
    more->setToolTip(horizontal ? tr("Zoom in (time)") : tr("Zoom in (amplitude)"));
    for (QToolButton* b : {less, more}) {
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }
    QBoxLayout* layout = horizontal ? static_cast<QBoxLayout*>(new QHBoxLayout(this)) : new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    if (horizontal) {
        layout->addWidget(less);
        layout->addWidget(more);
        resize(36, 16);
    } else {
        layout->addWidget(more);
        layout->addWidget(less);
        resize(16, 36);
    }
    connect(less, &QToolButton::clicked, this, [this] { Step(-1); });
    connect(more, &QToolButton::clicked, this, [this] { Step(+1); });
}

void ZoomSpin::setRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    position_ = std::clamp(position_, minimum_, maximum_);
}

void ZoomSpin::Step(int delta) {
    // The new position is clamped before use, so the exponent never leaves the range.
    position_ = std::clamp(position_ + delta, minimum_, maximum_);
    emit positionChanged(position_);
}

// ---------------------------------------------------------------------------------------

CKorvaneView::CKorvaneView(std::unique_ptr<CSampleEditorCtrl> editor, RegionPlayer& player,
                           std::function<SliceSettings()> settings, QWidget* parent)
    : QWidget(parent), editor_(std::move(editor)), player_(player), settings_(std::move(settings)) {
    setObjectName(QStringLiteral("KorvaneView"));
    QWidget* control = editor_->widget();
    control->setParent(this);
    control->setObjectName(QStringLiteral("editor1000"));
    control->show();
    scroll_ = new QScrollBar(Qt::Horizontal, this);
    scroll_->setObjectName(QStringLiteral("scroll1001"));
    scroll_->setSingleStep(1);
    scroll_->setRange(0, 0);
    model_ = new RegionListModel(regions_, this);
    list_ = new QListView(this);
    list_->setModel(model_);
    list_->setObjectName(QStringLiteral("list1005"));
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setUniformItemSizes(true);  // layout needs no line but the first
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->resize(150, 280);
    QFont digits = list_->font();
    digits.setStyleHint(QFont::Monospace);
    digits.setFamily(QStringLiteral("monospace"));
    list_->setFont(digits);
    spinX_ = new ZoomSpin(Qt::Horizontal, this);
    spinX_->setObjectName(QStringLiteral("spin1008"));
    spinY_ = new ZoomSpin(Qt::Vertical, this);
    spinY_->setObjectName(QStringLiteral("spin1009"));
    spinX_->setRange(0, kMaxZoomExponent);
    spinY_->setRange(0, kMaxZoomExponent);

    connect(spinX_, &ZoomSpin::positionChanged, this, &CKorvaneView::OnZoomX);
    connect(spinY_, &ZoomSpin::positionChanged, this, &CKorvaneView::OnZoomY);
    connect(scroll_, &QScrollBar::valueChanged, this, &CKorvaneView::OnScrolled);
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &CKorvaneView::OnListSelectionChanged);
    connect(list_, &QListView::doubleClicked, this, [this] { PlayRegionOnce(); });
    control->installEventFilter(this);
    list_->installEventFilter(this);
    editor_->editor()->Advise(this);
    Layout();
    ZoomScrollUpdate(1);
}

CKorvaneView::~CKorvaneView() {
    SharedBuffers& shared = Shared();
    if (shared.playing == this) {
        player_.StopPlayback();  // the stream must not call into a destroyed view
        shared.playing = nullptr;
    }
    if (shared.current == this) {
        shared.overview = {};
        shared.region = {};
        shared.current = nullptr;
    }
    if (QWidget* control = editor_->widget()) {
        control->removeEventFilter(this);
        editor_->editor()->Advise(nullptr);
    }
    editor_.reset();  // the control's window goes before the module it came from
}

void CKorvaneView::SetTrackFile(std::filesystem::path trackFile) { trackFile_ = std::move(trackFile); }

const std::vector<std::int16_t>& CKorvaneView::SharedRegionBuffer() noexcept { return Shared().region; }

QString CKorvaneView::RegionLine(int number, std::uint32_t lengthSamples) {
    return RegionListModel::RegionLine(number, lengthSamples);
}

QString CKorvaneView::RegionLineText(int row) const {
    return model_->data(model_->index(row), Qt::DisplayRole).toString();
}

// --- layout --------------------------------------------------------------------------------

void CKorvaneView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Layout();
    ZoomScrollUpdate(zoomX_);  // the page follows the control's width
}

void CKorvaneView::Layout() {
    const int cx = width(), cy = height();
    const int wl = list_->width();
    const int w8 = spinX_->width(), h8 = spinX_->height();
    const int w9 = spinY_->width(), h9 = spinY_->height();
    const int hs = scroll_->sizeHint().height();
    const int x = cx - wl;
    list_->setGeometry(x, 0, wl, cy);
    spinX_->setGeometry(0, cy - 2 - h8, w8, h8);
    spinY_->setGeometry(x - 4 - w9, 0, w9, h9);
    editor_->widget()->setGeometry(0, 0, std::max(1, x - w9 - 6), std::max(1, cy - h8 - 4));
    scroll_->setGeometry(w8 + 4, cy - 2 - hs, std::max(1, x - w9 - w8 - 8), hs);
}

// --- activation and slicing ---------------------------------------------------------------

void CKorvaneView::OnActivateView(bool activate) {
    editor::ISampleEditor* ed = editor_->editor();
    if (!activate) {
        ed->SetPCMData(nullptr, 0);
        return;
    }
    const SliceSettings now = settings_ ? settings_() : SliceSettings{};
    if (!seenValid_ || now.thresholdDb != thresholdSeen_ || now.releaseMs != releaseSeen_) {
        thresholdSeen_ = now.thresholdDb;
        releaseSeen_ = now.releaseMs;
        seenValid_ = true;
        sliced_ = 0;
    }
    if (!LoadOverview()) {
        ClearView();
        return;
    }
    const LargeBuffer<std::int16_t>& overview = Shared().overview;
    ed->SetPCMData(overview.data(), static_cast<std::int32_t>(overviewCount_));
    ed->put_pcmDataIsStereo(false);
    ed->put_Enabled(true);
    if (sliced_ == 0) {
        ReSlice();
        sliced_ = 1;
    }
    spinX_->setRange(0, kMaxZoomExponent);
    spinY_->setRange(0, kMaxZoomExponent);
    ZoomScrollUpdate(zoomX_);
}

bool CKorvaneView::LoadOverview() {
    SharedBuffers& shared = Shared();
    // The control that points into the buffer about to be freed (another view's, or this
    // view's own when it loads again) lets go of it first.
    if (shared.current != nullptr) shared.current->editor_->editor()->SetPCMData(nullptr, 0);
    shared.overview = {};
    shared.current = this;
    std::unique_ptr<platform::FileSource> file;
    try {
        file = std::make_unique<platform::FileSource>(trackFile_);
    } catch (const platform::IoError&) {
        ShowTrackFileMessage(resources::kIdsTrackFileUnreadable, trackFile_);
        return false;
    }
    const std::uint64_t length = file->Size();
    const std::uint64_t count = length / 18;
    if (count == 0 || count > std::numeric_limits<std::int32_t>::max()) {
        ShowTrackFileMessage(resources::kIdsTrackFileTooShort, trackFile_);
        return false;
    }
    const bool sameTrack = indexBuilt_ && count == overviewCount_;
    overviewCount_ = static_cast<std::uint32_t>(count);
    try {
        // Read straight into fresh storage: nothing is zeroed first, no page is touched twice.
        shared.overview = LargeBuffer<std::int16_t>(overviewCount_);
        file->ReadAt(length - length / 9, std::as_writable_bytes(std::span(shared.overview.data(), count)));
    } catch (const std::exception&) {  // no memory, or the file could not be read
        shared.overview = {};
        ShowTrackFileMessage(resources::kIdsTrackFileUnreadable, trackFile_);
        return false;
    }
    if (!sameTrack) {
        indexBuilt_ = false;  // the slicing index follows the loaded overview
        sliced_ = 0;
    }
    return true;
}

void CKorvaneView::ClearView() {
    overviewCount_ = 0;
    index_ = SliceIndex{};
    indexBuilt_ = false;
    regions_.clear();
    model_->Reset();
    editor::ISampleEditor* ed = editor_->editor();
    ed->SetPCMData(nullptr, 0);
    ed->SetSlices(nullptr, 0);
    ed->put_selectionStart(0);
    ed->put_selectionEnd(0);
    ed->put_cursorPosition(-1);
    sliced_ = 0;
    ZoomScrollUpdate(zoomX_);
}

void CKorvaneView::ResetEditorMarks() {
    playGeneration_.fetch_add(1);  // drop cursor updates still queued from the old stream
    editor::ISampleEditor* ed = editor_->editor();
    ed->put_cursorPosition(-1);
    ed->put_selectionStart(0);
    ed->put_selectionEnd(0);
}

void CKorvaneView::ReSlice() {
    const SliceSettings now = settings_ ? settings_() : SliceSettings{};
    const LargeBuffer<std::int16_t>& overview = Shared().overview;
    regions_.clear();
    // The index is built from this view's own overview and keeps no reference to it, so
    // a view can be re-sliced even after another view has loaded the shared buffer.
    if (!indexBuilt_ && Shared().current == this && overview.size() == overviewCount_ && overviewCount_ > 0) {
        index_ = SliceIndex::Build(std::span<const std::int16_t>(overview.data(), overviewCount_), true,
                                   kOverviewRateHz, kAveragingWindow);
        indexBuilt_ = true;
    }
    if (indexBuilt_) index_.Slice(now.thresholdDb, now.releaseMs, 0, regions_);
    const int n = static_cast<int>(regions_.size());
    // Kept between re-slices: a drag step allocates nothing once the arrays have grown.
    markerStarts_.resize(regions_.size());
    markerLengths_.resize(regions_.size());
    for (int j = 0; j < n; ++j) {
        markerStarts_[j] = static_cast<std::int32_t>(regions_[j].start);
        markerLengths_[j] = static_cast<std::int32_t>(regions_[j].length);
    }
    {
        // The list formats its lines when it shows them; the reset drops the selection
        // without a user selection change.
        const QSignalBlocker quiet(list_->selectionModel());
        model_->Reset();
    }
    editor::ISampleEditor* ed = editor_->editor();
    ed->SetSlices(markerStarts_.data(), n);
    ed->SetSliceLengths(markerLengths_.data(), n);
    ed->put_thresholdDb(now.thresholdDb);
    emit regionSelectionChanged();
}

// --- selection and playback ------------------------------------------------------------------

std::vector<int> CKorvaneView::SelectedRegionIndices() const {
    std::vector<int> rows;
    for (const QModelIndex& index : list_->selectionModel()->selectedRows()) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int CKorvaneView::SelectedRegionCount() const {
    int count = 0;
    for (const QItemSelectionRange& range : list_->selectionModel()->selection()) count += range.height();
    return count;
}

void CKorvaneView::SelectRegions(const std::vector<int>& rows, bool extend) {
    QItemSelection selection;
    const int n = static_cast<int>(regions_.size());
    for (std::size_t i = 0; i < rows.size();) {
        // Consecutive rows go in as one range, so a drag over thousands stays cheap.
        std::size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1) ++j;
        if (rows[i] >= 0 && rows[j] < n) selection.select(model_->index(rows[i]), model_->index(rows[j]));
        i = j + 1;
    }
    QItemSelectionModel* model = list_->selectionModel();
    const auto flags = extend ? QItemSelectionModel::Select : QItemSelectionModel::ClearAndSelect;
    if (!selection.isEmpty()) {
        const QModelIndex first = selection.front().topLeft();
        model->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
        list_->scrollTo(first);
    }
    model->select(selection, flags);
}

int CKorvaneView::SingleSelectedIndex() const {
    if (SelectedRegionCount() != 1) return -1;
    const QModelIndexList rows = list_->selectionModel()->selectedRows();
    if (rows.size() != 1) return -1;
    const int row = rows.front().row();
    return row >= 0 && row < static_cast<int>(regions_.size()) ? row : -1;
}

void CKorvaneView::OnListSelectionChanged() {
    editor::ISampleEditor* ed = editor_->editor();
    const int row = SingleSelectedIndex();
    if (row < 0) {
        ed->put_selectionStart(0);
        ed->put_selectionEnd(0);
    } else {
        const Region& r = regions_[row];
        ed->put_selectionStart(static_cast<std::int32_t>(r.start));
        ed->put_selectionEnd(static_cast<std::int32_t>(r.start + r.length));
    }
    emit regionSelectionChanged();
}

void CKorvaneView::StopPlayback() {
    player_.StopPlayback();
    playGeneration_.fetch_add(1);
    Shared().playing = nullptr;
}

bool CKorvaneView::LoadRegionAudio() {
    const int row = SingleSelectedIndex();
    if (row < 0) return false;
    StopPlayback();  // the stream must not read the buffer being replaced
    const Region r = regions_[row];
    SharedBuffers& shared = Shared();
    shared.region = {};
    regionValues_ = 0;
    if (samplerPlayback_.ShapesAudio()) return LoadShapedRegionAudio(static_cast<std::size_t>(row));
    const std::uint64_t bytes = std::uint64_t{r.length} * 16;
    std::ifstream file(trackFile_, std::ios::binary);
    if (!file) {
        ShowTrackFileMessage(resources::kIdsTrackFileUnreadable, trackFile_);
        return false;
    }
    shared.region.resize(static_cast<std::size_t>(bytes / 2));
    file.seekg(static_cast<std::streamoff>(std::uint64_t{r.start} * 16));
    file.read(reinterpret_cast<char*>(shared.region.data()), static_cast<std::streamsize>(bytes));
    if (file.gcount() != static_cast<std::streamsize>(bytes)) {
        shared.region = {};
        ShowTrackFileMessage(resources::kIdsTrackFileUnreadable, trackFile_);
        return false;
    }
    regionValues_ = r.length * 8;
    editor_->editor()->put_cursorPosition(-1);
    regionStartFrame_ = r.start * 4;
    return true;
}

bool CKorvaneView::LoadShapedRegionAudio(std::size_t row) {
    SharedBuffers& shared = Shared();
    std::uint64_t firstFrame = 0;
    try {
        const SliceSettings slicing = CurrentSliceSettings();
        // The regions come from the slice index, which already holds the running average
        // their sound ends are found from: no second pass over the overview.
        const auto needed =
            std::span<const Region>(regions_).first(wavexport::ShapedRegionsNeeded(row, regions_.size()));
        const auto ends = samplerPlayback_.trim ? SoundEnds(index_, slicing.thresholdDb, slicing.releaseMs, needed)
                                                : std::vector<std::uint32_t>{};
        shared.region = wavexport::ShapedRegionAudio(trackFile_, needed, ends, row, samplerPlayback_, firstFrame);
    } catch (const std::exception&) {
        shared.region = {};
        ShowTrackFileMessage(resources::kIdsTrackFileUnreadable, trackFile_);
        return false;
    }
    regionValues_ = static_cast<std::uint32_t>(shared.region.size());
    editor_->editor()->put_cursorPosition(-1);
    regionStartFrame_ = static_cast<std::uint32_t>(firstFrame);
    return true;
}

void CKorvaneView::Play(bool looped) {
    StopPlayback();
    if (!LoadRegionAudio() || regionValues_ == 0) return;
    SharedBuffers& shared = Shared();
    shared.playing = this;
    const std::uint32_t frames = regionValues_ / 2;
    if (looped) {
        player_.PlayLoop(shared.region.data(), frames, 44100, 2, 0, frames, &CKorvaneView::OnPositionChanged, this);
    } else {
        player_.PlayOnce(shared.region.data(), frames, 44100, 2, &CKorvaneView::OnPositionChanged, this);
    }
}

void CKorvaneView::PlayRegionOnce() { Play(false); }
void CKorvaneView::PlayRegionLooped() { Play(true); }

void CKorvaneView::OnPositionChanged(std::uint32_t position, void* user) {
    auto* view = static_cast<CKorvaneView*>(user);
    if (view == nullptr) return;
    const auto cursor = static_cast<std::int32_t>(position / 8 + view->regionStartFrame_ / 4);
    view->pendingCursor_.store(cursor, std::memory_order_relaxed);
    if (!view->cursorQueued_.exchange(true)) {
        const std::uint64_t generation = view->playGeneration_.load();
        QMetaObject::invokeMethod(view, [view, generation] {
            view->cursorQueued_.store(false);
            if (generation == view->playGeneration_.load()) view->ApplyQueuedCursor();
        }, Qt::QueuedConnection);
    }
}

void CKorvaneView::ApplyQueuedCursor() {
    const std::int32_t cursor = pendingCursor_.load(std::memory_order_relaxed);
    editor_->editor()->put_cursorPosition(cursor);
    if (!followCursor_ || cursor < 0 || scrollMaximum_ <= 0) return;
    // Page on when the cursor leaves the visible part: it then stands at the left edge.
    const double ratio = static_cast<double>(overviewCount_) / scrollMaximum_;
    const double first = scroll_->value() * ratio;
    const double visible = static_cast<double>(overviewCount_) / std::max(1, zoomX_);
    if (cursor < first || cursor >= first + visible) scroll_->setValue(static_cast<int>(cursor / ratio));
}

// --- picking on the waveform ------------------------------------------------------------------

int CKorvaneView::RegionAt(std::int32_t overviewSample) const {
    if (overviewSample < 0) return -1;
    const auto sample = static_cast<std::uint32_t>(overviewSample);
    const auto after = std::upper_bound(regions_.begin(), regions_.end(), sample,
                                        [](std::uint32_t s, const Region& r) { return s < r.start; });
    if (after == regions_.begin()) return -1;
    const Region& r = *(after - 1);
    return sample - r.start < r.length ? static_cast<int>(after - 1 - regions_.begin()) : -1;
}

void CKorvaneView::OnClicked(std::int32_t overviewSample, bool extend) {
    const int row = RegionAt(overviewSample);
    if (row >= 0) {
        SelectRegions({row}, extend);
    } else if (!extend) {
        list_->selectionModel()->clearSelection();
    }
}

void CKorvaneView::OnSelectionChanged(std::int32_t selectionStart, std::int32_t selectionEnd, bool extend) {
    // Regions are sorted and do not overlap: the touched ones are one run of lines.
    const auto a = static_cast<std::uint32_t>(std::max(0, selectionStart));
    const auto b = static_cast<std::uint32_t>(std::max(0, selectionEnd));
    const auto first = std::partition_point(regions_.begin(), regions_.end(),
                                            [a](const Region& r) { return r.start + r.length <= a; });
    const auto end = std::partition_point(first, regions_.end(), [b](const Region& r) { return r.start < b; });
    std::vector<int> rows;
    for (auto it = first; it != end; ++it) rows.push_back(static_cast<int>(it - regions_.begin()));
    if (!rows.empty() || !extend) SelectRegions(rows, extend);
}

void CKorvaneView::OnDoubleClicked(std::int32_t overviewSample) {
    const int row = RegionAt(overviewSample);
    if (row < 0) return;
    SelectRegions({row});
    PlayRegionOnce();
}

// --- zoom and scrolling ---------------------------------------------------------------------

bool CKorvaneView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            PlayRegionOnce();  // plays only when exactly one region is selected
            return true;
        }
    }
    // The wheel over the waveform scrolls it; with Ctrl it zooms time, with Shift amplitude.
    if (editor_ && watched == editor_->widget() && event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        const int notches = wheel->angleDelta().y() / 120 != 0 ? wheel->angleDelta().y() / 120
                                                                : (wheel->angleDelta().y() > 0 ? 1 : -1);
        if (wheel->angleDelta().y() == 0) return false;
        if (wheel->modifiers() & Qt::ControlModifier) {
            spinX_->Step(notches);
        } else if (wheel->modifiers() & Qt::ShiftModifier) {
            spinY_->Step(notches);
        } else {
            scroll_->setValue(scroll_->value() - notches * std::max(1, scroll_->pageStep() / 8));
        }
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

int CKorvaneView::ZoomExponentX() const noexcept { return spinX_->position(); }

void CKorvaneView::ZoomScrollUpdate(std::int32_t zoom) {
    const std::int64_t w = std::max(1, editor_->widget()->width());
    const std::int64_t maximum = std::min<std::int64_t>(w * zoom, overviewCount_);
    // The page is the part of the range the control shows: w at most, less when the
    // maximum was capped by the sample count, so the track's end stays reachable.
    const std::int64_t page = std::clamp<std::int64_t>(maximum / std::max(1, zoom), 1, w);
    const std::int64_t p = scroll_->value();
    const std::int64_t newPosition = p * zoom / std::max(1, previousZoom_);
    scrollMaximum_ = static_cast<std::int32_t>(maximum);
    {
        const QSignalBlocker quiet(scroll_);
        scroll_->setRange(0, static_cast<int>(std::max<std::int64_t>(0, maximum - page)));
        scroll_->setPageStep(static_cast<int>(page));
        scroll_->setValue(static_cast<int>(newPosition));
    }
    previousZoom_ = zoom;
    OnScrolled(scroll_->value());
}

void CKorvaneView::OnZoomX(int exponent) {
    const std::int32_t zoom = std::int32_t{1} << std::clamp(exponent, 0, kMaxZoomExponent);
    zoomX_ = zoom;
    ZoomScrollUpdate(zoom);
    editor_->editor()->put_zoomFactorX(zoom);
}

void CKorvaneView::OnZoomY(int exponent) {
    editor_->editor()->put_zoomFactorY(std::int32_t{1} << std::clamp(exponent, 0, kMaxZoomExponent));
}

void CKorvaneView::OnScrolled(int value) {
    // ratio: overview samples per scroll unit. An empty range shows the start.
    const double ratio = scrollMaximum_ > 0 ? static_cast<double>(overviewCount_) / scrollMaximum_ : 0.0;
    editor_->editor()->put_firstSampleShown(static_cast<std::int32_t>(value * ratio));
}

}  // namespace korvane::trackview
