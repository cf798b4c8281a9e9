// TEMPORARY: stand-ins for the value description and formatters, so that the row decoder links and its
// tests run before the real formatters arrive. Removed when those are merged; nothing here is meant to
// outlive that. Only the types the decoder tests use are formatted, the way the real formatters do.

#include <cstring>
#include <string>

#include "engine/catalog/type_codes.h"
#include "engine/values/sql_variant.h"
#include "engine/values/value_format.h"
#include "engine/values/value_info.h"

namespace quenlow {

ValueInfo make_value_info(const ColumnDescriptor& column, std::int32_t type_code, BitCursor& cursor) {
    ValueInfo info;
    info.type_code = type_code;
    auto fixed = [&info](std::int16_t width) {
        info.width = width;
        info.value_length = width;
    };
    switch (type_code) {
        case kTypeBigint:
        case kTypeDatetime:
        case kTypeDatetime2:
        case kTypeFloat:
        case kTypeMoney:
        case kTypeTimestamp:
            fixed(8);
            break;
        case kTypeBinary:
        case kTypeChar:
        case kTypeDecimal:
            fixed(column.declared_length);
            break;
        case kTypeBit:
            info.bit_cursor = &cursor;
            info.width = cursor.bit_index == 8 ? 1 : 0;
            cursor.byte_taken = cursor.bit_index == 8;
            info.value_length = 1;
            break;
        case kTypeDate:
            fixed(3);
            break;
        case kTypeTime:
            fixed(5);
            break;
        case kTypeDatetimeoffset:
            fixed(10);
            break;
        case kTypeInt:
        case kTypeSmalldatetime:
        case kTypeReal:
        case kTypeSmallmoney:
            fixed(4);
            break;
        case kTypeSmallint:
            fixed(2);
            break;
        case kTypeTinyint:
            fixed(1);
            break;
        case kTypeUniqueidentifier:
            fixed(16);
            break;
        case kTypeNumeric:
            fixed(19);
            break;
        case kTypeNchar:
        case kTypeNvarchar:
        case kTypeNtext:
        case kTypeSqlVariant:
        case kTypeText:
        case kTypeClr:
            info.variable = column.variable_length;
            fixed(column.declared_length);
            break;
        case kTypeVarchar:
            info.variable = column.variable_length;
            info.value_length = column.declared_length;
            break;
        case kTypeVarbinary:
        case kTypeImage:
        case kTypeXml:
            info.variable = true;
            info.value_length = column.declared_length;
            break;
        default:
            break;
    }
    return info;
}

std::string format_hex(std::span<const std::byte> bytes, bool prefix) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out = prefix ? "0x" : "";
    for (std::byte b : bytes) {
        out.push_back(kDigits[std::to_integer<unsigned>(b) >> 4]);
        out.push_back(kDigits[std::to_integer<unsigned>(b) & 15]);
    }
    return out;
}

namespace {

template <typename T>
T load_zero_extended(std::span<const std::byte> v) {
    T value{};
    std::memcpy(&value, v.data(), std::min(v.size(), sizeof(T)));
    return value;
}

void append_utf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string latin1(std::span<const std::byte> v) {
    std::string out;
    for (std::byte b : v) {
        if (b == std::byte{0}) break;
        append_utf8(out, std::to_integer<std::uint32_t>(b));
    }
    return out;
}

std::string utf16(std::span<const std::byte> v) {
    std::string out;
    for (std::size_t i = 0; i + 1 < v.size(); i += 2) {
        const std::uint32_t unit = load_zero_extended<std::uint16_t>(v.subspan(i, 2));
        if (unit == 0) break;
        append_utf8(out, unit);
    }
    return out;
}

std::string format_bit(ValueInfo& info, const std::byte* bytes) {
    info.declared_size = 0;
    if (info.value_length != 1 || info.bit_cursor == nullptr) return {};
    BitCursor& c = *info.bit_cursor;
    if (c.bit_index == 8) c.byte_loaded = false;
    if (!c.byte_loaded) {
        if (info.available_bytes < 1) return {};
        c.current_byte = std::to_integer<std::uint8_t>(bytes[0]);
        c.bit_index = 0;
        c.byte_loaded = c.byte_taken = true;
        info.width = 1;
        info.declared_size = 1;
    } else {
        info.width = 0;
        c.byte_taken = false;
    }
    const bool bit = ((c.current_byte >> c.bit_index) & 1) != 0;
    ++c.bit_index;
    return bit ? "True" : "False";
}

}  // namespace

std::string format_value(ValueInfo& info, const std::byte* bytes, const ColumnDescriptor& column,
                         const FormatContext& /*context*/) {
    if (info.declared_size == 0) info.declared_size = declared_length_of(column.type_text);
    if (info.variable) info.available_bytes = info.value_length;
    if (info.type_code == kTypeBit) return format_bit(info, bytes);
    if (info.value_length < 1 || info.value_length > info.available_bytes) return {};
    const std::span<const std::byte> v(bytes, static_cast<std::size_t>(info.value_length));
    switch (info.type_code) {
        case kTypeBigint:
            return std::to_string(load_zero_extended<std::int64_t>(v));
        case kTypeInt:
            return std::to_string(load_zero_extended<std::int32_t>(v));
        case kTypeSmallint:
            return std::to_string(load_zero_extended<std::int16_t>(v));
        case kTypeTinyint:
            return std::to_string(load_zero_extended<std::uint8_t>(v));
        case kTypeBinary:
        case kTypeTimestamp:
            return format_hex(v, true);
        case kTypeVarbinary:
        case kTypeClr:
            return format_hex(v, false);
        case kTypeChar:
        case kTypeVarchar:
        case kTypeText:
            return latin1(v);
        case kTypeNchar:
        case kTypeNvarchar:
            return utf16(v);
        case kTypeXml:
            return " ";
        default:
            return {};
    }
}

std::string format_sql_variant(std::span<const std::byte> bytes, const FormatContext& /*context*/) {
    // Only int (base type 56): base type, version, four bytes.
    if (bytes.size() != 6 || std::to_integer<unsigned>(bytes[0]) != 56) return {};
    return std::to_string(load_zero_extended<std::int32_t>(bytes.subspan(2)));
}

}  // namespace quenlow
