#include "engine/values/binary_xml_atomic.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

#include "engine/pages/byte_reader.h"

namespace quenlow::binxml {

namespace {

using E = BinaryXmlError;

// The bytes from p to end as a region for the checked loads.
ByteSpan region(const std::uint8_t* p, std::size_t size) {
    return {reinterpret_cast<const std::byte*>(p), size};
}

ByteSpan ahead(const Cursor& c) {
    return region(c.p, c.left());
}

std::uint64_t load_unsigned(const std::uint8_t* p, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = size; i-- > 0;) value = (value << 8) | p[i];
    return value;
}

void append_integer(std::string& out, auto value) {
    char buffer[24];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    out.append(buffer, end);
}

void append_two(std::string& out, std::uint64_t value) {
    out.push_back(static_cast<char>('0' + value / 10 % 10));
    out.push_back(static_cast<char>('0' + value % 10));
}

// Digits of `value`, at least `width` of them.
void append_padded(std::string& out, std::uint64_t value, int width) {
    char buffer[24];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    for (auto n = end - buffer; n < width; ++n) out.push_back('0');
    out.append(buffer, end);
}

// ---- dates and times -------------------------------------------------------------------------------

struct CivilDate {
    std::int64_t year;
    unsigned month;
    unsigned day;
};

// The proleptic Gregorian date `days` after 1970-01-01 (negative: before).
CivilDate civil_from_days(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned day = doy - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2), month, day};
}

constexpr std::int64_t kDays0001To1970 = 719162;
constexpr std::int64_t kDays1900To1970 = 25567;

void append_date(std::string& out, std::int64_t year, std::uint64_t month, std::uint64_t day) {
    if (year < 0) out.push_back('-');
    append_padded(out, static_cast<std::uint64_t>(year < 0 ? -year : year), 4);
    out.push_back('-');
    append_two(out, month);
    out.push_back('-');
    append_two(out, day);
}

void append_days(std::string& out, std::int64_t days_since_1970) {
    const CivilDate d = civil_from_days(days_since_1970);
    append_date(out, d.year, d.month, d.day);
}

// hh:mm:ss and a fraction of `digits` digits without its trailing zeros (none when it is zero).
void append_clock(std::string& out, std::uint64_t seconds_of_day, std::uint64_t fraction, int digits) {
    append_two(out, seconds_of_day / 3600);
    out.push_back(':');
    append_two(out, seconds_of_day / 60 % 60);
    out.push_back(':');
    append_two(out, seconds_of_day % 60);
    if (fraction == 0 || digits == 0) return;
    while (fraction % 10 == 0) {
        fraction /= 10;
        --digits;
    }
    out.push_back('.');
    append_padded(out, fraction, digits);
}

void append_zone(std::string& out, std::int64_t offset_minutes) {
    if (offset_minutes == 0) return out.push_back('Z');
    out.push_back(offset_minutes < 0 ? '-' : '+');
    const std::uint64_t m = static_cast<std::uint64_t>(offset_minutes < 0 ? -offset_minutes : offset_minutes);
    append_two(out, m / 60);
    out.push_back(':');
    append_two(out, m % 60);
}

constexpr std::uint64_t kPowersOfTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

E append_sql_datetime(std::string& out, Cursor& c) {
    if (c.left() < 8) return E::kTruncated;
    const auto days = load_le<std::int32_t>(ahead(c), 0);
    const auto ticks = load_le<std::uint32_t>(ahead(c), 4);
    // 1753-01-01 to 9999-12-31, and less than a day of 1/300 s ticks.
    if (days < -53690 || days > 2958463 || ticks >= 25920000) return E::kBadValue;
    c.p += 8;
    const std::uint64_t ms = (std::uint64_t{ticks} * 10 + 1) / 3;
    append_days(out, days - kDays1900To1970);
    out.push_back('T');
    append_clock(out, ms / 1000, 0, 0);
    out.push_back('.');
    append_padded(out, ms % 1000, 3);
    return E::kNone;
}

