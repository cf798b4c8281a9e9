#pragma once
// Loading a table's rows into the record list, at most 1000 at a time, and paging through them.
//
// A load first lists the table's data pages (the page list), then decodes them one by one in list order
// and inserts their rows into the record list until a batch holds 1000 rows. Where a batch ends, a
// resume point {page list index, row index within that page's rows} is pushed on a deque, so that Next
// can go on from there and Previous can go back. Rows are never kept: every batch decodes its pages
// again from the page list.
//
//   resume points    p0 = {0, 0}       p1                p2
//                    |--- batch 1 -----|--- batch 2 -----|--- batch 3 ...
//
// The deque holds the start of every batch up to the one on display and, when that one filled up, its
// end (the start of the following batch); Next shows the batch from the last point when one was pushed
// since the batch on display began. A batch that ends with its page list (or with a Stop) pushes nothing.
//
// How the page list is made, by recovery mode and catalog layout:
//
//   Advanced Mode            the catalog's current data pages (pages the page-to-object map filed under
//                            the table), so pages no allocation structure reaches are still read
//   SQL Server 2000 layout   the chain of data pages from the first page of the table's clustered
//                            index; for a table without one, the IAM pages the page map filed under it
//   otherwise                the current allocation unit: first page F, first IAM page I, and the
//                            rowset's index id:
//                              I.page_id <= 0             the current data pages
//                              index id != 0, F the first page of a data page chain (type 1, no
//                              previous page)             the header chain from F; no rows: the IAM
//                                                         chain from I
//                              index id != 0, otherwise   the IAM chain from I
//                              heap, I valid              the IAM chain from I; no rows: the header
//                                                         chain from F
//                              heap, I not valid          the header chain from F
//                            A page id is valid when it is at least 1 and below its file's page count;
//                            file id 0 stands for the primary file.
//
// Inserting a row: a list row whose first cell is the value of the first stored column, then one cell per
// following stored column (physical column id not -99). A row whose cells are all empty (the first may
// read "NULL") is left out, yet it is counted: a batch counts 1000 rows even when the list shows fewer.
// The rows of a batch reach the front end as one block when the batch ends, followed by the row counter
// (" row <n> inserted") in the caption bar and the last log line.

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <string_view>
#include <type_traits>
#include <vector>

#include "app/front_end.h"
#include "app/main_frame.h"
#include "app/row_trust.h"
#include "engine/catalog/system_catalog.h"
#include "engine/pages/opened_database.h"
#include "engine/pages/record_page.h"
#include "engine/values/row_decoder.h"

namespace quenlow {

inline constexpr std::int64_t kBatchRows = 1000;

struct ResumePoint {
    std::int64_t page_index = 0;
    std::int64_t row_index = 0;

    friend bool operator==(const ResumePoint&, const ResumePoint&) = default;
};

// One decoded record: a copy of the table's column descriptors with the record's value texts.
using DecodedRow = std::vector<ColumnDescriptor>;

// Receives the rows of a page one at a time, in order; false when no further row of the page is wanted.
// A row handed over may be the decoder's row buffer itself, valid only until the next one.
using PageRowVisitor = std::function<bool(const DecodedRow& row)>;

// Decodes the data page at an address into rows. The descriptors are the row buffer of the whole load:
// the decoder writes each value into them and hands over (or copies) them per record. An unreadable page
// or one that is not a data page gives no rows.
//
// Made from a function that returns the page's rows as one list, or (streaming) from one that hands
// them to a visitor as it decodes them, so the batch loader copies no row and stops decoding where a
// batch fills up. A decoder (and its copies, which share its readers and page buffer) serves one thread
// at a time; threads that decode side by side each make their own.
class PageRowDecoder {
public:
    using RowLists = std::function<std::vector<DecodedRow>(PageAddress address,
                                                           std::vector<ColumnDescriptor>& descriptors)>;
    using RowStream = std::function<void(PageAddress address, std::vector<ColumnDescriptor>& descriptors,
                                         const PageRowVisitor& visit)>;

    PageRowDecoder() = default;
    template <typename F>
    requires std::is_invocable_r_v<std::vector<DecodedRow>, F&, PageAddress, std::vector<ColumnDescriptor>&>
    PageRowDecoder(F lists) : lists_(std::move(lists)) {}
    static PageRowDecoder streaming(RowStream stream);

