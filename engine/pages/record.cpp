#include "engine/pages/record.h"

#include <algorithm>

#include "engine/pages/compressed_record.h"
#include "engine/pages/opened_database.h"
#include "engine/pages/record_page.h"

namespace quenlow {

namespace R = record_layout;

ByteSpan CRecord::adopt(std::vector<std::byte> bytes) {
    auto owned = std::make_shared<const std::vector<std::byte>>(std::move(bytes));
    ByteSpan view(*owned);
    owned_.push_back(std::move(owned));
    return view;
}

namespace {

bool type_accepted(std::int32_t type, bool show_deleted) {
    return type == kRecordPrimary || type == kRecordForwarded || type == kRecordForwardingStub ||
           (type == kRecordDeletedData && show_deleted);
}

void decode_status_a(CPrimaryRecord& record, std::uint8_t status, bool show_deleted) {
    record.compressed = (status & R::kCompactFormatBit) != 0;
    record.type = (status >> 1) & 7;
    record.has_null_bitmap = (status & R::kNullBitmapBit) != 0;
    record.has_variable_columns = (status & R::kVariableColumnsBit) != 0;
    record.versioning = (status & R::kVersioningBit) != 0;
    record.ghost = record.type >= kRecordGhostIndex && !show_deleted;
}

// Whether n bytes at pos lie inside bytes; pos and n may be anything.
bool fits(ByteSpan bytes, std::int64_t pos, std::int64_t n) {
    return pos >= 0 && n >= 0 && static_cast<std::uint64_t>(pos) <= bytes.size() &&
           static_cast<std::uint64_t>(n) <= bytes.size() - static_cast<std::uint64_t>(pos);
}

// A u16 at pos, 0 when it lies outside bytes; a negative pos wraps past the end and reads as 0 too.
std::uint16_t u16_at(ByteSpan bytes, std::int64_t pos) {
    return load_le<std::uint16_t>(bytes, static_cast<std::size_t>(pos));
}

// Parses the null bitmap and the variable columns of a record whose column count has been read and
// accepted; `p` is the record cut at its maximum length. Returns the parse position reached.
class RecordBodyParser {
  public:
    RecordBodyParser(CPrimaryRecord& record, ByteSpan p, const CPage& page)
        : record_(record), p_(p), page_(page), m_(static_cast<std::int64_t>(p.size())) {}

    std::int64_t parse_after_column_count(std::int64_t pos) {
        if (record_.has_null_bitmap) {
            const std::int64_t n = (record_.column_count + 7) / 8;
            if (fits(p_, pos, n)) record_.null_bitmap = p_.subspan(static_cast<std::size_t>(pos), n);
            pos += n;
        }
        // A record without a null bitmap is read as if it had variable columns: its variable column
        // count then either comes from the record or, with no fixed part either, is the column count.
        if (record_.has_variable_columns || !record_.has_null_bitmap) pos = parse_variable_columns(pos);
        return pos;
    }

