#include "app/frame/cd_bar.h"

#include "resources/frame_resources.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace korvane::app {

namespace cmd = resources::cmd;

CCdBar::CCdBar(QWidget* parent)
    : QWidget(parent),
      driveBox_(new QComboBox(this)),
      trackBox_(new QComboBox(this)),
      refresh_(new QPushButton(tr("Refresh"), this)),
      readTrack_(new QPushButton(tr("Read Track"), this)) {
    setObjectName(QString::number(resources::kIddCdBar));
    driveBox_->setObjectName(QString::number(cmd::kDriveBox));
    trackBox_->setObjectName(QString::number(cmd::kTrackBox));
    refresh_->setObjectName(QString::number(cmd::kRefresh));
    readTrack_->setObjectName(QString::number(cmd::kReadTrack));
    // Drive lines keep the INQUIRY fields with their blanks; a fixed pitch shows them
    // as the drive reports them.
    driveBox_->setMinimumContentsLength(30);
    driveBox_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    trackBox_->setMinimumContentsLength(24);
    trackBox_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    for (QPushButton* b : {refresh_, readTrack_}) b->setAutoDefault(false);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 1, 4, 1);
    layout->setSpacing(6);
    layout->addWidget(new QLabel(tr("Drive:"), this));
    layout->addWidget(driveBox_);
    layout->addWidget(new QLabel(tr("Track:"), this));
    layout->addWidget(trackBox_);
    layout->addWidget(refresh_);
    layout->addWidget(readTrack_);
    layout->addStretch(1);

    connect(driveBox_, &QComboBox::activated, this, &CCdBar::driveSelectionChanged);
    connect(refresh_, &QPushButton::clicked, this, [this] { emit command(cmd::kRefresh); });
    connect(readTrack_, &QPushButton::clicked, this, [this] { emit command(cmd::kReadTrack); });
}

}  // namespace korvane::app
