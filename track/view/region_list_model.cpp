#include "track/view/region_list_model.h"

#include "regions/clock_format.h"

namespace korvane::trackview {

RegionListModel::RegionListModel(const std::vector<Region>& regions, QObject* parent)
    : QAbstractListModel(parent), regions_(regions) {}

QString RegionListModel::RegionLine(int number, std::uint32_t lengthSamples) {
    const std::string length = units::FormatClock(lengthSamples * 0.00009070294784580499);  // 1 / 11025 s
    return QStringLiteral("#%1 - %2").arg(number).arg(QString::fromLatin1(length.c_str()));
}

void RegionListModel::Reset() {
    beginResetModel();
    endResetModel();
}

int RegionListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(regions_.size());
}

QVariant RegionListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= static_cast<int>(regions_.size())) return {};
    return RegionLine(index.row() + 1, regions_[static_cast<std::size_t>(index.row())].length);
}

}  // namespace korvane::trackview
