// Loading a table's rows in batches of 1000 and paging through them, over builder databases with fake
// page decoders: where batches end, the resume points, the row and page texts of Next and Previous, the
// row removal rule, Stop, the rows-loading flag, and which route lists the pages.

#include "app/record_batches.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "engine/catalog/catalog_build.h"
#include "tests/app/fake_front_end.h"
#include "tests/support/database_builder.h"

namespace quenlow {
namespace {

using testing::DatabaseSpec;
using testing::Layout;
using testing::SqlType;
using testing::Value;
using Lines = std::vector<std::string>;

constexpr const char* kPath = "/data/wide.mdf";
constexpr const char* kClickLine = "Please wait while Wide folder is scanning.";

// One table "Wide" of (Id int, Pad char(3000)): two rows fill a data page.
DatabaseSpec wide_table(int rows, bool clustered = false, Layout layout = Layout::k2005) {
    DatabaseSpec db;
    db.layout = layout;
    auto& t = db.add_table("Wide");
    t.add_column("Id", SqlType::Int);
    t.add_column("Pad", SqlType::Char, 3000);
    if (clustered) t.primary_key({"Id"});
    for (int i = 0; i < rows; ++i) t.add_row({Value::integer(i), Value::text("pad")});
    return db;
}

// Told the index of each page it decodes and the rows_loading its decoder was made for.
using OnPage = std::function<void(std::size_t page, bool rows_loading)>;

// A decoder that gives each page a prepared number of rows; row r of page index p reads "p.r" in its
// first column and "x" in the others. Pages it does not know give none.
PageRowDecoderFactory counted_rows(std::map<PageAddress, int> counts, std::vector<PageAddress> pages,
                                   OnPage on_page = {}) {
    return [=](OpenedDatabase&, SystemCatalog&, bool rows_loading) -> PageRowDecoder {
        return [=](PageAddress address, std::vector<ColumnDescriptor>& descriptors) {
            std::vector<DecodedRow> rows;
            const auto it = counts.find(address);
            if (it == counts.end()) return rows;
            const auto index =
                static_cast<std::size_t>(std::find(pages.begin(), pages.end(), address) - pages.begin());
            if (on_page) on_page(index, rows_loading);
            for (int r = 0; r < it->second; ++r) {
                for (std::size_t c = 0; c < descriptors.size(); ++c)
                    descriptors[c].value_text = c == 0 ? fmt::format("{}.{}", index, r) : "x";
                rows.push_back(descriptors);
            }
            return rows;
        };
    };
}

// A decoder over the pages as read: one row per record, "<page id>:<slot>" then "x".
PageRowDecoderFactory record_rows() {
    return data_page_decoder(
        [](const PrimaryRecordPage& page, std::vector<ColumnDescriptor>& descriptors, bool) {
            std::vector<DecodedRow> rows;
            for (std::size_t slot = 0; slot < page.records().size(); ++slot) {
                if (!page.records()[slot]) continue;
                for (std::size_t c = 0; c < descriptors.size(); ++c)
                    descriptors[c].value_text =
                        c == 0 ? fmt::format("{}:{}", page.header().this_page.page_id, slot) : "x";
                rows.push_back(descriptors);
            }
            return rows;
        });
}

class BatchTest : public ::testing::Test {
protected:
    // Opens the built image (after `damage`) and assembles the table.
    void open(const DatabaseSpec& blueprint, const std::function<void(std::vector<std::byte>&)>& damage = {}) {
        db.reset();
        built = testing::build_database_image(blueprint);
        if (damage) damage(built.image);
        files.add_file(kPath, built.image);
        db = OpenedDatabase::open(kPath, ReadOptions{}, {state, events, files}, catalog_builder());
        ASSERT_TRUE(db->is_open());
        catalog = dynamic_cast<SystemCatalog*>(db->catalog());
        ASSERT_NE(catalog, nullptr);
        assemble_object(*catalog, "Wide", "U ", {});
        ASSERT_TRUE(catalog->current_object_is_table);
        front.log_line(kClickLine);
        // The list's columns, as the display sets them up before an Advanced Mode load.
        front.records_add_column(0, kStateColumnTitle, 200);
        for (std::size_t c = 0; c < catalog->column_descriptors.size(); ++c)
            front.records_add_column(static_cast<int>(c) + 1, catalog->column_descriptors[c].name, 200);
    }
    std::vector<PageAddress> data_pages() const {
        std::vector<PageAddress> out;
        for (std::int32_t p : built.table("Wide")->data_pages) out.push_back({kPrimaryFileId, p});
        return out;
    }
    // Rows per data page, in page order.
    PageRowDecoderFactory per_page(const std::vector<int>& counts, OnPage on_page = {}) {
        std::map<PageAddress, int> by_address;
        const auto pages = data_pages();
        EXPECT_GE(pages.size(), counts.size());
        for (std::size_t i = 0; i < counts.size() && i < pages.size(); ++i) by_address[pages[i]] = counts[i];
        return counted_rows(by_address, pages, std::move(on_page));
    }
    BatchContext context(bool advanced = true) {
        return {*db,
                *catalog,
                front,
                advanced,
                [this](std::string_view text) { front.log_line(text); },
                [this](std::string_view text) { file_lines.emplace_back(text); },
                &running};
    }
    // The first load as a click runs it; the page number is then 1.
    void load(RecordBatches& batches, bool advanced = true) {
        batches.load_table_rows(context(advanced));
        display.page_number = 1;
    }
    // The list as the batch rules fill it: the State cell an Advanced Mode load puts first is taken off.
    RecordListModel listed() const {
        RecordListModel list = front.record_list();
        for (auto& row : list.rows)
            if (!row.empty() && row.front() == "live") row.erase(row.begin());
        return list;
    }
    std::vector<std::string> first_cells() const {
        std::vector<std::string> out;
        for (const auto& row : listed().rows) out.push_back(row.empty() ? "" : row.front());
        return out;
    }
    std::string last_caption() const {
        const auto captions = front.calls_starting("caption: ");
        return captions.empty() ? "" : captions.back();
    }

