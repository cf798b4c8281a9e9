#include "engine/catalog/definition_bytes.h"

#include "engine/pages/text_codec.h"

#include <array>

namespace quenlow {

namespace {

std::uint8_t nibble(char c) {
    if (c >= 'A' && c <= 'F') return static_cast<std::uint8_t>(c - 'A' + 10);
    return static_cast<std::uint8_t>(static_cast<unsigned char>(c) & 0x0F);
}

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

bool is_hex_value_text(std::string_view text) {
    if (text.size() < 2 || text[0] != '0' || text[1] != 'x' || text.size() % 2 != 0) return false;
    for (std::size_t i = 2; i < text.size(); ++i) {
        const char c = text[i];
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

HexBytes definition_value_bytes(std::string_view text) {
    return is_hex_value_text(text) ? hex_text_to_bytes(text) : HexBytes{};
}

std::string hex_bytes_text(const HexBytes& bytes) {
    const auto* data = reinterpret_cast<const std::byte*>(bytes.bytes.data());
    if (bytes.wide) {
        // A dangling last byte is the low half of a unit whose high half is zero.
        std::vector<std::byte> units(data, data + bytes.bytes.size());
        if (units.size() % 2 != 0) units.push_back(std::byte{0});
        return utf16le_to_utf8(units);
    }
    return cp1252_to_utf8(std::string_view(reinterpret_cast<const char*>(data), bytes.bytes.size()));
}

}  // namespace quenlow
