#pragma once
// Text of a sql_variant value: a header naming the base type and its properties, then the data.

#include <span>
#include <string>

#include "engine/values/value_format.h"

namespace quenlow {

// Formats a stored sql_variant value by its base type; empty when the value cannot be read.
std::string format_sql_variant(std::span<const std::byte> bytes, const FormatContext& context);

}  // namespace quenlow