E append_sql_smalldatetime(std::string& out, Cursor& c) {
    if (c.left() < 4) return E::kTruncated;
    const auto days = load_le<std::uint16_t>(ahead(c), 0);
    const auto minutes = load_le<std::uint16_t>(ahead(c), 2);
    if (minutes >= 1440) return E::kBadValue;
    c.p += 4;
    append_days(out, std::int64_t{days} - kDays1900To1970);
    out.push_back('T');
    append_clock(out, std::uint64_t{minutes} * 60, 0, 0);
    return E::kNone;
}

// The version 1 date, dateTime and time: mixed-radix fields above two kind bits.
E append_packed_xsd(std::string& out, std::uint8_t token, Cursor& c) {
    if (c.left() < 8) return E::kTruncated;
    const auto raw = load_le<std::uint64_t>(ahead(c), 0);
    const unsigned kind = token == 0x81 ? 0 : token == 0x82 ? 2 : 1;
    if ((raw & 3) != kind) return E::kBadValue;
    c.p += 8;
    std::uint64_t v = raw >> 2;
    if (token == 0x83) {
        const auto adjust = static_cast<std::int64_t>(v % 1740) - 840;
        if (adjust > 840) return E::kBadValue;
        v /= 1740;
        const std::uint64_t day = v % 31 + 1, month = v / 31 % 12 + 1;
        append_date(out, static_cast<std::int64_t>(v / 372) - 9999, month, day);
        append_zone(out, -adjust);
        return E::kNone;
    }
    const std::uint64_t ms = v % 1000, s = v / 1000 % 60, m = v / 60000 % 60, h = v / 3600000 % 24;
    if (token == 0x82) {
        v /= 86400000;
        const std::uint64_t day = v % 31 + 1, month = v / 31 % 12 + 1;
        append_date(out, static_cast<std::int64_t>(v / 372) - 9999, month, day);
        out.push_back('T');
    }
    append_clock(out, h * 3600 + m * 60 + s, ms, 3);
    out.push_back('Z');
    return E::kNone;
}

// The version 2 date and time tokens 7A-7F.
E append_xsd2(std::string& out, std::uint8_t token, Cursor& c) {
    std::uint64_t count = 0;
    unsigned precision = 0;
    if (token != 0x7F) {
        if (c.left() < 1) return E::kTruncated;
        precision = c.p[0];
        if (precision > 7) return E::kBadValue;
        const std::size_t size = precision <= 2 ? 3 : precision <= 4 ? 4 : 5;
        if (c.left() < 1 + size) return E::kTruncated;
        count = load_unsigned(c.p + 1, size);
        c.p += 1 + size;
    }
    if (c.left() < 3) return E::kTruncated;
    const auto days = static_cast<std::int64_t>(load_unsigned(c.p, 3));
    c.p += 3;
    if (days > 3652058) return E::kBadValue;
    std::int64_t offset = 0;
    const bool zoned = token == 0x7A || token == 0x7B || token == 0x7C;
    if (zoned) {
        if (c.left() < 2) return E::kTruncated;
        offset = load_le<std::int16_t>(ahead(c), 0);
        c.p += 2;
        if (offset < -840 || offset > 840) return E::kBadValue;
    }
    const auto scale = static_cast<std::int64_t>(kPowersOfTen[precision]);
    const std::int64_t per_day = 86400 * scale;
    // Local time: the stored UTC time moved by the offset; a time past the day moves the date on.
    std::int64_t total = days * per_day + static_cast<std::int64_t>(count) + offset * 60 * scale;
    std::int64_t day = total / per_day;
    std::int64_t within = total % per_day;
    if (within < 0) {
        within += per_day;
        --day;
    }
    const bool date = token != 0x7A && token != 0x7D;
    const bool time = token != 0x7C && token != 0x7F;
    if (date) append_days(out, day - kDays0001To1970);
    if (date && time) out.push_back('T');
    if (time)
        append_clock(out, static_cast<std::uint64_t>(within / scale),
                     static_cast<std::uint64_t>(within % scale), static_cast<int>(precision));
    if (zoned) append_zone(out, offset);
    return E::kNone;
}

// ---- numbers ---------------------------------------------------------------------------------------

