#include "engine/values/row_decoder.h"

#include <algorithm>
#include <limits>
#include <string_view>
#include <utility>

#include "engine/catalog/type_codes.h"
#include "engine/pages/compressed_record.h"
#include "engine/values/compact_format.h"
#include "engine/values/compact_values.h"
#include "engine/values/sql_variant.h"
#include "engine/values/value_info.h"

namespace quenlow {

namespace {

// Physical column id of a column that has no place in the record (a computed column, a dropped one).
constexpr std::int32_t kNotStored = -99;

// Kinds of a complex value, from its first byte (or its first 16-bit value when that byte is 0).
constexpr unsigned kInRowRoot = 2;
constexpr unsigned kLargeRoot = 4;

constexpr std::string_view kNullText = "NULL";

// What sets the four decoders apart when they take a variable value.
struct VariableRules {
    // Large roots and text pointers show placeholders while the first batch of a table is loaded.
    bool placeholders = false;
    // Also a large root of an xml column.
    bool xml_placeholder = false;
    // Collected xml pieces go through the converter; otherwise the reader's text is kept.
    bool convert_xml = true;
    // sql_variant items are formatted as plain values instead of by their base type.
    bool variant_as_plain = false;
};

constexpr VariableRules kTableLayoutRules{true, false, true, false};
constexpr VariableRules kTableOffsetRules{true, true, true, false};
constexpr VariableRules kDefinitionLayoutRules{false, false, true, false};
constexpr VariableRules kDefinitionOffsetRules{false, false, false, true};

enum class Taken {
    kText,         // t holds the value's text
    kPlaceholder,  // t holds a placeholder (or NULL), shown as it is
    kColumnEnds,   // a complex value without bytes: the column is left as it was
    kNull,         // the value is NULL, whatever t holds
};

// Counters of one record: the bit cursor, the fixed position p, the variable index v and the count of
// handled columns k.
struct RecordCursor {
    BitCursor bits;
    std::int64_t p = 0;
    std::int64_t v = 0;
    std::int64_t k = 0;
};

// Types whose stored value may be empty: character strings (binary ones show "0x" at least).
bool empty_is_a_value(std::int32_t type_code) {
    switch (type_code) {
        case kTypeChar:
        case kTypeVarchar:
        case kTypeText:
        case kTypeNchar:
        case kTypeNvarchar:
        case kTypeNtext:
            return true;
        default:
            return false;
    }
}

bool type_is_hex(std::int32_t type_code) {
    return type_code == kTypeVarbinary || type_code == kTypeClr;
}

// A value whose text is hex digits without the prefix gets "0x"; one blank stays one blank.
void add_hex_prefix(std::string& t) {
    if (t != " ") t.insert(0, "0x");
}

bool within_fixed(std::int64_t offset, ByteSpan fixed) {
    return offset >= 0 && offset <= static_cast<std::int64_t>(fixed.size());
}

// A moved row is one row: it is shown through its forwarding stub, and at its own place only when no
// stub leads there. A stub that could not be followed holds no row.
bool table_skips(const CPrimaryRecord* r, bool show_deleted) {
    return r == nullptr || r->type == kRecordIndex || r->invalid || (r->ghost && !show_deleted) ||
           (r->type == kRecordForwarded && r->reached_through_stub) ||
           (r->type == kRecordForwardingStub && r->fixed_length == record_layout::kUnresolvedStub);
}

RowOrigin record_origin(const PrimaryRecordPage& page, std::size_t i, const CPrimaryRecord& record) {
    if (i >= page.listed_slots()) return RowOrigin::kBodyScan;
    return record.type >= kRecordGhostIndex ? RowOrigin::kDeleted : RowOrigin::kLive;
}

// A key of the record's stored bytes from its first byte to the end of its last value. The record type
// bits of the status byte are left out (a ghost equals the live row it was), and so is an appended
// versioning tag. On a page with compression information its bytes are part of the key: a compact record
// means what the page's anchor and dictionary make of it.
std::uint64_t record_key(const PrimaryRecordPage& page, const CPrimaryRecord& r) {
    ByteSpan bytes = r.whole;
    std::uint64_t key = std::hash<std::string_view>{}(std::string_view(
        reinterpret_cast<const char*>(bytes.data()) + (bytes.empty() ? 0 : 1), bytes.empty() ? 0 : bytes.size() - 1));
    const unsigned status = bytes.empty() ? 0u : std::to_integer<unsigned>(bytes[0]) & ~0x0Eu;
    key ^= (status + 0x9E3779B97F4A7C15ull + (key << 6) + (key >> 2));
    const CompressionInfo& info = page.compression();
    if (info.size > 0) {
        const ByteSpan region = page.page_bytes().subspan(page_layout::kHeaderSize, std::min(info.size, kPageSize - page_layout::kHeaderSize));
        const std::uint64_t k2 = std::hash<std::string_view>{}(
            std::string_view(reinterpret_cast<const char*>(region.data()), region.size()));
        key ^= k2 + 0x9E3779B97F4A7C15ull + (key << 6) + (key >> 2);
    }
    return key;
}

class PageDecoder {
public:
    PageDecoder(const PrimaryRecordPage& page, std::vector<ColumnDescriptor>& descriptors, DecodeContext& ctx)
        : page_(page), descriptors_(descriptors), ctx_(ctx) {
        // The declared size from each type text, read once per page instead of once per value.
        declared_sizes_.reserve(descriptors.size());
        for (const ColumnDescriptor& d : descriptors)
            declared_sizes_.push_back(declared_length_of(d.type_text));
    }

