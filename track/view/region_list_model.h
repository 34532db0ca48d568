#pragma once
// RegionListModel: the region list box's lines, "#n - h:mm:ss.ss" (the region's number
// and length), formatted only when the list shows or asks for a line. A re-slice resets
// the model in O(1); the list view lays out and paints only the visible rows, so a
// track cut into 50,000 regions refills as fast as one cut into ten.
//
// Thread contract: UI thread. The model reads the region vector it is given; the owner
// keeps that vector alive and calls Reset() after every change of it.
#include "regions/region.h"

#include <QAbstractListModel>
#include <cstdint>
#include <vector>

namespace korvane::trackview {

class RegionListModel final : public QAbstractListModel {
    Q_OBJECT
public:
    RegionListModel(const std::vector<Region>& regions, QObject* parent);

    // The list line of a region of `lengthSamples` overview samples, number `number`.
    static QString RegionLine(int number, std::uint32_t lengthSamples);

    // Tells the attached views that the region vector has been replaced.
    void Reset();

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    const std::vector<Region>& regions_;
};

}  // namespace korvane::trackview
