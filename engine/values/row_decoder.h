#pragma once
// The row decoder: cuts the records of one record page into column values and gives each its text.
//
// A row is a copy of the table's column descriptor list whose value texts hold one record's values. The
// descriptor list passed in is the row buffer: each column's text is written into its descriptor and a
// copy of the whole list is appended per record. Columns that are not stored (physical column id -99)
// keep the definition text schema assembly put there in every row.
//
// The table decoders find NULL (ColumnDescriptor::value_null; the text "NULL" on display, empty for
// export) for every column the record's null bitmap marks, and for every column a record does not reach: a
// row written before columns were added to the table counts fewer columns, and the missing ones are NULL (a
// null bitmap shorter than the table is read the same way). A moved row is one row: it is shown through its
// forwarding stub, and at the page it moved to only when no stub leads there; a stub that cannot be followed
// shows nothing.
//
// Four decoders, two forms for each of two callers:
//
//   decoder                  caller                 used when
//   -------------------------+----------------------+--------------------------------------------------
//   table page, layout form  table row loader       not the SQL Server 2000 layout, and the current
//                                                   rowset has physical column rows
//   table page, offset form  table row loader       otherwise
//   definition page, layout  object definitions    as for the table page
//   definition page, offset  object definitions    otherwise
//
// The layout form places each column by the physical position copied into its descriptor (leaf offset,
// null bit, physical column id) and reads compact records through their column codes and entries. The
// offset form ignores those, shows an empty nullable value as "NULL", and can place columns by the
// SQL Server 2000 column offsets. The definition forms decode only the columns a record counts and take
// no "NULL" from the null bitmap. The definition forms never show placeholders for values stored
// elsewhere; the definition offset form places every fixed value one after the other.
//
// Every offset and length is checked against the region it points into: a value that does not fit
// shows an empty text, never a read outside the record.
//
// A value the record says is there (not NULL, within the record's column count) but that cannot be
// decoded is marked: ColumnDescriptor::value_damaged, with the reason in damage_reason. Its text is what
// it has always been (mostly empty; one blank for a date out of range, and the offset form shows an empty
// value of a nullable column as NULL, flag and all); exported, its text is empty. The mark is reset with
// every value:
//
//   reason            when
//   ------------------+---------------------------------------------------------------------------------
//   outside record    a fixed value past the fixed part, an end offset outside the record or before the
//                     value's start (a variable value past the record's end offsets is an empty value:
//                     records leave trailing empty values out)
//   invalid bytes     a date or time out of range; a decimal with a bad sign byte, length or precision;
//                     a sql_variant the type cannot hold; a complex value of an unknown kind
//   large value cut   a root or text pointer that leads to no fragment, a chain of fragments that is cut
//   xml refused       binary xml the converter refused
//   compact entry     an entry of a compact record that cannot be rebuilt

#include <functional>
#include <vector>

#include "engine/catalog/catalog_model.h"
#include "engine/pages/engine_state.h"
#include "engine/pages/opened_database.h"
#include "engine/pages/record_page.h"
#include "engine/values/large_value_reader.h"
#include "engine/values/value_format.h"

