#include "app/headless_session.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include <fmt/format.h>

#include "app/collation_file.h"
#include "app/table_display.h"
#include "engine/values/text_conversion.h"

namespace quenlow {

namespace {

constexpr const char* kColumnsItem = "Columns";

// True when the item's parent, or any item above it, reads text.
bool has_ancestor(const ObjectTree& tree, TreeItemId item, const std::string& text) {
    for (TreeItemId up = tree.item_parent(item); up != kNoItem; up = tree.item_parent(up))
        if (tree.item_text(up) == text) return true;
    return false;
}

// The first item, in outline order, with this text (and an ancestor of that text, when one is given).
TreeItemId find_text(const ObjectTree& tree, TreeItemId under, const std::string& text,
                     const std::optional<std::string>& ancestor) {
    for (TreeItemId child : tree.children(under)) {
        if (tree.item_text(child) == text && (!ancestor || has_ancestor(tree, child, *ancestor)))
            return child;
        if (TreeItemId found = find_text(tree, child, text, ancestor)) return found;
    }
    return kNoItem;
}

// Grows the schema items of every table that has not got them yet, as its first display would, without
// loading rows.
void grow_schema_items(MainFrame& frame) {
    const ObjectTree& tree = frame.tree();
    const TreeCategories& categories = frame.categories();
    for (const auto& [category, type] :
         {std::pair{categories.user_tables, "U "}, {categories.system_tables, "S "}}) {
        for (TreeItemId table : tree.children(category)) {
            const TreeItemId first = tree.first_child(table);
            if (first != kNoItem && tree.item_text(first) == kColumnsItem)
                build_schema_items(frame, type, table, tree.item_text(table), first);
        }
    }
}

}  // namespace

OpenChoicesResult make_open_choices(const OpenOptions& options, const std::string& collation_file,
                                    ApplicationState& app) {
    app.engine.collations = load_collation_file(collation_file);

    OpenChoices choices;
    choices.mdf_path = options.file;
    choices.recovery_mode = options.recovery_mode;
    choices.show_deleted = options.deleted;
    choices.show_advanced_deleted = options.advanced_deleted;
    choices.keep_every_candidate = options.keep_every_candidate;
    choices.is_sql2000 = options.sql2000;
    if (options.collation != "auto") {
        const std::optional<std::int64_t> id = find_collation(app.engine.collations, options.collation);
        if (!id)
            return {std::nullopt, fmt::format("Unknown collation: {} (not listed in {})", options.collation,
                                              collation_file)};
        choices.automatic_collation = false;
        choices.manual_collation_id = *id;
    }
    choices.log_folder = options.log_dir;
    if (!CodePageConverters().supports(options.ansi_code_page))
        return {std::nullopt, fmt::format("Code page {} cannot be converted here.", options.ansi_code_page)};
    app.ansi_code_page = options.ansi_code_page;
    return {std::move(choices), {}};
}

HeadlessSession::HeadlessSession(ApplicationState& app, FrontEnd& front, FileSystem& files,
                                 MainFrameSeams seams, StopRequest stop_requested)
    : frame_(app, front, files, std::move(seams)), stop_requested_(std::move(stop_requested)) {}

bool HeadlessSession::open() {
    frame_.on_open();
    wait();
    return !frame_.tree().empty();
}

bool HeadlessSession::click(TreeItemId item) {
    const bool started = frame_.on_show_object(item);
    wait();
    return started;
}

bool HeadlessSession::next() {
    const bool started = frame_.on_next_records();
    wait();
    return started;
}

void HeadlessSession::wait() {
    bool stop_sent = false;
    // The wait ends the moment the worker does (a batch of rows takes about a millisecond); it wakes
    // every 20 ms to ask whether to stop.
    while (!frame_.wait_until_idle(std::chrono::milliseconds(20))) {
        if (!stop_sent && stop_requested_ && stop_requested_()) {
            stop_sent = true;
            frame_.on_stop();
        }
    }
    frame_.wait_for_worker();
}

ItemLookup HeadlessSession::lookup(const std::vector<TreeItemId>& items) const {
    ItemLookup found;
    if (items.size() == 1) {
        found.item = items.front();
        return found;
    }
    const ObjectTree& tree = frame_.tree();
    for (TreeItemId item : items)
        if (const TreeObject* object = tree.item_object(item))
            found.candidates.push_back(
                {qualified_name(*object), object->object_id, tree.item_text(tree.item_parent(item))});
    return found;
}

ItemLookup HeadlessSession::find_table(const std::string& name) const {
    const TreeCategories& c = frame_.categories();
    // User tables first: a system table of the same name is reached by its schema ("sys.name").
    std::vector<TreeItemId> tables = find_object_items(frame_.tree(), {c.user_tables}, name);
    if (tables.empty()) tables = find_object_items(frame_.tree(), {c.system_tables}, name);
    return lookup(tables);
}

ItemLookup HeadlessSession::find_item(const std::string& text, const std::optional<std::string>& parent) {
    const ObjectTree& tree = frame_.tree();
    const TreeCategories& c = frame_.categories();
    std::vector<TreeItemId> objects = find_object_items(
        tree,
        {c.views, c.triggers, c.default_item, c.store_procedure, c.function, c.system_tables, c.user_tables},
        text);
    if (parent) std::erase_if(objects, [&](TreeItemId i) { return !has_ancestor(tree, i, *parent); });
    if (!objects.empty()) return lookup(objects);
    ItemLookup found;
    found.item = find_text(tree, kNoItem, text, parent);
    if (found.item == kNoItem && frame_.catalog() != nullptr) {
        grow_schema_items(frame_);
        found.item = find_text(tree, kNoItem, text, parent);
    }
    return found;
}

}  // namespace quenlow
