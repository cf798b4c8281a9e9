#include "app/database_info.h"

#include "engine/pages/opened_database.h"

namespace quenlow {

DatabaseInfo collect_database_info(const std::string& path, ApplicationState& app, EngineEvents& events,
                                   FileSystem& files) {
    DatabaseInfo info;
    info.path = path;
    auto db = OpenedDatabase::open(path, ReadOptions{}, {app.engine, events, files});
    if (!db->is_open()) return info;
    info.opened = true;
    info.boot = read_boot_page(*db);
    if (info.boot.collation_found) {
        info.collation_name = app.engine.collation_name;
        info.code_page = app.engine.code_page;
    }
    std::vector<DatabaseFileRow> file_list;
    db->find_secondary_files(file_list);

    const DataFile& f = db->primary();
    info.length = f.length;
    info.page_count = f.page_count;
    info.leading_offset = f.leading_offset;
    info.extent_count = f.extent_count;
    const auto& histogram = db->page_type_histogram();
    for (std::uint32_t t = 0; t < histogram.size(); ++t)
        if (histogram[t] != 0) info.page_types[t] = histogram[t];
    info.system_map_objects = db->system_pages().object_count();
    info.system_map_pages = db->system_pages().entry_count();
    info.data_map_objects = db->data_pages().object_count();
    info.data_map_pages = db->data_pages().entry_count();
    info.iam_map_objects = db->iam_pages().object_count();
    info.iam_map_pages = db->iam_pages().entry_count();
    for (const auto& [id, list] : db->system_pages().lists()) info.system_objects[id] = list.size();
    for (const auto& [id, sf] : db->secondary_files())
        info.secondary_files.push_back({id, sf.file.path, sf.file.length, sf.file.page_count,
                                        sf.file.leading_offset});
    return info;
}

}  // namespace quenlow
