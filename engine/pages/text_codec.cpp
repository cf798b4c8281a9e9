#include "engine/pages/text_codec.h"

#include <array>
#include <cstdint>

namespace quenlow {

namespace {

// Code points of bytes 0x80..0x9F in Windows-1252; the rest of the upper half equals Latin-1.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool is_high_surrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low_surrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string utf16le_to_utf8(ByteSpan bytes) {
    const std::size_t units = bytes.size() / 2;
    auto unit = [&](std::size_t k) -> char32_t { return load_le<std::uint16_t>(bytes, 2 * k); };
    std::string out;
    out.reserve(units);
    for (std::size_t k = 0; k < units; ++k) {
        const char32_t u = unit(k);
        if (u == 0) break;
        if (is_high_surrogate(u) && k + 1 < units) {
            const char32_t next = unit(k + 1);
            if (is_low_surrogate(next)) {
                append_utf8(out, 0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00));
                ++k;
                continue;
            }
        }
        append_utf8(out, is_high_surrogate(u) || is_low_surrogate(u) ? kReplacementCharacter : u);
    }
    return out;
}

std::string cp1252_to_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        const auto b = static_cast<unsigned char>(ch);
        if (b == 0) break;
        append_utf8(out, (b >= 0x80 && b <= 0x9F) ? static_cast<char32_t>(kCp1252High[b - 0x80]) : b);
    }
    return out;
}

}  // namespace quenlow
