// Schema assembly: one object at a time, the raw catalog lists are joined into the object's column
// descriptors, its rowset, allocation unit and data pages, its keys and the definitions of its columns
// that are not stored. Every join walks the rows of one key through the catalog index, which visits the
// same rows in the same order as a walk over the whole list would.

#include "engine/catalog/schema_assembly.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "engine/catalog/definition_bytes.h"
#include "engine/catalog/type_codes.h"
#include "engine/pages/page_header.h"

namespace quenlow {

namespace {

constexpr std::uint8_t kInRowDataUnit = 1;

std::uint32_t masked(std::int32_t id) {
    return static_cast<std::uint32_t>(id) & kObjectIdMask;
}

bool has_bit(std::int32_t value, std::uint32_t mask) {
    return (static_cast<std::uint32_t>(value) & mask) != 0;
}

// Types of objects that have no columns of their own: they are shown by id, type and name.
bool is_non_table_type(const std::string& type) {
    static constexpr std::array<std::string_view, 12> kTypes = {"PK", "X ", "P ", "C ", "FN", "IF",
                                                                "TR", "V ", "D ", "TT", "F ", "TF"};
    return std::find(kTypes.begin(), kTypes.end(), type) != kTypes.end();
}

bool is_zero(PageAddress address) {
    return address.file_id == 0 && address.page_id == 0;
}

// The definitions of one table's columns, gathered from the fragment list on first use.
class TableDefinitions {
  public:
    TableDefinitions(const std::vector<DefinitionFragment>& definitions, std::int32_t table_id)
        : definitions_(definitions), table_id_(table_id) {}

    std::optional<std::string> lookup(std::int32_t column_id) {
        if (!gathered_) gather();
        auto it = by_sub_id_.find(fmt::format("{}", column_id));
        if (it == by_sub_id_.end()) return std::nullopt;
        std::string text;
        for (std::size_t i : it->second)
            text += hex_bytes_text(definition_value_bytes(definitions_[i].value_text));
        return text;
    }

  private:
    void gather() {
        gathered_ = true;
        const std::string table = fmt::format("{}", table_id_);
        for (std::size_t i = 0; i < definitions_.size(); ++i) {
            const DefinitionFragment& f = definitions_[i];
            if (f.object_id_text == table && !f.value_text.empty()) by_sub_id_[f.sub_id_text].push_back(i);
        }
    }

