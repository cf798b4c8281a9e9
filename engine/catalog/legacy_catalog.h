#pragma once
// The catalog of the SQL Server 2000 layout: its index table (object id 2) and column table (object
// id 3), which replace the column, rowset column and index tables of later versions.
//
// Index rows (clustered indexes only: index id 1), fixed data offsets:
//
//   offset | size | field
//        0 |    4 | object id
//        8 |    6 | first page (page id, file id); the page id part is kept
//       14 |    2 | index id (signed)
//       64 |    6 | first IAM page; the page id part is kept (0 when the fixed data ends before 68)
//
// The file id kept with the entry is that of the page the row was read from, not the pointers' file
// parts. Rows need at least 64 bytes of fixed data; a later row for an object replaces an earlier one.
//
// Column rows (LegacyColumnRow, offsets in catalog_model.h) are read from any record that is not of type
// 3 or 4; fields beyond the end of a short fixed part keep their defaults. The collation id (offset 34)
// and the status byte (offset 42) are read only from records of more than 20 columns.

#include <cstdint>
#include <map>
#include <vector>

#include "engine/catalog/catalog_model.h"
#include "engine/catalog/catalog_reader.h"

namespace quenlow {

// The clustered index entry of each table, from the pages of object id 2 of page type 1.
void read_legacy_index_map(CatalogReader& reader, std::map<std::int32_t, LegacyIndexEntry>& out);

// One key table per entry of the index map (ascending object id) whose object id is above 100 and
// whose index id is 1, named after the first object of that id.
void make_legacy_key_tables(const std::map<std::int32_t, LegacyIndexEntry>& index_map,
                            const std::vector<SchemaObjectRow>& objects,
                            std::vector<LegacyTableColumns>& out);

// Reads the column rows of object id 3 and, page by page, links every column read to the key tables of
// its object id. Restarts the repair counter; columns without a name, or with an empty one, are named
// "RepairColumn<n>".
void read_legacy_columns(CatalogReader& reader, std::vector<LegacyTableColumns>& key_tables,
                         std::vector<LegacyColumnRow>& out);

// The index id kept in the high half of an entry's packed word.
inline std::int32_t legacy_index_id(const LegacyIndexEntry& entry) {
    return static_cast<std::int16_t>(entry.file_and_index >> 16);
}

}  // namespace quenlow