namespace quenlow {

using DecodedRow = std::vector<ColumnDescriptor>;

// A short text of a damage reason for reports ("outside record"); empty for kNone.
const char* value_damage_text(ValueDamage reason);

// Large values not read during the first batch of a table.
inline constexpr const char* kBigBinaryPlaceholder = "<BIG BINARY DATA>";
inline constexpr const char* kBinaryPlaceholder = "<BINARY DATA>";

// Where a decoded row came from.
enum class RowOrigin : std::uint8_t {
    kLive,      // a record a slot of the page names, not a ghost
    kDeleted,   // a ghost record a slot names: a deleted row the server had not cleaned away yet
    kBodyScan,  // a record the body scan found between the records, which no slot names
    kStalePage,  // a record of a page that names the table but that no allocation structure of it reaches
};

// The label of an origin in exports and listings: "live", "deleted", "found by body scan", "on a stale
// page".
const char* row_origin_label(RowOrigin origin);
// The short label of the State column of row listings: "live", "deleted", "body scan", "stale page".
const char* row_state_label(RowOrigin origin);

// What the table decoders know of the row they handed over last.
struct RowFacts {
    RowOrigin origin = RowOrigin::kLive;
    // Some value of the row could not be decoded (ColumnDescriptor::value_damaged says which).
    bool damaged = false;
    // Index of the row's record in the page's record list (slots first, then what the body scan found).
    std::int32_t record = -1;
};

// A record of a data page as the table decoders would take it, seen without decoding its values: where
// it came from, a key of its stored bytes (equal records have equal keys, whatever their record type),
// and the shape its parse found.
struct TableRecordEntry {
    std::int32_t record = -1;
    RowOrigin origin = RowOrigin::kLive;
    std::uint64_t key = 0;
    std::uint16_t column_count = 0;
    std::int16_t fixed_length = 0;
    bool compressed = false;
    // Every variable value lies inside the record, after the one before it; the record has bytes; a
    // record of the body scan shares no byte with a record a slot names.
    bool well_formed = true;
};

// The records of the page the table decoders turn into rows (same records, same order, same origins).
std::vector<TableRecordEntry> table_record_entries(const PrimaryRecordPage& page, bool show_deleted);

struct DecodeContext {
    // Its style (format.style) chooses display or export texts for every value the decoders write.
    FormatContext format;
    LargeValueReader& large_values;
    XmlConverter& xml;
    // The first batch of the table the user selected is being loaded: the table decoders then show
    // placeholders for large roots and text pointers instead of reading them.
    bool rows_loading = false;
    bool show_deleted = false;
    bool sql2000_layout = false;
    // The row the table decoders handed over last.
    RowFacts row;
};

// A context for the pages of `database`: its state, its read options (deleted records, the code page
// of text without a collation), the layout flag as it is now, the given rows_loading and value style.
// The export style reads every value stored elsewhere, whatever rows_loading says.
DecodeContext make_decode_context(const OpenedDatabase& database, LargeValueReader& large_values,
                                  XmlConverter& xml, bool rows_loading = false,
                                  ValueStyle style = ValueStyle::kDisplay);

// Receives the rows of a page one at a time, in slot order: the descriptor list itself, whose texts
// hold the record just decoded (valid until the next row). False: no further row of the page is wanted.
using RowVisitor = std::function<bool(const DecodedRow& row)>;

// Each decoder returns the rows of the page's records in slot order. The stop flag of the page's
// database ends the record loop; the rows decoded so far are returned. Descriptors may be changed
// beyond their value texts: a physical column id above a record's column count is replaced by the
// column id for all later records.
std::vector<DecodedRow> decode_table_page_layout(const PrimaryRecordPage& page,
                                                 std::vector<ColumnDescriptor>& descriptors,
                                                 DecodeContext& ctx);
// Leaves out records whose first column decodes to an empty text.
std::vector<DecodedRow> decode_table_page_offsets(const PrimaryRecordPage& page,
                                                  std::vector<ColumnDescriptor>& descriptors,
                                                  DecodeContext& ctx);
// The same two decoders without copies: each row is handed to `visit` as soon as it is decoded.
void decode_table_page_layout(const PrimaryRecordPage& page, std::vector<ColumnDescriptor>& descriptors,
                              DecodeContext& ctx, const RowVisitor& visit);
void decode_table_page_offsets(const PrimaryRecordPage& page, std::vector<ColumnDescriptor>& descriptors,
                               DecodeContext& ctx, const RowVisitor& visit);
std::vector<DecodedRow> decode_definition_page_layout(const PrimaryRecordPage& page,
                                                      std::vector<ColumnDescriptor>& descriptors,
                                                      DecodeContext& ctx);
// Also decodes deleted and invalid records (only null entries and large-value fragments are skipped).
std::vector<DecodedRow> decode_definition_page_offsets(const PrimaryRecordPage& page,
                                                       std::vector<ColumnDescriptor>& descriptors,
                                                       DecodeContext& ctx);

}  // namespace quenlow
