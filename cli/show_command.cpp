// `quenlow show`: a scan, then a click on any tree item, printed as the records view shows it: a table's
// schema items and first batch, a definition, a key or check statement, or nothing.

#include <iostream>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "app/engine_seams.h"
#include "app/main_frame.h"
#include "app/table_display.h"
#include "cli/cli_front_end.h"
#include "cli/commands.h"
#include "cli/rows_output.h"
#include "cli/scan_session.h"

namespace quenlow::cli {

namespace {

constexpr const char* kColumnsItem = "Columns";

// True when the item's parent, or any item above it, reads text.
bool has_ancestor(const ObjectTree& tree, TreeItemId item, const std::string& text) {
    for (TreeItemId up = tree.item_parent(item); up != kNoItem; up = tree.item_parent(up))
        if (tree.item_text(up) == text) return true;
    return false;
}

// The first item, in outline order, with this text (and an ancestor of that text, when one is given).
TreeItemId find_item(const ObjectTree& tree, TreeItemId under, const std::string& text,
                     const std::optional<std::string>& ancestor) {
    for (TreeItemId child : tree.children(under)) {
        if (tree.item_text(child) == text && (!ancestor || has_ancestor(tree, child, *ancestor)))
            return child;
        if (TreeItemId found = find_item(tree, child, text, ancestor)) return found;
    }
    return kNoItem;
}

// Keys and constraints appear in the tree once their table was shown: grows the schema items of every
// table that has not got them yet, as its first display would, without loading rows.
void grow_schema_items(MainFrame& frame) {
    const ObjectTree& tree = frame.tree();
    const TreeCategories& categories = frame.categories();
    for (const auto& [category, type] :
         {std::pair{categories.user_tables, "U "}, {categories.system_tables, "S "}}) {
        for (TreeItemId table : tree.children(category)) {
            const TreeItemId first = tree.first_child(table);
            if (first != kNoItem && tree.item_text(first) == kColumnsItem)
                build_schema_items(frame, type, table, tree.item_text(table), first);
        }
    }
}

void outline(const ObjectTree& tree, TreeItemId item, int depth, std::string& out) {
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
    out += tree.item_text(item);
    if (tree.is_bold(item)) out += " *";
    out += '\n';
    for (TreeItemId child : tree.children(item)) outline(tree, child, depth + 1, out);
}

}  // namespace

int run_show(const ShowOptions& options) {
    InterruptAsStop interrupt;
    ApplicationState app;
    const std::optional<OpenChoices> choices = open_choices_from(options.scan, app);
    if (!choices) return kExitUsage;
    CliFrontEnd front(TerminalEvents::stderr_is_terminal(), *choices);
    PosixFileSystem files;
    int status = kExitOk;
    {
        MainFrame frame(app, front, files, engine_seams());
        frame.on_open();
        wait_for_worker(frame);
        const ObjectTree& tree = frame.tree();
        if (tree.empty()) {
            status = kExitFailed;
        } else {
            const TreeCategories& c = frame.categories();
            // An object is found by its item text, its "schema.name" or its name; a name that several
            // objects share shows none of them.
            std::vector<TreeItemId> objects =
                find_object_items(tree,
                                  {c.views, c.triggers, c.default_item, c.store_procedure, c.function,
                                   c.system_tables, c.user_tables},
                                  options.item);
            if (options.parent)
                std::erase_if(objects, [&](TreeItemId i) { return !has_ancestor(tree, i, *options.parent); });
            TreeItemId item = objects.size() == 1 ? objects.front() : kNoItem;
            if (objects.size() > 1) {
                front.finish();
                print_ambiguous(tree, objects, options.item);
                return kExitFailed;
            }
            if (item == kNoItem) item = find_item(tree, kNoItem, options.item, options.parent);
            if (item == kNoItem && frame.catalog() != nullptr) {
                grow_schema_items(frame);
                item = find_item(tree, kNoItem, options.item, options.parent);
            }
            if (item == kNoItem) {
                front.finish();
                fmt::print(stderr, "No tree item reads {}{}.\n", options.item,
                           options.parent ? " under " + *options.parent : std::string());
                status = kExitFailed;
            } else {
                frame.on_show_object(item);
                wait_for_worker(frame);
                const RecordListModel list = front.record_list();
                front.finish();
                std::string items;
                outline(tree, item, 0, items);
                std::cout << items;
                if (list.table_arrangement) {
                    std::cout << '\n'
                              << text_table(list.columns, list.rows) << valid_utf8(list.page_label) << '\n';
                } else if (!list.text.empty()) {
                    std::cout << '\n' << valid_utf8(list.text) << '\n';
                }
            }
        }
    }
    front.finish();
    return status;
}

}  // namespace quenlow::cli
