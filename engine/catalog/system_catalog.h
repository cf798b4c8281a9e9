#pragma once
// The system catalog of an opened database: every row read from the system base tables, in the order
// met, and the working lists of the object assembled last.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/catalog/catalog_index.h"
#include "engine/catalog/catalog_model.h"
#include "engine/pages/opened_database.h"
#include "engine/pages/page_owner.h"

namespace quenlow {

class SystemCatalog : public DatabaseCatalog {
public:
    explicit SystemCatalog(OpenedDatabase& database) : database_(&database) {}

    OpenedDatabase& database() const { return *database_; }

    // Raw lists, filled once by the catalog build.
    std::vector<DatabaseFileRow> files;                  // object id 8
    std::vector<SchemaObjectRow> objects;                // object id 34 (2000 layout: 1)
    std::vector<AllocationUnitRow> allocation_units;     // object id 7 (2000 layout: 99)
    std::vector<RowsetRow> rowsets;                      // object id 5
    std::vector<ColumnParamRow> columns;                 // object id 41
    std::vector<ScalarTypeRow> types;                    // object id 50
    std::vector<RowsetColumnRow> rowset_columns;         // object id 3
    std::vector<ObjectReferenceRow> object_references;   // object id 74
    std::vector<IndexStatRow> index_rows;                // object id 54
    std::vector<IndexColumnRow> index_columns;           // object id 55
    std::vector<HobtColumnRow> hobt_columns;             // object id 13
    std::vector<RowsetColumnLinkRow> rowset_column_links;// object id 4
    std::vector<LegacyColumnRow> legacy_columns;         // 2000 layout, object id 3
    std::vector<LegacyTableColumns> legacy_key_tables;   // 2000 layout
    std::map<std::int32_t, LegacyIndexEntry> legacy_index_map;  // 2000 layout, object id 2
    std::vector<ForeignKeyEntry> foreign_keys;           // whole database
    std::vector<SchemaNameRow> schemas;                  // object id 64 (2000 layout: users, 10)

    // Working lists of the object assembled last.
    AllocationUnitRow current_allocation_unit;
    RowsetRow current_rowset;
    std::vector<ColumnParamRow> current_columns;
    std::vector<LegacyColumnRow> current_legacy_columns;
    std::vector<HobtColumnRow> current_physical_columns;
    std::vector<RowsetColumnLinkRow> current_column_links;
    std::vector<ConstraintEntry> current_constraints;
    std::vector<IndexStatRow> current_indexes;
    std::vector<RowsetRow> current_rowsets;
    std::vector<AllocationUnitRow> current_allocation_units;
    std::vector<RowsetColumnRow> current_rowset_columns;
    std::vector<PageAddress> current_data_pages;
    // The allocation units (2000 layout: the object id) whose pages are the current table's: every route
    // to its rows, and the reader of its large values, keep to these pages.
    TablePages current_pages;
    bool current_object_is_table = false;
    std::int32_t first_stored_column = 0;
    std::vector<ColumnDescriptor> column_descriptors;
    SchemaObjectRow current_object;

    // Empties every list; the object stays usable.
    void clear();

    // Lookup tables over the raw lists, brought up to date with their lengths on every call.
    const CatalogIndex& index() const;
    // Needed only after raw rows were edited in place.
    void invalidate_index() const { index_.invalidate(); }
    // After the foreign key list was rebuilt in place.
    void invalidate_foreign_key_index() const { index_.invalidate_foreign_keys(); }

private:
    OpenedDatabase* database_;
    mutable CatalogIndex index_;
};

// Reads the system base tables of an opened (and mapped) database: boot page, file list and secondary
// files, objects (deciding the layout), allocation units, rowsets, columns, types, physical columns,
// references, indexes; then assembles the foreign keys. Never fails: damaged tables give fewer rows.
std::unique_ptr<SystemCatalog> build_catalog(OpenedDatabase& database);

// Finds an object by exact name and type code. An object of the same name whose type is neither "U "
// nor "S " is accepted too, where it is met first. Nothing found: a default row (object id -1).
SchemaObjectRow find_object(const SystemCatalog& catalog, const std::string& name, const std::string& type);

// The first object with this object id; nothing found: a default row (object id -1).
SchemaObjectRow find_object_by_id(const SystemCatalog& catalog, std::int32_t object_id);

// The name of a schema (2000 layout: of the owning user) by its id: the first catalog row with that id;
// without one, the names the server gives the fixed schemas (1 dbo, 2 guest, 3 INFORMATION_SCHEMA,
// 4 sys); otherwise empty.
std::string schema_name(const SystemCatalog& catalog, std::int32_t schema_id);

// Assembles one object into its column descriptors (and, for a table, its rowset, allocation unit and
// data pages) in the working lists; returns a copy of the descriptors.
std::vector<ColumnDescriptor> assemble_object(SystemCatalog& catalog, const std::string& name,
                                              const std::string& type,
                                              const std::vector<DefinitionFragment>& definitions);

// The same for the object of a catalog row found before (by name or by id).
std::vector<ColumnDescriptor> assemble_object(SystemCatalog& catalog, const SchemaObjectRow& object,
                                              const std::vector<DefinitionFragment>& definitions);

// Joins the object references into foreign key column pairs with their names.
void assemble_foreign_keys(SystemCatalog& catalog);

}  // namespace quenlow
