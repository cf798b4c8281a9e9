#pragma once
// The object tree of a scan: one root item for the scanned file, nine fixed category items, and one item
// per object found, under its category.
//
// The model here is the one truth about the tree. Every change is passed on, with the item ids the model
// gave out, to a TreeMirror (the front end), which draws it; the front end never reads the model back and
// the logic never asks the front end about items. So reads never cross threads, and a front end is free
// to draw the tree as it likes as long as it applies the changes in the order they arrive.
//
// Item ids are never reused, not even after delete_all(), so an id kept by a front end can never name a
// newer item.

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/catalog/system_catalog.h"
#include "engine/pages/engine_events.h"

namespace quenlow {

using TreeItemId = std::uint32_t;
// No item; as a parent it is the invisible root above the top-level items.
inline constexpr TreeItemId kNoItem = 0;

enum class InsertPosition { kFirst, kLast };

class TreeMirror {
public:
    virtual ~TreeMirror() = default;
    virtual void tree_insert_item(TreeItemId item, TreeItemId parent, std::string_view text,
                                  InsertPosition position) = 0;
    virtual void tree_delete_all() = 0;
    // The children of parent now stand in this order (after a sort).
    virtual void tree_set_children_order(TreeItemId parent, const std::vector<TreeItemId>& children) = 0;
    virtual void tree_set_item_data(TreeItemId item, std::uint32_t data) = 0;
    virtual void tree_set_bold(TreeItemId item, bool bold) = 0;
};

// The catalog object an item stands for. Two objects may share a name (in different schemas), so an
// item finds its object by id.
struct TreeObject {
    std::int32_t object_id = -1;
    std::string name;    // the object's own name
    std::string schema;  // its schema's name; the schema id in decimal when the catalog names none
    std::string type;    // two-character type code
};

class ObjectTree {
public:
    explicit ObjectTree(TreeMirror* mirror = nullptr) : mirror_(mirror) {}

    // Unknown parents insert nothing and give kNoItem.
    TreeItemId insert_item(std::string text, TreeItemId parent, InsertPosition position);
    void delete_all();
    // Orders the children of parent by their text without regard to case (not recursive). ASCII letters
    // are folded; other characters compare by code point. Equal texts keep their order.
    void sort_children(TreeItemId parent);
    void set_item_data(TreeItemId item, std::uint32_t data);
    void set_bold(TreeItemId item, bool bold);
    // The object the item stands for; items of categories, columns and schema groups stand for none.
    void set_item_object(TreeItemId item, TreeObject object);

    bool contains(TreeItemId item) const { return find(item) != nullptr; }
    // Unknown items read as empty text, parent kNoItem, data 0, not bold, no children.
    const std::string& item_text(TreeItemId item) const;
    TreeItemId item_parent(TreeItemId item) const;
    std::uint32_t item_data(TreeItemId item) const;
    bool is_bold(TreeItemId item) const;
    // Nothing for items that stand for no object.
    const TreeObject* item_object(TreeItemId item) const;
    // The children of parent in display order (a copy).
    std::vector<TreeItemId> children(TreeItemId parent) const;
    TreeItemId first_child(TreeItemId parent) const;
    bool empty() const { return items_.empty(); }
    std::size_t size() const;

private:
    // The children of one item. Those inserted first are kept in reverse order, so that inserting at
    // either end is an append and an item without children allocates nothing; the display order is the
    // first-inserted ones reversed, then the last-inserted ones.
    struct ChildList {
        std::vector<TreeItemId> first_reversed;
        std::vector<TreeItemId> last;

        void insert(TreeItemId id, InsertPosition position) {
            (position == InsertPosition::kFirst ? first_reversed : last).push_back(id);
        }
        std::vector<TreeItemId> ordered() const {
            std::vector<TreeItemId> out(first_reversed.rbegin(), first_reversed.rend());
            out.insert(out.end(), last.begin(), last.end());
            return out;
        }
        void assign(std::vector<TreeItemId> ordered) {
            first_reversed.clear();
            last = std::move(ordered);
        }
        TreeItemId front() const {
            if (!first_reversed.empty()) return first_reversed.back();
            return last.empty() ? kNoItem : last.front();
        }
    };
    struct Item {
        std::string text;
        TreeItemId parent = kNoItem;
        std::uint32_t data = 0;
        bool bold = false;
        std::optional<TreeObject> object;
        ChildList children;
    };
    const Item* find(TreeItemId item) const;
    Item* find(TreeItemId item) { return const_cast<Item*>(std::as_const(*this).find(item)); }
    ChildList* children_of(TreeItemId parent);
    const ChildList* children_of(TreeItemId parent) const;

