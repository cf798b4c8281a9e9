#include "gui/object_tree_view.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QTimer>

namespace quenlow::gui {

namespace {

constexpr int kIdRole = Qt::UserRole + 1;

CheckMark mark_of(Qt::CheckState state) {
    switch (state) {
        case Qt::Checked:
            return CheckMark::kChecked;
        case Qt::PartiallyChecked:
            return CheckMark::kPartly;
        case Qt::Unchecked:
            break;
    }
    return CheckMark::kUnchecked;
}

}  // namespace

ObjectTreeView::ObjectTreeView(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setExpandsOnDoubleClick(true);
    // The column fits its widest item when the tree is redrawn or opened, not at every insertion.
    header()->setSectionResizeMode(QHeaderView::Interactive);
    header()->setStretchLastSection(false);
    connect(this, &QTreeWidget::itemExpanded, this, [this] { fit_width(); });
    file_icon_ = style()->standardIcon(QStyle::SP_FileIcon);
    folder_icon_ = style()->standardIcon(QStyle::SP_DirIcon);
    drive_icon_ = style()->standardIcon(QStyle::SP_DriveHDIcon);
    delegate_ = new HitDelegate(this);
    setItemDelegate(delegate_);
    connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
        if (column == 0) record_marks(item);
    });
}

QTreeWidgetItem* ObjectTreeView::widget_item(TreeItemId item) const {
    const auto it = items_.find(item);
    return it == items_.end() ? nullptr : it->second;
}

TreeItemId ObjectTreeView::item_id(const QTreeWidgetItem* item) const {
    return item == nullptr ? kNoItem : item->data(0, kIdRole).value<TreeItemId>();
}

void ObjectTreeView::insert_item(TreeItemId item, TreeItemId parent, const QString& text,
                                 InsertPosition position) {
    QTreeWidgetItem* parent_item = parent == kNoItem ? invisibleRootItem() : widget_item(parent);
    if (parent_item == nullptr) return;
    auto* node = new QTreeWidgetItem;
    node->setText(0, text);
    node->setToolTip(0, text);
    node->setData(0, kIdRole, QVariant::fromValue(item));
    node->setIcon(0, parent == kNoItem ? drive_icon_ : file_icon_);
    node->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsAutoTristate);
    // A new child takes its parent's full mark, so a checked table keeps its new schema items checked.
    const bool parent_checked = parent != kNoItem && parent_item->checkState(0) == Qt::Checked;
    {
        const QSignalBlocker quiet(this);
        node->setCheckState(0, parent_checked ? Qt::Checked : Qt::Unchecked);
    }
    if (position == InsertPosition::kFirst)
        parent_item->insertChild(0, node);
    else
        parent_item->addChild(node);
    items_[item] = node;
    if (parent_checked && marks_ != nullptr) marks_->set(item, CheckMark::kChecked);
    if (parent_item != invisibleRootItem() && parent_item->parent() != nullptr && parent_item->childCount() == 1)
        parent_item->setIcon(0, folder_icon_);
}

void ObjectTreeView::fit_width() {
    resizeColumnToContents(0);
}

void ObjectTreeView::delete_all() {
    const QSignalBlocker quiet(this);
    clear();
    items_.clear();
}

void ObjectTreeView::set_children_order(TreeItemId parent, const std::vector<TreeItemId>& children) {
    QTreeWidgetItem* parent_item = parent == kNoItem ? invisibleRootItem() : widget_item(parent);
    if (parent_item == nullptr) return;
    const QSignalBlocker quiet(this);
    const bool expanded = parent_item->isExpanded();
    QList<QTreeWidgetItem*> taken = parent_item->takeChildren();
    QList<QTreeWidgetItem*> ordered;
    for (TreeItemId child : children) {
        QTreeWidgetItem* node = widget_item(child);
        if (node != nullptr && taken.removeOne(node)) ordered.append(node);
    }
    ordered.append(taken);  // children the order does not name keep their place at the end
    parent_item->addChildren(ordered);
    parent_item->setExpanded(expanded);
}

