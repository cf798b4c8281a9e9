#include "tests/support/sql_value.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

namespace quenlow::testing {

namespace {

using u128 = unsigned __int128;

const TypeFacts kFacts[] = {
    {"int", 56, 56, false, false},
    {"bigint", 127, 127, false, false},
    {"smallint", 52, 52, false, false},
    {"tinyint", 48, 48, false, false},
    {"bit", 104, 104, false, false},
    {"char", 175, 175, false, true},
    {"varchar", 167, 167, true, true},
    {"nchar", 239, 239, false, true},
    {"nvarchar", 231, 231, true, true},
    {"sysname", 231, 256, true, true},
    {"datetime", 61, 61, false, false},
    {"smalldatetime", 58, 58, false, false},
    {"date", 40, 40, false, false},
    {"money", 60, 60, false, false},
    {"smallmoney", 122, 122, false, false},
    {"decimal", 106, 106, false, false},
    {"numeric", 108, 108, false, false},
    {"uniqueidentifier", 36, 36, false, false},
    {"binary", 173, 173, false, false},
    {"varbinary", 165, 165, true, false},
    {"float", 62, 62, false, false},
    {"real", 59, 59, false, false},
    {"sql_variant", 98, 98, true, false},
    {"text", 35, 35, true, true},
    {"ntext", 99, 99, true, true},
    {"image", 34, 34, true, false},
    {"time", 41, 41, false, false},
    {"datetime2", 42, 42, false, false},
    {"datetimeoffset", 43, 43, false, false},
    {"timestamp", 189, 189, false, false},
};

[[noreturn]] void refuse(const ColumnSpec& column, const char* why) {
    throw std::invalid_argument("column " + column.name + ": " + why);
}

template <typename T>
void append_le(std::vector<std::byte>& out, T value) {
    std::byte raw[sizeof(T)];
    std::memcpy(raw, &value, sizeof(T));
    out.insert(out.end(), raw, raw + sizeof(T));
}

int decimal_storage(int precision) {
    if (precision <= 9) return 5;
    if (precision <= 19) return 9;
    if (precision <= 28) return 13;
    return 17;
}

// A decimal text as an unsigned magnitude at the given scale; refuses more fraction digits than the
// scale holds or more digits than the precision.
struct ScaledDecimal {
    bool negative = false;
    u128 magnitude = 0;
};

ScaledDecimal scale_decimal(const ColumnSpec& column, const std::string& text, int scale, int precision) {
    ScaledDecimal out;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) out.negative = text[i++] == '-';
    int fraction_digits = -1;
    int digits = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c == '.' && fraction_digits < 0) {
            fraction_digits = 0;
            continue;
        }
        if (c < '0' || c > '9') refuse(column, "not a decimal number");
        if (fraction_digits >= 0) ++fraction_digits;
        if (fraction_digits > scale) refuse(column, "more fraction digits than the scale");
        out.magnitude = out.magnitude * 10 + static_cast<unsigned>(c - '0');
        if (out.magnitude != 0) ++digits;
    }
    for (int f = fraction_digits < 0 ? 0 : fraction_digits; f < scale; ++f) {
        out.magnitude *= 10;
        if (out.magnitude != 0) ++digits;
    }
    if (digits > precision) refuse(column, "more digits than the precision");
    return out;
}

ScaledDecimal scaled_value(const ColumnSpec& column, const Value& value, int scale, int precision) {
    switch (value.kind()) {
        case Value::Kind::Decimal:
        case Value::Kind::Text:
            return scale_decimal(column, value.as_text(), scale, precision);
        case Value::Kind::Integer:
            return scale_decimal(column, std::to_string(value.as_integer()), scale, precision);
        case Value::Kind::Floating: {
            double scaled = std::round(value.as_floating() * std::pow(10.0, scale));
            ScaledDecimal out;
            out.negative = scaled < 0;
            out.magnitude = static_cast<u128>(std::fabs(scaled));
            return out;
        }
        default:
            refuse(column, "expects a number");
    }
}

std::int64_t signed_scaled(const ColumnSpec& column, const Value& value, int scale, int precision) {
    ScaledDecimal d = scaled_value(column, value, scale, precision);
    auto m = static_cast<std::int64_t>(d.magnitude);
    return d.negative ? -m : m;
}

