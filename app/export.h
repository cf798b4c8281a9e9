#pragma once
// The export of what a scan found: the rows of the selected tables and the definitions of the selected
// views, procedures, functions, triggers and defaults, written into a target (CSV files, a SQLite file)
// with a recovery report beside it.
//
// One table at a time, one batch at a time: a table is assembled, its data pages are listed by the same
// routes the record list takes, and its pages are decoded by worker threads (export_pipeline.h) while the
// calling thread takes their rows in page order; every `batch_rows` rows go to the target as one block of
// cells and the buffers are used again, so memory stays flat however large the table. Nothing is kept
// between tables but the report. The target, the front end and the settings' stop request are called
// from one thread at a time: the target and the front end from the calling thread only.
//
// A cell is the text of a stored column's value, or nothing for NULL and for a value that could not be
// decoded (the report lists those). Columns that are not stored (computed columns) are left out, as in
// the record list. Rows whose cells are all empty are exported too (the record list hides them). Rows
// that are not live rows of the table (deleted rows, rows the body scan found, when the scan settings
// show them) go to the target apart from the live ones, per origin, and are counted apart in the report.
//
// The export is a worker body: it runs on the calling thread, which has set the running flag, and clears
// the running flag and the stop flag when it ends. It ends at the Stop command (or when the settings'
// stop request answers true) after the page it is reading: the target is told that the table under way is
// incomplete, finishes its files, and the report says where the export stopped. Afterwards the catalog's
// working lists are as they were, so the table on display still pages on.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/main_frame.h"
#include "app/record_batches.h"

namespace quenlow {

using Cell = std::optional<std::string>;

// Rows of cells as one block: every row has `width` cells, stored row after row.
struct CellRows {
    std::size_t width = 0;
    std::vector<Cell> cells;
    std::size_t rows = 0;

