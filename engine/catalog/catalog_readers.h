#pragma once
// Readers of the system base tables, one per table, each filling one raw list of the catalog in the
// order the rows were met. The tables and the object ids their pages are mapped under:
//
//   object id | table                                   | row                  | fixed data needed
//   ----------+-----------------------------------------+----------------------+-------------------
//           8 | database files                          | DatabaseFileRow      | 520
//          34 | objects                                 | SchemaObjectRow      | 20, object id > 0
//           1 | objects, SQL Server 2000 layout         | SchemaObjectRow      | 20, object id > 0
//           7 | allocation units (99 in the 2000 layout)| AllocationUnitRow    | 39
//           5 | rowsets                                 | RowsetRow            | 27
//          41 | columns and parameters                  | ColumnParamRow       | 37
//          50 | types                                   | ScalarTypeRow        | 34
//           3 | physical rowset columns                 | RowsetColumnRow      | 48
//          74 | multi-object references (data pages)    | ObjectReferenceRow   | -
//          54 | indexes and statistics                  | IndexStatRow         | 27
//          55 | index columns                           | IndexColumnRow       | 21
//          13 | physical columns, older layout          | HobtColumnRow        | -
//           4 | rowset column links, older layout       | RowsetColumnLinkRow  | -
//          64 | class objects (schemas: class 50)       | SchemaNameRow        | 5
//          10 | users, SQL Server 2000 layout           | SchemaNameRow        | 2
//
// A record whose fixed data is shorter than needed still adds a row with every field at its default,
// except in the object table (no row) and in the type and index tables, which need fixed data to be
// present at all (a record without fixed data adds no row).

#include <cstdint>
#include <string>
#include <vector>

#include "engine/catalog/catalog_model.h"
#include "engine/catalog/catalog_reader.h"

namespace quenlow {

namespace system_object {
inline constexpr std::int32_t kLegacyObjects = 1;
inline constexpr std::int32_t kLegacyIndexes = 2;
inline constexpr std::int32_t kRowsetColumns = 3;  // also the columns of the 2000 layout
inline constexpr std::int32_t kLegacyColumns = 3;
inline constexpr std::int32_t kRowsetColumnLinks = 4;
inline constexpr std::int32_t kRowsets = 5;
inline constexpr std::int32_t kAllocationUnits = 7;
inline constexpr std::int32_t kFiles = 8;
inline constexpr std::int32_t kHobtColumns = 13;
inline constexpr std::int32_t kObjects = 34;
inline constexpr std::int32_t kColumns = 41;
inline constexpr std::int32_t kTypes = 50;
inline constexpr std::int32_t kIndexes = 54;
inline constexpr std::int32_t kIndexColumns = 55;
inline constexpr std::int32_t kObjectReferences = 74;
inline constexpr std::int32_t kLegacyAllocations = 99;
inline constexpr std::int32_t kClassObjects = 64;
inline constexpr std::int32_t kLegacyUsers = 10;
}  // namespace system_object

// The two places the object table keeps its type code and parent.
enum class ObjectLayout {
    kLater,    // type at 13-14, parent at 15
    kSql2000,  // type at 4-5, owner at 8, parent at 24 (15 when the fixed data is shorter than 28 bytes)
};

void read_files(CatalogReader& reader, std::vector<DatabaseFileRow>& out);
// Restarts the repair counter. Objects without a name are named "Repairname<n>", objects with an empty
// name "RepairColumn<n>".
void read_objects(CatalogReader& reader, std::int32_t object_id, ObjectLayout layout,
                  std::vector<SchemaObjectRow>& out);
void read_allocation_units(CatalogReader& reader, std::int32_t object_id,
                           std::vector<AllocationUnitRow>& out);
// Schemas by id and name; rows without a name are left out.
void read_schemas(CatalogReader& reader, std::vector<SchemaNameRow>& out);
// The users of the 2000 layout, which own its objects as schemas do later.
void read_legacy_users(CatalogReader& reader, std::vector<SchemaNameRow>& out);
void read_rowsets(CatalogReader& reader, std::vector<RowsetRow>& out);
// Restarts the repair counter. Columns without a name, or with an empty one, are named
// "RepairColumn<n>".
void read_columns(CatalogReader& reader, std::vector<ColumnParamRow>& out);
void read_types(CatalogReader& reader, std::vector<ScalarTypeRow>& out);
void read_rowset_columns(CatalogReader& reader, std::vector<RowsetColumnRow>& out);
void read_object_references(CatalogReader& reader, std::vector<ObjectReferenceRow>& out);
void read_index_rows(CatalogReader& reader, std::vector<IndexStatRow>& out);
void read_index_columns(CatalogReader& reader, std::vector<IndexColumnRow>& out);
void read_hobt_columns(CatalogReader& reader, std::vector<HobtColumnRow>& out);
void read_rowset_column_links(CatalogReader& reader, std::vector<RowsetColumnLinkRow>& out);

// The identity text of a column from the bytes of its second variable-length column. Two numbers are
// taken from it, depending on its length:
//
//   length  | A (written second)   | B (written first)
//   --------+----------------------+-----------------------------------------------------------
//    0 - 5  | 1                    | 1
//    6 - 11 | uint16 at 2          | uint16 at 4
//   12 - 23 | uint32 at 4          | uint32 at 8
//   24 -    | int64 at 8           | int64 at 16, when the uint32 at 4 is 0 and the one at 0 is not;
//           |                      | otherwise both as for 12 - 23
//
// A B of 0 reads as 1. The text is "identity(B,A)".
std::string identity_text(ByteSpan value);

// When the object list is empty: one "U " object per distinct object id of the columns, named by the
// id in decimal. The stop flag ends the walk.
void add_tables_from_columns(const CatalogReader& reader, const std::vector<ColumnParamRow>& columns,
                             std::vector<SchemaObjectRow>& objects);

}  // namespace quenlow