    testing::BuiltDatabase built;
    MemoryFileSystem files;
    EngineState state;
    NullEngineEvents events;
    std::unique_ptr<OpenedDatabase> db;
    SystemCatalog* catalog = nullptr;
    test::FakeFrontEnd front;
    DisplayState display;
    std::atomic<int> running{1};
    Lines file_lines;
};

TEST_F(BatchTest, FirstLoadStopsAtAThousandRowsWhereverTheyEnd) {
    open(wide_table(10));
    RecordBatches batches(per_page({400, 400, 400, 300, 0}));
    EXPECT_TRUE(batches.load_table_rows(context()));

    EXPECT_EQ(batches.resume_points(), (std::deque<ResumePoint>{{0, 0}, {2, 200}}));
    EXPECT_EQ(batches.current_position(), (ResumePoint{2, 200}));
    EXPECT_EQ(batches.row_counter(), 1000);
    EXPECT_EQ(batches.list_rows(), 1000);
    EXPECT_EQ(batches.range_start(), 0);
    EXPECT_EQ(batches.range_end(), 1000);
    const auto cells = first_cells();
    ASSERT_EQ(cells.size(), 1000u);
    EXPECT_EQ(cells.front(), "0.0");
    EXPECT_EQ(cells.back(), "2.199");
    // The batch reaches the front end in one call, and the row counter once.
    EXPECT_EQ(front.calls_starting("records: block "), (Lines{"0 x1000"}));
    EXPECT_EQ(front.calls_starting("log overwrite: ").size(), 1u);
    // The row counter overwrites the click's line; the count is a line of its own, not in the file.
    EXPECT_EQ(front.log(), (Lines{" row 1000 inserted", "0 rows to 1000"}));
    EXPECT_EQ(last_caption(), "0 rows to 1000");
    EXPECT_TRUE(file_lines.empty());
    EXPECT_EQ(front.calls_starting("range ").front(), "0..5") << "the range is the catalog's data pages";
}

TEST_F(BatchTest, ExactlyAThousandRowsEndingTheListPushNothing) {
    open(wide_table(4));
    RecordBatches batches(per_page({500, 500}));
    load(batches);
    EXPECT_EQ(batches.resume_points(), (std::deque<ResumePoint>{{0, 0}}));

    front.clear_calls();
    batches.next_batch(context(), display);
    EXPECT_EQ(front.calls(), (Lines{"records: next false", "progress hidden"}));
    EXPECT_EQ(running.load(), 0);
}

TEST_F(BatchTest, ExactlyAThousandRowsBeforeAnEmptyPageMakeAnEmptyNextBatch) {
    open(wide_table(6));
    RecordBatches batches(per_page({500, 500, 0}));
    load(batches);
    EXPECT_EQ(batches.resume_points(), (std::deque<ResumePoint>{{0, 0}, {2, 0}}));

    batches.next_batch(context(), display);
    const RecordListModel list = listed();
    EXPECT_TRUE(list.rows.empty());
    EXPECT_EQ(list.page_label, "Page2 - [0](1001-1000) Records");
    EXPECT_EQ(front.log().back(), "1000 rows to 1000");
    EXPECT_FALSE(list.next_enabled);
    EXPECT_TRUE(list.previous_enabled);
}

TEST_F(BatchTest, ThousandAndOneRowsOnOnePageLeaveOneRowForNext) {
    open(wide_table(2));
    RecordBatches batches(per_page({1001}));
    load(batches);
    EXPECT_EQ(batches.resume_points(), (std::deque<ResumePoint>{{0, 0}, {0, 1000}}));

    batches.next_batch(context(), display);
    const RecordListModel list = listed();
    ASSERT_EQ(list.rows.size(), 1u);
    EXPECT_EQ(list.rows[0], (std::vector<std::string>{"0.1000", "x"}));
    EXPECT_EQ(list.page_label, "Page2 - [1](1001-1001) Records");
    EXPECT_EQ(last_caption(), "1000 rows to 1001");
    EXPECT_EQ(front.log().back(), "1000 rows to 1001");
    EXPECT_FALSE(list.next_enabled);
    // Rows of a later batch are lines of the log file too.
    EXPECT_EQ(file_lines, (Lines{" row 1 inserted"}));
}

// Seven pages of 500 rows: batches start at page indexes 0, 2, 4 and 6, every start on a page boundary.
TEST_F(BatchTest, NextAndPreviousWalkTheBatchesWithConsistentTexts) {
    open(wide_table(14));
    RecordBatches batches(per_page({500, 500, 500, 500, 500, 500, 500}));
    load(batches);

    enum class Click { kNext, kPrevious };
    struct Step {
        Click click;
        std::string label;
        std::string first_cell;  // "" when the list is empty or was left alone
        bool previous_enabled;
        bool next_enabled;
        std::string rows_line;  // the last log line
    };
    const std::vector<Step> steps = {
        {Click::kNext, "Page2 - [1000](1001-2000) Records", "2.0", true, true, "1000 rows to 2000"},
        {Click::kNext, "Page3 - [1000](2001-3000) Records", "4.0", true, true, "2000 rows to 3000"},
        {Click::kNext, "Page4 - [500](3001-3500) Records", "6.0", true, false, "3000 rows to 3500"},
        // Nothing after the last batch: the list keeps it.
        {Click::kNext, "Page4 - [500](3001-3500) Records", "6.0", true, false, "3000 rows to 3500"},
        {Click::kPrevious, "Page3 - [1000](2001-3000) Records", "4.0", true, true, "2000 rows to 3000"},
        {Click::kPrevious, "Page2 - [1000](1001-2000) Records", "2.0", true, true, "1000 rows to 2000"},
        {Click::kPrevious, "Page0 - [1000](1-1000) Records", "0.0", false, true, "0 rows to 1000"},
        {Click::kNext, "Page2 - [1000](1001-2000) Records", "2.0", true, true, "1000 rows to 2000"},
        {Click::kNext, "Page3 - [1000](2001-3000) Records", "4.0", true, true, "2000 rows to 3000"},
        {Click::kPrevious, "Page2 - [1000](1001-2000) Records", "2.0", true, true, "1000 rows to 2000"},
        {Click::kNext, "Page3 - [1000](2001-3000) Records", "4.0", true, true, "2000 rows to 3000"},
        {Click::kNext, "Page4 - [500](3001-3500) Records", "6.0", true, false, "3000 rows to 3500"},
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Step& step = steps[i];
        SCOPED_TRACE(::testing::Message() << "step " << i);
        running.store(1);
        if (step.click == Click::kNext)
            batches.next_batch(context(), display);
        else
            batches.previous_batch(context(), display);
        EXPECT_EQ(running.load(), 0);
        const RecordListModel list = listed();
        EXPECT_EQ(list.page_label, step.label);
        ASSERT_FALSE(list.rows.empty());
        EXPECT_EQ(list.rows.front().front(), step.first_cell);
        EXPECT_EQ(list.previous_enabled, step.previous_enabled);
        EXPECT_EQ(list.next_enabled, step.next_enabled);
        EXPECT_EQ(front.log().back(), step.rows_line);
    }
}

TEST_F(BatchTest, PreviousOnTheFirstBatchShowsItAgain) {
    open(wide_table(6));
    RecordBatches batches(per_page({600, 600}));
    load(batches);
    batches.previous_batch(context(), display);
    const RecordListModel list = listed();
    EXPECT_EQ(list.page_label, "Page0 - [1000](1-1000) Records");
    EXPECT_FALSE(list.previous_enabled);
    EXPECT_TRUE(list.next_enabled);
    running.store(1);
    batches.next_batch(context(), display);
    EXPECT_EQ(listed().page_label, "Page2 - [200](1001-1200) Records");
}

TEST_F(BatchTest, PagingWithoutTwoResumePointsOnlySetsTheButtons) {
    open(wide_table(2));
    RecordBatches batches(per_page({3}));
    load(batches);
    front.clear_calls();
    batches.previous_batch(context(), display);
    EXPECT_EQ(front.calls(), (Lines{"records: previous false", "records: next true", "progress hidden"}));
    EXPECT_EQ(running.load(), 0);
}

// Rows whose every cell is empty (the first may read "NULL") leave the list again but count.
TEST_F(BatchTest, AllEmptyRowsAreRemovedYetCounted) {
    open(wide_table(2));
    struct Case {
        std::vector<std::string> cells;
        bool kept;
    };
    const std::vector<Case> cases = {
        {{"", ""}, false},    {{"NULL", ""}, false}, {{"NULL", "NULL"}, true},
        {{"", "NULL"}, true}, {{"a", ""}, true},     {{"", "b"}, true},
    };
    std::vector<DecodedRow> prepared;
    for (const Case& c : cases) {
        DecodedRow row = catalog->column_descriptors;
        for (std::size_t i = 0; i < row.size(); ++i) row[i].value_text = c.cells[i];
        prepared.push_back(row);
    }
    prepared.insert(prepared.begin() + 2, DecodedRow{});  // a row without descriptors is skipped
    RecordBatches batches([&](OpenedDatabase&, SystemCatalog&, bool) -> PageRowDecoder {
        return [&, done = false](PageAddress, std::vector<ColumnDescriptor>&) mutable {
            if (done) return std::vector<DecodedRow>{};
            done = true;
            return prepared;
        };
    });
    batches.load_table_rows(context());

    std::vector<std::vector<std::string>> kept;
    for (const Case& c : cases)
        if (c.kept) kept.push_back(c.cells);
    EXPECT_EQ(listed().rows, kept);
    EXPECT_EQ(batches.row_counter(), 6);
    EXPECT_EQ(batches.list_rows(), 4);
    EXPECT_EQ(front.log(), (Lines{" row 6 inserted", "0 rows to 6"}));
    // Empty rows never reach the list: nothing is inserted and deleted again.
    EXPECT_TRUE(front.calls_starting("records: delete row ").empty());
}

TEST_F(BatchTest, ColumnsThatAreNotStoredAreLeftOutAndKeepEmptyRows) {
    open(wide_table(2));
    // A computed first column: the list starts at the first stored column.
    ColumnDescriptor computed;
    computed.name = "Total";
    computed.physical_column_id = kNotStored;
    computed.value_text = "([Id]*(2))";
    catalog->column_descriptors.insert(catalog->column_descriptors.begin(), computed);
    catalog->first_stored_column = 1;
    RecordBatches batches([](OpenedDatabase&, SystemCatalog&, bool) -> PageRowDecoder {
        return [done = false](PageAddress, std::vector<ColumnDescriptor>& descriptors) mutable {
            std::vector<DecodedRow> rows;
            if (done) return rows;
            done = true;
            descriptors[1].value_text = "7";
            descriptors[2].value_text = "pad";
            rows.push_back(descriptors);
            descriptors[1].value_text = "";
            descriptors[2].value_text = "";
            rows.push_back(descriptors);
            return rows;
        };
    });
    batches.load_table_rows(context());
    // The empty row stays: the column that is not stored never counts as empty.
    EXPECT_EQ(listed().rows, (std::vector<std::vector<std::string>>{{"7", "pad"}, {"", ""}}));
}

TEST_F(BatchTest, StopEndsTheBatchAfterThePageAndIsClearedAfterTheLoad) {
    open(wide_table(6));
    RecordBatches batches(per_page({3, 3, 3}, [this](std::size_t page, bool) {
        if (page == 1) state.stop.store(true);
    }));
    EXPECT_TRUE(batches.load_table_rows(context()));
    EXPECT_EQ(first_cells(), (Lines{"0.0", "0.1", "0.2", "1.0", "1.1", "1.2"}));
    EXPECT_EQ(batches.resume_points().size(), 1u);
    EXPECT_FALSE(state.stop_requested());
    EXPECT_EQ(front.log().back(), "0 rows to 6");
}

TEST_F(BatchTest, StopDuringNextEndsItsBatchEarly) {
    open(wide_table(8));
    std::size_t stop_at = 99;
    RecordBatches batches(per_page({500, 500, 400, 400}, [&](std::size_t page, bool) {
        if (page == stop_at) running.store(0);  // Stop clears the running flag
    }));
    load(batches);
    stop_at = 2;
    batches.next_batch(context(), display);
    EXPECT_EQ(listed().page_label, "Page2 - [400](1001-1400) Records");
    EXPECT_EQ(batches.resume_points().size(), 2u);
    EXPECT_FALSE(listed().next_enabled);
}

TEST_F(BatchTest, RowsLoadingHoldsForTheFirstBatchOnly) {
    open(wide_table(4));
    std::vector<bool> seen;
    RecordBatches batches(
        per_page({600, 600}, [&](std::size_t, bool rows_loading) { seen.push_back(rows_loading); }));
    load(batches);
    EXPECT_EQ(seen, (std::vector<bool>{true, true}));
    seen.clear();
    batches.next_batch(context(), display);
    EXPECT_EQ(seen, (std::vector<bool>{false}));

    seen.clear();
    batches.load_table_rows(context(), false);
    EXPECT_EQ(seen, (std::vector<bool>{false, false}));
}

// ---- routes ----

std::vector<std::byte>::iterator page_start(std::vector<std::byte>& image, std::int32_t page) {
    return image.begin() + static_cast<std::ptrdiff_t>(page) * static_cast<std::ptrdiff_t>(kPageSize);
}

TEST_F(BatchTest, HeapIsLoadedThroughItsIamChain) {
    open(wide_table(22));  // 11 data pages: 8 single pages and one extent
    RecordBatches batches(record_rows());
    load(batches, false);
    EXPECT_EQ(batches.sources(), (std::vector<PageSource>{PageSource::kIamChain}));
    const auto pages = data_pages();
    ASSERT_GE(batches.page_list().size(), pages.size());
    EXPECT_EQ(std::vector<PageAddress>(batches.page_list().begin(), batches.page_list().begin() + 11), pages);
    EXPECT_EQ(batches.row_counter(), 22);
}

TEST_F(BatchTest, HeapWithoutFirstIamPageUsesTheCurrentDataPages) {
    open(wide_table(6));
    catalog->current_allocation_unit.first_iam_page = {kPrimaryFileId, 0};
    RecordBatches batches(record_rows());
    load(batches, false);
    EXPECT_EQ(batches.sources(), (std::vector<PageSource>{PageSource::kCurrentDataPages}));
    EXPECT_EQ(batches.page_list(), data_pages());
    EXPECT_EQ(batches.row_counter(), 6);
}

// With its IAM page blanked the heap is reached only from its allocation unit's first page (the last
// data page the page map holds), while Advanced Mode still reads every page the page map filed.
TEST_F(BatchTest, AdvancedModeReadsPagesNoAllocationStructureReaches) {
    const DatabaseSpec blueprint = wide_table(10);
    const std::int32_t iam = testing::build_database_image(blueprint).table("Wide")->iam_page;
    open(blueprint, [iam](std::vector<std::byte>& image) {
        std::fill(page_start(image, iam), page_start(image, iam + 1), std::byte{0});
    });
    RecordBatches standard(record_rows());
    load(standard, false);
    EXPECT_EQ(standard.sources(), (std::vector<PageSource>{PageSource::kIamChain, PageSource::kHeaderChain}));
    EXPECT_EQ(standard.row_counter(), 2);

    RecordBatches advanced(record_rows());
    load(advanced, true);
    EXPECT_EQ(advanced.sources(), (std::vector<PageSource>{PageSource::kCurrentDataPages}));
    EXPECT_EQ(advanced.row_counter(), 10);
}

TEST_F(BatchTest, ClusteredTableFollowsItsPageChainFromAFirstPage) {
    struct Case {
        const char* name;
        std::function<PageAddress(const std::vector<PageAddress>&)> first_page;
        std::vector<PageSource> sources;
    };
    const std::vector<Case> cases = {
        {"first data page", [](const auto& pages) { return pages.front(); }, {PageSource::kHeaderChain}},
        {"later data page", [](const auto& pages) { return pages.back(); }, {PageSource::kIamChain}},
        {"page past the file",
         [](const auto&) {
             return PageAddress{kPrimaryFileId, 1 << 20};
         },
         {PageSource::kIamChain}},
        {"file id 0",
         [](const auto& pages) {
             return PageAddress{0, pages.front().page_id};
         },
         {PageSource::kHeaderChain}},
    };
    open(wide_table(12, true));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        catalog->current_allocation_unit.first_page = c.first_page(data_pages());
        RecordBatches batches(record_rows());
        load(batches, false);
        EXPECT_EQ(batches.sources(), c.sources);
        EXPECT_EQ(batches.row_counter(), 12);
    }
}

TEST_F(BatchTest, Sql2000LayoutUsesTheIndexMapOrTheIamPagesOfThePageMap) {
    struct Case {
        bool clustered;
        PageSource source;
    };
    for (const Case& c :
         {Case{true, PageSource::kLegacyIndexChain}, Case{false, PageSource::kLegacyIamPages}}) {
        SCOPED_TRACE(c.clustered ? "clustered" : "heap");
        open(wide_table(20, c.clustered, Layout::k2000));
        ASSERT_TRUE(state.sql2000_layout.load());
        RecordBatches batches(record_rows());
        load(batches, false);
        EXPECT_EQ(batches.sources(), (std::vector<PageSource>{c.source}));
        EXPECT_EQ(batches.row_counter(), 20);
    }
}

// A chain of data pages that breaks (a zeroed page, a link to a page of something else, a loop) does not
// hide the pages after the break: they are read from the allocation maps, each once, and the log says so.
TEST_F(BatchTest, BrokenPageChainKeepsEveryOtherPage) {
    struct Case {
        const char* name;
        std::function<void(std::vector<std::byte>&, const std::vector<std::int32_t>&)> damage;
        std::int64_t rows;
        bool broken;
    };
    const auto set_next = [](std::vector<std::byte>& image, std::int32_t page, std::int32_t next) {
        auto at = page_start(image, page);
        for (int i = 0; i < 4; ++i) at[16 + i] = std::byte(static_cast<std::uint8_t>(next >> (8 * i)));
    };
    const auto zero = [](std::vector<std::byte>& image, std::int32_t page) {
        std::fill(page_start(image, page), page_start(image, page + 1), std::byte{0});
    };
    const std::vector<Case> cases = {
        {"intact", [](auto&, const auto&) {}, 20, false},
        {"first page zeroed", [&](auto& image, const auto& pages) { zero(image, pages.front()); }, 18, true},
        {"middle page zeroed", [&](auto& image, const auto& pages) { zero(image, pages[4]); }, 18, true},
        {"link to a page of something else", [&](auto& image, const auto& pages) { set_next(image, pages[3], 9); }, 20,
         true},
        {"two-page loop", [&](auto& image, const auto& pages) { set_next(image, pages[5], pages[4]); }, 20, true},
        {"the whole chain one cycle", [&](auto& image, const auto& pages) { set_next(image, pages.back(), pages.front()); },
         20, true},
    };
    for (Layout layout : {Layout::k2005, Layout::k2000}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (layout == Layout::k2000 ? ", 2000 layout" : ""));
            const std::vector<std::int32_t> pages =
                testing::build_database_image(wide_table(20, true, layout)).table("Wide")->data_pages;
            ASSERT_EQ(pages.size(), 10u);
            open(wide_table(20, true, layout), [&](std::vector<std::byte>& image) { c.damage(image, pages); });
            // The chain starts at the first data page (the catalog's first page of the unit).
            catalog->current_allocation_unit.first_page = {kPrimaryFileId, pages.front()};
            front.records_delete_all_rows();
            const std::size_t logged = front.log().size();
            RecordBatches batches(record_rows());
            load(batches, false);
            EXPECT_EQ(batches.row_counter(), c.rows);
            const std::vector<std::string> cells = first_cells();
            EXPECT_EQ(std::set<std::string>(cells.begin(), cells.end()).size(), cells.size()) << "a row shown twice";
            const Lines all = front.log();
            const Lines log(all.begin() + static_cast<std::ptrdiff_t>(std::min(logged, all.size())), all.end());
            const bool told = std::any_of(log.begin(), log.end(), [](const std::string& line) {
                return line.starts_with("The page chain of Wide ends early at page ");
            });
            // A zeroed first page of a 2005 table is no chain start: its allocation maps are read at once.
            const bool expected = c.broken && !(layout == Layout::k2005 && std::string(c.name) == "first page zeroed");
            EXPECT_EQ(told, expected);
        }
    }
}