// Units of 1/10000 with four decimals.
void append_money(std::string& out, std::int64_t value) {
    std::uint64_t magnitude = static_cast<std::uint64_t>(value);
    if (value < 0) {
        out.push_back('-');
        magnitude = 0 - magnitude;
    }
    append_integer(out, magnitude / 10000);
    out.push_back('.');
    append_padded(out, magnitude % 10000, 4);
}

// XML Schema's double form: the shortest mantissa that reads back, "E" and the exponent.
template <typename Float>
void append_xsd_float(std::string& out, Float value) {
    if (std::isnan(value) || std::isinf(value)) {
        out.append(std::isnan(value) ? "NaN" : value < 0 ? "-INF" : "INF");
        return;
    }
    char buffer[48];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific).ptr;
    const std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
    const std::size_t e = text.find('e');
    out.append(text.substr(0, e));
    out.push_back('E');
    int exponent = 0;
    const std::string_view digits = text.substr(e + 1);
    std::from_chars(digits.data() + (digits[0] == '+'), digits.data() + digits.size(), exponent);
    append_integer(out, exponent);
}

E append_decimal(std::string& out, Cursor& c) {
    std::uint32_t length = 0;
    if (const E e = read_mb32(c, length); e != E::kNone) return e;
    if (length != 7 && length != 11 && length != 15 && length != 19) return E::kBadLength;
    if (c.left() < length) return E::kTruncated;
    const unsigned precision = c.p[0], scale = c.p[1], sign = c.p[2];
    if (precision > 38 || scale > precision || sign > 1) return E::kBadValue;
    unsigned __int128 magnitude = 0;
    for (std::size_t i = length; i-- > 3;) magnitude = (magnitude << 8) | c.p[i];
    c.p += length;
    char digits[48];
    char* first = digits + sizeof digits;
    // Digits from the lowest; 64-bit division once the value fits, as it nearly always does.
    while (magnitude > std::numeric_limits<std::uint64_t>::max()) {
        *--first = static_cast<char>('0' + static_cast<unsigned>(magnitude % 10));
        magnitude /= 10;
    }
    auto small = static_cast<std::uint64_t>(magnitude);
    do {
        *--first = static_cast<char>('0' + small % 10);
        small /= 10;
    } while (small != 0);
    std::string_view text(first, static_cast<std::size_t>(digits + sizeof digits - first));
    if (sign == 0 && text != "0") out.push_back('-');
    if (text.size() <= scale) {
        out.push_back('0');
        std::string_view fraction = text;
        while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
        if (fraction.empty()) return E::kNone;
        out.push_back('.');
        out.append(scale - text.size(), '0');
        out.append(fraction);
        return E::kNone;
    }
    const std::string_view whole = text.substr(0, text.size() - scale);
    std::string_view fraction = text.substr(whole.size());
    while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
    out.append(whole);
    if (!fraction.empty()) {
        out.push_back('.');
        out.append(fraction);
    }
    return E::kNone;
}

// ---- binary and text -------------------------------------------------------------------------------

void append_base64(std::string& out, const std::uint8_t* p, std::size_t n) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const std::size_t start = out.size();
    out.resize(start + (n + 2) / 3 * 4);
    char* o = out.data() + start;
    std::size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        const std::uint32_t v = (std::uint32_t{p[i]} << 16) | (std::uint32_t{p[i + 1]} << 8) | p[i + 2];
        *o++ = kAlphabet[v >> 18];
        *o++ = kAlphabet[(v >> 12) & 63];
        *o++ = kAlphabet[(v >> 6) & 63];
        *o++ = kAlphabet[v & 63];
    }
    if (i < n) {
        const std::uint32_t v = (std::uint32_t{p[i]} << 16) | (i + 1 < n ? std::uint32_t{p[i + 1]} << 8 : 0);
        *o++ = kAlphabet[v >> 18];
        *o++ = kAlphabet[(v >> 12) & 63];
        *o++ = i + 1 < n ? kAlphabet[(v >> 6) & 63] : '=';
        *o++ = '=';
    }
}

void append_hex(std::string& out, const std::uint8_t* p, std::size_t n) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < n; ++i) {
        out.push_back(kDigits[p[i] >> 4]);
        out.push_back(kDigits[p[i] & 15]);
    }
}