    template <typename Emit>
    void table_layout(const Emit& emit) {
        run([this](const CPrimaryRecord& r) { return decode_layout(r, true, kTableLayoutRules); },
            &PageDecoder::usual_skip, emit);
    }
    std::vector<DecodedRow> definition_layout() {
        return collect(
            [this](const CPrimaryRecord& r) { return decode_layout(r, false, kDefinitionLayoutRules); },
            &PageDecoder::usual_skip);
    }
    template <typename Emit>
    void table_offsets(const Emit& emit) {
        run([this](const CPrimaryRecord& r) { return decode_table_offsets(r); }, &PageDecoder::usual_skip,
            emit);
    }
    std::vector<DecodedRow> definition_offsets() {
        return collect([this](const CPrimaryRecord& r) { return decode_definition_offsets(r); },
                       &PageDecoder::definition_skip);
    }

    // The rows of a page as copies of the descriptor list.
    template <typename Decode>
    std::vector<DecodedRow> collect(Decode decode, bool (PageDecoder::*skip)(const CPrimaryRecord*) const) {
        std::vector<DecodedRow> rows;
        const std::int64_t end = record_end();
        if (end > 0) rows.reserve(static_cast<std::size_t>(end));
        const auto keep = [&rows](const DecodedRow& row) {
            rows.push_back(row);
            return true;
        };
        run(decode, skip, keep);
        return rows;
    }

private:
    std::int64_t record_end() const {
        const std::int64_t slots = page_.header().slot_count;
        const std::int64_t records = static_cast<std::int64_t>(page_.records().size());
        return std::min(slots, records);
    }

    // The record loop shared by the four decoders; decode returns whether the row is kept, emit takes a
    // kept row and returns whether more are wanted.
    template <typename Decode, typename Emit>
    void run(Decode decode, bool (PageDecoder::*skip)(const CPrimaryRecord*) const, const Emit& emit) {
        const std::int64_t end = record_end();
        for (std::int64_t i = 0; i < end; ++i) {
            if (page_.stop_requested()) break;
            const CPrimaryRecord* record = page_.primary_record(static_cast<std::size_t>(i));
            if ((this->*skip)(record)) continue;
            slot_ = i;
            row_damaged_ = false;
            if (!decode(*record)) continue;
            ctx_.row.origin = record_origin(page_, static_cast<std::size_t>(i), *record);
            ctx_.row.damaged = row_damaged_;
            ctx_.row.record = static_cast<std::int32_t>(i);
            if (!emit(std::as_const(descriptors_))) break;
        }
    }

    // The text buffer of the value being formatted, empty; finish() swaps it into the descriptor, so the
    // buffers of a page's values are reused from record to record.
    std::string& fresh_text() {
        scratch_.clear();
        damage_ = ValueDamage::kNone;
        return scratch_;
    }
    // Notes why the value being formatted could not be read (kNone notes nothing).
    void note(ValueDamage why) {
        if (why != ValueDamage::kNone) damage_ = why;
    }
    // The value description of column j, which becomes the column being formatted.
    ValueInfo value_info(std::size_t j, RecordCursor& c) {
        const ColumnDescriptor& d = descriptors_[j];
        declared_now_ = declared_sizes_[j];
        return make_value_info(d, d.type_code, c.bits);
    }
    // Formats the value at `bytes` into t. The declared size is the one read from the type text of the
    // column being formatted (0: the formatter reads it itself).
    void format(std::string& t, ValueInfo& info, const std::byte* bytes, const ColumnDescriptor& d) {
        if (info.declared_size == 0) info.declared_size = declared_now_;
        if (info.type_code == kTypeXml) return format_xml(t, info, bytes, d);
        note(format_value_to(t, info, bytes, d, ctx_.format));
    }
    // An xml value held in the record goes through the converter; an empty result shows one blank.
    void format_xml(std::string& t, const ValueInfo& info, const std::byte* bytes,
                    const ColumnDescriptor& d) {
        t.clear();
        const std::int64_t length = info.value_length;
        const std::int64_t available = info.variable ? length : info.available_bytes;
        if (length < 1) return;
        if (bytes == nullptr || length > available) return note(ValueDamage::kOutsideRecord);
        ctx_.xml.locate(xml_site(&d));
        t = ctx_.xml.convert(ByteSpan(bytes, static_cast<std::size_t>(length)));
        if (ctx_.xml.last_refused()) note(ValueDamage::kXmlRefused);
        if (t.empty()) t.push_back(' ');
    }
    XmlValueSite xml_site(const ColumnDescriptor* d) const {
        const std::string_view column = d != nullptr ? std::string_view(d->name) : std::string_view();
        return {page_.header().this_page, slot_, column};
    }
    // Formats the fixed value at `offset` of the fixed part; the caller has checked 0 <= offset <= size.
    void format_fixed(std::string& t, ValueInfo& info, ByteSpan fixed, std::int64_t offset,
                      const ColumnDescriptor& d) {
        info.available_bytes = static_cast<std::int64_t>(fixed.size()) - offset;
        format(t, info, fixed.data() + offset, d);
    }
    // Formats a value item's bytes as a plain value of their own length.
    void format_item_bytes(std::string& t, ValueInfo& info, ByteSpan bytes, const ColumnDescriptor& d) {
        const std::size_t n = std::min<std::size_t>(bytes.size(), std::numeric_limits<std::int16_t>::max());
        info.value_length = static_cast<std::int16_t>(n);
        info.available_bytes = static_cast<std::int64_t>(n);
        format(t, info, bytes.data(), d);
    }

    // A moved row is one row: it is shown through its forwarding stub, and at its own place only when
    // no stub leads there. A stub that could not be followed holds no row.
    bool usual_skip(const CPrimaryRecord* r) const { return table_skips(r, ctx_.show_deleted); }
    bool definition_skip(const CPrimaryRecord* r) const {
        return r == nullptr || r->type == kRecordLargeFragment;
    }