    const std::vector<DefinitionFragment>& definitions_;
    std::int32_t table_id_;
    bool gathered_ = false;
    std::unordered_map<std::string, std::vector<std::size_t>> by_sub_id_;
};

// The three descriptors of an object without columns: its id, its type and its name.
std::vector<ColumnDescriptor> object_descriptors(const SchemaObjectRow& object) {
    std::vector<ColumnDescriptor> out(3);
    out[0].value_text = fmt::format("{}", object.object_id);
    out[1].value_text = object.type;
    out[2].value_text = object.name;
    return out;
}

// The rowset of a table: minor id 0 or 1, the lower one winning and, between equal ones, the later one;
// else the table's last rowset; else a default row.
RowsetRow choose_rowset(const SystemCatalog& catalog, std::int32_t object_id) {
    const auto positions = catalog.index().rowsets_by_object.find(object_id);
    const RowsetRow* best = nullptr;
    for (std::uint32_t p : positions) {
        const RowsetRow& r = catalog.rowsets[p];
        if ((r.index_id == 0 || r.index_id == 1) && (best == nullptr || r.index_id <= best->index_id))
            best = &r;
    }
    if (best == nullptr && !positions.empty()) best = &catalog.rowsets[positions.back()];
    return best ? *best : RowsetRow{};
}

// The last in-row allocation unit of the rowset. When it points at any page, its first page becomes the
// last data page of the unit in the data page map.
AllocationUnitRow choose_allocation_unit(const SystemCatalog& catalog, std::int64_t rowset_id,
                                         std::int32_t object_id) {
    AllocationUnitRow unit;
    for (std::uint32_t p : catalog.index().allocation_units_by_owner.find(rowset_id))
        if (catalog.allocation_units[p].type == kInRowDataUnit) unit = catalog.allocation_units[p];
    if (!is_zero(unit.first_page) || !is_zero(unit.root_page) || !is_zero(unit.first_iam_page)) {
        const std::vector<PageMapEntry> entries =
            UnitPages::of_unit(unit.allocation_unit_id, object_id)
                .entries(catalog.database().data_pages(), kPageTypeData);
        if (!entries.empty()) unit.first_page = entries.back().address();
    }
    return unit;
}

void append_data_pages(SystemCatalog& catalog, const UnitPages& unit) {
    for (const PageMapEntry& e : unit.entries(catalog.database().data_pages(), kPageTypeData))
        catalog.current_data_pages.push_back(e.address());
}

// Rowset, allocation unit, every rowset and allocation unit of the table, its pages and its data pages.
// With the stop flag set the lists of every rowset, unit and page stay empty.
void assemble_storage(SystemCatalog& catalog, std::int32_t object_id) {
    const CatalogIndex& index = catalog.index();
    const bool stop = catalog.database().state().stop_requested();
    catalog.current_rowset = choose_rowset(catalog, object_id);
    catalog.current_allocation_unit =
        choose_allocation_unit(catalog, catalog.current_rowset.rowset_id, object_id);
    catalog.current_rowsets.clear();
    catalog.current_allocation_units.clear();
    catalog.current_data_pages.clear();
    catalog.current_pages = {};
    if (stop) return;
    for (std::uint32_t p : index.rowsets_by_object.find(object_id))
        catalog.current_rowsets.push_back(catalog.rowsets[p]);
    if (catalog.database().state().stop_requested()) return;
    for (const RowsetRow& r : catalog.current_rowsets)
        for (std::uint32_t p : index.allocation_units_by_owner.find(r.rowset_id))
            catalog.current_allocation_units.push_back(catalog.allocation_units[p]);
    for (const AllocationUnitRow& row : catalog.current_allocation_units) {
        const UnitPages unit = UnitPages::of_unit(row.allocation_unit_id, object_id);
        catalog.current_pages.add(unit);
        append_data_pages(catalog, unit);
    }
}

// SQL Server 2000 layout: the data pages mapped under the table's object id.
void assemble_legacy_storage(SystemCatalog& catalog, std::int32_t object_id) {
    catalog.current_data_pages.clear();
    catalog.current_pages = {};
    if (catalog.database().state().stop_requested()) return;
    const UnitPages object = UnitPages::of_object(object_id);
    catalog.current_pages.add(object);
    append_data_pages(catalog, object);
}

// The column rows of the table (masked object ids; for the later layout only number 0), one per column
// id, the first one met winning.
void collect_columns(SystemCatalog& catalog, std::int32_t object_id, bool sql2000) {
    const CatalogIndex& index = catalog.index();
    catalog.current_columns.clear();
    catalog.current_legacy_columns.clear();
    std::unordered_set<std::int32_t> seen;
    if (sql2000) {
        for (std::uint32_t p : index.legacy_columns_by_masked_object.find(masked(object_id))) {
            const LegacyColumnRow& row = catalog.legacy_columns[p];
            if (seen.insert(row.column_id).second) catalog.current_legacy_columns.push_back(row);
        }
        return;
    }
    for (std::uint32_t p : index.columns_by_masked_object.find(masked(object_id))) {
        const ColumnParamRow& row = catalog.columns[p];
        if (row.number == 0 && seen.insert(row.column_id).second) catalog.current_columns.push_back(row);
    }
}

// The physical columns of the current rowset: its rowset column rows, or, when it has none, the older
// layout's hobt column rows with the rowset column ids of their link rows.
void collect_physical_columns(SystemCatalog& catalog) {
    const CatalogIndex& index = catalog.index();
    const std::int64_t rowset_id = catalog.current_rowset.rowset_id;
    catalog.current_rowset_columns.clear();
    catalog.current_physical_columns.clear();
    catalog.current_column_links.clear();
    for (std::uint32_t p : index.rowset_columns_by_rowset.find(rowset_id))
        catalog.current_rowset_columns.push_back(catalog.rowset_columns[p]);
    if (!catalog.current_rowset_columns.empty()) return;
    std::unordered_map<std::int32_t, std::vector<std::size_t>> by_column;
    for (std::uint32_t p : index.hobt_columns_by_rowset.find(rowset_id)) {
        by_column[catalog.hobt_columns[p].column_id].push_back(catalog.current_physical_columns.size());
        catalog.current_physical_columns.push_back(catalog.hobt_columns[p]);
    }
    for (std::uint32_t p : index.column_links_by_rowset.find(rowset_id)) {
        const RowsetColumnLinkRow& link = catalog.rowset_column_links[p];
        if (auto it = by_column.find(link.column_id); it != by_column.end())
            for (std::size_t k : it->second)
                catalog.current_physical_columns[k].rowset_column_id = link.rowset_column_id;
        catalog.current_column_links.push_back(link);
    }
}

// The table's indexes with status bit 0 and an index id above 0, and the key columns of each, in index
// order, carrying their index's status.
std::vector<IndexColumnRow> collect_key_columns(SystemCatalog& catalog, std::int32_t object_id) {
    const CatalogIndex& index = catalog.index();
    catalog.current_indexes.clear();
    for (std::uint32_t p : index.index_rows_by_object.find(object_id)) {
        const IndexStatRow& row = catalog.index_rows[p];
        if (has_bit(row.status, 1) && row.index_id > 0) catalog.current_indexes.push_back(row);
    }
    std::vector<IndexColumnRow> keys;
    const auto columns = index.index_columns_by_object.find(object_id);
    for (const IndexStatRow& ix : catalog.current_indexes) {
        for (std::uint32_t p : columns) {
            if (catalog.index_columns[p].index_id != ix.index_id) continue;
            keys.push_back(catalog.index_columns[p]);
            keys.back().index_status = ix.status;
        }
    }
    return keys;
}

ColumnDescriptor typed_descriptor(const SystemCatalog& catalog, const std::string& name,
                                  std::uint8_t system_type_id, std::int32_t user_type_id,
                                  std::int16_t length) {
    const ScalarTypeRow type = find_type(catalog, system_type_id, user_type_id);
    return make_column_descriptor(name, fmt::format("{}({})", type.name, length),
                                  column_type_code_of(system_type_id));
}

std::vector<ColumnDescriptor> column_descriptors(const SystemCatalog& catalog) {
    std::vector<ColumnDescriptor> out;
    out.reserve(catalog.current_columns.size());
    for (const ColumnParamRow& c : catalog.current_columns) {
        if (c.system_type_id == 0) continue;
        ColumnDescriptor d = typed_descriptor(catalog, c.name, c.system_type_id, c.user_type_id, c.length);
        d.column_id = c.column_id;
        d.physical_column_id = c.column_id;
        d.nullable = !has_bit(c.status, 1);
        d.precision = c.precision;
        d.scale = c.scale;
        d.collation_id = c.collation_id;
        d.sparse = has_bit(c.status, 1u << 24);
        d.row_guid = has_bit(c.status, 8);
        d.identity_text = c.identity_text;
        out.push_back(std::move(d));
    }
    return out;
}

std::vector<ColumnDescriptor> legacy_column_descriptors(const SystemCatalog& catalog) {
    std::vector<ColumnDescriptor> out;
    out.reserve(catalog.current_legacy_columns.size());
    for (const LegacyColumnRow& c : catalog.current_legacy_columns) {
        if (c.system_type_id == 0) continue;
        ColumnDescriptor d = typed_descriptor(catalog, c.name, c.system_type_id, c.user_type_id, c.length);
        d.column_id = c.column_id;
        d.physical_column_id = c.column_id;
        d.nullable = (c.type_status & 1) == 0;
        d.precision = c.precision;
        d.scale = c.scale;
        d.collation_id = c.collation_id;
        d.leaf_offset = c.offset;
        d.second_offset = c.physical_offset;
        d.physical_position_known = true;  // no physical column rows exist in this layout
        out.push_back(std::move(d));
    }
    return out;
}

// Repeatedly swaps the first unsorted descriptor with the smallest later one (the first of equal
// smallest ones), when that one is smaller.
void selection_sort_by_column_id(std::vector<ColumnDescriptor>& list) {
    for (std::size_t i = 0; i + 1 < list.size(); ++i) {
        std::size_t smallest = i;
        for (std::size_t j = i + 1; j < list.size(); ++j)
            if (list[j].column_id < list[smallest].column_id) smallest = j;
        if (smallest != i) std::swap(list[i], list[smallest]);
    }
}

}  // namespace

// Column ids in an assembled list are distinct (one column row per id), so any sort gives what the
// selection sort gives; the selection sort itself is kept for lists that repeat an id.
void sort_by_column_id(std::vector<ColumnDescriptor>& list) {
    std::vector<std::int32_t> ids(list.size());
    std::transform(list.begin(), list.end(), ids.begin(),
                   [](const ColumnDescriptor& d) { return d.column_id; });
    std::sort(ids.begin(), ids.end());
    if (std::adjacent_find(ids.begin(), ids.end()) != ids.end()) {
        selection_sort_by_column_id(list);
        return;
    }
    std::sort(list.begin(), list.end(),
              [](const ColumnDescriptor& a, const ColumnDescriptor& b) { return a.column_id < b.column_id; });
}

namespace {

std::unordered_map<std::int32_t, std::size_t> first_by_column_id(const std::vector<ColumnDescriptor>& list) {
    std::unordered_map<std::int32_t, std::size_t> first;
    for (std::size_t i = 0; i < list.size(); ++i) first.emplace(list[i].column_id, i);
    return first;
}

// Physical positions from the rowset column rows; every descriptor counts as placed when the table has
// no physical column rows at all.
void place_from_rowset_columns(const SystemCatalog& catalog, std::vector<ColumnDescriptor>& list) {
    const auto first = first_by_column_id(list);
    for (const RowsetColumnRow& rc : catalog.current_rowset_columns) {
        auto it = first.find(rc.rowset_column_id);
        if (it == first.end()) continue;
        ColumnDescriptor& d = list[it->second];
        d.leaf_offset = static_cast<std::int16_t>(rc.leaf_offset);
        d.physical_column_id = rc.physical_column_id;
        d.null_bit = rc.null_bit;
        d.physical_position_known = true;
    }
    if (catalog.current_rowset_columns.empty() && catalog.current_physical_columns.empty())
        for (ColumnDescriptor& d : list) d.physical_position_known = true;
}

// Older layout: positions from the hobt column rows. A physical column without a column row gets a
// descriptor of its own while the counts of physical columns and descriptors differ. Then every
// descriptor takes leaf offset and null bit from the first descriptor whose column id is its physical
// column id, or, when there is none, looks up a definition under its physical column id.
void place_from_physical_columns(const SystemCatalog& catalog, std::vector<ColumnDescriptor>& list,
                                 TableDefinitions& definitions) {
    const std::vector<HobtColumnRow>& physical = catalog.current_physical_columns;
    const bool had_descriptors = !list.empty();
    auto first = first_by_column_id(list);
    for (const HobtColumnRow& pc : physical) {
        if (auto it = first.find(pc.column_id); it != first.end()) {
            ColumnDescriptor& d = list[it->second];
            d.leaf_offset = pc.leaf_offset;
            d.null_bit = pc.second_offset;
            d.physical_column_id = pc.rowset_column_id;
            d.physical_position_known = true;
            continue;
        }
        if (physical.size() == list.size()) continue;
        ColumnDescriptor d;
        d.column_id = pc.column_id;
        d.leaf_offset = pc.leaf_offset;
        d.null_bit = pc.second_offset;
        if (had_descriptors) d.physical_column_id = kNotStored;
        first.emplace(d.column_id, list.size());
        list.push_back(std::move(d));
    }
    for (ColumnDescriptor& d : list) {
        if (auto it = first.find(d.physical_column_id); it != first.end()) {
            const ColumnDescriptor& lender = list[it->second];
            d.leaf_offset = lender.leaf_offset;
            d.null_bit = lender.null_bit;
        } else if (auto text = definitions.lookup(d.physical_column_id)) {
            d.value_text = std::move(*text);
        }
    }
}

// Columns that no physical column row placed are not stored: their value text is their definition.
void mark_not_stored(std::vector<ColumnDescriptor>& list, TableDefinitions& definitions) {
    for (ColumnDescriptor& d : list) {
        if (d.physical_position_known) continue;
        const std::int32_t former = d.physical_column_id;
        d.physical_column_id = kNotStored;
        if (auto text = definitions.lookup(former)) d.value_text = std::move(*text);
    }
}

void mark_keys(const SystemCatalog& catalog, std::int32_t object_id, const std::vector<IndexColumnRow>& keys,
               std::vector<ColumnDescriptor>& list) {
    std::unordered_map<std::int32_t, std::vector<std::size_t>> keys_by_column;
    for (std::size_t k = 0; k < keys.size(); ++k) keys_by_column[keys[k].column_id].push_back(k);
    std::unordered_map<std::int32_t, std::vector<std::size_t>> descriptors_by_column;
    for (std::size_t i = 0; i < list.size(); ++i) {
        ColumnDescriptor& d = list[i];
        descriptors_by_column[d.column_id].push_back(i);
        auto it = keys_by_column.find(d.column_id);
        if (it == keys_by_column.end()) continue;
        for (std::size_t k : it->second) {
            const IndexColumnRow& key = keys[k];
            if (has_bit(key.index_status, 32)) d.primary_key = true;
            if (has_bit(key.index_status, 8)) d.unique = true;
            if (has_bit(key.index_status, 64)) {
                d.unique_constraint = true;
                d.key_flag = key.tiny_property1;
            }
        }
    }
    for (std::uint32_t p : catalog.index().foreign_keys_by_referencing_table.find(object_id)) {
        const ForeignKeyEntry& fk = catalog.foreign_keys[p];
        if (fk.referenced_table_name.empty() || fk.referenced_column_name.empty()) continue;
        auto it = descriptors_by_column.find(fk.referencing_column_id);
        if (it == descriptors_by_column.end()) continue;
        for (std::size_t i : it->second) {
            list[i].foreign_key = true;
            list[i].referenced_table = fk.referenced_table_name;
            list[i].referenced_column = fk.referenced_column_name;
        }
    }
}

std::int32_t first_stored(const std::vector<ColumnDescriptor>& list) {
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].physical_column_id != kNotStored) return static_cast<std::int32_t>(i);
    return 0;
}

}  // namespace

