#pragma once
// Type codes: the small integer that names the kind of value a column holds. The row decoder and the
// value formatters dispatch on it. Codes come from the built-in (system) type id of a column; schema
// assembly then adjusts a few of them while it builds a column descriptor.
//
//   system type id  type              code     system type id  type              code
//   127             bigint            0        232             (no type name)    18
//   173             binary            1        99              ntext             19
//   104             bit               2        98              sql_variant       20
//   175             char              3        60              money             21
//   61              datetime          4        62              float             22
//   40              date              5        108             numeric           23
//   41              time              6        106             decimal           24
//   42              datetime2         7        34              image             26 (25 in descriptors)
//   43              datetimeoffset    8        35              text              26
//   56              int               9        58              smalldatetime     27
//   239             nchar             10       59              real              28
//   231             nvarchar          11       122             smallmoney        29
//   52              smallint          13       189             timestamp         30
//   48              tinyint           14       240             CLR types         33
//   36              uniqueidentifier  15       241             xml               34
//   165             varbinary         16       anything else   taken as char     3
//   167             varchar           17
//
// Codes 12, 31 and 32 are never produced; 25 (image) only by schema assembly for system type id 34.

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/catalog/catalog_model.h"

namespace quenlow {

inline constexpr std::int32_t kTypeBigint = 0;
inline constexpr std::int32_t kTypeBinary = 1;
inline constexpr std::int32_t kTypeBit = 2;
inline constexpr std::int32_t kTypeChar = 3;
inline constexpr std::int32_t kTypeDatetime = 4;
inline constexpr std::int32_t kTypeDate = 5;
inline constexpr std::int32_t kTypeTime = 6;
inline constexpr std::int32_t kTypeDatetime2 = 7;
inline constexpr std::int32_t kTypeDatetimeoffset = 8;
inline constexpr std::int32_t kTypeInt = 9;
inline constexpr std::int32_t kTypeNchar = 10;
inline constexpr std::int32_t kTypeNvarchar = 11;
inline constexpr std::int32_t kTypeUnused12 = 12;
inline constexpr std::int32_t kTypeSmallint = 13;
inline constexpr std::int32_t kTypeTinyint = 14;
inline constexpr std::int32_t kTypeUniqueidentifier = 15;
inline constexpr std::int32_t kTypeVarbinary = 16;
inline constexpr std::int32_t kTypeVarchar = 17;
inline constexpr std::int32_t kTypeSysname = 18;  // system type id 232; stored as nvarchar in descriptors
inline constexpr std::int32_t kTypeNtext = 19;
inline constexpr std::int32_t kTypeSqlVariant = 20;
inline constexpr std::int32_t kTypeMoney = 21;
inline constexpr std::int32_t kTypeFloat = 22;
inline constexpr std::int32_t kTypeNumeric = 23;
inline constexpr std::int32_t kTypeDecimal = 24;
inline constexpr std::int32_t kTypeImage = 25;
inline constexpr std::int32_t kTypeText = 26;
inline constexpr std::int32_t kTypeSmalldatetime = 27;
inline constexpr std::int32_t kTypeReal = 28;
inline constexpr std::int32_t kTypeSmallmoney = 29;
inline constexpr std::int32_t kTypeTimestamp = 30;
inline constexpr std::int32_t kTypeUnused31 = 31;
inline constexpr std::int32_t kTypeUnused32 = 32;
inline constexpr std::int32_t kTypeClr = 33;
inline constexpr std::int32_t kTypeXml = 34;

// Built-in type ids that assembly treats specially.
inline constexpr std::uint32_t kSystemTypeImage = 34;

// The type code of a system type id; 3 (char) for every id the table does not list.
std::int32_t type_code_of(std::uint32_t system_type_id);

// The code schema assembly stores for a column of this system type id: the table's code, except that
// image (34) gets 25 instead of 26.
std::int32_t column_type_code_of(std::uint32_t system_type_id);

// The number written between the first "(" and the first ")" of a type text, read the way a C decimal
// conversion reads it: leading blanks, an optional sign, then digits up to the first other character.
// 0 when the text has no such parentheses or no digits there. "varbinary(-1)" gives -1.
std::int16_t declared_length_of(std::string_view type_text);

// A descriptor with every field at its default, carrying name, type text and type code; the declared
// length, the variable-length flag and the stored code then follow from the code:
//   1 3 10 23 24       declared length from the type text, fixed length
//   11 26 33 34        declared length from the type text, variable length
//   18                 declared length from the type text, variable length, stored as 11
//   15 16 17 19 20 25  length 0, variable length
//   31 32, above 34    length 0, variable length, stored as 17
//   anything else      length 0, fixed length
ColumnDescriptor make_column_descriptor(std::string name, std::string type_text, std::int32_t type_code);

}  // namespace quenlow
