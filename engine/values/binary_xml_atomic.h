#pragma once
// Pieces of the binary xml decoder: the byte cursor, variable-length integers, UTF-16 text with XML
// escaping, and the typed (atomic) values with their canonical text.
//
//   token    | type            | payload                                   | text
//   ---------+-----------------+-------------------------------------------+---------------------------
//   06       | bit             | u8                                        | 1 / 0
//   07       | tinyint         | i8                                        | decimal
//   01 02 08 | smallint int    | i16 i32 i64                               | decimal
//            | bigint          |                                           |
//   88       | xs:byte         | u8                                        | decimal
//   89 8A 8B | xs:unsigned...  | u16 u32 u64                               | decimal
//   03 04    | real, float     | IEEE 32 / 64 bits                         | 1.5E0, INF, -INF, NaN
//   05 14    | money, smallmny | i64 / i32, units of 1/10000               | four decimals
//   0A 0B 87 | decimal         | mb32 length 7/11/15/19, u8 precision      | canonical decimal: no
//            |                 | (<= 38), u8 scale (<= precision), u8 sign | trailing zeros, no point
//            |                 | (1 +, 0 -), unsigned magnitude (len - 3)  | when nothing follows it
//   12       | datetime        | i32 days since 1900-01-01, u32 1/300 s    | YYYY-MM-DDThh:mm:ss.fff
//   13       | smalldatetime   | u16 days since 1900-01-01, u16 minutes    | YYYY-MM-DDThh:mm:ss
//   09       | uniqueidentifier| 16 bytes; groups 1-3 little-endian        | 8-4-4-4-12 upper hex
//   0C 1B 85 | binary udt b64  | mb32 length, bytes                        | base64
//   0F 17    | varbinary image | mb64 length, bytes                        | base64
//   84       | xs:hexBinary    | mb32 length, bytes                        | upper hex
//   0D       | char            | mb32 length (with the code page), u32     | the text
//   10 16    | varchar text    | code page, bytes; mb64 length             |
//   0E       | nchar           | mb32 count of UTF-16 units, units         | the text
//   11 18    | nvarchar ntext  | mb64 count, units                         |
//   86       | xs:boolean      | u8                                        | true / false
//   8C       | xs:QName        | mb32 qname index                          | prefix:local
//   81 82 83 | xs:time dateTime| u64, low 2 bits 0 / 2 / 1, see below      | hh:mm:ss[.fff]Z,
//            | date            |                                           | ...T...Z, YYYY-MM-DD+hh:mm
//   7F       | date            | 3 bytes: days since 0001-01-01            | YYYY-MM-DD
//   7E       | datetime2       | time (below), date (3 bytes)              | YYYY-MM-DDThh:mm:ss[.f]
//   7D       | time            | time, date (1900-01-01)                   | hh:mm:ss[.f]
//   7B 7C 7A | datetimeoffset, | time and date in UTC, i16 offset in       | local date/time and the
//            | date, time with | minutes (within +-14:00)                  | offset (+hh:mm, Z for 0)
//            | offset          |                                           |
//
// Time of the 7A-7E tokens: u8 precision p (0-7), then the count of 10^-p seconds in 3 (p 0-2), 4 (p 3-4)
// or 5 bytes (p 5-7); a count of a day or more moves the date forward. The u64 of 81-83 holds, above
// its two kind bits, mixed-radix fields from the lowest: date - minutes + 840 (radix 1740), then day-1
// (31), month-1 (12), year+9999; dateTime - milliseconds (1000), seconds (60), minutes (60), hours (24),
// day-1, month-1, year+9999; time - milliseconds, seconds, minutes, hours. A date's zone offset is the
// negated stored minutes.
//
// String values are written with XML escaping; typed values never need it. Several atomic values in
// a row are joined as they are, with one blank between two typed ones.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/values/binary_xml.h"
#include "engine/values/text_conversion.h"

namespace quenlow::binxml {

struct Cursor {
    const std::uint8_t* begin = nullptr;
    const std::uint8_t* p = nullptr;
    const std::uint8_t* end = nullptr;

    std::size_t left() const { return static_cast<std::size_t>(end - p); }
    std::size_t offset() const { return static_cast<std::size_t>(p - begin); }
};

BinaryXmlError read_mb32(Cursor& c, std::uint32_t& value);
BinaryXmlError read_mb64(Cursor& c, std::uint64_t& value);
// An mb32 (or mb64) count of UTF-16 units that must lie within the rest of the value; c is left at the
// first unit.
BinaryXmlError read_text_length(Cursor& c, bool wide, std::size_t& units);

enum class Escape { kNone, kText, kAttribute };

// UTF-16LE units as UTF-8; unpaired surrogates become U+FFFD.
void append_utf16(std::string& out, const std::uint8_t* units, std::size_t count, Escape escape);
// UTF-8 text with escaping.
void append_escaped(std::string& out, std::string_view text, Escape escape);

enum class AtomicKind { kNotAtomic, kString, kTyped, kQName };
AtomicKind atomic_kind(std::uint8_t token);
// True for the tokens that only version 2 documents define.
inline bool is_version2_token(std::uint8_t token) {
    return token >= 0x7A && token <= 0x7F;
}

// Reads the payload of atomic `token` (not a qname value) and appends its text.
BinaryXmlError append_atomic(std::string& out, std::uint8_t token, Cursor& c, Escape escape,
                             CodePageConverters& converters);

}  // namespace quenlow::binxml