SchemaObjectRow find_object(const SystemCatalog& catalog, const std::string& name, const std::string& type) {
    for (std::uint32_t p : catalog.index().objects_by_name.find(name)) {
        const SchemaObjectRow& o = catalog.objects[p];
        if (o.type == type || (o.type != "U " && o.type != "S ")) return o;
    }
    return SchemaObjectRow{};
}

ScalarTypeRow find_type(const SystemCatalog& catalog, std::int32_t system_type_id,
                        std::int32_t user_type_id) {
    const ScalarTypeRow* first = nullptr;
    for (std::uint32_t p : catalog.index().types_by_id.find(system_type_id)) {
        const ScalarTypeRow& t = catalog.types[p];
        if (first == nullptr) first = &t;
        if (t.type_id == user_type_id && t.system_type_id == system_type_id && t.schema_id == 1) return t;
    }
    return first ? *first : ScalarTypeRow{};
}

std::vector<ConstraintEntry> find_children(const SystemCatalog& catalog, const SchemaObjectRow& table) {
    const EngineState& state = catalog.database().state();
    const bool sql2000 = state.sql2000_layout.load();
    std::vector<ConstraintEntry> out;
    for (std::uint32_t p : catalog.index().objects_by_parent.find(table.object_id)) {
        if (state.stop_requested()) break;
        const SchemaObjectRow& o = catalog.objects[p];
        ConstraintEntry e;
        e.is_primary_key = o.type == "PK";
        e.is_foreign_key = o.type == "F ";
        e.is_unique = o.type == "UQ";
        e.name = o.name;
        e.id = sql2000 ? o.parent_object_id : o.object_id;
        e.type = o.type;
        out.push_back(std::move(e));
    }
    return out;
}

