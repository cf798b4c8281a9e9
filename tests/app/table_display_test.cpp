// A click on a tree item of a scanned builder database, through the main frame: the schema items a
// table grows, the record list's columns, the first batch with its page label and log lines, paging
// through the frame's commands, and the items that are not tables.

#include "app/table_display.h"

#include <gtest/gtest.h>

#include "app/engine_seams.h"
#include "engine/pages/byte_reader.h"
#include "tests/app/fake_front_end.h"
#include "tests/app/test_files.h"
#include "tests/support/database_builder.h"

namespace quenlow {
namespace {

using testing::DatabaseSpec;
using testing::Layout;
using testing::SqlType;
using testing::Value;
using Lines = std::vector<std::string>;

constexpr const char* kPath = "/data/shop.mdf";

DatabaseSpec shop(Layout layout = Layout::k2005) {
    DatabaseSpec db;
    db.layout = layout;
    auto& customers = db.add_table("Customers");
    customers.add_column("Id", SqlType::Int);
    customers.add_column("Name", SqlType::VarChar, 40, true);
    customers.add_column("Active", SqlType::Int);
    customers.primary_key({"Id"});
    for (int i = 1; i <= 3; ++i) customers.add_row({Value::integer(i), Value::text("n"), Value::integer(1)});
    db.add_default("DF_Customers_Active", "Customers", "Active", "((1))");
    auto& orders = db.add_table("Orders");
    orders.add_column("OrderId", SqlType::Int);
    orders.add_column("CustomerId", SqlType::Int);
    orders.primary_key({"OrderId"});
    orders.add_row({Value::integer(7), Value::integer(1)});
    db.add_foreign_key("FK_Orders_Customers", "Orders", {"CustomerId"}, "Customers", {"Id"});
    auto& big = db.add_table("Big");
    big.add_column("N", SqlType::Int);
    for (int i = 0; i < 2500; ++i) big.add_row({Value::integer(i)});
    db.add_table("Empty").add_column("X", SqlType::Int);
    db.add_view("Recent", "CREATE VIEW Recent AS SELECT 1 AS One");
    return db;
}

// One row per record of a data page: the first column's int value (the first four bytes of the fixed
// part), then "v" per further column.
PageRowDecoderFactory first_int_records() {
    return data_page_decoder(
        [](const PrimaryRecordPage& page, std::vector<ColumnDescriptor>& descriptors, bool) {
            std::vector<DecodedRow> rows;
            for (const auto& record : page.records()) {
                if (!record) continue;
                for (std::size_t c = 0; c < descriptors.size(); ++c)
                    descriptors[c].value_text =
                        c == 0 ? std::to_string(load_le_or<std::int32_t>(record->fixed_part, 0, -1)) : "v";
                rows.push_back(descriptors);
            }
            return rows;
        });
}

class TableDisplayTest : public ::testing::Test {
protected:
    explicit TableDisplayTest(Layout layout = Layout::k2005) {
        files.add_file(kPath, testing::build_database(shop(layout)));
        OpenChoices choices;
        choices.mdf_path = kPath;
        front.dialog_result = choices;
    }
    void scan(std::function<void(TableDisplaySettings&)> adjust = {}) {
        MainFrameSeams seams = engine_seams();
        TableDisplaySettings settings;
        settings.decoder = first_int_records();
        if (adjust) adjust(settings);
        display = bind_table_display(seams, std::move(settings));
        frame = std::make_unique<MainFrame>(app, front, files, std::move(seams));
        frame->on_open();
        frame->wait_for_worker();
        ASSERT_FALSE(frame->tree().empty());
    }
    TreeItemId table(const std::string& name) const {
        for (TreeItemId child : frame->tree().children(frame->categories().user_tables))
            if (frame->tree().item_text(child) == name) return child;
        ADD_FAILURE() << "no table " << name;
        return kNoItem;
    }
    void click(TreeItemId item) {
        front.clear_calls();
        ASSERT_TRUE(frame->on_show_object(item));
        frame->wait_for_worker();
        EXPECT_FALSE(frame->busy());
    }
    std::string outline_of(TreeItemId item) const {
        std::string out;
        outline(item, 0, out);
        return out;
    }
    void outline(TreeItemId item, int depth, std::string& out) const {
        out += std::string(static_cast<std::size_t>(depth) * 2, ' ') + frame->tree().item_text(item) + "\n";
        for (TreeItemId child : frame->tree().children(item)) outline(child, depth + 1, out);
    }

