#include "engine/values/compact_values.h"

#include <algorithm>
#include <cstring>

#include "engine/catalog/type_codes.h"
#include "engine/values/scsu.h"

namespace quenlow {

namespace {

using u128 = unsigned __int128;

constexpr int kMaxDecimalDigits = 38;
constexpr std::size_t kMaxDecimalBytes = 20;
constexpr int kDecimalExponentBias = 63;
constexpr unsigned kGroupBits = 10;
constexpr unsigned kGroupDigits = 3;

constexpr std::array<u128, kMaxDecimalDigits + 1> kPowersOfTen = [] {
    std::array<u128, kMaxDecimalDigits + 1> p{};
    p[0] = 1;
    for (std::size_t i = 1; i < p.size(); ++i) p[i] = p[i - 1] * 10;
    return p;
}();

u128 power_of_ten(int n) {
    return kPowersOfTen[static_cast<std::size_t>(n)];
}

// Bytes of the ordinary form of the integer-coded types.
std::size_t integer_size(std::int32_t type_code) {
    switch (type_code) {
        case kTypeSmallint: return 2;
        case kTypeInt:
        case kTypeSmallmoney:
        case kTypeSmalldatetime: return 4;
        case kTypeBigint:
        case kTypeMoney:
        case kTypeDatetime: return 8;
        default: return 0;
    }
}

void append_le(std::vector<std::byte>& out, std::uint64_t value, std::size_t size) {
    out.resize(size);
    std::memcpy(out.data(), &value, size);  // the host is little-endian
}

// The stored bytes followed by `fill` up to `width`; false when they are longer than width.
bool padded_after(std::span<const std::byte> stored, std::size_t width, std::byte fill, std::vector<std::byte>& out) {
    if (stored.size() > width) return false;
    out.assign(stored.begin(), stored.end());
    out.resize(width, fill);
    return true;
}

// Zero bytes in front of the stored bytes up to `width`.
bool padded_before(std::span<const std::byte> stored, std::size_t width, std::vector<std::byte>& out) {
    if (stored.size() > width) return false;
    out.assign(width - stored.size(), std::byte{0});
    out.insert(out.end(), stored.begin(), stored.end());
    return true;
}

// The time types are stored at their full length, never shortened: exactly `width` bytes, or none for
// the zero value. Any other length is damage, not a value with bytes left out.
bool full_length(std::span<const std::byte> stored, std::size_t width, std::vector<std::byte>& out) {
    if (width == 0 || (!stored.empty() && stored.size() != width)) return false;
    out.assign(stored.begin(), stored.end());
    out.resize(width, std::byte{0});
    return true;
}

bool rebuild_unicode(const ColumnDescriptor& column, bool fixed, std::size_t width,
                     std::span<const std::byte> stored, std::vector<std::byte>& out) {
    // A (max) value is kept as written; otherwise an odd length is the mark of the compressed form.
    if (column.declared_length != -1 && stored.size() % 2 == 1) {
        if (!scsu_to_utf16(stored, out)) return false;
    } else {
        out.assign(stored.begin(), stored.end());
    }
    if (fixed)
        while (out.size() + 2 <= width) {
            out.push_back(std::byte{0x20});
            out.push_back(std::byte{0});
        }
    return true;
}

}  // namespace

bool decode_compact_integer(std::span<const std::byte> stored, std::int64_t& value) {
    const std::size_t n = stored.size();
    if (n > 8) return false;
    if (n == 0) {
        value = 0;
        return true;
    }
    std::uint64_t u = 0;
    for (std::byte b : stored) u = (u << 8) | std::to_integer<std::uint64_t>(b);
    const unsigned bits = static_cast<unsigned>(8 * n);
    u ^= std::uint64_t{1} << (bits - 1);
    if (bits < 64 && (u >> (bits - 1)) != 0) u |= ~std::uint64_t{0} << bits;  // sign extension
    value = static_cast<std::int64_t>(u);
    return true;
}

bool decode_compact_decimal(std::span<const std::byte> stored, std::uint8_t scale, bool& positive,
                            std::array<std::byte, 16>& magnitude) {
    magnitude.fill(std::byte{0});
    positive = true;
    if (stored.empty()) return true;
    if (stored.size() > kMaxDecimalBytes) return false;
    const auto head = std::to_integer<unsigned>(stored[0]);
    positive = (head & 0x80) != 0;
    const int exponent = static_cast<int>(head & 0x7F) - kDecimalExponentBias;
    const std::size_t bits = 8 * (stored.size() - 1);
    const std::size_t groups = (bits + kGroupBits - 1) / kGroupBits;
    const u128 limit = power_of_ten(kMaxDecimalDigits);
    u128 total = 0;
    // Groups are read from a bit accumulator fed a byte at a time; missing bits at the end are zero.
    std::uint32_t accumulator = 0;
    unsigned held = 0;
    std::size_t next = 1;
    for (std::size_t g = 0; g < groups; ++g) {
        while (held < kGroupBits) {
            const unsigned byte = next < stored.size() ? std::to_integer<unsigned>(stored[next]) : 0;
            ++next;
            accumulator = (accumulator << 8) | byte;
            held += 8;
        }
        held -= kGroupBits;
        const unsigned group = (accumulator >> held) & 0x3FF;
        accumulator &= (1u << held) - 1;
        if (group > 999) return false;
        if (group == 0) continue;
        // The group's last digit stands at 10^(exponent - 3(g + 1)); scaled by 10^scale.
        const int power = exponent - static_cast<int>(kGroupDigits * (g + 1)) + scale;
        u128 part = 0;
        if (power >= 0) {
            if (power > kMaxDecimalDigits) return false;
            part = static_cast<u128>(group) * power_of_ten(power);
        } else {
            if (power < -static_cast<int>(kGroupDigits)) return false;
            const u128 divisor = power_of_ten(-power);
            if (group % divisor != 0) return false;  // more decimals than the column keeps
            part = group / divisor;
        }
        total += part;
        if (part >= limit || total >= limit) return false;
    }
    for (std::size_t i = 0; i < magnitude.size(); ++i)
        magnitude[i] = static_cast<std::byte>(static_cast<unsigned>(total >> (8 * i)) & 0xFF);
    return true;
}

bool compact_form_is_ordinary(std::int32_t type_code) {
    switch (type_code) {
        case kTypeTinyint:
        case kTypeSmallint:
        case kTypeInt:
        case kTypeBigint:
        case kTypeMoney:
        case kTypeSmallmoney:
        case kTypeDatetime:
        case kTypeSmalldatetime:
        case kTypeReal:
        case kTypeFloat:
        case kTypeTimestamp:
        case kTypeDecimal:
        case kTypeNumeric:
        case kTypeChar:
        case kTypeBinary:
        case kTypeNchar:
        case kTypeNvarchar:
        case kTypeDate:
        case kTypeUniqueidentifier:
        case kTypeTime:
        case kTypeDatetime2:
        case kTypeDatetimeoffset: return false;
        default: return true;
    }
}

CompactValue rebuild_compact_value(std::int32_t type_code, const ColumnDescriptor& column, std::int32_t width,
                                   std::span<const std::byte> stored, std::vector<std::byte>& out) {
    if (compact_form_is_ordinary(type_code)) {
        out.assign(stored.begin(), stored.end());
        return CompactValue::kRebuilt;
    }
    out.clear();
    const std::size_t w = width > 0 ? static_cast<std::size_t>(width) : 0;
    bool ok = true;
    switch (type_code) {
        case kTypeTinyint:
            ok = stored.size() <= 1;
            out.push_back(stored.empty() ? std::byte{0} : stored[0]);
            break;
        case kTypeSmallint:
        case kTypeInt:
        case kTypeBigint:
        case kTypeMoney:
        case kTypeSmallmoney:
        case kTypeDatetime:
        case kTypeSmalldatetime: {
            const std::size_t size = integer_size(type_code);
            std::int64_t value = 0;
            ok = stored.size() <= size && decode_compact_integer(stored, value);
            if (ok) append_le(out, static_cast<std::uint64_t>(value), size);
            break;
        }
        case kTypeReal: ok = padded_before(stored, 4, out); break;
        case kTypeFloat: ok = padded_before(stored, 8, out); break;
        case kTypeTimestamp: ok = padded_before(stored, 8, out); break;
        case kTypeDecimal:
        case kTypeNumeric: {
            bool positive = true;
            std::array<std::byte, 16> magnitude{};
            ok = w >= 2 && w <= 17 && decode_compact_decimal(stored, column.scale, positive, magnitude);
            // The magnitude must fit the column's width.
            ok = ok && std::all_of(magnitude.begin() + static_cast<std::ptrdiff_t>(w - 1), magnitude.end(),
                                   [](std::byte b) { return b == std::byte{0}; });
            if (ok) {
                out.push_back(positive ? std::byte{1} : std::byte{0});
                out.insert(out.end(), magnitude.begin(), magnitude.begin() + static_cast<std::ptrdiff_t>(w - 1));
            }
            break;
        }
        case kTypeChar: ok = padded_after(stored, w, std::byte{0x20}, out); break;
        case kTypeBinary: ok = padded_after(stored, w, std::byte{0}, out); break;
        case kTypeNchar: ok = rebuild_unicode(column, !column.variable_length, w, stored, out); break;
        case kTypeNvarchar: ok = rebuild_unicode(column, false, w, stored, out); break;
        case kTypeDate: ok = full_length(stored, 3, out); break;
        case kTypeUniqueidentifier: ok = padded_after(stored, 16, std::byte{0}, out); break;
        case kTypeTime:
        case kTypeDatetime2:
        case kTypeDatetimeoffset: ok = full_length(stored, w, out); break;
        default: break;  // the forms kept as stored are handled above
    }
    return ok ? CompactValue::kRebuilt : CompactValue::kUnreadable;
}

}  // namespace quenlow
