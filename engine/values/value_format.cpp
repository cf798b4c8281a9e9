// Format value: the text of one column value by its type code.

#include "engine/values/value_format.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "engine/catalog/type_codes.h"
#include "engine/values/date_time.h"
#include "engine/values/padded_load.h"

namespace quenlow {

namespace {

// Bit columns share the bytes of the fixed part through the record's cursor: the first of up to eight
// takes a byte (declared size 1, so the fixed position moves on), the others read the next bits of that
// byte (declared size 0). The first column reads the lowest bit.
// False when the byte a new group of bits needs lies outside the value's region.
bool format_bit(std::string& out, ValueInfo& info, const std::byte* bytes) {
    info.declared_size = 0;
    if (info.value_length != 1 || info.bit_cursor == nullptr) return true;
    BitCursor& cursor = *info.bit_cursor;
    if (cursor.bit_index < 0 || cursor.bit_index >= 8) cursor.byte_loaded = false;
    if (!cursor.byte_loaded) {
        if (bytes == nullptr || info.available_bytes < 1) return false;
        cursor.current_byte = std::to_integer<std::uint8_t>(bytes[0]);
        cursor.bit_index = 0;
        cursor.byte_loaded = true;
        cursor.byte_taken = true;
        info.width = 1;
        info.declared_size = 1;
    } else {
        cursor.byte_taken = false;
        info.width = 0;
    }
    info.value_length = 1;
    const bool set = (cursor.current_byte >> cursor.bit_index) & 1;
    ++cursor.bit_index;
    out.append(set ? "True" : "False");
    return true;
}

// The date and time formatters write one blank for a date or time of day out of range, and nothing for
// a size or scale the type cannot have.
ValueDamage date_damage(const std::string& out) {
    return out.empty() || out == " " ? ValueDamage::kInvalidBytes : ValueDamage::kNone;
}

// ntext, and sql_variant data read without its header: UTF-16 when exactly half the bytes are zero,
// otherwise 8-bit text in the column's code page.
void append_unicode_guess(std::string& out, std::span<const std::byte> bytes, const ColumnDescriptor& column,
                          const FormatContext& context) {
    const auto zeros = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), std::byte{0}));
    if (zeros == bytes.size() / 2) return append_utf16_text(out, bytes);
    context.converters.append_utf8(out, until_zero_byte(bytes), column_code_page(column, context),
                                   context.ansi_code_page);
}

void append_xml(std::string& out, std::span<const std::byte> bytes, const FormatContext& context) {
    if (context.convert_xml != nullptr) out = context.convert_xml(bytes, context);
    if (out.empty()) out.push_back(' ');
}

}  // namespace

std::int32_t database_code_page(const FormatContext& context) {
    const EngineState& state = context.state;
    return state.collation_found && state.code_page > 0 ? state.code_page : context.ansi_code_page;
}

std::int32_t collation_code_page(std::int32_t collation_id, const FormatContext& context) {
    const EngineState& state = context.state;
    if (collation_id == 0 || collation_id == -1) return database_code_page(context);
    // Columns made with the database's default collation store its id: they follow the database
    // collation, which the user may have chosen in place of the stored one.
    if (state.stored_collation_id != 0 && collation_id == state.stored_collation_id)
        return database_code_page(context);
    const auto it = state.collations.find(static_cast<std::int64_t>(collation_id));
    if (it == state.collations.end() || it->second.code_page <= 0) return database_code_page(context);
    return it->second.code_page;
}

std::int32_t column_code_page(const ColumnDescriptor& column, const FormatContext& context) {
    return collation_code_page(column.collation_id, context);
}

