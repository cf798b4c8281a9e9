#include "app/record_list.h"

#include <algorithm>

namespace quenlow {

void RecordListModel::delete_columns(int count) {
    for (int i = 0; i < count && !columns.empty(); ++i) {
        columns.erase(columns.begin());
        for (auto& row : rows) row.erase(row.begin());
    }
}

void RecordListModel::add_column(int index, std::string_view title) {
    const auto at = static_cast<std::size_t>(std::clamp<int>(index, 0, static_cast<int>(columns.size())));
    columns.insert(columns.begin() + static_cast<std::ptrdiff_t>(at), std::string(title));
    for (auto& row : rows) row.insert(row.begin() + static_cast<std::ptrdiff_t>(at), std::string());
}

void RecordListModel::add_row(int index, std::string_view first_cell) {
    const auto at = static_cast<std::size_t>(std::clamp<int>(index, 0, static_cast<int>(rows.size())));
    std::vector<std::string> row(columns.size());
    if (!row.empty()) row.front() = std::string(first_cell);
    rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(at), std::move(row));
}

void RecordListModel::set_cell(int row, int column, std::string_view value) {
    if (row < 0 || column < 0 || static_cast<std::size_t>(row) >= rows.size()) return;
    auto& cells = rows[static_cast<std::size_t>(row)];
    if (static_cast<std::size_t>(column) >= cells.size()) return;
    cells[static_cast<std::size_t>(column)] = std::string(value);
}

void RecordListModel::delete_row(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= rows.size()) return;
    rows.erase(rows.begin() + row);
}

}  // namespace quenlow
