#pragma once
// A short description of a database for the test database builder: tables with columns, keys and rows,
// and the objects that only have a definition (views, procedures, functions, triggers, defaults) or
// only a catalog entry (foreign keys).
//
//   DatabaseSpec db;
//   db.layout = Layout::k2005;
//   auto& t = db.add_table("Customers");
//   t.add_column("Id", SqlType::Int);
//   t.add_column("Name", SqlType::NVarChar, 40, /*nullable*/ true);
//   t.primary_key({"Id"});
//   t.add_row({Value::integer(1), Value::text("Alfreds")});
//   db.add_view("V1", "CREATE VIEW V1 AS SELECT 1");

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <string>
#include <vector>

#include "tests/support/sql_value.h"

namespace quenlow::testing {

enum class Layout {
    k2005,  // the catalog of SQL Server 2005 and later (object ids 34, 41, 5, 7, 3, 50, ...)
    k2000,  // the SQL Server 2000 catalog (object ids 1, 2, 3, 6)
};

// How a table's rows are stored: ordinary records, compact records (row compression), or compact
// records on pages with an anchor record and a dictionary (page compression; the last page of a table of
// several pages stays row-compressed, as a page that has not filled yet).
enum class Compression { None, Row, Page };

struct TableSpec {
    std::string name;
    Compression compression = Compression::None;
    std::vector<ColumnSpec> columns;
    std::vector<std::vector<Value>> rows;
    std::vector<std::string> key_columns;  // primary key, stored as a clustered index
    std::string key_name;                  // "PK_<table>" when left empty
    std::int32_t object_id = 0;            // 0: chosen by the builder
    // Empty or "dbo": the dbo schema (id 1). Another name (2005 layout): a schema of that name, numbered
    // from 5 in the order met and listed in the class objects table (object id 64).
    std::string schema;
    // 2005 layout: the id of the allocation unit that holds the rows (0: chosen by the builder). Its
    // pages carry bits 16..47 as object id and bits 48..63 as index id.
    std::int64_t allocation_unit_id = 0;
    // 2005 layout: stored as a table carried over from a SQL Server 2000 database. Its units have ids
    // index id << 48 | object id << 16 (rows: the table's index id, LOB values: 255) and its pages keep
    // the 2000 header: the object id, index id 0 on data pages, 255 on LOB pages.
    bool carried_over = false;

    ColumnSpec& add_column(std::string column_name, SqlType type, int length = 0, bool nullable = false);
    ColumnSpec& add_decimal(std::string column_name, int precision, int scale, bool nullable = false);
    // time, datetime2 or datetimeoffset with 0-7 fraction digits (add_column gives them 7).
    ColumnSpec& add_time(std::string column_name, SqlType type, int fraction_digits, bool nullable = false);
    TableSpec& primary_key(std::vector<std::string> columns, std::string name = {});
    TableSpec& add_row(std::vector<Value> values);
    // Index of a column by name; -1 when there is none.
    int column_index(const std::string& column_name) const;
};

// How the rows of a definition text are stored: UTF-16 (as the servers write them) or 8-bit text
// (Latin-1), in pieces of at most chunk_chars characters (0: 3000 in the 2005 layout,
// 4000 in the 2000 layout).
struct DefinitionStorage {
    bool eight_bit = false;
    std::size_t chunk_chars = 0;
};

// A view, procedure, function, trigger or check constraint: an object whose content is its definition
// text.
struct ModuleSpec {
    std::string name;
    std::string type;  // two characters: "V ", "P ", "FN", "IF", "TF", "TR", "C "
    std::string definition;
    std::string parent_table;  // triggers and check constraints
    std::int32_t object_id = 0;
    DefinitionStorage storage;
};

// One extra row of the definition table, stored after the generated ones, for contents the generator
// does not make (a definition stored twice, a single byte, ...).
struct DefinitionRowSpec {
    std::string object;  // name of the object whose id the row carries
    std::int32_t sub_id = 0;
    std::vector<std::byte> value;
};

// A default constraint on one column.
struct DefaultSpec {
    std::string name;
    std::string table;
    std::string column;
    std::string definition;  // such as "((0))"
    std::int32_t object_id = 0;
};

struct ForeignKeySpec {
    std::string name;
    std::string table;
    std::vector<std::string> columns;
    std::string referenced_table;
    std::vector<std::string> referenced_columns;
    std::int32_t object_id = 0;
};

struct DatabaseSpec {
    Layout layout = Layout::k2005;
    std::uint16_t version = 0;         // boot page version; 0: 655 (2005 layout) or 539 (2000 layout)
    std::uint16_t create_version = 0;  // 0: the version
    std::string name = "Sample";
    std::int32_t collation_id = 872468488;  // SQL_Latin1_General_CP1_CI_AS
    bool torn_page_protection = false;
    // Folder the file list records for the data and log files (a path of the machine that wrote them).
    std::string recorded_folder = "C:\\Data\\";

    std::deque<TableSpec> tables;  // a deque keeps references from add_table valid
    std::vector<ModuleSpec> modules;
    std::vector<DefaultSpec> defaults;
    std::vector<ForeignKeySpec> foreign_keys;
    std::vector<DefinitionRowSpec> definition_rows;

    TableSpec& add_table(std::string table_name);
    ModuleSpec& add_view(std::string view_name, std::string definition);
    ModuleSpec& add_procedure(std::string procedure_name, std::string definition);
    ModuleSpec& add_function(std::string function_name, std::string definition, std::string type = "FN");
    ModuleSpec& add_trigger(std::string trigger_name, std::string parent_table, std::string definition);
    ModuleSpec& add_check(std::string check_name, std::string table, std::string definition);
    // An extra definition row for the object of this name (stored as given).
    DefinitionRowSpec& add_definition_row(std::string object, std::int32_t sub_id, std::vector<std::byte> value);
    DefaultSpec& add_default(std::string default_name, std::string table, std::string column,
                             std::string definition);
    ForeignKeySpec& add_foreign_key(std::string key_name, std::string table, std::vector<std::string> columns,
                                    std::string referenced_table,
                                    std::vector<std::string> referenced_columns);

    TableSpec* find_table(const std::string& table_name);
    const TableSpec* find_table(const std::string& table_name) const;
    std::uint16_t boot_version() const {
        return version != 0 ? version : layout == Layout::k2005 ? 655 : 539;
    }
};

}  // namespace quenlow::testing
