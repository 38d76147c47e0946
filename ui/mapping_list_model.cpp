#include "ui/mapping_list_model.h"

#include <algorithm>

namespace zk {
namespace {

// The first row where the two lists differ by name, or the shorter list's size.
std::size_t first_name_difference(const std::vector<ListRow>& a, const std::vector<ListRow>& b) {
    const std::size_t n = std::min(a.size(), b.size());
    std::size_t i = 0;
    while (i < n && cell(a[i], ListColumn::name) == cell(b[i], ListColumn::name))
        ++i;
    return i;
}

}  // namespace

void MappingListModel::set_rows(std::vector<ListRow> rows) {
    const auto old_size = static_cast<int>(rows_.size());
    const auto new_size = static_cast<int>(rows.size());
    const auto at = static_cast<int>(first_name_difference(rows_, rows));
    if (new_size == old_size + 1 && at == old_size) {
        beginInsertRows({}, at, at);
        rows_ = std::move(rows);
        endInsertRows();
        return;
    }
    if (new_size == old_size - 1 &&
        std::equal(rows_.begin() + at + 1, rows_.end(), rows.begin() + at, [](auto& a, auto& b) {
            return cell(a, ListColumn::name) == cell(b, ListColumn::name);
        })) {
        beginRemoveRows({}, at, at);
        rows_.erase(rows_.begin() + at);
        endRemoveRows();
        // The remaining rows may have changed too (a status written meanwhile).
        set_rows(std::move(rows));
        return;
    }
    if (new_size != old_size) {
        beginResetModel();
        rows_ = std::move(rows);
        endResetModel();
        return;
    }
    for (int r = 0; r < new_size; ++r) {
        if (rows_[r] == rows[r]) continue;
        rows_[r] = std::move(rows[r]);
        emit dataChanged(index(r, 0), index(r, static_cast<int>(kListColumnCount) - 1));
    }
}

int MappingListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int MappingListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(kListColumnCount);
}

QVariant MappingListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
    return QString::fromStdString(rows_[index.row()][index.column()]);
}

QVariant MappingListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
    if (section < 0 || section >= static_cast<int>(kListColumnCount)) return {};
    const auto title = kListColumnTitles[section];
    return QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size()));
}

}  // namespace zk
