#include "engine/pages/compressed_record.h"

#include <algorithm>

#include "engine/pages/record_page.h"

namespace quenlow {

namespace C = compact_layout;

namespace {

// Bytes a code takes in the short data; -1 for the codes no record may carry.
int short_bytes(std::int32_t code) {
    if (code >= 2 && code <= 9) return code - 1;
    if (code == C::kCodeSymbol) return 1;
    if (code > C::kCodeSymbol) return -1;
    return 0;
}

// Reads the long data region at `pos` into the record's value items; false when it does not fit.
bool parse_long_region(CPrimaryRecord& record, ByteSpan p, std::size_t& pos, std::size_t long_count,
                       std::size_t clusters) {
    const std::size_t m = p.size();
    if (pos + 3 > m || (load_le<std::uint8_t>(p, pos) & 0x01) == 0) return false;
    const std::size_t count = load_le<std::uint16_t>(p, pos + 1);
    if (count != long_count) return false;
    const std::size_t ends_at = pos + 3;
    const std::size_t data_start = ends_at + 2 * count + clusters;
    if (data_start > m) return false;
    record.values.reserve(count);
    std::size_t previous = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint16_t raw = load_le<std::uint16_t>(p, ends_at + 2 * i);
        const std::size_t end = raw & ~record_layout::kComplexBit;
        if (end < previous || end > m - data_start) return false;
        ValueItem item;
        item.column_index = static_cast<std::int32_t>(i);
        item.complex = (raw & record_layout::kComplexBit) != 0;
        item.data = p.subspan(data_start + previous, end - previous);
        item.length = static_cast<std::int32_t>(end - previous);
        record.values.push_back(std::move(item));
        previous = end;
    }
    pos = data_start + previous;
    return true;
}

bool parse_compact(CPrimaryRecord& record, ByteSpan p) {
    const std::size_t m = p.size();
    if (m < 2) return false;
    std::size_t pos = 2;
    std::size_t n = load_le<std::uint8_t>(p, 1);
    if ((n & C::kTwoByteCount) != 0) {
        if (m < 3) return false;
        n = ((n & 0x7F) << 8) | load_le<std::uint8_t>(p, 2);
        pos = 3;
    }
    if (n == 0 || n > C::kMaxColumns) return false;
    const std::size_t code_bytes = (n + 1) / 2;
    if (code_bytes > m - pos) return false;
    record.column_entries.assign(n, CompactColumnEntry{});
    std::size_t short_length = 0;
    std::size_t long_count = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::int32_t code = (load_le<std::uint8_t>(p, pos + i / 2) >> (i % 2 == 0 ? 0 : 4)) & 0x0F;
        const int bytes = short_bytes(code);
        if (bytes < 0) return false;
        short_length += static_cast<std::size_t>(bytes);
        if (code == C::kCodeLong) ++long_count;
        record.column_entries[i].code = static_cast<std::uint8_t>(code);
    }
    pos += code_bytes;
    const std::size_t clusters = (n - 1) / C::kClusterColumns;
    if (clusters > m - pos || short_length > m - pos - clusters) return false;
    pos += clusters;
    record.column_count = static_cast<std::uint16_t>(n);
    record.fixed_part = p.subspan(pos, short_length);
    record.short_data_length = static_cast<std::uint16_t>(short_length);
    record.fixed_length = static_cast<std::int16_t>(short_length);
    pos += short_length;
    record.variable_column_count = static_cast<std::uint16_t>(long_count);
    if (long_count > 0) {
        if (!record.has_variable_columns || !parse_long_region(record, p, pos, long_count, clusters))
            return false;
    }
    record.length = static_cast<std::int32_t>(pos);
    record.whole = p.first(pos);
    return true;
}

// The anchor value list from a parsed anchor record.
std::vector<AnchorValue> anchor_values_of(const CPrimaryRecord& anchor) {
    std::vector<AnchorValue> out(anchor.column_entries.size());
    std::size_t short_pos = 0;
    std::size_t long_index = 0;
    for (std::size_t i = 0; i < anchor.column_entries.size(); ++i) {
        const std::int32_t code = anchor.column_entries[i].code;
        const int bytes = short_bytes(code);
        if (code == C::kCodeEmpty) {
            out[i].present = true;
        } else if (code >= 2 && code <= 9) {
            out[i] = {true, anchor.fixed_part.subspan(short_pos, static_cast<std::size_t>(bytes))};
        } else if (code == C::kCodeLong && long_index < anchor.values.size() &&
                   !anchor.values[long_index].complex) {
            out[i] = {true, anchor.values[long_index].data};
        }
        if (code == C::kCodeLong) ++long_index;
        short_pos += static_cast<std::size_t>(bytes > 0 ? bytes : 0);
    }
    return out;
}

}  // namespace

void parse_compact_record(CPrimaryRecord& record, ByteSpan bytes, const CPage& /*page*/) {
    // A compact record has no null bitmap: NULL is a column code.
    record.has_null_bitmap = false;
    record.null_bitmap = {};
    if (!parse_compact(record, bytes)) {
        record.invalid = true;
        record.column_entries.clear();
        record.values.clear();
        record.fixed_part = {};
        record.whole = {};
        record.length = 0;
    }
}

