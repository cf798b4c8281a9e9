#pragma once
// A column descriptor placed by its physical position, as the schema assembly gives one for a stored
// column: column id, physical id and null bit all `id`; `leaf_offset` the fixed part's offset, or -n for
// the n-th variable column.

#include <cstdint>
#include <string>

#include "engine/catalog/catalog_model.h"
#include "engine/catalog/type_codes.h"

namespace quenlow::testing {

inline ColumnDescriptor stored_column(std::int32_t id, std::string type_text, std::int32_t type_code,
                                      std::int16_t leaf_offset, bool nullable = false) {
    ColumnDescriptor d = make_column_descriptor("c" + std::to_string(id), std::move(type_text), type_code);
    d.column_id = d.physical_column_id = id;
    d.physical_position_known = true;
    d.leaf_offset = leaf_offset;
    d.null_bit = id;
    d.nullable = nullable;
    return d;
}

}  // namespace quenlow::testing
