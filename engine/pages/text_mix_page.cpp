#include "engine/pages/text_mix_page.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "engine/pages/opened_database.h"
#include "engine/pages/page_header.h"

namespace quenlow {

namespace L = lob_layout;
namespace R = record_layout;

std::unique_ptr<TextRecord> parse_text_record(ByteSpan bytes, const CPage& page) {
    const auto max_length = static_cast<std::uint16_t>(std::min<std::size_t>(bytes.size(), kPageSize));
    auto record = std::make_unique<TextRecord>(&page, max_length);
    const ByteSpan p = bytes.first(max_length);
    if (p.size() < L::kLobStart) {
        record->invalid = true;
        return record;
    }
    const auto status = std::to_integer<std::uint8_t>(p[R::kStatusA]);
    record->type = (status >> 1) & 7;
    record->has_null_bitmap = (status & R::kNullBitmapBit) != 0;
    record->has_variable_columns = (status & R::kVariableColumnsBit) != 0;
    record->versioning = (status & R::kVersioningBit) != 0;
    record->status_b_is_one = std::to_integer<std::uint8_t>(p[R::kStatusB]) == 1;

    const std::int32_t f = load_le<std::int16_t>(p, R::kFixedEnd);
    const std::int32_t d = f - static_cast<std::int32_t>(L::kLobStart);
    record->length = static_cast<std::int32_t>(L::kLobStart);
    if (d <= 0 || static_cast<std::size_t>(d) > p.size() - L::kLobStart) return record;

    record->lob_bytes = p.subspan(L::kLobStart, static_cast<std::size_t>(d));
    record->whole = p.first(L::kLobStart + static_cast<std::size_t>(d));
    record->fixed_part = record->lob_bytes;
    record->length = f;
    if (static_cast<std::size_t>(d) < L::kLobHeaderSize) {
        record->lob_type = L::kLobTypeNone;
        record->lob_length = d;
        return record;
    }
    record->blob_id = load_le<std::uint64_t>(record->lob_bytes, L::kBlobId);
    record->lob_type = load_le<std::uint16_t>(record->lob_bytes, L::kLobType);
    record->lob_length = d - static_cast<std::int32_t>(L::kLobHeaderSize);
    return record;
}

TextMixPage::TextMixPage(PageBuffer buffer, OpenedDatabase* database)
    : RecordPage(std::move(buffer), database, true) {
    slot_array_ = read_slot_array(page_bytes(), header_);
    if (!slot_array_) return;
    records_.reserve(slot_array_->size());
    for (std::uint16_t offset : *slot_array_) {
        if (stop_requested()) break;
        // The header is no record, and a record needs its four header bytes on the page.
        if (offset < page_layout::kHeaderSize || offset > kPageSize - L::kLobStart) {
            records_.push_back(nullptr);
            continue;
        }
        records_.push_back(parse_text_record(page_bytes().subspan(offset), *this));
    }
}

const TextRecord* TextMixPage::text_record(std::size_t i) const {
    // Every record this class puts in its list is a text record.
    return i < records_.size() ? static_cast<const TextRecord*>(records_[i].get()) : nullptr;
}

std::unique_ptr<TextMixPage> read_lob_page(OpenedDatabase& database, PageAddress address) {
    std::optional<PageBuffer> raw = database.read_raw_page(address);
    if (!raw) return nullptr;
    const std::int64_t own_id = load_le<std::int32_t>(*raw, page_layout::kPageId);
    const std::int64_t shift = own_id - address.page_id;
    if (shift != 0) {
        const std::int64_t target = std::int64_t{address.page_id} - shift;
        if (target <= 0 || target > std::numeric_limits<std::int32_t>::max()) return nullptr;
        raw = database.read_raw_page({address.file_id, static_cast<std::int32_t>(target)});
        if (!raw) return nullptr;
    }
    return std::make_unique<TextMixPage>(std::move(*raw), &database);
}

}  // namespace quenlow
