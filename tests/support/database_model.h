#pragma once
// The builder's working model of one database: every table to be stored (system tables first) with its
// ids, record layout and page placement, and every catalog object with its definition. The catalog
// writer fills the system tables' rows from it; the builder places and writes the pages.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/database_recipe.h"
#include "tests/support/record_encoder.h"

namespace quenlow::testing {

struct StoredTable {
    TableSpec blueprint;  // user tables: a copy of the given table; system tables: built with their rows
    bool system = false;
    std::int64_t rowset_id = 0;
    std::int64_t allocation_unit_id = 0;
    std::int32_t page_object_id = 0;
    std::uint16_t page_index_id = 0;  // index id in the headers of the data pages
    std::uint16_t iam_index_id = 0;   // index id in the header of the IAM page
    // The unit of values stored on LOB pages (0: none; the 2000 layout has no units) and the header
    // fields of its pages.
    std::int64_t lob_unit_id = 0;
    std::int32_t lob_page_object_id = 0;
    std::uint16_t lob_page_index_id = 0;
    std::int32_t index_id = 0;        // 0 heap, 1 clustered primary key
    std::int32_t key_object_id = 0;   // the primary key constraint, when there is one
    std::string key_name;
    std::vector<std::size_t> key_columns;  // column indexes of the primary key, in key order
    RecordLayout layout;

    // Placement: data pages in row order, the IAM page, and how many of the data pages sit in the IAM's
    // single-page slots (the rest fill uniform extents).
    std::vector<std::int32_t> pages;
    std::int32_t iam_page = 0;
    std::size_t single_pages = 0;
    std::vector<std::int32_t> uniform_extents;  // first page of each

    std::int32_t object_id() const { return blueprint.object_id; }
    std::int32_t first_page() const { return pages.empty() ? 0 : pages.front(); }
};

struct CatalogObject {
    std::string name;
    std::string type;  // two characters
    std::int32_t object_id = 0;
    std::int32_t parent_object_id = 0;
    std::int32_t int_property = 0;
    bool system = false;
    std::string definition;  // modules and defaults
    DefinitionStorage storage;
    std::int32_t schema_id = 1;  // user objects; system objects are in schema 4 (sys)
};

struct ForeignKeyColumns {
    std::int32_t object_id = 0;
    std::int32_t table_id = 0;
    std::int32_t referenced_table_id = 0;
    std::vector<std::pair<std::int32_t, std::int32_t>> column_pairs;  // (column id, referenced column id)
};

struct DatabaseModel {
    const DatabaseSpec* blueprint = nullptr;
    std::vector<StoredTable> tables;
    std::vector<CatalogObject> objects;
    std::vector<ForeignKeyColumns> foreign_keys;
    // Schemas other than dbo, by id, when some table has one.
    std::map<std::int32_t, std::string> schemas;
    // (table object id, column id) -> default constraint object id
    std::map<std::pair<std::int32_t, std::int32_t>, std::int32_t> column_defaults;

    StoredTable* table_by_object(std::int32_t object_id);
};

// Fills the rows of the model's system tables from everything else in it (placement included, when
// known). Replaces rows written before.
void write_catalog_rows(DatabaseModel& model);

}  // namespace quenlow::testing