    ApplicationState app;
    test::FakeFrontEnd front;
    MemoryFileSystem files;
    std::shared_ptr<TableDisplay> display;
    std::unique_ptr<MainFrame> frame;
};

TEST_F(TableDisplayTest, FirstClickGrowsTheSchemaItemsAndShowsTheFirstBatch) {
    scan();
    const TreeItemId customers = table("Customers");
    click(customers);

    EXPECT_EQ(outline_of(customers),
              "Customers\n"
              "  ForeignKey\n"
              "  Unique\n"
              "  Constraint\n"
              "    DF_Customers_Active\n"
              "  PrimaryKey\n"
              "    PK_Customers\n"
              "  Columns\n"
              "    Id  int(4)[Primary Key]\n"
              "    Name  varchar(40)\n"
              "    Active  int(4)\n");
    EXPECT_EQ(front.mirrored_outline(), format_outline(frame->tree()));
    EXPECT_EQ(frame->tree().item_data(frame->tree().first_child(frame->tree().children(customers)[2])), 1u)
        << "constraint children carry item data 1";
    EXPECT_EQ(frame->tree().item_text(display->primary_key_item()), "PrimaryKey");

    const RecordListModel list = front.record_list();
    EXPECT_TRUE(list.table_arrangement);
    EXPECT_EQ(list.columns, (Lines{"Id", "Name", "Active"}));
    EXPECT_EQ(list.rows, (std::vector<Lines>{{"1", "v", "v"}, {"2", "v", "v"}, {"3", "v", "v"}}));
    EXPECT_EQ(list.page_label, "Page1 - [3](1-3) Records");
    EXPECT_FALSE(list.previous_enabled);
    EXPECT_FALSE(list.next_enabled);
    EXPECT_EQ(frame->display().page_number, 1);
    EXPECT_EQ(frame->display().list_columns, 3);
    // The click's line is overwritten by the row counter.
    EXPECT_EQ(front.log(),
              (Lines{" row 3 inserted", "0 rows to 3", "Customers[3]", "Scanning process completed."}));
    EXPECT_EQ(front.calls_starting("caption: ").back(), "Customers[3]");
    EXPECT_EQ(app.running.load(), 0);
    EXPECT_EQ(front.calls().back(), "log: Scanning process completed.");
}

TEST_F(TableDisplayTest, SecondClickAddsNoItemsAndLoadsTheRowsAgain) {
    scan();
    const TreeItemId customers = table("Customers");
    click(customers);
    const std::size_t items = frame->tree().size();
    click(customers);
    EXPECT_EQ(frame->tree().size(), items);
    EXPECT_TRUE(front.calls_starting("tree insert").empty());
    EXPECT_EQ(front.record_list().rows.size(), 3u);
    // The columns of the first display are taken away before the same ones are set up again.
    EXPECT_EQ(front.calls_starting("records: delete ").front(), "all rows");
    EXPECT_EQ(front.calls_starting("records: delete 3 columns").size(), 1u);
    EXPECT_EQ(front.record_list().columns, (Lines{"Id", "Name", "Active"}));
}

TEST_F(TableDisplayTest, ForeignKeyColumnNamesWhatItReferences) {
    scan();
    const TreeItemId orders = table("Orders");
    click(orders);
    EXPECT_EQ(outline_of(orders),
              "Orders\n"
              "  ForeignKey\n"
              "    FK_Orders_Customers\n"
              "  Unique\n"
              "  Constraint\n"
              "  PrimaryKey\n"
              "    PK_Orders\n"
              "  Columns\n"
              "    OrderId  int(4)[Primary Key]\n"
              "    CustomerId  int(4)  (foreign key) references Customers( Id)\n");
}

TEST_F(TableDisplayTest, EmptyTableShowsPageOneWithNoRows) {
    scan();
    click(table("Empty"));
    const RecordListModel list = front.record_list();
    EXPECT_TRUE(list.table_arrangement);
    EXPECT_EQ(list.page_label, "Page1 - [0](0-0) Records");
    EXPECT_FALSE(list.previous_enabled);
    EXPECT_FALSE(list.next_enabled);
    EXPECT_EQ(front.log(), (Lines{"Please wait while Empty folder is scanning.", "Empty[0]",
                                  "Scanning process completed."}));
}

TEST_F(TableDisplayTest, PagingThroughTheFrameLabelsEveryBatch) {
    test::TempFolder logs;
    OpenChoices choices = *front.dialog_result;
    choices.log_folder = logs.path();
    front.dialog_result = choices;
    scan();
    click(table("Big"));
    RecordListModel list = front.record_list();
    EXPECT_EQ(list.page_label, "Page1 - [1000](1-1000) Records");
    EXPECT_TRUE(list.next_enabled);
    EXPECT_EQ(list.rows.front().front(), "0");

    struct Step {
        bool next;
        std::string label;
        std::string first_cell;
        bool next_enabled;
    };
    const std::vector<Step> steps = {
        {true, "Page2 - [1000](1001-2000) Records", "1000", true},
        {true, "Page3 - [500](2001-2500) Records", "2000", false},
        {false, "Page2 - [1000](1001-2000) Records", "1000", true},
        {false, "Page0 - [1000](1-1000) Records", "0", true},
        {true, "Page2 - [1000](1001-2000) Records", "1000", true},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.label);
        front.clear_calls();
        ASSERT_TRUE(step.next ? frame->on_next_records() : frame->on_previous_records());
        frame->wait_for_worker();
        list = front.record_list();
        EXPECT_EQ(list.page_label, step.label);
        EXPECT_EQ(list.rows.front().front(), step.first_cell);
        EXPECT_EQ(list.next_enabled, step.next_enabled);
        EXPECT_EQ(front.calls().back(), "progress hidden");
        EXPECT_FALSE(frame->busy());
    }

