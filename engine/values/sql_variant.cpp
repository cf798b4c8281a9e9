#include "engine/values/sql_variant.h"

#include <charconv>

#include "engine/pages/byte_reader.h"
#include "engine/values/date_time.h"
#include "engine/values/padded_load.h"
#include "engine/values/value_format.h"

namespace quenlow {

namespace {

// Base types: the system type ids of the values a variant can hold.
enum BaseType : std::uint8_t {
    kBaseUniqueidentifier = 36,
    kBaseDate = 40,
    kBaseTime = 41,
    kBaseDatetime2 = 42,
    kBaseDatetimeoffset = 43,
    kBaseTinyint = 48,
    kBaseSmallint = 52,
    kBaseInt = 56,
    kBaseSmalldatetime = 58,
    kBaseReal = 59,
    kBaseMoney = 60,
    kBaseDatetime = 61,
    kBaseFloat = 62,
    kBaseBit = 104,
    kBaseDecimal = 106,
    kBaseNumeric = 108,
    kBaseSmallmoney = 122,
    kBaseBigint = 127,
    kBaseVarbinary = 165,
    kBaseVarchar = 167,
    kBaseBinary = 173,
    kBaseChar = 175,
    kBaseNvarchar = 231,
    kBaseNchar = 239,
    kBaseClr = 240,
};

// Where varchar, nvarchar and nchar values keep their collation id (after the maximum length); their
// data starts 4 bytes later, so the id is always there when there is data.
constexpr std::size_t kVariantCollation = 4;

// Values of one fixed length; the data starts at 2. In export style float, real, smallmoney and datetime
// keep every stored digit, as their columns do.
void append_fixed_size(std::string& out, std::uint8_t base, std::span<const std::byte> data, bool exact) {
    switch (base) {
        case kBaseBigint:
            return append_number(out, load_padded<std::int64_t>(data));
        case kBaseInt:
            return append_number(out, load_padded<std::int32_t>(data));
        case kBaseSmallint:
            return append_number(out, load_padded<std::int16_t>(data));
        case kBaseTinyint:
            return append_number(out, load_padded<std::uint8_t>(data));
        case kBaseBit:
            out.append(load_le<std::uint8_t>(data, 0) != 0 ? "True" : "False");
            return;
        case kBaseFloat:
            if (exact) return append_shortest(out, load_padded<double>(data));
            return append_float(out, load_padded<double>(data), true);
        case kBaseReal:
            if (exact) return append_shortest(out, load_padded<float>(data));
            return append_real(out, load_padded<float>(data), true);
        case kBaseMoney:
            return append_money(out, load_padded<std::int64_t>(data));
        case kBaseSmallmoney:
            if (exact) return append_money(out, load_padded<std::int32_t>(data));
            return append_smallmoney(out, load_padded<std::int32_t>(data));
        case kBaseDatetime:
            if (exact) return append_datetime_milliseconds(out, data);
            return append_datetime(out, data);
        case kBaseSmalldatetime:
            return append_smalldatetime(out, data);
        case kBaseDate:
            return append_date(out, data);
        case kBaseUniqueidentifier:
            return append_guid(out, data);
        default:
            return;
    }
}

// The length a base type of fixed size requires; 0 for the others.
std::size_t fixed_length_of(std::uint8_t base) {
    switch (base) {
        case kBaseBigint:
        case kBaseFloat:
        case kBaseMoney:
        case kBaseDatetime:
            return 10;
        case kBaseInt:
        case kBaseReal:
        case kBaseSmallmoney:
        case kBaseSmalldatetime:
            return 6;
        case kBaseSmallint:
            return 4;
        case kBaseTinyint:
        case kBaseBit:
            return 3;
        case kBaseDate:
            return 5;
        case kBaseUniqueidentifier:
            return 18;
        default:
            return 0;
    }
}

// Where the data of a base type of variable size starts; 0 for the others.
std::size_t data_offset_of(std::uint8_t base) {
    switch (base) {
        case kBaseTime:
        case kBaseDatetime2:
        case kBaseDatetimeoffset:
            return 3;
        case kBaseDecimal:
        case kBaseNumeric:
        case kBaseVarbinary:
        case kBaseBinary:
            return 4;
        case kBaseVarchar:
        case kBaseNvarchar:
        case kBaseNchar:
            return 8;
        case kBaseChar:
        case kBaseClr:
            return 2;
        default:
            return 0;
    }
}

}  // namespace

bool append_sql_variant(std::string& out, std::span<const std::byte> bytes, const FormatContext& context) {
    if (bytes.size() < 2) return false;  // not even the base type and version
    const std::uint8_t base = load_le<std::uint8_t>(bytes, 0);
    const bool exact = context.style == ValueStyle::kExport;
    // The date and time formatters write nothing, or one blank, for a value they cannot read.
    const auto date_read = [&out, start = out.size()] {
        return out.size() > start && !(out.size() == start + 1 && out.back() == ' ');
    };
    if (const std::size_t length = fixed_length_of(base); length != 0) {
        if (bytes.size() != length) return false;
        const std::size_t start = out.size();
        append_fixed_size(out, base, bytes.subspan(2), exact);
        switch (base) {
            case kBaseDatetime:
            case kBaseSmalldatetime:
            case kBaseDate:
                return date_read();
            default:
                return out.size() > start;
        }
    }
    const std::size_t offset = data_offset_of(base);
    if (offset == 0 || bytes.size() < offset) return false;  // unknown base type, properties cut short
    if (bytes.size() == offset) {
        // No data: an empty string or binary value; the other types always have data.
        return base == kBaseVarbinary || base == kBaseBinary || base == kBaseVarchar ||
               base == kBaseNvarchar || base == kBaseNchar || base == kBaseChar || base == kBaseClr;
    }
    const auto data = bytes.subspan(offset);
    const int size = static_cast<int>(data.size());
    switch (base) {
        case kBaseTime:
            append_time(out, data, load_le<std::uint8_t>(bytes, 2), size);
            return date_read();
        case kBaseDatetime2:
            append_datetime2(out, data, load_le<std::uint8_t>(bytes, 2), size);
            return date_read();
        case kBaseDatetimeoffset:
            if (exact)
                append_datetimeoffset_iso(out, data, load_le<std::uint8_t>(bytes, 2), size);
            else
                append_datetimeoffset(out, data, load_le<std::uint8_t>(bytes, 2), size);
            return date_read();
        case kBaseDecimal:
        case kBaseNumeric: {
            // A sign byte of 1 (positive) or 0 (negative), then at most 16 bytes of magnitude.
            const std::uint8_t sign = load_le<std::uint8_t>(data, 0);
            const bool read = append_decimal(out, load_le<std::uint8_t>(bytes, 2), load_le<std::uint8_t>(bytes, 3),
                                             sign, data.subspan(1));
            return read && sign <= 1 && data.size() > 1 && data.size() <= 17;
        }
        case kBaseVarbinary:
        case kBaseBinary:
            context.converters.append_utf8(out, until_zero_byte(data), context.ansi_code_page,
                                           context.ansi_code_page);
            return true;
        case kBaseChar:
            context.converters.append_utf8(out, until_zero_byte(data), database_code_page(context),
                                           context.ansi_code_page);
            return true;
        case kBaseVarchar:
            context.converters.append_utf8(
                out, until_zero_byte(data),
                collation_code_page(load_padded<std::int32_t>(bytes.subspan(kVariantCollation, 4)), context),
                context.ansi_code_page);
            return true;
        case kBaseNvarchar:
        case kBaseNchar:
            append_utf16_text(out, data);
            return true;
        case kBaseClr:
            append_hex(out, data, true);
            return true;
        default:
            return false;
    }
}

std::string format_sql_variant(std::span<const std::byte> bytes, const FormatContext& context) {
    std::string out;
    append_sql_variant(out, bytes, context);
    return out;
}

}  // namespace quenlow
