#include "app/export.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <atomic>
#include <exception>
#include <mutex>
#include <string_view>
#include <thread>
#include <utility>

#include "app/export_legacy_keys.h"
#include "app/export_pipeline.h"
#include "app/row_trust.h"
#include "engine/catalog/object_definitions.h"
#include "engine/values/row_decoder.h"

namespace quenlow {

namespace {


// The working lists of the object assembled last. An export assembles every table it reads; putting
// them back afterwards keeps the paging of the table on display working.
struct CatalogWorkingLists {
    explicit CatalogWorkingLists(const SystemCatalog& c)
        : allocation_unit(c.current_allocation_unit),
          rowset(c.current_rowset),
          columns(c.current_columns),
          legacy_columns(c.current_legacy_columns),
          physical_columns(c.current_physical_columns),
          column_links(c.current_column_links),
          constraints(c.current_constraints),
          indexes(c.current_indexes),
          rowsets(c.current_rowsets),
          allocation_units(c.current_allocation_units),
          rowset_columns(c.current_rowset_columns),
          data_pages(c.current_data_pages),
          pages(c.current_pages),
          is_table(c.current_object_is_table),
          first_stored(c.first_stored_column),
          descriptors(c.column_descriptors),
          object(c.current_object) {}

    void restore(SystemCatalog& c) {
        c.current_allocation_unit = std::move(allocation_unit);
        c.current_rowset = std::move(rowset);
        c.current_columns = std::move(columns);
        c.current_legacy_columns = std::move(legacy_columns);
        c.current_physical_columns = std::move(physical_columns);
        c.current_column_links = std::move(column_links);
        c.current_constraints = std::move(constraints);
        c.current_indexes = std::move(indexes);
        c.current_rowsets = std::move(rowsets);
        c.current_allocation_units = std::move(allocation_units);
        c.current_rowset_columns = std::move(rowset_columns);
        c.current_data_pages = std::move(data_pages);
        c.current_pages = std::move(pages);
        c.current_object_is_table = is_table;
        c.first_stored_column = first_stored;
        c.column_descriptors = std::move(descriptors);
        c.current_object = std::move(object);
    }

    AllocationUnitRow allocation_unit;
    RowsetRow rowset;
    std::vector<ColumnParamRow> columns;
    std::vector<LegacyColumnRow> legacy_columns;
    std::vector<HobtColumnRow> physical_columns;
    std::vector<RowsetColumnLinkRow> column_links;
    std::vector<ConstraintEntry> constraints;
    std::vector<IndexStatRow> indexes;
    std::vector<RowsetRow> rowsets;
    std::vector<AllocationUnitRow> allocation_units;
    std::vector<RowsetColumnRow> rowset_columns;
    std::vector<PageAddress> data_pages;
    TablePages pages;
    bool is_table;
    std::int32_t first_stored;
    std::vector<ColumnDescriptor> descriptors;
    SchemaObjectRow object;
};

// The row count the catalog records for the table: the sum over the partitions of its rowset's index.
std::optional<std::int64_t> catalog_row_count(const SystemCatalog& catalog) {
    std::optional<std::int64_t> total;
    for (const RowsetRow& r : catalog.current_rowsets) {
        if (r.index_id != catalog.current_rowset.index_id || r.row_count < 0) continue;
        total = total.value_or(0) + r.row_count;
    }
    if (!total && catalog.current_rowset.row_count >= 0) total = catalog.current_rowset.row_count;
    return total;
}

void add_objects_under(const ObjectTree& tree, TreeItemId category, std::vector<TreeItemId>& out) {
    if (category == kNoItem) return;
    for (TreeItemId item : tree.children(category))
        if (tree.item_object(item) != nullptr) out.push_back(item);
}

class Exporter {
public:
    Exporter(MainFrame& frame, ExportTarget& target, const ExportSettings& settings)
        : frame_(frame), target_(target), settings_(settings) {}

    ExportReport run(const ExportSelection& selection);

private:
    bool stop_now() {
        if (settings_.stop_requested && settings_.stop_requested()) frame_.app().engine.stop.store(true);
        return frame_.app().engine.stop_requested();
    }
    bool fail() {
        report_.error = target_.error();
        return false;
    }
    // False when the export ends here (a Stop or a failure).
    bool export_table(SystemCatalog& catalog, TreeItemId item);
    bool export_definition(TreeItemId item);
    bool write_pages(SystemCatalog& catalog, const std::vector<PageAddress>& pages, TableReport& table,
                     const PageRowDecoder& decode, const std::vector<std::size_t>& columns);
    struct PageRun;
    void decode_pages(PageRun& run, const PageRowDecoder& decode, std::vector<ColumnDescriptor> schema);
    bool write_page_rows(PageRows& page, TableReport& table);
    bool write_other_rows(PageRows& page, TableReport& table);
    bool flush_other_rows(TableReport& table);

