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
#include <functional>
#include <limits>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

namespace quenlow {

class SystemCatalog;

// The positions of the rows of one list by key, in flat arrays: the distinct keys in the order they
// first appear, each with the start and length of its group in one array of positions (groups in that
// same order, list order within a group), and an open-addressing slot table (linear probing, at most
// half full) from a key's hash to the key's index. A lookup touches a slot, a key, a group and the
// positions; the build allocates nothing per key. As a list usually holds the rows of one object
// together, the positions array mostly follows the list.
template <typename Key>
class PositionTable {
  public:
    std::span<const std::uint32_t> find(const Key& key) const {
        const std::uint32_t k = lookup(key);
        if (k == kEmpty) return {};
        return std::span<const std::uint32_t>(positions_).subspan(groups_[k].first, groups_[k].count);
    }
    // Replaces the table with the rows of a list; key_of(row) gives a row's key.
    template <typename Row, typename KeyOf>
    void build(const std::vector<Row>& rows, KeyOf key_of) {
        keys_.clear();
        groups_.clear();
        shift_ = 60;
        while ((std::size_t{1} << (64 - shift_)) < 2 * rows.size()) --shift_;
        slots_.assign(std::size_t{1} << (64 - shift_), kEmpty);
        std::vector<std::uint32_t> group_of(rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const std::uint32_t k = insert(key_of(rows[i]));
            ++groups_[k].count;
            group_of[i] = k;
        }
        std::uint32_t next = 0;
        for (Group& g : groups_) {
            g.first = next;
            next += g.count;
            g.count = 0;
        }
        positions_.assign(rows.size(), 0);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            Group& g = groups_[group_of[i]];
            positions_[g.first + g.count++] = static_cast<std::uint32_t>(i);
        }
    }

  private:
    static constexpr std::uint32_t kEmpty = std::numeric_limits<std::uint32_t>::max();
    struct Group {
        std::uint32_t first = 0;
        std::uint32_t count = 0;
    };

    // The top bits of a multiplicative hash, which depend on every bit of the key: ids that differ only in
    // high bits, or follow each other, land far apart. Strings take the library's hash first.
    std::size_t slot_of(const Key& key) const {
        std::uint64_t h;
        if constexpr (std::is_integral_v<Key>)
            h = static_cast<std::uint64_t>(key);
        else
            h = std::hash<Key>{}(key);
        return static_cast<std::size_t>((h * 0x9E3779B97F4A7C15ull) >> shift_);
    }
    std::uint32_t lookup(const Key& key) const {
        if (slots_.empty()) return kEmpty;
        for (std::size_t s = slot_of(key);; s = (s + 1) & (slots_.size() - 1)) {
            const std::uint32_t k = slots_[s];
            if (k == kEmpty || keys_[k] == key) return k;
        }
    }
    std::uint32_t insert(const Key& key) {
        std::size_t s = slot_of(key);
        for (;; s = (s + 1) & (slots_.size() - 1)) {
            const std::uint32_t k = slots_[s];
            if (k == kEmpty) break;
            if (keys_[k] == key) return k;
        }
        slots_[s] = static_cast<std::uint32_t>(keys_.size());
        keys_.push_back(key);
        groups_.emplace_back();
        return slots_[s];
    }

    std::vector<Key> keys_;
    std::vector<Group> groups_;
    std::vector<std::uint32_t> slots_;
    std::vector<std::uint32_t> positions_;
    int shift_ = 60;  // 64 - log2(number of slots)
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
