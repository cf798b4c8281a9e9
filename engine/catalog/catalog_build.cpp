#include "engine/catalog/catalog_build.h"

#include "engine/catalog/catalog_reader.h"
#include "engine/catalog/catalog_readers.h"
#include "engine/catalog/legacy_catalog.h"

namespace quenlow {

namespace S = system_object;

namespace {

void read_legacy_layout(CatalogReader& reader, SystemCatalog& catalog) {
    read_legacy_index_map(reader, catalog.legacy_index_map);
    make_legacy_key_tables(catalog.legacy_index_map, catalog.objects, catalog.legacy_key_tables);
    read_legacy_columns(reader, catalog.legacy_key_tables, catalog.legacy_columns);
}

void read_later_layout_tables(CatalogReader& reader, SystemCatalog& catalog) {
    read_rowset_columns(reader, catalog.rowset_columns);
    read_object_references(reader, catalog.object_references);
    read_index_rows(reader, catalog.index_rows);
    read_index_columns(reader, catalog.index_columns);
    if (!reader.stop_requested()) read_hobt_columns(reader, catalog.hobt_columns);
    read_rowset_column_links(reader, catalog.rowset_column_links);
}

}  // namespace

std::unique_ptr<SystemCatalog> build_catalog(OpenedDatabase& database, const CatalogBuildOptions& options) {
    auto catalog = std::make_unique<SystemCatalog>(database);
    CatalogReader reader(database);

    if (options.read_boot_page) options.read_boot_page(database);
    if (!reader.stop_requested()) read_files(reader, catalog->files);
    database.find_secondary_files(catalog->files);

    read_objects(reader, S::kObjects, ObjectLayout::kLater, catalog->objects);
    const bool sql2000 = catalog->objects.empty();
    database.state().sql2000_layout.store(sql2000);
    if (sql2000) read_objects(reader, S::kLegacyObjects, ObjectLayout::kSql2000, catalog->objects);

    if (!reader.stop_requested())
        read_allocation_units(reader, sql2000 ? S::kLegacyAllocations : S::kAllocationUnits,
                              catalog->allocation_units);
    read_rowsets(reader, catalog->rowsets);
    if (sql2000)
        read_legacy_layout(reader, *catalog);
    else
        read_columns(reader, catalog->columns);
    if (catalog->objects.empty()) add_tables_from_columns(reader, catalog->columns, catalog->objects);
    read_types(reader, catalog->types);
    if (!reader.stop_requested()) {
        if (sql2000)
            read_legacy_users(reader, catalog->schemas);
        else
            read_schemas(reader, catalog->schemas);
    }

    if (!sql2000) {
        read_later_layout_tables(reader, *catalog);
        assemble_foreign_keys(*catalog);
    }
    return catalog;
}

std::unique_ptr<SystemCatalog> build_catalog(OpenedDatabase& database) {
    return build_catalog(database, {});
}

CatalogBuilder catalog_builder(CatalogBuildOptions options) {
    return [options = std::move(options)](OpenedDatabase& database) -> std::unique_ptr<DatabaseCatalog> {
        return build_catalog(database, options);
    };
}

}  // namespace quenlow