void read_compression_info(ByteSpan page_bytes, const CPage& page, CompressionInfo& info) {
    if (!page.header().has_compression_info() || page.sql2000_layout()) return;
    const std::size_t start = C::kInfoStart;
    if (page_bytes.size() < start + info.raw.size()) {
        info.damaged = true;
        return;
    }
    std::copy_n(page_bytes.begin() + static_cast<std::ptrdiff_t>(start), info.raw.size(), info.raw.begin());
    const std::uint8_t flags = load_le<std::uint8_t>(page_bytes, start);
    info.has_anchor = (flags & C::kAnchorPresent) != 0;
    info.has_dictionary = (flags & C::kDictionaryPresent) != 0;
    // Offsets below are counted from byte 96.
    std::size_t header = 3;
    std::size_t anchor_end = 0;
    std::size_t dictionary_end = 0;
    if (info.has_anchor) {
        anchor_end = load_le<std::uint16_t>(page_bytes, start + header);
        header += 2;
    }
    if (info.has_dictionary) {
        dictionary_end = load_le<std::uint16_t>(page_bytes, start + header);
        header += 2;
    }
    const std::size_t body = page_bytes.size() - start;
    const std::size_t dictionary_start = info.has_anchor ? anchor_end : header;
    if ((info.has_anchor && (anchor_end < header || anchor_end > body)) ||
        (info.has_dictionary && (dictionary_end < dictionary_start || dictionary_end > body))) {
        info.damaged = true;
        return;
    }
    info.size = info.has_dictionary ? dictionary_end : info.has_anchor ? anchor_end : header;

    if (info.has_anchor) {
        const ByteSpan bytes = page_bytes.subspan(start + header, anchor_end - header);
        info.anchor = std::make_unique<CPrimaryRecord>(&page, static_cast<std::uint16_t>(bytes.size()));
        CPrimaryRecord& anchor = *info.anchor;
        const std::uint8_t status = bytes.empty() ? 0 : load_le<std::uint8_t>(bytes, 0);
        anchor.compressed = (status & record_layout::kCompactFormatBit) != 0;
        anchor.type = (status >> 1) & 7;
        anchor.has_variable_columns = (status & C::kLongRegionBit) != 0;
        if (anchor.compressed) parse_compact_record(anchor, bytes, page);
        if (!anchor.compressed || anchor.invalid) {
            info.damaged = true;
            info.size = 0;
            return;
        }
        info.anchor_values = anchor_values_of(anchor);
    }

    if (info.has_dictionary) {
        const ByteSpan dictionary =
            page_bytes.subspan(start + dictionary_start, dictionary_end - dictionary_start);
        if (dictionary.size() < 2) return;
        const std::size_t count = load_le<std::uint16_t>(dictionary, 0);
        if (2 + 2 * count > dictionary.size()) return;
        info.dictionary.reserve(count);
        std::size_t previous = 2 + 2 * count;
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t end = load_le<std::uint16_t>(dictionary, 2 + 2 * i);
            if (end < previous || end > dictionary.size()) break;
            info.dictionary.push_back(dictionary.subspan(previous, end - previous));
            previous = end;
        }
    }
}

ByteSpan compact_prefix(const CompressionInfo& info, std::size_t column, const CompactColumnEntry& entry) {
    if (entry.prefix_size == 0 || column >= info.anchor_values.size()) return {};
    const ByteSpan anchor = info.anchor_values[column].bytes;
    return anchor.first(std::min<std::size_t>(entry.prefix_size, anchor.size()));
}

void expand_compact_record(CPrimaryRecord& record, const PrimaryRecordPage& page) {
    const CompressionInfo& info = page.compression();
    if (info.damaged) {
        record.invalid = true;
        return;
    }
    auto& entries = record.column_entries;
    const std::size_t n = entries.size();
    std::size_t short_pos = 0;
    std::size_t long_index = 0;
    const ByteSpan short_data = record.fixed_part;
    for (std::size_t i = 0; i < n; ++i) {
        CompactColumnEntry& entry = entries[i];
        const std::int32_t code = entry.code;
        const AnchorValue* anchor =
            i < info.anchor_values.size() && info.anchor_values[i].present ? &info.anchor_values[i] : nullptr;
        ByteSpan raw;
        switch (code) {
            case C::kCodeNull:
                entry.null_mark = true;
                continue;
            case C::kCodeEmpty:
                if (anchor != nullptr) entry.set_value(anchor->bytes);
                continue;
            case C::kCodeBitOne:
                entry.bit_one = true;
                continue;
            case C::kCodeLong: {
                const ValueItem& item = record.values[long_index];
                if (item.complex) {
                    entry.long_value = static_cast<std::int16_t>(long_index);
                    ++long_index;
                    continue;
                }
                raw = item.data;
                ++long_index;
                break;
            }
            case C::kCodeSymbol: {
                const std::size_t symbol = load_le<std::uint8_t>(short_data, short_pos++);
                if (symbol >= info.dictionary.size()) {
                    entry.damaged = true;
                    continue;
                }
                raw = info.dictionary[symbol];
                break;
            }
            default: {
                const auto bytes = static_cast<std::size_t>(code - 1);
                raw = short_data.subspan(short_pos, bytes);
                short_pos += bytes;
                break;
            }
        }
        if (anchor == nullptr) {
            entry.set_value(raw);
            continue;
        }
        const std::size_t l = raw.empty() ? 0 : load_le<std::uint8_t>(raw, 0);
        if (raw.empty() || l > anchor->bytes.size()) {
            entry.damaged = true;
            continue;
        }
        entry.prefix_size = static_cast<std::uint16_t>(l);
        entry.set_value(raw.subspan(1));
    }
}

}  // namespace quenlow
