// Text of the numeric, binary and GUID types.

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

#include "engine/values/float_text.h"
#include "engine/values/value_format.h"

namespace quenlow {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

template <typename T>
void append_integer(std::string& out, T value) {
    std::array<char, 24> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    out.append(buffer.data(), result.ptr);
}

void append_hex_byte(std::string& out, std::uint8_t b) {
    const char s[2] = {kHexDigits[b >> 4], kHexDigits[b & 0x0F]};
    out.append(s, 2);
}

// Removes the zeros that end the fraction of the text from `start` on, then the point when nothing is
// left behind it. A text without a point keeps its digits.
void trim_fraction(std::string& out, std::size_t start) {
    const auto point = out.find('.', start);
    if (point == std::string::npos) return;
    std::size_t end = out.size();
    while (end > point + 1 && out[end - 1] == '0') --end;
    if (end == point + 1) end = point;
    out.resize(end);
}

// Magnitude bytes of a decimal value by its precision.
std::size_t decimal_magnitude_size(std::uint8_t precision) {
    if (precision <= 9) return 4;
    if (precision <= 19) return 8;
    if (precision <= 28) return 12;
    return 16;
}

// Decimal digits of a little-endian unsigned integer, lowest digit first, at most 38 of them; at least
// one ("0" for zero).
std::size_t decimal_digits(std::span<const std::byte> magnitude, std::size_t size,
                           std::array<char, 40>& digits) {
    const std::size_t n = std::min(size, magnitude.size());
    std::size_t count = 0;
    if (size <= 8) {
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < n; ++i)
            v |= std::uint64_t{std::to_integer<std::uint8_t>(magnitude[i])} << (8 * i);
        do {
            digits[count++] = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v != 0 && count < 38);
        return count;
    }
    unsigned __int128 v = 0;
    for (std::size_t i = 0; i < n; ++i) {
        v |= static_cast<unsigned __int128>(std::to_integer<std::uint8_t>(magnitude[i])) << (8 * i);
    }
    do {
        digits[count++] = static_cast<char>('0' + static_cast<int>(v % 10));
        v /= 10;
    } while (v != 0 && count < 38);
    return count;
}

}  // namespace

void append_hex(std::string& out, std::span<const std::byte> bytes, bool prefix) {
    const std::size_t start = out.size();
    out.resize(start + (prefix ? 2 : 0) + 2 * bytes.size());
    char* p = out.data() + start;
    if (prefix) {
        *p++ = '0';
        *p++ = 'x';
    }
    for (std::byte b : bytes) {
        const auto v = std::to_integer<std::uint8_t>(b);
        *p++ = kHexDigits[v >> 4];
        *p++ = kHexDigits[v & 0x0F];
    }
}

std::string format_hex(std::span<const std::byte> bytes, bool prefix) {
    std::string out;
    append_hex(out, bytes, prefix);
    return out;
}

// Fixed notation with as many decimals as leave 15 significant digits (six for values of 10^16 and
// more), then the zeros that end the fraction are dropped.
void append_float(std::string& out, double value, bool keep_special) {
    const std::size_t start = out.size();
    if (!std::isfinite(value)) {
        if (!keep_special) {
            out.push_back('0');
            return;
        }
        append_fixed(out, value, 6);
    } else if (value == 0) {
        out.push_back('0');  // either sign of zero
        return;
    } else {
        append_fixed(out, value, 15 - static_cast<int>(std::ceil(std::log10(std::fabs(value)))));
    }
    trim_fraction(out, start);
}

void append_shortest(std::string& out, double value) {
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    out.append(buffer.data(), result.ptr);
}

void append_shortest(std::string& out, float value) {
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    out.append(buffer.data(), result.ptr);
}

std::string format_float(double value) {
    std::string out;
    append_float(out, value);
    return out;
}

void append_real(std::string& out, float value, bool keep_special) {
    if (!std::isfinite(value) && !keep_special) {
        out.push_back('0');
        return;
    }
    append_general(out, static_cast<double>(value));
}

