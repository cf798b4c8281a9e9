#include "app/record_batches.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <set>
#include <utility>

#include "engine/pages/allocation_map.h"

namespace quenlow {

namespace {

std::uint64_t page_count_of(const OpenedDatabase& database, std::uint16_t file_id) {
    if (file_id == 0 || file_id == kPrimaryFileId) return database.primary().page_count;
    const auto& secondary = database.secondary_files();
    const auto it = secondary.find(file_id);
    return it == secondary.end() ? 0 : it->second.file.page_count;
}

// At least 1 and below the page count of its file; file id 0 stands for the primary file.
bool valid_page(const OpenedDatabase& database, PageAddress address) {
    return address.page_id >= 1 &&
           static_cast<std::uint64_t>(address.page_id) < page_count_of(database, address.file_id);
}

PageAddress primary_when_zero(PageAddress address) {
    if (address.file_id == 0) address.file_id = kPrimaryFileId;
    return address;
}

std::string rows_to_text(std::int64_t from, std::int64_t to) {
    return fmt::format("{} rows to {}", from, to);
}

std::string batch_label(std::int64_t page, std::int64_t rows, std::int64_t first, std::int64_t last) {
    return fmt::format("{}{} - [{}]({}-{}) Records", "Page", page, rows, first, last);
}

}  // namespace

PageRowDecoder PageRowDecoder::streaming(RowStream stream) {
    PageRowDecoder decoder;
    decoder.stream_ = std::move(stream);
    return decoder;
}

void PageRowDecoder::set_trust(std::shared_ptr<const RowTrust> trust) {
    trust_ = std::move(trust);
    judged_ = trust_ ? std::make_shared<Judged>() : nullptr;
}

LeftOutRows PageRowDecoder::take_left_out() const {
    if (!judged_) return {};
    return std::exchange(judged_->left_out, {});
}

std::vector<DecodedRow> PageRowDecoder::operator()(PageAddress address,
                                                   std::vector<ColumnDescriptor>& descriptors) const {
    if (lists_ && !trust_) return lists_(address, descriptors);
    std::vector<DecodedRow> rows;
    each_row(address, descriptors, [&rows](const DecodedRow& row) {
        rows.push_back(row);
        return true;
    });
    return rows;
}

void PageRowDecoder::each_row(PageAddress address, std::vector<ColumnDescriptor>& descriptors,
                              const PageRowVisitor& visit) const {
    if (trust_) {
        const bool stale = trust_->page_stale(address);
        const PageRowVisitor judged = [&](const DecodedRow& row) {
            RowFacts facts = facts_ ? facts_() : RowFacts{};
            if (stale) facts.origin = RowOrigin::kStalePage;
            switch (trust_->judge(address, facts, row)) {
                case RowTrust::Verdict::kStaleCopy:
                    ++judged_->left_out.stale_copies;
                    return true;
                case RowTrust::Verdict::kRejected:
                    ++judged_->left_out.rejected;
                    return true;
                case RowTrust::Verdict::kShow:
                    break;
            }
            judged_->facts = facts;
            return visit(row);
        };
        return each_row_unjudged(address, descriptors, judged);
    }
    each_row_unjudged(address, descriptors, visit);
}

void PageRowDecoder::each_row_unjudged(PageAddress address, std::vector<ColumnDescriptor>& descriptors,
                                       const PageRowVisitor& visit) const {
    if (stream_) return stream_(address, descriptors, visit);
    if (!lists_) return;
    for (const DecodedRow& row : lists_(address, descriptors))
        if (!visit(row)) return;
}

PageRowDecoderFactory data_page_stream_decoder(RecordPageStream decode) {
    return [decode = std::move(decode)](OpenedDatabase& database, SystemCatalog& catalog, bool) {
        // The bytes of the page decoded last, read into again for the next page.
        auto spare = std::make_shared<PageBuffer>();
        return PageRowDecoder::streaming([decode, &database, &catalog, spare](
                                             PageAddress address, std::vector<ColumnDescriptor>& descriptors,
                                             const PageRowVisitor& visit) {
            if (!decode) return;
            auto page = read_data_page(database, address, std::move(*spare));
            if (!page) return;
            // Only the table's own data pages give its rows, whichever route listed them.
            if (page->header().page_type == kPageTypeData && catalog.current_pages.owns(page->header())) {
                const bool layout_form =
                    !database.state().sql2000_layout.load() && !catalog.current_rowset_columns.empty();
                decode(*page, descriptors, layout_form, visit);
                if (database.options().show_advanced_deleted) page->release_scan_candidates();
            }
            *spare = page->take_buffer();
        });
    };
}

PageRowDecoderFactory data_page_decoder(RecordPageDecoder decode) {
    if (!decode) return data_page_stream_decoder({});
    return data_page_stream_decoder([decode = std::move(decode)](const PrimaryRecordPage& page,
                                                                 std::vector<ColumnDescriptor>& descriptors,
                                                                 bool layout_form,
                                                                 const PageRowVisitor& visit) {
        for (const DecodedRow& row : decode(page, descriptors, layout_form))
            if (!visit(row)) return;
    });
}

// One batch on its way into the list.
struct RecordBatches::Run {
    const BatchContext& context;
    PageRowDecoder decode;
    // The current table schema: the row buffer handed to the decoder.
    std::vector<ColumnDescriptor> schema;
    // A batch of Next or Previous: the row texts also go to the log file, the progress moves per row,
    // and a cleared running flag ends the batch too.
    bool follow_up = false;
    // A full batch pushes its end as a new resume point (Previous finds it there already).
    bool push_resume_points = true;
    std::int64_t pages_done = 0;
    // The rows not yet handed to the front end, and the list index of the first of them.
    RowBlock block{};
    int block_start = 0;
    // The page whose progress was reported last; -1: none yet.
    std::int64_t reported_page = -1;
    // Each row starts with its state (live, deleted, ...).
    bool states = false;
};

bool shows_row_states(const BatchContext& context) {
    return context.advanced || context.database.options().show_deleted;
}

RecordBatches::RecordBatches(PageRowDecoderFactory decoder) : decoder_(std::move(decoder)) {}

void RecordBatches::reset() {
    page_list_.clear();
    resume_points_.clear();
    current_ = {};
    shown_batch_ = 0;
    row_counter_ = 0;
    list_rows_ = 0;
    range_start_ = 0;
    range_end_ = 0;
    sources_.clear();
}

// ---- the first batch ----

bool RecordBatches::load_table_rows(const BatchContext& context, bool rows_loading) {
    EngineState& state = context.database.state();
    first_load_rows_loading_ = rows_loading;
    reset();
    // Told after the rows: the row counter overwrites the last log line while they come.
    std::vector<std::string> breaks;
    const bool any = walk_table_page_lists(
        context.database, context.catalog, context.advanced,
        [this, &context](PageSource source, std::vector<PageAddress> pages) {
            sources_.push_back(source);
            return run_batch_loader(context, std::move(pages));
        },
        [&context, &breaks](const ChainBreak& broken) {
            breaks.push_back(chain_break_text(context.catalog.current_object.name, broken));
        });
    if (context.add_log_line)
        for (const std::string& line : breaks) context.add_log_line(line);
    if (state.stop_requested()) state.stop.store(false);
    return any;
}

namespace {

// The routes; each hands its page list to the run and answers what the run answered.
class PageRoutes {
public:
    PageRoutes(OpenedDatabase& database, SystemCatalog& catalog, const PageListRun& run,
               const ChainBreakNote& broken)
        : database_(database), catalog_(catalog), run_(run), broken_(broken) {}

