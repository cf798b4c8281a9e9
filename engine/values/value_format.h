#pragma once
// Display text of one column value by its type code.

#include <cstdint>
#include <span>
#include <string>

#include "engine/catalog/catalog_model.h"
#include "engine/pages/engine_state.h"
#include "engine/values/value_info.h"

namespace quenlow {

// What the formatters read besides the value: the collation table and the database collation (for
// 8-bit text), the rows-loading flag, and the code page used where the system's 8-bit code page would
// be (1252 unless the user chose another).
struct FormatContext {
    const EngineState& state;
    std::int32_t ansi_code_page = 1252;
};

// Formats the value whose first byte is at `bytes` (info.available_bytes bytes are readable there).
// Updates info.declared_size. Empty text when the value cannot be read.
std::string format_value(ValueInfo& info, const std::byte* bytes, const ColumnDescriptor& column,
                         const FormatContext& context);

// Building blocks, also used by large values and sql_variant.
std::string format_hex(std::span<const std::byte> bytes, bool prefix);
std::string format_float(double value);
std::string format_real(float value);
std::string format_money(std::int64_t raw);
std::string format_smallmoney(std::int32_t raw);
std::string format_decimal(std::uint8_t precision, std::uint8_t scale, std::uint8_t sign,
                           std::span<const std::byte> magnitude);
std::string format_guid(std::span<const std::byte> bytes);
// 8-bit text in a Windows code page to UTF-8; invalid bytes never fail the conversion.
std::string narrow_to_text(std::span<const std::byte> bytes, std::int32_t code_page);

}  // namespace quenlow