// An IAM chain that points back to itself ends at once, with every page it allocates read once.
TEST_F(BatchTest, IamChainThatPointsToItselfEndsPromptly) {
    const std::int32_t iam = testing::build_database_image(wide_table(20)).table("Wide")->iam_page;
    open(wide_table(20), [iam](std::vector<std::byte>& image) {
        auto at = page_start(image, iam);
        for (int i = 0; i < 4; ++i) at[16 + i] = std::byte(static_cast<std::uint8_t>(iam >> (8 * i)));
    });
    RecordBatches batches(record_rows());
    load(batches, false);
    EXPECT_EQ(batches.sources(), (std::vector<PageSource>{PageSource::kIamChain}));
    EXPECT_EQ(batches.row_counter(), 20);
    const std::vector<std::string> cells = first_cells();
    EXPECT_EQ(std::set<std::string>(cells.begin(), cells.end()).size(), 20u);
}

TEST_F(BatchTest, DataPageDecoderHandsOnlyDataPagesWithTheFormOfTheLayout) {
    for (Layout layout : {Layout::k2005, Layout::k2000}) {
        open(wide_table(4, false, layout));
        std::vector<bool> forms;
        const PageRowDecoder decode =
            data_page_decoder([&](const PrimaryRecordPage&, auto&, bool layout_form) {
                forms.push_back(layout_form);
                return std::vector<DecodedRow>{};
            })(*db, *catalog, false);
        std::vector<ColumnDescriptor> schema = catalog->column_descriptors;
        decode(data_pages().front(), schema);
        decode({kPrimaryFileId, built.table("Wide")->iam_page}, schema);
        decode({kPrimaryFileId, 1 << 20}, schema);
        EXPECT_EQ(forms, (std::vector<bool>{layout == Layout::k2005}));
    }
}

}  // namespace
}  // namespace quenlow
