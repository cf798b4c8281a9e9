#include "app/object_tree.h"

#include <algorithm>
#include <map>
#include <utility>

namespace quenlow {

namespace {

const std::string kEmptyText;

unsigned char fold(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
}

// Byte order of UTF-8 is code point order, so folding ASCII letters and comparing bytes orders the texts
// by code point without regard to the case of Latin letters.
bool less_ignoring_case(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return fold(static_cast<unsigned char>(x)) < fold(static_cast<unsigned char>(y));
    });
}

}  // namespace

const ObjectTree::Item* ObjectTree::find(TreeItemId item) const {
    if (item < first_id_) return nullptr;
    const std::size_t index = item - first_id_;
    if (index >= items_.size()) return nullptr;
    return &items_[index];
}

const ObjectTree::ChildList* ObjectTree::children_of(TreeItemId parent) const {
    if (parent == kNoItem) return &top_;
    const Item* p = find(parent);
    return p ? &p->children : nullptr;
}

ObjectTree::ChildList* ObjectTree::children_of(TreeItemId parent) {
    return const_cast<ChildList*>(std::as_const(*this).children_of(parent));
}

TreeItemId ObjectTree::insert_item(std::string text, TreeItemId parent, InsertPosition position) {
    ChildList* siblings = children_of(parent);
    if (siblings == nullptr) return kNoItem;
    const TreeItemId id = first_id_ + static_cast<TreeItemId>(items_.size());
    siblings->insert(id, position);
    Item item;
    item.text = std::move(text);
    item.parent = parent;
    items_.push_back(std::move(item));
    if (mirror_) mirror_->tree_insert_item(id, parent, items_.back().text, position);
    return id;
}

void ObjectTree::delete_all() {
    first_id_ += static_cast<TreeItemId>(items_.size());
    items_.clear();
    top_ = {};
    if (mirror_) mirror_->tree_delete_all();
}

void ObjectTree::sort_children(TreeItemId parent) {
    ChildList* siblings = children_of(parent);
    if (siblings == nullptr) return;
    std::vector<TreeItemId> order = siblings->ordered();
    std::stable_sort(order.begin(), order.end(), [this](TreeItemId a, TreeItemId b) {
        return less_ignoring_case(item_text(a), item_text(b));
    });
    siblings->assign(order);
    if (mirror_) mirror_->tree_set_children_order(parent, order);
}

void ObjectTree::set_item_data(TreeItemId item, std::uint32_t data) {
    Item* p = find(item);
    if (p == nullptr) return;
    p->data = data;
    if (mirror_) mirror_->tree_set_item_data(item, data);
}

void ObjectTree::set_bold(TreeItemId item, bool bold) {
    Item* p = find(item);
    if (p == nullptr) return;
    p->bold = bold;
    if (mirror_) mirror_->tree_set_bold(item, bold);
}

void ObjectTree::set_item_object(TreeItemId item, TreeObject object) {
    if (Item* p = find(item)) p->object = std::move(object);
}

const TreeObject* ObjectTree::item_object(TreeItemId item) const {
    const Item* p = find(item);
    return p && p->object ? &*p->object : nullptr;
}

const std::string& ObjectTree::item_text(TreeItemId item) const {
    const Item* p = find(item);
    return p ? p->text : kEmptyText;
}

TreeItemId ObjectTree::item_parent(TreeItemId item) const {
    const Item* p = find(item);
    return p ? p->parent : kNoItem;
}

std::uint32_t ObjectTree::item_data(TreeItemId item) const {
    const Item* p = find(item);
    return p ? p->data : 0;
}

bool ObjectTree::is_bold(TreeItemId item) const {
    const Item* p = find(item);
    return p && p->bold;
}

std::vector<TreeItemId> ObjectTree::children(TreeItemId parent) const {
    const ChildList* list = children_of(parent);
    return list ? list->ordered() : std::vector<TreeItemId>();
}

TreeItemId ObjectTree::first_child(TreeItemId parent) const {
    const ChildList* list = children_of(parent);
    return list ? list->front() : kNoItem;
}

std::size_t ObjectTree::size() const {
    return items_.size();
}

bool TreeCategories::is_root_or_category(TreeItemId item) const {
    if (item == kNoItem) return false;
    for (TreeItemId c : {root, tables, user_tables, system_tables, programmability, function, store_procedure,
                         views, default_item, triggers})
        if (c == item) return true;
    return false;
}

TreeItemId TreeCategories::category_for_type(std::string_view type) const {
    if (type == "U ") return user_tables;
    if (type == "S ") return system_tables;
    if (type == "V ") return views;
    if (type == "P ") return store_procedure;
    if (type == "FN" || type == "IF" || type == "TF") return function;
    if (type == "TR") return triggers;
    if (type == "D ") return default_item;
    return kNoItem;
}

