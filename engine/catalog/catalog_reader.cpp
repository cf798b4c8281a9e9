#include "engine/catalog/catalog_reader.h"

#include <algorithm>
#include <vector>

#include "engine/pages/opened_database.h"
#include "engine/pages/record_page.h"

namespace quenlow {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool is_high_surrogate(char32_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool is_low_surrogate(char32_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

}  // namespace

void FixedData::read(std::size_t offset, PageAddress& field) const {
    if (!holds(offset, 6)) return;
    field.page_id = load_le<std::int32_t>(bytes_.data() + offset);
    field.file_id = load_le<std::uint16_t>(bytes_.data() + offset + 4);
}

std::optional<ByteSpan> FixedData::slice(std::size_t offset, std::size_t length) const {
    if (!holds(offset, length)) return std::nullopt;
    return bytes_.subspan(offset, length);
}

std::string utf16z_to_utf8(ByteSpan bytes) {
    const std::size_t units = bytes.size() / 2;
    std::string out;
    for (std::size_t i = 0; i < units; ++i) {
        char32_t u = load_le<std::uint16_t>(bytes.data() + 2 * i);
        if (u == 0) break;
        if (is_high_surrogate(u) && i + 1 < units) {
            char32_t next = load_le<std::uint16_t>(bytes.data() + 2 * i + 2);
            if (is_low_surrogate(next)) {
                append_utf8(out, 0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00));
                ++i;
                continue;
            }
        }
        append_utf8(out, is_high_surrogate(u) || is_low_surrogate(u) ? kReplacement : u);
    }
    return out;
}

std::optional<std::string> record_name(const CRecord& record) {
    if (record.values.empty() || !record.values.front().has_data()) return std::nullopt;
    return utf16z_to_utf8(record.values.front().data);
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
        auto page = read_data_page(*database_, entry.address());
        if (page) visit(*page);
    }
}

bool CatalogReader::for_each_record(const CDataPage& page, RecordSelection records,
                                    const RecordVisitor& visit) const {
    const std::size_t declared = static_cast<std::size_t>(std::max<int>(page.header().slot_count, 0));
    const std::size_t n = std::min(page.records().size(), declared);
    for (std::size_t i = 0; i < n; ++i) {
        if (stop_requested()) return false;
        const CPrimaryRecord* record = page.primary_record(i);
        if (record == nullptr || record->invalid || record->type == kRecordLargeFragment) continue;
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
