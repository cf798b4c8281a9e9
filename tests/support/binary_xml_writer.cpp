#include "tests/support/binary_xml_writer.h"

namespace quenlow::testing {

void BinaryXmlWriter::header(std::uint8_t version) {
    raw({std::byte{0xDF}, std::byte{0xFF}, std::byte{version}, std::byte{0xB0}, std::byte{0x04}});
    tables_.emplace_back();
}

BinaryXmlWriter& BinaryXmlWriter::byte(std::uint8_t b) {
    out_.push_back(std::byte{b});
    return *this;
}

BinaryXmlWriter& BinaryXmlWriter::raw(const Bytes& bytes) {
    out_.insert(out_.end(), bytes.begin(), bytes.end());
    return *this;
}

void BinaryXmlWriter::le(std::uint64_t v, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) byte(static_cast<std::uint8_t>(v >> (8 * i)));
}

BinaryXmlWriter& BinaryXmlWriter::multibyte(std::uint64_t v) {
    do {
        const auto low = static_cast<std::uint8_t>(v & 0x7F);
        v >>= 7;
        byte(v != 0 ? low | 0x80 : low);
    } while (v != 0);
    return *this;
}

std::u16string BinaryXmlWriter::utf16(std::string_view utf8) {
    std::u16string units;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const int extra = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
        std::uint32_t cp = extra == 0 ? b : b & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += static_cast<std::size_t>(extra) + 1;
        if (cp >= 0x10000) {
            units.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(cp));
        }
    }
    return units;
}

BinaryXmlWriter& BinaryXmlWriter::text(std::string_view utf8, bool wide) {
    const std::u16string units = utf16(utf8);
    multibyte(units.size());
    (void)wide;  // mb32 and mb64 are written alike; only the reader's limit differs
    for (const char16_t u : units) le(u, 2);
    return *this;
}

std::uint32_t BinaryXmlWriter::name(std::string_view utf8) {
    if (utf8.empty()) return 0;
    Table& t = tables_.back();
    if (const auto it = t.names.find(utf8); it != t.names.end()) return it->second;
    byte(0xF0);
    text(utf8);
    t.names.emplace(std::string(utf8), t.next_name);
    return t.next_name++;
}

std::uint32_t BinaryXmlWriter::qname(std::string_view local, std::string_view prefix, std::string_view uri) {
    const std::uint32_t u = name(uri), p = name(prefix), l = name(local);
    Table& t = tables_.back();
    if (const auto it = t.qnames.find({u, p, l}); it != t.qnames.end()) return it->second;
    return qname_indexes(u, p, l);
}

std::uint32_t BinaryXmlWriter::qname_indexes(std::uint32_t uri, std::uint32_t prefix, std::uint32_t local) {
    byte(0xEF).mb32(uri).mb32(prefix).mb32(local);
    Table& t = tables_.back();
    t.qnames.emplace(std::tuple{uri, prefix, local}, t.next_qname);
    return t.next_qname++;
}

BinaryXmlWriter& BinaryXmlWriter::flush() {
    tables_.back() = Table{};
    return byte(0xE9);
}

BinaryXmlWriter& BinaryXmlWriter::element(std::uint32_t qname) {
    return byte(0xF8).mb32(qname);
}

BinaryXmlWriter& BinaryXmlWriter::attribute(std::uint32_t qname) {
    return byte(0xF6).mb32(qname);
}

BinaryXmlWriter& BinaryXmlWriter::declare(std::string_view prefix, std::string_view uri) {
    const std::string full = prefix.empty() ? std::string("xmlns") : "xmlns:" + std::string(prefix);
    const std::uint32_t p = name(full);
    Table& t = tables_.back();
    const auto it = t.qnames.find({0, p, 0});
    const std::uint32_t q = it != t.qnames.end() ? it->second : qname_indexes(0, p, 0);
    attribute(q);
    if (!uri.empty()) nvarchar(uri);
    return *this;
}