    bool current_data_pages() const {
        std::vector<PageAddress> pages;
        for (const PageAddress& a : catalog_.current_data_pages)
            if (a.file_id != 0 && a.page_id != 0) pages.push_back(a);
        return run_(PageSource::kCurrentDataPages, std::move(pages));
    }

    bool legacy() const {
        const std::int32_t object_id = catalog_.current_object.object_id;
        const auto& index_map = catalog_.legacy_index_map;
        if (const auto it = index_map.find(object_id);
            it != index_map.end() && it->second.object_id == object_id) {
            // The entry keeps the file id of the page it was read from in the low half of its packed word.
            const PageAddress first{static_cast<std::uint16_t>(it->second.file_and_index & 0xFFFFu),
                                    static_cast<std::int32_t>(it->second.first_page)};
            return run_(PageSource::kLegacyIndexChain,
                        completed(walk_data_page_chain(database_, first, &catalog_.current_pages), first));
        }
        const std::vector<PageMapEntry> iam_pages =
            UnitPages::of_object(object_id).entries(database_.iam_pages());
        if (iam_pages.empty()) return false;
        const PageMapEntry& first_iam = iam_pages.front();
        if (first_iam.page_index == 0 || first_iam.page_index >= page_count_of(database_, first_iam.file_id))
            return false;
        return run_(PageSource::kLegacyIamPages,
                    walk_iam_chain(database_, first_iam.address(), iam_pages, &catalog_.current_pages));
    }