    // Items of the current generation: id = first_id_ + index. A deque, so that adding an item never
    // moves the others.
    std::deque<Item> items_;
    ChildList top_;
    TreeItemId first_id_ = 1;
    TreeMirror* mirror_;
};

// The root and the nine category items of one scan.
struct TreeCategories {
    TreeItemId root = kNoItem;
    TreeItemId tables = kNoItem;
    TreeItemId user_tables = kNoItem;
    TreeItemId system_tables = kNoItem;
    TreeItemId programmability = kNoItem;
    TreeItemId function = kNoItem;
    TreeItemId store_procedure = kNoItem;
    TreeItemId views = kNoItem;
    TreeItemId default_item = kNoItem;
    TreeItemId triggers = kNoItem;

    bool is_root_or_category(TreeItemId item) const;
    // The category an object of this type code goes under; kNoItem for types the tree does not show.
    TreeItemId category_for_type(std::string_view type) const;
};

// Inserts the root (last, under the invisible root) and the categories (each first under its parent), so
// that they read: root / Views, Programmability (Triggers, Default, Store Procedure, Function), Tables
// (System Tables, User Tables). Every category carries item data 0. Deletes nothing.
TreeCategories create_categories(ObjectTree& tree, const std::string& root_label);

// The object a schema assembly is asked for: the one with this object id when it is known (the object
// a tree item stands for), otherwise the one found by name and type code.
struct ObjectQuery {
    std::string name;
    std::string type;
    std::optional<std::int32_t> object_id;
};

// The query for a tree item: by the id of the object it stands for, or by name and type when it stands
// for none.
ObjectQuery object_query(const ObjectTree& tree, TreeItemId item, std::string name, std::string type);

// Assembles one object into the catalog's working lists and returns its column descriptors.
using ObjectAssembler = std::function<std::vector<ColumnDescriptor>(
    SystemCatalog& catalog, const ObjectQuery& object, const std::vector<DefinitionFragment>& definitions)>;

struct TreeBuildContext {
    SystemCatalog& catalog;
    // Runs for every table; when empty, tables are not assembled and none is bold.
    const ObjectAssembler& assemble;
    const std::vector<DefinitionFragment>& definitions;
    EngineEvents& progress;  // progress range and position only
    // Shows a sentence in the caption bar and adds it as a log line.
    std::function<void(std::string_view)> announce;
};

// Fills the categories from the catalog's object list, in list order, each object inserted first under
// its category with item data 1 and the object it stands for; tables also get a child "Columns" (item
// data 0), are assembled, and are bold when the assembly left both a column list and data pages. An
// object reads as its name, or as "schema.name" where another object of the same category has the same
// name. Objects with an empty name are skipped; objects of other types insert nothing but count. Sorts
// "Store Procedure" then "Function". True when at least one object counted.
bool build_tree(ObjectTree& tree, const TreeCategories& categories, const TreeBuildContext& context);

// Where a mouse press met an item.
enum class TreeHitPart { kLabel, kIcon, kCheckBox, kButton, kBeside, kNowhere };
enum class MouseButton { kLeft, kRight };

struct TreeClickResult {
    bool select = false;       // the hit item becomes the selected item
    bool show_object = false;  // the main frame is asked to show the item's content
};

// A press on an item selects it; only a left press on the item's label also shows its content.
TreeClickResult tree_click(TreeHitPart part, MouseButton button);

// "schema.name"; the name alone when the schema is empty.
std::string qualified_name(const TreeObject& object);

// The object items under the given categories that a name given by a user means, in outline order: the
// items whose text is the name; failing those, the items whose "schema.name" is; failing those, the
// items whose object has that name (more than one when it is found in several schemas).
std::vector<TreeItemId> find_object_items(const ObjectTree& tree, const std::vector<TreeItemId>& categories,
                                          const std::string& name);

// The tree as an indented outline, two blanks per level, one item a line; bold items end in " *".
std::string format_outline(const ObjectTree& tree);

}  // namespace quenlow
