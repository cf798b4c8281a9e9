#pragma once
// A summary of a data file set after the open and mapping pass: geometry, page types, the page maps and
// the secondary files found. The `info` command prints it.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/application_state.h"
#include "engine/pages/boot_page.h"
#include "engine/pages/engine_events.h"
#include "engine/pages/file_reader.h"

namespace quenlow {

struct DatabaseInfo {
    struct FileSummary {
        std::uint16_t file_id = 0;
        std::string path;
        std::uint64_t length = 0;
        std::uint64_t page_count = 0;
        std::uint64_t leading_offset = 0;
    };

    bool opened = false;
    std::string path;
    std::uint64_t length = 0;
    std::uint64_t page_count = 0;
    std::uint64_t leading_offset = 0;
    std::uint64_t extent_count = 0;
    std::map<std::uint32_t, std::uint64_t> page_types;        // page type -> pages of the primary file
    std::size_t system_map_objects = 0, system_map_pages = 0;
    std::size_t data_map_objects = 0, data_map_pages = 0;
    std::size_t iam_map_objects = 0, iam_map_pages = 0;
    std::map<std::int32_t, std::size_t> system_objects;      // object id -> pages in the system map
    std::vector<FileSummary> secondary_files;

    // Identification from the boot page; collation name and code page only when the collation was found in
    // the application's collation table.
    BootPageSummary boot;
    std::string collation_name;
    std::int32_t code_page = 0;
};

// Opens the database at path (no catalog), reads its boot page, searches its folder for secondary files
// and summarises.
DatabaseInfo collect_database_info(const std::string& path, ApplicationState& app, EngineEvents& events,
                                   FileSystem& files);

}  // namespace quenlow
