#pragma once
// Readable test failure output for the engine's small value types.

#include <ostream>

#include "engine/pages/page_address.h"

namespace quenlow {

inline void PrintTo(const PageAddress& a, std::ostream* os) {
    *os << "(" << a.file_id << ":" << a.page_id << ")";
}

inline void PrintTo(const PageMapEntry& e, std::ostream* os) {
    *os << "{file " << e.file_id << ", index " << e.page_index << ", type " << e.page_type << "}";
}

}  // namespace quenlow
