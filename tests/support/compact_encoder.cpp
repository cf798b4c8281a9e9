#include "tests/support/compact_encoder.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <stdexcept>

namespace quenlow::testing {

namespace {

// Description codes the encoder writes; 1 (empty) and 11 (a bit of value 1) come from the values' own
// short lengths and bits.
constexpr int kCodeNull = 0;
constexpr int kCodeLong = 10;
constexpr int kCodeSymbol = 12;
constexpr std::size_t kCluster = 30;

void append_u16(Bytes& out, std::size_t v) {
    out.push_back(std::byte{static_cast<std::uint8_t>(v & 0xFF)});
    out.push_back(std::byte{static_cast<std::uint8_t>((v >> 8) & 0xFF)});
}

bool in_short_data(const CompactColumn& c) {
    return (c.code >= 2 && c.code <= 9) || c.code == kCodeSymbol;
}

template <typename T>
T load_ordinary(const Bytes& b) {
    T v{};
    std::memcpy(&v, b.data(), std::min(sizeof(T), b.size()));
    return v;
}

using u128 = unsigned __int128;

// The variable decimal form of sign and magnitude at `scale` decimals.
Bytes compact_decimal(bool positive, u128 magnitude, int scale) {
    if (magnitude == 0) return {};
    std::string digits;
    for (u128 m = magnitude; m != 0; m /= 10) digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
    const int exponent = static_cast<int>(digits.size()) - scale;
    while (!digits.empty() && digits.back() == '0') digits.pop_back();
    while (digits.size() % 3 != 0) digits.push_back('0');
    std::vector<bool> bits;
    for (std::size_t i = 0; i < digits.size(); i += 3) {
        const int group = std::stoi(digits.substr(i, 3));
        for (int b = 9; b >= 0; --b) bits.push_back(((group >> b) & 1) != 0);
    }
    Bytes out;
    out.push_back(std::byte{static_cast<std::uint8_t>((positive ? 0x80 : 0) | ((exponent + 63) & 0x7F))});
    for (std::size_t i = 0; i < bits.size(); i += 8) {
        unsigned byte = 0;
        for (std::size_t k = 0; k < 8; ++k) byte = (byte << 1) | (i + k < bits.size() && bits[i + k] ? 1u : 0u);
        out.push_back(std::byte{static_cast<std::uint8_t>(byte)});
    }
    while (out.size() > 1 && out.back() == std::byte{0}) out.pop_back();
    return out;
}

Bytes unicode_form(const Bytes& utf16, bool max) {
    if (max || utf16.empty()) return utf16;
    Bytes scsu = scsu_encode(utf16);
    if (scsu.size() % 2 == 0) scsu.push_back(std::byte{0x10});  // SC0: nothing, odd length
    return scsu.size() < utf16.size() ? scsu : utf16;
}

Bytes without_trailing(Bytes b, std::size_t unit, std::byte fill) {
    while (b.size() >= unit && b[b.size() - unit] == fill &&
           (unit == 1 || b[b.size() - 1] == std::byte{0}))
        b.resize(b.size() - unit);
    return b;
}

}  // namespace

CompactColumn CompactColumn::value(Bytes bytes, bool complex) {
    if (complex || bytes.size() > 8) return {kCodeLong, std::move(bytes), complex};
    if (bytes.empty()) return empty();
    const int code = static_cast<int>(bytes.size()) + 1;
    return {code, std::move(bytes), false};
}

Bytes build_compact_record(const CompactRecordSpec& blueprint) {
    const std::vector<CompactColumn>& columns = blueprint.columns;
    const std::size_t n = columns.size();
    const std::size_t count = blueprint.column_count.value_or(static_cast<std::uint16_t>(n));
    const bool has_long = std::any_of(columns.begin(), columns.end(),
                                      [](const CompactColumn& c) { return c.code == kCodeLong; });
    Bytes out;
    out.push_back(std::byte{static_cast<std::uint8_t>(0x01 | (blueprint.type << 1) | (has_long ? 0x20 : 0))});
    if (count < 0x80) {
        out.push_back(std::byte{static_cast<std::uint8_t>(count)});
    } else {
        out.push_back(std::byte{static_cast<std::uint8_t>(0x80 | (count >> 8))});
        out.push_back(std::byte{static_cast<std::uint8_t>(count & 0xFF)});
    }
    for (std::size_t i = 0; i < n; i += 2) {
        const unsigned low = static_cast<unsigned>(columns[i].code) & 0x0F;
        const unsigned high = i + 1 < n ? static_cast<unsigned>(columns[i + 1].code) & 0x0F : 0;
        out.push_back(std::byte{static_cast<std::uint8_t>(low | (high << 4))});
    }
    const std::size_t clusters = n == 0 ? 0 : (n - 1) / kCluster;
    for (std::size_t k = 0; k < clusters; ++k) {
        std::size_t bytes = 0;
        for (std::size_t i = k * kCluster; i < (k + 1) * kCluster; ++i)
            if (in_short_data(columns[i])) bytes += columns[i].bytes.size();
        out.push_back(std::byte{static_cast<std::uint8_t>(bytes & 0xFF)});
    }
    for (const CompactColumn& c : columns)
        if (in_short_data(c)) out.insert(out.end(), c.bytes.begin(), c.bytes.end());
    if (has_long) {
        std::vector<const CompactColumn*> longs;
        for (const CompactColumn& c : columns)
            if (c.code == kCodeLong) longs.push_back(&c);
        const bool any_complex = std::any_of(longs.begin(), longs.end(), [](auto* c) { return c->complex; });
        out.push_back(std::byte{static_cast<std::uint8_t>(0x01 | (any_complex ? 0x02 : 0))});
        append_u16(out, longs.size());
        std::size_t end = 0;
        for (const CompactColumn* c : longs) {
            end += c->bytes.size();
            append_u16(out, end | (c->complex ? 0x8000u : 0u));
        }
        for (std::size_t k = 0; k < clusters; ++k) {
            std::size_t values = 0;
            for (std::size_t i = k * kCluster; i < (k + 1) * kCluster; ++i)
                if (columns[i].code == kCodeLong) ++values;
            out.push_back(std::byte{static_cast<std::uint8_t>(values)});
        }
        for (const CompactColumn* c : longs) out.insert(out.end(), c->bytes.begin(), c->bytes.end());
    }
    return out;
}

Bytes build_compression_info(const CompressionInfoSpec& blueprint) {
    const bool anchor = blueprint.anchor.has_value();
    const bool dictionary = blueprint.dictionary.has_value();
    Bytes out;
    out.push_back(std::byte{static_cast<std::uint8_t>((anchor ? 0x02 : 0) | (dictionary ? 0x04 : 0))});
    append_u16(out, 0);
    const std::size_t header = 3 + (anchor ? 2 : 0) + (dictionary ? 2 : 0);
    Bytes dict;
    if (dictionary) {
        const auto& entries = *blueprint.dictionary;
        append_u16(dict, entries.size());
        std::size_t end = 2 + 2 * entries.size();
        for (const Bytes& e : entries) append_u16(dict, end += e.size());
        for (const Bytes& e : entries) dict.insert(dict.end(), e.begin(), e.end());
    }
    const std::size_t anchor_end = header + (anchor ? blueprint.anchor->size() : 0);
    if (anchor) append_u16(out, anchor_end);
    if (dictionary) append_u16(out, anchor_end + dict.size());
    if (anchor) out.insert(out.end(), blueprint.anchor->begin(), blueprint.anchor->end());
    out.insert(out.end(), dict.begin(), dict.end());
    return out;
}

Bytes compact_integer(std::int64_t value) {
    if (value == 0) return {};
    std::size_t n = 1;
    while (n < 8) {
        const std::int64_t limit = std::int64_t{1} << (8 * n - 1);
        if (value >= -limit && value < limit) break;
        ++n;
    }
    auto u = static_cast<std::uint64_t>(value);
    u ^= std::uint64_t{1} << (8 * n - 1);
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i) out[n - 1 - i] = std::byte{static_cast<std::uint8_t>((u >> (8 * i)) & 0xFF)};
    return out;
}

