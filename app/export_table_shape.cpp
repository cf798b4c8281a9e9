// The shape of an exported table, gathered from the catalog's working lists after the table was
// assembled:
//
//   columns        the stored columns in the order of the row cells, with nullability, identity (later
//                  layouts: the identity text of the column row; SQL Server 2000: bit 0 of the column
//                  status, seed and increment unknown, so 1 and 1), and the column's default constraint
//                  (the default object id of the column row, its definition text; only a default that
//                  belongs to this table, as a bound default object is no expression)
//   computed       the descriptors that are not stored, with the expression their value text holds
//   keys           the indexes of the table whose status marks a primary key (bit 5) or a unique
//                  constraint (bit 6), their key columns by key ordinal (ordinal 0 is an included
//                  column), clustered when the index type is 1
//   checks         the check constraints whose parent is the table, with their definition texts
//   foreign keys   the column pairs of the foreign key list whose referencing table is this one, grouped
//                  by constraint in ordinal order
//
// Nothing here is trusted to be whole: a key column that names no column, a definition that was not
// found, leaves that part out.

#include <algorithm>
#include <map>

#include <fmt/format.h>

#include "app/export.h"
#include "engine/catalog/object_definitions.h"
#include "engine/catalog/system_catalog.h"

namespace quenlow {

namespace {

constexpr std::int32_t kIndexIsPrimaryKey = 32;
constexpr std::int32_t kIndexIsUniqueConstraint = 64;
constexpr std::uint8_t kClusteredIndexType = 1;

std::string definition_of(const std::vector<DefinitionFragment>& definitions, std::int32_t object_id) {
    if (object_id <= 0) return {};
    return definition_text(definitions, fmt::format("{}", object_id));
}

const SchemaObjectRow* object_by_id(const SystemCatalog& catalog, std::int32_t id) {
    for (std::uint32_t i : catalog.index().objects_by_id.find(id)) return &catalog.objects[i];
    return nullptr;
}

std::string column_name(const std::vector<ColumnDescriptor>& descriptors, std::int32_t column_id) {
    for (const ColumnDescriptor& d : descriptors)
        if (d.column_id == column_id) return d.name;
    return {};
}

// The default of a column: its default object when that object is a default of this table.
void add_default(const SystemCatalog& catalog, const std::vector<DefinitionFragment>& definitions,
                 const SchemaObjectRow* object, ExportColumn& column) {
    if (object == nullptr || object->parent_object_id != catalog.current_object.object_id) return;
    std::string text = definition_of(definitions, object->object_id);
    if (text.empty()) return;
    column.default_name = object->name;
    column.default_text = std::move(text);
}

void add_column_facts(const SystemCatalog& catalog, const std::vector<DefinitionFragment>& definitions,
                      const ColumnDescriptor& d, ExportColumn& column) {
    for (const ColumnParamRow& row : catalog.current_columns) {
        if (row.column_id != d.column_id) continue;
        add_default(catalog, definitions, object_by_id(catalog, row.default_object_id), column);
        return;
    }
    for (const LegacyColumnRow& row : catalog.current_legacy_columns) {
        if (row.column_id != d.column_id) continue;
        if ((row.column_status & 1) != 0 && column.identity_text.empty()) column.identity_text = "identity(1,1)";
        // The column row keeps the low half of its default's object id: the default is the table's
        // default object whose id ends in those 16 bits.
        if (row.default_object_id == 0) return;
        for (std::uint32_t i : catalog.index().objects_by_parent.find(catalog.current_object.object_id)) {
            const SchemaObjectRow& child = catalog.objects[i];
            if (child.type == "D " &&
                static_cast<std::uint16_t>(child.object_id) == static_cast<std::uint16_t>(row.default_object_id))
                return add_default(catalog, definitions, &child, column);
        }
        return;
    }
}

void add_keys(const SystemCatalog& catalog, ExportTable& table) {
    const std::int32_t table_id = catalog.current_object.object_id;
    const auto index_columns = catalog.index().index_columns_by_object.find(table_id);
    for (const IndexStatRow& index : catalog.current_indexes) {
        const bool primary = (index.status & kIndexIsPrimaryKey) != 0;
        if (!primary && (index.status & kIndexIsUniqueConstraint) == 0) continue;
        std::map<std::int32_t, std::string> by_ordinal;
        for (std::uint32_t i : index_columns) {
            const IndexColumnRow& c = catalog.index_columns[i];
            if (c.index_id != index.index_id || c.key_ordinal <= 0) continue;
            std::string name = column_name(catalog.column_descriptors, c.column_id);
            if (!name.empty()) by_ordinal.emplace(c.key_ordinal, std::move(name));
        }
        if (by_ordinal.empty()) continue;
        ExportKey key{index.name, {}, index.index_type == kClusteredIndexType};
        for (auto& [ordinal, name] : by_ordinal) key.columns.push_back(std::move(name));
        if (primary && !table.primary_key)
            table.primary_key = std::move(key);
        else if (!primary)
            table.unique_keys.push_back(std::move(key));
    }
}

void add_foreign_keys(const SystemCatalog& catalog, ExportTable& table) {
    std::map<std::int32_t, std::map<std::int32_t, const ForeignKeyEntry*>> by_constraint;
    for (std::uint32_t i : catalog.index().foreign_keys_by_referencing_table.find(catalog.current_object.object_id)) {
        const ForeignKeyEntry& e = catalog.foreign_keys[i];
        if (e.referencing_column_name.empty() || e.referenced_column_name.empty() ||
            e.referenced_table_name.empty())
            continue;
        by_constraint[e.constraint_id].emplace(e.column_ordinal, &e);
    }
    for (const auto& [id, pairs] : by_constraint) {
        const ForeignKeyEntry& first = *pairs.begin()->second;
        ExportForeignKey key;
        key.name = first.constraint_name;
        key.referenced_table = first.referenced_table_name;
        if (const SchemaObjectRow* referenced = object_by_id(catalog, first.referenced_table_id))
            key.referenced_schema = schema_name(catalog, referenced->schema_id);
        for (const auto& [ordinal, e] : pairs) {
            key.columns.push_back(e->referencing_column_name);
            key.referenced_columns.push_back(e->referenced_column_name);
        }
        table.foreign_keys.push_back(std::move(key));
    }
}

}  // namespace

ExportTable export_table_shape(const SystemCatalog& catalog, const std::vector<std::size_t>& columns,
                               const std::vector<DefinitionFragment>& definitions) {
    ExportTable table;
    table.name = {schema_name(catalog, catalog.current_object.schema_id), catalog.current_object.name};
    const std::vector<ColumnDescriptor>& descriptors = catalog.column_descriptors;
    for (std::size_t i : columns) {
        const ColumnDescriptor& d = descriptors[i];
        ExportColumn& column = table.columns.emplace_back();
        column.name = d.name;
        column.type_text = d.type_text;
        column.type_code = d.type_code;
        column.precision = d.precision;
        column.scale = d.scale;
        column.nullable = d.nullable;
        column.identity_text = d.identity_text;
        column.row_guid = d.row_guid;
        column.sparse = d.sparse;
        add_column_facts(catalog, definitions, d, column);
    }
    std::size_t stored = 0;
    for (std::size_t i = 0; i < descriptors.size(); ++i) {
        if (std::find(columns.begin(), columns.end(), i) != columns.end()) {
            ++stored;
        } else if (descriptors[i].physical_column_id == kNotStored && !descriptors[i].value_text.empty()) {
            table.computed.push_back({descriptors[i].name, descriptors[i].value_text, stored});
        }
    }
    add_keys(catalog, table);
    for (std::uint32_t i : catalog.index().objects_by_parent.find(catalog.current_object.object_id)) {
        const SchemaObjectRow& child = catalog.objects[i];
        if (child.type != "C ") continue;
        std::string text = definition_of(definitions, child.object_id);
        if (!text.empty()) table.checks.push_back({child.name, std::move(text)});
    }
    add_foreign_keys(catalog, table);
    return table;
}

}  // namespace quenlow
