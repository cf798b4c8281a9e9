// The deleted-record scan: walks the body of a page record by record to find rows that no slot names
// any more (deleted rows whose slot was reused or cut off), and adds them to the slot array.
//
// From byte 96 the scan parses a record, steps over it by its length, and goes on from there. Where no
// record can be parsed it searches byte by byte for the start of a data row of the page's table:
//   status byte A   10 or 30 (a primary row with a null bitmap, without or with variable columns), 1C or
//                   3C (the same as a deleted data row, type 6), each also with bit 6 (versioning tag)
//   status byte B   00
//   fixed-part end  one that a record the page's slots name has: the rows of one table share it
// and, on any page, for a row whose fixed part ends at 132:
//   30 00 84 00   a primary row (null bitmap and variable columns)
//   3C 00 84 00   the same row as a deleted data row (type 6)
// Every position where a record was parsed becomes a slot, after the original ones. Compact records have
// no marker to search for: the scan steps from one to the next while the bytes there start one, up to
// the start of the page's free space. On a page with compression information the records start after
// it, and so does the scan.
//
// Every byte of the body is looked at a bounded number of times: the fixed-part ends and the slot
// offsets are kept as bit sets, so a page whose slots name thousands of records costs no more per byte
// than one that names a few.

#include <algorithm>
#include <bitset>
#include <vector>

#include "engine/pages/record_page.h"

namespace quenlow {

namespace {

constexpr std::int64_t kScanEnd = 8190;
constexpr std::uint32_t kLiveRowMarker = 0x00840030;
constexpr std::uint32_t kDeletedRowMarker = 0x0084003C;

// The largest fixed-part end a data row can have, and one bit for every end below it.
constexpr std::size_t kFixedEndLimit = 8060;
using FixedEnds = std::bitset<kFixedEndLimit>;

// The fixed-part ends of the ordinary data records the page's slots name (types 0, 1 and 6).
FixedEnds slot_fixed_ends(ByteSpan page, const std::vector<std::uint16_t>& slots) {
    FixedEnds ends;
    for (std::uint16_t offset : slots) {
        if (offset < page_layout::kHeaderSize || offset + 4u > page.size()) continue;
        const auto status = std::to_integer<std::uint8_t>(page[offset]);
        const unsigned type = (status >> 1) & 0x07u;
        if ((status & 0x01) != 0 || (type != 0 && type != 1 && type != 6)) continue;
        const auto end = load_le_or<std::uint16_t>(page, offset + 2u, 0);
        if (end >= 4 && end < kFixedEndLimit) ends.set(end);
    }
    return ends;
}

bool is_row_marker(ByteSpan buffer, std::int64_t pos, const FixedEnds& fixed_ends) {
    const auto word = load_le_or<std::uint32_t>(buffer, static_cast<std::size_t>(pos), 0);
    if (word == kLiveRowMarker || word == kDeletedRowMarker) return true;
    const unsigned status = (word & 0xFFu) & ~0x40u;
    if (((word >> 8) & 0xFFu) != 0 || (status != 0x10 && status != 0x30 && status != 0x1C && status != 0x3C))
        return false;
    const auto end = static_cast<std::uint16_t>(word >> 16);
    return end < kFixedEndLimit && fixed_ends.test(end);
}

// Compact records lie back to back and carry no marker: after one, the next is read where its status
// byte says compact format.
bool is_compact_start(ByteSpan buffer, std::int64_t pos) {
    return pos >= 0 && static_cast<std::size_t>(pos) < buffer.size() &&
           (std::to_integer<std::uint8_t>(buffer[static_cast<std::size_t>(pos)]) & 0x01) != 0;
}

// Drops what the scan does not need to keep of a candidate record.
void trim_candidate(CRecord& record) {
    record.values.clear();
    record.null_bitmap = {};
}

}  // namespace

void PrimaryRecordPage::run_body_scan() {
    const std::vector<std::uint16_t>& slots = *slot_array_;
    std::vector<std::int32_t> found(slots.begin(), slots.end());
    std::bitset<kPageSize> slotted;  // the offsets the original slots name
    for (std::uint16_t offset : slots) {
        if (offset < kPageSize) slotted.set(offset);
    }
    const ByteSpan page = page_bytes();
    const ByteSpan buffer = this->buffer();
    std::int64_t position = page_layout::kHeaderSize + static_cast<std::int64_t>(compression_.size);
    std::int64_t last_marker = 0;
    const FixedEnds fixed_ends = slot_fixed_ends(page, slots);

    // Moves position to the next row marker; false when the body ends first.
    auto search_forward = [&]() {
        if (position == last_marker) ++position;
        for (; position < kScanEnd; ++position) {
            if (is_row_marker(buffer, position, fixed_ends)) {
                last_marker = position;
                return true;
            }
        }
        return false;
    };

    while (position < kScanEnd && !stop_requested()) {
        ScanRecord scan = parse_record_for_scan(page.subspan(static_cast<std::size_t>(position)), *this);
        if (scan.length <= 0) {
            if (!search_forward()) break;
            continue;
        }
        const bool compact = scan.record->compressed;
        trim_candidate(*scan.record);
        candidates_.push_back(std::move(scan.record));
        if (!slotted.test(static_cast<std::size_t>(position))) found.push_back(static_cast<std::int32_t>(position));
        const std::int64_t next = position + scan.length;
        position = next;
        if (next >= static_cast<std::int64_t>(kPageSize) || is_row_marker(buffer, next, fixed_ends) ||
            (compact && next < header_.free_data && is_compact_start(buffer, next)))
            continue;
        if (!search_forward()) break;
    }

    if (found.size() >= static_cast<std::size_t>(std::max<int>(header_.slot_count, 0))) {
        header_.slot_count = static_cast<std::int16_t>(found.size());
        std::vector<std::uint16_t> rebuilt;
        rebuilt.reserve(found.size());
        for (std::int32_t offset : found) rebuilt.push_back(static_cast<std::uint16_t>(offset));
        slot_array_ = std::move(rebuilt);
    }
}

}  // namespace quenlow