    MainFrame& frame_;
    ExportTarget& target_;
    const ExportSettings& settings_;
    ExportReport report_;
    CellRows block_;
    // Rows that are not live rows, one block per origin other than live (deleted, found by body scan).
    std::array<CellRows, kOtherOrigins> other_blocks_;
    std::optional<LegacyKeys> legacy_keys_;  // SQL Server 2000 files
};

ExportReport Exporter::run(const ExportSelection& selection) {
    report_.target = target_.kind();
    report_.output = target_.output();
    report_.source = frame_.selected_mdf_path();
    ApplicationState& app = frame_.app();
    SystemCatalog* catalog = frame_.catalog();
    FrontEnd& front = frame_.front();
    front.show_progress(true);
    frame_.add_log_line(fmt::format("Exporting to {} ({})..........", report_.output, report_.target));

    bool going_on = true;
    if (catalog != nullptr) {
        CatalogWorkingLists saved(*catalog);
        if (app.engine.sql2000_layout.load() && !selection.tables.empty())
            legacy_keys_ = read_legacy_keys(frame_, *catalog, settings_.decoder);
        for (TreeItemId item : selection.tables)
            if (going_on) going_on = export_table(*catalog, item);
        saved.restore(*catalog);
    }
    if (settings_.definitions) {
        // In the order the objects were made (object ids grow as objects are created), so that a view
        // comes after the views and functions it reads, as it came in the database.
        std::vector<TreeItemId> objects = selection.objects;
        const ObjectTree& tree = frame_.tree();
        std::stable_sort(objects.begin(), objects.end(), [&](TreeItemId a, TreeItemId b) {
            const TreeObject* x = tree.item_object(a);
            const TreeObject* y = tree.item_object(b);
            return (x ? x->object_id : -1) < (y ? y->object_id : -1);
        });
        for (TreeItemId item : objects)
            if (going_on) going_on = export_definition(item);
    }
    if (report_.error.empty() && !target_.finish()) fail();

    std::int64_t rows = 0;
    for (const TableReport& t : report_.tables) rows += t.rows_exported;
    if (!report_.error.empty())
        frame_.add_log_line(fmt::format("Export failed: {}", report_.error));
    else if (report_.stopped)
        frame_.add_log_line(fmt::format("Export stopped at {}; {} rows exported.", report_.stopped_at, rows));
    else
        frame_.add_log_line(fmt::format("Export done: {} tables, {} rows, {} definitions.",
                                        report_.tables.size(), rows, report_.objects.size()));
    if (!target_.write_report(report_json(report_)) && report_.error.empty()) {
        report_.error = target_.error();
        frame_.add_log_line(fmt::format("Export failed: {}", report_.error));
    }
    front.show_progress(false);
    app.engine.stop.store(false);
    app.running.store(0);
    return std::move(report_);
}

bool Exporter::export_table(SystemCatalog& catalog, TreeItemId item) {
    const TreeObject* object = frame_.tree().item_object(item);
    if (object == nullptr) return true;
    TableReport& table = report_.tables.emplace_back();
    table.schema = object->schema;
    table.name = object->name;
    table.object_id = object->object_id;
    const std::string qualified = qualified_name(*object);
    if (stop_now()) {
        report_.tables.pop_back();
        report_.stopped = true;
        report_.stopped_at = fmt::format("table {}, before its first page", qualified);
        return false;
    }
    frame_.add_log_line(fmt::format("Exporting {}..........", qualified));

    catalog.column_descriptors.clear();
    if (frame_.seams().assemble)
        catalog.column_descriptors = frame_.seams().assemble(
            catalog, ObjectQuery{object->name, object->type, object->object_id}, frame_.definitions().scan);
    const std::vector<std::size_t> columns = exported_columns(
        catalog.column_descriptors, static_cast<std::size_t>(std::max(0, catalog.first_stored_column)));
    if (!catalog.current_object_is_table || columns.empty()) {
        table.note = "the catalog gives it no columns";
        table.complete = true;
        frame_.add_log_line(fmt::format("{}: not exported, the catalog gives it no columns.", qualified));
        return true;
    }
    table.catalog_rows = catalog_row_count(catalog);
    table.columns = static_cast<std::int64_t>(columns.size());

    ExportTable shape = export_table_shape(catalog, columns, frame_.definitions().scan);
    shape.name = {object->schema, object->name};  // as the tree names it
    if (legacy_keys_) add_legacy_keys(catalog, *legacy_keys_, object->object_id, shape);
    if (!target_.begin_table(shape)) return fail();
    table.destination = target_.table_destination();

    block_.width = columns.size();
    block_.rows = 0;
    block_.cells.resize(block_.width * std::max<std::size_t>(1, settings_.batch_rows));
    for (CellRows& other : other_blocks_) {
        other.width = columns.size();
        other.rows = 0;
    }
    const PageRowDecoder decode =
        settings_.decoder ? settings_.decoder(catalog.database(), catalog, false) : PageRowDecoder{};
    bool failed = false;
    walk_table_page_lists(catalog.database(), catalog, frame_.advanced(),
                          [&](PageSource, std::vector<PageAddress> pages) {
                              if (!write_pages(catalog, pages, table, decode, columns)) failed = true;
                              // A Stop or a failure ends the routes too.
                              return failed || report_.stopped || table.rows_exported > 0;
                          },
                          [&](const ChainBreak& broken) {
                              table.chain_broken_at = fmt::format("{}:{}", broken.at.file_id, broken.at.page_id);
                              table.pages_past_chain_break += static_cast<std::int64_t>(broken.pages_added);
                              frame_.add_log_line(chain_break_text(qualified, broken));
                          });
    if (failed) return false;
    if (block_.rows > 0 && !target_.write_rows(block_)) return fail();
    block_.rows = 0;
    if (!flush_other_rows(table)) return fail();
    table.complete = !report_.stopped;
    if (!target_.end_table(table.complete)) return fail();
    frame_.add_log_line(
        fmt::format("{}: {} rows exported to {}", qualified, table.rows_exported, table.destination));
    for (const TableReport::OtherRows& other : table.other_rows)
        frame_.add_log_line(fmt::format("{}: {} rows, {}, kept apart in {}", qualified, other.rows,
                                        row_origin_label(other.origin), other.destination));
    if (const LeftOutRows left_out{table.stale_copies, table.rejected_candidates}; left_out.any())
        frame_.add_log_line(fmt::format("{}: {}", qualified, left_out_text(left_out)));
    return !report_.stopped;
}

// What the decoding workers of write_pages share: the page list and its slots, the columns a row's cells
// come from, and the first failure of a worker (rethrown on the export's thread).
struct Exporter::PageRun {
    PageRun(const std::vector<PageAddress>& list, const std::vector<std::size_t>& cell_columns,
            RowEncoder row_encoder, std::size_t slot_count, std::size_t pages_per_claim)
        : pages(list),
          columns(cell_columns),
          encoder(std::move(row_encoder)),
          slots(slot_count, list.size(), pages_per_claim) {}

