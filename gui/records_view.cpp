#include "gui/records_view.h"

#include "app/front_end.h"

#include <QApplication>
#include <QClipboard>
#include <QColor>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStackedLayout>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <map>
#include <set>

namespace quenlow::gui {

// ---- the model ----

int RecordTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int RecordTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(titles_.size());
}

const QString& RecordTableModel::cell(int row, int column) const {
    static const QString kEmpty;
    if (row < 0 || row >= rowCount() || column < 0) return kEmpty;
    const RowCells& cells = rows_[static_cast<std::size_t>(row)];
    return static_cast<std::size_t>(column) < cells.size() ? cells[static_cast<std::size_t>(column)] : kEmpty;
}

QVariant RecordTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const QString& text = cell(index.row(), index.column());
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return text;
        case Qt::ToolTipRole:
            return text.size() > 60 ? QVariant(text.left(2000)) : QVariant();
        case Qt::ForegroundRole:
            // NULL stands out from a text that happens to read so only by its colour.
            return text == QLatin1String("NULL") ? QVariant(QApplication::palette().color(QPalette::Disabled,
                                                                                          QPalette::Text))
                                                 : QVariant();
        case Qt::BackgroundRole:
            return state_colour(index.row());
        default:
            return {};
    }
}

// A row that is not a live row (its State cell says what it is) is tinted by its state, so that deleted
// rows, body scan finds and rows of stale pages stand apart from the live rows around them.
QVariant RecordTableModel::state_colour(int row) const {
    if (titles_.isEmpty() || titles_.front() != QLatin1String(kStateColumnTitle)) return {};
    const QString& state = cell(row, 0);
    if (state.isEmpty() || state == QLatin1String("live")) return {};
    if (state == QLatin1String("deleted")) return QColor(255, 228, 225);
    if (state == QLatin1String("body scan")) return QColor(255, 243, 205);
    return QColor(226, 232, 240);  // stale page
}

QVariant RecordTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    return section >= 0 && section < titles_.size() ? QVariant(titles_[section]) : QVariant();
}

void RecordTableModel::delete_all_rows() {
    if (rows_.empty()) return;
    beginResetModel();
    rows_.clear();
    endResetModel();
}

void RecordTableModel::delete_columns(int count) {
    count = std::min(count, static_cast<int>(titles_.size()));
    if (count <= 0) return;
    beginRemoveColumns({}, 0, count - 1);
    titles_.erase(titles_.begin(), titles_.begin() + count);
    for (RowCells& row : rows_) row.erase(row.begin(), row.begin() + std::min<std::size_t>(count, row.size()));
    endRemoveColumns();
}

void RecordTableModel::add_column(int index, const QString& title) {
    index = std::clamp(index, 0, static_cast<int>(titles_.size()));
    beginInsertColumns({}, index, index);
    titles_.insert(index, title);
    for (RowCells& row : rows_)
        if (static_cast<std::size_t>(index) <= row.size()) row.insert(row.begin() + index, QString());
    endInsertColumns();
}

void RecordTableModel::insert_rows(int first, std::vector<RowCells> rows) {
    if (rows.empty()) return;
    first = std::clamp(first, 0, rowCount());
    const auto width = static_cast<std::size_t>(titles_.size());
    for (RowCells& row : rows) row.resize(width);
    beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
    rows_.insert(rows_.begin() + first, std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    endInsertRows();
}

void RecordTableModel::add_row(int index, const QString& first_cell) {
    RowCells row(static_cast<std::size_t>(titles_.size()));
    if (!row.empty()) row[0] = first_cell;
    std::vector<RowCells> one;
    one.push_back(std::move(row));
    insert_rows(index, std::move(one));
}

void RecordTableModel::set_cell(int row, int column, const QString& text) {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return;
    rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = text;
    const QModelIndex at = index(row, column);
    emit dataChanged(at, at);
}

void RecordTableModel::delete_row(int row) {
    if (row < 0 || row >= rowCount()) return;
    beginRemoveRows({}, row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
}

QString selection_as_tsv(const QAbstractItemModel& model, const QModelIndexList& selected) {
    if (selected.isEmpty()) return {};
    std::map<int, std::map<int, QString>> cells;
    std::set<int> columns;
    for (const QModelIndex& index : selected) {
        cells[index.row()][index.column()] = model.data(index, Qt::DisplayRole).toString();
        columns.insert(index.column());
    }
    QString out;
    for (const auto& [row, row_cells] : cells) {
        QStringList line;
        for (int column : columns) {
            const auto it = row_cells.find(column);
            line << (it == row_cells.end() ? QString() : it->second);
        }
        out += line.join(QLatin1Char('\t'));
        out += QLatin1Char('\n');
    }
    return out;
}

// ---- the list ----

RecordTable::RecordTable(QWidget* parent) : QTableView(parent) {
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* copy = new QAction(tr("Copy"), this);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, [this] { copy_selection(); });
    addAction(copy);
}

QString RecordTable::copy_selection() {
    const QString text = model() ? selection_as_tsv(*model(), selectionModel()->selectedIndexes()) : QString();
    if (!text.isEmpty()) QApplication::clipboard()->setText(text);
    return text;
}

void RecordTable::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        copy_selection();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

// ---- the view ----

RecordsView::RecordsView(QWidget* parent) : QWidget(parent) {
    table_page_ = new QWidget(this);
    table_ = new RecordTable(table_page_);
    table_->setModel(&model_);
    page_label_ = new QLabel(table_page_);
    page_label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    previous_ = new QToolButton(table_page_);
    previous_->setArrowType(Qt::LeftArrow);
    previous_->setToolTip(QStringLiteral("Previous Records"));
    previous_->setAccessibleName(QStringLiteral("Previous Records"));
    previous_->setFixedSize(50, 25);
    next_ = new QToolButton(table_page_);
    next_->setArrowType(Qt::RightArrow);
    next_->setToolTip(QStringLiteral("Next Records"));
    next_->setAccessibleName(QStringLiteral("Next Records"));
    next_->setFixedSize(50, 25);
    previous_->setEnabled(false);
    next_->setEnabled(false);
    connect(previous_, &QToolButton::clicked, this, &RecordsView::previousClicked);
    connect(next_, &QToolButton::clicked, this, &RecordsView::nextClicked);

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(10, 3, 15, 3);
    bar->addWidget(page_label_, 1);
    bar->addWidget(previous_);
    bar->addSpacing(5);
    bar->addWidget(next_);
    auto* table_layout = new QVBoxLayout(table_page_);
    table_layout->setContentsMargins(0, 0, 0, 0);
    table_layout->setSpacing(0);
    table_layout->addWidget(table_, 1);
    table_layout->addLayout(bar);

    text_page_ = new QWidget(this);
    text_ = new QPlainTextEdit(text_page_);
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* text_layout = new QVBoxLayout(text_page_);
    text_layout->setContentsMargins(0, 0, 0, 0);
    text_layout->addWidget(text_);

    stack_ = new QStackedLayout(this);
    stack_->addWidget(table_page_);
    stack_->addWidget(text_page_);
    show_table(false);
}

void RecordsView::show_table(bool table) {
    stack_->setCurrentWidget(table ? table_page_ : text_page_);
}

bool RecordsView::table_shown() const {
    return stack_->currentWidget() == table_page_;
}

void RecordsView::add_column(int index, const QString& title, int width) {
    model_.add_column(index, title);
    table_->setColumnWidth(std::clamp(index, 0, model_.columnCount() - 1), width);
}

void RecordsView::set_text(const QString& text) {
    text_->setPlainText(text);
}

}  // namespace quenlow::gui