void ObjectTreeView::set_bold(TreeItemId item, bool bold) {
    if (QTreeWidgetItem* node = widget_item(item)) {
        QFont font = node->font(0);
        font.setBold(bold);
        const QSignalBlocker quiet(this);
        node->setFont(0, font);
    }
}

void ObjectTreeView::select(TreeItemId item) {
    if (QTreeWidgetItem* node = widget_item(item)) {
        setCurrentItem(node);
        node->setSelected(true);
        scrollToItem(node);
    }
}

void ObjectTreeView::record_marks(QTreeWidgetItem* item) {
    if (marks_ == nullptr || item == nullptr) return;
    // The item, everything below it, and everything above it may have changed its mark.
    std::vector<QTreeWidgetItem*> pending{item};
    while (!pending.empty()) {
        QTreeWidgetItem* node = pending.back();
        pending.pop_back();
        marks_->set(item_id(node), mark_of(node->checkState(0)));
        for (int i = 0; i < node->childCount(); ++i) pending.push_back(node->child(i));
    }
    for (QTreeWidgetItem* up = item->parent(); up != nullptr; up = up->parent())
        marks_->set(item_id(up), mark_of(up->checkState(0)));
}

QRect ObjectTreeView::part_rect(TreeItemId item, TreeHitPart part) const {
    QTreeWidgetItem* node = widget_item(item);
    if (node == nullptr) return {};
    const QModelIndex index = indexFromItem(node);
    const QRect cell = visualRect(index);
    if (part == TreeHitPart::kButton) {
        const int indent = indentation();
        return QRect(cell.left() - indent, cell.top(), indent, cell.height());
    }
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    delegate_->initStyleOption(&option, index);
    option.rect = cell;
    switch (part) {
        case TreeHitPart::kCheckBox:
            return style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, this);
        case TreeHitPart::kIcon:
            return style()->subElementRect(QStyle::SE_ItemViewItemDecoration, &option, this);
        case TreeHitPart::kLabel: {
            // The text element spans the rest of the cell; the label is as wide as its text.
            QRect text = style()->subElementRect(QStyle::SE_ItemViewItemText, &option, this);
            text.setWidth(std::min(text.width(), QFontMetrics(option.font).horizontalAdvance(option.text) + 8));
            return text;
        }
        default:
            return {};
    }
}

TreeHitPart ObjectTreeView::hit_part(const QPoint& point) const {
    const QModelIndex index = indexAt(point);
    if (!index.isValid()) {
        // Left of a row's cell lie the expander and the lines.
        const QModelIndex row = indexAt(QPoint(viewport()->width() - 1, point.y()));
        return row.isValid() ? TreeHitPart::kButton : TreeHitPart::kNowhere;
    }
    const TreeItemId id = item_id(itemFromIndex(index));
    if (point.x() < visualRect(index).left()) return TreeHitPart::kButton;
    for (TreeHitPart part : {TreeHitPart::kCheckBox, TreeHitPart::kIcon, TreeHitPart::kLabel})
        if (part_rect(id, part).contains(point)) return part;
    return TreeHitPart::kBeside;
}

void ObjectTreeView::mousePressEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    const TreeHitPart part = hit_part(point);
    QModelIndex index = indexAt(point);
    if (!index.isValid() && part == TreeHitPart::kButton)
        index = indexAt(QPoint(viewport()->width() - 1, point.y()));
    const TreeItemId id = index.isValid() ? item_id(itemFromIndex(index)) : kNoItem;
    QTreeWidget::mousePressEvent(event);
    const int button = event->button() == Qt::RightButton ? 1 : event->button() == Qt::LeftButton ? 0 : -1;
    if (id == kNoItem || button < 0) return;
    // Reported once the press is over, so a box the report shows never runs inside the mouse handler.
    QTimer::singleShot(0, this, [this, id, part, button] {
        emit itemPressed(id, static_cast<int>(part), button);
    });
}

}  // namespace quenlow::gui

namespace quenlow::gui {

void ObjectTreeView::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const TreeItemId id = item_id(currentItem());
    if (!enter || id == kNoItem) {
        QTreeWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    QTimer::singleShot(0, this, [this, id] {
        emit itemPressed(id, static_cast<int>(TreeHitPart::kLabel), 0);
    });
}

}  // namespace quenlow::gui