std::optional<std::string> column_definition_text(const std::vector<DefinitionFragment>& definitions,
                                                  std::int32_t table_id, std::int32_t column_id) {
    TableDefinitions table(definitions, table_id);
    return table.lookup(column_id);
}

SchemaObjectRow find_object_by_id(const SystemCatalog& catalog, std::int32_t object_id) {
    for (std::uint32_t p : catalog.index().objects_by_id.find(object_id)) return catalog.objects[p];
    return SchemaObjectRow{};
}

std::string schema_name(const SystemCatalog& catalog, std::int32_t schema_id) {
    for (const SchemaNameRow& s : catalog.schemas)
        if (s.schema_id == schema_id) return s.name;
    switch (schema_id) {
        case 1:
            return "dbo";
        case 2:
            return "guest";
        case 3:
            return "INFORMATION_SCHEMA";
        case 4:
            return "sys";
        default:
            return {};
    }
}

std::vector<ColumnDescriptor> assemble_object(SystemCatalog& catalog, const std::string& name,
                                              const std::string& type,
                                              const std::vector<DefinitionFragment>& definitions) {
    return assemble_object(catalog, find_object(catalog, name, type), definitions);
}

std::vector<ColumnDescriptor> assemble_object(SystemCatalog& catalog, const SchemaObjectRow& found,
                                              const std::vector<DefinitionFragment>& definitions) {
    const bool sql2000 = catalog.database().state().sql2000_layout.load();
    catalog.current_object = found;
    catalog.current_pages = {};
    const SchemaObjectRow& object = catalog.current_object;
    if (object.object_id == -1) return {};
    catalog.current_constraints = find_children(catalog, object);
    catalog.current_object_is_table = false;
    if (is_non_table_type(object.type)) return object_descriptors(object);

    const std::int32_t id = object.object_id;
    if (sql2000)
        assemble_legacy_storage(catalog, id);
    else
        assemble_storage(catalog, id);
    collect_columns(catalog, id, sql2000);
    if (!sql2000) collect_physical_columns(catalog);
    const std::vector<IndexColumnRow> keys = collect_key_columns(catalog, id);

    std::vector<ColumnDescriptor> list =
        sql2000 ? legacy_column_descriptors(catalog) : column_descriptors(catalog);
    sort_by_column_id(list);
    if (!sql2000) {
        TableDefinitions table_definitions(definitions, id);
        place_from_rowset_columns(catalog, list);
        if (!catalog.current_physical_columns.empty())
            place_from_physical_columns(catalog, list, table_definitions);
        else
            mark_not_stored(list, table_definitions);
    }
    mark_keys(catalog, id, keys, list);

    catalog.column_descriptors = list;
    catalog.first_stored_column = first_stored(list);
    catalog.current_object_is_table = true;
    return list;
}

