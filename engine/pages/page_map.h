#pragma once
// A page map: object id -> the pages that carry it, in the order the mapping pass met them.

#include <cstdint>
#include <map>
#include <span>
#include <vector>

#include "engine/pages/page_address.h"

namespace quenlow {

class PageMap {
public:
    using Lists = std::map<std::int32_t, std::vector<PageMapEntry>>;

    void append(std::int32_t object_id, const PageMapEntry& entry) { lists_[object_id].push_back(entry); }
    // Appends a run of entries of one object, in order.
    void append(std::int32_t object_id, std::vector<PageMapEntry>&& entries) {
        auto& mine = lists_[object_id];
        if (mine.empty()) mine = std::move(entries);
        else mine.insert(mine.end(), entries.begin(), entries.end());
    }
    void merge(const PageMap& other) {
        for (const auto& [id, list] : other.lists_) {
            auto& mine = lists_[id];
            mine.insert(mine.end(), list.begin(), list.end());
        }
    }
    // The pages of an object; empty when the object has none.
    std::span<const PageMapEntry> lookup(std::int32_t object_id) const {
        auto it = lists_.find(object_id);
        if (it == lists_.end()) return {};
        return it->second;
    }
    bool empty() const { return lists_.empty(); }
    std::size_t object_count() const { return lists_.size(); }
    std::size_t entry_count() const {
        std::size_t n = 0;
        for (const auto& [id, list] : lists_) n += list.size();
        return n;
    }
    const Lists& lists() const { return lists_; }

private:
    Lists lists_;
};

}  // namespace quenlow