    explicit operator bool() const { return lists_ || stream_; }
    // What the decoder knows of the row handed to the visitor last: where it came from (live when the
    // decoder does not tell) and whether a value of it could not be decoded (true when it does not tell).
    RowFacts row_facts() const {
        if (trust_) return judged_->facts;
        return facts_ ? facts_() : RowFacts{RowOrigin::kLive, true};
    }
    void set_row_facts(std::function<RowFacts()> facts) { facts_ = std::move(facts); }
    // From now on the rows that are not live rows go through `trust`: rows of its stale pages become
    // stale page rows, and the rows it leaves out are counted instead of handed over.
    void set_trust(std::shared_ptr<const RowTrust> trust);
    // The rows left out since the decoder was made (or since the counts were taken).
    LeftOutRows take_left_out() const;
    // The page's rows as one list.
    std::vector<DecodedRow> operator()(PageAddress address, std::vector<ColumnDescriptor>& descriptors) const;
    // The page's rows one at a time, until visit answers false.
    void each_row(PageAddress address, std::vector<ColumnDescriptor>& descriptors,
                  const PageRowVisitor& visit) const;

private:
    void each_row_unjudged(PageAddress address, std::vector<ColumnDescriptor>& descriptors,
                           const PageRowVisitor& visit) const;

    struct Judged {
        RowFacts facts;
        LeftOutRows left_out;
    };
    RowLists lists_;
    RowStream stream_;
    std::function<RowFacts()> facts_;
    std::shared_ptr<const RowTrust> trust_;
    std::shared_ptr<Judged> judged_;
};

// Whether the rows of a load are listed with a leading State column: when rows that are not live rows
// can be met (deleted records asked for, or Advanced Mode).
struct BatchContext;
bool shows_row_states(const BatchContext& context);

// Makes the page decoder of one load, for the database and the catalog of the table being shown.
// rows_loading: the decoder serves the first batch of a table, whose values stored elsewhere show
// placeholders instead of being read.
using PageRowDecoderFactory =
    std::function<PageRowDecoder(OpenedDatabase& database, SystemCatalog& catalog, bool rows_loading)>;

// Decodes the records of one data page. layout_form: the records are placed by the physical positions of
// the descriptors (later layouts whose rowset has physical column rows); otherwise by their offsets.
using RecordPageDecoder = std::function<std::vector<DecodedRow>(
    const PrimaryRecordPage& page, std::vector<ColumnDescriptor>& descriptors, bool layout_form)>;
// The same, handing each row to a visitor as it is decoded.
using RecordPageStream =
    std::function<void(const PrimaryRecordPage& page, std::vector<ColumnDescriptor>& descriptors,
                       bool layout_form, const PageRowVisitor& visit)>;

// The page reading around a record decoder: reads the page, hands it on only when it is a data page
// (type 1), with layout_form set when the SQL Server 2000 layout flag is off and the catalog's current
// rowset columns are not empty, and drops the page's body scan candidates after decoding when Show
// Advanced Deleted records is on.
PageRowDecoderFactory data_page_decoder(RecordPageDecoder decode);
PageRowDecoderFactory data_page_stream_decoder(RecordPageStream decode);

// Where a load took its page list from; a load may try more than one.
enum class PageSource {
    kCurrentDataPages,  // the catalog's current data pages
    kLegacyIndexChain,  // SQL Server 2000: data page chain from the clustered index's first page
    kLegacyIamPages,    // SQL Server 2000: the IAM pages of the page map
    kIamChain,          // IAM chain from the allocation unit's first IAM page
    kHeaderChain,       // page chain by headers from the allocation unit's first page
};

// Takes one page list of a table: reads its rows and answers whether any row was processed.
using PageListRun = std::function<bool(PageSource source, std::vector<PageAddress> pages)>;

// A chain of data pages that ended before a page without a next page: at a page that could not be read,
// that is not a data page of the table, or that the chain had met before.
struct ChainBreak {
    PageAddress at;             // the page the chain could not go on to
    std::size_t pages_added = 0;  // data pages of the table the chain missed, listed after it
    bool through_page_map = false;  // they came from the page map (no allocation map gave any)
    // The chain was the IAM chain; the pages came from the other IAM pages the page map files under the
    // table.
    bool iam_chain = false;
};
using ChainBreakNote = std::function<void(const ChainBreak&)>;
// "The page chain of T ends early at page F:P; N more data pages of it were read through its allocation
// maps." (or "through the page map"); an IAM chain: "The IAM chain of T ends early at page F:P; N more
// data pages of it were read through the IAM pages the page map lists.".
std::string chain_break_text(std::string_view table, const ChainBreak& broken);

// Lists the data pages of the catalog's current table by the route the mode and layout choose (above)
// and hands the list to `run`; where a route falls back when its pages gave no row, the next list
// follows. True when a run answered true.
//
// A chain route whose chain ends early does not end the table there: the table's data pages that its
// allocation maps list (or, when they list none, that the page map filed under it) and that the chain
// did not reach follow the chain's pages in the same list, each page once, and `broken` hears of it.
bool walk_table_page_lists(OpenedDatabase& database, SystemCatalog& catalog, bool advanced,
                           const PageListRun& run, const ChainBreakNote& broken = {});

// What a batch needs from the main window.
struct BatchContext {
    OpenedDatabase& database;
    SystemCatalog& catalog;
    FrontEnd& front;
    bool advanced = false;  // "Advanced Mode" was chosen for the scan
    // Adds a log line (log pane and log file).
    std::function<void(std::string_view)> add_log_line;
    // Writes a line to the log file only.
    std::function<void(std::string_view)> write_log_file;
    // The application's running flag; Stop clears it. Null: never watched.
    std::atomic<int>* running = nullptr;
};

// The paging state of the table on display and the operations on it. One object serves one main window;
// its operations run one at a time (on the worker of the moment).
class RecordBatches {
public:
    explicit RecordBatches(PageRowDecoderFactory decoder = {});