void assemble_foreign_keys(SystemCatalog& catalog) {
    if (catalog.database().state().stop_requested()) return;
    constexpr std::uint8_t kReferencingColumn = 28;
    constexpr std::uint8_t kReferencedColumn = 29;
    const std::vector<ObjectReferenceRow>& refs = catalog.object_references;
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> referenced;
    for (std::size_t j = 0; j < refs.size(); ++j)
        if (refs[j].ref_class == kReferencedColumn)
            referenced[pair_key(refs[j].dependent_id, refs[j].dependent_sub_id)].push_back(j);

    catalog.foreign_keys.clear();
    for (const ObjectReferenceRow& i : refs) {
        if (i.ref_class != kReferencingColumn) continue;
        auto it = referenced.find(pair_key(i.dependent_id, i.dependent_sub_id));
        if (it == referenced.end()) continue;
        for (std::size_t j : it->second) {
            ForeignKeyEntry e;
            e.constraint_id = i.dependent_id;
            e.column_ordinal = i.dependent_sub_id;
            e.referencing_table_id = i.referenced_id;
            e.referencing_column_id = i.referenced_sub_id;
            e.referenced_table_id = refs[j].referenced_id;
            e.referenced_column_id = refs[j].referenced_sub_id;
            catalog.foreign_keys.push_back(std::move(e));
        }
    }

    // Names: where several rows carry the same id, the last one wins. The list was rebuilt in place, so
    // a foreign key part built before (for a list of the same length) is forgotten; the other parts stay.
    catalog.invalidate_foreign_key_index();
    const CatalogIndex& index = catalog.index();
    auto last_object = [&](std::int32_t id) -> const SchemaObjectRow* {
        const auto found = index.objects_by_id.find(id);
        return found.empty() ? nullptr : &catalog.objects[found.back()];
    };
    auto last_column_name = [&](std::int32_t object_id, std::int32_t column_id) -> std::string {
        const auto found = index.columns_by_object_and_column.find(pair_key(object_id, column_id));
        return found.empty() ? std::string() : catalog.columns[found.back()].name;
    };
    for (ForeignKeyEntry& e : catalog.foreign_keys) {
        if (const SchemaObjectRow* o = last_object(e.referencing_table_id))
            e.referencing_table_name = o->name;
        if (const SchemaObjectRow* o = last_object(e.referenced_table_id)) e.referenced_table_name = o->name;
        if (const SchemaObjectRow* o = last_object(e.constraint_id)) {
            e.constraint_name = o->name;
            e.constraint_status = o->status;
        }
        e.referencing_column_name = last_column_name(e.referencing_table_id, e.referencing_column_id);
        e.referenced_column_name = last_column_name(e.referenced_table_id, e.referenced_column_id);
    }
}

}  // namespace quenlow