TreeCategories create_categories(ObjectTree& tree, const std::string& root_label) {
    TreeCategories c;
    c.root = tree.insert_item(root_label, kNoItem, InsertPosition::kLast);
    auto first = [&tree](const char* text, TreeItemId parent) {
        return tree.insert_item(text, parent, InsertPosition::kFirst);
    };
    c.tables = first("Tables", c.root);
    c.user_tables = first("User Tables", c.tables);
    c.system_tables = first("System Tables", c.tables);
    c.programmability = first("Programmability", c.root);
    c.function = first("Function", c.programmability);
    c.store_procedure = first("Store Procedure", c.programmability);
    c.views = first("Views", c.root);
    c.default_item = first("Default", c.programmability);
    c.triggers = first("Triggers", c.programmability);
    for (TreeItemId item : {c.tables, c.user_tables, c.system_tables, c.programmability, c.function,
                            c.store_procedure, c.views, c.default_item, c.triggers})
        tree.set_item_data(item, 0);
    return c;
}

namespace {

// How many shown objects of each category have each name.
std::map<std::pair<TreeItemId, std::string>, int> names_per_category(
    const TreeCategories& categories, const std::vector<SchemaObjectRow>& objects) {
    std::map<std::pair<TreeItemId, std::string>, int> counts;
    for (const SchemaObjectRow& o : objects) {
        const TreeItemId category = categories.category_for_type(o.type);
        if (!o.name.empty() && category != kNoItem) ++counts[{category, o.name}];
    }
    return counts;
}

TreeObject tree_object(const SystemCatalog& catalog, const SchemaObjectRow& o) {
    std::string schema = schema_name(catalog, o.schema_id);
    if (schema.empty()) schema = std::to_string(o.schema_id);
    return TreeObject{o.object_id, o.name, std::move(schema), o.type};
}

}  // namespace

ObjectQuery object_query(const ObjectTree& tree, TreeItemId item, std::string name, std::string type) {
    ObjectQuery query{std::move(name), std::move(type), std::nullopt};
    if (const TreeObject* object = tree.item_object(item)) query.object_id = object->object_id;
    return query;
}

std::string qualified_name(const TreeObject& object) {
    return object.schema.empty() ? object.name : object.schema + "." + object.name;
}

std::vector<TreeItemId> find_object_items(const ObjectTree& tree, const std::vector<TreeItemId>& categories,
                                          const std::string& name) {
    std::vector<TreeItemId> by_text, by_qualified_name, by_name;
    for (TreeItemId category : categories) {
        for (TreeItemId item : tree.children(category)) {
            const TreeObject* object = tree.item_object(item);
            if (object == nullptr) continue;
            if (tree.item_text(item) == name) by_text.push_back(item);
            if (qualified_name(*object) == name) by_qualified_name.push_back(item);
            if (object->name == name) by_name.push_back(item);
        }
    }
    if (!by_text.empty()) return by_text;
    if (!by_qualified_name.empty()) return by_qualified_name;
    return by_name;
}

bool build_tree(ObjectTree& tree, const TreeCategories& categories, const TreeBuildContext& context) {
    SystemCatalog& catalog = context.catalog;
    const std::int64_t n = static_cast<std::int64_t>(catalog.objects.size());
    if (n == 0) return false;
    const auto names = names_per_category(categories, catalog.objects);
    context.progress.progress_range(0, n);
    context.announce("Creating Tree.........");
    context.progress.progress_position(0);

    std::int64_t counted = 0;
    // The assembly replaces the catalog's working lists, so the object row is copied before it runs.
    for (std::int64_t i = 0; i < n; ++i) {
        const SchemaObjectRow object = catalog.objects[static_cast<std::size_t>(i)];
        if (object.name.empty()) continue;
        const TreeItemId category = categories.category_for_type(object.type);
        const bool is_table = object.type == "U " || object.type == "S ";
        TreeItemId item = kNoItem;
        if (category != kNoItem) {
            TreeObject shown = tree_object(catalog, object);
            const bool name_shared = names.at({category, object.name}) > 1;
            item = tree.insert_item(name_shared ? qualified_name(shown) : object.name, category,
                                    InsertPosition::kFirst);
            tree.set_item_data(item, 1);
            tree.set_item_object(item, std::move(shown));
            if (is_table) tree.set_item_data(tree.insert_item("Columns", item, InsertPosition::kFirst), 0);
        }
        if (is_table && context.assemble) {
            catalog.column_descriptors = context.assemble(
                catalog, ObjectQuery{object.name, object.type, object.object_id}, context.definitions);
            if (!catalog.column_descriptors.empty() && !catalog.current_data_pages.empty())
                tree.set_bold(item, true);
        }
        ++counted;
        context.progress.progress_position(i);
    }
    tree.sort_children(categories.store_procedure);
    tree.sort_children(categories.function);
    context.announce("Process done.........");
    context.progress.progress_position(n);
    return counted > 0;
}

TreeClickResult tree_click(TreeHitPart part, MouseButton button) {
    if (part == TreeHitPart::kNowhere) return {};
    return {true, button == MouseButton::kLeft && part == TreeHitPart::kLabel};
}

namespace {
void outline_item(const ObjectTree& tree, TreeItemId item, int depth, std::string& out) {
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
    out += tree.item_text(item);
    if (tree.is_bold(item)) out += " *";
    out += '\n';
    for (TreeItemId child : tree.children(item)) outline_item(tree, child, depth + 1, out);
}
}  // namespace

std::string format_outline(const ObjectTree& tree) {
    std::string out;
    for (TreeItemId item : tree.children(kNoItem)) outline_item(tree, item, 0, out);
    return out;
}

}  // namespace quenlow
