#include "engine/catalog/legacy_catalog.h"

#include <unordered_map>

#include "engine/catalog/catalog_readers.h"
#include "engine/pages/record_page.h"

namespace quenlow {

namespace {

namespace S = system_object;

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

LegacyColumnRow legacy_column_row(const CPrimaryRecord& record) {
    LegacyColumnRow row;
    const FixedData fixed(record.fixed_part);
    fixed.read(0, row.object_id);
    fixed.read(4, row.system_type_id);
    fixed.read(5, row.type_status);
    fixed.read(6, row.user_type_id);
    fixed.read(8, row.length);
    fixed.read(10, row.precision);
    fixed.read(11, row.scale);
    fixed.read(12, row.column_id);
    fixed.read(14, row.physical_offset);
    fixed.read(16, row.bit_position);
    fixed.read(17, row.reserved);
    fixed.read(18, row.column_status);
    fixed.read(20, row.default_object_id);
    fixed.read(24, row.domain);
    fixed.read(28, row.number);
    fixed.read(30, row.column_order);
    fixed.read(32, row.offset);
    if (record.column_count > kColumnsWithCollation && fixed.size() >= kCollationNeeded)
        fixed.read(34, row.collation_id);
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
