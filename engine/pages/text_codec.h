#pragma once
// Text as the files store it (UTF-16LE, Windows-1252) to the UTF-8 used everywhere inside the program.

#include <string>
#include <string_view>

#include "engine/pages/byte_reader.h"

namespace quenlow {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Appends the UTF-8 form of one code point.
void append_utf8(std::string& out, char32_t code_point);

// UTF-16LE to UTF-8, stopping at the first zero unit. Surrogate pairs are joined; an unpaired
// surrogate becomes U+FFFD. An odd last byte is dropped.
std::string utf16le_to_utf8(ByteSpan bytes);

// Windows-1252 to UTF-8, stopping at the first zero byte. Bytes 0x80..0x9F the code page leaves
// undefined map to the control characters of the same value.
std::string cp1252_to_utf8(std::string_view text);

}  // namespace quenlow
