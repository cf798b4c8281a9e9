#include "engine/catalog/catalog_reader.h"

#include <algorithm>
#include <vector>

#include "engine/pages/opened_database.h"
#include "engine/pages/page_owner.h"
#include "engine/pages/record_page.h"
#include "engine/pages/text_codec.h"

namespace quenlow {

void FixedData::read(std::size_t offset, PageAddress& field) const {
    if (!holds(offset, 6)) return;
    field.page_id = load_le<std::int32_t>(bytes_, offset);
    field.file_id = load_le<std::uint16_t>(bytes_, offset + 4);
}

std::optional<ByteSpan> FixedData::slice(std::size_t offset, std::size_t length) const {
    if (!holds(offset, length)) return std::nullopt;
    return bytes_.subspan(offset, length);
}

std::optional<std::string> record_name(const CRecord& record) {
    if (record.values.empty() || !record.values.front().has_data()) return std::nullopt;
    return utf16le_to_utf8(record.values.front().data);
}

bool CatalogReader::stop_requested() const {
    return database_->state().stop_requested();
}

std::string CatalogReader::make_repair_name(std::string_view prefix) {
    std::string name(prefix);
    name += std::to_string(repair_counter_++);
    return name;
}

void CatalogReader::for_each_page(std::int32_t object_id, PageSelection pages,
                                  const PageVisitor& visit) const {
    // A copy: the lists must not be read through a view while anything could add to the map.
    const auto listed = database_->system_pages().lookup(object_id);
    const std::vector<PageMapEntry> entries(listed.begin(), listed.end());
    for (const PageMapEntry& entry : entries) {
        if (stop_requested()) return;
        if (pages == PageSelection::kDataPagesOnly && entry.page_type != kPageTypeData) continue;
        // A unit made for a table's data whose object number happens to be this system table's id.
        if (names_new_unit(entry.index_id)) continue;
        auto page = read_data_page(*database_, entry.address());
        if (page) visit(*page);
    }
}

bool CatalogReader::for_each_record(const CDataPage& page, RecordSelection records,
                                    const RecordVisitor& visit) const {
    const std::size_t declared = static_cast<std::size_t>(std::max<int>(page.header().slot_count, 0));
    const std::size_t n = std::min(page.records().size(), declared);
    // Only the rows the catalog holds now: a ghost (a deleted or replaced catalog row the server had not
    // cleaned away) or a record the body scan found would add stale objects and columns beside the live
    // ones, whatever the deleted-record settings ask for the user's tables.
    const std::size_t listed = std::min(n, page.listed_slots());
    for (std::size_t i = 0; i < listed; ++i) {
        if (stop_requested()) return false;
        const CPrimaryRecord* record = page.primary_record(i);
        if (record == nullptr || record->invalid || record->type == kRecordLargeFragment) continue;
        if (record->type >= kRecordGhostIndex) continue;
        if (records == RecordSelection::kSkipFragmentsAndIndexRows && record->type == kRecordIndex) continue;
        visit(*record);
    }
    return true;
}

void CatalogReader::for_each_record(std::int32_t object_id, PageSelection pages, RecordSelection records,
                                    const RecordVisitor& visit) const {
    for_each_page(object_id, pages, [&](const CDataPage& page) { for_each_record(page, records, visit); });
}

}  // namespace quenlow
