#pragma once
// The check marks of the object tree, as the window last drew them: which items the user checked, for the
// commands that work on the checked items (Save). The window writes them on its thread; a command reads
// them on another, so the map is locked.
//
// Smart checking is the window's: checking an item checks its descendants, and a parent whose children
// are partly checked shows the mixed mark. Every item whose mark changed is written here.

#include <map>
#include <mutex>
#include <vector>

#include "app/object_tree.h"

namespace quenlow {

enum class CheckMark { kUnchecked, kPartly, kChecked };

class TreeCheckMarks {
public:
    void set(TreeItemId item, CheckMark mark) {
        std::lock_guard lock(mutex_);
        if (mark == CheckMark::kUnchecked)
            marks_.erase(item);
        else
            marks_[item] = mark;
    }
    CheckMark mark(TreeItemId item) const {
        std::lock_guard lock(mutex_);
        const auto it = marks_.find(item);
        return it == marks_.end() ? CheckMark::kUnchecked : it->second;
    }
    // The fully checked items, by id.
    std::vector<TreeItemId> checked() const {
        std::lock_guard lock(mutex_);
        std::vector<TreeItemId> out;
        for (const auto& [item, mark] : marks_)
            if (mark == CheckMark::kChecked) out.push_back(item);
        return out;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        marks_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::map<TreeItemId, CheckMark> marks_;
};

}  // namespace quenlow
