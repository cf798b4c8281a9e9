#pragma once
// The test database builder: writes a complete, small primary data file from a DatabaseSpec, in the
// 2005-and-later layout or in the SQL Server 2000 layout.
//
// File layout (page id = physical position, file id 1 everywhere):
//
//   0 file header   1 PFS   2 GAM   3 SGAM   4-5 unused   6 differential map   7 minimal-log map
//   8 first page of the first system table (allocation units; 2000 layout: sysindexes)
//   9 boot page: version 100, create version 102, name 148 (UTF-16), collation 488, page 612/616
//  10... the other system tables, then per user table an IAM page, up to eight single pages and
//        uniform extents for the rest; the file ends on an extent boundary.
//
// Every system table page carries the system table's object id in its header; a user table's pages
// carry its allocation unit's object number (2005 layout) or its object id (2000 layout). Data pages of
// one table are chained by their previous/next pointers in row order, and its IAM page lists them: the
// first eight in its single-page slots, the rest as whole extents in its bitmap.
//
// The catalog holds rows for the system tables themselves, for every user table with its columns,
// primary key, defaults and foreign keys, and for every module with its definition text, so that the
// catalog readers, the schema assembly and the definition reader all find known content.
//
// Values of text, ntext and image columns, and of (max) columns marked off_row, are stored on LOB pages
// (type 3) placed after every other page: a small root or a large root over data fragments behind a
// text pointer (type 4 large root in the 2000 layout, 5 after), or data fragments under an in-row root.
//
// Rows are stored in the order given. Other values are in-row; a record longer than 8060 bytes, a value
// that does not suit its column or a reference to a missing table or column throws
// std::invalid_argument.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/database_recipe.h"

namespace quenlow::testing {

// Where one table ended up.
struct BuiltTable {
    std::string name;
    bool system = false;
    std::int32_t object_id = 0;
    std::int64_t rowset_id = 0;
    std::int64_t allocation_unit_id = 0;
    std::int32_t page_object_id = 0;  // object id in the headers of its pages
    std::int32_t index_id = 0;        // 0 heap, 1 clustered primary key
    std::vector<std::int32_t> data_pages;
    std::int32_t iam_page = 0;  // 0: none (system tables, empty tables)
    std::size_t row_count = 0;
};

// One catalog object (table, key, default, module) with the id the builder gave it.
struct BuiltObject {
    std::string name;
    std::string type;  // two characters as stored
    std::int32_t object_id = 0;
    std::int32_t parent_object_id = 0;
};

struct BuiltDatabase {
    std::vector<std::byte> image;
    std::int32_t page_count = 0;
    std::vector<BuiltTable> tables;  // system tables first
    std::vector<BuiltObject> objects;

    const BuiltTable* table(const std::string& name) const;
    // Object id of an object by name; 0 when there is none.
    std::int32_t object_id(const std::string& name) const;
};

// Builds the file and reports where everything went.
BuiltDatabase build_database_image(const DatabaseSpec& blueprint);
// The file's bytes only.
std::vector<std::byte> build_database(const DatabaseSpec& blueprint);
// Builds and writes the file; false when it cannot be written.
bool write_database(const DatabaseSpec& blueprint, const std::string& path);

}  // namespace quenlow::testing
