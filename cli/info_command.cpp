#include <cstdio>
#include <iostream>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "app/collation_file.h"
#include "app/database_info.h"
#include "cli/commands.h"
#include "cli/terminal_events.h"
#include "engine/pages/page_header.h"

namespace quenlow::cli {

namespace {

// Version texts begin with a space; displays trim it.
std::string trimmed_version_text(const std::string& text) {
    auto first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first);
}

nlohmann::json boot_json(const DatabaseInfo& info) {
    const BootPageSummary& b = info.boot;
    if (!b.found) return {{"found", false}, {"page_shift", b.page_shift}};
    return {
        {"found", true},
        {"physical_page", b.physical_page},
        {"page_shift", b.page_shift},
        {"version", b.version},
        {"version_text", b.version_text},
        {"create_version", b.create_version},
        {"create_version_text", std::string(sql_version_text(b.create_version))},
        {"database_name", b.database_name},
        {"full_database_name", b.full_database_name},
        {"collation_id", b.collation_id},
        {"stored_collation_id", b.raw_collation_id},
        {"collation_found", b.collation_found},
        {"collation_name", b.collation_found ? nlohmann::json(info.collation_name) : nlohmann::json()},
        {"code_page", b.collation_found ? nlohmann::json(info.code_page) : nlohmann::json()},
    };
}

void print_boot(const DatabaseInfo& info) {
    const BootPageSummary& b = info.boot;
    if (!b.found) {
        fmt::print("Boot page:       not found (page shift {} puts it outside the file)\n", b.page_shift);
        return;
    }
    fmt::print("Boot page:       physical page {} (page shift {})\n", b.physical_page, b.page_shift);
    fmt::print("Version:         {} ({})\n", b.version, trimmed_version_text(b.version_text));
    fmt::print("Create version:  {} ({})\n", b.create_version,
               trimmed_version_text(std::string(sql_version_text(b.create_version))));
    fmt::print("Database name:   {}\n", b.database_name);
    if (b.full_database_name != b.database_name) fmt::print("Full name:       {}\n", b.full_database_name);
    if (b.collation_found)
        fmt::print("Collation:       {} (id {}, code page {})\n", info.collation_name, b.collation_id,
                   info.code_page);
    else
        fmt::print("Collation:       (unknown) (id {}, stored as 0x{:08X})\n", b.collation_id,
                   static_cast<std::uint32_t>(b.raw_collation_id));
}

nlohmann::json to_json(const DatabaseInfo& info) {
    nlohmann::json j;
    j["file"] = info.path;
    j["length"] = info.length;
    j["page_count"] = info.page_count;
    j["leading_offset"] = info.leading_offset;
    j["extent_count"] = info.extent_count;
    j["boot"] = boot_json(info);
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
    print_boot(info);
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
    app.engine.collations = load_shipped_collations();
    PosixFileSystem files;
    TerminalEvents events(TerminalEvents::stderr_is_terminal() && !options.quiet);
    DatabaseInfo info = collect_database_info(options.file, app, events, files);
    events.finish();
    if (!info.opened) {
        fmt::print(stderr, "{}\n", events.last_fatal_error());
        return kExitFailed;
    }
    if (options.json)
        std::cout << to_json(info).dump(2) << '\n';
    else
        print_text(info);
    return kExitOk;
}

}  // namespace quenlow::cli
