#include "gui/log_pane.h"

#include <QScrollBar>

namespace quenlow::gui {

int LogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

QVariant LogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    if (role == Qt::DisplayRole) return lines_[static_cast<std::size_t>(index.row())];
    return {};
}

void LogModel::append(const QString& line) {
    const int row = rowCount();
    beginInsertRows({}, row, row);
    lines_.push_back(line);
    endInsertRows();
}

void LogModel::overwrite_last(const QString& line) {
    if (lines_.empty()) return;
    lines_.back() = line;
    const QModelIndex last = index(rowCount() - 1);
    emit dataChanged(last, last, {Qt::DisplayRole});
}

LogPane::LogPane(QWidget* parent) : QListView(parent) {
    setModel(&model_);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

bool LogPane::at_end() const {
    const QScrollBar* bar = verticalScrollBar();
    return bar->value() >= bar->maximum() - 1;
}

void LogPane::append(const QString& line) {
    const bool follow = at_end();
    model_.append(line);
    if (follow) scrollToBottom();
}

void LogPane::overwrite_last(const QString& line) {
    model_.overwrite_last(line);
}

}  // namespace quenlow::gui
