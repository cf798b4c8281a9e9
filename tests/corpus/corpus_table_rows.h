#pragma once
// Every user table of a corpus file read the way `quenlow rows FILE TABLE --all` reads it: one scan
// through the main frame with the engine's seams, then for each table a click on its tree item and
// "Next Records" until the button is disabled, values stored outside the row read in every batch. The
// rows are the record list's rows, so what the command prints is what is compared.
//
// Reading a file scans it once for all its tables; the result is kept for the rest of the test process,
// so the suites that look at the same file share one read.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/catalog/catalog_model.h"

namespace quenlow::testing {

struct CorpusTableRows {
    std::string name;
    // The object the tree item stands for.
    std::int32_t object_id = -1;
    // The catalog's column descriptors of the table, as the show-object worker assembled them.
    std::vector<ColumnDescriptor> descriptors;
    // The record list's column titles and rows, every batch appended.
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
    // The row count that the table's rowset records in the catalog (-1: not read, as in the 2000 layout).
    std::int64_t rowset_row_count = -1;
    // The batches the table was shown in.
    int batches = 0;
    // The tree item is drawn bold (a table with columns and data pages).
    bool bold = false;
    // The table was decoded by column offsets (SQL Server 2000 layout, or no rowset column rows in the
    // catalog), where a NULL fixed-length value shows its stored bytes.
    bool offset_form = false;

    // The descriptor of a list column, or nullptr.
    const ColumnDescriptor* descriptor(const std::string& column) const;
    // The index of a list column, or -1.
    int column_index(const std::string& column) const;
};

struct CorpusFileRows {
    bool scanned = false;
    bool sql2000_layout = false;
    // In the order the "User Tables" category lists them (or "System Tables", for a read of those).
    std::vector<CorpusTableRows> tables;
    // The catalog's raw rowset and allocation unit lists.
    std::vector<RowsetRow> rowsets;
    std::vector<AllocationUnitRow> allocation_units;
};

// Reads (or returns the earlier read of) the decompressed corpus file at path: its user tables.
const CorpusFileRows& corpus_file_rows(const std::string& path);
// The same for the items of the "System Tables" category.
const CorpusFileRows& corpus_system_table_rows(const std::string& path);

// The cell text of a NULL value in an export read.
inline constexpr const char* kExportNullCell = "\x01NULL";
// The user tables read with export values (as `rows --format csv` prints them), NULL cells as
// kExportNullCell.
const CorpusFileRows& corpus_file_export_rows(const std::string& path);

}  // namespace quenlow::testing