    // Each writes one record's texts into the descriptors and says whether the row is kept.
    bool decode_layout(const CPrimaryRecord& r, bool table, const VariableRules& rules);
    bool decode_table_offsets(const CPrimaryRecord& r);
    bool decode_definition_offsets(const CPrimaryRecord& r);

    Taken layout_value(const CPrimaryRecord& r, const ColumnDescriptor& d, ValueInfo& info, std::int64_t x,
                       RecordCursor& c, const VariableRules& rules, std::string& t);
    bool decode_compact(const CPrimaryRecord& r, bool table, const VariableRules& rules);
    void compact_text(std::string& t, ValueInfo& info, const ColumnDescriptor& d, const CompactColumnEntry& e,
                      ByteSpan prefix, Taken& taken);
    void format_compact_bytes(std::string& t, ValueInfo& info, ByteSpan bytes, const ColumnDescriptor& d);
    std::int64_t compact_schema_columns();
    Taken offsets_value(const CPrimaryRecord& r, const ColumnDescriptor& d, ValueInfo& info, bool null,
                        RecordCursor& c, std::string& t);

    static bool record_reaches(const CPrimaryRecord& r, const ColumnDescriptor& d, std::int64_t stored);
    bool layout_null(const CPrimaryRecord& r, const ColumnDescriptor& d, std::int64_t k) const;
    void sparse_text(std::string& t, const CPrimaryRecord& r, ValueInfo& info, const ColumnDescriptor& d);
    void offset_form_fixed(std::string& t, const CPrimaryRecord& r, ValueInfo& info,
                           const ColumnDescriptor& d, std::int64_t p);
    std::int64_t sql2000_variable_slot(const CPrimaryRecord& r, const ColumnDescriptor& d,
                                       std::int64_t& v) const;
    Taken take_variable(const ValueItem& item, ValueInfo& info, const ColumnDescriptor& d,
                        const VariableRules& rules, std::string& t);
    Taken take_complex(const ValueItem& item, const ValueInfo& info, const LargeValueRequest& request,
                       const VariableRules& rules, std::string& t);
    void convert_xml_pieces(std::string& t, const LargeValueRequest& request, XmlPieces pieces);
    void finish(ColumnDescriptor& d, const ValueInfo& info, std::string& t, Taken taken,
                bool null_when_empty);
    void column_ends(ColumnDescriptor& d);
    void drop_damaged_text(const ColumnDescriptor& d, std::string& t, bool shown_null);
    void mark(ColumnDescriptor& d) {
        d.value_damaged = damage_ != ValueDamage::kNone;
        d.damage_reason = damage_;
        if (d.value_damaged) {
            d.damage_slot = static_cast<std::int32_t>(slot_);
            row_damaged_ = true;
        }
    }
    void set_null(ColumnDescriptor& d) const;
    bool shows_empty(const ColumnDescriptor& d) const;
    bool exporting() const { return ctx_.format.style == ValueStyle::kExport; }

