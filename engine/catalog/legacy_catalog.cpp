#include "engine/catalog/legacy_catalog.h"

#include <unordered_map>

#include "engine/catalog/catalog_readers.h"
#include "engine/pages/record_page.h"

namespace quenlow {

namespace {

namespace S = system_object;

// Legacy index rows (fixed part, at least 64 bytes); only the fields read are listed.
//   offset | size | field
//        0 |    4 | object id
//        8 |    4 | first page id
//       14 |    2 | index id (1 for the clustered index)
//       64 |    4 | first IAM page id
constexpr std::size_t kIndexRowNeeded = 64;
constexpr std::size_t kIndexObjectId = 0;
constexpr std::size_t kIndexFirstPage = 8;
constexpr std::size_t kIndexId = 14;
constexpr std::size_t kIndexFirstIam = 64;
constexpr std::int16_t kClusteredIndexId = 1;
// Object ids up to this one belong to the system tables.
constexpr std::int32_t kLastSystemObjectId = 100;

// Records with more columns than this carry the collation id. The 42-byte fixed part of a column row
// ends with four bytes after it; the nullability is bit 0 of the type status (set: NOT NULL), from
// which the server derives the status and isnullable columns it shows.
constexpr int kColumnsWithCollation = 20;
constexpr std::size_t kCollationNeeded = 38;

// Legacy column rows (fixed part, 42 bytes); the name is variable column 1. The collation id is
// there only in records of more than 20 columns.
//   offset | size | field
//        0 |    4 | object id
//        4 |    1 | system type id
//        5 |    1 | type status
//        6 |    2 | user type id
//        8 |    2 | length
//       10 |    1 | precision
//       11 |    1 | scale
//       12 |    2 | column id
//       14 |    2 | physical offset
//       16 |    1 | bit position
//       17 |    1 | reserved
//       18 |    2 | column status
//       20 |    2 | default object id
//       24 |    4 | domain
//       28 |    2 | number
//       30 |    2 | column order
//       32 |    2 | offset
//       34 |    4 | collation id
namespace legacy_column_layout {
constexpr std::size_t kObjectId = 0;
constexpr std::size_t kSystemTypeId = 4;
constexpr std::size_t kTypeStatus = 5;
constexpr std::size_t kUserTypeId = 6;
constexpr std::size_t kLength = 8;
constexpr std::size_t kPrecision = 10;
constexpr std::size_t kScale = 11;
constexpr std::size_t kColumnId = 12;
constexpr std::size_t kPhysicalOffset = 14;
constexpr std::size_t kBitPosition = 16;
constexpr std::size_t kReserved = 17;
constexpr std::size_t kColumnStatus = 18;
constexpr std::size_t kDefaultObjectId = 20;
constexpr std::size_t kDomain = 24;
constexpr std::size_t kNumber = 28;
constexpr std::size_t kColumnOrder = 30;
constexpr std::size_t kOffset = 32;
constexpr std::size_t kCollationId = 34;
}  // namespace legacy_column_layout

LegacyColumnRow legacy_column_row(const CPrimaryRecord& record) {
    LegacyColumnRow row;
    const FixedData fixed(record.fixed_part);
    fixed.read(legacy_column_layout::kObjectId, row.object_id);
    fixed.read(legacy_column_layout::kSystemTypeId, row.system_type_id);
    fixed.read(legacy_column_layout::kTypeStatus, row.type_status);
    fixed.read(legacy_column_layout::kUserTypeId, row.user_type_id);
    fixed.read(legacy_column_layout::kLength, row.length);
    fixed.read(legacy_column_layout::kPrecision, row.precision);
    fixed.read(legacy_column_layout::kScale, row.scale);
    fixed.read(legacy_column_layout::kColumnId, row.column_id);
    fixed.read(legacy_column_layout::kPhysicalOffset, row.physical_offset);
    fixed.read(legacy_column_layout::kBitPosition, row.bit_position);
    fixed.read(legacy_column_layout::kReserved, row.reserved);
    fixed.read(legacy_column_layout::kColumnStatus, row.column_status);
    fixed.read(legacy_column_layout::kDefaultObjectId, row.default_object_id);
    fixed.read(legacy_column_layout::kDomain, row.domain);
    fixed.read(legacy_column_layout::kNumber, row.number);
    fixed.read(legacy_column_layout::kColumnOrder, row.column_order);
    fixed.read(legacy_column_layout::kOffset, row.offset);
    if (record.column_count > kColumnsWithCollation && fixed.size() >= kCollationNeeded)
        fixed.read(legacy_column_layout::kCollationId, row.collation_id);
    return row;
}

}  // namespace

void read_legacy_index_map(CatalogReader& reader, std::map<std::int32_t, LegacyIndexEntry>& out) {
    reader.for_each_page(S::kLegacyIndexes, PageSelection::kDataPagesOnly, [&](const CDataPage& page) {
        const std::uint16_t file_id = page.header().this_page.file_id;
        reader.for_each_record(
            page, RecordSelection::kSkipFragmentsAndIndexRows, [&](const CPrimaryRecord& record) {
                const FixedData fixed(record.fixed_part);
                if (!fixed.present() || fixed.size() < kIndexRowNeeded) return;
                std::int16_t index_id = 0;
                fixed.read(kIndexId, index_id);
                if (index_id != kClusteredIndexId) return;
                LegacyIndexEntry entry;
                fixed.read(kIndexObjectId, entry.object_id);
                entry.file_and_index =
                    file_id | (static_cast<std::uint32_t>(static_cast<std::uint16_t>(index_id)) << 16);
                fixed.read(kIndexFirstPage, entry.first_page);
                fixed.read(kIndexFirstIam, entry.first_iam_page);
                out[entry.object_id] = entry;
            });
    });
}

void make_legacy_key_tables(const std::map<std::int32_t, LegacyIndexEntry>& index_map,
                            const std::vector<SchemaObjectRow>& objects,
                            std::vector<LegacyTableColumns>& out) {
    // The first object of each id names its table.
    std::unordered_map<std::int32_t, const SchemaObjectRow*> first_object;
    first_object.reserve(objects.size());
    for (const SchemaObjectRow& object : objects) first_object.emplace(object.object_id, &object);
    for (const auto& [id, entry] : index_map) {
        if (entry.object_id <= kLastSystemObjectId || legacy_index_id(entry) != kClusteredIndexId) continue;
        LegacyTableColumns table;
        table.object_id = entry.object_id;
        if (auto it = first_object.find(entry.object_id); it != first_object.end())
            table.table_name = it->second->name;
        out.push_back(std::move(table));
    }
}

void read_legacy_columns(CatalogReader& reader, std::vector<LegacyTableColumns>& key_tables,
                         std::vector<LegacyColumnRow>& out) {
    reader.restart_repair_counter();
    // The key tables of each object id, in list order.
    std::unordered_map<std::int32_t, std::vector<std::size_t>> tables_of;
    for (std::size_t k = 0; k < key_tables.size(); ++k) tables_of[key_tables[k].object_id].push_back(k);
    reader.for_each_page(S::kLegacyColumns, PageSelection::kAll, [&](const CDataPage& page) {
        const std::size_t first = out.size();
        reader.for_each_record(
            page, RecordSelection::kSkipFragmentsAndIndexRows, [&](const CPrimaryRecord& record) {
                LegacyColumnRow row = legacy_column_row(record);
                auto name = record_name(record);
                row.name = name && !name->empty() ? *name : reader.make_repair_name(kRepairColumnName);
                out.push_back(std::move(row));
            });
        for (std::size_t i = first; i < out.size(); ++i) {
            const LegacyColumnRow& column = out[i];
            auto it = tables_of.find(column.object_id);
            if (it == tables_of.end()) continue;
            for (std::size_t k : it->second)
                key_tables[k].columns.push_back({column.name, column.column_order, column.type_status});
        }
    });
}

}  // namespace quenlow