Bytes scsu_encode(std::span<const std::byte> utf16le) {
    static constexpr std::uint32_t kWindows[8] = {0x0080, 0x00C0, 0x0400, 0x0600, 0x0900, 0x3040, 0x30A0, 0xFF00};
    std::uint32_t dynamic[8];
    std::copy(std::begin(kWindows), std::end(kWindows), dynamic);
    unsigned active = 0;
    Bytes out;
    auto put = [&out](unsigned b) { out.push_back(std::byte{static_cast<std::uint8_t>(b)}); };
    for (std::size_t i = 0; i + 1 < utf16le.size(); i += 2) {
        const unsigned u = std::to_integer<unsigned>(utf16le[i]) | (std::to_integer<unsigned>(utf16le[i + 1]) << 8);
        if (u == 0 || u == 0x09 || u == 0x0A || u == 0x0D || (u >= 0x20 && u < 0x80)) {
            put(u);
        } else if (u < 0x20) {
            put(0x01);  // SQ0: quoted from static window 0
            put(u);
        } else if (u >= dynamic[active] && u < dynamic[active] + 0x80) {
            put(0x80 + u - dynamic[active]);
        } else if (auto it = std::find_if(dynamic, dynamic + 8, [u](std::uint32_t w) { return u >= w && u < w + 0x80; });
                   it != dynamic + 8) {
            active = static_cast<unsigned>(it - dynamic);
            put(0x10 + active);
            put(0x80 + u - dynamic[active]);
        } else if (u >= 0x80 && u < 0x3400) {
            active = 7;  // SD7: a window of its own
            dynamic[7] = (u / 0x80) * 0x80;
            put(0x18 + 7);
            put(u / 0x80);
            put(0x80 + u - dynamic[7]);
        } else {
            put(0x0E);  // SQU
            put(u >> 8);
            put(u & 0xFF);
        }
    }
    return out;
}

