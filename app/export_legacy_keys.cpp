// Keys of SQL Server 2000 tables for the export, read from two system tables through the same assembly
// and row decoder as any table (so the catalog's own column layout of those tables places the values):
//
//   sysindexes      id, indid, status, name, keys. status 0x800 marks the index of a PRIMARY KEY
//                   constraint, 0x1000 of a UNIQUE constraint, 0x10 a clustered index. keys holds one
//                   32-byte entry per key column: the column's type (xtype, length, collation) in bytes
//                   0-15, its column id at byte 16 (16 bits), and at byte 30 a mark that is 0 for the
//                   declared key columns and other than 0 for the columns the server appends to a
//                   nonclustered index to reach the row (the clustered key); a column id of 0 is the
//                   uniquifier.
//   sysreferences   constid, fkeyid, rkeyid, keycnt, forkeys, refkeys: one row per foreign key, the
//                   referencing and referenced column ids as 16-bit numbers, keycnt of each.
//
// A row whose values do not have these forms is left out.

#include "app/export_legacy_keys.h"

#include <charconv>

#include "app/export_files.h"
#include "engine/catalog/system_catalog.h"

namespace quenlow {

namespace {

constexpr std::int64_t kPrimaryKeyIndex = 0x800;
constexpr std::int64_t kUniqueConstraintIndex = 0x1000;
constexpr std::int64_t kClusteredIndex = 0x10;
constexpr std::size_t kKeyEntryBytes = 32;
constexpr std::size_t kKeyColumnAt = 16;
constexpr std::size_t kKeyAppendedAt = 30;

std::optional<std::int64_t> number(const Cell& cell) {
    if (!cell) return std::nullopt;
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(cell->data(), cell->data() + cell->size(), value);
    if (ec != std::errc() || end != cell->data() + cell->size()) return std::nullopt;
    return value;
}

std::string bytes_of(const Cell& cell) {
    std::string out;
    if (!cell || !hex_bytes(*cell, out)) out.clear();
    return out;
}

std::int32_t u16_at(const std::string& bytes, std::size_t at) {
    if (at + 1 >= bytes.size()) return -1;
    return static_cast<std::uint8_t>(bytes[at]) | (static_cast<std::uint8_t>(bytes[at + 1]) << 8);
}

using NamedRow = std::function<Cell(const char* column)>;

// Every row of a system table of the catalog, as a lookup of its cells by column name.
void each_system_row(MainFrame& frame, SystemCatalog& catalog, const PageRowDecoderFactory& decoder,
                     const std::string& table, const std::function<void(const NamedRow&)>& visit) {
    const SchemaObjectRow object = find_object(catalog, table, "S ");
    if (object.object_id < 0 || !frame.seams().assemble || !decoder) return;
    frame.seams().assemble(catalog, ObjectQuery{object.name, object.type, object.object_id},
                           frame.definitions().scan);
    if (!catalog.current_object_is_table) return;
    std::vector<ColumnDescriptor> schema = catalog.column_descriptors;
    const PageRowDecoder decode = decoder(catalog.database(), catalog, false);
    walk_table_page_lists(catalog.database(), catalog, frame.advanced(), [&](PageSource, std::vector<PageAddress> pages) {
        bool any = false;
        for (const PageAddress& page : pages) {
            if (frame.app().engine.stop_requested()) break;
            decode.each_row(page, schema, [&](const DecodedRow& row) {
                any = true;
                visit([&](const char* column) -> Cell {
                    for (const ColumnDescriptor& d : row)
                        if (d.name == column) return d.value_null ? Cell() : Cell(d.value_text);
                    return Cell();
                });
                return true;
            });
        }
        return any;
    });
}

}  // namespace

LegacyKeys read_legacy_keys(MainFrame& frame, SystemCatalog& catalog, const PageRowDecoderFactory& decoder) {
    LegacyKeys keys;
    each_system_row(frame, catalog, decoder, "sysindexes", [&](const NamedRow& row) {
        const auto id = number(row("id"));
        const auto status = number(row("status"));
        if (!id || !status || (*status & (kPrimaryKeyIndex | kUniqueConstraintIndex)) == 0) return;
        LegacyKey key;
        key.primary = (*status & kPrimaryKeyIndex) != 0;
        key.clustered = (*status & kClusteredIndex) != 0;
        key.name = row("name").value_or("");
        const std::string bytes = bytes_of(row("keys"));
        for (std::size_t at = 0; at + kKeyEntryBytes <= bytes.size(); at += kKeyEntryBytes) {
            const std::int32_t column = u16_at(bytes, at + kKeyColumnAt);
            if (bytes[at + kKeyAppendedAt] == 0 && column > 0) key.column_ids.push_back(column);
        }
        if (!key.column_ids.empty()) keys.keys[static_cast<std::int32_t>(*id)].push_back(std::move(key));
    });
    each_system_row(frame, catalog, decoder, "sysreferences", [&](const NamedRow& row) {
        const auto constraint = number(row("constid"));
        const auto from = number(row("fkeyid"));
        const auto to = number(row("rkeyid"));
        const auto count = number(row("keycnt"));
        const std::string forkeys = bytes_of(row("forkeys"));
        const std::string refkeys = bytes_of(row("refkeys"));
        if (!constraint || !from || !to || !count || *count <= 0 || *count > 16) return;
        LegacyForeignKey key;
        key.constraint_id = static_cast<std::int32_t>(*constraint);
        key.referenced_table_id = static_cast<std::int32_t>(*to);
        for (std::int64_t i = 0; i < *count; ++i) {
            const std::int32_t a = u16_at(forkeys, static_cast<std::size_t>(2 * i));
            const std::int32_t b = u16_at(refkeys, static_cast<std::size_t>(2 * i));
            if (a <= 0 || b <= 0) return;
            key.column_ids.push_back(a);
            key.referenced_column_ids.push_back(b);
        }
        keys.foreign_keys[static_cast<std::int32_t>(*from)].push_back(std::move(key));
    });
    return keys;
}

namespace {

std::string legacy_column_name(const SystemCatalog& catalog, std::int32_t table, std::int32_t column) {
    for (std::uint32_t i : catalog.index().legacy_columns_by_masked_object.find(static_cast<std::uint32_t>(table) & 0xFCFFFFFF)) {
        const LegacyColumnRow& row = catalog.legacy_columns[i];
        if (row.object_id == table && row.column_id == column && row.number == 0) return row.name;
    }
    return {};
}

}  // namespace

void add_legacy_keys(const SystemCatalog& catalog, const LegacyKeys& keys, std::int32_t table_id, ExportTable& table) {
    if (const auto found = keys.keys.find(table_id); found != keys.keys.end()) {
        for (const LegacyKey& key : found->second) {
            ExportKey out{key.name, {}, key.clustered};
            for (std::int32_t id : key.column_ids) {
                std::string name = legacy_column_name(catalog, table_id, id);
                if (name.empty()) break;
                out.columns.push_back(std::move(name));
            }
            if (out.columns.size() != key.column_ids.size()) continue;
            if (key.primary && !table.primary_key)
                table.primary_key = std::move(out);
            else if (!key.primary)
                table.unique_keys.push_back(std::move(out));
        }
    }
    if (const auto found = keys.foreign_keys.find(table_id); found != keys.foreign_keys.end()) {
        for (const LegacyForeignKey& key : found->second) {
            const SchemaObjectRow constraint = find_object_by_id(catalog, key.constraint_id);
            const SchemaObjectRow referenced = find_object_by_id(catalog, key.referenced_table_id);
            if (referenced.object_id < 0) continue;
            ExportForeignKey out;
            out.name = constraint.object_id < 0 ? std::string() : constraint.name;
            out.referenced_schema = schema_name(catalog, referenced.schema_id);
            out.referenced_table = referenced.name;
            for (std::size_t i = 0; i < key.column_ids.size(); ++i) {
                out.columns.push_back(legacy_column_name(catalog, table_id, key.column_ids[i]));
                out.referenced_columns.push_back(
                    legacy_column_name(catalog, key.referenced_table_id, key.referenced_column_ids[i]));
                if (out.columns.back().empty() || out.referenced_columns.back().empty()) break;
            }
            if (out.referenced_columns.size() == key.column_ids.size() && !out.referenced_columns.back().empty())
                table.foreign_keys.push_back(std::move(out));
        }
    }
}

}  // namespace quenlow
