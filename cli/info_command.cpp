#include <cstdio>
#include <iostream>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "app/database_info.h"
#include "cli/commands.h"
#include "cli/terminal_events.h"
#include "engine/pages/page_header.h"

namespace quenlow::cli {

namespace {

nlohmann::json to_json(const DatabaseInfo& info) {
    nlohmann::json j;
    j["file"] = info.path;
    j["length"] = info.length;
    j["page_count"] = info.page_count;
    j["leading_offset"] = info.leading_offset;
    j["extent_count"] = info.extent_count;
    auto& types = j["page_types"] = nlohmann::json::array();
    for (const auto& [type, count] : info.page_types)
        types.push_back({{"type", type}, {"name", page_type_name(type)}, {"pages", count}});
    j["page_maps"] = {
        {"system", {{"objects", info.system_map_objects}, {"pages", info.system_map_pages}}},
        {"data", {{"objects", info.data_map_objects}, {"pages", info.data_map_pages}}},
        {"iam", {{"objects", info.iam_map_objects}, {"pages", info.iam_map_pages}}},
    };
    auto& sys = j["system_objects"] = nlohmann::json::array();
    for (const auto& [id, pages] : info.system_objects) sys.push_back({{"object_id", id}, {"pages", pages}});
    auto& files = j["secondary_files"] = nlohmann::json::array();
    for (const auto& f : info.secondary_files)
        files.push_back({{"file_id", f.file_id}, {"path", f.path}, {"length", f.length},
                         {"page_count", f.page_count}, {"leading_offset", f.leading_offset}});
    return j;
}

void print_text(const DatabaseInfo& info) {
    fmt::print("File:            {}\n", info.path);
    fmt::print("Length:          {} bytes\n", info.length);
    fmt::print("Pages:           {}\n", info.page_count);
    fmt::print("Leading offset:  {}\n", info.leading_offset);
    fmt::print("Extents:         {}\n", info.extent_count);
    fmt::print("\nPage types:\n");
    for (const auto& [type, count] : info.page_types)
        fmt::print("  {:>3}  {:<18} {:>10}\n", type, page_type_name(type), count);
    fmt::print("\nPage maps:         objects      pages\n");
    fmt::print("  system        {:>10} {:>10}\n", info.system_map_objects, info.system_map_pages);
    fmt::print("  data          {:>10} {:>10}\n", info.data_map_objects, info.data_map_pages);
    fmt::print("  IAM           {:>10} {:>10}\n", info.iam_map_objects, info.iam_map_pages);
    fmt::print("\nSystem page map:\n  object id      pages\n");
    for (const auto& [id, pages] : info.system_objects) fmt::print("  {:>9} {:>10}\n", id, pages);
    fmt::print("\nSecondary files: {}\n", info.secondary_files.empty() ? "none" : "");
    for (const auto& f : info.secondary_files)
        fmt::print("  file id {:>3}  {}  ({} pages, leading offset {})\n", f.file_id, f.path, f.page_count,
                   f.leading_offset);
}

}  // namespace

int run_info(const InfoOptions& options) {
    ApplicationState app;
    PosixFileSystem files;
    TerminalEvents events(TerminalEvents::stderr_is_terminal());
    DatabaseInfo info = collect_database_info(options.file, app, events, files);
    events.finish();
    if (!info.opened) {
        fmt::print(stderr, "{}\n", events.last_fatal_error());
        return kExitFailed;
    }
    if (options.json) std::cout << to_json(info).dump(2) << '\n';
    else print_text(info);
    return kExitOk;
}

}  // namespace quenlow::cli