std::string format_real(float value) {
    std::string out;
    append_real(out, value);
    return out;
}

void append_money(std::string& out, std::int64_t raw) {
    const std::uint64_t magnitude =
        raw < 0 ? 0 - static_cast<std::uint64_t>(raw) : static_cast<std::uint64_t>(raw);
    std::array<char, 32> text;  // "-", up to 15 whole digits, ".", four decimals
    char* p = text.data();
    if (raw < 0) *p++ = '-';
    p = std::to_chars(p, text.data() + text.size(), magnitude / 10000).ptr;
    const auto fraction = static_cast<unsigned>(magnitude % 10000);
    p[0] = '.';
    p[1] = static_cast<char>('0' + fraction / 1000);
    p[2] = static_cast<char>('0' + fraction / 100 % 10);
    p[3] = static_cast<char>('0' + fraction / 10 % 10);
    p[4] = static_cast<char>('0' + fraction % 10);
    out.append(text.data(), p + 5);
}

std::string format_money(std::int64_t raw) {
    std::string out;
    append_money(out, raw);
    return out;
}

// The value as a float with ten significant digits, cut (not rounded) after the fourth decimal.
void append_smallmoney(std::string& out, std::int32_t raw) {
    const double value = raw * 0.0001;
    const int precision = value > 0 ? 10 - static_cast<int>(std::ceil(std::log10(value))) : 6;
    const std::size_t start = out.size();
    append_fixed(out, value, precision);
    const auto point = out.find('.', start);
    if (point == std::string::npos) {
        out.append(".0000");
    } else if (out.size() > point + 5) {
        out.resize(point + 5);
    } else {
        out.append(point + 5 - out.size(), '0');
    }
}

std::string format_smallmoney(std::int32_t raw) {
    std::string out;
    append_smallmoney(out, raw);
    return out;
}

bool append_decimal(std::string& out, std::uint8_t precision, std::uint8_t scale, std::uint8_t sign,
                    std::span<const std::byte> magnitude) {
    if (precision < 1 || precision > 38 || scale > precision) return false;
    std::array<char, 40> digits;  // lowest digit first
    const std::size_t count = decimal_digits(magnitude, decimal_magnitude_size(precision), digits);
    // More digits than the precision allows (a damaged value): drop fraction digits from the end.
    const std::size_t dropped = count > precision ? std::min<std::size_t>(count - precision, scale) : 0;
    std::array<char, 80> text;  // sign, 38 whole digits, point, 38 decimals
    char* p = text.data();
    if (sign == 0) *p++ = '-';
    if (count > scale) {
        for (std::size_t i = count; i > scale; --i) *p++ = digits[i - 1];
    } else {
        *p++ = '0';
    }
    if (scale > dropped) {
        *p++ = '.';
        for (std::size_t i = scale; i > dropped; --i) *p++ = i - 1 < count ? digits[i - 1] : '0';
    }
    out.append(text.data(), p);
    return count <= precision;
}

std::string format_decimal(std::uint8_t precision, std::uint8_t scale, std::uint8_t sign,
                           std::span<const std::byte> magnitude) {
    std::string out;
    append_decimal(out, precision, scale, sign, magnitude);
    return out;
}

void append_guid(std::string& out, std::span<const std::byte> bytes) {
    std::array<std::uint8_t, 16> b{};
    for (std::size_t i = 0; i < b.size() && i < bytes.size(); ++i)
        b[i] = std::to_integer<std::uint8_t>(bytes[i]);
    constexpr std::array<int, 16> kOrder = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (std::size_t i = 0; i < kOrder.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
        append_hex_byte(out, b[kOrder[i]]);
    }
}

std::string format_guid(std::span<const std::byte> bytes) {
    std::string out;
    append_guid(out, bytes);
    return out;
}

}  // namespace quenlow