    // Rows of the first batch are counted in the pane only; those of later batches reach the file too.
    const std::string file = test::utf16le_to_utf8(test::read_bytes(app.log_file_path).substr(2));
    std::size_t row_lines = 0;
    for (std::size_t at = file.find(" inserted\r\n"); at != std::string::npos;
         at = file.find(" inserted\r\n", at + 1))
        ++row_lines;
    EXPECT_EQ(row_lines, 1000u + 500u + 1000u + 1000u + 1000u);
    EXPECT_NE(file.find("Please wait while Big folder is scanning.\r\n0 rows to 1000\r\nBig[1000]\r\n"),
              std::string::npos);
    EXPECT_NE(file.find(" row 1000 inserted\r\n1000 rows to 2000\r\n"), std::string::npos);
}

TEST_F(TableDisplayTest, CategoryAndViewItemsShowNothingWithoutTheOtherItemSeam) {
    scan();
    click(frame->categories().tables);
    EXPECT_EQ(front.log(), (Lines{"Please wait while Tables folder is scanning.", "Tables[0]",
                                  "Scanning process completed."}));
    EXPECT_TRUE(front.calls_starting("records: table").empty());
    EXPECT_EQ(front.record_list().page_label, "Page1 - [0](0-0) Records");

    const TreeItemId view = frame->tree().first_child(frame->categories().views);
    click(view);
    EXPECT_EQ(front.log().back(), "Scanning process completed.");
    EXPECT_EQ(front.log()[1], "Recent[0]");
}

TEST_F(TableDisplayTest, OtherItemsGoToTheirSeamWithTheirParent) {
    std::vector<ShownItem> shown;
    scan([&](TableDisplaySettings& s) {
        s.show_other_item = [&](MainFrame& f, const ShownItem& item) {
            shown.push_back(item);
            f.front().records_set_text("definition");
        };
    });
    const TreeItemId customers = table("Customers");
    click(customers);
    EXPECT_TRUE(shown.empty());
    const TreeItemId primary_key = display->primary_key_item();
    click(frame->tree().first_child(primary_key));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "PK_Customers");
    EXPECT_EQ(shown[0].parent_text, "PrimaryKey");
    EXPECT_FALSE(shown[0].assembled);
    EXPECT_EQ(front.record_list().text, "definition");
    EXPECT_EQ(front.log()[1], "PK_Customers[0]");
}