Bytes compact_form(const ColumnSpec& column, const Bytes& ordinary) {
    switch (column.type) {
        case SqlType::TinyInt:
            return ordinary[0] == std::byte{0} ? Bytes{} : Bytes{ordinary[0]};
        case SqlType::SmallInt: return compact_integer(load_ordinary<std::int16_t>(ordinary));
        case SqlType::Int:
        case SqlType::SmallMoney:
        case SqlType::SmallDateTime: return compact_integer(load_ordinary<std::int32_t>(ordinary));
        case SqlType::BigInt:
        case SqlType::Money:
        case SqlType::DateTime: return compact_integer(load_ordinary<std::int64_t>(ordinary));
        case SqlType::Real:
        case SqlType::Float: {
            std::size_t i = 0;
            while (i < ordinary.size() && ordinary[i] == std::byte{0}) ++i;
            return Bytes(ordinary.begin() + static_cast<std::ptrdiff_t>(i), ordinary.end());
        }
        case SqlType::Decimal:
        case SqlType::Numeric: {
            u128 magnitude = 0;
            for (std::size_t i = ordinary.size(); i-- > 1;) magnitude = (magnitude << 8) | std::to_integer<unsigned>(ordinary[i]);
            return compact_decimal(ordinary[0] != std::byte{0}, magnitude, column.scale);
        }
        case SqlType::Char: return without_trailing(ordinary, 1, std::byte{0x20});
        case SqlType::Binary: return without_trailing(ordinary, 1, std::byte{0});
        case SqlType::NChar: return unicode_form(without_trailing(ordinary, 2, std::byte{0x20}), false);
        case SqlType::NVarChar:
        case SqlType::SysName: return unicode_form(ordinary, column.length < 0);
        // The time types keep their ordinary bytes, never shortened: time(p) 3-5 bytes, datetime2(p) 6-8,
        // datetimeoffset(p) 8-10 with its offset (a long value from 3 fraction digits on). Midnight of
        // 0001-01-01 is all zero bytes, not an empty value.
        case SqlType::Time:
        case SqlType::DateTime2:
        case SqlType::DateTimeOffset:
            return ordinary;
        // rowversion: the big-endian counter without its leading zero bytes (no sign flip).
        case SqlType::Timestamp: {
            std::size_t i = 0;
            while (i < ordinary.size() && ordinary[i] == std::byte{0}) ++i;
            return Bytes(ordinary.begin() + static_cast<std::ptrdiff_t>(i), ordinary.end());
        }
        default: return ordinary;
    }
}