    std::size_t row_count() const { return rows; }
    std::span<const Cell> row(std::size_t r) const { return {cells.data() + r * width, width}; }
};

struct ExportColumn {
    std::string name;
    std::string type_text;  // "int(4)", "decimal(18)": the type row's name and the length in bytes
    std::int32_t type_code = 0;
    std::uint8_t precision = 0;
    std::uint8_t scale = 0;
    bool nullable = false;
    std::string identity_text;  // "identity(seed,increment)"; empty for other columns
    std::string default_name;   // the default constraint of the column and its expression, "((0))"
    std::string default_text;
    bool row_guid = false;
    bool sparse = false;
};

// A column that is not stored but computed by an expression; it comes before the stored column
// `before` (the count of stored columns when it comes last).
struct ExportComputedColumn {
    std::string name;
    std::string expression;
    std::size_t before = 0;
};

// A primary key or unique constraint: its name and its key columns in key order.
struct ExportKey {
    std::string name;
    std::vector<std::string> columns;
    bool clustered = false;
};

struct ExportCheck {
    std::string name;
    std::string expression;
};

struct ExportForeignKey {
    std::string name;
    std::vector<std::string> columns;
    std::string referenced_schema;
    std::string referenced_table;
    std::vector<std::string> referenced_columns;
};

struct ExportTableName {
    std::string schema;
    std::string name;
};

// What the catalog knows of a table, as far as a target needs it to make the table again: the stored
// columns (the cells of each row, in this order), the computed columns, keys and constraints.
struct ExportTable {
    ExportTableName name;
    std::vector<ExportColumn> columns;
    std::vector<ExportComputedColumn> computed;
    std::optional<ExportKey> primary_key;
    std::vector<ExportKey> unique_keys;
    std::vector<ExportCheck> checks;
    std::vector<ExportForeignKey> foreign_keys;
};

// Encodes one decoded row (its cells: the values of `columns`) as a target writes it, appended to out.
// Called on the decoding workers, several at once: it reads only what it captured when the table began.
using RowEncoder =
    std::function<void(const DecodedRow& row, const std::vector<std::size_t>& columns, std::string& out)>;

// Where the rows go. Every call answers false on a failure that ends the export (a file that cannot be
// written); error() then names the file and the cause.
class ExportTarget {
public:
    virtual ~ExportTarget() = default;
    virtual bool begin_table(const ExportTable& table) = 0;
    virtual bool write_rows(const CellRows& rows) = 0;
    // A target that writes rows as bytes gives the encoder of the table begun last: the decoding workers
    // then encode each page's rows and write_encoded takes their bytes in page order, instead of cells
    // through write_rows. None by default.
    virtual RowEncoder row_encoder() const { return {}; }
    // `rows` whole rows made by the table's encoder.
    virtual bool write_encoded(std::string_view bytes, std::size_t rows) {
        (void)bytes;
        (void)rows;
        return false;
    }
    // Rows of the table begun last that are not live rows (deleted rows, rows the body scan found, rows
    // of stale pages: the scan shows them when asked to), kept apart from the live ones in a place of their own per origin,
    // where nobody takes them for rows of the table.
    virtual bool write_other_rows(const CellRows& rows, RowOrigin origin) = 0;
    // Where the rows of an origin of the table begun last went; empty when none came.
    virtual std::string other_destination(RowOrigin origin) const = 0;
    // complete: every row was written (false after a Stop).
    virtual bool end_table(bool complete) = 0;
    // The definition text of an object (type "V ", "P ", "FN", "IF", "TF", "TR", "D ").
    virtual bool definition(const std::string& schema, const std::string& name, const std::string& type,
                            const std::string& text) = 0;
    // Closes everything and gives each file its final name.
    virtual bool finish() = 0;
    // Writes the recovery report beside the export (also after a failure, when it can).
    virtual bool write_report(const std::string& json) = 0;
    virtual std::string error() const = 0;
    // Where the rows of the table begun last went: a file name, a table name.
    virtual std::string table_destination() const = 0;
    // "csv", "sqlite"; and the path the export was asked to write.
    virtual std::string kind() const = 0;
    virtual std::string output() const = 0;
};

// The tree items to export: tables (under "User Tables" or "System Tables") and objects with a
// definition.
struct ExportSelection {
    std::vector<TreeItemId> tables;
    std::vector<TreeItemId> objects;
};

// Every user table and every object of the categories with definitions, in outline order.
ExportSelection everything(const MainFrame& frame);
// The checked object items of the tree in outline order; nothing checked means everything.
ExportSelection selection_from_checks(MainFrame& frame);

// A value of a table the decoder could not decode (exported empty): the page being decoded, the slot of
// the row's record there, the column, and why.
struct DamagedValue {
    PageAddress page;
    std::int64_t slot = -1;
    std::string column;
    ValueDamage reason = ValueDamage::kNone;
};

// The report lists this many damaged values of each table; it counts them all.
inline constexpr std::size_t kListedDamagedValues = 100;

// The damaged values of one page as a decoding worker found them, for the writer to add to the table's
// report in page order.
struct PageDamage {
    std::int64_t count = 0;
    std::vector<DamagedValue> listed;  // the first kListedDamagedValues of the page

