#include "engine/values/compact_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

#include "engine/catalog/type_codes.h"
#include "engine/values/compact_values.h"
#include "engine/values/date_time.h"
#include "engine/values/text_conversion.h"
#include "engine/values/value_format.h"

namespace quenlow {

namespace {

// The longest value written here: its UTF-16 form stays within what one value may hold.
constexpr std::size_t kMaxDirectText = 8000;

// The integer of a compact value whose ordinary form takes `size` bytes; false when it does not fit.
bool integer_of(std::span<const std::byte> stored, std::size_t size, std::int64_t& value) {
    return stored.size() <= size && decode_compact_integer(stored, value);
}

// The date formatters write one blank for a date out of range.
ValueDamage date_damage(const std::string& out) {
    return out.empty() || out == " " ? ValueDamage::kInvalidBytes : ValueDamage::kNone;
}

// A date and time type from the integer that is its ordinary bytes read little-endian.
template <std::size_t N>
std::array<std::byte, N> le_bytes(std::int64_t value) {
    std::array<std::byte, N> bytes;
    std::memcpy(bytes.data(), &value, N);  // the host is little-endian
    return bytes;
}

// SCSU of text whose every character is below U+0080, in the initial state: the characters are their
// own bytes, and a window switch (SC0-SC7, the encoder's pad to an odd length) only changes how bytes
// from 80 on read, so it writes nothing. False, with out as it was, for any other byte.
bool append_plain_scsu(std::string& out, std::span<const std::byte> stored) {
    bool switches = false;
    for (const std::byte b : stored) {
        const auto c = std::to_integer<std::uint8_t>(b);
        if (c >= 0x80) return false;
        if (c >= 0x20 || c == 0x09 || c == 0x0A || c == 0x0D) continue;
        if (c < 0x10 || c > 0x17) return false;
        switches = true;
    }
    if (!switches) {
        out.append(reinterpret_cast<const char*>(stored.data()), stored.size());
        return true;
    }
    const std::size_t start = out.size();
    out.resize(start + stored.size());
    char* p = out.data() + start;
    for (const std::byte b : stored) {
        const auto c = std::to_integer<std::uint8_t>(b);
        *p = static_cast<char>(c);
        p += c < 0x10 || c > 0x17 ? 1 : 0;
    }
    out.resize(static_cast<std::size_t>(p - out.data()));
    return true;
}

CompactFormat unicode_text(std::string& out, const ColumnDescriptor& column,
                           std::span<const std::byte> stored) {
    if (stored.size() > kMaxDirectText) return CompactFormat::kRebuild;
    // A (max) value is kept as written; otherwise an odd length is the mark of SCSU.
    if (column.declared_length == -1 || stored.size() % 2 == 0) {
        append_utf16_text(out, stored);
        return CompactFormat::kWritten;
    }
    return append_plain_scsu(out, stored) ? CompactFormat::kWritten : CompactFormat::kRebuild;
}

CompactFormat decimal_text(std::string& out, ValueDamage& damage, const ColumnDescriptor& column,
                           std::int32_t declared, std::span<const std::byte> stored) {
    if (declared < 2 || declared > 17) return CompactFormat::kRebuild;
    const auto magnitude_bytes = static_cast<std::size_t>(declared - 1);
    bool positive = true;
    std::array<std::byte, 16> magnitude{};
    if (!decode_compact_decimal(stored, column.scale, positive, magnitude)) return CompactFormat::kRebuild;
    for (std::size_t i = magnitude_bytes; i < magnitude.size(); ++i)
        if (magnitude[i] != std::byte{0}) return CompactFormat::kRebuild;
    const bool read = append_decimal(out, column.precision, column.scale, positive ? 1 : 0,
                                     std::span<const std::byte>(magnitude.data(), magnitude_bytes));
    damage = read ? ValueDamage::kNone : ValueDamage::kInvalidBytes;
    return CompactFormat::kWritten;
}

// The text of a value without an anchor prefix (or with it joined to the stored bytes).
CompactFormat format_joined(std::string& out, ValueDamage& damage, const ValueInfo& info,
                            std::int32_t declared, const ColumnDescriptor& column,
                            std::span<const std::byte> stored, const FormatContext& context) {
    out.clear();
    damage = ValueDamage::kNone;
    if (info.type_code == kTypeNchar || info.type_code == kTypeNvarchar) {
        // A fixed nchar value is padded to its size: the rebuild does that.
        if (!info.variable) return CompactFormat::kRebuild;
        return unicode_text(out, column, stored);
    }
    if (declared <= 0 || info.value_length < 1) return CompactFormat::kRebuild;
    const bool exact = context.style == ValueStyle::kExport;
    const auto length = static_cast<std::size_t>(info.value_length);
    std::int64_t value = 0;
    // Each case falls back to the rebuild when its bytes are no value of the type: the rebuild says so.
    switch (info.type_code) {
        case kTypeTinyint:
            if (length != 1 || stored.size() > 1) return CompactFormat::kRebuild;
            append_number(out, stored.empty() ? 0u : std::to_integer<unsigned>(stored[0]));
            return CompactFormat::kWritten;
        case kTypeSmallint:
            if (length != 2 || !integer_of(stored, 2, value)) return CompactFormat::kRebuild;
            append_number(out, static_cast<std::int16_t>(value));
            return CompactFormat::kWritten;
        case kTypeInt:
            if (length != 4 || !integer_of(stored, 4, value)) return CompactFormat::kRebuild;
            append_number(out, static_cast<std::int32_t>(value));
            return CompactFormat::kWritten;
        case kTypeBigint:
            if (length != 8 || !integer_of(stored, 8, value)) return CompactFormat::kRebuild;
            append_number(out, value);
            return CompactFormat::kWritten;
        case kTypeMoney:
            if (declared != 8 || !integer_of(stored, 8, value)) return CompactFormat::kRebuild;
            append_money(out, value);
            return CompactFormat::kWritten;
        case kTypeSmallmoney:
            if (declared != 4 || !integer_of(stored, 4, value)) return CompactFormat::kRebuild;
            if (exact)
                append_money(out, static_cast<std::int32_t>(value));
            else
                append_smallmoney(out, static_cast<std::int32_t>(value));
            return CompactFormat::kWritten;
        case kTypeDatetime: {
            if (!integer_of(stored, 8, value)) return CompactFormat::kRebuild;
            const auto bytes = le_bytes<8>(value);
            if (exact)
                append_datetime_milliseconds(out, bytes);
            else
                append_datetime(out, bytes);
            damage = date_damage(out);
            return CompactFormat::kWritten;
        }
        case kTypeSmalldatetime:
            if (!integer_of(stored, 4, value)) return CompactFormat::kRebuild;
            append_smalldatetime(out, le_bytes<4>(value));
            damage = date_damage(out);
            return CompactFormat::kWritten;
        case kTypeDecimal:
        case kTypeNumeric:
            return decimal_text(out, damage, column, declared, stored);
        default:
            return CompactFormat::kRebuild;
    }
}

}  // namespace

CompactFormat format_compact_value(std::string& out, ValueDamage& damage, const ValueInfo& info,
                                   std::int32_t declared, const ColumnDescriptor& column,
                                   std::span<const std::byte> prefix, std::span<const std::byte> stored,
                                   const FormatContext& context) {
    if (prefix.empty()) return format_joined(out, damage, info, declared, column, stored, context);
    out.clear();
    damage = ValueDamage::kNone;
    const std::size_t size = prefix.size() + stored.size();
    if (info.type_code == kTypeNchar || info.type_code == kTypeNvarchar) {
        // Plain SCSU reads the same in two pieces; a UTF-16 unit may straddle them, and a fixed nchar
        // value is padded: the rebuild joins those.
        if (!info.variable || column.declared_length == -1 || size % 2 == 0 || size > kMaxDirectText)
            return CompactFormat::kRebuild;
        if (append_plain_scsu(out, prefix) && append_plain_scsu(out, stored)) return CompactFormat::kWritten;
        out.clear();
        return CompactFormat::kRebuild;
    }
    // The other types take a few bytes: joined on the stack (the longest is a decimal's 20).
    std::array<std::byte, 20> joined;
    if (size > joined.size()) return CompactFormat::kRebuild;
    std::copy(prefix.begin(), prefix.end(), joined.begin());
    std::copy(stored.begin(), stored.end(), joined.begin() + static_cast<std::ptrdiff_t>(prefix.size()));
    return format_joined(out, damage, info, declared, column, std::span<const std::byte>(joined.data(), size),
                         context);
}

}  // namespace quenlow
