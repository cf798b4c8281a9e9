#include "engine/catalog/catalog_readers.h"

#include "engine/pages/text_codec.h"

#include <fmt/format.h>

#include <cctype>
#include <set>

#include "engine/pages/opened_database.h"

namespace quenlow {

namespace {

namespace S = system_object;

constexpr std::size_t kFileRowNeeded = 520;
constexpr std::size_t kObjectRowNeeded = 20;
constexpr std::size_t kLegacyParentNeeded = 28;
constexpr std::size_t kAllocationUnitNeeded = 39;
constexpr std::size_t kRowsetNeeded = 27;
constexpr std::size_t kColumnNeeded = 37;
constexpr std::size_t kTypeNeeded = 34;
constexpr std::size_t kRowsetColumnNeeded = 48;
constexpr std::size_t kIndexRowNeeded = 27;
constexpr std::size_t kIndexColumnNeeded = 21;

// The column status of an identity column that keeps its two numbers in its second variable column.
constexpr std::int32_t kIdentityColumnStatus = 5;

// Database file rows: status, file id and two fixed-width UTF-16 names.
//   offset | size | field
//        0 |    4 | status
//        4 |    2 | file id
//        6 |  256 | logical name (128 units, padded)
//      262 |  520 | physical file name (260 units, padded)
constexpr std::size_t kLogicalName = 6;
constexpr std::size_t kLogicalNameBytes = 256;
constexpr std::size_t kPhysicalName = 262;
constexpr std::size_t kPhysicalNameBytes = 520;

std::string padded_name(const FixedData& fixed, std::size_t offset, std::size_t length) {
    auto bytes = fixed.slice(offset, length);
    if (!bytes) return {};
    std::string name = utf16le_to_utf8(*bytes);
    while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) name.pop_back();
    return name;
}

// A two-character type code, each byte widened to a character; a zero byte ends it.
std::string type_code(const FixedData& fixed, std::size_t offset) {
    auto bytes = fixed.slice(offset, 2);
    if (!bytes) return {};
    std::string code;
    for (std::byte b : *bytes) {
        const auto c = std::to_integer<unsigned char>(b);
        if (c == 0) break;
        if (c < 0x80) {
            code += static_cast<char>(c);
        } else {
            code += static_cast<char>(0xC0 | (c >> 6));
            code += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return code;
}

// When a record of a table adds a row, and when its fields are read.
struct TableRule {
    std::size_t needed = 0;         // fixed data bytes needed before any field is read
    bool needs_fixed_data = false;  // a record without fixed data adds no row
    PageSelection pages = PageSelection::kAll;
    RecordSelection records = RecordSelection::kSkipFragments;
};

// Adds one row per usable record of the table; fill(record, fixed, row) sets the fields when the fixed
// data is present and long enough, otherwise the row keeps its defaults.
template <typename Row, typename Fill>
void read_rows(CatalogReader& reader, std::int32_t object_id, const TableRule& rule, std::vector<Row>& out,
               Fill fill) {
    reader.for_each_record(object_id, rule.pages, rule.records, [&](const CPrimaryRecord& record) {
        const FixedData fixed(record.fixed_part);
        if (rule.needs_fixed_data && !fixed.present()) return;
        Row row;
        if (fixed.present() && fixed.size() >= rule.needed) fill(record, fixed, row);
        out.push_back(std::move(row));
    });
}

}  // namespace

void read_files(CatalogReader& reader, std::vector<DatabaseFileRow>& out) {
    read_rows(reader, S::kFiles, {.needed = kFileRowNeeded}, out,
              [](const CPrimaryRecord&, const FixedData& fixed, DatabaseFileRow& row) {
                  fixed.read(0, row.status);
                  fixed.read(4, row.file_id);
                  row.logical_name = padded_name(fixed, kLogicalName, kLogicalNameBytes);
                  row.physical_name = padded_name(fixed, kPhysicalName, kPhysicalNameBytes);
              });
}

void read_objects(CatalogReader& reader, std::int32_t object_id, ObjectLayout layout,
                  std::vector<SchemaObjectRow>& out) {
    reader.restart_repair_counter();
    auto read_one = [&](const CPrimaryRecord& record) {
        const FixedData fixed(record.fixed_part);
        if (!fixed.present() || fixed.size() < kObjectRowNeeded) return;
        SchemaObjectRow row;
        fixed.read(0, row.object_id);
        if (row.object_id <= 0) return;
        fixed.read(4, row.schema_id);
        fixed.read(8, row.namespace_class);
        fixed.read(9, row.status);
        fixed.read(19, row.parent_class);
        fixed.read(20, row.integer_property);
        if (layout == ObjectLayout::kSql2000) {
            std::int16_t owner = -1;
            fixed.read(8, owner);
            row.schema_id = owner;
            row.type = type_code(fixed, 4);
            fixed.read(fixed.size() >= kLegacyParentNeeded ? 24 : 15, row.parent_object_id);
        } else {
            row.type = type_code(fixed, 13);
            fixed.read(15, row.parent_object_id);
        }
        auto name = record_name(record);
        row.name = name ? *name : reader.make_repair_name(kRepairObjectName);
        if (row.name.empty()) row.name = reader.make_repair_name(kRepairColumnName);
        out.push_back(std::move(row));
    };
    reader.for_each_record(object_id, PageSelection::kAll, RecordSelection::kSkipFragments, read_one);
}

void read_schemas(CatalogReader& reader, std::vector<SchemaNameRow>& out) {
    constexpr std::uint8_t kSchemaClass = 50;
    auto read_one = [&](const CPrimaryRecord& record) {
        const FixedData fixed(record.fixed_part);
        if (!fixed.holds(0, 5)) return;
        std::uint8_t object_class = 255;
        fixed.read(0, object_class);
        if (object_class != kSchemaClass) return;
        SchemaNameRow row;
        fixed.read(1, row.schema_id);
        row.name = record_name(record).value_or(std::string());
        if (!row.name.empty()) out.push_back(std::move(row));
    };
    reader.for_each_record(S::kClassObjects, PageSelection::kAll, RecordSelection::kSkipFragments, read_one);
}

void read_legacy_users(CatalogReader& reader, std::vector<SchemaNameRow>& out) {
    auto read_one = [&](const CPrimaryRecord& record) {
        const FixedData fixed(record.fixed_part);
        if (!fixed.holds(0, 2)) return;
        std::int16_t user_id = -1;
        fixed.read(0, user_id);
        SchemaNameRow row{user_id, record_name(record).value_or(std::string())};
        if (!row.name.empty()) out.push_back(std::move(row));
    };
    reader.for_each_record(S::kLegacyUsers, PageSelection::kAll, RecordSelection::kSkipFragments, read_one);
}

void read_allocation_units(CatalogReader& reader, std::int32_t object_id,
                           std::vector<AllocationUnitRow>& out) {
    read_rows(reader, object_id, {.needed = kAllocationUnitNeeded}, out,
              [](const CPrimaryRecord&, const FixedData& fixed, AllocationUnitRow& row) {
                  fixed.read(0, row.allocation_unit_id);
                  fixed.read(8, row.type);
                  fixed.read(9, row.owner_id);
                  fixed.read(17, row.status);
                  fixed.read(21, row.filegroup_id);
                  fixed.read(23, row.first_page);
                  fixed.read(29, row.root_page);
                  fixed.read(35, row.first_iam_page);
              });
}

void read_rowsets(CatalogReader& reader, std::vector<RowsetRow>& out) {
    read_rows(reader, S::kRowsets, {.needed = kRowsetNeeded}, out,
              [](const CPrimaryRecord&, const FixedData& fixed, RowsetRow& row) {
                  fixed.read(0, row.rowset_id);
                  fixed.read(8, row.owner_type);
                  fixed.read(9, row.object_id);
                  fixed.read(13, row.index_id);
                  fixed.read(17, row.partition_number);
                  fixed.read(21, row.status);
                  fixed.read(25, row.filegroup_id);
                  fixed.read(27, row.row_count);
              });
}

std::string identity_text(ByteSpan v) {
    const std::size_t length = v.size();
    std::int64_t a = 1;
    std::int64_t b = 1;
    auto u16 = [&](std::size_t at) { return std::int64_t{load_le<std::uint16_t>(v, at)}; };
    auto u32 = [&](std::size_t at) { return std::int64_t{load_le<std::uint32_t>(v, at)}; };
    if (length >= 24 && u32(4) == 0 && u32(0) != 0) {
        a = load_le<std::int64_t>(v, 8);
        b = load_le<std::int64_t>(v, 16);
    } else if (length >= 12) {
        a = u32(4);
        b = u32(8);
    } else if (length >= 6) {
        a = u16(2);
        b = u16(4);
    }
    if (b == 0) b = 1;
    return fmt::format("identity({},{})", b, a);
}

void read_columns(CatalogReader& reader, std::vector<ColumnParamRow>& out) {
    reader.restart_repair_counter();
    const TableRule rule{.needed = kColumnNeeded, .records = RecordSelection::kSkipFragmentsAndIndexRows};
    read_rows(reader, S::kColumns, rule, out,
              [&](const CPrimaryRecord& record, const FixedData& fixed, ColumnParamRow& row) {
                  fixed.read(0, row.object_id);
                  fixed.read(4, row.number);
                  fixed.read(6, row.column_id);
                  fixed.read(10, row.system_type_id);
                  fixed.read(11, row.user_type_id);
                  fixed.read(15, row.length);
                  fixed.read(17, row.precision);
                  fixed.read(18, row.scale);
                  fixed.read(19, row.collation_id);
                  fixed.read(23, row.status);
                  fixed.read(27, row.max_inrow_length);
                  fixed.read(29, row.xml_collection_id);
                  fixed.read(33, row.default_object_id);
                  fixed.read(37, row.check_object_id);
                  auto name = record_name(record);
                  row.name = name && !name->empty() ? *name : reader.make_repair_name(kRepairColumnName);
                  if (row.status == kIdentityColumnStatus && record.values.size() > 1)
                      row.identity_text = identity_text(record.values[1].data);
              });
}

void read_types(CatalogReader& reader, std::vector<ScalarTypeRow>& out) {
    read_rows(reader, S::kTypes, {.needed = kTypeNeeded, .needs_fixed_data = true}, out,
              [](const CPrimaryRecord& record, const FixedData& fixed, ScalarTypeRow& row) {
                  fixed.read(0, row.type_id);
                  fixed.read(4, row.schema_id);
                  fixed.read(8, row.system_type_id);
                  fixed.read(9, row.length);
                  fixed.read(11, row.precision);
                  fixed.read(12, row.scale);
                  fixed.read(13, row.collation_id);
                  fixed.read(17, row.status);
                  fixed.read(30, row.value30);
                  fixed.read(34, row.value34);
                  row.name = record_name(record).value_or(std::string());
              });
}

void read_rowset_columns(CatalogReader& reader, std::vector<RowsetColumnRow>& out) {
    read_rows(reader, S::kRowsetColumns, {.needed = kRowsetColumnNeeded}, out,
              [](const CPrimaryRecord&, const FixedData& fixed, RowsetColumnRow& row) {
                  fixed.read(0, row.rowset_id);
                  fixed.read(8, row.rowset_column_id);
                  fixed.read(12, row.physical_column_id);
                  fixed.read(16, row.modification_counter);
                  fixed.read(24, row.type_info);
                  fixed.read(28, row.column_id);
                  fixed.read(32, row.key_ordinal);
                  fixed.read(34, row.max_inrow_length);
                  fixed.read(36, row.status);
                  fixed.read(40, row.leaf_offset);
                  fixed.read(44, row.null_bit);
                  fixed.read(48, row.bit_position);
              });
}

void read_object_references(CatalogReader& reader, std::vector<ObjectReferenceRow>& out) {
    const TableRule rule{.needs_fixed_data = true, .pages = PageSelection::kDataPagesOnly};
    read_rows(reader, S::kObjectReferences, rule, out,
              [](const CPrimaryRecord&, const FixedData& fixed, ObjectReferenceRow& row) {
                  fixed.read(0, row.ref_class);
                  fixed.read(1, row.dependent_id);
                  fixed.read(5, row.dependent_sub_id);
                  fixed.read(9, row.referenced_id);
                  fixed.read(13, row.referenced_sub_id);
                  fixed.read(17, row.status);
              });
}

void read_index_rows(CatalogReader& reader, std::vector<IndexStatRow>& out) {
    read_rows(reader, S::kIndexes, {.needed = kIndexRowNeeded, .needs_fixed_data = true}, out,
              [](const CPrimaryRecord& record, const FixedData& fixed, IndexStatRow& row) {
                  fixed.read(0, row.object_id);
                  fixed.read(4, row.index_id);
                  fixed.read(8, row.status);
                  fixed.read(12, row.integer_property);
                  fixed.read(16, row.fill_factor);
                  fixed.read(17, row.index_type);
                  fixed.read(18, row.tiny_property);
                  fixed.read(19, row.data_space_id);
                  fixed.read(23, row.lob_data_space_id);
                  fixed.read(27, row.rowset_id);
                  row.name = record_name(record).value_or(std::string());
              });
}

void read_index_columns(CatalogReader& reader, std::vector<IndexColumnRow>& out) {
    read_rows(reader, S::kIndexColumns, {.needed = kIndexColumnNeeded}, out,
              [](const CPrimaryRecord&, const FixedData& fixed, IndexColumnRow& row) {
                  fixed.read(0, row.object_id);
                  fixed.read(4, row.index_id);
                  fixed.read(8, row.key_ordinal);
                  fixed.read(12, row.status);
                  fixed.read(16, row.column_id);
                  fixed.read(20, row.tiny_property1);
                  fixed.read(21, row.tiny_property2);
              });
}

void read_hobt_columns(CatalogReader& reader, std::vector<HobtColumnRow>& out) {
    read_rows(reader, S::kHobtColumns, {}, out,
              [](const CPrimaryRecord&, const FixedData& fixed, HobtColumnRow& row) {
                  fixed.read(0, row.rowset_id);
                  fixed.read(8, row.column_id);
                  fixed.read(27, row.leaf_offset);
                  fixed.read(33, row.second_offset);
              });
}

void read_rowset_column_links(CatalogReader& reader, std::vector<RowsetColumnLinkRow>& out) {
    read_rows(reader, S::kRowsetColumnLinks, {}, out,
              [](const CPrimaryRecord&, const FixedData& fixed, RowsetColumnLinkRow& row) {
                  fixed.read(0, row.rowset_id);
                  fixed.read(8, row.column_id);
                  fixed.read(12, row.rowset_column_id);
              });
}

void add_tables_from_columns(const CatalogReader& reader, const std::vector<ColumnParamRow>& columns,
                             std::vector<SchemaObjectRow>& objects) {
    std::set<std::int32_t> known;
    for (const SchemaObjectRow& object : objects) known.insert(object.object_id);
    for (const ColumnParamRow& column : columns) {
        if (reader.stop_requested()) return;
        if (!known.insert(column.object_id).second) continue;
        SchemaObjectRow table;
        table.object_id = column.object_id;
        table.name = fmt::format("{}", column.object_id);
        table.type = "U ";
        objects.push_back(std::move(table));
    }
}

}  // namespace quenlow
