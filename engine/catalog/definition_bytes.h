#pragma once
// Definition texts are kept as the row decoder writes binary values: "0x" followed by two upper-case
// hexadecimal digits per byte. These helpers turn such a text back into bytes and the bytes into text.
// The bytes hold UTF-16 when a zero byte follows the first byte, otherwise 8-bit text in the system code
// page (taken as Windows-1252).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quenlow {

struct HexBytes {
    std::vector<std::uint8_t> bytes;
    bool wide = false;  // a byte after the first one is 0
};

// Skips the first two characters and pairs the rest into bytes, high half first. 'A' to 'F' stand for
// 10 to 15; any other character gives its low four bits, so lower-case 'a' to 'f' give 1 to 6. A text of
// fewer than two characters gives no bytes; a dangling last digit is paired with a zero half.
HexBytes hex_text_to_bytes(std::string_view text);

// The text the bytes hold, as UTF-8, up to the first terminator (a zero UTF-16 unit, or a zero byte).
std::string hex_bytes_text(const HexBytes& bytes);

// A value text as the row decoder writes a binary value: "0x" followed by pairs of hexadecimal digits
// (either case; lower case is converted as hex_text_to_bytes does, to other bytes).
bool is_hex_value_text(std::string_view text);

// The bytes of a definition value text, or none when the text is not a hex value text: a value that did
// not decode as binary (damaged rows, a table read with the wrong columns) contributes nothing rather
// than bytes made from arbitrary characters.
HexBytes definition_value_bytes(std::string_view text);

}  // namespace quenlow