    bool by_allocation_unit() const {
        const AllocationUnitRow& unit = catalog_.current_allocation_unit;
        const PageAddress first = unit.first_page;
        const PageAddress iam = unit.first_iam_page;
        if (iam.page_id <= 0) return current_data_pages();
        const bool first_valid = valid_page(database_, first);
        const bool iam_valid = valid_page(database_, iam);

        if (catalog_.current_rowset.index_id != 0) {
            // An index orders the data: its leaf pages form a chain that starts at a page of the table
            // without a previous page.
            if (first_valid) {
                const auto header = database_.read_page_header(primary_when_zero(first));
                if (header && header->page_type == kPageTypeData && header->prev_page.page_id == 0 &&
                    catalog_.current_pages.owns(*header)) {
                    if (header_chain(first)) return true;
                }
            }
            return iam_valid && iam_chain(iam);
        }
        if (!iam_valid) return header_chain(first);
        if (iam_chain(iam)) return true;
        return first_valid && header_chain(first);
    }

private:
    bool iam_chain(PageAddress iam) const {
        IamWalkEnd end;
        std::vector<PageAddress> pages =
            walk_iam_chain(database_, primary_when_zero(iam), {}, &catalog_.current_pages, &end);
        if (end.broken_at.page_id != 0 && !database_.state().stop_requested())
            pages = completed_iam(std::move(pages), end);
        return run_(PageSource::kIamChain, std::move(pages));
    }

    // An IAM chain that could not go on: the IAM pages the page map files under the table that the walk
    // did not read are walked too, and the data pages they allocate that the list lacks follow it.
    std::vector<PageAddress> completed_iam(std::vector<PageAddress> pages, const IamWalkEnd& end) const {
        std::set<PageAddress> read(end.visited.begin(), end.visited.end());
        std::set<PageAddress> listed(pages.begin(), pages.end());
        ChainBreak broken{end.broken_at};
        broken.iam_chain = true;
        for (const UnitPages& unit : catalog_.current_pages.units()) {
            for (const PageMapEntry& entry : unit.entries(database_.iam_pages())) {
                if (database_.state().stop_requested()) break;
                if (read.contains(entry.address())) continue;
                IamWalkEnd more;
                for (const PageAddress& a :
                     walk_iam_chain(database_, entry.address(), {}, &catalog_.current_pages, &more)) {
                    if (!listed.insert(a).second) continue;
                    const auto header = database_.read_page_header(a);
                    if (!header || header->page_type != kPageTypeData || !catalog_.current_pages.owns(*header))
                        continue;
                    pages.push_back(a);
                    ++broken.pages_added;
                }
                read.insert(more.visited.begin(), more.visited.end());
            }
        }
        if (broken_) broken_(broken);
        return pages;
    }
    bool header_chain(PageAddress first) const {
        return run_(PageSource::kHeaderChain,
                    completed(walk_header_chain(database_, primary_when_zero(first), &catalog_.current_pages),
                              primary_when_zero(first)));
    }