void append_guid(std::string& out, const std::uint8_t* p) {
    static constexpr int kOrder[] = {3, 2, 1, 0, -1, 5, 4, -1, 7, 6, -1, 8, 9, -1, 10, 11, 12, 13, 14, 15};
    for (const int i : kOrder) {
        if (i < 0)
            out.push_back('-');
        else
            append_hex(out, p + i, 1);
    }
}

// A length-prefixed run of bytes that must lie within the value.
E read_blob(Cursor& c, bool wide, const std::uint8_t*& data, std::size_t& size) {
    std::uint64_t length = 0;
    std::uint32_t length32 = 0;
    const E e = wide ? read_mb64(c, length) : read_mb32(c, length32);
    if (e != E::kNone) return e;
    if (!wide) length = length32;
    if (length > c.left()) return E::kBadLength;
    data = c.p;
    size = static_cast<std::size_t>(length);
    c.p += size;
    return E::kNone;
}

// 8-bit (or UTF-16, or UTF-8) text with its code page in front.
E append_code_page_text(std::string& out, Cursor& c, bool wide, Escape escape,
                        CodePageConverters& converters) {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    if (const E e = read_blob(c, wide, data, size); e != E::kNone) return e;
    if (size < 4) return E::kBadLength;
    const auto code_page = load_le<std::int32_t>(region(data, size), 0);
    data += 4;
    size -= 4;
    if (code_page == 1200) {
        if (size % 2 != 0) return E::kBadLength;
        append_utf16(out, data, size / 2, escape);
        return E::kNone;
    }
    if (code_page == 65001) {
        append_escaped(out, std::string_view(reinterpret_cast<const char*>(data), size), escape);
        return E::kNone;
    }
    const std::size_t start = out.size();
    converters.append_utf8(out, std::span(reinterpret_cast<const std::byte*>(data), size), code_page);
    const std::string_view added = std::string_view(out).substr(start);
    if (added.find_first_of("&<>\"\t\n\r") == std::string_view::npos) return E::kNone;
    const std::string converted(added);
    out.resize(start);
    append_escaped(out, converted, escape);
    return E::kNone;
}

E append_fixed(std::string& out, std::uint8_t token, Cursor& c) {
    static constexpr auto size_of = [](std::uint8_t t) -> std::size_t {
        switch (t) {
            case 0x06:
            case 0x07:
            case 0x88:
            case 0x86:
                return 1;
            case 0x01:
            case 0x89:
                return 2;
            case 0x02:
            case 0x03:
            case 0x14:
            case 0x8A:
                return 4;
            case 0x08:
            case 0x04:
            case 0x05:
            case 0x8B:
                return 8;
            case 0x09:
                return 16;
            default:
                return 0;
        }
    };
    const std::size_t size = size_of(token);
    if (c.left() < size) return E::kTruncated;
    const std::uint8_t* p = c.p;
    const ByteSpan value = region(p, size);
    c.p += size;
    switch (token) {
        case 0x06:
            out.push_back(p[0] != 0 ? '1' : '0');
            break;
        case 0x07:
            append_integer(out, static_cast<std::int8_t>(p[0]));
            break;
        case 0x88:
            append_integer(out, p[0]);
            break;
        case 0x86:
            out.append(p[0] != 0 ? "true" : "false");
            break;
        case 0x01:
            append_integer(out, load_le<std::int16_t>(value, 0));
            break;
        case 0x89:
            append_integer(out, load_le<std::uint16_t>(value, 0));
            break;
        case 0x02:
            append_integer(out, load_le<std::int32_t>(value, 0));
            break;
        case 0x8A:
            append_integer(out, load_le<std::uint32_t>(value, 0));
            break;
        case 0x08:
            append_integer(out, load_le<std::int64_t>(value, 0));
            break;
        case 0x8B:
            append_integer(out, load_le<std::uint64_t>(value, 0));
            break;
        case 0x03:
            append_xsd_float(out, load_le<float>(value, 0));
            break;
        case 0x04:
            append_xsd_float(out, load_le<double>(value, 0));
            break;
        case 0x05:
            append_money(out, load_le<std::int64_t>(value, 0));
            break;
        case 0x14:
            append_money(out, load_le<std::int32_t>(value, 0));
            break;
        case 0x09:
            append_guid(out, p);
            break;
        default:
            break;
    }
    return E::kNone;
}

}  // namespace