std::int64_t checked_integer(const ColumnSpec& column, const Value& value, std::int64_t low,
                             std::int64_t high) {
    if (value.kind() != Value::Kind::Integer) refuse(column, "expects an integer");
    if (value.as_integer() < low || value.as_integer() > high) refuse(column, "integer out of range");
    return value.as_integer();
}

std::vector<std::byte> padded(const ColumnSpec& column, std::vector<std::byte> bytes, std::size_t size,
                              std::byte pad, std::size_t unit) {
    if (bytes.size() > size) refuse(column, "value longer than the column");
    while (bytes.size() < size) {
        bytes.push_back(pad);
        if (unit == 2) bytes.push_back(std::byte{0});
    }
    return bytes;
}

std::vector<std::byte> bytes_of_text_or_binary(const ColumnSpec& column, const Value& value, bool wide) {
    if (value.kind() == Value::Kind::Binary) return value.as_binary();
    if (value.kind() != Value::Kind::Text) refuse(column, "expects text");
    return wide ? utf16_bytes(value.as_text()) : latin1_bytes(value.as_text());
}

void check_max(const ColumnSpec& column, std::size_t size) {
    std::int16_t length = column.byte_length();
    if (length >= 0 && size > static_cast<std::size_t>(length))
        refuse(column, "value longer than the column");
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::vector<std::byte> encode_guid(const ColumnSpec& column, const std::string& text) {
    std::vector<std::uint8_t> raw;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '-' || text[i] == '{' || text[i] == '}') continue;
        if (i + 1 >= text.size()) refuse(column, "odd guid text");
        int hi = hex_digit(text[i]), lo = hex_digit(text[i + 1]);
        if (hi < 0 || lo < 0) refuse(column, "bad guid text");
        raw.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
        ++i;
    }
    if (raw.size() != 16) refuse(column, "a guid has 16 bytes");
    static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    std::vector<std::byte> out(16);
    for (int i = 0; i < 16; ++i)
        out[static_cast<std::size_t>(i)] = std::byte{raw[static_cast<std::size_t>(kOrder[i])]};
    return out;
}

// Bytes of the time part of time(p), datetime2(p) and datetimeoffset(p).
int time_bytes(int digits) {
    return digits <= 2 ? 3 : digits <= 4 ? 4 : 5;
}

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int32_t kFractionDigits = 7;

// The time, datetime2 and datetimeoffset forms: units of 10^-p seconds since midnight in time_bytes(p)
// bytes, then (not for time) the day number in 3 bytes, then (datetimeoffset) the offset. A
// datetimeoffset stores the UTC time of the local time it is given.
std::vector<std::byte> encode_precise_time(const ColumnSpec& column, const Value& value) {
    if (value.kind() != Value::Kind::DateTime) refuse(column, "expects a date and time");
    const DateTimeParts& t = value.as_datetime();
    const int digits = column.scale;
    if (digits > kFractionDigits) refuse(column, "time types keep at most 7 fraction digits");
    std::int64_t unit = 1;
    for (int i = digits; i < kFractionDigits; ++i) unit *= 10;
    if (t.fraction < 0 || t.fraction >= 10'000'000 || t.fraction % unit != 0)
        refuse(column, "more fraction digits than the column keeps");
    const int offset = column.type == SqlType::DateTimeOffset ? t.offset_minutes : 0;
    if (offset < -14 * 60 || offset > 14 * 60) refuse(column, "offset beyond 14 hours");
    std::int64_t day = day_number(t.year, t.month, t.day);
    std::int64_t second = t.hour * 3600LL + t.minute * 60LL + t.second - offset * 60LL;
    if (second < 0) {
        second += kSecondsPerDay;
        --day;
    } else if (second >= kSecondsPerDay) {
        second -= kSecondsPerDay;
        ++day;
    }
    if (day < 0 || day > day_number(9999, 12, 31)) refuse(column, "date out of range");
    std::int64_t units = second;
    for (int i = 0; i < digits; ++i) units *= 10;
    units += t.fraction / unit;
    std::vector<std::byte> out;
    for (int i = 0; i < time_bytes(digits); ++i)
        out.push_back(std::byte{static_cast<std::uint8_t>(units >> (8 * i))});
    if (column.type == SqlType::Time) return out;
    for (int i = 0; i < 3; ++i) out.push_back(std::byte{static_cast<std::uint8_t>(day >> (8 * i))});
    if (column.type == SqlType::DateTimeOffset) append_le(out, static_cast<std::int16_t>(offset));
    return out;
}