    // The pages the table's allocation maps list: its IAM chain (the 2000 layout: the IAM pages the page
    // map filed under the object).
    std::vector<PageAddress> allocated_pages() const {
        if (database_.state().sql2000_layout.load()) {
            const std::vector<PageMapEntry> iam_pages =
                UnitPages::of_object(catalog_.current_object.object_id).entries(database_.iam_pages());
            if (iam_pages.empty()) return {};
            return walk_iam_chain(database_, iam_pages.front().address(), iam_pages, &catalog_.current_pages);
        }
        const PageAddress iam = catalog_.current_allocation_unit.first_iam_page;
        if (!valid_page(database_, iam)) return {};
        return walk_iam_chain(database_, primary_when_zero(iam), {}, &catalog_.current_pages);
    }

    // A chain that ends where a page still names a next page (or that could not start) broke: the table's
    // data pages it missed follow it.
    std::vector<PageAddress> completed(std::vector<PageAddress> chain, PageAddress start) const {
        if (database_.state().stop_requested()) return chain;
        ChainBreak broken{start};
        if (!chain.empty()) {
            const auto last = database_.read_page_header(primary_when_zero(chain.back()));
            if (last && last->next_page.page_id == 0) return chain;
            if (last) broken.at = last->next_page;
        } else if (start.page_id == 0) {
            return chain;
        }
        std::vector<PageAddress> rest = allocated_pages();
        if (rest.empty()) {
            rest = catalog_.current_data_pages;
            broken.through_page_map = true;
        }
        std::set<PageAddress> listed;
        for (const PageAddress& a : chain) listed.insert(primary_when_zero(a));
        for (const PageAddress& a : rest) {
            if (database_.state().stop_requested()) break;
            if (a.file_id == 0 || a.page_id == 0 || !listed.insert(a).second) continue;
            const auto header = database_.read_page_header(a);
            if (!header || header->page_type != kPageTypeData || !catalog_.current_pages.owns(*header)) continue;
            chain.push_back(a);
            ++broken.pages_added;
        }
        if (broken_) broken_(broken);
        return chain;
    }