std::vector<CompactColumn> compact_columns(const RecordLayout& layout, std::span<const ColumnSpec> columns,
                                           std::span<const Value> row, const LobPlacer& lobs) {
    if (row.size() != columns.size()) throw std::invalid_argument("row and columns differ in number");
    std::vector<CompactColumn> out;
    for (const PhysicalColumn& p : layout.columns) {
        const ColumnSpec& column = columns[p.column];
        const Value& value = row[p.column];
        if (value.is_null()) {
            if (!column.nullable) throw std::invalid_argument("column " + column.name + " is not nullable");
            out.push_back(CompactColumn::null());
            continue;
        }
        Bytes bytes = encode_value(column, value);
        if (column.type == SqlType::Bit) {
            out.push_back(bytes[0] != std::byte{0} ? CompactColumn::bit_one() : CompactColumn::empty());
        } else if (column.on_lob_pages()) {
            if (!lobs) throw std::invalid_argument("column " + column.name + " needs LOB pages");
            out.push_back(CompactColumn::value(lobs(column, bytes), true));
        } else {
            out.push_back(CompactColumn::value(compact_form(column, bytes)));
        }
    }
    return out;
}

CompressedPage compress_page(const std::vector<std::vector<CompactColumn>>& rows,
                             std::span<const ColumnSpec> columns, const RecordLayout& layout) {
    CompressedPage page;
    if (rows.empty()) return page;
    const std::size_t n = layout.columns.size();
    std::vector<std::optional<Bytes>> anchors(n);
    for (std::size_t k = 1; k < n; ++k) {
        const CompactColumn& first = rows.front()[k];
        const bool bit = columns[layout.columns[k].column].type == SqlType::Bit;
        if (!bit && !first.complex && first.code != kCodeNull && !first.bytes.empty()) anchors[k] = first.bytes;
    }
    std::vector<std::vector<CompactColumn>> rewritten;
    std::map<Bytes, int> uses;
    for (const auto& row : rows) {
        auto& out = rewritten.emplace_back();
        for (std::size_t k = 0; k < n; ++k) {
            const CompactColumn& c = row[k];
            if (!anchors[k] || c.code == kCodeNull || c.complex) {
                out.push_back(c);
            } else if (c.bytes == *anchors[k]) {
                out.push_back(CompactColumn::empty());
            } else {
                const Bytes& a = *anchors[k];
                std::size_t l = 0;
                while (l < 255 && l < a.size() && l < c.bytes.size() && a[l] == c.bytes[l]) ++l;
                Bytes raw{std::byte{static_cast<std::uint8_t>(l)}};
                raw.insert(raw.end(), c.bytes.begin() + static_cast<std::ptrdiff_t>(l), c.bytes.end());
                out.push_back(CompactColumn::value(std::move(raw)));
            }
            const CompactColumn& w = out.back();
            if (!w.complex && w.bytes.size() >= 4 && w.code != kCodeSymbol) ++uses[w.bytes];
        }
    }
    std::vector<Bytes> dictionary;
    std::map<Bytes, std::uint8_t> symbols;
    for (const auto& [bytes, count] : uses)
        if (count > 1 && dictionary.size() < 255) {
            symbols[bytes] = static_cast<std::uint8_t>(dictionary.size());
            dictionary.push_back(bytes);
        }
    CompactRecordSpec anchor;
    for (std::size_t k = 0; k < n; ++k)
        anchor.columns.push_back(anchors[k] ? CompactColumn::value(*anchors[k]) : CompactColumn::null());
    CompressionInfoSpec info;
    info.anchor = build_compact_record(anchor);
    if (!dictionary.empty()) info.dictionary = dictionary;
    page.info = build_compression_info(info);
    for (auto& row : rewritten) {
        for (CompactColumn& c : row)
            if (auto it = symbols.find(c.bytes); !c.complex && c.bytes.size() >= 4 && it != symbols.end())
                c = CompactColumn::symbol(it->second);
        page.records.push_back(build_compact_record({0, row, std::nullopt}));
    }
    return page;
}

}  // namespace quenlow::testing
