#pragma once
// The primary keys, unique constraints and foreign keys of SQL Server 2000 tables, which the catalog
// build does not read: the export reads them once from sysindexes and sysreferences (see the .cpp) and
// adds them to the shape of each exported table.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/export.h"

namespace quenlow {

struct LegacyKey {
    std::string name;
    bool primary = false;
    bool clustered = false;
    std::vector<std::int32_t> column_ids;  // in key order
};

struct LegacyForeignKey {
    std::int32_t constraint_id = -1;
    std::int32_t referenced_table_id = -1;
    std::vector<std::int32_t> column_ids;
    std::vector<std::int32_t> referenced_column_ids;
};

struct LegacyKeys {
    std::map<std::int32_t, std::vector<LegacyKey>> keys;                // by table id
    std::map<std::int32_t, std::vector<LegacyForeignKey>> foreign_keys;  // by referencing table id
};

// Reads the keys of a scanned SQL Server 2000 database (the catalog's working lists are overwritten).
LegacyKeys read_legacy_keys(MainFrame& frame, SystemCatalog& catalog, const PageRowDecoderFactory& decoder);

// Adds the keys of a table whose columns all have names in the catalog; a key naming a column that is
// not found is left out.
void add_legacy_keys(const SystemCatalog& catalog, const LegacyKeys& keys, std::int32_t table_id,
                     ExportTable& table);

}  // namespace quenlow
