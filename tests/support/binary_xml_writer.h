#pragma once
// Writes xml values in their stored binary form, token by token, for tests and benchmarks. Written from
// the token table of the format, not from the decoder, so round trips check one against the other.
//
//   BinaryXmlWriter w;                     // header: DF FF, version, B0 04
//   const auto root = w.qname("root");     // NAMEDEF "root" (F0), QNAMEDEF 0 0 n (EF)
//   w.element(root).nvarchar("x").end_element();
//   Bytes value = w.bytes();
//
// Names are defined once per document (and again after flush()); qname() reuses a qname already defined
// for the same parts.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace quenlow::testing {

class BinaryXmlWriter {
public:
    using Bytes = std::vector<std::byte>;

    explicit BinaryXmlWriter(std::uint8_t version = 1) { header(version); }

    // Tables. A name or qname index of the current document.
    std::uint32_t name(std::string_view utf8);
    std::uint32_t qname(std::string_view local, std::string_view prefix = {}, std::string_view uri = {});
    // A QNAMEDEF with the given name indexes as they are (also undefined ones).
    std::uint32_t qname_indexes(std::uint32_t uri, std::uint32_t prefix, std::uint32_t local);
    BinaryXmlWriter& flush();  // E9

    // Structure.
    BinaryXmlWriter& element(std::uint32_t qname);
    BinaryXmlWriter& end_element() { return byte(0xF7); }
    BinaryXmlWriter& attribute(std::uint32_t qname);
    BinaryXmlWriter& end_attributes() { return byte(0xF5); }
    // xmlns="uri" (prefix empty) or xmlns:prefix="uri".
    BinaryXmlWriter& declare(std::string_view prefix, std::string_view uri);
    BinaryXmlWriter& pi(std::string_view target, std::string_view data);
    BinaryXmlWriter& comment(std::string_view text);
    BinaryXmlWriter& cdata(std::string_view chunk);
    BinaryXmlWriter& cdata_end() { return byte(0xF1); }
    // standalone: 0 absent, 1 yes, 2 no; an empty encoding is left out.
    BinaryXmlWriter& xml_declaration(std::string_view version, std::string_view encoding,
                                     std::uint8_t standalone);
    BinaryXmlWriter& doctype(std::string_view name, const char* system, const char* public_id,
                             const char* subset);
    BinaryXmlWriter& nest(std::uint8_t version = 1);
    BinaryXmlWriter& end_nest();
    BinaryXmlWriter& extension(const Bytes& payload);

    // Atomic values.
    BinaryXmlWriter& nvarchar(std::string_view utf8);  // 11, mb64 count of units
    BinaryXmlWriter& nchar(std::string_view utf8);     // 0E, mb32
    BinaryXmlWriter& ntext(std::string_view utf8);     // 18, mb64
    // 0D (mb32), 10 or 16 (mb64): the length counts the code page too.
    BinaryXmlWriter& code_page_text(std::uint8_t token, std::int32_t code_page, const Bytes& text);
    // 0C 1B 84 85 (mb32 length), 0F 17 (mb64).
    BinaryXmlWriter& blob(std::uint8_t token, const Bytes& data);
    // 0A 0B 87: precision, scale, sign (1 +), magnitude in `size` bytes (4, 8, 12 or 16).
    BinaryXmlWriter& decimal(std::uint8_t token, std::uint8_t precision, std::uint8_t scale, bool positive,
                             std::uint64_t magnitude, std::size_t size = 4);
    BinaryXmlWriter& qname_value(std::uint32_t qname);  // 8C
    // A fixed-size value: the token and its payload as given (little-endian already).
    BinaryXmlWriter& fixed(std::uint8_t token, const Bytes& payload);
    template <typename T>
    BinaryXmlWriter& value(std::uint8_t token, T v) {
        Bytes payload(sizeof v);
        std::memcpy(payload.data(), &v, sizeof v);
        return fixed(token, payload);
    }
    // 7A-7E: precision, count of 10^-precision s (3, 4 or 5 bytes), days since 0001-01-01 (3 bytes), and
    // for 7A-7C the offset in minutes.
    BinaryXmlWriter& time2(std::uint8_t token, std::uint8_t precision, std::uint64_t count,
                           std::uint32_t days, std::int16_t offset = 0);
    BinaryXmlWriter& date2(std::uint32_t days);  // 7F

    BinaryXmlWriter& byte(std::uint8_t b);
    BinaryXmlWriter& raw(const Bytes& bytes);
    BinaryXmlWriter& mb32(std::uint32_t v) { return multibyte(v); }
    BinaryXmlWriter& mb64(std::uint64_t v) { return multibyte(v); }
    // An mb count of UTF-16 units and the units.
    BinaryXmlWriter& text(std::string_view utf8, bool wide = false);

    const Bytes& bytes() const { return out_; }
    std::size_t size() const { return out_.size(); }

    static std::u16string utf16(std::string_view utf8);

private:
    struct Table {
        std::map<std::string, std::uint32_t, std::less<>> names;
        std::map<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>, std::uint32_t> qnames;
        std::uint32_t next_name = 1;
        std::uint32_t next_qname = 1;
    };

    void header(std::uint8_t version);
    BinaryXmlWriter& multibyte(std::uint64_t v);
    void le(std::uint64_t v, std::size_t size);

    Bytes out_;
    std::vector<Table> tables_;
};

}  // namespace quenlow::testing