    OpenedDatabase& database_;
    SystemCatalog& catalog_;
    const PageListRun& run_;
    const ChainBreakNote& broken_;
};

}  // namespace

std::string chain_break_text(std::string_view table, const ChainBreak& broken) {
    if (broken.iam_chain)
        return fmt::format("The IAM chain of {} ends early at page {}:{}; {} more data pages of it were read "
                           "through the IAM pages the page map lists.",
                           table, broken.at.file_id, broken.at.page_id, broken.pages_added);
    return fmt::format("The page chain of {} ends early at page {}:{}; {} more data pages of it were read through {}.",
                       table, broken.at.file_id, broken.at.page_id, broken.pages_added,
                       broken.through_page_map ? "the page map" : "its allocation maps");
}

bool walk_table_page_lists(OpenedDatabase& database, SystemCatalog& catalog, bool advanced,
                           const PageListRun& run, const ChainBreakNote& broken) {
    const PageRoutes routes(database, catalog, run, broken);
    if (advanced) return routes.current_data_pages();
    if (database.state().sql2000_layout.load()) return routes.legacy();
    return routes.by_allocation_unit();
}

bool RecordBatches::run_batch_loader(const BatchContext& context, std::vector<PageAddress> pages) {
    FrontEnd& front = context.front;
    page_list_ = std::move(pages);
    // The progress range follows the catalog's data pages whichever route listed the pages.
    progress_low_ = 0;
    progress_high_ = static_cast<std::int64_t>(context.catalog.current_data_pages.size());
    front.progress_range(progress_low_, progress_high_);

    resume_points_.clear();
    resume_points_.push_back({0, 0});
    current_ = {};
    shown_batch_ = 0;
    row_counter_ = 0;

    trust_ = shows_row_states(context) && decoder_
                 ? RowTrust::survey(context.database, context.catalog, page_list_, context.advanced)
                 : nullptr;
    Run run{
        context,
        decoder_ ? decoder_(context.database, context.catalog, first_load_rows_loading_) : PageRowDecoder{},
        context.catalog.column_descriptors};
    run_batch_loop(run, {0, 0});

    if (row_counter_ > 0) {
        const std::string text = rows_to_text(0, row_counter_);
        front.set_caption(text);
        if (context.add_log_line) context.add_log_line(text);
        range_start_ = 0;
        range_end_ = row_counter_;
    }
    front.progress_position(run.pages_done);
    return row_counter_ != 0;
}

// ---- the batch loop ----

void RecordBatches::run_batch_loop(Run& run, ResumePoint start) {
    run.block_start = list_rows_;
    run.states = shows_row_states(run.context);
    if (run.decode && trust_) run.decode.set_trust(trust_);
    run_pages(run, start);
    flush_rows(run);
    const LeftOutRows left_out = run.decode.take_left_out();
    if (left_out.any() && run.context.add_log_line) run.context.add_log_line(left_out_text(left_out));
}

// The rows of a batch reach the front end in one call, with one row counter update.
void RecordBatches::flush_rows(Run& run) {
    FrontEnd& front = run.context.front;
    if (run.block.row_count() > 0) front.records_insert_rows(run.block_start, run.block);
    run.block.clear();
    run.block_start = list_rows_;
    if (row_counter_ == 0) return;
    const std::string text = fmt::format(" row {} inserted", row_counter_);
    front.set_caption(text);
    front.log_overwrite_last(text);
}

void RecordBatches::run_pages(Run& run, ResumePoint start) {
    const BatchContext& context = run.context;
    const EngineState& state = context.database.state();
    // Where the batch fills up: a full batch that goes on records where the next one starts.
    auto batch_full = [&](ResumePoint end) {
        if (run.push_resume_points) resume_points_.push_back(end);
        current_ = end;
    };
    auto stopped = [&] {
        if (state.stop_requested()) return true;
        return run.follow_up && context.running != nullptr && context.running->load() == 0;
    };

    row_counter_ = 0;
    const auto page_count = static_cast<std::int64_t>(page_list_.size());
    for (std::int64_t p = start.page_index; p < page_count && !stopped(); ++p) {
        if (row_counter_ >= kBatchRows) {
            batch_full({p, 0});
            return;
        }
        // The page's rows stream in as they are decoded; none is kept. The rows before the resume row
        // of the first page are decoded too (a record may carry texts on to the next), but not inserted.
        const std::int64_t first_row = p == start.page_index ? start.row_index : 0;
        std::int64_t r = 0;
        bool filled = false;
        if (run.decode) {
            run.decode.each_row(page_list_[static_cast<std::size_t>(p)], run.schema,
                                [&](const DecodedRow& row) {
                                    const std::int64_t index = r++;
                                    if (index < first_row) return true;
                                    if (row_counter_ >= kBatchRows) {
                                        batch_full({p, index});
                                        filled = true;
                                        return false;
                                    }
                                    if (row.empty()) return true;
                                    insert_row(run, row);
                                    if (run.follow_up && run.reported_page != p) {
                                        run.reported_page = p;
                                        context.front.progress_position(p);
                                    }
                                    return true;
                                });
        }
        if (filled) {
            run.pages_done = p;
            return;
        }
        run.pages_done = p + 1;
        context.front.progress_position(run.pages_done);
    }
}

void RecordBatches::insert_row(Run& run, const DecodedRow& row) {
    const BatchContext& context = run.context;
    const auto first = static_cast<std::size_t>(context.catalog.first_stored_column);
    static const std::string kNoText;
    const std::string& first_text = first < row.size() ? row[first].value_text : kNoText;

    RowBlock& block = run.block;
    const std::size_t row_start = block.cells.size();
    if (run.states) {
        block.cells.emplace_back(row_state_label(run.decode.row_facts().origin));
        block.nulls.push_back(0);
    }
    const bool first_null = first < row.size() && row[first].value_null;
    block.cells.push_back(first_text);
    block.nulls.push_back(first_null ? 1 : 0);
    std::size_t empty_cells = first_text.empty() || first_null || first_text == "NULL" ? 1 : 0;
    for (std::size_t i = first + 1; i < row.size(); ++i) {
        if (row[i].physical_column_id == kNotStored) continue;
        block.cells.push_back(row[i].value_text);
        block.nulls.push_back(row[i].value_null ? 1 : 0);
        // A NULL shows "NULL" in the list, and export rows are left out where list rows are.
        if (row[i].value_text.empty() && !row[i].value_null) ++empty_cells;
    }
    block.width = block.cells.size() - row_start;
    // A row whose cells are all empty is counted but not shown.
    if (empty_cells == row.size()) {
        block.cells.resize(row_start);
        block.nulls.resize(row_start);
    } else {
        ++list_rows_;
    }

    ++row_counter_;
    if (run.follow_up && context.write_log_file) {
        // " row <n> inserted" goes to the log file per row, so it is built on the stack.
        char buffer[48] = " row ";
        char* end = std::to_chars(buffer + 5, buffer + 25, row_counter_).ptr;
        end = std::copy_n(" inserted", 9, end);
        context.write_log_file(std::string_view(buffer, static_cast<std::size_t>(end - buffer)));
    }
}

// ---- Next and Previous ----

namespace {

void end_worker(const BatchContext& context) {
    if (context.running != nullptr) context.running->store(0);
    context.front.show_progress(false);
}

}  // namespace

void RecordBatches::next_batch(const BatchContext& context, DisplayState& display) {
    FrontEnd& front = context.front;
    if (resume_points_.size() < 2) {
        front.records_enable_next(false);
        return end_worker(context);
    }
    front.show_progress(true);
    front.progress_range(progress_low_, progress_high_);
    // Nothing new: no resume point was pushed since the batch on display began.
    if (static_cast<std::int64_t>(resume_points_.size()) == display.last_shown_resume_points &&
        current_.row_index == display.last_shown_row) {
        front.records_enable_next(false);
        return end_worker(context);
    }
    front.records_enable_previous(true);
    front.records_enable_next(true);
    show_follow_up_batch(context, display, resume_points_.size() - 1, true);
    if (static_cast<std::int64_t>(resume_points_.size()) == display.last_shown_resume_points &&
        current_.row_index == display.last_shown_row)
        front.records_enable_next(false);
    end_worker(context);
}

void RecordBatches::previous_batch(const BatchContext& context, DisplayState& display) {
    FrontEnd& front = context.front;
    if (resume_points_.size() < 2) {
        front.records_enable_previous(false);
        front.records_enable_next(true);
        return end_worker(context);
    }
    front.show_progress(true);
    front.progress_range(progress_low_, progress_high_);
    front.records_enable_next(true);

    // Keep the points up to the start of the batch on display: that start is where the batch to show
    // ends, and the batch to show starts one point before it.
    std::size_t batch = 0;
    if (shown_batch_ > 0) {
        resume_points_.resize(shown_batch_ + 1);
        batch = shown_batch_ - 1;
    }
    if (batch == 0) front.records_enable_previous(false);
    // Every batch before the one on display was a full one.
    range_end_ = range_start_ >= kBatchRows ? range_start_ - kBatchRows : 0;
    show_follow_up_batch(context, display, batch, false);
    end_worker(context);
}

void RecordBatches::show_follow_up_batch(const BatchContext& context, DisplayState& display,
                                         std::size_t batch, bool push_resume_points) {
    FrontEnd& front = context.front;
    front.records_delete_all_rows();
    list_rows_ = 0;
    const ResumePoint start = resume_points_[batch];
    shown_batch_ = batch;
    current_ = start;
    // The points up to the start of the batch on display; Next finds something new once there are more.
    display.last_shown_resume_points = static_cast<int>(batch + 1);
    display.last_shown_row = static_cast<int>(start.row_index);

    Run run{context, decoder_ ? decoder_(context.database, context.catalog, false) : PageRowDecoder{},
            context.catalog.column_descriptors, true, push_resume_points};
    run_batch_loop(run, start);

    // The batch starts where the previous one ended; range_end_ holds that end here.
    range_start_ = batch == 0 ? 0 : range_end_;
    range_end_ = range_start_ + row_counter_;
    display.page_number = static_cast<int>(batch) + 1;
    const std::string text = rows_to_text(range_start_, range_end_);
    front.set_caption(text);
    if (context.add_log_line) context.add_log_line(text);
    // The first batch reached by going back is labelled page 0.
    const bool back_to_first = batch == 0 && !push_resume_points;
    front.records_set_page_label(batch_label(back_to_first ? 0 : display.page_number, row_counter_,
                                             back_to_first ? 1 : range_start_ + 1, range_end_));
}

}  // namespace quenlow