    const PrimaryRecordPage& page_;
    std::vector<ColumnDescriptor>& descriptors_;
    DecodeContext& ctx_;
    std::vector<std::int32_t> declared_sizes_;
    std::int32_t declared_now_ = 0;
    std::string scratch_;
    // Why the value being formatted could not be read; reset with every value.
    ValueDamage damage_ = ValueDamage::kNone;
    // Exported: whether the display would show a text for the first column's damaged value.
    bool front_damaged_shown_ = false;
    bool row_damaged_ = false;  // some value of the record being decoded was marked
    // The slot of the record being decoded.
    std::int64_t slot_ = -1;
    // Compact records: the value rebuilt in its ordinary form, and the columns a record may count.
    std::vector<std::byte> compact_value_;
    std::vector<std::byte> compact_joined_;
    std::int64_t compact_columns_ = -1;
};

// Layout form: every column is placed by the physical position in its descriptor. The table form shows
// "NULL" for a NULL column and for a column the record does not reach; the definition form decodes only
// the columns the record counts and never shows "NULL" for a bit of the null bitmap.
bool PageDecoder::decode_layout(const CPrimaryRecord& r, bool table, const VariableRules& rules) {
    if (r.compressed) return decode_compact(r, table, rules);
    const std::size_t n =
        table ? descriptors_.size() : std::min<std::size_t>(descriptors_.size(), r.column_count);
    RecordCursor c;
    std::int64_t stored = 0;
    for (std::size_t j = 0; j < n; ++j) {
        ColumnDescriptor& d = descriptors_[j];
        if (d.physical_column_id == kNotStored) continue;
        if (table && !d.sparse && !record_reaches(r, d, stored++)) {
            set_null(d);
            continue;
        }
        ValueInfo info = value_info(j, c);
        const std::int64_t x = (info.variable && d.leaf_offset < 0) ? -1 - std::int64_t{d.leaf_offset} : c.v;
        if (d.physical_column_id > r.column_count) d.physical_column_id = d.column_id;
        const bool shown_null = table && !d.sparse && (!d.physical_position_known || layout_null(r, d, c.k));
        if (shown_null) {
            set_null(d);
            ++c.k;
            continue;
        }
        std::string& t = fresh_text();
        const Taken taken = layout_value(r, d, info, x, c, rules, t);
        if (taken != Taken::kColumnEnds)
            finish(d, info, t, taken, false);
        else
            column_ends(d);
    }
    return true;
}

// Whether a record holds a stored column at all. A record written before the column was added to the
// table counts fewer columns than the column's position: its null bit when the catalog gives one (the
// low 16 bits of the field; the high half holds the column's ordinal in the clustered key), else its
// place among the stored columns. Sparse columns are not asked: their values are in the record's sparse
// vector, which a record either has or not.
bool PageDecoder::record_reaches(const CPrimaryRecord& r, const ColumnDescriptor& d, std::int64_t stored) {
    const std::int64_t count = r.column_count;
    const std::int64_t null_bit = d.null_bit > 0 ? (d.null_bit & 0xFFFF) : 0;
    if (null_bit > 0) return null_bit <= count;
    return stored < count;
}

// The text of one layout-form column, and what it does to the counters.
Taken PageDecoder::layout_value(const CPrimaryRecord& r, const ColumnDescriptor& d, ValueInfo& info,
                                std::int64_t x, RecordCursor& c, const VariableRules& rules, std::string& t) {
    if (d.sparse) {
        sparse_text(t, r, info, d);
        return Taken::kText;
    }
    if (c.k > r.column_count) return Taken::kText;  // the record does not reach this column
    Taken taken = Taken::kText;
    if (info.variable) {
        // A value past the record's variable values is empty: trailing empty values are not stored.
        if (x >= 0 && x < static_cast<std::int64_t>(r.values.size()))
            taken = take_variable(r.values[static_cast<std::size_t>(x)], info, d, rules, t);
        ++c.v;
        if (taken == Taken::kColumnEnds) return taken;
    } else if (r.has_fixed_part()) {
        const std::int64_t o = std::int64_t{d.leaf_offset} - 4;
        if (within_fixed(o, r.fixed_part))
            format_fixed(t, info, r.fixed_part, o, d);
        else if (c.p >= 0 && c.p < static_cast<std::int64_t>(r.fixed_part.size()))
            format_fixed(t, info, r.fixed_part, c.p, d);
        else
            note(ValueDamage::kOutsideRecord);
        c.p += info.declared_size;
    } else {
        note(ValueDamage::kOutsideRecord);  // a fixed value in a record without a fixed part
        c.p += info.width;
    }
    ++c.k;
    return taken;
}

// Offset form of the table decoder: fixed values are placed by their leaf offset (or, in the SQL
// Server 2000 layout, by their column offsets). A NULL value is still placed, so that the fixed position,
// the variable index and the bit cursor move on as they would over its bytes, and then shows "NULL".
bool PageDecoder::decode_table_offsets(const CPrimaryRecord& r) {
    if (r.compressed) return decode_compact(r, true, kTableOffsetRules);
    const std::int64_t count = r.column_count;
    const std::int64_t columns =
        std::min<std::int64_t>(static_cast<std::int64_t>(descriptors_.size()), count);
    RecordCursor c;
    std::int64_t stored = 0;
    for (std::size_t j = 0; j < descriptors_.size(); ++j) {
        ColumnDescriptor& d = descriptors_[j];
        if (d.physical_column_id == kNotStored) continue;
        if (!d.sparse && !record_reaches(r, d, stored++)) {
            set_null(d);
            continue;
        }
        ValueInfo info = value_info(j, c);
        if (d.physical_column_id > columns) d.physical_column_id = d.column_id;
        const bool null = (d.null_bit > 0 && d.null_bit <= count)
                              ? r.is_null(static_cast<std::size_t>(d.null_bit - 1))
                              : r.is_null(static_cast<std::size_t>(c.k));
        std::string& t = fresh_text();
        Taken taken = offsets_value(r, d, info, null, c, t);
        // A sparse column's text comes from the sparse vector, NULL or not; it is shown as it is.
        if (null && taken != Taken::kColumnEnds) taken = d.sparse ? Taken::kPlaceholder : Taken::kNull;
        if (taken != Taken::kColumnEnds)
            finish(d, info, t, taken, true);
        else
            column_ends(d);
    }
    return !descriptors_.empty() && !shows_empty(descriptors_.front());
}

// Whether a column's text counts as empty for the offset form's row rule. Both styles keep the same rows:
// NULL counts as a value, and so does an exported empty string that the display shows as "NULL".
bool PageDecoder::shows_empty(const ColumnDescriptor& d) const {
    if (!d.value_text.empty() || d.value_null) return false;
    if (exporting() && d.value_damaged) return !front_damaged_shown_;
    return !(exporting() && d.nullable && empty_is_a_value(d.type_code));
}

// The text of one offset-form column; NULL matters only for variable values.
Taken PageDecoder::offsets_value(const CPrimaryRecord& r, const ColumnDescriptor& d, ValueInfo& info,
                                 bool null, RecordCursor& c, std::string& t) {
    if (d.sparse) {
        sparse_text(t, r, info, d);
        return Taken::kText;
    }
    if (c.k > r.column_count) return Taken::kText;  // the record does not reach this column
    Taken taken = Taken::kText;
    if (info.variable) {
        if (!null) {
            std::int64_t x = c.v;
            if (ctx_.sql2000_layout)
                x = sql2000_variable_slot(r, d, c.v);
            else if (d.leaf_offset < 0)
                x = -1 - std::int64_t{d.leaf_offset};
            if (x >= 0 && x < static_cast<std::int64_t>(r.values.size()))
                taken = take_variable(r.values[static_cast<std::size_t>(x)], info, d, kTableOffsetRules, t);
        }
        ++c.v;
        if (taken == Taken::kColumnEnds) return taken;
    } else {
        if (r.has_fixed_part())
            offset_form_fixed(t, r, info, d, c.p);
        else
            note(ValueDamage::kOutsideRecord);  // a fixed value in a record without a fixed part
        c.p += info.declared_size > 0 ? info.declared_size : info.width;
    }
    ++c.k;
    return taken;
}

// Offset form of the definition decoder: every fixed value follows the previous one, NULL comes only
// from the null bitmap, and deleted records are decoded too.
bool PageDecoder::decode_definition_offsets(const CPrimaryRecord& r) {
    // Definition rows of the SQL Server 2000 layout are read as ten columns whatever they claim.
    const std::int64_t count = ctx_.sql2000_layout ? 10 : r.column_count;
    const auto values = static_cast<std::int64_t>(r.values.size());
    const std::size_t sparse_count = r.sparse ? r.sparse->values.size() : 0;
    RecordCursor c;
    std::size_t q = 0;
    declared_now_ = 0;
    for (ColumnDescriptor& d : descriptors_) {
        if (d.physical_column_id == kNotStored) continue;
        ValueInfo info = make_value_info(d, d.type_code, c.bits);
        std::string t;
        damage_ = ValueDamage::kNone;
        Taken taken = Taken::kText;
        if (d.sparse && q < sparse_count && r.sparse->values[q].column_index == d.column_id) {
            const ValueItem& s = r.sparse->values[q];
            if (s.has_data()) {
                // The formatter reads value-length bytes; never more than the entry holds.
                const auto size = static_cast<std::int64_t>(s.data.size());
                if (info.value_length <= 0 || info.value_length > size)
                    info.value_length = static_cast<std::int16_t>(size);
                info.available_bytes = info.value_length;
                format(t, info, s.data.data(), d);
            }
            ++q;
        } else if (c.k > count) {
            // The record does not reach this column.
        } else if (info.variable) {
            if (!r.is_null(static_cast<std::size_t>(c.k)) && c.v < values)
                taken = take_variable(r.values[static_cast<std::size_t>(c.v)], info, d,
                                      kDefinitionOffsetRules, t);
            ++c.v;
            if (taken == Taken::kColumnEnds) continue;
            ++c.k;
        } else {
            const auto fixed_size = static_cast<std::int64_t>(r.fixed_part.size());
            if (r.is_null(static_cast<std::size_t>(c.k))) {
                c.p += info.width;
            } else if (fixed_size > 0 && c.p >= 0 && c.p <= fixed_size) {
                format_fixed(t, info, r.fixed_part, c.p, d);
                c.p += info.declared_size;
            }
            ++c.k;
        }
        if (type_is_hex(info.type_code) && !t.empty()) add_hex_prefix(t);
        d.value_text = std::move(t);
        d.value_null = false;
        mark(d);
    }
    return true;
}

// NULL test of the layout form: by the column's null bit, else by its physical column id counted past
// the sparse values, else by the count of columns handled so far.
bool PageDecoder::layout_null(const CPrimaryRecord& r, const ColumnDescriptor& d, std::int64_t k) const {
    const std::int64_t count = r.column_count;
    if (d.null_bit > 0 && d.null_bit <= count) return r.is_null(static_cast<std::size_t>(d.null_bit - 1));
    const std::int64_t sparse_count = r.sparse ? static_cast<std::int64_t>(r.sparse->values.size()) : 0;
    const std::int64_t by_id = std::int64_t{d.physical_column_id} - sparse_count - 1;
    if (by_id >= 1 && by_id <= count) return r.is_null(static_cast<std::size_t>(by_id));
    return r.is_null(static_cast<std::size_t>(k));
}

// A sparse column's value is the entry of the record's sparse vector that carries its column id.
void PageDecoder::sparse_text(std::string& t, const CPrimaryRecord& r, ValueInfo& info,
                              const ColumnDescriptor& d) {
    t.clear();
    if (!r.sparse) return;
    for (const ValueItem& s : r.sparse->values)
        if (s.column_index == d.column_id && s.has_data()) format_item_bytes(t, info, s.data, d);
}

// Where a fixed value of the offset form starts, and its text (t stays empty when there is none).
void PageDecoder::offset_form_fixed(std::string& t, const CPrimaryRecord& r, ValueInfo& info,
                                    const ColumnDescriptor& d, std::int64_t p) {
    const ByteSpan fixed = r.fixed_part;
    const auto size = static_cast<std::int64_t>(fixed.size());
    const bool p_fits = p >= 0 && p < size;
    if (!ctx_.sql2000_layout) {
        // A negative leaf offset is read as one past the header counted backwards: -1 is the first
        // fixed byte.
        std::int64_t e = d.leaf_offset;
        if (e < 0) e = 3 - e;
        const std::int64_t o = e - 4;
        if (within_fixed(o, fixed)) return format_fixed(t, info, fixed, o, d);
        if (p_fits) return format_fixed(t, info, fixed, p, d);
        return note(ValueDamage::kOutsideRecord);
    }
    const std::int64_t s2 = d.second_offset;
    if (d.leaf_offset < 0 && s2 > 0) {
        const std::int64_t o = s2 - 4;
        if (o >= 0 && o < size) return format_fixed(t, info, fixed, o, d);
        return note(ValueDamage::kOutsideRecord);
    }
    if (s2 < 4 || s2 == p + 4 || s2 - 4 >= size) {
        if (p_fits) return format_fixed(t, info, fixed, p, d);
        return note(ValueDamage::kOutsideRecord);
    }
    format_fixed(t, info, fixed, s2 - 4, d);
}

// SQL Server 2000 layout: the next variable value, unless it is empty and the column's second offset
// names another item that has bytes; then that item, and the variable index moves there.
std::int64_t PageDecoder::sql2000_variable_slot(const CPrimaryRecord& r, const ColumnDescriptor& d,
                                                std::int64_t& v) const {
    const auto values = static_cast<std::int64_t>(r.values.size());
    if (v < 0 || v >= values) return v;
    const ValueItem& item = r.values[static_cast<std::size_t>(v)];
    if (item.has_data() && item.length != 0) return v;
    const std::int64_t y = d.second_offset < 0 ? -1 - std::int64_t{d.second_offset} : 0;
    if (y < values) {
        const ValueItem& other = r.values[static_cast<std::size_t>(y)];
        if (other.has_data() && other.length != 0) v = y;
    }
    return v;
}

Taken PageDecoder::take_variable(const ValueItem& item, ValueInfo& info, const ColumnDescriptor& d,
                                 const VariableRules& rules, std::string& t) {
    LargeValueRequest request;
    request.item = item.data;
    request.column = &d;
    request.database = page_.database();
    request.format = &ctx_.format;
    switch (info.type_code) {
        case kTypeVarbinary:
        case kTypeClr:
            request.flags.binary = true;
            break;
        case kTypeImage:
            request.flags.binary = true;
            info.type_code = kTypeVarbinary;
            break;
        case kTypeSqlVariant:
            request.flags.variant = true;
            break;
        case kTypeNvarchar:
        case kTypeNtext:
            request.flags.unicode = true;
            break;
        default:
            break;
    }
    if (item.complex) return take_complex(item, info, request, rules, t);
    if (!item.has_data()) {
        if (item.refused) note(ValueDamage::kOutsideRecord);
        return Taken::kText;
    }
    if (info.type_code == kTypeSqlVariant && !rules.variant_as_plain) {
        t.clear();
        if (!append_sql_variant(t, item.data, ctx_.format)) note(ValueDamage::kInvalidBytes);
    } else {
        format_item_bytes(t, info, item.data, d);
    }
    return Taken::kText;
}

// A complex value: a root of LOB fragments (in-row or large) or a 16-byte text pointer.
Taken PageDecoder::take_complex(const ValueItem& item, const ValueInfo& info,
                                const LargeValueRequest& request, const VariableRules& rules,
                                std::string& t) {
    if (!item.has_data()) {
        if (item.refused) note(ValueDamage::kOutsideRecord);
        return Taken::kColumnEnds;
    }
    LargeValueReader& reader = ctx_.large_values;
    const bool xml = info.type_code == kTypeXml;
    const auto first = std::to_integer<unsigned>(item.data[0]);
    const bool text_pointer = item.data.size() == record_layout::kTextPointerSize && first == 0;
    const bool first_batch = rules.placeholders && ctx_.rows_loading && !exporting();

    if (!text_pointer) {
        const unsigned kind = first != 0 ? first : load_le_or<std::uint16_t>(item.data, 0);
        if (kind != kInRowRoot && kind != kLargeRoot) {
            note(ValueDamage::kInvalidBytes);
            return Taken::kText;
        }
        if (kind == kLargeRoot && first_batch && (!xml || rules.xml_placeholder)) {
            t = kBigBinaryPlaceholder;
            return Taken::kPlaceholder;
        }
        if (!xml) {
            t = reader.read_large_value(request, nullptr);
            if (reader.last_value_cut()) note(ValueDamage::kLargeValueCut);
            return Taken::kText;
        }
        XmlPieces pieces;
        t = reader.read_large_value(request, &pieces);
        if (reader.last_value_cut()) note(ValueDamage::kLargeValueCut);
        if (rules.convert_xml) convert_xml_pieces(t, request, std::move(pieces));
        return Taken::kText;
    }
    if (xml) {
        XmlPieces pieces;
        t = reader.read_through_text_pointer(request, &pieces);
        if (reader.last_value_cut()) note(ValueDamage::kLargeValueCut);
        if (rules.convert_xml) convert_xml_pieces(t, request, std::move(pieces));
        return Taken::kText;
    }
    if (first_batch) {
        t = kBinaryPlaceholder;
        return Taken::kPlaceholder;
    }
    t = reader.read_through_text_pointer(request, nullptr);
    if (reader.last_value_cut()) note(ValueDamage::kLargeValueCut);
    return Taken::kText;
}

// The text of an xml value collected from fragments; a value already cut keeps that reason.
void PageDecoder::convert_xml_pieces(std::string& t, const LargeValueRequest& request, XmlPieces pieces) {
    ctx_.xml.locate(xml_site(request.column));
    t = ctx_.xml.convert(std::move(pieces));
    if (ctx_.xml.last_refused() && damage_ == ValueDamage::kNone) note(ValueDamage::kXmlRefused);
}

// A compact record: each stored column takes the entry of its place in the record (its null bit, else its
// position among the stored columns); NULL is the entry's mark, and the value's bytes are rebuilt in their
// ordinary form and formatted as usual. A record that counts more columns than the table has, or that was
// not expanded, gives no row; a value that cannot be rebuilt shows an empty text.
bool PageDecoder::decode_compact(const CPrimaryRecord& r, bool table, const VariableRules& rules) {
    const auto& entries = r.column_entries;
    const auto count = static_cast<std::int64_t>(entries.size());
    if (count == 0 || count != r.column_count || count > compact_schema_columns()) return false;
    RecordCursor c;
    std::int64_t stored = 0;
    for (std::size_t j = 0; j < descriptors_.size(); ++j) {
        ColumnDescriptor& d = descriptors_[j];
        if (d.physical_column_id == kNotStored) continue;
        const std::int64_t null_bit = d.null_bit > 0 ? (d.null_bit & 0xFFFF) : 0;
        const std::int64_t index = null_bit > 0 ? null_bit - 1 : stored;
        ++stored;
        if (index >= count) {
            if (table) set_null(d);  // a row written before the column was added
            continue;
        }
        const CompactColumnEntry& e = entries[static_cast<std::size_t>(index)];
        if (e.null_mark) {
            set_null(d);
            continue;
        }
        if (e.damaged) {
            d.value_text.clear();
            d.value_null = false;
            damage_ = ValueDamage::kCompactEntry;
            mark(d);
            continue;
        }
        ValueInfo info = value_info(j, c);
        std::string& t = fresh_text();
        Taken taken = Taken::kText;
        if (e.long_value >= 0 && static_cast<std::size_t>(e.long_value) < r.values.size())
            taken = take_variable(r.values[static_cast<std::size_t>(e.long_value)], info, d, rules, t);
        else
            compact_text(t, info, d, e,
                         compact_prefix(page_.compression(), static_cast<std::size_t>(index), e), taken);
        if (taken != Taken::kColumnEnds)
            finish(d, info, t, taken, false);
        else
            column_ends(d);
    }
    return true;
}

// The text of one compact value held in the record.
void PageDecoder::compact_text(std::string& t, ValueInfo& info, const ColumnDescriptor& d,
                               const CompactColumnEntry& e, ByteSpan prefix, Taken& taken) {
    // Most values are written straight from their compact form, anchor prefix and all.
    if (info.type_code != kTypeBit && info.type_code != kTypeSqlVariant) {
        ValueDamage direct_damage = ValueDamage::kNone;
        if (format_compact_value(t, direct_damage, info, declared_now_, d, prefix, e.value(), ctx_.format) ==
            CompactFormat::kWritten)
            return note(direct_damage);
    }
    // The others take the value with its anchor prefix joined to it: a type kept as stored is formatted as
    // it is; the rest, and damaged values, are rebuilt in their ordinary form first.
    ByteSpan stored = e.value();
    if (!prefix.empty()) {
        compact_joined_.assign(prefix.begin(), prefix.end());
        compact_joined_.insert(compact_joined_.end(), stored.begin(), stored.end());
        stored = compact_joined_;
    }
    if (info.type_code == kTypeBit) {
        // A compact bit has its own code, not a bit of a shared byte.
        BitCursor own;
        const bool one = e.bit_one || (!stored.empty() && stored.front() != std::byte{0});
        const std::byte bit = one ? std::byte{1} : std::byte{0};
        info.bit_cursor = &own;
        info.value_length = 1;
        info.available_bytes = 1;
        format(t, info, &bit, d);
        return;
    }
    if (info.type_code == kTypeSqlVariant) {
        if (!stored.empty() && !append_sql_variant(t, stored, ctx_.format)) note(ValueDamage::kInvalidBytes);
        return;
    }
    if (compact_form_is_ordinary(info.type_code)) return format_compact_bytes(t, info, stored, d);
    const std::int32_t width = declared_now_ > 0 ? declared_now_ : info.width;
    if (rebuild_compact_value(info.type_code, d, width, stored, compact_value_) != CompactValue::kRebuilt) {
        note(ValueDamage::kCompactEntry);
        // Damaged Unicode text still shows its bytes.
        if ((info.type_code == kTypeNchar || info.type_code == kTypeNvarchar) && !stored.empty()) {
            t = format_hex(stored, true);
            taken = Taken::kPlaceholder;
        }
        return;
    }
    format_compact_bytes(t, info, compact_value_, d);
}

// Formats a compact value's bytes in their ordinary form; no bytes, no text.
void PageDecoder::format_compact_bytes(std::string& t, ValueInfo& info, ByteSpan bytes,
                                       const ColumnDescriptor& d) {
    if (bytes.empty()) return;
    if (info.variable) return format_item_bytes(t, info, bytes, d);
    info.available_bytes = static_cast<std::int64_t>(bytes.size());
    format(t, info, bytes.data(), d);
}

// The most columns a compact record of this table may count: the stored columns, or the highest null bit
// when that is more (internal columns take places too).
std::int64_t PageDecoder::compact_schema_columns() {
    if (compact_columns_ >= 0) return compact_columns_;
    std::int64_t stored = 0;
    std::int64_t highest = 0;
    for (const ColumnDescriptor& d : descriptors_) {
        if (d.physical_column_id == kNotStored) continue;
        ++stored;
        if (d.null_bit > 0) highest = std::max<std::int64_t>(highest, d.null_bit & 0xFFFF);
    }
    compact_columns_ = std::max(stored, highest);
    return compact_columns_;
}

// Stores a column's text: binary columns get the "0x" prefix (so an empty value shows "0x"), and in the
// offset form an empty value of a nullable column is NULL. Exported, that holds only where an empty text
// is no value of the type: an empty string stays an empty string.
void PageDecoder::finish(ColumnDescriptor& d, const ValueInfo& info, std::string& t, Taken taken,
                         bool null_when_empty) {
    if (taken == Taken::kNull) return set_null(d);
    if (taken != Taken::kPlaceholder && type_is_hex(info.type_code)) add_hex_prefix(t);
    const bool shown_null = null_when_empty && t.empty() && d.nullable;
    if (shown_null && !(exporting() && empty_is_a_value(info.type_code))) {
        // A value that could not be read still reads NULL here, as it always has, and keeps its mark.
        set_null(d);
        return mark(d);
    }
    if (exporting() && damage_ != ValueDamage::kNone) drop_damaged_text(d, t, shown_null);
    d.value_text.swap(t);
    d.value_null = false;
    mark(d);
}

// Exported, a value that could not be decoded is empty. The offset form's row rule still sees what the
// display shows, so both styles keep the same rows.
void PageDecoder::drop_damaged_text(const ColumnDescriptor& d, std::string& t, bool shown_null) {
    if (&d == &descriptors_.front()) front_damaged_shown_ = shown_null || !t.empty();
    t.clear();
}

// A complex value without bytes leaves the column as it was, unless the record names bytes it does not
// hold: that value is damaged, and exported empty.
void PageDecoder::column_ends(ColumnDescriptor& d) {
    if (damage_ == ValueDamage::kNone) return;
    if (exporting()) {
        drop_damaged_text(d, d.value_text, d.value_null);
        d.value_null = false;
    }
    mark(d);
}

// A NULL value: "NULL" on display, an empty text for export; the flag either way.
void PageDecoder::set_null(ColumnDescriptor& d) const {
    if (exporting())
        d.value_text.clear();
    else
        d.value_text.assign(kNullText);
    d.value_null = true;
    d.value_damaged = false;
    d.damage_reason = ValueDamage::kNone;
}

}  // namespace

namespace {
// Per origin, in the order of RowOrigin: the label of exports and listings, and the State column's.
struct OriginLabels {
    const char* label;
    const char* state;
};
constexpr OriginLabels kOriginLabels[] = {
    {"live", "live"},
    {"deleted", "deleted"},
    {"found by body scan", "body scan"},
    {"on a stale page", "stale page"},
};
const OriginLabels& labels_of(RowOrigin origin) {
    const auto i = static_cast<std::size_t>(origin);
    return i < std::size(kOriginLabels) ? kOriginLabels[i] : kOriginLabels[0];
}
}  // namespace

const char* row_origin_label(RowOrigin origin) {
    return labels_of(origin).label;
}

const char* row_state_label(RowOrigin origin) {
    return labels_of(origin).state;
}

std::vector<TableRecordEntry> table_record_entries(const PrimaryRecordPage& page, bool show_deleted) {
    std::vector<TableRecordEntry> entries;
    const std::size_t end = std::min<std::size_t>(
        static_cast<std::size_t>(std::max<int>(page.header().slot_count, 0)), page.records().size());
    // Where the records the slots name lie on the page: a record of the body scan that shares bytes with
    // one of them was overwritten in part by it.
    const ByteSpan bytes = page.page_bytes();
    const auto place = [&bytes](const CPrimaryRecord& r) -> std::pair<std::size_t, std::size_t> {
        if (r.whole.empty() || r.whole.data() < bytes.data() || r.whole.data() >= bytes.data() + bytes.size())
            return {0, 0};
        const auto start = static_cast<std::size_t>(r.whole.data() - bytes.data());
        return {start, start + r.whole.size()};
    };
    std::vector<std::pair<std::size_t, std::size_t>> named;
    for (std::size_t i = 0; i < std::min(end, page.listed_slots()); ++i)
        if (const CPrimaryRecord* r = page.primary_record(i); r != nullptr && !r->invalid) named.push_back(place(*r));
    const auto overlaps_named = [&named](std::pair<std::size_t, std::size_t> p) {
        return std::any_of(named.begin(), named.end(),
                           [&p](const auto& n) { return p.first < n.second && n.first < p.second; });
    };
    for (std::size_t i = 0; i < end; ++i) {
        const CPrimaryRecord* r = page.primary_record(i);
        if (table_skips(r, show_deleted)) continue;
        TableRecordEntry e;
        e.record = static_cast<std::int32_t>(i);
        e.origin = record_origin(page, i, *r);
        e.key = record_key(page, *r);
        e.column_count = r->column_count;
        e.fixed_length = r->fixed_length;
        e.compressed = r->compressed;
        e.well_formed = !r->whole.empty() && std::none_of(r->values.begin(), r->values.end(),
                                                          [](const ValueItem& v) { return v.refused; });
        if (e.origin == RowOrigin::kBodyScan && overlaps_named(place(*r))) e.well_formed = false;
        entries.push_back(e);
    }
    return entries;
}

const char* value_damage_text(ValueDamage reason) {
    switch (reason) {
        case ValueDamage::kNone:
            return "";
        case ValueDamage::kOutsideRecord:
            return "outside record";
        case ValueDamage::kInvalidBytes:
            return "invalid bytes";
        case ValueDamage::kLargeValueCut:
            return "large value cut";
        case ValueDamage::kXmlRefused:
            return "xml refused";
        case ValueDamage::kCompactEntry:
            return "compact entry";
    }
    return "";
}

DecodeContext make_decode_context(const OpenedDatabase& database, LargeValueReader& large_values,
                                  XmlConverter& xml, bool rows_loading, ValueStyle style) {
    const EngineState& state = database.state();
    const ReadOptions& options = database.options();
    return DecodeContext{FormatContext{state, options.ansi_code_page, nullptr, {}, style},
                         large_values,
                         xml,
                         rows_loading,
                         options.show_deleted,
                         state.sql2000_layout.load(),
                         RowFacts{}};
}

namespace {

// The rows a visitor form hands out, collected into a list.
template <typename VisitorForm>
std::vector<DecodedRow> collect_rows(VisitorForm decode) {
    std::vector<DecodedRow> rows;
    decode([&rows](const DecodedRow& row) {
        rows.push_back(row);
        return true;
    });
    return rows;
}

}  // namespace

std::vector<DecodedRow> decode_table_page_layout(const PrimaryRecordPage& page,
                                                 std::vector<ColumnDescriptor>& descriptors,
                                                 DecodeContext& ctx) {
    return collect_rows(
        [&](const RowVisitor& visit) { decode_table_page_layout(page, descriptors, ctx, visit); });
}

std::vector<DecodedRow> decode_table_page_offsets(const PrimaryRecordPage& page,
                                                  std::vector<ColumnDescriptor>& descriptors,
                                                  DecodeContext& ctx) {
    return collect_rows(
        [&](const RowVisitor& visit) { decode_table_page_offsets(page, descriptors, ctx, visit); });
}

void decode_table_page_layout(const PrimaryRecordPage& page, std::vector<ColumnDescriptor>& descriptors,
                              DecodeContext& ctx, const RowVisitor& visit) {
    PageDecoder(page, descriptors, ctx).table_layout(visit);
}

void decode_table_page_offsets(const PrimaryRecordPage& page, std::vector<ColumnDescriptor>& descriptors,
                               DecodeContext& ctx, const RowVisitor& visit) {
    PageDecoder(page, descriptors, ctx).table_offsets(visit);
}

std::vector<DecodedRow> decode_definition_page_layout(const PrimaryRecordPage& page,
                                                      std::vector<ColumnDescriptor>& descriptors,
                                                      DecodeContext& ctx) {
    return PageDecoder(page, descriptors, ctx).definition_layout();
}

std::vector<DecodedRow> decode_definition_page_offsets(const PrimaryRecordPage& page,
                                                       std::vector<ColumnDescriptor>& descriptors,
                                                       DecodeContext& ctx) {
    return PageDecoder(page, descriptors, ctx).definition_offsets();
}

}  // namespace quenlow
