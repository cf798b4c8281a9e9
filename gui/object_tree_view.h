#pragma once
// The tree pane's control: the object tree drawn from the model's change calls (it never reads the
// model), with a tri-state check box on every item, and the press of a mouse button reported with the
// part of the item it met (label, icon, check box, expander, beside).

#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "app/object_tree.h"
#include "app/tree_checks.h"

namespace quenlow::gui {

class ObjectTreeView final : public QTreeWidget {
    Q_OBJECT
public:
    explicit ObjectTreeView(QWidget* parent = nullptr);

    // The change calls of the tree model.
    void insert_item(TreeItemId item, TreeItemId parent, const QString& text, InsertPosition position);
    void delete_all();
    void set_children_order(TreeItemId parent, const std::vector<TreeItemId>& children);
    void set_bold(TreeItemId item, bool bold);
    void select(TreeItemId item);
    // Widens the column to its widest visible item.
    void fit_width();

    QTreeWidgetItem* widget_item(TreeItemId item) const;
    TreeItemId item_id(const QTreeWidgetItem* item) const;
    // Where a point of the viewport meets an item.
    TreeHitPart hit_part(const QPoint& viewport_point) const;
    // The rectangle of an item's part, in viewport coordinates; empty when the item has no such part.
    QRect part_rect(TreeItemId item, TreeHitPart part) const;

    // Check marks go here as the user sets them, for the commands that read them.
    void set_check_sink(TreeCheckMarks* marks) { marks_ = marks; }

signals:
    // A press of a mouse button on an item; reported after the press was handled.
    void itemPressed(quint32 item, int part, int button);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    // Enter on the current item shows it, as a press on its label does.
    void keyPressEvent(QKeyEvent* event) override;

private:
    class HitDelegate final : public QStyledItemDelegate {
    public:
        using QStyledItemDelegate::QStyledItemDelegate;
        using QStyledItemDelegate::initStyleOption;
    };
    void record_marks(QTreeWidgetItem* item);

    HitDelegate* delegate_;
    std::unordered_map<TreeItemId, QTreeWidgetItem*> items_;
    TreeCheckMarks* marks_ = nullptr;
    QIcon file_icon_;
    QIcon folder_icon_;
    QIcon drive_icon_;
};

}  // namespace quenlow::gui