    void clear() {
        count = 0;
        listed.clear();
    }
};

// The origins of rows that are not live rows, each kept in a place of its own: deleted, body scan,
// stale page.
inline constexpr std::size_t kOtherOrigins = 3;
inline std::size_t other_origin_index(RowOrigin origin) {
    return origin == RowOrigin::kDeleted ? 0 : origin == RowOrigin::kBodyScan ? 1 : 2;
}
inline RowOrigin other_origin_at(std::size_t index) {
    return index == 0 ? RowOrigin::kDeleted : index == 1 ? RowOrigin::kBodyScan : RowOrigin::kStalePage;
}

struct TableReport {
    std::string schema;
    std::string name;
    std::int32_t object_id = -1;
    std::string destination;
    std::optional<std::int64_t> catalog_rows;  // the rowsets' row count, when the catalog records one
    std::int64_t rows_exported = 0;
    std::int64_t columns = 0;
    std::int64_t pages_listed = 0;
    std::int64_t pages_with_rows = 0;
    // Pages of the list that gave no row: unreadable, not a data page of the table, or empty.
    std::int64_t pages_skipped = 0;
    // The table's page chain ended early at this page ("file:page"; empty: it did not), and this many
    // data pages of the table were read past the break from its allocation maps or the page map.
    std::string chain_broken_at;
    std::int64_t pages_past_chain_break = 0;
    bool complete = false;
    std::string note;  // why the table has no rows, when it has none for a reason
    // Rows that are not live rows, kept apart: per origin (deleted, found by body scan, on a stale page)
    // that gave any.
    struct OtherRows {
        RowOrigin origin = RowOrigin::kDeleted;
        std::int64_t rows = 0;
        std::string destination;
    };
    std::vector<OtherRows> other_rows;
    // Values that could not be decoded: all of them counted, the first kListedDamagedValues listed.
    std::int64_t damaged_values = 0;
    std::vector<DamagedValue> damaged;
    // Rows that are not live rows left out: copies of rows exported, and records that do not decode
    // cleanly.
    std::int64_t stale_copies = 0;
    std::int64_t rejected_candidates = 0;
};

struct ObjectReport {
    std::string schema;
    std::string name;
    std::string type;
    std::int32_t object_id = -1;
    bool definition_found = false;
};

struct ExportReport {
    std::string target;  // "csv", "sqlite"
    std::string output;
    std::string source;  // the data file
    std::vector<TableReport> tables;
    std::vector<ObjectReport> objects;
    bool stopped = false;
    std::string stopped_at;  // "table dbo.Orders, page 12 of 40"
    std::string error;       // the failure that ended the export

    bool complete() const { return !stopped && error.empty(); }
};

// The report as a JSON document.
std::string report_json(const ExportReport& report);

struct ExportSettings {
    PageRowDecoderFactory decoder;
    std::size_t batch_rows = 1000;
    // Pages a decoding worker takes at a time; a Stop is asked before each such run.
    std::size_t pages_per_claim = 8;
    bool definitions = true;
    // Asked between pages; true stops as the Stop command does.
    std::function<bool()> stop_requested;
};

// Exports the selection of a scanned frame into the target.
ExportReport export_selection(MainFrame& frame, const ExportSelection& selection, ExportTarget& target,
                              const ExportSettings& settings);

// The shape of the table the catalog assembled last (its working lists and column descriptors), with
// the stored columns `columns` (list indices of the descriptors) in this order; definitions of
// defaults and check constraints come from the definition pass's fragments.
ExportTable export_table_shape(const SystemCatalog& catalog, const std::vector<std::size_t>& columns,
                               const std::vector<DefinitionFragment>& definitions);

// The list indices of the columns a row's cells come from: the first stored column, then every
// following column that is stored.
std::vector<std::size_t> exported_columns(const std::vector<ColumnDescriptor>& descriptors,
                                          std::size_t first_stored);

// The cells of one decoded row, one per exported column, written to out (which has room for them).
// A value the decoder marked NULL gives no cell, and so does one it could not decode (every target then
// writes it empty, as NULL: a damaged date or number has no text a target could take); the texts are
// those of the decoder's style (the export style writes values in full).
void row_cells(const DecodedRow& row, const std::vector<std::size_t>& columns, Cell* out);

// Counts the exported values of a decoded row that the decoder marked damaged, and lists them (up to
// kListedDamagedValues per page) with the page being decoded.
void note_damaged_values(const DecodedRow& row, const std::vector<std::size_t>& columns, PageAddress page,
                         PageDamage& out);
// Adds a page's damaged values to the table's report (call in page order) and empties the page's list.
void add_page_damage(PageDamage& page, TableReport& table);

}  // namespace quenlow