TEST_F(TableDisplayTest, RootOrNoCatalogEndsTheWorkerAtOnce) {
    scan();
    click(frame->categories().root);
    EXPECT_EQ(front.log(), (Lines{"Please wait while " + std::string(kPath) + " folder is scanning."}));
    EXPECT_EQ(front.calls().back(), "progress hidden");
    EXPECT_EQ(app.running.load(), 0);

    frame->release_database();
    click(table("Customers"));
    EXPECT_EQ(front.log(), (Lines{"Please wait while Customers folder is scanning."}));
    front.clear_calls();
    ASSERT_TRUE(frame->on_next_records());
    frame->wait_for_worker();
    EXPECT_EQ(front.calls(), (Lines{"records: next false", "progress hidden"}));
}

TEST(ColumnItemText, KeyMarksAndReferences) {
    struct Case {
        bool primary_key, unique, unique_constraint, foreign_key;
        std::string text;
    };
    const std::vector<Case> cases = {
        {false, false, false, false, "id  int(4)"},
        {true, false, false, false, "id  int(4)[Primary Key]"},
        {true, true, true, false, "id  int(4)[Primary Key]"},
        {false, true, false, false, "id  int(4)[Unique]"},
        {false, false, true, false, "id  int(4)[Unique]"},
        {false, false, false, true, "id  int(4)  (foreign key) references T( c)"},
        {true, false, false, true, "id  int(4)[Primary Key]  (foreign key) references T( c)"},
    };
    for (const Case& c : cases) {
        ColumnDescriptor column;
        column.name = "id";
        column.type_text = "int(4)";
        column.primary_key = c.primary_key;
        column.unique = c.unique;
        column.unique_constraint = c.unique_constraint;
        column.foreign_key = c.foreign_key;
        column.referenced_table = "T";
        column.referenced_column = "c";
        EXPECT_EQ(column_item_text(column), c.text);
    }
}

class DroppedColumnTest : public TableDisplayTest, public ::testing::WithParamInterface<bool> {};

// A column that is not stored gets no list column, except in the SQL Server 2000 layout; the frame counts
// it either way.
TEST_P(DroppedColumnTest, SetupColumnsSkipsColumnsThatAreNotStored) {
    scan();
    click(table("Customers"));
    SystemCatalog& catalog = *frame->catalog();
    catalog.column_descriptors[1].physical_column_id = kNotStored;
    app.engine.sql2000_layout.store(GetParam());
    front.clear_calls();
    setup_columns(*frame);
    EXPECT_EQ(frame->display().list_columns, 3);
    const Lines expected =
        GetParam() ? Lines{"0 Id 200", "1 Name 200", "2 Active 200"} : Lines{"0 Id 200", "1 Active 200"};
    EXPECT_EQ(front.calls_starting("records: column "), expected);
}

INSTANTIATE_TEST_SUITE_P(Layouts, DroppedColumnTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Sql2000" : "Later"; });

}  // namespace
}  // namespace quenlow