BinaryXmlWriter& BinaryXmlWriter::pi(std::string_view target, std::string_view data) {
    const std::uint32_t n = name(target);
    byte(0xF4).mb32(n);
    return text(data);
}

BinaryXmlWriter& BinaryXmlWriter::comment(std::string_view t) {
    return byte(0xF3).text(t);
}

BinaryXmlWriter& BinaryXmlWriter::cdata(std::string_view chunk) {
    return byte(0xF2).text(chunk);
}

BinaryXmlWriter& BinaryXmlWriter::xml_declaration(std::string_view version, std::string_view encoding,
                                                  std::uint8_t standalone) {
    byte(0xFE).text(version);
    if (!encoding.empty()) byte(0xFD).text(encoding);
    return byte(standalone);
}

BinaryXmlWriter& BinaryXmlWriter::doctype(std::string_view n, const char* system, const char* public_id,
                                          const char* subset) {
    byte(0xFC).text(n);
    if (system != nullptr) byte(0xFB).text(system);
    if (public_id != nullptr) byte(0xFA).text(public_id);
    if (subset != nullptr) byte(0xF9).text(subset);
    return *this;
}

BinaryXmlWriter& BinaryXmlWriter::nest(std::uint8_t version) {
    byte(0xEC);
    header(version);
    return *this;
}

BinaryXmlWriter& BinaryXmlWriter::end_nest() {
    tables_.pop_back();
    return byte(0xEB);
}

BinaryXmlWriter& BinaryXmlWriter::extension(const Bytes& payload) {
    byte(0xEA).mb32(static_cast<std::uint32_t>(payload.size()));
    return raw(payload);
}

BinaryXmlWriter& BinaryXmlWriter::nvarchar(std::string_view utf8) {
    return byte(0x11).text(utf8, true);
}

BinaryXmlWriter& BinaryXmlWriter::nchar(std::string_view utf8) {
    return byte(0x0E).text(utf8);
}

BinaryXmlWriter& BinaryXmlWriter::ntext(std::string_view utf8) {
    return byte(0x18).text(utf8, true);
}

BinaryXmlWriter& BinaryXmlWriter::code_page_text(std::uint8_t token, std::int32_t code_page, const Bytes& t) {
    byte(token).multibyte(t.size() + 4);
    le(static_cast<std::uint32_t>(code_page), 4);
    return raw(t);
}

BinaryXmlWriter& BinaryXmlWriter::blob(std::uint8_t token, const Bytes& data) {
    byte(token).multibyte(data.size());
    return raw(data);
}

BinaryXmlWriter& BinaryXmlWriter::decimal(std::uint8_t token, std::uint8_t precision, std::uint8_t scale,
                                          bool positive, std::uint64_t magnitude, std::size_t size) {
    byte(token).mb32(static_cast<std::uint32_t>(size + 3)).byte(precision).byte(scale).byte(positive ? 1 : 0);
    le(magnitude, size < 8 ? size : 8);
    for (std::size_t i = 8; i < size; ++i) byte(0);
    return *this;
}

BinaryXmlWriter& BinaryXmlWriter::qname_value(std::uint32_t qname) {
    return byte(0x8C).mb32(qname);
}

BinaryXmlWriter& BinaryXmlWriter::fixed(std::uint8_t token, const Bytes& payload) {
    byte(token);
    return raw(payload);
}

BinaryXmlWriter& BinaryXmlWriter::time2(std::uint8_t token, std::uint8_t precision, std::uint64_t count,
                                        std::uint32_t days, std::int16_t offset) {
    byte(token).byte(precision);
    le(count, precision <= 2 ? 3 : precision <= 4 ? 4 : 5);
    le(days, 3);
    if (token == 0x7A || token == 0x7B || token == 0x7C) le(static_cast<std::uint16_t>(offset), 2);
    return *this;
}

BinaryXmlWriter& BinaryXmlWriter::date2(std::uint32_t days) {
    byte(0x7F);
    le(days, 3);
    return *this;
}

}  // namespace quenlow::testing