BinaryXmlError read_mb32(Cursor& c, std::uint32_t& value) {
    std::uint64_t v = 0;
    for (unsigned i = 0; i < 5; ++i) {
        if (c.p == c.end) return E::kTruncated;
        const std::uint8_t b = *c.p++;
        v |= std::uint64_t{b & 0x7Fu} << (7 * i);
        if ((b & 0x80) == 0) {
            if (v > 0x7FFFFFFF) return E::kBadLength;
            value = static_cast<std::uint32_t>(v);
            return E::kNone;
        }
    }
    return E::kBadLength;
}

BinaryXmlError read_mb64(Cursor& c, std::uint64_t& value) {
    std::uint64_t v = 0;
    for (unsigned i = 0; i < 10; ++i) {
        if (c.p == c.end) return E::kTruncated;
        const std::uint8_t b = *c.p++;
        if (i == 9 && b > 0) return E::kBadLength;  // beyond 63 bits
        v |= std::uint64_t{b & 0x7Fu} << (7 * i);
        if ((b & 0x80) == 0) {
            value = v;
            return E::kNone;
        }
    }
    return E::kBadLength;
}

BinaryXmlError read_text_length(Cursor& c, bool wide, std::size_t& units) {
    std::uint64_t count = 0;
    std::uint32_t count32 = 0;
    const E e = wide ? read_mb64(c, count) : read_mb32(c, count32);
    if (e != E::kNone) return e;
    if (!wide) count = count32;
    if (count > c.left() / 2) return E::kBadLength;
    units = static_cast<std::size_t>(count);
    return E::kNone;
}

namespace {

// Up to 6 bytes per unit ("&quot;"); returns the end of what was written.
char* put_utf16(char* o, const std::uint8_t* units, std::size_t count, Escape escape) {
    const auto put = [&o](std::string_view s) {
        std::memcpy(o, s.data(), s.size());
        o += s.size();
    };
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t u = units[2 * i] | (std::uint32_t{units[2 * i + 1]} << 8);
        if (u < 0x80) {
            if (escape != Escape::kNone) {
                switch (u) {
                    case '&':
                        put("&amp;");
                        continue;
                    case '<':
                        put("&lt;");
                        continue;
                    case '>':
                        if (escape == Escape::kText) {
                            put("&gt;");
                            continue;
                        }
                        break;
                    case '"':
                        if (escape == Escape::kAttribute) {
                            put("&quot;");
                            continue;
                        }
                        break;
                    case '\t':
                    case '\n':
                    case '\r':
                        if (escape == Escape::kAttribute) {
                            put(u == '\t' ? "&#x9;" : u == '\n' ? "&#xA;" : "&#xD;");
                            continue;
                        }
                        break;
                    default:
                        break;
                }
            }
            *o++ = static_cast<char>(u);
            continue;
        }
        if (u < 0x800) {
            *o++ = static_cast<char>(0xC0 | (u >> 6));
            *o++ = static_cast<char>(0x80 | (u & 0x3F));
            continue;
        }
        if (u >= 0xD800 && u <= 0xDFFF) {
            const std::uint32_t next =
                i + 1 < count ? units[2 * i + 2] | (std::uint32_t{units[2 * i + 3]} << 8) : 0;
            if (u < 0xDC00 && next >= 0xDC00 && next <= 0xDFFF) {
                const std::uint32_t cp = 0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00);
                *o++ = static_cast<char>(0xF0 | (cp >> 18));
                *o++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
                *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                *o++ = static_cast<char>(0x80 | (cp & 0x3F));
                ++i;
                continue;
            }
            u = 0xFFFD;
        }
        *o++ = static_cast<char>(0xE0 | (u >> 12));
        *o++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        *o++ = static_cast<char>(0x80 | (u & 0x3F));
    }
    return o;
}

}  // namespace

