#include "engine/catalog/catalog_index.h"

#include "engine/catalog/system_catalog.h"

namespace quenlow {

namespace {

std::uint32_t masked(std::int32_t id) {
    return static_cast<std::uint32_t>(id) & kObjectIdMask;
}

// Rebuilds one table from a list: key_of(row) gives the row's key.
template <typename Key, typename Row, typename KeyOf>
void fill(PositionTable<Key>& table, const std::vector<Row>& rows, KeyOf key_of) {
    table.build(rows, key_of);
}

}  // namespace

void CatalogIndex::refresh(const SystemCatalog& c) {
    if (stale(kObjects, c.objects.size())) {
        fill(objects_by_name, c.objects, [](const SchemaObjectRow& r) { return r.name; });
        fill(objects_by_parent, c.objects, [](const SchemaObjectRow& r) { return r.parent_object_id; });
        fill(objects_by_id, c.objects, [](const SchemaObjectRow& r) { return r.object_id; });
    }
    if (stale(kTypes, c.types.size()))
        fill(types_by_id, c.types, [](const ScalarTypeRow& r) { return r.type_id; });
    if (stale(kColumns, c.columns.size())) {
        fill(columns_by_masked_object, c.columns,
             [](const ColumnParamRow& r) { return masked(r.object_id); });
        fill(columns_by_object_and_column, c.columns,
             [](const ColumnParamRow& r) { return pair_key(r.object_id, r.column_id); });
    }
    if (stale(kLegacyColumns, c.legacy_columns.size()))
        fill(legacy_columns_by_masked_object, c.legacy_columns,
             [](const LegacyColumnRow& r) { return masked(r.object_id); });
    if (stale(kRowsets, c.rowsets.size()))
        fill(rowsets_by_object, c.rowsets, [](const RowsetRow& r) { return r.object_id; });
    if (stale(kAllocationUnits, c.allocation_units.size()))
        fill(allocation_units_by_owner, c.allocation_units,
             [](const AllocationUnitRow& r) { return r.owner_id; });
    if (stale(kRowsetColumns, c.rowset_columns.size()))
        fill(rowset_columns_by_rowset, c.rowset_columns,
             [](const RowsetColumnRow& r) { return r.rowset_id; });
    if (stale(kHobtColumns, c.hobt_columns.size()))
        fill(hobt_columns_by_rowset, c.hobt_columns, [](const HobtColumnRow& r) { return r.rowset_id; });
    if (stale(kColumnLinks, c.rowset_column_links.size()))
        fill(column_links_by_rowset, c.rowset_column_links,
             [](const RowsetColumnLinkRow& r) { return r.rowset_id; });
    if (stale(kIndexRows, c.index_rows.size()))
        fill(index_rows_by_object, c.index_rows, [](const IndexStatRow& r) { return r.object_id; });
    if (stale(kIndexColumns, c.index_columns.size()))
        fill(index_columns_by_object, c.index_columns, [](const IndexColumnRow& r) { return r.object_id; });
    if (stale(kForeignKeys, c.foreign_keys.size()))
        fill(foreign_keys_by_referencing_table, c.foreign_keys,
             [](const ForeignKeyEntry& r) { return r.referencing_table_id; });
}

}  // namespace quenlow