ValueDamage format_value_to(std::string& out, ValueInfo& info, const std::byte* bytes,
                            const ColumnDescriptor& column, const FormatContext& context) {
    out.clear();
    if (info.declared_size == 0) info.declared_size = declared_length_of(column.type_text);
    if (info.variable) info.available_bytes = info.value_length;
    if (info.value_length < 1) return ValueDamage::kNone;  // an empty value
    if (info.type_code == kTypeBit)
        return format_bit(out, info, bytes) ? ValueDamage::kNone : ValueDamage::kOutsideRecord;
    if (bytes == nullptr) return ValueDamage::kOutsideRecord;

    // The first `count` bytes of the value, when there are that many.
    auto take = [&](std::int64_t count) -> std::optional<std::span<const std::byte>> {
        if (count < 1 || count > info.available_bytes) return std::nullopt;
        return std::span<const std::byte>(bytes, static_cast<std::size_t>(count));
    };
    const std::int64_t length = info.value_length;
    const std::int64_t declared = info.declared_size;
    const bool exact = context.style == ValueStyle::kExport;
    std::optional<std::span<const std::byte>> value;

    switch (info.type_code) {
        case kTypeBigint:
            if (!(value = take(length))) return ValueDamage::kOutsideRecord;
            append_number(out, load_padded<std::int64_t>(*value));
            break;
        case kTypeInt:
            if (!(value = take(length))) return ValueDamage::kOutsideRecord;
            append_number(out, load_padded<std::int32_t>(*value));
            break;
        case kTypeSmallint:
            if (!(value = take(length))) return ValueDamage::kOutsideRecord;
            append_number(out, load_padded<std::int16_t>(*value));
            break;
        case kTypeTinyint:
            if (!(value = take(length))) return ValueDamage::kOutsideRecord;
            append_number(out, load_padded<std::uint8_t>(*value));
            break;
        case kTypeBinary:
        case kTypeTimestamp:
            if (!(value = take(length))) return ValueDamage::kOutsideRecord;
            append_hex(out, *value, true);
            break;
        case kTypeVarbinary:
        case kTypeClr:  // the row decoder adds "0x"
            if (!(value = take(length))) return ValueDamage::kOutsideRecord;
            append_hex(out, *value, false);
            break;
        case kTypeChar:
        case kTypeVarchar:
        case kTypeText:
            if (!(value = take(length))) return ValueDamage::kOutsideRecord;
            context.converters.append_utf8(out, until_zero_byte(*value), column_code_page(column, context),
                                           context.ansi_code_page);
            break;
        case kTypeNchar:
        case kTypeNvarchar:
            if (!(value = take(length))) return ValueDamage::kOutsideRecord;
            append_utf16_text(out, *value);
            break;
        case kTypeNtext:
            if (!(value = take(length))) return ValueDamage::kOutsideRecord;
            append_unicode_guess(out, *value, column, context);
            break;
        case kTypeSqlVariant:
            if ((value = take(length)) && length > 8)
                append_unicode_guess(out, value->subspan(8), column, context);
            break;
        case kTypeDatetime:
            if (!(value = take(8))) return ValueDamage::kOutsideRecord;
            if (exact)
                append_datetime_milliseconds(out, *value);
            else
                append_datetime(out, *value);
            return date_damage(out);
        case kTypeSmalldatetime:
            if (!(value = take(4))) return ValueDamage::kOutsideRecord;
            append_smalldatetime(out, *value);
            return date_damage(out);
        case kTypeDate:
            if (!(value = take(3))) return ValueDamage::kOutsideRecord;
            append_date(out, *value);
            return date_damage(out);
        case kTypeTime:
            if (!(value = take(declared))) return ValueDamage::kOutsideRecord;
            append_time(out, *value, column.scale, info.declared_size);
            return date_damage(out);
        case kTypeDatetime2:
            if (!(value = take(declared))) return ValueDamage::kOutsideRecord;
            append_datetime2(out, *value, column.scale, info.declared_size);
            return date_damage(out);
        case kTypeDatetimeoffset:
            if (!(value = take(declared))) return ValueDamage::kOutsideRecord;
            if (exact)
                append_datetimeoffset_iso(out, *value, column.scale, info.declared_size);
            else
                append_datetimeoffset(out, *value, column.scale, info.declared_size);
            return date_damage(out);
        case kTypeUniqueidentifier:
            if (!(value = take(length))) return ValueDamage::kOutsideRecord;
            append_guid(out, *value);
            break;
        case kTypeMoney:
            if (!(value = take(declared))) return ValueDamage::kOutsideRecord;
            append_money(out, load_padded<std::int64_t>(*value));
            break;
        case kTypeSmallmoney:
            if (!(value = take(declared))) return ValueDamage::kOutsideRecord;
            if (exact)
                append_money(out, load_padded<std::int32_t>(*value));
            else
                append_smallmoney(out, load_padded<std::int32_t>(*value));
            break;
        case kTypeFloat:
            if (!(value = take(length))) return ValueDamage::kOutsideRecord;
            if (exact)
                append_shortest(out, load_padded<double>(*value));
            else
                append_float(out, load_padded<double>(*value));
            break;
        case kTypeReal:
            if (!(value = take(length))) return ValueDamage::kOutsideRecord;
            if (exact)
                append_shortest(out, load_padded<float>(*value));
            else
                append_real(out, load_padded<float>(*value));
            break;
        case kTypeNumeric:
        case kTypeDecimal: {
            if (!(value = take(declared))) return ValueDamage::kOutsideRecord;
            // The sign byte is 1 for a positive value and 0 for a negative one.
            const auto sign = std::to_integer<std::uint8_t>((*value)[0]);
            const bool read = append_decimal(out, column.precision, column.scale, sign, value->subspan(1));
            return read && sign <= 1 ? ValueDamage::kNone : ValueDamage::kInvalidBytes;
        }
        case kTypeXml:
            if (!(value = take(length))) return ValueDamage::kOutsideRecord;
            append_xml(out, *value, context);
            break;
        default:  // image (read through large values) and codes no column carries
            break;
    }
    return ValueDamage::kNone;
}

std::string format_value(ValueInfo& info, const std::byte* bytes, const ColumnDescriptor& column,
                         const FormatContext& context) {
    std::string out;
    format_value_to(out, info, bytes, column, context);
    return out;
}

std::string narrow_to_text(std::span<const std::byte> bytes, std::int32_t code_page) {
    CodePageConverters converters;
    std::string out;
    converters.append_utf8(out, until_zero_byte(bytes), code_page);
    return out;
}

}  // namespace quenlow
