#pragma once
// Text of one column value by its type code, in one of two styles. Texts are UTF-8.
//
//   style     used by                         differs from the display text in
//   display   the record list, `rows --format  -
//             text`, object definitions
//   export    exports, `rows --format csv      datetime      "YYYY-MM-DD hh:mm:ss.fff": the 1/300 s ticks
//             |jsonl`                                        rounded to milliseconds (.000, .003, .007)
//                                             datetimeoffset the local date and time, the fraction, one
//                                                           blank and the offset as "+hh:mm"
//                                             float, real   the shortest text that reads back as the
//                                                           same value ("1234.123", "1e+20", "inf")
//                                             smallmoney    exact, as money: four decimals
//             The row decoder also never shows placeholders for values stored elsewhere in this style,
//             and leaves a NULL value's text empty (ColumnDescriptor::value_null says NULL).
//   The other types have one text: date, time and datetime2 already carry every stored digit, decimal,
//   numeric and money are exact, binary is hex.
//
// The row decoder makes one FormatContext per operation (it owns the code page converters, so it belongs
// to one thread) and, for each column of each record:
//
//   ValueInfo info = make_value_info(column, column.type_code, record_bit_cursor);
//   info.available_bytes = <bytes from the value's first byte to the end of its region>;
//   format_value_to(column.value_text, info, value_bytes, column, context);
//   fixed_position += info.declared_size;
//
// format_value_to overwrites the string in place, so a row buffer that is reused for every record keeps
// its capacity and formatting allocates nothing for most values.

#include <charconv>
#include <cstdint>
#include <span>
#include <string>

#include "engine/catalog/catalog_model.h"
#include "engine/pages/engine_state.h"
#include "engine/values/text_conversion.h"
#include "engine/values/value_info.h"

namespace quenlow {

struct FormatContext;

enum class ValueStyle { kDisplay, kExport };

// Turns the stored binary form of an XML value into its text; an empty result is shown as one blank.
using XmlTextFunction = std::string (*)(std::span<const std::byte> bytes, const FormatContext& context);

// What the formatters read besides the value: the collation table and the database collation (for
// 8-bit text), and the code page of 8-bit text without any collation (1252 unless the user chose
// another). Holds the converters of the code pages met so far: one
// context serves one thread.
struct FormatContext {
    const EngineState& state;
    std::int32_t ansi_code_page = 1252;
    // Without a converter, XML values show as one blank.
    XmlTextFunction convert_xml = nullptr;
    mutable CodePageConverters converters{};
    ValueStyle style = ValueStyle::kDisplay;
};

// Formats the value whose first byte is at `bytes` (info.available_bytes bytes are readable there; a
// variable value may read its value_length bytes) into `out`, replacing what `out` held. Updates
// info.declared_size, and for bit columns the cursor, width and value length. `out` may be the value
// text of `column` itself. Returns why the value could not be read (kNone when it could; an empty value
// is read): its bytes lie past the region (empty text), or they are no value of the type (a date out of
// range shows one blank, a decimal whose digits or sign byte the type cannot hold keeps the text it has
// always had).
ValueDamage format_value_to(std::string& out, ValueInfo& info, const std::byte* bytes,
                            const ColumnDescriptor& column, const FormatContext& context);
std::string format_value(ValueInfo& info, const std::byte* bytes, const ColumnDescriptor& column,
                         const FormatContext& context);

// Code pages of 8-bit text. Text is read in the code page of its own collation, whichever batch, route
// or output it is read for:
//   - a collation id of 0 or -1 (none of its own), one the collation table does not hold or one without
//     an 8-bit code page, and the id the boot page stores for the database: the database collation;
//   - the database collation is the one found on the boot page, or the one the user chose instead;
//   - without a database collation: the context's ansi_code_page.
std::int32_t database_code_page(const FormatContext& context);
std::int32_t collation_code_page(std::int32_t collation_id, const FormatContext& context);
// The code page of a char, varchar or text column's 8-bit text: its collation's.
std::int32_t column_code_page(const ColumnDescriptor& column, const FormatContext& context);

// Appends the decimal digits of an integer (with a minus sign when negative).
template <typename T>
void append_number(std::string& out, T value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    out.append(buffer, result.ptr);
}

// Building blocks, also used by large values and sql_variant. Each append_ form appends to `out`; the
// other form returns the text.
void append_hex(std::string& out, std::span<const std::byte> bytes, bool prefix);
std::string format_hex(std::span<const std::byte> bytes, bool prefix);

// float: 15 significant digits in fixed notation, trailing zeros removed; an infinity or NaN shows "0"
// unless `keep_special`, which keeps the runtime's text ("1.#INF").
void append_float(std::string& out, double value, bool keep_special = false);
std::string format_float(double value);

// float and real in export style: the shortest decimal text that reads back as the same value.
void append_shortest(std::string& out, double value);
void append_shortest(std::string& out, float value);

// real: "%g" with a three-digit exponent (1e+010, 1e-005); an infinity or NaN shows "0" unless
// `keep_special`.
void append_real(std::string& out, float value, bool keep_special = false);
std::string format_real(float value);

// money and smallmoney: a signed count of ten-thousandths, always with four decimals.
void append_money(std::string& out, std::int64_t raw);
std::string format_money(std::int64_t raw);
void append_smallmoney(std::string& out, std::int32_t raw);
std::string format_smallmoney(std::int32_t raw);

// decimal and numeric: `sign` 0 is negative; the magnitude is a little-endian integer of 4, 8, 12 or 16
// bytes by precision (missing bytes are zero, extra bytes ignored). Empty text for a precision outside
// 1..38 or a scale above the precision. False for those and for a magnitude with more digits than the
// precision allows (its lowest fraction digits are dropped).
bool append_decimal(std::string& out, std::uint8_t precision, std::uint8_t scale, std::uint8_t sign,
                    std::span<const std::byte> magnitude);
std::string format_decimal(std::uint8_t precision, std::uint8_t scale, std::uint8_t sign,
                           std::span<const std::byte> magnitude);

// uniqueidentifier: 8-4-4-4-12 hex digits, the first three groups stored little-endian. Missing bytes
// are zero.
void append_guid(std::string& out, std::span<const std::byte> bytes);
std::string format_guid(std::span<const std::byte> bytes);

// 8-bit text in a Windows code page to UTF-8, up to the first zero byte; invalid bytes never fail the
// conversion. This form opens its converter per call; hot paths use a CodePageConverters instead.
std::string narrow_to_text(std::span<const std::byte> bytes, std::int32_t code_page);

}  // namespace quenlow
