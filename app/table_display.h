#pragma once
// What a click on a tree item shows in the records view, for tables: the show-object worker, the schema
// items a table grows in the tree the first time it is shown, the record list's columns and the first
// batch of rows with its page label. The batch workers of "Next Records" and "Previous Records" run on
// the same paging state.
//
// Schema items under a table item, in their displayed order (the tree builder made "Columns"):
//
//   ForeignKey   one child per foreign key constraint ("F "), item data 0
//   Unique       one child per unique constraint ("UQ"), item data 0 (SQL Server 2000: the entry's id)
//   Constraint   one child per check or default constraint ("C ", "D "), item data 1
//   PrimaryKey   one child per primary key ("PK"), item data 0 (SQL Server 2000: the entry's id)
//   Columns      one child per named column, in column order: see column_item_text()
//
// Constraint children appear in the reverse order of the constraint list (each is inserted first).
//
// An item that stands for an object is assembled as that object (by its id). Any other item is
// assembled under the procedure type "P " (which finds every object that is not a table by its name)
// unless its parent is "PrimaryKey" or "Unique"; when that gives a table, its rows are
// shown, otherwise the item goes to an optional seam (views, procedures, functions, triggers, defaults,
// keys, constraints, columns, categories: definition_display.h); without it nothing is shown for them. Every click ends with
// the same closing steps: paging buttons, the page label "Page<n> - [<rows>](<first>-<last>) Records",
// the line "<item>[<rows>]" and "Scanning process completed.".

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "app/main_frame.h"
#include "app/record_batches.h"

namespace quenlow {

// The clicked item as the worker read it.
struct ShownItem {
    TreeItemId item = kNoItem;
    std::string text;
    TreeItemId parent = kNoItem;
    std::string parent_text;
    // The worker assembled the item (under the table categories as a table, under any other parent but
    // "PrimaryKey" and "Unique" as a procedure) and it gave no table; the catalog's current column list
    // holds what it gave.
    bool assembled = false;
};

struct TableDisplaySettings {
    // Decodes the table's data pages; empty: tables show no rows.
    PageRowDecoderFactory decoder;
    // The first batch shows placeholders for values stored outside the row (the rows-loading flag).
    bool placeholders_in_first_batch = true;
    // Shows an item that is not a table; runs on the worker before the closing steps.
    std::function<void(MainFrame&, const ShownItem&)> show_other_item;
};

class TableDisplay {
public:
    explicit TableDisplay(TableDisplaySettings settings);

    // The worker bodies of the main frame's seams.
    void show_object_worker(MainFrame& frame, TreeItemId item);
    void next_records_worker(MainFrame& frame);
    void previous_records_worker(MainFrame& frame);

    RecordBatches& batches() { return batches_; }
    const RecordBatches& batches() const { return batches_; }
    // The "PrimaryKey" item of the table shown last; kNoItem before.
    TreeItemId primary_key_item() const { return primary_key_item_; }

private:
    void show_table(MainFrame& frame);
    void closing_steps(MainFrame& frame, const std::string& item_text);

    TableDisplaySettings settings_;
    RecordBatches batches_;
    TreeItemId primary_key_item_ = kNoItem;
};

// Makes a table display and binds its workers into the seams; the seams keep it alive. Returns it for
// callers that read its state.
std::shared_ptr<TableDisplay> bind_table_display(MainFrameSeams& seams, TableDisplaySettings settings);

// The batch context of a main frame: its loaded database and catalog (both must exist), its front end,
// its advanced flag, its log and its running flag.
BatchContext batch_context(MainFrame& frame);

// The text of a column item: name, two blanks, type text, then "[Primary Key]" or "[Unique]", then
// "  (foreign key) references <table>( <column>)" for a foreign key column.
std::string column_item_text(const ColumnDescriptor& column);

// Grows the schema items of a table the first time it is shown: assembles the table (the object of
// table_item; without one, the table of that name and type "U " or "S ") into the catalog's current
// column list and, when it is a table, inserts the four groups, the
// column items under columns_item and the constraint items.
void build_schema_items(MainFrame& frame, std::string_view type, TreeItemId table_item,
                        const std::string& name, TreeItemId columns_item,
                        TreeItemId* primary_key_item = nullptr);

// Sets up the record list's columns for the current column list: one left-aligned column of 200 pixels
// per column, titled by its name; columns that are not stored (-99) get none, except in the SQL Server
// 2000 layout. The frame keeps the number of descriptors, skipped ones included, as its list columns.
void setup_columns(MainFrame& frame);

// "Page<page> - [<rows>](<first>-<rows>) Records" for the first batch of a table; first is 1, or 0 for
// an empty batch.
std::string first_batch_label(int page_number, int rows);

}  // namespace quenlow