// A rowversion given as its 8 bytes or as the counter's value, stored big-endian.
std::vector<std::byte> encode_rowversion(const ColumnSpec& column, const Value& value) {
    if (value.kind() == Value::Kind::Binary) {
        if (value.as_binary().size() != 8) refuse(column, "a rowversion has 8 bytes");
        return value.as_binary();
    }
    if (value.kind() != Value::Kind::Integer) refuse(column, "expects a counter or 8 bytes");
    const auto counter = static_cast<std::uint64_t>(value.as_integer());
    std::vector<std::byte> out;
    for (int i = 7; i >= 0; --i) out.push_back(std::byte{static_cast<std::uint8_t>(counter >> (8 * i))});
    return out;
}

std::int64_t days_since_1900(const DateTimeParts& t) {
    return day_number(t.year, t.month, t.day) - day_number(1900, 1, 1);
}

// Decodes one UTF-8 sequence; invalid bytes stand for themselves.
char32_t next_code_point(const std::string& s, std::size_t& i) {
    auto b = static_cast<unsigned char>(s[i++]);
    int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    char32_t cp = extra == 3 ? b & 0x07 : extra == 2 ? b & 0x0F : extra == 1 ? b & 0x1F : b;
    for (int k = 0; k < extra && i < s.size(); ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
    return cp;
}

}  // namespace

const TypeFacts& type_facts(SqlType type) {
    return kFacts[static_cast<int>(type)];
}

std::int16_t ColumnSpec::byte_length() const {
    switch (type) {
        case SqlType::Int:
            return 4;
        case SqlType::BigInt:
            return 8;
        case SqlType::SmallInt:
            return 2;
        case SqlType::TinyInt:
            return 1;
        case SqlType::Bit:
            return 1;
        case SqlType::Char:
        case SqlType::VarChar:
        case SqlType::Binary:
        case SqlType::VarBinary:
            return static_cast<std::int16_t>(length < 0 ? -1 : length);
        case SqlType::NChar:
        case SqlType::NVarChar:
            return static_cast<std::int16_t>(length < 0 ? -1 : 2 * length);
        case SqlType::SysName:
            return 256;
        case SqlType::DateTime:
            return 8;
        case SqlType::SmallDateTime:
            return 4;
        case SqlType::Date:
            return 3;
        case SqlType::Money:
            return 8;
        case SqlType::SmallMoney:
            return 4;
        case SqlType::Decimal:
        case SqlType::Numeric:
            return static_cast<std::int16_t>(decimal_storage(precision));
        case SqlType::UniqueIdentifier:
            return 16;
        case SqlType::Float:
            return 8;
        case SqlType::Real:
            return 4;
        case SqlType::SqlVariant:
            return 8016;
        case SqlType::Text:
        case SqlType::NText:
        case SqlType::Image:
            return 16;
        case SqlType::Time:
            return static_cast<std::int16_t>(time_bytes(scale));
        case SqlType::DateTime2:
            return static_cast<std::int16_t>(time_bytes(scale) + 3);
        case SqlType::DateTimeOffset:
            return static_cast<std::int16_t>(time_bytes(scale) + 5);
        case SqlType::Timestamp:
            return 8;
    }
    return 0;
}

int ColumnSpec::fixed_width() const {
    if (variable() || type == SqlType::Bit) return 0;
    return byte_length();
}

std::uint8_t ColumnSpec::catalog_precision() const {
    switch (type) {
        case SqlType::Int:
            return 10;
        case SqlType::BigInt:
            return 19;
        case SqlType::SmallInt:
            return 5;
        case SqlType::TinyInt:
            return 3;
        case SqlType::Bit:
            return 1;
        case SqlType::DateTime:
            return 23;
        case SqlType::SmallDateTime:
            return 16;
        case SqlType::Date:
            return 10;
        case SqlType::Money:
            return 19;
        case SqlType::SmallMoney:
            return 10;
        case SqlType::Decimal:
        case SqlType::Numeric:
            return precision;
        case SqlType::Float:
            return 53;
        case SqlType::Real:
            return 24;
        // Characters of the longest text: hh:mm:ss, a point and the fraction digits, a date in front, an
        // offset behind.
        case SqlType::Time:
            return static_cast<std::uint8_t>(scale == 0 ? 8 : 9 + scale);
        case SqlType::DateTime2:
            return static_cast<std::uint8_t>(scale == 0 ? 19 : 20 + scale);
        case SqlType::DateTimeOffset:
            return static_cast<std::uint8_t>(scale == 0 ? 26 : 27 + scale);
        default:
            return 0;
    }
}

