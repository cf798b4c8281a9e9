#include "engine/catalog/definition_bytes.h"

#include <array>

namespace quenlow {

namespace {

std::uint8_t nibble(char c) {
    if (c >= 'A' && c <= 'F') return static_cast<std::uint8_t>(c - 'A' + 10);
    return static_cast<std::uint8_t>(static_cast<unsigned char>(c) & 0x0F);
}

void append_utf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Code points of bytes 0x80..0x9F in Windows-1252.
constexpr std::array<std::uint16_t, 32> kHigh1252 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

HexBytes hex_text_to_bytes(std::string_view text) {
    HexBytes out;
    const std::size_t n = text.size();
    if (n / 2 == 0) return out;
    auto at = [&](std::size_t pos) { return pos < n ? text[pos] : '\0'; };
    // Byte i uses the characters at 2 + 2i and 3 + 2i, for every i with 4i + 4 < 2n.
    for (std::size_t i = 0; 2 * i + 2 < n; ++i)
        out.bytes.push_back(static_cast<std::uint8_t>((nibble(at(2 + 2 * i)) << 4) | nibble(at(3 + 2 * i))));
    for (std::size_t i = 1; i < out.bytes.size(); ++i)
        if (out.bytes[i] == 0) out.wide = true;
    return out;
}

std::string utf16le_to_utf8(const std::uint8_t* data, std::size_t size) {
    std::string out;
    auto unit = [&](std::size_t k) {
        const std::size_t lo = 2 * k;
        const std::uint16_t low = lo < size ? data[lo] : 0;
        const std::uint16_t high = lo + 1 < size ? data[lo + 1] : 0;
        return static_cast<std::uint16_t>(low | (high << 8));
    };
    const std::size_t units = (size + 1) / 2;
    for (std::size_t k = 0; k < units; ++k) {
        const std::uint16_t u = unit(k);
        if (u == 0) break;
        if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units) {
            const std::uint16_t next = unit(k + 1);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                append_utf8(out,
                            0x10000 + ((static_cast<std::uint32_t>(u - 0xD800) << 10) | (next - 0xDC00)));
                ++k;
                continue;
            }
        }
        append_utf8(out, (u >= 0xD800 && u <= 0xDFFF) ? 0xFFFD : u);
    }
    return out;
}

std::string windows1252_to_utf8(std::string_view text) {
    std::string out;
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b == 0) break;
        append_utf8(out, (b >= 0x80 && b <= 0x9F) ? kHigh1252[b - 0x80] : b);
    }
    return out;
}

std::string hex_bytes_text(const HexBytes& bytes) {
    if (bytes.wide) return utf16le_to_utf8(bytes.bytes.data(), bytes.bytes.size());
    return windows1252_to_utf8(
        std::string_view(reinterpret_cast<const char*>(bytes.bytes.data()), bytes.bytes.size()));
}

}  // namespace quenlow
