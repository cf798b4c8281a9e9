#pragma once
// Known deleted-row histories for databases of the test database builder. Each history edits the page
// images of a built database the way the server leaves them after deletes, ghost cleanup, updates, page
// de-allocation and page reuse, and returns what is now true of every row it knows: which rows of which
// table are live, and which earlier rows (deleted or replaced) still have their record bytes, and where.
//
// All histories start from history_database(): a table Orders whose records carry a 128-byte fixed part
// (a data row starts 30 00 84 00, a deleted one 3C 00 84 00) over three data pages (50, 50 and 20 rows,
// clustered on Id), and a table Notes of a few rows on one page.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/database_builder.h"
#include "tests/support/database_recipe.h"

namespace quenlow::testing {

// Where the bytes of a row's record are, as the page's slot array sees them.
enum class RecordPlace {
    kSlot,       // a slot names it and its type is a data row
    kGhost,      // a slot names it, record type 6 (a deleted data row not yet cleaned up)
    kUnslotted,  // bytes in the page body that no slot names
};

// One value as the CSV output gives it: the text, or nothing for NULL.
using CellText = std::optional<std::string>;

struct HistoryRow {
    std::string table;
    std::vector<CellText> cells;
    bool live = false;
    RecordPlace place = RecordPlace::kSlot;
    // On a page the table's allocation reaches (its page chain and IAM page); pages outside it are read
    // only by the page-to-object route.
    bool allocated = true;
    // An earlier row a reader should find: its bytes intact, on a page of its own table, in the table's
    // present column layout. Rows of a page another table took over and rows of an older layout are
    // false: a reader may show them (correctly) or leave them out.
    bool expected = true;
    std::int32_t page = 0;
    std::uint16_t offset = 0;
};

struct RowHistory {
    std::string name;
    std::vector<std::string> tables;  // the tables whose pages it changed
    std::vector<HistoryRow> rows;     // live rows and earlier rows, of every user table
};

// The starting database of every history.
DatabaseSpec history_database();

// The values of a row of a table, as the CSV output gives them.
std::vector<CellText> row_cells(const TableSpec& table, const std::vector<Value>& values);

// Every history below takes the database built from `blueprint` (history_database() or one of the same
// shape) and changes its image; the table names are those of history_database().

// Rows deleted as ghosts: record type 6, slots kept, the pages' ghost counts raised; one page has every
// row deleted (ghost count equal to the slot count).
RowHistory ghost_deletes(BuiltDatabase& db, const DatabaseSpec& blueprint);
// Deleted rows cleaned up with their bytes left in the body: on one page the slot entries of ghosts are
// removed (later slots shift down, the slot count falls; the records keep type 6), on another the slot
// entries of data rows are zeroed (the record stays, no slot names it).
RowHistory cleaned_ghosts(BuiltDatabase& db, const DatabaseSpec& blueprint);
// A row updated in place (old bytes overwritten), one that grew and was written again further down its
// page (old version left without a slot) and one moved to another page (old version left without a
// slot).
RowHistory updated_rows(BuiltDatabase& db, const DatabaseSpec& blueprint);
// A copy of a live data page left by a rebuild on a page no IAM page lists (the file grows by an
// extent): every row on it is an exact copy of a live row.
RowHistory stale_copy_page(BuiltDatabase& db, const DatabaseSpec& blueprint);
// The last data page of Orders de-allocated (left out of the page chain and the IAM page) with its
// rows, since deleted, still on it.
RowHistory deallocated_page(BuiltDatabase& db, const DatabaseSpec& blueprint);
// The page of Notes was a page of Orders before: behind the records of Notes its body still holds
// records of Orders (and the tail of one that Notes overwrote), without slots.
RowHistory reused_page(BuiltDatabase& db, const DatabaseSpec& blueprint);
// Random bytes in a page body between records, one run starting like a data row; a deleted row
// follows them.
RowHistory garbage_between_records(BuiltDatabase& db, const DatabaseSpec& blueprint);

// Bad input.
// A ghost record named by a slot near the end of a page whose variable part runs past the page end.
RowHistory ghost_past_page_end(BuiltDatabase& db, const DatabaseSpec& blueprint);
// A deleted record without a slot whose tail a newer live record overwrote: a body-scan candidate
// overlapping a live record.
RowHistory candidate_overlapping_live(BuiltDatabase& db, const DatabaseSpec& blueprint);
// A de-allocated page of Orders whose records were written before Name was added: three columns
// instead of four.
RowHistory older_schema_page(BuiltDatabase& db, const DatabaseSpec& blueprint);

}  // namespace quenlow::testing
