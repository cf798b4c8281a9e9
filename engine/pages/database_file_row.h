#pragma once
// One row of the database's file list (system table of object id 8): which data files make up the
// database. The secondary file search uses it and adds to it.

#include <cstdint>
#include <string>

namespace quenlow {

struct DatabaseFileRow {
    std::uint32_t status = 0;
    std::uint16_t file_id = 0;
    std::string logical_name;
    // As the server recorded it: usually a Windows path.
    std::string physical_name;
};

}  // namespace quenlow
