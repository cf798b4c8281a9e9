#pragma once
// Lookup tables over the raw lists of a SystemCatalog, so that assembling one object costs in proportion
// to that object rather than to the whole catalog. Every table maps a key to the positions of the rows
// that carry it, in list order; walking those positions visits exactly the rows a scan of the whole list
// would have matched, in the same order.
//
// Each part is built on first use and rebuilt when the length of its list has changed since. Rows edited
// in place after a lookup are not noticed: whoever edits rows calls SystemCatalog::invalidate_index().

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace quenlow {

class SystemCatalog;

// The positions of the rows of one list by key. All positions sit in one array, grouped by key and in
// list order within a group; the hash table holds where each group starts. Two passes over the list
// build it (count, then place), so the build allocates per key only the hash node.
template <typename Key>
class PositionTable {
  public:
    std::span<const std::uint32_t> find(const Key& key) const {
        auto it = runs_.find(key);
        if (it == runs_.end()) return {};
        return std::span<const std::uint32_t>(positions_).subspan(it->second.first, it->second.count);
    }
    // Replaces the table with the rows of a list; key_of(row) gives a row's key.
    template <typename Row, typename KeyOf>
    void build(const std::vector<Row>& rows, KeyOf key_of) {
        runs_.clear();
        runs_.reserve(rows.size());
        for (const Row& row : rows) ++runs_[key_of(row)].count;
        std::uint32_t next = 0;
        for (auto& [key, run] : runs_) {
            run.first = next;
            next += run.count;
            run.count = 0;
        }
        positions_.assign(rows.size(), 0);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            Run& run = runs_.find(key_of(rows[i]))->second;
            positions_[run.first + run.count++] = static_cast<std::uint32_t>(i);
        }
    }

  private:
    struct Run {
        std::uint32_t first = 0;
        std::uint32_t count = 0;
    };
    std::unordered_map<Key, Run> runs_;
    std::vector<std::uint32_t> positions_;
};

// The two 32-bit halves of a composite key.
inline std::uint64_t pair_key(std::int32_t high, std::int32_t low) {
    return (std::uint64_t{static_cast<std::uint32_t>(high)} << 32) | static_cast<std::uint32_t>(low);
}

class CatalogIndex {
  public:
    // Brings every part up to date with the lists of the catalog.
    void refresh(const SystemCatalog& catalog);
    // Forgets every part; the next refresh rebuilds them.
    void invalidate() { *this = CatalogIndex(); }
    // Forgets the foreign key part only, for a foreign key list rebuilt in place.
    void invalidate_foreign_keys() { built_for_[kForeignKeys] = kUnbuilt; }

    PositionTable<std::string> objects_by_name;
    PositionTable<std::int32_t> objects_by_parent;
    PositionTable<std::int32_t> objects_by_id;
    PositionTable<std::int32_t> types_by_id;
    PositionTable<std::uint32_t> columns_by_masked_object;
    PositionTable<std::uint64_t> columns_by_object_and_column;  // pair_key(object id, column id)
    PositionTable<std::uint32_t> legacy_columns_by_masked_object;
    PositionTable<std::int32_t> rowsets_by_object;
    PositionTable<std::int64_t> allocation_units_by_owner;
    PositionTable<std::int64_t> rowset_columns_by_rowset;
    PositionTable<std::int64_t> hobt_columns_by_rowset;
    PositionTable<std::int64_t> column_links_by_rowset;
    PositionTable<std::int32_t> index_rows_by_object;
    PositionTable<std::int32_t> index_columns_by_object;
    PositionTable<std::int32_t> foreign_keys_by_referencing_table;

  private:
    static constexpr std::size_t kUnbuilt = std::numeric_limits<std::size_t>::max();
    enum Part : std::size_t {
        kObjects,
        kTypes,
        kColumns,
        kLegacyColumns,
        kRowsets,
        kAllocationUnits,
        kRowsetColumns,
        kHobtColumns,
        kColumnLinks,
        kIndexRows,
        kIndexColumns,
        kForeignKeys,
        kPartCount
    };
    // The list length each part was built for.
    std::size_t built_for_[kPartCount] = {kUnbuilt, kUnbuilt, kUnbuilt, kUnbuilt, kUnbuilt, kUnbuilt,
                                          kUnbuilt, kUnbuilt, kUnbuilt, kUnbuilt, kUnbuilt, kUnbuilt};
    bool stale(Part part, std::size_t size) {
        if (built_for_[part] == size) return false;
        built_for_[part] = size;
        return true;
    }
};

}  // namespace quenlow