std::uint8_t ColumnSpec::catalog_scale() const {
    switch (type) {
        case SqlType::DateTime:
            return 3;
        case SqlType::Money:
        case SqlType::SmallMoney:
            return 4;
        case SqlType::Decimal:
        case SqlType::Numeric:
        case SqlType::Time:
        case SqlType::DateTime2:
        case SqlType::DateTimeOffset:
            return scale;
        default:
            return 0;
    }
}

Value Value::integer(std::int64_t v) {
    Value out;
    out.kind_ = Kind::Integer;
    out.integer_ = v;
    return out;
}

Value Value::floating(double v) {
    Value out;
    out.kind_ = Kind::Floating;
    out.floating_ = v;
    return out;
}

Value Value::text(std::string utf8) {
    Value out;
    out.kind_ = Kind::Text;
    out.text_ = std::move(utf8);
    return out;
}

Value Value::binary(std::vector<std::byte> bytes) {
    Value out;
    out.kind_ = Kind::Binary;
    out.binary_ = std::move(bytes);
    return out;
}

Value Value::decimal(std::string digits) {
    Value out;
    out.kind_ = Kind::Decimal;
    out.text_ = std::move(digits);
    return out;
}

Value Value::datetime(int year, int month, int day, int hour, int minute, int second, int millisecond) {
    Value out;
    out.kind_ = Kind::DateTime;
    out.datetime_ = {year, month, day, hour, minute, second, millisecond, millisecond * 10'000, 0};
    return out;
}

Value Value::precise_time(int year, int month, int day, int hour, int minute, int second,
                          std::int32_t fraction, int offset_minutes) {
    Value out;
    out.kind_ = Kind::DateTime;
    out.datetime_ = {year, month, day, hour, minute, second, fraction / 10'000, fraction, offset_minutes};
    return out;
}

Value Value::guid(std::string text) {
    Value out;
    out.kind_ = Kind::Guid;
    out.text_ = std::move(text);
    return out;
}

std::vector<std::byte> encode_value(const ColumnSpec& column, const Value& value) {
    std::vector<std::byte> out;
    if (value.is_null()) refuse(column, "NULL has no stored bytes");
    switch (column.type) {
        case SqlType::Int:
            append_le(out, static_cast<std::int32_t>(checked_integer(column, value, INT32_MIN, INT32_MAX)));
            return out;
        case SqlType::BigInt:
            append_le(out, checked_integer(column, value, INT64_MIN, INT64_MAX));
            return out;
        case SqlType::SmallInt:
            append_le(out, static_cast<std::int16_t>(checked_integer(column, value, INT16_MIN, INT16_MAX)));
            return out;
        case SqlType::TinyInt:
            append_le(out, static_cast<std::uint8_t>(checked_integer(column, value, 0, 255)));
            return out;
        case SqlType::Bit:
            append_le(out, static_cast<std::uint8_t>(checked_integer(column, value, 0, 1)));
            return out;
        case SqlType::Char:
            return padded(column, bytes_of_text_or_binary(column, value, false),
                          static_cast<std::size_t>(column.length), std::byte{' '}, 1);
        case SqlType::NChar:
            return padded(column, bytes_of_text_or_binary(column, value, true),
                          static_cast<std::size_t>(2 * column.length), std::byte{' '}, 2);
        case SqlType::Binary:
            if (value.kind() != Value::Kind::Binary) refuse(column, "expects bytes");
            return padded(column, value.as_binary(), static_cast<std::size_t>(column.length), std::byte{0},
                          1);
        case SqlType::VarChar:
        case SqlType::NVarChar:
        case SqlType::SysName: {
            out = bytes_of_text_or_binary(column, value, column.type != SqlType::VarChar);
            check_max(column, out.size());
            return out;
        }
        case SqlType::VarBinary:
        case SqlType::SqlVariant:
            if (value.kind() != Value::Kind::Binary) refuse(column, "expects bytes");
            check_max(column, value.as_binary().size());
            return value.as_binary();
        case SqlType::Text:
        case SqlType::NText:
            return bytes_of_text_or_binary(column, value, column.type == SqlType::NText);
        case SqlType::Image:
            if (value.kind() != Value::Kind::Binary) refuse(column, "expects bytes");
            return value.as_binary();
        case SqlType::DateTime: {
            if (value.kind() != Value::Kind::DateTime) refuse(column, "expects a date and time");
            const DateTimeParts& t = value.as_datetime();
            std::int64_t ticks =
                (t.hour * 3600LL + t.minute * 60LL + t.second) * 300 + (t.millisecond * 3 + 5) / 10;
            append_le(out, static_cast<std::int32_t>(ticks));
            append_le(out, static_cast<std::int32_t>(days_since_1900(t)));
            return out;
        }
        case SqlType::SmallDateTime: {
            if (value.kind() != Value::Kind::DateTime) refuse(column, "expects a date and time");
            const DateTimeParts& t = value.as_datetime();
            append_le(out, static_cast<std::int16_t>(t.hour * 60 + t.minute));
            append_le(out, static_cast<std::uint16_t>(days_since_1900(t)));
            return out;
        }
        case SqlType::Date: {
            if (value.kind() != Value::Kind::DateTime) refuse(column, "expects a date");
            const DateTimeParts& t = value.as_datetime();
            auto n = static_cast<std::uint32_t>(day_number(t.year, t.month, t.day));
            for (int i = 0; i < 3; ++i) out.push_back(std::byte{static_cast<std::uint8_t>(n >> (8 * i))});
            return out;
        }
        case SqlType::Money:
            append_le(out, signed_scaled(column, value, 4, 19));
            return out;
        case SqlType::SmallMoney:
            append_le(out, static_cast<std::int32_t>(signed_scaled(column, value, 4, 10)));
            return out;
        case SqlType::Time:
        case SqlType::DateTime2:
        case SqlType::DateTimeOffset:
            return encode_precise_time(column, value);
        case SqlType::Timestamp:
            return encode_rowversion(column, value);
        case SqlType::Decimal:
        case SqlType::Numeric: {
            ScaledDecimal d = scaled_value(column, value, column.scale, column.precision);
            out.push_back(std::byte{static_cast<std::uint8_t>(d.negative ? 0 : 1)});
            int size = decimal_storage(column.precision) - 1;
            for (int i = 0; i < size; ++i)
                out.push_back(std::byte{static_cast<std::uint8_t>(d.magnitude >> (8 * i))});
            return out;
        }
        case SqlType::UniqueIdentifier:
            if (value.kind() != Value::Kind::Guid && value.kind() != Value::Kind::Text)
                refuse(column, "expects a guid");
            return encode_guid(column, value.as_text());
        case SqlType::Float:
        case SqlType::Real: {
            double v;
            if (value.kind() == Value::Kind::Floating)
                v = value.as_floating();
            else if (value.kind() == Value::Kind::Integer)
                v = static_cast<double>(value.as_integer());
            else
                refuse(column, "expects a number");
            if (column.type == SqlType::Float)
                append_le(out, v);
            else
                append_le(out, static_cast<float>(v));
            return out;
        }
    }
    refuse(column, "unknown type");
}

std::vector<std::byte> utf16_bytes(const std::string& utf8) {
    std::vector<std::byte> out;
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp = next_code_point(utf8, i);
        auto unit = [&](std::uint32_t u) {
            out.push_back(std::byte{static_cast<std::uint8_t>(u & 0xFF)});
            out.push_back(std::byte{static_cast<std::uint8_t>(u >> 8)});
        };
        if (cp >= 0x10000) {
            cp -= 0x10000;
            unit(0xD800 + (cp >> 10));
            unit(0xDC00 + (cp & 0x3FF));
        } else {
            unit(cp);
        }
    }
    return out;
}

std::vector<std::byte> latin1_bytes(const std::string& utf8) {
    std::vector<std::byte> out;
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp = next_code_point(utf8, i);
        out.push_back(std::byte{static_cast<std::uint8_t>(cp < 0x100 ? cp : '?')});
    }
    return out;
}

std::int64_t day_number(int year, int month, int day) {
    // Days from civil date, counted so that 0001-01-01 is day 0.
    std::int64_t y = year - (month <= 2 ? 1 : 0);
    std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    std::int64_t yoe = y - era * 400;
    std::int64_t mp = (month + 9) % 12;
    std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
    std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    std::int64_t days_from_0000_03_01 = era * 146097 + doe;
    return days_from_0000_03_01 - 306;  // 0001-01-01 is 306 days after 0000-03-01
}

}  // namespace quenlow::testing
