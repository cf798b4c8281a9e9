#pragma once
// Column types and values for the test database builder, and their stored byte forms.
//
// Stored forms (little-endian):
//
//   type              bytes        layout
//   ----------------- ------------ --------------------------------------------------------------
//   tinyint/smallint  1 / 2        unsigned byte / signed 16 bits
//   int / bigint      4 / 8        signed
//   bit               bit          packed: up to eight bit columns share one byte, first = bit 0
//   char(n)           n            8-bit text (Latin-1 here), padded with blanks
//   nchar(n)          2n           UTF-16, padded with blanks
//   varchar/nvarchar  as long      8-bit / UTF-16, no terminator
//   datetime          8            0-3: 1/300-second ticks since midnight; 4-7: days since 1900-01-01
//   smalldatetime     4            0-1: minutes since midnight; 2-3: days since 1900-01-01
//   date              3            days since 0001-01-01
//   money / smallmoney 8 / 4       signed count of ten-thousandths
//   decimal(p,s)      1 + 4/8/12/16  sign byte (1 positive, 0 negative), magnitude unsigned;
//                                  the magnitude size follows p: 1-9, 10-19, 20-28, 29-38
//   uniqueidentifier  16           groups 1-3 byte-reversed, groups 4-5 as written
//   float / real      8 / 4        IEEE double / single
//   binary/varbinary  n / as long  the bytes
//   text/ntext/image  16           a text pointer to LOB pages; the value as varchar, nvarchar,
//                                  varbinary
//   (max) types       as long      in the row, or a root of LOB page pointers (ColumnSpec::off_row)
//   time(p)           3/4/5        units of 10^-p seconds since midnight, unsigned; 3 bytes for p 0-2,
//                                  4 for p 3-4, 5 for p 5-7 (p is ColumnSpec::scale)
//   datetime2(p)      6/7/8        the time(p) bytes, then the 3 date bytes
//   datetimeoffset(p) 8/9/10       the datetime2(p) bytes of the UTC time, then the offset in minutes
//                                  (signed 16 bits)
//   timestamp         8            rowversion: big-endian counter

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quenlow::testing {

enum class SqlType {
    Int,
    BigInt,
    SmallInt,
    TinyInt,
    Bit,
    Char,
    VarChar,
    NChar,
    NVarChar,
    SysName,  // nvarchar(128) under its own user type id
    DateTime,
    SmallDateTime,
    Date,
    Money,
    SmallMoney,
    Decimal,
    Numeric,
    UniqueIdentifier,
    Binary,
    VarBinary,
    Float,
    Real,
    SqlVariant,
    // Stored on LOB pages behind a 16-byte text pointer.
    Text,   // 8-bit text (Latin-1 here)
    NText,  // UTF-16
    Image,  // bytes
    // Fraction digits 0-7 in ColumnSpec::scale.
    Time,
    DateTime2,
    DateTimeOffset,
    Timestamp,  // rowversion
};

// Catalog facts of a built-in type.
struct TypeFacts {
    const char* name;
    std::uint8_t system_type_id;
    std::int32_t user_type_id;
    bool variable;   // stored in the variable part of a record
    bool character;  // carries a collation
};
const TypeFacts& type_facts(SqlType type);

struct Identity {
    std::int64_t seed = 1;
    std::int64_t increment = 1;
};

// One column of a table. `length` is the declared n of char/varchar/binary/varbinary (bytes) and of
// nchar/nvarchar (characters); -1 declares max. Other types ignore it.
struct ColumnSpec {
    std::string name;
    SqlType type = SqlType::Int;
    int length = 0;
    std::uint8_t precision = 18;
    std::uint8_t scale = 0;
    bool nullable = false;
    std::optional<Identity> identity;
    std::int32_t collation_id = 0;  // 0: the database collation for character types
    bool stored = true;             // false: listed in the catalog but not stored in rows (computed)
    std::string computed;           // the definition of a column that is not stored (2005 layout)
    // (max) types: every value is stored on LOB pages under an in-row root instead of in the row.
    bool off_row = false;

    ColumnSpec& with_identity(std::int64_t seed = 1, std::int64_t increment = 1) {
        identity = Identity{seed, increment};
        return *this;
    }
    ColumnSpec& not_null() {
        nullable = false;
        return *this;
    }

    // Length in bytes as the catalog records it (-1 for max).
    std::int16_t byte_length() const;
    // Bytes taken in the fixed part of a record; 0 for variable types and for bit (packed).
    int fixed_width() const;
    bool variable() const { return type_facts(type).variable; }
    // Values live on LOB pages: text, ntext and image always, (max) types when off_row is set.
    bool on_lob_pages() const {
        return type == SqlType::Text || type == SqlType::NText || type == SqlType::Image ||
               (off_row && length < 0);
    }
    // Precision and scale as the catalog records them.
    std::uint8_t catalog_precision() const;
    std::uint8_t catalog_scale() const;
};

struct DateTimeParts {
    int year = 1900, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    // 100-nanosecond units within the second (time, datetime2, datetimeoffset); millisecond * 10000 when
    // the value is given in milliseconds.
    std::int32_t fraction = 0;
    // Minutes east of UTC of a datetimeoffset; the other parts are the local time.
    int offset_minutes = 0;
};

// A value given in a row. Each factory names what the value is; the column type decides the bytes.
class Value {
  public:
    enum class Kind { Null, Integer, Floating, Text, Binary, Decimal, DateTime, Guid };

    Value() = default;
    static Value null() { return Value(); }
    static Value integer(std::int64_t v);
    static Value boolean(bool v) { return integer(v ? 1 : 0); }
    static Value floating(double v);
    // UTF-8 text; char/varchar columns store it as Latin-1, nchar/nvarchar as UTF-16.
    static Value text(std::string utf8);
    static Value binary(std::vector<std::byte> bytes);
    // Decimal text such as "-123.45" for decimal, numeric, money and smallmoney columns.
    static Value decimal(std::string digits);
    static Value datetime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                          int millisecond = 0);
    // A local time to the 100-nanosecond unit (fraction 0..9999999), with its offset from UTC in minutes,
    // for time, datetime2 and datetimeoffset columns.
    static Value precise_time(int year, int month, int day, int hour, int minute, int second,
                              std::int32_t fraction, int offset_minutes = 0);
    // "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" in hex digits.
    static Value guid(std::string text);

    Kind kind() const { return kind_; }
    bool is_null() const { return kind_ == Kind::Null; }
    std::int64_t as_integer() const { return integer_; }
    double as_floating() const { return floating_; }
    const std::string& as_text() const { return text_; }
    const std::vector<std::byte>& as_binary() const { return binary_; }
    const DateTimeParts& as_datetime() const { return datetime_; }

  private:
    Kind kind_ = Kind::Null;
    std::int64_t integer_ = 0;
    double floating_ = 0;
    std::string text_;  // text, decimal digits or guid text
    std::vector<std::byte> binary_;
    DateTimeParts datetime_;
};

// The stored bytes of a non-NULL value in a column; for bit, one byte 0 or 1. Throws
// std::invalid_argument when the value does not suit the column.
std::vector<std::byte> encode_value(const ColumnSpec& column, const Value& value);

// UTF-8 to UTF-16LE bytes, and UTF-8 to Latin-1 bytes ('?' for characters above U+00FF).
std::vector<std::byte> utf16_bytes(const std::string& utf8);
std::vector<std::byte> latin1_bytes(const std::string& utf8);

// Days from 0001-01-01 of the proleptic Gregorian calendar.
std::int64_t day_number(int year, int month, int day);

}  // namespace quenlow::testing
