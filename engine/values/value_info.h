#pragma once
// The description of one column value as the row decoder hands it to the formatters, and the cursor
// through which bit columns share the bytes of a record's fixed part.

#include <cstdint>

#include "engine/catalog/catalog_model.h"

namespace quenlow {

// Bit columns are packed eight to a byte in the fixed part, first column in the lowest bit. The first
// bit column of a group takes a byte (width 1); the next seven read from the same byte (width 0).
struct BitCursor {
    std::int32_t bit_index = 8;  // 8: no byte loaded; 0..7: the next bit to read
    std::uint8_t current_byte = 0;
    bool byte_taken = false;     // the current column took a new byte from the fixed part
    bool byte_loaded = false;
};

struct ValueInfo {
    BitCursor* bit_cursor = nullptr;  // bit columns only
    std::int64_t available_bytes = 0; // from the value's first byte to the end of its region
    bool variable = false;
    std::int16_t width = 0;           // bytes the value takes in the fixed part
    std::int32_t declared_size = 0;   // set by the formatter; the fixed position advances by it
    std::int16_t value_length = 0;    // bytes the formatter reads
    std::int32_t reserved = 0;
    std::int32_t type_code = 0;
};

// Width, value length and variable flag of a column's value by its type code.
ValueInfo make_value_info(const ColumnDescriptor& column, std::int32_t type_code, BitCursor& cursor);

}  // namespace quenlow
