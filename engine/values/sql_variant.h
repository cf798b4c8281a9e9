#pragma once
// Text of a sql_variant value. Each stored value names its base type and carries that type's properties
// in front of the data:
//
//   offset | size | field
//   0      | 1    | base type (a system type id)
//   1      | 1    | version (not read)
//   2      | ...  | properties, then the data:
//
//   base type                         length L       properties                   data
//   127 bigint, 60 money, 62 float,   10             -                            8 bytes at 2
//     61 datetime
//   56 int, 59 real, 122 smallmoney,  6              -                            4 bytes at 2
//     58 smalldatetime
//   52 smallint                       4              -                            2 bytes at 2
//   48 tinyint, 104 bit               3              -                            1 byte at 2
//   40 date                           5              -                            3 bytes at 2
//   36 uniqueidentifier               18             -                            16 bytes at 2
//   41 time, 42 datetime2,            4 or more      2: scale                     L - 3 bytes at 3
//     43 datetimeoffset
//   106 decimal, 108 numeric          5 or more      2: precision, 3: scale       sign byte and magnitude
//                                                                                 at 4
//   165 varbinary, 173 binary         5 or more      2-3: maximum length          L - 4 bytes at 4
//   167 varchar, 231 nvarchar,        9 or more      2-3: maximum length,         L - 8 bytes at 8
//     239 nchar                                      4-7: collation
//   175 char, 240 CLR type            3 or more      -                            L - 2 bytes at 2
//
// The data is shown by its base type: numbers, dates and GUIDs as their columns show them (an infinite
// float or real keeps the runtime's "1.#INF"); varbinary and binary as 8-bit text in the code page of
// text without a collation, char in the database collation's code page, varchar in the code page of its
// own collation, nchar and nvarchar as UTF-16, all up to the first zero; a CLR value as "0x" and hex. A base
// type not listed, a length the base type cannot have, or no data give an empty text.
//
// append_sql_variant returns false when the value cannot be read: fewer than 2 bytes, a base type not
// listed, a length the base type cannot have, no data for a type other than a string or binary one, a
// date or time out of range, a decimal whose sign, length or digits its type cannot hold.

#include <span>
#include <string>

#include "engine/values/value_format.h"

namespace quenlow {

bool append_sql_variant(std::string& out, std::span<const std::byte> bytes, const FormatContext& context);
std::string format_sql_variant(std::span<const std::byte> bytes, const FormatContext& context);

}  // namespace quenlow