  private:
    std::int64_t parse_variable_columns(std::int64_t q) {
        std::int64_t count = 0;
        if (!record_.has_fixed_part() && record_.null_bitmap.empty()) {
            count = record_.column_count;
        } else {
            if (q + 2 <= m_) count = u16_at(p_, q);
            q += 2;
        }
        if (count > record_.column_count) {
            count = 0;
            q = 0;
        }
        record_.variable_column_count = static_cast<std::uint16_t>(count);
        if (count < 1 || count > R::kMaxColumns) return q;

        // The end offsets are read in place (an end past the record reads 0).
        const std::int64_t ends_at = q;
        const auto raw_end_at = [&](std::int64_t i) -> std::uint16_t {
            const std::int64_t at = ends_at + 2 * i;
            return at + 2 <= m_ ? u16_at(p_, at) : 0;
        };
        q += 2 * count;

        std::int64_t start = q;
        // Room for the end offsets the record actually holds; ends past the record still add a (refused)
        // item each, at most kMaxColumns of them.
        const std::int64_t ends_held = ends_at < m_ ? (m_ - ends_at) / 2 : 0;
        record_.values.reserve(static_cast<std::size_t>(std::min(count, ends_held)));
        for (std::int64_t i = 0; i < count; ++i) {
            const std::uint16_t raw_end = raw_end_at(i);
            if (page_.stop_requested()) break;
            ValueItem item;
            item.complex = (raw_end & R::kComplexBit) != 0;
            const std::int64_t end = raw_end & ~R::kComplexBit;
            if (value_acceptable(start, end)) {
                item.data =
                    p_.subspan(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
                item.length = static_cast<std::int32_t>(end - start);
                if (item.complex && item.data.size() != R::kTextPointerSize &&
                    std::to_integer<std::uint8_t>(item.data[0]) == R::kSparseVectorMark) {
                    if (auto sparse = split_sparse_vector(item.data, page_))
                        record_.sparse = std::move(sparse);
                }
                start = end;
            } else {
                item.refused = end != start;
            }
            record_.values.push_back(std::move(item));
        }
        return start;
    }

    // A value runs from start to end. A value ending before it starts is refused like any other bad
    // offset; end <= m keeps it inside the record and the page.
    bool value_acceptable(std::int64_t start, std::int64_t end) const {
        return end <= m_ && end < R::kMaxValueLength && end - start < R::kMaxValueLength && start != end &&
               start >= 1 && start <= R::kMaxValueLength - 1 && end > start;
    }

    CPrimaryRecord& record_;
    ByteSpan p_;
    const CPage& page_;
    std::int64_t m_;
};

// Follows a forwarding stub to the row it names and returns a copy of that row's bytes followed by one
// zero byte, kept by record; nothing when the stub cannot be followed.
std::optional<ByteSpan> follow_stub(CPrimaryRecord& record, ByteSpan stub, const CPage& page,
                                    int forwarding_hops) {
    OpenedDatabase* database = page.database();
    if (database == nullptr || forwarding_hops >= R::kMaxForwardingHops) return std::nullopt;
    if (!fits(stub, 0, R::kStubSize)) return std::nullopt;
    const PageAddress target{load_le<std::uint16_t>(stub, R::kStubFileId),
                             load_le<std::int32_t>(stub, R::kStubPageId)};
    const std::int16_t slot = load_le<std::int16_t>(stub, R::kStubSlot);
    if (slot < 0) return std::nullopt;
    auto raw = database->read_raw_page(target);
    if (!raw) return std::nullopt;
    PrimaryRecordPage target_page(std::move(*raw), *database, SingleSlot{slot, forwarding_hops + 1});
    const CPrimaryRecord* row = target_page.primary_record(0);
    if (row == nullptr || row->length < 1 || row->whole.empty()) return std::nullopt;
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(row->length), row->whole.size());
    std::vector<std::byte> copy(row->whole.begin(), row->whole.begin() + static_cast<std::ptrdiff_t>(n));
    copy.push_back(std::byte{0});
    return record.adopt(std::move(copy));
}

}  // namespace

void build_primary_record(CPrimaryRecord& record_out, ByteSpan record, const CPage& page, int forwarding_hops) {
    CPrimaryRecord* rec = &record_out;
    const std::uint16_t max_length = rec->max_length;
    if (!page.accepts_records()) {
        rec->invalid = true;
        return;
    }
    ByteSpan p = record.first(std::min<std::size_t>(record.size(), max_length));
    if (p.empty()) {
        rec->invalid = true;
        return;
    }
    const bool show_deleted = page.show_deleted();
    decode_status_a(*rec, std::to_integer<std::uint8_t>(p[R::kStatusA]), show_deleted);
    if (!type_accepted(rec->type, show_deleted)) {
        rec->invalid = true;
        return;
    }
    if (rec->compressed) {
        parse_compact_record(*rec, p, page);
        return;
    }
    if (rec->type == kRecordForwardingStub) {
        auto row = follow_stub(*rec, p, page, forwarding_hops);
        if (!row) {
            rec->fixed_length = R::kUnresolvedStub;
            return;
        }
        // The row is parsed in place of the stub, still typed as reached through a stub.
        p = row->first(std::min<std::size_t>(row->size(), max_length));
        decode_status_a(*rec, std::to_integer<std::uint8_t>(p[R::kStatusA]), show_deleted);
        rec->type = kRecordForwardingStub;
    }

    const std::int64_t limit = static_cast<std::int64_t>(p.size());
    rec->status_b_is_one = limit > 1 && std::to_integer<std::uint8_t>(p[R::kStatusB]) == 1;
    const std::int64_t fixed_end = load_le<std::int16_t>(p, R::kFixedEnd);
    const std::int64_t f = fixed_end - 4;
    rec->fixed_length = static_cast<std::int16_t>(f);
    std::int64_t pos = R::kFixedStart;
    const bool fixed_refused = fixed_end <= 4 || fixed_end >= R::kMaxFixedEnd || rec->type == kRecordIndex ||
                               f > max_length || !fits(p, R::kFixedStart, f);
    if (!fixed_refused) {
        rec->fixed_part = p.subspan(R::kFixedStart, static_cast<std::size_t>(f));
        pos += f;
    }
    if (rec->type != kRecordIndex) {
        rec->column_count = u16_at(p, pos);
        if (rec->column_count >= 1 && rec->column_count <= R::kMaxColumns) {
            pos = RecordBodyParser(*rec, p, page).parse_after_column_count(pos + 2);
            if (pos > 0 && pos <= limit) rec->whole = p.first(static_cast<std::size_t>(pos));
        }
    }
    rec->length = static_cast<std::int32_t>(pos);
}

std::unique_ptr<CPrimaryRecord> build_primary_record(ByteSpan record, const CPage& page,
                                                     std::uint16_t max_length, int forwarding_hops) {
    auto rec = std::make_unique<CPrimaryRecord>(&page, max_length);
    build_primary_record(*rec, record, page, forwarding_hops);
    return rec;
}

std::optional<StubPlace> back_pointer(const CRecord& forwarded) {
    if (forwarded.values.empty()) return std::nullopt;
    const ValueItem& last = forwarded.values.back();
    const ByteSpan b = last.data;
    if (!last.complex || b.size() != R::kBackPointerSize ||
        load_le<std::uint16_t>(b, 0) != R::kBackPointerKind)
        return std::nullopt;
    return StubPlace{load_le<std::uint16_t>(b, R::kBackPointerFileId),
                     load_le<std::int32_t>(b, R::kBackPointerPageId),
                     load_le<std::int16_t>(b, R::kBackPointerSlot)};
}

bool stub_names(ByteSpan record, std::uint16_t file_id, std::int32_t page_id, std::int32_t slot) {
    if (!fits(record, 0, R::kStubSize)) return false;
    const auto status = std::to_integer<std::uint8_t>(record[R::kStatusA]);
    if ((status & R::kCompactFormatBit) != 0 || ((status >> 1) & 7) != kRecordForwardingStub) return false;
    return load_le<std::int32_t>(record, R::kStubPageId) == page_id &&
           load_le<std::uint16_t>(record, R::kStubFileId) == file_id &&
           load_le<std::int16_t>(record, R::kStubSlot) == slot;
}

ScanRecord parse_record_for_scan(ByteSpan record, const CPage& page) {
    ScanRecord out;
    out.record = std::make_unique<CPrimaryRecord>(&page, static_cast<std::uint16_t>(R::kMaxRowLength));
    CPrimaryRecord& rec = *out.record;
    ByteSpan p = record.first(std::min<std::size_t>(record.size(), R::kMaxRowLength));
    if (!page.accepts_records() || p.empty()) {
        rec.invalid = true;
        return out;
    }
    decode_status_a(rec, std::to_integer<std::uint8_t>(p[R::kStatusA]), page.show_deleted());
    if (!type_accepted(rec.type, page.show_deleted())) rec.invalid = true;
    if (rec.invalid || rec.type == kRecordForwardingStub) return out;
    if (rec.compressed) {
        parse_compact_record(rec, p, page);
        if (!rec.invalid) out.length = rec.length;
        return out;
    }

    rec.status_b_is_one = p.size() > 1 && std::to_integer<std::uint8_t>(p[R::kStatusB]) == 1;
    const std::int64_t fixed_end = load_le<std::int16_t>(p, R::kFixedEnd);
    const std::int64_t f = fixed_end - 4;
    rec.fixed_length = static_cast<std::int16_t>(f);
    std::int64_t pos = R::kFixedStart;
    if (f >= 1 && f <= R::kMaxRowLength - 1 && rec.type != kRecordIndex && fits(p, R::kFixedStart, f))
        pos += f;
    rec.column_count = u16_at(p, pos);
    if (rec.column_count < 1 || rec.column_count > R::kMaxColumns || rec.type == kRecordIndex) return out;
    pos = RecordBodyParser(rec, p, page).parse_after_column_count(pos + 2);
    rec.length = static_cast<std::int32_t>(pos);
    out.length = rec.length;
    return out;
}

std::optional<SparseVector> split_sparse_vector(ByteSpan vector, const CPage& page) {
    const std::int64_t size = static_cast<std::int64_t>(vector.size());
    if (size <= 4) return std::nullopt;
    const std::int64_t n = load_le<std::int16_t>(vector, 2);
    const std::int64_t ends_at = 4 + 2 * n;
    constexpr auto kPage = static_cast<std::int64_t>(kPageSize);
    if (!(ends_at < kPage && 4 + 4 * n < kPage && ends_at < size)) return std::nullopt;

    SparseVector out;
    out.declared_count = static_cast<std::int16_t>(n);
    std::int64_t start = 4 + 4 * n;
    for (std::int64_t i = 0; i < n; ++i) {
        if (page.stop_requested()) break;
        // An entry whose column id or end offset lies past the vector ends the list.
        if (!fits(vector, ends_at + 2 * i, 2)) break;
        ValueItem item;
        item.column_index = u16_at(vector, 4 + 2 * i);
        const std::int64_t end = u16_at(vector, ends_at + 2 * i);
        item.length = static_cast<std::int32_t>(end - start);
        if (start < end && end - start <= R::kMaxSparseValue && start <= R::kMaxSparseValue - 1 &&
            end <= size)
            item.data =
                vector.subspan(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
        out.values.push_back(std::move(item));
        start = end;
    }
    return out;
}

}  // namespace quenlow
