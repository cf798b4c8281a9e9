// The walks that turn a starting page into the ordered list of a table's pages.

#include <set>

#include "engine/pages/allocation_map.h"
#include "engine/pages/opened_database.h"

namespace quenlow {

namespace {

bool addressable(PageAddress a) {
    return a.file_id != 0 && a.page_id != 0;
}

bool owned(const TablePages* owner, const CPage_Header& header) {
    return owner == nullptr || owner->owns(header);
}

// Appends what one IAM page allocates: its single-page slots, then its extents page by page. A page
// of an extent the PFS marks free is left out: it may still hold the records it had before it was
// freed. The single-page slots name their pages one by one and are kept.
void append_iam_pages(const IamPage& iam, OpenedDatabase& database, PageFreeSpace& free_space,
                      std::vector<PageAddress>& pages) {
    const EngineState& state = database.state();
    const std::uint64_t page_count = database.primary().page_count;
    for (const PageAddress& slot : iam.iam_header().single_pages) {
        if (state.stop_requested()) break;
        if (slot.page_id > 0 && static_cast<std::uint64_t>(slot.page_id) <= page_count && slot.file_id != 0)
            pages.push_back(slot);
    }
    for (const ExtentRange& extent : iam.allocated_extents()) {
        if (state.stop_requested()) break;
        for (const PageAddress& page : extent_pages(extent)) {
            if (addressable(page) && !free_space.known_free(page)) pages.push_back(page);
        }
    }
}

}  // namespace

std::vector<PageAddress> walk_iam_chain(OpenedDatabase& database, PageAddress start,
                                        std::span<const PageMapEntry> legacy_iam_pages,
                                        const TablePages* owner, IamWalkEnd* end) {
    std::vector<PageAddress> pages;
    const EngineState& state = database.state();
    const bool legacy = state.sql2000_layout.load();
    std::size_t next_legacy = 0;
    PageAddress current = start;
    if (legacy) {
        if (legacy_iam_pages.empty()) return pages;
        current = legacy_iam_pages[next_legacy++].address();
    }
    std::set<PageAddress> visited;
    PageFreeSpace free_space(database);
    while (current.page_id != 0 && !state.stop_requested()) {
        if (!visited.insert(current).second) {
            if (end != nullptr && !legacy) end->broken_at = current;  // the chain runs in a circle
            break;
        }
        auto iam = read_iam_page(database, current);
        if (!iam || !owned(owner, iam->header())) {
            // The 2000 layout's list comes from the page map: one bad IAM page does not hide the others.
            if (legacy && next_legacy < legacy_iam_pages.size()) {
                current = legacy_iam_pages[next_legacy++].address();
                continue;
            }
            if (end != nullptr) end->broken_at = current;
            break;
        }
        append_iam_pages(*iam, database, free_space, pages);
        if (legacy) {
            if (next_legacy >= legacy_iam_pages.size()) break;
            current = legacy_iam_pages[next_legacy++].address();
        } else {
            current = iam->header().next_page;
        }
    }
    if (end != nullptr) end->visited.assign(visited.begin(), visited.end());
    return pages;
}

std::vector<PageAddress> walk_data_page_chain(OpenedDatabase& database, PageAddress start,
                                              const TablePages* owner) {
    std::vector<PageAddress> pages;
    std::set<std::int32_t> visited;
    PageAddress current = start;
    while (current.page_id != 0 && !database.state().stop_requested()) {
        // Only the next-page pointer is needed, so the header stands in for the whole data page.
        auto header = database.read_page_header(current);
        if (!header || !owned(owner, *header)) break;
        if (addressable(current)) {
            if (!visited.insert(current.page_id).second) break;
            pages.push_back(current);
        }
        current = header->next_page;
    }
    return pages;
}

std::vector<PageAddress> walk_header_chain(OpenedDatabase& database, PageAddress start,
                                           const TablePages* owner) {
    std::vector<PageAddress> pages;
    if (addressable(start)) pages.push_back(start);
    std::set<std::int32_t> visited;
    PageAddress current = start;
    while (current.page_id != 0 && !database.state().stop_requested()) {
        if (!visited.insert(current.page_id).second) break;
        auto header = database.read_page_header(current);
        if (!header) break;
        if (!owned(owner, *header)) {
            // The page was listed as the next one of its predecessor (or as the start).
            if (!pages.empty() && pages.back() == current) pages.pop_back();
            break;
        }
        const PageAddress next = header->next_page;
        if (header->page_type == kPageTypeData && addressable(next) && !visited.count(next.page_id))
            pages.push_back(next);
        current = next;
    }
    database.state().stop.store(false);
    return pages;
}

}  // namespace quenlow
