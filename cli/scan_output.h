#pragma once
// What `quenlow scan --json` prints: the identification of the scanned database and the object tree, one
// object per item: {"text", "bold", "data", "children"}, and for an item that stands for a catalog
// object also {"object_id", "schema", "name"}. The tree is null when the scan built none.

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "app/object_tree.h"

namespace quenlow::cli {

inline nlohmann::json tree_item_to_json(const ObjectTree& tree, TreeItemId item) {
    nlohmann::json children = nlohmann::json::array();
    for (TreeItemId child : tree.children(item)) children.push_back(tree_item_to_json(tree, child));
    nlohmann::json j = {{"text", tree.item_text(item)},
                        {"bold", tree.is_bold(item)},
                        {"data", tree.item_data(item)},
                        {"children", std::move(children)}};
    if (const TreeObject* object = tree.item_object(item)) {
        j["object_id"] = object->object_id;
        j["schema"] = object->schema;
        j["name"] = object->name;
    }
    return j;
}

struct ScanSummary {
    std::string file;
    std::string version;
    std::string collation;
    std::string database_name;
    std::optional<std::string> log_file;
};

inline nlohmann::json scan_to_json(const ScanSummary& summary, const ObjectTree& tree) {
    nlohmann::json j;
    j["file"] = summary.file;
    j["version"] = summary.version;
    j["collation"] = summary.collation;
    j["database_name"] = summary.database_name;
    j["log_file"] = summary.log_file ? nlohmann::json(*summary.log_file) : nlohmann::json(nullptr);
    const auto& top = tree.children(kNoItem);
    j["tree"] = top.empty() ? nlohmann::json(nullptr) : tree_item_to_json(tree, top.front());
    return j;
}

}  // namespace quenlow::cli
