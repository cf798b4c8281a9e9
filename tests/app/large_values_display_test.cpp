// Values stored on LOB pages in a scanned builder database, shown through the main frame with the
// engine's own page decoder: text pointers (text, ntext, image) in both catalog layouts and in-row roots
// of (max) columns, with and without the first batch's placeholders.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/engine_seams.h"
#include "app/table_display.h"
#include "tests/app/fake_front_end.h"
#include "tests/app/scanned_frame.h"
#include "tests/support/database_builder.h"
#include "tests/support/page_builder.h"

namespace quenlow {
namespace {

using testing::DatabaseSpec;
using testing::Layout;
using testing::SqlType;
using testing::Value;
using Row = std::vector<std::string>;

constexpr const char* kPath = "/data/lobs.mdf";

std::string repeated(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

std::string hex(const testing::Bytes& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out = "0x";
    for (std::byte b : bytes) {
        out += digits[std::to_integer<unsigned>(b) >> 4];
        out += digits[std::to_integer<unsigned>(b) & 15];
    }
    return out;
}

const std::string kLongText = repeated("The quick brown fox jumps over the lazy dog. ", 400);  // 18000 bytes
const std::string kUnicode = repeated("Ωμέγα 日本語 Grüße ", 700);
const testing::Bytes kPicture = testing::random_bytes(20000, 11);
const testing::Bytes kIcon = testing::random_bytes(30, 12);

struct Expected {
    Row first;   // id 1
    Row second;  // id 2
};

class LargeValuesDisplay : public ::testing::Test {
protected:
    void build(Layout layout, bool max_columns) {
        DatabaseSpec db;
        db.layout = layout;
        auto& t = db.add_table("Documents");
        t.add_column("Id", SqlType::Int);
        t.add_column("Body", SqlType::Text, 0, true);
        t.add_column("Note", SqlType::NText, 0, true);
        t.add_column("Picture", SqlType::Image, 0, true);
        if (max_columns) {
            t.add_column("Big", SqlType::VarChar, -1, true).off_row = true;
            t.add_column("Wide", SqlType::NVarChar, -1, true).off_row = true;
            t.add_column("Blob", SqlType::VarBinary, -1, true).off_row = true;
        }
        t.primary_key({"Id"});
        std::vector<Value> first = {Value::integer(1), Value::text(kLongText), Value::text(kUnicode),
                                    Value::binary(kPicture)};
        std::vector<Value> second = {Value::integer(2), Value::text("short"), Value::text("Ω"),
                                     Value::binary(kIcon)};
        if (max_columns) {
            first.insert(first.end(),
                         {Value::text(kLongText), Value::text(kUnicode), Value::binary(kPicture)});
            second.insert(second.end(), {Value::text("s"), Value::text("日本"), Value::binary(kIcon)});
        }
        t.add_row(first);
        t.add_row(second);
        files.add_file(kPath, testing::build_database(db));
    }
    RecordListModel show(bool placeholders) {
        frame = test::scan_with_table_display(app, front, files, kPath, placeholders);
        for (TreeItemId child : frame->tree().children(frame->categories().user_tables)) {
            if (frame->tree().item_text(child) != "Documents") continue;
            EXPECT_TRUE(frame->on_show_object(child));
            frame->wait_for_worker();
            return front.record_list();
        }
        ADD_FAILURE() << "no table Documents";
        return {};
    }

    ApplicationState app;
    test::FakeFrontEnd front;
    MemoryFileSystem files;
    std::unique_ptr<MainFrame> frame;
};

class LargeValuesDisplayTest : public LargeValuesDisplay, public ::testing::WithParamInterface<Layout> {};

TEST_P(LargeValuesDisplayTest, TextPointersShowTheirValues) {
    build(GetParam(), false);
    const RecordListModel list = show(false);
    ASSERT_EQ(list.rows.size(), 2u);
    EXPECT_EQ(list.rows[0], (Row{"1", kLongText, kUnicode, hex(kPicture)}));
    EXPECT_EQ(list.rows[1], (Row{"2", "short", "Ω", hex(kIcon)}));
}

TEST_P(LargeValuesDisplayTest, FirstBatchShowsPlaceholdersForTextPointers) {
    build(GetParam(), false);
    const RecordListModel list = show(true);
    ASSERT_EQ(list.rows.size(), 2u);
    EXPECT_EQ(list.rows[1], (Row{"2", "<BINARY DATA>", "<BINARY DATA>", "<BINARY DATA>"}));
}

// (max) columns came with SQL Server 2005.
TEST_F(LargeValuesDisplay, InRowRootsAreReadEvenInTheFirstBatch) {
    build(Layout::k2005, true);
    for (bool placeholders : {false, true}) {
        SCOPED_TRACE(placeholders ? "first batch" : "all rows");
        const RecordListModel list = show(placeholders);
        ASSERT_EQ(list.rows.size(), 2u);
        ASSERT_EQ(list.rows[0].size(), 7u);
        EXPECT_EQ(list.rows[0][4], kLongText);
        EXPECT_EQ(list.rows[0][5], kUnicode);
        EXPECT_EQ(list.rows[0][6], hex(kPicture));
        EXPECT_EQ(list.rows[1][4], "s");
        EXPECT_EQ(list.rows[1][5], "日本");
        EXPECT_EQ(list.rows[1][6], hex(kIcon));
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, LargeValuesDisplayTest, ::testing::Values(Layout::k2005, Layout::k2000),
                         [](const ::testing::TestParamInfo<Layout>& info) {
                             return info.param == Layout::k2005 ? std::string("Layout2005")
                                                                : std::string("Layout2000");
                         });

}  // namespace
}  // namespace quenlow
