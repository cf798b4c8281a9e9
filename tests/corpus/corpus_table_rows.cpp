#include "tests/corpus/corpus_table_rows.h"

#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <utility>

#include "app/collation_file.h"
#include "app/engine_seams.h"
#include "app/main_frame.h"
#include "app/table_display.h"
#include "tests/app/fake_front_end.h"

namespace quenlow::testing {

const ColumnDescriptor* CorpusTableRows::descriptor(const std::string& column) const {
    for (const ColumnDescriptor& d : descriptors)
        if (d.name == column) return &d;
    return nullptr;
}

int CorpusTableRows::column_index(const std::string& column) const {
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (columns[i] == column) return static_cast<int>(i);
    return -1;
}

namespace {

void append_rows(CorpusTableRows& table, const RecordListModel& list) {
    table.rows.insert(table.rows.end(), list.rows.begin(), list.rows.end());
    ++table.batches;
}

// The scan and the table clicks of `quenlow rows --all`, with the record list kept by a test front end.
CorpusFileRows read_file(const std::string& path, bool system_tables, ValueStyle style) {
    ApplicationState app;
    app.engine.collations = load_collation_file(QUENLOW_SHIPPED_COLLATION_FILE);
    test::FakeFrontEnd front;
    if (style == ValueStyle::kExport) front.null_cell_text = kExportNullCell;
    OpenChoices choices;
    choices.mdf_path = path;
    front.dialog_result = choices;
    PosixFileSystem files;
    MainFrameSeams seams = engine_seams();
    TableDisplaySettings settings;
    settings.decoder = table_page_decoder(style);
    settings.placeholders_in_first_batch = false;
    bind_table_display(seams, std::move(settings));
    MainFrame frame(app, front, files, std::move(seams));

    CorpusFileRows out;
    frame.on_open();
    frame.wait_for_worker();
    out.scanned = frame.catalog() != nullptr && !frame.tree().empty();
    out.sql2000_layout = app.engine.sql2000_layout.load();
    if (!out.scanned) return out;
    out.rowsets = frame.catalog()->rowsets;
    out.allocation_units = frame.catalog()->allocation_units;

    const TreeCategories& categories = frame.categories();
    for (TreeItemId item :
         frame.tree().children(system_tables ? categories.system_tables : categories.user_tables)) {
        CorpusTableRows table;
        // The table's own name, which the truth files use, also where the item reads "schema.name".
        const TreeObject* object = frame.tree().item_object(item);
        table.name = object ? object->name : frame.tree().item_text(item);
        table.bold = frame.tree().is_bold(item);
        front.clear_calls();
        frame.on_show_object(item);
        frame.wait_for_worker();
        RecordListModel list = front.record_list();
        if (const SystemCatalog* catalog = frame.catalog()) {
            table.descriptors = catalog->column_descriptors;
            table.object_id = catalog->current_object.object_id;
            table.rowset_row_count = catalog->current_rowset.row_count;
            table.offset_form = out.sql2000_layout || catalog->current_rowset_columns.empty();
        }
        table.columns = list.columns;
        append_rows(table, list);
        // A bound on the batches, so that a paging fault cannot loop for ever.
        while (list.next_enabled && table.batches < 100000) {
            front.clear_calls();
            if (!frame.on_next_records()) break;
            frame.wait_for_worker();
            list = front.record_list();
            append_rows(table, list);
        }
        out.tables.push_back(std::move(table));
    }
    return out;
}

}  // namespace

namespace {
const CorpusFileRows& cached_read(const std::string& path, bool system_tables,
                                  ValueStyle style = ValueStyle::kDisplay) {
    static std::mutex mutex;
    static std::map<std::tuple<std::string, bool, ValueStyle>, std::unique_ptr<CorpusFileRows>> read;
    std::lock_guard lock(mutex);
    std::unique_ptr<CorpusFileRows>& slot = read[{path, system_tables, style}];
    if (!slot) slot = std::make_unique<CorpusFileRows>(read_file(path, system_tables, style));
    return *slot;
}
}  // namespace

const CorpusFileRows& corpus_file_rows(const std::string& path) {
    return cached_read(path, false);
}

const CorpusFileRows& corpus_system_table_rows(const std::string& path) {
    return cached_read(path, true);
}

const CorpusFileRows& corpus_file_export_rows(const std::string& path) {
    return cached_read(path, false, ValueStyle::kExport);
}

}  // namespace quenlow::testing