    const std::vector<PageAddress>& pages;
    const std::vector<std::size_t>& columns;
    const RowEncoder encoder;  // the target's, or none: the rows go as cells
    PageSlots slots;
    std::mutex failure_mutex;
    std::exception_ptr failure;
};

// Runs of pages decoded at a time: one per worker, with room for each to start the next run while the
// writer catches up.
constexpr std::size_t kDecodeWorkers = 2;
constexpr std::size_t kPageSlots = 4 * kDecodeWorkers;
// How often the export's thread moves the progress bar when no page comes.
constexpr std::chrono::milliseconds kProgressInterval{100};

// The page list on several threads (export_pipeline.h): workers decode runs of pages, each with a decoder
// of its own, while this thread takes each run's rows in list order (a target's encoded bytes are
// written as they come; cells are moved into block_ and every full block written), counts the pages and
// reports progress. A block short of full stays in block_ for export_table.
bool Exporter::write_pages(SystemCatalog& catalog, const std::vector<PageAddress>& pages, TableReport& table,
                           const PageRowDecoder& decode, const std::vector<std::size_t>& columns) {
    FrontEnd& front = frame_.front();
    const auto count = static_cast<std::int64_t>(pages.size());
    table.pages_listed = count;
    table.pages_with_rows = 0;
    table.pages_skipped = 0;
    front.progress_range(0, count);
    PageRun run(pages, columns, target_.row_encoder(), kPageSlots, settings_.pages_per_claim);
    std::vector<PageRowDecoder> decoders = {decode};
    while (decoders.size() < kDecodeWorkers && decode && settings_.decoder)
        decoders.push_back(settings_.decoder(catalog.database(), catalog, false));
    // Rows that are not live rows can come: a survey of the pages settles which of them are copies or
    // misshapen records, the same for every worker.
    if (decode && (frame_.advanced() || catalog.database().options().show_deleted)) {
        const auto trust = RowTrust::survey(catalog.database(), catalog, pages, frame_.advanced());
        for (PageRowDecoder& d : decoders) d.set_trust(trust);
    }
    std::vector<std::thread> workers;
    const auto join = [&] {
        run.slots.cancel();
        for (std::thread& worker : workers) worker.join();
        workers.clear();
    };
    bool written = true;
    try {
        for (const PageRowDecoder& d : decoders)
            workers.emplace_back(&Exporter::decode_pages, this, std::ref(run), std::cref(d),
                                 catalog.column_descriptors);
        std::int64_t done = 0;
        while (written && !run.slots.ended()) {
            PageRows* page = run.slots.next(kProgressInterval);
            if (page == nullptr) continue;
            table.pages_with_rows += static_cast<std::int64_t>(page->pages_with_rows);
            table.pages_skipped += static_cast<std::int64_t>(page->pages - page->pages_with_rows);
            add_page_damage(page->damage, table);
            if (run.encoder) {
                table.rows_exported += static_cast<std::int64_t>(page->rows);
                written = page->rows == 0 || target_.write_encoded(page->bytes, page->rows);
            } else {
                written = write_page_rows(*page, table);
            }
            written = written && write_other_rows(*page, table);
            done += static_cast<std::int64_t>(page->pages);
            run.slots.release();
            front.progress_position(done);
        }
    } catch (...) {
        join();
        throw;
    }
    join();
    for (const PageRowDecoder& d : decoders) {
        const LeftOutRows left_out = d.take_left_out();
        table.stale_copies += left_out.stale_copies;
        table.rejected_candidates += left_out.rejected;
    }
    if (run.failure) std::rethrow_exception(run.failure);
    if (!written) return fail();
    if (const std::optional<std::size_t> stopped = run.slots.stopped_before()) {
        report_.stopped = true;
        report_.stopped_at =
            fmt::format("table {}.{}, page {} of {}", table.schema, table.name, *stopped + 1, count);
    }
    return true;
}

// Moves a run's rows into block_ (the cells trade places, so both keep their buffers), writing each block
// that fills up; false when the target failed.
bool Exporter::write_page_rows(PageRows& page, TableReport& table) {
    const std::size_t width = block_.width;
    const std::size_t batch = block_.cells.size() / width;
    for (std::size_t r = 0; r < page.rows; ++r) {
        Cell* from = page.cells.data() + r * width;
        Cell* to = block_.cells.data() + block_.rows * width;
        for (std::size_t i = 0; i < width; ++i) std::swap(from[i], to[i]);
        ++table.rows_exported;
        if (++block_.rows < batch) continue;
        if (!target_.write_rows(block_)) return false;
        block_.rows = 0;
    }
    return true;
}

// Moves a run's rows that are not live rows into the block of their origin, writing each block that
// fills up; false when the target failed.
bool Exporter::write_other_rows(PageRows& page, TableReport& table) {
    const std::size_t width = block_.width;
    const std::size_t batch = std::max<std::size_t>(1, settings_.batch_rows);
    for (std::size_t r = 0; r < page.other_origins.size(); ++r) {
        const RowOrigin origin = page.other_origins[r];
        CellRows& block = other_blocks_[other_origin_index(origin)];
        if (block.cells.size() < (block.rows + 1) * width) block.cells.resize(batch * width);
        Cell* from = page.other_cells.data() + r * width;
        Cell* to = block.cells.data() + block.rows * width;
        for (std::size_t i = 0; i < width; ++i) std::swap(from[i], to[i]);
        auto counted = std::find_if(table.other_rows.begin(), table.other_rows.end(),
                                    [&](const TableReport::OtherRows& o) { return o.origin == origin; });
        if (counted == table.other_rows.end()) counted = table.other_rows.insert(counted, {origin, 0, {}});
        ++counted->rows;
        if (++block.rows < batch) continue;
        if (!target_.write_other_rows(block, origin)) return false;
        block.rows = 0;
    }
    return true;
}

// Writes what the blocks of rows that are not live rows still hold, and notes where they went.
bool Exporter::flush_other_rows(TableReport& table) {
    for (std::size_t k = 0; k < other_blocks_.size(); ++k) {
        CellRows& block = other_blocks_[k];
        const RowOrigin origin = other_origin_at(k);
        if (block.rows > 0 && !target_.write_other_rows(block, origin)) return false;
        block.rows = 0;
    }
    for (TableReport::OtherRows& other : table.other_rows) other.destination = target_.other_destination(other.origin);
    return true;
}

// A worker of write_pages: claims runs of pages in list order (the claim asks for a Stop first) and
// decodes them into their slot until no page is left, a Stop came, or the writer cancelled.
void Exporter::decode_pages(PageRun& run, const PageRowDecoder& decode,
                            std::vector<ColumnDescriptor> schema) {
    try {
        const std::function<bool()> stop = [this] { return stop_now(); };
        const std::size_t width = run.columns.size();
        while (const std::optional<PageSlots::Claim> claim = run.slots.claim(stop)) {
            PageRows& out = *claim->rows;
            for (std::size_t p = claim->page; p < claim->page + claim->count; ++p) {
                const std::size_t before = out.rows + out.other_origins.size();
                const PageAddress address = run.pages[p];
                if (decode) {
                    decode.each_row(address, schema, [&](const DecodedRow& row) {
                        if (row.empty()) return true;
                        const RowFacts facts = decode.row_facts();
                        if (facts.damaged) note_damaged_values(row, run.columns, address, out.damage);
                        if (const RowOrigin origin = facts.origin; origin != RowOrigin::kLive) {
                            row_cells(row, run.columns, out.add_other_row(width, origin));
                        } else if (run.encoder) {
                            run.encoder(row, run.columns, out.bytes);
                            ++out.rows;
                        } else {
                            row_cells(row, run.columns, out.add_row(width));
                        }
                        return true;
                    });
                }
                ++out.pages;
                if (out.rows + out.other_origins.size() > before) ++out.pages_with_rows;
            }
            run.slots.done(*claim);
        }
    } catch (...) {
        const std::lock_guard lock(run.failure_mutex);
        if (!run.failure) run.failure = std::current_exception();
        run.slots.cancel();
    }
}

bool Exporter::export_definition(TreeItemId item) {
    const TreeObject* object = frame_.tree().item_object(item);
    if (object == nullptr) return true;
    if (stop_now()) {
        report_.stopped = true;
        report_.stopped_at = fmt::format("definition of {}", qualified_name(*object));
        return false;
    }
    const std::string text = definition_text(frame_.definitions().scan, fmt::format("{}", object->object_id));
    report_.objects.push_back({object->schema, object->name, object->type, object->object_id, !text.empty()});
    if (text.empty()) return true;
    return target_.definition(object->schema, object->name, object->type, text) || fail();
}

}  // namespace

std::vector<std::size_t> exported_columns(const std::vector<ColumnDescriptor>& descriptors,
                                          std::size_t first_stored) {
    std::vector<std::size_t> out;
    if (first_stored >= descriptors.size()) return out;
    out.push_back(first_stored);
    for (std::size_t i = first_stored + 1; i < descriptors.size(); ++i)
        if (descriptors[i].physical_column_id != kNotStored) out.push_back(i);
    return out;
}

void row_cells(const DecodedRow& row, const std::vector<std::size_t>& columns, Cell* out) {
    for (std::size_t i = 0; i < columns.size(); ++i, ++out) {
        if (columns[i] >= row.size()) {
            out->reset();
            continue;
        }
        const ColumnDescriptor& value = row[columns[i]];
        if (value.value_null || value.value_damaged)
            out->reset();
        else
            *out = value.value_text;  // an engaged cell keeps its buffer
    }
}

void note_damaged_values(const DecodedRow& row, const std::vector<std::size_t>& columns, PageAddress page,
                         PageDamage& out) {
    for (const std::size_t c : columns) {
        if (c >= row.size() || !row[c].value_damaged) continue;
        const ColumnDescriptor& value = row[c];
        if (out.listed.size() < kListedDamagedValues)
            out.listed.push_back({page, value.damage_slot, value.name, value.damage_reason});
        ++out.count;
    }
}

void add_page_damage(PageDamage& page, TableReport& table) {
    table.damaged_values += page.count;
    for (DamagedValue& d : page.listed) {
        if (table.damaged.size() >= kListedDamagedValues) break;
        table.damaged.push_back(std::move(d));
    }
    page.clear();
}

ExportSelection everything(const MainFrame& frame) {
    const ObjectTree& tree = frame.tree();
    const TreeCategories& c = frame.categories();
    ExportSelection s;
    add_objects_under(tree, c.user_tables, s.tables);
    for (TreeItemId category : {c.views, c.store_procedure, c.function, c.triggers, c.default_item})
        add_objects_under(tree, category, s.objects);
    return s;
}

ExportSelection selection_from_checks(MainFrame& frame) {
    const ObjectTree& tree = frame.tree();
    const TreeCategories& c = frame.categories();
    const TreeCheckMarks& marks = frame.check_marks();
    ExportSelection s;
    auto checked_under = [&](TreeItemId category, std::vector<TreeItemId>& out) {
        if (category == kNoItem) return;
        for (TreeItemId item : tree.children(category))
            if (tree.item_object(item) != nullptr && marks.mark(item) == CheckMark::kChecked)
                out.push_back(item);
    };
    checked_under(c.user_tables, s.tables);
    checked_under(c.system_tables, s.tables);
    for (TreeItemId category : {c.views, c.store_procedure, c.function, c.triggers, c.default_item})
        checked_under(category, s.objects);
    if (s.tables.empty() && s.objects.empty()) return everything(frame);
    return s;
}

ExportReport export_selection(MainFrame& frame, const ExportSelection& selection, ExportTarget& target,
                              const ExportSettings& settings) {
    return Exporter(frame, target, settings).run(selection);
}

std::string report_json(const ExportReport& report) {
    nlohmann::ordered_json j;
    j["source"] = report.source;
    j["target"] = report.target;
    j["output"] = report.output;
    j["complete"] = report.complete();
    j["stopped"] = report.stopped ? nlohmann::ordered_json(report.stopped_at) : nlohmann::ordered_json();
    j["error"] = report.error.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(report.error);
    auto& tables = j["tables"] = nlohmann::ordered_json::array();
    for (const TableReport& t : report.tables) {
        nlohmann::ordered_json e;
        e["schema"] = t.schema;
        e["name"] = t.name;
        e["object_id"] = t.object_id;
        e["exported_to"] = t.destination;
        e["catalog_rows"] =
            t.catalog_rows ? nlohmann::ordered_json(*t.catalog_rows) : nlohmann::ordered_json();
        e["rows_exported"] = t.rows_exported;
        e["columns"] = t.columns;
        e["data_pages_listed"] = t.pages_listed;
        e["data_pages_read"] = t.pages_with_rows;
        e["pages_skipped"] = t.pages_skipped;
        if (!t.chain_broken_at.empty())
            e["page_chain_break"] = {{"at", t.chain_broken_at}, {"pages_read_past_it", t.pages_past_chain_break}};
        e["complete"] = t.complete;
        if (!t.note.empty()) e["note"] = t.note;
        if (!t.other_rows.empty()) {
            auto& other = e["rows_not_live"] = nlohmann::ordered_json::array();
            for (const TableReport::OtherRows& o : t.other_rows)
                other.push_back({{"origin", row_origin_label(o.origin)}, {"rows", o.rows}, {"exported_to", o.destination}});
        }
        if (t.stale_copies > 0 || t.rejected_candidates > 0)
            e["rows_left_out"] = {{"stale_copies", t.stale_copies}, {"rejected_candidates", t.rejected_candidates}};
        e["damaged_values"] = t.damaged_values;
        auto& damaged = e["damaged"] = nlohmann::ordered_json::array();
        for (const DamagedValue& d : t.damaged) {
            nlohmann::ordered_json v;
            v["page"] = fmt::format("{}:{}", d.page.file_id, d.page.page_id);
            v["slot"] = d.slot;
            v["column"] = d.column;
            if (d.reason != ValueDamage::kNone) v["reason"] = value_damage_text(d.reason);
            damaged.push_back(std::move(v));
        }
        tables.push_back(std::move(e));
    }
    auto& objects = j["objects"] = nlohmann::ordered_json::array();
    for (const ObjectReport& o : report.objects)
        objects.push_back({{"schema", o.schema},
                           {"name", o.name},
                           {"type", o.type},
                           {"object_id", o.object_id},
                           {"definition_found", o.definition_found}});
    // Texts from the file may hold bytes that are not UTF-8; they are replaced, not refused.
    return j.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace quenlow
