// The batch loader over a streaming page decoder: the same batches, resume points and front end calls
// as over a decoder that returns each page's rows as a list, and no row decoded past a full batch.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "app/record_batches.h"
#include "engine/catalog/catalog_build.h"
#include "tests/app/fake_front_end.h"
#include "tests/support/database_builder.h"

namespace quenlow {
namespace {

using testing::SqlType;
using testing::Value;
using Lines = std::vector<std::string>;

constexpr const char* kPath = "/data/wide.mdf";

// Row r of the page at list index p reads "p.r", then "x"; a row whose cells would all be empty comes
// every 97th row, so the removal rule runs through both decoders.
void fill_row(std::vector<ColumnDescriptor>& descriptors, std::size_t page, int r) {
    for (std::size_t c = 0; c < descriptors.size(); ++c) {
        const bool empty = r % 97 == 96;
        descriptors[c].value_text = empty    ? ""
                                    : c == 0 ? std::to_string(page) + "." + std::to_string(r)
                                             : "x";
    }
}

class StreamBatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::DatabaseSpec recipe;
        auto& t = recipe.add_table("Wide");
        t.add_column("Id", SqlType::Int);
        t.add_column("Pad", SqlType::Char, 3000);
        for (int i = 0; i < 10; ++i) t.add_row({Value::integer(i), Value::text("pad")});
        built = testing::build_database_image(recipe);
        files.add_file(kPath, built.image);
        db = OpenedDatabase::open(kPath, ReadOptions{}, {state, events, files}, catalog_builder());
        ASSERT_TRUE(db->is_open());
        catalog = dynamic_cast<SystemCatalog*>(db->catalog());
        ASSERT_NE(catalog, nullptr);
        assemble_object(*catalog, "Wide", "U ", {});
        for (std::int32_t p : built.table("Wide")->data_pages) pages.push_back({kPrimaryFileId, p});
    }
    std::size_t index_of(PageAddress address) const {
        return static_cast<std::size_t>(std::find(pages.begin(), pages.end(), address) - pages.begin());
    }
    int rows_of(PageAddress address) const {
        const std::size_t i = index_of(address);
        return i < counts.size() ? counts[i] : 0;
    }
    PageRowDecoderFactory list_decoder() {
        return [this](OpenedDatabase&, SystemCatalog&, bool) -> PageRowDecoder {
            return [this](PageAddress address, std::vector<ColumnDescriptor>& descriptors) {
                std::vector<DecodedRow> rows;
                for (int r = 0; r < rows_of(address); ++r) {
                    fill_row(descriptors, index_of(address), r);
                    rows.push_back(descriptors);
                }
                return rows;
            };
        };
    }
    // Notes per page visit how many rows it decoded.
    PageRowDecoderFactory stream_decoder() {
        return [this](OpenedDatabase&, SystemCatalog&, bool) {
            return PageRowDecoder::streaming([this](PageAddress address,
                                                    std::vector<ColumnDescriptor>& descriptors,
                                                    const PageRowVisitor& visit) {
                int decoded = 0;
                for (int r = 0; r < rows_of(address); ++r) {
                    fill_row(descriptors, index_of(address), r);
                    ++decoded;
                    if (!visit(descriptors)) break;
                }
                decoded_per_visit.push_back(decoded);
            });
        };
    }
    BatchContext context(test::FakeFrontEnd& front) {
        return {*db,
                *catalog,
                front,
                true,
                [&front](std::string_view text) { front.log_line(text); },
                [this](std::string_view text) { file_lines.emplace_back(text); },
                &running};
    }
    // Load, Next, Next, Previous, Next; the front end's calls and the resume points after each.
    std::vector<Lines> walk(PageRowDecoderFactory decoder) {
        test::FakeFrontEnd front;
        for (std::size_t c = 0; c < catalog->column_descriptors.size(); ++c)
            front.records_add_column(static_cast<int>(c), catalog->column_descriptors[c].name, 200);
        RecordBatches batches(std::move(decoder));
        DisplayState display;
        std::vector<Lines> steps;
        auto note = [&] {
            Lines step = front.calls();
            for (const ResumePoint& p : batches.resume_points())
                step.push_back(std::to_string(p.page_index) + "/" + std::to_string(p.row_index));
            steps.push_back(step);
            front.clear_calls();
        };
        batches.load_table_rows(context(front));
        display.page_number = 1;
        note();
        for (int step = 0; step < 4; ++step) {
            running = 1;
            if (step == 2)
                batches.previous_batch(context(front), display);
            else
                batches.next_batch(context(front), display);
            note();
        }
        return steps;
    }

    testing::BuiltDatabase built;
    MemoryFileSystem files;
    EngineState state;
    NullEngineEvents events;
    std::unique_ptr<OpenedDatabase> db;
    SystemCatalog* catalog = nullptr;
    std::vector<PageAddress> pages;
    std::vector<int> counts;
    std::vector<int> decoded_per_visit;
    std::atomic<int> running{1};
    Lines file_lines;
};

TEST_F(StreamBatchTest, StreamingGivesTheBatchesOfTheListDecoder) {
    const std::vector<std::vector<int>> layouts = {
        {400, 400, 400, 300, 0}, {1000, 1000, 5}, {999, 1, 1000, 0}};
    for (const auto& layout : layouts) {
        counts = layout;
        const std::vector<Lines> by_list = walk(list_decoder());
        const Lines list_file = file_lines;
        file_lines.clear();
        const std::vector<Lines> by_stream = walk(stream_decoder());
        EXPECT_EQ(by_stream, by_list) << layout.size();
        EXPECT_EQ(file_lines, list_file);
        file_lines.clear();
    }
}

TEST_F(StreamBatchTest, DecodingStopsWhereTheBatchFills) {
    counts = {400, 400, 400, 300};
    walk(stream_decoder());
    // First load: pages 0 and 1 whole, page 2 up to its row 200, which is declined (so 201 decoded).
    // Next: page 2 again from its start (its first 200 rows are decoded but not inserted), page 3, done.
    ASSERT_GE(decoded_per_visit.size(), 5u);
    EXPECT_EQ((std::vector<int>(decoded_per_visit.begin(), decoded_per_visit.begin() + 5)),
              (std::vector<int>{400, 400, 201, 400, 300}));
}

}  // namespace
}  // namespace quenlow
