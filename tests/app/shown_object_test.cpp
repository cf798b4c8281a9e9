// Scanned builder databases shown through the main frame with the engine's seams: each tree item shows
// the object it stands for, and 8-bit text reads in its column's code page in every batch.

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
using testing::SqlType;
using testing::Value;
using Row = std::vector<std::string>;

constexpr const char* kPath = "/data/shown.mdf";
constexpr std::int32_t kLatinDatabase = 872468488;  // SQL_Latin1_General_CP1_CI_AS, code page 1252
constexpr std::int32_t kChinesePrc = 53284;         // Chinese_PRC_CI_AS, code page 936

class ShownObject : public ::testing::Test {
protected:
    void scan(const DatabaseSpec& db, bool placeholders = true) {
        files.add_file(kPath, testing::build_database(db));
        app.engine.collations = {{kLatinDatabase, {"SQL_Latin1_General_CP1_CI_AS", 1252}},
                                 {kChinesePrc, {"Chinese_PRC_CI_AS", 936}}};
        frame = test::scan_with_table_display(app, front, files, kPath, placeholders);
    }
    std::vector<std::string> user_tables() const {
        std::vector<std::string> out;
        for (TreeItemId item : frame->tree().children(frame->categories().user_tables))
            out.push_back(frame->tree().item_text(item));
        return out;
    }
    RecordListModel show(const std::string& text) {
        for (TreeItemId item : frame->tree().children(frame->categories().user_tables)) {
            if (frame->tree().item_text(item) != text) continue;
            EXPECT_TRUE(frame->on_show_object(item));
            frame->wait_for_worker();
            return front.record_list();
        }
        ADD_FAILURE() << "no table " << text;
        return {};
    }
    RecordListModel next() {
        EXPECT_TRUE(frame->on_next_records());
        frame->wait_for_worker();
        return front.record_list();
    }

    ApplicationState app;
    test::FakeFrontEnd front;
    MemoryFileSystem files;
    std::unique_ptr<MainFrame> frame;
};

TEST_F(ShownObject, TablesOfTheSameNameInTwoSchemasShowTheirOwnColumnsAndRows) {
    DatabaseSpec db;
    auto& mine = db.add_table("SchemaTable");
    mine.add_column("Id", SqlType::Int);
    mine.add_column("Description", SqlType::VarChar, 20);
    mine.add_row({Value::integer(1), Value::text("dbo row")});
    auto& theirs = db.add_table("SchemaTable");
    theirs.schema = "test";
    theirs.add_column("Code", SqlType::Int);
    theirs.add_row({Value::integer(7)});
    theirs.add_row({Value::integer(8)});
    db.add_table("Other").add_column("X", SqlType::Int);
    scan(db);

    const std::vector<std::string> tables = user_tables();
    EXPECT_EQ(tables, (std::vector<std::string>{"dbo.SchemaTable", "Other", "test.SchemaTable"}));

    RecordListModel list = show("test.SchemaTable");
    EXPECT_EQ(list.columns, (Row{"Code"}));
    EXPECT_EQ(list.rows, (std::vector<Row>{{"7"}, {"8"}}));
    list = show("dbo.SchemaTable");
    EXPECT_EQ(list.columns, (Row{"Id", "Description"}));
    EXPECT_EQ(list.rows, (std::vector<Row>{{"1", "dbo row"}}));
    // Each table grew its own column items.
    for (TreeItemId item : frame->tree().children(frame->categories().user_tables)) {
        if (frame->tree().item_text(item) != "test.SchemaTable") continue;
        const TreeItemId columns = frame->tree().children(item).back();
        ASSERT_EQ(frame->tree().children(columns).size(), 1u);
        EXPECT_EQ(frame->tree().item_text(frame->tree().children(columns).front()), "Code  int(4)");
    }
}

// GBK bytes of a Chinese column in a Latin-1 database, in the first batch, in the batches "Next
// Records" loads and in a load without placeholders.
TEST_F(ShownObject, ChineseColumnReadsInItsCodePageInEveryBatch) {
    DatabaseSpec db;
    db.collation_id = kLatinDatabase;
    auto& t = db.add_table("Stock");
    t.add_column("Id", SqlType::Int);
    t.add_column("Status", SqlType::VarChar, 20).collation_id = kChinesePrc;
    t.add_column("Latin", SqlType::VarChar, 20);
    const testing::Bytes in_stock = {std::byte{0xC8}, std::byte{0xEB}, std::byte{0xBF}, std::byte{0xE2}};
    const testing::Bytes cafe = {std::byte{'c'}, std::byte{'a'}, std::byte{'f'}, std::byte{0xE9}};
    constexpr int kRows = 2500;
    for (int i = 1; i <= kRows; ++i)
        t.add_row({Value::integer(i), Value::binary(in_stock), Value::binary(cafe)});

    for (bool placeholders : {true, false}) {
        SCOPED_TRACE(placeholders ? "first batch and Next" : "without placeholders");
        scan(db, placeholders);
        RecordListModel list = show("Stock");
        int batches = 1;
        for (;; ++batches) {
            ASSERT_FALSE(list.rows.empty());
            EXPECT_EQ(list.rows.front(), (Row{list.rows.front()[0], "入库", "café"}));
            EXPECT_EQ(list.rows.back(), (Row{list.rows.back()[0], "入库", "café"}));
            if (!list.next_enabled) break;
            list = next();
        }
        EXPECT_EQ(batches, 3);
    }
}

}  // namespace
}  // namespace quenlow
