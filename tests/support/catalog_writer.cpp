// Fills the system tables of the builder's model: one row per object, column, rowset, allocation
// unit, physical column, type, index, key column, definition piece and foreign key column pair.

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "tests/support/database_model.h"
#include "tests/support/system_tables.h"

namespace quenlow::testing {

namespace {

namespace so = system_object;

// Definition text is split into rows of at most this many characters.
constexpr std::size_t kDefinitionChunk2005 = 3000;
constexpr std::size_t kDefinitionChunk2000 = 4000;

Value I(std::int64_t v) {
    return Value::integer(v);
}
Value N() {
    return Value::null();
}
Value txt(const std::string& s) {
    return Value::text(s);
}

Value created() {
    return Value::datetime(2020, 1, 1, 12, 0, 0);
}

// A page pointer as stored in records: page id (4 bytes) then file id (2 bytes); all zero for none.
Value page_pointer(std::int32_t page_id) {
    std::vector<std::byte> out(6);
    std::memcpy(out.data(), &page_id, 4);
    std::uint16_t file_id = page_id == 0 ? 0 : 1;
    std::memcpy(out.data() + 4, &file_id, 2);
    return Value::binary(std::move(out));
}

template <typename T>
void append_le(std::vector<std::byte>& out, T v) {
    std::byte raw[sizeof(T)];
    std::memcpy(raw, &v, sizeof(T));
    out.insert(out.end(), raw, raw + sizeof(T));
}

// The stored identity value: for 64-bit columns a marker word, then increment and seed as 64-bit
// values; for smaller ones the last value, then increment and seed as 32-bit values.
Value identity_value(const ColumnSpec& c, std::size_t row_count) {
    std::vector<std::byte> out;
    const Identity& id = *c.identity;
    if (c.type == SqlType::BigInt) {
        append_le<std::uint64_t>(out, 1);
        append_le<std::int64_t>(out, id.increment);
        append_le<std::int64_t>(out, id.seed);
    } else {
        auto last = id.seed + id.increment * (static_cast<std::int64_t>(row_count) - 1);
        append_le<std::int32_t>(out, static_cast<std::int32_t>(last));
        append_le<std::int32_t>(out, static_cast<std::int32_t>(id.increment));
        append_le<std::int32_t>(out, static_cast<std::int32_t>(id.seed));
    }
    return Value::binary(std::move(out));
}

std::int32_t collation_of(const DatabaseModel& m, const ColumnSpec& c) {
    if (!type_facts(c.type).character) return 0;
    return c.collation_id != 0 ? c.collation_id : m.blueprint->collation_id;
}

std::int32_t key_ordinal(const StoredTable& t, std::size_t column) {
    auto it = std::find(t.key_columns.begin(), t.key_columns.end(), column);
    return it == t.key_columns.end() ? 0 : static_cast<std::int32_t>(it - t.key_columns.begin() + 1);
}

std::int32_t default_of(const DatabaseModel& m, const StoredTable& t, std::size_t column) {
    auto it = m.column_defaults.find({t.object_id(), static_cast<std::int32_t>(column + 1)});
    return it == m.column_defaults.end() ? 0 : it->second;
}

std::vector<std::string> chunks(const std::string& utf8, std::size_t max_chars) {
    std::vector<std::string> out;
    std::string current;
    std::size_t chars = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        auto b = static_cast<unsigned char>(utf8[i]);
        bool starts_char = (b & 0xC0) != 0x80;
        if (starts_char && chars == max_chars) {
            out.push_back(std::move(current));
            current.clear();
            chars = 0;
        }
        if (starts_char) ++chars;
        current += utf8[i];
    }
    if (!current.empty() || out.empty()) out.push_back(std::move(current));
    return out;
}

std::vector<std::vector<Value>>& rows_of(DatabaseModel& m, std::int32_t object_id) {
    StoredTable* t = m.table_by_object(object_id);
    if (t == nullptr || !t->system) throw std::logic_error("system table missing from the model");
    return t->blueprint.rows;
}

void write_files(DatabaseModel& m) {
    auto& rows = rows_of(m, so::kSysFiles);
    const std::string& folder = m.blueprint->recorded_folder;
    rows.push_back({I(2), I(1), txt(m.blueprint->name), txt(folder + m.blueprint->name + ".mdf")});
    rows.push_back({I(66), I(2), txt(m.blueprint->name + "_log"), txt(folder + m.blueprint->name + "_log.ldf")});
}

std::int32_t max_record_length(const StoredTable& t) {
    std::int32_t n =
        4 + t.layout.fixed_length + 2 + static_cast<std::int32_t>((t.layout.columns.size() + 7) / 8);
    if (t.layout.variable_count > 0) n += 2 + 2 * t.layout.variable_count;
    for (const PhysicalColumn& p : t.layout.columns)
        if (p.variable) n += std::max<std::int16_t>(0, t.blueprint.columns[p.column].byte_length());
    return std::min<std::int32_t>(n, 8060);
}

// ---- 2005 and later ----

void write_objects_2005(DatabaseModel& m) {
    auto& rows = rows_of(m, so::kSysSchObjs);
    for (const CatalogObject& o : m.objects)
        rows.push_back({I(o.object_id), txt(o.name), I(o.system ? 4 : o.schema_id), I(0), I(0), txt(o.type),
                        I(o.parent_object_id), I(1), I(o.int_property), created(), created()});
}

// The schemas, when the model has a class objects table: dbo, guest, INFORMATION_SCHEMA, sys and the
// tables' own, as class 50 rows.
void write_schemas_2005(DatabaseModel& m) {
    StoredTable* table = m.table_by_object(kSysClsObjs);
    if (table == nullptr) return;
    std::map<std::int32_t, std::string> schemas = {
        {1, "dbo"}, {2, "guest"}, {3, "INFORMATION_SCHEMA"}, {4, "sys"}};
    schemas.insert(m.schemas.begin(), m.schemas.end());
    for (const auto& [id, name] : schemas)
        table->blueprint.rows.push_back(
            {I(50), I(id), I(0), txt("  "), I(1), created(), created(), txt(name)});
}

void write_columns_2005(DatabaseModel& m) {
    auto& rows = rows_of(m, so::kSysColPars);
    for (const StoredTable& t : m.tables) {
        for (std::size_t i = 0; i < t.blueprint.columns.size(); ++i) {
            const ColumnSpec& c = t.blueprint.columns[i];
            const TypeFacts& f = type_facts(c.type);
            std::int32_t status = c.nullable ? 0 : 1;
            if (c.identity) status = 5;
            std::int16_t length = c.byte_length();
            rows.push_back({I(t.object_id()), I(0), I(static_cast<std::int64_t>(i + 1)), txt(c.name),
                            I(f.system_type_id), I(f.user_type_id), I(length), I(c.catalog_precision()),
                            I(c.catalog_scale()), I(collation_of(m, c)), I(status),
                            I(length < 0 ? 8000 : length), I(0), I(default_of(m, t, i)), I(0),
                            c.identity ? identity_value(c, t.blueprint.rows.size()) : N()});
        }
    }
}

void write_storage_2005(DatabaseModel& m) {
    auto& rowsets = rows_of(m, so::kSysRowsets);
    auto& units = rows_of(m, so::kSysAllocUnits);
    auto& rscols = rows_of(m, so::kSysRsCols);
    for (const StoredTable& t : m.tables) {
        const auto used = static_cast<std::int64_t>(t.pages.size() + (t.iam_page != 0 ? 1 : 0));
        const auto reserved = static_cast<std::int64_t>(t.single_pages + 8 * t.uniform_extents.size() +
                                                        (t.iam_page != 0 ? 1 : 0));
        rowsets.push_back({I(t.rowset_id), I(1), I(t.object_id()), I(t.index_id), I(1), I(0), I(1),
                           I(static_cast<std::int64_t>(t.blueprint.rows.size())), I(0), I(0),
                           I(static_cast<std::int64_t>(t.layout.columns.size())), I(max_record_length(t)),
                           I(0), I(4 + t.layout.fixed_length), I(0), N(), N()});
        units.push_back({I(t.allocation_unit_id), I(1), I(t.rowset_id), I(0), I(1),
                         page_pointer(t.first_page()), page_pointer(t.first_page()), page_pointer(t.iam_page),
                         I(used), I(static_cast<std::int64_t>(t.pages.size())), I(reserved), I(0)});
        if (t.lob_unit_id != 0)
            units.push_back({I(t.lob_unit_id), I(2), I(t.rowset_id), I(0), I(1), page_pointer(0),
                             page_pointer(0), page_pointer(0), I(0), I(0), I(0), I(0)});
        for (const PhysicalColumn& p : t.layout.columns) {
            const ColumnSpec& c = t.blueprint.columns[p.column];
            const auto column_id = static_cast<std::int64_t>(p.column + 1);
            const std::int16_t length = c.byte_length();
            const std::int64_t type_info =
                type_facts(c.type).system_type_id |
                (static_cast<std::int64_t>(static_cast<std::uint16_t>(length)) << 8);
            rscols.push_back({I(t.rowset_id), I(column_id), I(p.physical_id), I(0), I(type_info),
                              I(column_id), I(key_ordinal(t, p.column)), I(length < 0 ? 8000 : length), I(0),
                              I(p.leaf_offset), I(p.null_bit), I(p.bit_position), N()});
        }
    }
}

void write_types_2005(DatabaseModel& m) {
    auto& rows = rows_of(m, so::kSysScalarTypes);
    for (const BuiltinType& b : builtin_types())
        rows.push_back({I(b.type_id), I(4), txt(b.name), I(b.system_type_id), I(b.length), I(b.precision),
                        I(b.scale), I(b.collated ? m.blueprint->collation_id : 0), I(0), created(), created(),
                        I(0), I(0)});
}

// Index status bits the assembly reads: 1 the row is an index, 8 unique, 32 primary key.
constexpr std::int64_t kPrimaryKeyIndexStatus = 1 | 8 | 32;

void write_indexes_2005(DatabaseModel& m) {
    auto& indexes = rows_of(m, so::kSysIdxStats);
    auto& key_columns = rows_of(m, so::kSysIsCols);
    for (const StoredTable& t : m.tables) {
        if (t.system) continue;
        if (t.index_id == 1) {
            indexes.push_back({I(t.object_id()), I(1), txt(t.key_name), I(kPrimaryKeyIndexStatus),
                               I(t.key_object_id), I(0), I(1), I(0), I(1), I(0), I(t.rowset_id)});
            for (std::size_t k = 0; k < t.key_columns.size(); ++k)
                key_columns.push_back({I(t.object_id()), I(1), I(static_cast<std::int64_t>(k + 1)), I(2),
                                       I(static_cast<std::int64_t>(t.key_columns[k] + 1)), I(0), I(0), I(0),
                                       I(0)});
        } else {
            indexes.push_back(
                {I(t.object_id()), I(0), N(), I(0), I(0), I(0), I(0), I(0), I(1), I(0), I(t.rowset_id)});
        }
    }
}

// The stored bytes of one piece of definition text.
std::vector<std::byte> definition_bytes(const std::string& piece, const DefinitionStorage& storage) {
    return storage.eight_bit ? latin1_bytes(piece) : utf16_bytes(piece);
}

std::int32_t object_id_named(const DatabaseModel& m, const std::string& name) {
    for (const CatalogObject& o : m.objects)
        if (o.name == name) return o.object_id;
    throw std::invalid_argument("definition row for a missing object " + name);
}

void write_definitions_2005(DatabaseModel& m) {
    auto& rows = rows_of(m, so::kSysObjValues);
    for (const CatalogObject& o : m.objects) {
        if (o.definition.empty()) continue;
        std::int64_t valnum = 0;
        const std::size_t chunk = o.storage.chunk_chars != 0 ? o.storage.chunk_chars : kDefinitionChunk2005;
        for (const std::string& piece : chunks(o.definition, chunk))
            rows.push_back(
                {I(1), I(o.object_id), I(0), I(valnum++), N(), Value::binary(definition_bytes(piece, o.storage))});
    }
    // Computed columns: the definition under the table's id and the column id.
    for (const StoredTable& t : m.tables)
        for (std::size_t i = 0; i < t.blueprint.columns.size(); ++i)
            if (!t.blueprint.columns[i].computed.empty())
                rows.push_back({I(1), I(t.object_id()), I(static_cast<std::int64_t>(i + 1)), I(0), N(),
                                Value::binary(utf16_bytes(t.blueprint.columns[i].computed))});
    for (const DefinitionRowSpec& r : m.blueprint->definition_rows)
        rows.push_back({I(1), I(object_id_named(m, r.object)), I(r.sub_id), I(0), N(), Value::binary(r.value)});
}

// Reference classes of a foreign key column pair: 28 names the referencing column, 29 the referenced one.
void write_references_2005(DatabaseModel& m) {
    auto& rows = rows_of(m, so::kSysMultiObjRefs);
    for (const ForeignKeyColumns& fk : m.foreign_keys) {
        for (std::size_t k = 0; k < fk.column_pairs.size(); ++k)
            rows.push_back({I(28), I(fk.object_id), I(static_cast<std::int64_t>(k + 1)), I(fk.table_id),
                            I(fk.column_pairs[k].first), I(0)});
        for (std::size_t k = 0; k < fk.column_pairs.size(); ++k)
            rows.push_back({I(29), I(fk.object_id), I(static_cast<std::int64_t>(k + 1)),
                            I(fk.referenced_table_id), I(fk.column_pairs[k].second), I(0)});
    }
}

// ---- SQL Server 2000 ----

void write_objects_2000(DatabaseModel& m) {
    auto& rows = rows_of(m, so::kSysObjects);
    for (const CatalogObject& o : m.objects)
        rows.push_back({txt(o.name),
                        I(o.object_id),
                        txt(o.type),
                        I(1),
                        I(o.int_property),
                        I(0),
                        I(0),
                        I(0),
                        I(0),
                        I(o.parent_object_id),
                        created(),
                        I(0),
                        I(0),
                        txt(o.type),
                        I(0),
                        I(o.system ? 1 : 0),
                        I(0),
                        created(),
                        I(0),
                        I(0),
                        I(0),
                        I(0),
                        I(0),
                        I(0),
                        I(0)});
}

void write_indexes_2000(DatabaseModel& m) {
    auto& rows = rows_of(m, so::kSysIndexes);
    for (const StoredTable& t : m.tables) {
        const auto pages = static_cast<std::int64_t>(t.pages.size());
        const std::string& name = t.index_id == 1 && !t.key_name.empty() ? t.key_name : t.blueprint.name;
        rows.push_back({I(t.object_id()),
                        I(0),
                        page_pointer(t.first_page()),
                        I(t.index_id),
                        page_pointer(t.first_page()),
                        I(4 + t.layout.fixed_length),
                        I(static_cast<std::int64_t>(t.key_columns.size())),
                        I(1),
                        I(pages),
                        I(pages + (t.iam_page != 0 ? 1 : 0)),
                        I(pages + (t.iam_page != 0 ? 1 : 0)),
                        I(static_cast<std::int64_t>(t.blueprint.rows.size())),
                        I(0),
                        I(0),
                        I(0),
                        I(max_record_length(t)),
                        I(0),
                        I(0),
                        I(0),
                        I(0),
                        page_pointer(t.iam_page),
                        I(0),
                        I(0),
                        I(0),
                        txt(name),
                        N()});
    }
}

void write_columns_2000(DatabaseModel& m) {
    auto& rows = rows_of(m, so::kSysColumns);
    for (const StoredTable& t : m.tables) {
        for (std::size_t i = 0; i < t.blueprint.columns.size(); ++i) {
            const ColumnSpec& c = t.blueprint.columns[i];
            const TypeFacts& f = type_facts(c.type);
            const PhysicalColumn* p = t.layout.physical(i);
            const std::int64_t offset = p == nullptr ? 0 : p->leaf_offset;
            const std::int64_t column_status = (c.identity ? 1 : 0) | (c.stored ? 0 : 4);
            // Type status bit 0 set: the column takes no NULL.
            const std::int64_t type_status = c.nullable ? 0 : 1;
            rows.push_back({txt(c.name),
                            I(t.object_id()),
                            I(f.system_type_id),
                            I(type_status),
                            I(f.user_type_id),
                            I(c.byte_length()),
                            I(c.catalog_precision()),
                            I(c.catalog_scale()),
                            I(static_cast<std::int64_t>(i + 1)),
                            I(offset),
                            I(p == nullptr ? 0 : p->bit_position),
                            I(0),
                            I(column_status),
                            I(default_of(m, t, i)),
                            I(0),
                            I(0),
                            I(static_cast<std::int64_t>(i + 1)),
                            N(),
                            I(offset),
                            I(collation_of(m, c)),
                            I(0)});
        }
    }
}

void write_definitions_2000(DatabaseModel& m) {
    auto& rows = rows_of(m, so::kSysComments);
    for (const CatalogObject& o : m.objects) {
        if (o.definition.empty()) continue;
        std::int64_t colid = 1;
        const std::int64_t number = o.type == "P " ? 1 : 0;
        const std::size_t chunk = o.storage.chunk_chars != 0 ? o.storage.chunk_chars : kDefinitionChunk2000;
        for (const std::string& piece : chunks(o.definition, chunk))
            rows.push_back({I(o.object_id), I(number), I(colid++), I(0),
                            Value::binary(definition_bytes(piece, o.storage)), I(o.storage.eight_bit ? 0 : 2),
                            I(0), N(), N(), N()});
    }
    for (const DefinitionRowSpec& r : m.blueprint->definition_rows)
        rows.push_back({I(object_id_named(m, r.object)), I(r.sub_id), I(1), I(0), Value::binary(r.value), I(2),
                        I(0), N(), N(), N()});
}

}  // namespace

StoredTable* DatabaseModel::table_by_object(std::int32_t object_id) {
    for (StoredTable& t : tables)
        if (t.object_id() == object_id) return &t;
    return nullptr;
}

void write_catalog_rows(DatabaseModel& m) {
    for (StoredTable& t : m.tables)
        if (t.system) t.blueprint.rows.clear();
    write_files(m);
    if (m.blueprint->layout == Layout::k2005) {
        write_objects_2005(m);
        write_schemas_2005(m);
        write_columns_2005(m);
        write_storage_2005(m);
        write_types_2005(m);
        write_indexes_2005(m);
        write_definitions_2005(m);
        write_references_2005(m);
    } else {
        write_objects_2000(m);
        write_indexes_2000(m);
        write_columns_2000(m);
        write_definitions_2000(m);
    }
}

}  // namespace quenlow::testing
