#pragma once
// The catalog model: rows read back from the system base tables, and the working lists of the object
// assembled last. Rows are plain values copied in the order they were met on disk (page-map order, then
// slot order) and joined by numeric ids. -1 (ids, 32-bit fields) and 255 (bytes) mean "not read".
// Texts are UTF-8.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/pages/database_file_row.h"
#include "engine/pages/page_address.h"

namespace quenlow {

// Object ids are compared with bits 24 and 25 cleared where columns are matched to their table.
inline constexpr std::uint32_t kObjectIdMask = 0xFCFFFFFFu;

// One object: table, view, procedure, function, trigger, constraint, default, type table...
//   field             2005+ fixed offset   2000 layout
//   object id         0                    0
//   schema id         4                    8 (2 bytes: the owner's user id)
//   namespace class   8                    8
//   status            9                    9
//   type (2 chars)    13, 14               4, 5
//   parent object id  15                   24 when the fixed data holds 28 bytes, else 15
//   parent class      19                   19
//   integer property  20                   20
//   name              variable column 1
struct SchemaObjectRow {
    std::int32_t object_id = -1;
    std::string name;
    std::int32_t schema_id = -1;
    std::uint8_t namespace_class = 255;
    std::int32_t status = -1;
    std::string type;  // "U ", "S ", "V ", "P ", "FN", "PK", ... as stored (two characters)
    std::int32_t parent_object_id = -1;
    std::uint8_t parent_class = 255;
    std::int32_t integer_property = -1;
};

// One schema (2005 and later: a class 50 row of the class objects table; 2000 layout: a user, the owner
// of objects).
//   2005+ class objects   class 0 (1 byte; schemas are 50), id 1, status 5, type 9-10, property 11,
//                         name variable column 1
//   2000 users            user id 0 (2 bytes), status 2, name variable column 1
struct SchemaNameRow {
    std::int32_t schema_id = -1;
    std::string name;
};

// One column or parameter of an object (2005 and later).
struct ColumnParamRow {
    std::int32_t object_id = -1;        // 0
    std::int16_t number = -1;           // 4: 0 for a table column
    std::int32_t column_id = -1;        // 6
    std::string name;                   // variable column 1
    std::uint8_t system_type_id = 255;  // 10
    std::int32_t user_type_id = -1;     // 11
    std::int16_t length = -1;           // 15: -1 for max
    std::uint8_t precision = 255;       // 17
    std::uint8_t scale = 255;           // 18
    std::int32_t collation_id = -1;     // 19
    std::int32_t status = -1;           // 23
    std::int16_t max_inrow_length = -1; // 27
    std::int32_t xml_collection_id = -1;// 29
    std::int32_t default_object_id = -1;// 33
    std::int32_t check_object_id = -1;  // 37
    std::string identity_text;          // "identity(seed,increment)" from variable column 2
};

// One column in the SQL Server 2000 layout.
struct LegacyColumnRow {
    std::string name;                    // variable column 1
    std::int32_t object_id = -1;         // 0
    std::uint8_t system_type_id = 255;   // 4
    std::uint8_t type_status = 255;      // 5: bit 0 set = NOT NULL
    std::int16_t user_type_id = -1;      // 6
    std::int16_t length = -1;            // 8
    std::uint8_t precision = 255;        // 10
    std::uint8_t scale = 255;            // 11
    std::int16_t column_id = -1;         // 12
    std::int16_t physical_offset = -1;   // 14
    std::uint8_t bit_position = 255;     // 16
    std::uint8_t reserved = 255;         // 17
    std::int16_t column_status = -1;     // 18
    std::int16_t default_object_id = -1; // 20 (low half)
    std::int32_t domain = -1;            // 24
    std::int16_t number = -1;            // 28
    std::int16_t column_order = -1;      // 30
    std::int32_t zero = 0;
    std::int16_t offset = -1;            // 32
    std::int32_t collation_id = -1;      // 34, when the record has > 20 columns and >= 38 fixed bytes
};

struct RowsetRow {
    std::int64_t rowset_id = 0;          // 0
    std::uint8_t owner_type = 255;       // 8
    std::int32_t object_id = -1;         // 9 (major id)
    std::int32_t index_id = -1;          // 13 (minor id)
    std::int32_t partition_number = -1;  // 17
    std::int32_t status = -1;            // 21
    std::int16_t filegroup_id = -1;      // 25
    std::int64_t row_count = -1;         // 27
};

struct AllocationUnitRow {
    std::int64_t allocation_unit_id = 0;  // 0
    std::uint8_t type = 255;              // 8: 1 in-row data
    std::int64_t owner_id = 0;            // 9: rowset id
    std::int32_t status = -1;             // 17
    std::int16_t filegroup_id = 0;        // 21
    PageAddress first_page{0, 0};         // 23: page id then file id on disk
    PageAddress root_page{0, 0};          // 29
    PageAddress first_iam_page{0, 0};     // 35

