#pragma once
// The collation table: collation id (as the server reports it, widened to 64 bits) to the collation's
// name and the Windows code page of its 8-bit text (0 for Unicode-only collations).

#include <cstdint>
#include <map>
#include <string>

namespace quenlow {

struct CollationEntry {
    std::string name;
    std::int32_t code_page = 0;
};

using CollationTable = std::map<std::int64_t, CollationEntry>;

}  // namespace quenlow
