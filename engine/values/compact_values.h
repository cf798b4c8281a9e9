#pragma once
// Values of compact (row- and page-compressed) records, brought back to the stored form of the ordinary
// record format so that the formatters read them as any other value.
//
//   type                         compact form                                   rebuilt as
//   ---------------------------+----------------------------------------------+--------------------------
//   tinyint                      the byte, as is                                1 byte
//   smallint int bigint money    two's complement, big-endian, shortest length  little-endian, full width
//   smallmoney datetime          that holds the value, top bit of the first
//   smalldatetime                byte flipped (-1 = 7F, 1 = 81, 128 = 80 80);
//                                datetime/smalldatetime: their ordinary bytes
//                                read as one little-endian integer
//   real float                   the little-endian image without its zero       zeros in front of the
//                                low-order bytes                                stored bytes
//   decimal numeric              sign/exponent byte (bit 7 set = positive,      sign byte + little-endian
//                                exponent - 63 in bits 0-6), then three-digit   magnitude at the
//                                groups of 10 bits each, most significant       column's scale
//                                first
//   char binary                  trailing blanks / zero bytes removed           padded to the length
//   nchar nvarchar               odd length: SCSU; even length: UTF-16LE        UTF-16LE (nchar padded)
//                                (a (max) column is never SCSU)
//   rowversion                   big-endian, leading zero bytes removed         8 bytes
//   date time datetime2          the ordinary bytes at full length; another     as is (empty: zero)
//   datetimeoffset               length is damage
//   uniqueidentifier             the ordinary bytes                             padded with zeros
//   varchar varbinary sql_variant the ordinary bytes                             as is
//   xml, CLR types
// An empty value (no bytes) is zero, an empty string, or False for bit.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/catalog/catalog_model.h"

namespace quenlow {

enum class CompactValue {
    kRebuilt,    // out holds the value in its ordinary stored form
    kUnreadable, // the bytes cannot be a value of the column's type
};

// Rebuilds the stored form of the value `stored` of a column with this type code into `out` (replacing
// its content). `width` is the number of bytes the ordinary form takes (the column's declared size for
// char, binary, nchar, decimal and the time types). nchar/nvarchar text whose SCSU stream is damaged is
// kUnreadable.
CompactValue rebuild_compact_value(std::int32_t type_code, const ColumnDescriptor& column, std::int32_t width,
                                   std::span<const std::byte> stored, std::vector<std::byte>& out);

// Whether the compact form of a type is its ordinary stored form (varchar, varbinary, sql_variant, xml,
// CLR types and the codes no rebuild knows): such a value needs no rebuild.
bool compact_form_is_ordinary(std::int32_t type_code);

// The compressed integer form: big-endian, top bit flipped, sign-extended from its length (1 to 8
// bytes; an empty value is 0). Nothing for a longer value.
bool decode_compact_integer(std::span<const std::byte> stored, std::int64_t& value);

// The variable decimal form as sign and a little-endian 16-byte magnitude at `scale` decimals. False
// when the value has more than 38 digits or does not fall on the scale exactly.
bool decode_compact_decimal(std::span<const std::byte> stored, std::uint8_t scale, bool& positive,
                            std::array<std::byte, 16>& magnitude);

}  // namespace quenlow