    // Bits 16..47 of the allocation unit id: the object id field of its pages' headers (the index id
    // field holds bits 48..63; UnitPages tells which pages are the unit's).
    std::int32_t object_number() const {
        return static_cast<std::int32_t>(static_cast<std::uint64_t>(allocation_unit_id) >> 16);
    }
};

struct ScalarTypeRow {
    std::int32_t type_id = -1;          // 0
    std::int32_t schema_id = -1;        // 4
    std::string name;                   // variable column 1
    std::uint8_t system_type_id = 255;  // 8
    std::int16_t length = -1;           // 9
    std::uint8_t precision = 255;       // 11
    std::uint8_t scale = 255;           // 12
    std::int32_t collation_id = -1;     // 13
    std::int32_t status = -1;           // 17
    std::int32_t value30 = -1;          // 30, kept
    std::int32_t value34 = -1;          // 34, kept
};

struct IndexStatRow {
    std::int32_t object_id = -1;        // 0
    std::int32_t index_id = -1;         // 4
    std::string name;                   // variable column 1
    std::int32_t status = -1;           // 8
    std::int32_t integer_property = -1; // 12
    std::uint8_t fill_factor = 255;     // 16
    std::uint8_t index_type = 255;      // 17
    std::uint8_t tiny_property = 255;   // 18
    std::int32_t data_space_id = -1;    // 19
    std::int32_t lob_data_space_id = -1;// 23
    std::int64_t rowset_id = -1;        // 27
};

struct IndexColumnRow {
    std::int32_t object_id = -1;        // 0 (major id)
    std::int32_t index_id = -1;         // 4 (minor id)
    std::int32_t key_ordinal = -1;      // 8 (sub id)
    std::int32_t status = -1;           // 12
    std::int32_t column_id = -1;        // 16 (integer property)
    std::uint8_t tiny_property1 = 255;  // 20
    std::uint8_t tiny_property2 = 255;  // 21
    std::int32_t index_status = 0;      // not on disk: status of the owning index, set by the key join
};

struct RowsetColumnRow {
    std::int64_t rowset_id = 0;          // 0
    std::int32_t rowset_column_id = -1;  // 8
    std::int32_t physical_column_id = 0; // 12
    std::int64_t modification_counter = -1;  // 16
    std::int32_t type_info = -1;         // 24
    std::int32_t column_id = -1;         // 28
    std::int16_t key_ordinal = -1;       // 32
    std::int16_t max_inrow_length = -1;  // 34
    std::int32_t status = -1;            // 36
    std::int32_t leaf_offset = -1;       // 40
    std::int32_t null_bit = -1;          // 44
    std::int16_t bit_position = -1;      // 48
};

// Physical columns of the older 2005 layout.
struct HobtColumnRow {
    std::int64_t rowset_id = 0;         // 0
    std::int32_t column_id = 0;         // 8
    std::int16_t leaf_offset = 0;       // 27
    std::int16_t second_offset = 0;     // 33
    std::int32_t rowset_column_id = -1; // filled from the matching link row
};

struct RowsetColumnLinkRow {
    std::int64_t rowset_id = 0;         // 0
    std::int32_t column_id = 0;         // 8
    std::int32_t rowset_column_id = 0;  // 12
};

struct ObjectReferenceRow {
    std::uint8_t ref_class = 255;        // 0
    std::int32_t dependent_id = -1;      // 1
    std::int32_t dependent_sub_id = -1;  // 5
    std::int32_t referenced_id = -1;     // 9
    std::int32_t referenced_sub_id = -1; // 13
    std::int32_t status = -1;            // 17
};

// SQL Server 2000 layout: the clustered index entry of a table (sysindexes, index id 1).
struct LegacyIndexEntry {
    std::int32_t object_id = -1;
    std::uint32_t file_and_index = 0;  // low half: file id of the page the row came from; high half: index id
    std::uint32_t first_page = 0;
    std::uint32_t first_iam_page = 0;
};

struct LegacyColumnLink {
    std::string column_name;
    std::int16_t column_order = -1;
    std::uint8_t type_status = 0;
};

struct LegacyTableColumns {
    std::int32_t object_id = -1;
    std::string table_name;
    std::vector<LegacyColumnLink> columns;
};

// A child object of the current table (constraint, key, default...).
struct ConstraintEntry {
    bool is_primary_key = false;  // "PK"
    bool is_foreign_key = false;  // "F "
    bool is_unique = false;       // "UQ"
    std::string name;
    std::int32_t id = -1;         // the child's object id; SQL 2000 layout: the parent object id
    std::string type;
};

// One column pair of a foreign key.
struct ForeignKeyEntry {
    std::int32_t constraint_id = -1;
    std::int32_t column_ordinal = -1;
    std::int32_t referencing_table_id = -1;
    std::int32_t referencing_column_id = -1;
    std::int32_t referenced_table_id = -1;
    std::int32_t referenced_column_id = -1;
    std::string constraint_name;
    std::string unused_text;
    std::string referencing_table_name;
    std::string referencing_column_name;
    std::string referenced_table_name;
    std::string referenced_column_name;
    std::int32_t constraint_status = 0;
};

// Marks a column that is not stored in the record (computed), or an older-layout physical column
// without a column row.
inline constexpr std::int32_t kNotStored = -99;

// One column of the current object. For a non-table object three descriptors carry the object's id,
// type and name in their value texts.
// Why the row decoder gave up on a value the record says is there (the value's text is then empty, or
// what the display has always shown for it).
enum class ValueDamage : std::uint8_t {
    kNone,
    kOutsideRecord,  // its offset or length lies outside the record or the record's fixed part
    kInvalidBytes,   // bytes the type cannot hold: a date out of range, a decimal of a bad length
    kLargeValueCut,  // a value stored elsewhere whose root or pointer cannot be followed, or whose
                     // chain of fragments is cut
    kXmlRefused,     // binary xml the converter refused
    kCompactEntry,   // a compact record's entry that cannot be rebuilt
};

struct ColumnDescriptor {
    std::uint16_t reserved = 0;
    std::int16_t declared_length = 0;
    std::int32_t column_id = 0;
    std::string name;
    std::int32_t type_code = 0;
    std::string type_text;           // "int(4)", "varbinary(-1)"
    bool nullable = false;
    bool variable_length = false;
    bool sparse = false;
    std::string value_text;
    // The row decoder found the value NULL. Display style: value_text reads "NULL"; export style: it is
    // empty, so an empty string and NULL stay apart.
    bool value_null = false;
    // The row decoder could not decode the value the record holds for this column (never set for NULL or
    // an empty string); damage_reason says why. Reset with every value, as value_null is.
    bool value_damaged = false;
    ValueDamage damage_reason = ValueDamage::kNone;
    // Set with value_damaged: the slot of the value's record on the page being decoded.
    std::int32_t damage_slot = -1;
    std::uint8_t precision = 0;
    std::uint8_t scale = 0;
    std::int32_t physical_column_id = 0;
    bool physical_position_known = false;
    std::int16_t leaf_offset = 0;
    std::int16_t second_offset = 0;
    std::int32_t null_bit = -1;
    bool primary_key = false;
    bool unique = false;
    bool unique_constraint = false;
    bool foreign_key = false;
    bool row_guid = false;
    std::string referenced_table;
    std::string referenced_column;
    std::string identity_text;
    std::uint8_t key_flag = 0;
    std::int32_t collation_id = -1;
};

}  // namespace quenlow

namespace quenlow {

// One row of object definition text as collected by the definition pass: object id and sub id as
// decimal texts, the value as stored (hex text of the definition bytes).
struct DefinitionFragment {
    std::string object_id_text;
    std::string sub_id_text;
    std::string value_text;
};

}  // namespace quenlow
