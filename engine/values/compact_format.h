#pragma once
// Text of a compact (row- or page-compressed) value written straight from its compact form, for the
// types whose text needs no rebuilt ordinary image:
//
//   type                         written from
//   ---------------------------+---------------------------------------------------------------------
//   tinyint smallint int bigint  the integer the compact form holds
//   money smallmoney             the integer, as ten-thousandths (declared size 8 / 4)
//   datetime smalldatetime       the integer as the ordinary bytes, on the stack
//   decimal numeric              the magnitude, on the stack (declared size 2 to 17)
//   nvarchar (no padding)        UTF-16LE as stored; SCSU of plain ASCII as its own bytes (window
//                                switches aside); values of up to 8000 bytes
//
// The text is the one the ordinary formatter makes of the rebuilt value, byte for byte. Every other type
// and every other case (SCSU with tags or non-ASCII characters, an unusual declared size) is left to the
// rebuild.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "engine/catalog/catalog_model.h"
#include "engine/values/value_format.h"
#include "engine/values/value_info.h"

namespace quenlow {

enum class CompactFormat {
    kWritten,  // out holds the value's text; damage says why it could not be read, if so
    kRebuild,  // no direct form for this value: rebuild its ordinary form and format that
};

// Writes the text of the compact value of `column` whose bytes are `prefix` (leading bytes of the page's
// anchor value; empty without one) followed by `stored`, into `out` (replacing its content). `info` is
// the column's value description; `declared` the column's declared size (0 when unknown: the fixed types
// are then left to the rebuild). A value whose bytes are no value of its type is left to the rebuild
// too, which tells how it is shown.
CompactFormat format_compact_value(std::string& out, ValueDamage& damage, const ValueInfo& info,
                                   std::int32_t declared, const ColumnDescriptor& column,
                                   std::span<const std::byte> prefix, std::span<const std::byte> stored,
                                   const FormatContext& context);

}  // namespace quenlow
