// `quenlow show`: a scan, then a click on any tree item, printed as the records view shows it: a table's
// schema items and first batch, a definition, a key or check statement, or nothing.

#include <iostream>
#include <optional>
#include <string>

#include <fmt/format.h>

#include "app/engine_seams.h"
#include "app/headless_session.h"
#include "cli/cli_front_end.h"
#include "cli/commands.h"
#include "cli/rows_output.h"
#include "cli/scan_session.h"

namespace quenlow::cli {

namespace {

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
    CliFrontEnd front(TerminalEvents::stderr_is_terminal(), *choices, options.scan.quiet);
    PosixFileSystem files;
    int status = kExitOk;
    {
        HeadlessSession session(app, front, files, engine_seams(), interrupted);
        if (!session.open()) {
            front.finish();
            print_file_problem(options.scan.file);
            status = kExitFailed;
        } else {
            // An object is found by its item text, its "schema.name" or its name; a name that several
            // objects share shows none of them.
            const ItemLookup found = session.find_item(options.item, options.parent);
            if (!found.candidates.empty()) {
                front.finish();
                print_ambiguous(found.candidates, options.item);
                return kExitFailed;
            }
            if (found.item == kNoItem) {
                front.finish();
                fmt::print(stderr, "No tree item reads {}{}.\n", options.item,
                           options.parent ? " under " + *options.parent : std::string());
                status = kExitFailed;
            } else {
                session.click(found.item);
                const RecordListModel list = front.record_list();
                front.finish();
                std::string items;
                outline(session.frame().tree(), found.item, 0, items);
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
