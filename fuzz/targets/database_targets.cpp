// Targets over whole file images: the catalog readers with the schema assembly over them, and the whole
// program's path through a file (scan, tree, every table's rows, every definition) as a user drives it.

#include <cstdint>
#include <string>
#include <vector>

#include "app/engine_seams.h"
#include "app/headless_session.h"
#include "engine/catalog/schema_assembly.h"
#include "engine/catalog/system_catalog.h"
#include "engine/pages/file_reader.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/fuzz_targets.h"
#include "tests/app/fake_front_end.h"

namespace quenlow::fuzz {

namespace {

// Objects assembled per input: enough for every object of a small catalog, few enough to keep each run
// short when a damaged catalog lists thousands.
constexpr std::size_t kMaxAssembled = 48;

// Every item under the category items, depth first; tables are bold and clicking one shows its rows,
// clicking a module shows its definition.
void collect(const ObjectTree& tree, TreeItemId parent, std::vector<TreeItemId>& out) {
    for (TreeItemId child : tree.children(parent)) {
        if (tree.item_object(child) != nullptr) out.push_back(child);
        collect(tree, child, out);
    }
}

}  // namespace

int catalog(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::uint8_t bits = input.byte();
    FuzzDatabase db(input.pages(64), bits);
    if (db.get() == nullptr) return 0;
    std::unique_ptr<SystemCatalog> built = build_catalog(*db.get());
    if (!built) return 0;
    SystemCatalog& catalog = *built;
    const std::vector<SchemaObjectRow> objects = catalog.objects;
    std::size_t assembled = 0;
    for (const SchemaObjectRow& object : objects) {
        if (object.type != "U " && object.type != "S " && object.type != "V ") continue;
        if (++assembled > kMaxAssembled) break;
        (void)assemble_object(catalog, object, {});
        (void)find_children(catalog, object);
    }
    assemble_foreign_keys(catalog);
    return 0;
}

int whole_database(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::uint8_t bits = input.byte();
    static constexpr const char* kPath = "/fuzz/input.mdf";
    MemoryFileSystem files;
    files.add_file(kPath, input.bytes(input.remaining()));

    ApplicationState app;
    test::FakeFrontEnd front;
    OpenChoices choices;
    choices.mdf_path = kPath;
    const ReadOptions options = read_options_from(bits);
    choices.recovery_mode = options.advanced ? RecoveryMode::kAdvanced : RecoveryMode::kStandard;
    choices.show_deleted = options.show_deleted;
    choices.show_advanced_deleted = options.show_advanced_deleted;
    choices.keep_every_candidate = options.keep_every_candidate;
    choices.is_sql2000 = (bits & 0x10) != 0;
    front.dialog_result = choices;
    HeadlessSession session(app, front, files, engine_seams());
    if (!session.open()) return 0;

    std::vector<TreeItemId> items;
    collect(session.frame().tree(), kNoItem, items);
    if (items.size() > kMaxAssembled) items.resize(kMaxAssembled);
    for (TreeItemId item : items) {
        if (!session.click(item)) continue;
        // Every batch of the table; a batch count past the pages a small file can hold means a loop.
        for (int batch = 0; batch < 64 && front.record_list().next_enabled; ++batch) session.next();
        front.clear_calls();
    }
    return 0;
}

}  // namespace quenlow::fuzz