void append_utf16(std::string& out, const std::uint8_t* units, std::size_t count, Escape escape) {
    // Converted in blocks on the stack; a surrogate pair may run one unit past a block.
    constexpr std::size_t kBlock = 256;
    char buffer[(kBlock + 1) * 6];
    while (count > 0) {
        std::size_t n = count < kBlock ? count : kBlock;
        // Keep a pair together: a block never ends on a high surrogate when its partner follows.
        if (n < count) {
            const std::uint32_t last = units[2 * n - 2] | (std::uint32_t{units[2 * n - 1]} << 8);
            if (last >= 0xD800 && last < 0xDC00) ++n;
        }
        const char* end = put_utf16(buffer, units, n, escape);
        out.append(buffer, static_cast<std::size_t>(end - buffer));
        units += 2 * n;
        count -= n;
    }
}

void append_escaped(std::string& out, std::string_view text, Escape escape) {
    for (const char ch : text) {
        switch (escape == Escape::kNone ? '\0' : ch) {
            case '&':
                out.append("&amp;");
                continue;
            case '<':
                out.append("&lt;");
                continue;
            case '>':
                if (escape == Escape::kText) {
                    out.append("&gt;");
                    continue;
                }
                break;
            case '"':
                if (escape == Escape::kAttribute) {
                    out.append("&quot;");
                    continue;
                }
                break;
            case '\t':
            case '\n':
            case '\r':
                if (escape == Escape::kAttribute) {
                    out.append(ch == '\t' ? "&#x9;" : ch == '\n' ? "&#xA;" : "&#xD;");
                    continue;
                }
                break;
            default:
                break;
        }
        out.push_back(ch);
    }
}

namespace {

constexpr AtomicKind kind_of(unsigned token) {
    switch (token) {
        case 0x0D:
        case 0x0E:
        case 0x10:
        case 0x11:
        case 0x16:
        case 0x18:
            return AtomicKind::kString;
        case 0x8C:
            return AtomicKind::kQName;
        default:
            break;
    }
    const bool typed = (token >= 0x01 && token <= 0x14) || token == 0x17 || token == 0x1B ||
                       (token >= 0x7A && token <= 0x8B && token != 0x80);
    return typed ? AtomicKind::kTyped : AtomicKind::kNotAtomic;
}

constexpr auto kAtomicKinds = [] {
    std::array<AtomicKind, 256> kinds{};
    for (unsigned t = 0; t < 256; ++t) kinds[t] = kind_of(t);
    return kinds;
}();

}  // namespace

AtomicKind atomic_kind(std::uint8_t token) {
    return kAtomicKinds[token];
}

BinaryXmlError append_atomic(std::string& out, std::uint8_t token, Cursor& c, Escape escape,
                             CodePageConverters& converters) {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    switch (token) {
        case 0x0E:
        case 0x11:
        case 0x18: {
            if (const E e = read_text_length(c, token != 0x0E, size); e != E::kNone) return e;
            append_utf16(out, c.p, size, escape);
            c.p += 2 * size;
            return E::kNone;
        }
        case 0x0D:
        case 0x10:
        case 0x16:
            return append_code_page_text(out, c, token != 0x0D, escape, converters);
        case 0x0C:
        case 0x1B:
        case 0x85:
        case 0x0F:
        case 0x17:
        case 0x84: {
            const bool wide = token == 0x0F || token == 0x17;
            if (const E e = read_blob(c, wide, data, size); e != E::kNone) return e;
            if (token == 0x84)
                append_hex(out, data, size);
            else
                append_base64(out, data, size);
            return E::kNone;
        }
        case 0x0A:
        case 0x0B:
        case 0x87:
            return append_decimal(out, c);
        case 0x12:
            return append_sql_datetime(out, c);
        case 0x13:
            return append_sql_smalldatetime(out, c);
        case 0x81:
        case 0x82:
        case 0x83:
            return append_packed_xsd(out, token, c);
        case 0x7A:
        case 0x7B:
        case 0x7C:
        case 0x7D:
        case 0x7E:
        case 0x7F:
            return append_xsd2(out, token, c);
        default:
            return append_fixed(out, token, c);
    }
}

}  // namespace quenlow::binxml
