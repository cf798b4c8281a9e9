#include "app/table_display.h"

#include <fmt/format.h>

#include <algorithm>
#include <utility>

namespace quenlow {

namespace {

constexpr const char* kColumnsItem = "Columns";
constexpr const char* kPrimaryKeyGroup = "PrimaryKey";
constexpr const char* kUniqueGroup = "Unique";
constexpr int kListColumnWidth = 200;

// The column working list of the object assembled last: the one of the layout in use.
std::size_t working_list_length(MainFrame& frame, const SystemCatalog& catalog) {
    return frame.app().engine.sql2000_layout.load() ? catalog.current_legacy_columns.size()
                                                    : catalog.current_columns.size();
}

void empty_working_lists(SystemCatalog& catalog) {
    catalog.current_columns.clear();
    catalog.current_legacy_columns.clear();
}

// Runs the schema assembly for the object of the item (by name and type when it stands for none); its
// result becomes the current column list.
void assemble(MainFrame& frame, SystemCatalog& catalog, TreeItemId item, const std::string& name,
              const std::string& type) {
    const ObjectAssembler& assembler = frame.seams().assemble;
    if (!assembler) return;
    catalog.column_descriptors =
        assembler(catalog, object_query(frame.tree(), item, name, type), frame.definitions().scan);
}

TreeItemId insert_child(MainFrame& frame, TreeItemId parent, std::string text, std::uint32_t data) {
    ObjectTree& tree = frame.tree();
    const TreeItemId item = tree.insert_item(std::move(text), parent, InsertPosition::kFirst);
    tree.set_item_data(item, data);
    return item;
}

}  // namespace

std::string column_item_text(const ColumnDescriptor& column) {
    std::string text = column.name + "  " + column.type_text;
    if (column.primary_key)
        text += "[Primary Key]";
    else if (column.unique || column.unique_constraint)
        text += "[Unique]";
    if (column.foreign_key)
        text +=
            "  (foreign key) references " + column.referenced_table + "( " + column.referenced_column + ")";
    return text;
}

std::string first_batch_label(int page_number, int rows) {
    return fmt::format("{}{} - [{}]({}-{}) Records", "Page", page_number, rows, rows > 0 ? 1 : 0, rows);
}

BatchContext batch_context(MainFrame& frame) {
    return BatchContext{*frame.database(),
                        *frame.catalog(),
                        frame.front(),
                        frame.advanced(),
                        [&frame](std::string_view text) { frame.add_log_line(text); },
                        [&frame](std::string_view text) { frame.app().log_file.write_line(text); },
                        &frame.app().running};
}

void build_schema_items(MainFrame& frame, std::string_view type, TreeItemId table_item,
                        const std::string& name, TreeItemId columns_item, TreeItemId* primary_key_item) {
    SystemCatalog* catalog = frame.catalog();
    if (catalog == nullptr) return;
    FrontEnd& front = frame.front();
    const auto working = static_cast<int>(working_list_length(frame, *catalog));
    frame.display().list_columns = working;
    empty_working_lists(*catalog);
    front.records_delete_all_rows();
    if (working > 0) front.records_delete_columns(working);
    front.records_set_text("");

    assemble(frame, *catalog, table_item, name, std::string(type));
    if (!catalog->current_object_is_table) return;

    const bool sql2000 = frame.app().engine.sql2000_layout.load();
    const TreeItemId primary_key = insert_child(frame, table_item, "PrimaryKey", 0);
    const TreeItemId constraint = insert_child(frame, table_item, "Constraint", 0);
    const TreeItemId unique = insert_child(frame, table_item, "Unique", 0);
    const TreeItemId foreign_key = insert_child(frame, table_item, "ForeignKey", 0);
    if (primary_key_item != nullptr) *primary_key_item = primary_key;
    frame.tree().set_item_data(columns_item, 0);

    const auto& columns = catalog->column_descriptors;
    for (auto it = columns.rbegin(); it != columns.rend(); ++it)
        if (!it->name.empty()) insert_child(frame, columns_item, column_item_text(*it), 0);

    for (const ConstraintEntry& c : catalog->current_constraints) {
        const auto legacy_id = static_cast<std::uint32_t>(sql2000 ? c.id : 0);
        if (c.type == "F ")
            insert_child(frame, foreign_key, c.name, 0);
        else if (c.type == "UQ")
            insert_child(frame, unique, c.name, legacy_id);
        else if (c.type == "C " || c.type == "D ")
            insert_child(frame, constraint, c.name, 1);
        else if (c.type == "PK")
            insert_child(frame, primary_key, c.name, legacy_id);
    }
}

void setup_columns(MainFrame& frame) {
    SystemCatalog* catalog = frame.catalog();
    if (catalog == nullptr) return;
    FrontEnd& front = frame.front();
    front.records_delete_all_rows();
    const auto& columns = catalog->column_descriptors;
    frame.display().list_columns = static_cast<int>(columns.size());
    const bool sql2000 = frame.app().engine.sql2000_layout.load();
    int index = 0;
    if (frame.database() != nullptr && shows_row_states(batch_context(frame))) {
        front.records_add_column(index++, kStateColumnTitle, kListColumnWidth);
        ++frame.display().list_columns;
    }
    for (const ColumnDescriptor& column : columns) {
        if (column.physical_column_id == kNotStored && !sql2000) continue;
        front.records_add_column(index++, column.name, kListColumnWidth);
    }
}

// ---- the workers ----

TableDisplay::TableDisplay(TableDisplaySettings settings)
    : settings_(std::move(settings)), batches_(settings_.decoder) {}

void TableDisplay::show_object_worker(MainFrame& frame, TreeItemId item) {
    FrontEnd& front = frame.front();
    auto give_up = [&] {
        frame.app().running.store(0);
        front.show_progress(false);
    };
    SystemCatalog* catalog = frame.catalog();
    if (catalog == nullptr) return give_up();

    // Empty the list and the working lists of the object shown before. Deleting column 0 more often
    // than the list has columns does nothing, so the larger count of the two takes every column away.
    const int columns =
        std::max(frame.display().list_columns, static_cast<int>(working_list_length(frame, *catalog)));
    front.records_delete_all_rows();
    if (columns > 0) front.records_delete_columns(columns);
    frame.display().list_columns = 0;
    front.records_set_text("");
    empty_working_lists(*catalog);
    catalog->column_descriptors.clear();
    batches_.reset();

    const ObjectTree& tree = frame.tree();
    const TreeCategories& categories = frame.categories();
    if (item == kNoItem || item == categories.root || !tree.contains(item)) return give_up();
    ShownItem shown{item, tree.item_text(item), tree.item_parent(item), {}, false};
    shown.parent_text = tree.item_text(shown.parent);
    if (shown.text.empty()) return give_up();

    if (shown.parent != kNoItem &&
        (shown.parent == categories.user_tables || shown.parent == categories.system_tables)) {
        const std::string type = shown.parent == categories.system_tables ? "S " : "U ";
        const TreeItemId first_child = tree.first_child(item);
        if (first_child != kNoItem && tree.item_text(first_child) == kColumnsItem)
            build_schema_items(frame, type, item, shown.text, first_child, &primary_key_item_);
        else
            assemble(frame, *catalog, item, shown.text, type);
        shown.assembled = true;
    } else if (shown.parent_text != kPrimaryKeyGroup && shown.parent_text != kUniqueGroup) {
        // Views, procedures, functions, triggers, defaults, constraints, columns, categories: the
        // assembly finds what it can under the procedure type (which also accepts every type but tables).
        assemble(frame, *catalog, item, shown.text, "P ");
        shown.assembled = true;
    }
    if (shown.assembled && catalog->current_object_is_table && !catalog->column_descriptors.empty())
        show_table(frame);
    else if (settings_.show_other_item)
        settings_.show_other_item(frame, shown);
    closing_steps(frame, shown.text);
}

void TableDisplay::show_table(MainFrame& frame) {
    FrontEnd& front = frame.front();
    front.records_show_table(true);
    front.records_enable_previous(false);
    front.records_enable_next(false);
    setup_columns(frame);
    batches_.list_cleared();
    batches_.load_table_rows(batch_context(frame), settings_.placeholders_in_first_batch);
}

void TableDisplay::closing_steps(MainFrame& frame, const std::string& item_text) {
    FrontEnd& front = frame.front();
    front.records_enable_previous(false);
    front.records_enable_next(batches_.resume_points().size() >= 2);
    const int rows = batches_.list_rows();
    DisplayState& display = frame.display();
    ++display.page_number;
    front.records_set_page_label(first_batch_label(display.page_number, rows));
    const std::string line = fmt::format("{}[{}]", item_text, rows);
    front.set_caption(line);
    frame.add_log_line(line);
    front.records_redraw();
    front.show_progress(false);
    frame.app().running.store(0);
    frame.add_log_line("Scanning process completed.");
}

void TableDisplay::next_records_worker(MainFrame& frame) {
    if (frame.catalog() == nullptr) {
        frame.front().records_enable_next(false);
        frame.front().show_progress(false);
        frame.app().running.store(0);
        return;
    }
    batches_.next_batch(batch_context(frame), frame.display());
}

void TableDisplay::previous_records_worker(MainFrame& frame) {
    if (frame.catalog() == nullptr) {
        frame.front().records_enable_previous(false);
        frame.front().show_progress(false);
        frame.app().running.store(0);
        return;
    }
    batches_.previous_batch(batch_context(frame), frame.display());
}

std::shared_ptr<TableDisplay> bind_table_display(MainFrameSeams& seams, TableDisplaySettings settings) {
    auto display = std::make_shared<TableDisplay>(std::move(settings));
    seams.show_object_worker = [display](MainFrame& frame, TreeItemId item) {
        display->show_object_worker(frame, item);
    };
    seams.next_records_worker = [display](MainFrame& frame) { display->next_records_worker(frame); };
    seams.previous_records_worker = [display](MainFrame& frame) { display->previous_records_worker(frame); };
    return display;
}

}  // namespace quenlow
