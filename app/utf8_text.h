#pragma once
// UTF-8 checks for text written out: every byte that does not begin a valid UTF-8 sequence (a stray
// continuation byte, an overlong form, an encoded surrogate, a value above U+10FFFF, a cut sequence)
// becomes U+FFFD.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quenlow {

// The length of a valid UTF-8 sequence starting at s[i], or 0 when none starts there.
inline std::size_t utf8_sequence_length(std::string_view s, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    if (c < 0x80) return 1;
    std::size_t n = 0;
    std::uint32_t min = 0;
    std::uint32_t cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2, cp = c & 0x1F, min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3, cp = c & 0x0F, min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4, cp = c & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (n > s.size() - i) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

// Appends the text with every byte that does not begin a valid UTF-8 sequence replaced by U+FFFD. Runs
// of ASCII are copied whole.
inline void append_valid_utf8(std::string& out, std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        std::size_t ascii_end = i;
        while (ascii_end < s.size() && static_cast<unsigned char>(s[ascii_end]) < 0x80) ++ascii_end;
        out.append(s.data() + i, ascii_end - i);
        i = ascii_end;
        if (i == s.size()) break;
        const std::size_t n = utf8_sequence_length(s, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(s.substr(i, n));
            i += n;
        }
    }
}

}  // namespace quenlow
