#pragma once
// The records view: a table's rows in a list with the page label and the two paging buttons, or a text
// (a definition, a generated statement, a status sentence of the engine) in a read-only text box.
//
// The list is a model/view table. Its model holds the cells as the front end hands them over, a batch of
// up to 1000 rows in one insertion; cells can be selected and copied as tab-separated text.

#include <QAbstractTableModel>
#include <QModelIndexList>
#include <QString>
#include <QStringList>
#include <QTableView>
#include <QWidget>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QStackedLayout;
class QToolButton;

namespace quenlow::gui {

using RowCells = std::vector<QString>;

class RecordTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The operations of a report-style list: a row inserted past the end is appended, a cell of a
    // column the list does not have is not kept, deleting what is not there does nothing.
    void delete_all_rows();
    void delete_columns(int count);  // column 0, count times
    void add_column(int index, const QString& title);
    void insert_rows(int first, std::vector<RowCells> rows);
    void add_row(int index, const QString& first_cell);
    void set_cell(int row, int column, const QString& text);
    void delete_row(int row);

    const QStringList& titles() const { return titles_; }
    const QString& cell(int row, int column) const;

private:
    QVariant state_colour(int row) const;

    QStringList titles_;
    std::vector<RowCells> rows_;
};

// The selected cells as text: the rows of the selection's bounding box in order, one line each, the cells
// of a line joined by tabs; cells inside the box that are not selected read empty.
QString selection_as_tsv(const QAbstractItemModel& model, const QModelIndexList& selected);

class RecordTable final : public QTableView {
    Q_OBJECT
public:
    explicit RecordTable(QWidget* parent = nullptr);
    // The selection as tab-separated text, also put on the clipboard.
    QString copy_selection();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

class RecordsView final : public QWidget {
    Q_OBJECT
public:
    explicit RecordsView(QWidget* parent = nullptr);

    RecordTableModel& model() { return model_; }
    RecordTable& table() { return *table_; }
    QPlainTextEdit& text_box() { return *text_; }
    QLabel& page_label() { return *page_label_; }
    QToolButton& previous_button() { return *previous_; }
    QToolButton& next_button() { return *next_; }

    // The table arrangement (list, page label, paging buttons) or the text arrangement (text box).
    void show_table(bool table);
    bool table_shown() const;
    void add_column(int index, const QString& title, int width);
    void set_text(const QString& text);

signals:
    void previousClicked();
    void nextClicked();

private:
    RecordTableModel model_;
    RecordTable* table_;
    QPlainTextEdit* text_;
    QLabel* page_label_;
    QToolButton* previous_;
    QToolButton* next_;
    QStackedLayout* stack_;
    QWidget* table_page_;
    QWidget* text_page_;
};

}  // namespace quenlow::gui