    // The first batch of the catalog's current table. The page list is made by the route the mode and
    // layout choose, and the batch loader runs with a decoder made for rows_loading (values stored
    // elsewhere then show placeholders; the decoders of Next and Previous always read them). Afterwards
    // the stop flag is cleared. True when any row was processed.
    bool load_table_rows(const BatchContext& context, bool rows_loading = true);

    // The workers of "Next Records" and "Previous Records". Each hides the progress bar and clears the
    // running flag when it ends.
    void next_batch(const BatchContext& context, DisplayState& display);
    void previous_batch(const BatchContext& context, DisplayState& display);

    // Forgets the table: empty page list, no resume points, counters and bounds 0.
    void reset();
    // The record list was emptied by someone else.
    void list_cleared() { list_rows_ = 0; }

    const std::vector<PageAddress>& page_list() const { return page_list_; }
    const std::deque<ResumePoint>& resume_points() const { return resume_points_; }
    ResumePoint current_position() const { return current_; }
    // Rows processed in the batch on display, removed ones included.
    std::int64_t row_counter() const { return row_counter_; }
    // Rows the record list holds.
    int list_rows() const { return list_rows_; }
    std::int64_t range_start() const { return range_start_; }
    std::int64_t range_end() const { return range_end_; }
    // The routes the last load tried, in order.
    const std::vector<PageSource>& sources() const { return sources_; }

private:
    struct Run;

    // The batch loader of a first load: from {0, 0} over the given page list.
    bool run_batch_loader(const BatchContext& context, std::vector<PageAddress> pages);
    // The batch loop shared by every batch: the pages, then the rows handed over in one block.
    void run_batch_loop(Run& run, ResumePoint start);
    void run_pages(Run& run, ResumePoint start);
    void flush_rows(Run& run);
    void insert_row(Run& run, const DecodedRow& row);
    // Shows the batch starting at resume point `batch` (Next and Previous).
    void show_follow_up_batch(const BatchContext& context, DisplayState& display, std::size_t batch,
                              bool push_resume_points);

    PageRowDecoderFactory decoder_;
    // The rows_loading of the first load under way, for the decoder its batch loader makes.
    bool first_load_rows_loading_ = true;
    std::vector<PageAddress> page_list_;
    std::deque<ResumePoint> resume_points_;
    ResumePoint current_;
    // Index in resume_points_ of the start of the batch on display.
    std::size_t shown_batch_ = 0;
    std::int64_t row_counter_ = 0;
    int list_rows_ = 0;
    std::int64_t range_start_ = 0;
    std::int64_t range_end_ = 0;
    std::int64_t progress_low_ = 0;
    std::int64_t progress_high_ = 0;
    std::vector<PageSource> sources_;
    // What the survey of the load's pages settled about rows that are not live rows; none when only
    // live rows can be met.
    std::shared_ptr<const RowTrust> trust_;
};

}  // namespace quenlow
