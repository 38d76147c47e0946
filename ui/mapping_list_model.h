#pragma once
// The main list's rows as a Qt table model. The texts come from app/ (list_row); this only
// hands them to the view, and turns a new set of rows into the smallest change a view can keep
// its selection across: changed cells, one appended row, one removed row.
//
// UI thread only.

#include <QAbstractTableModel>
#include <vector>

#include "app/mapping_list.h"

namespace zk {

class MappingListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    void set_rows(std::vector<ListRow> rows);
    const std::vector<ListRow>& rows() const { return rows_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<ListRow> rows_;
};

// Column widths in pixels, in column order.
inline constexpr int kListColumnWidths[kListColumnCount] = {130, 50, 50, 70, 90, 70, 130, 100, 80};

}  // namespace zk
