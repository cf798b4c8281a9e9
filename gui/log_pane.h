#pragma once
// The log pane's list: every log line as it comes, the row counter of a table load overwriting the last
// line in place. The view follows the newest line unless the user scrolled away from the end.

#include <QAbstractListModel>
#include <QListView>
#include <vector>

namespace quenlow::gui {

class LogModel final : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void append(const QString& line);
    void overwrite_last(const QString& line);
    const QString& line(int row) const { return lines_.at(static_cast<std::size_t>(row)); }

private:
    std::vector<QString> lines_;
};

class LogPane final : public QListView {
    Q_OBJECT
public:
    explicit LogPane(QWidget* parent = nullptr);
    LogModel& model() { return model_; }
    void append(const QString& line);
    void overwrite_last(const QString& line);

private:
    bool at_end() const;

    LogModel model_;
};

}  // namespace quenlow::gui
