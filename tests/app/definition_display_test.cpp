// Definitions, key statements and check statements through the main frame, on builder databases of both
// layouts decoded by the engine's own decoders: the definition pass of a scan, the display list retrieved
// on the first definition shown, and what a click on each kind of item shows and logs.

#include "app/definition_display.h"

#include <gtest/gtest.h>

#include "app/engine_seams.h"
#include "tests/app/fake_front_end.h"
#include "tests/app/test_files.h"
#include "tests/support/catalog_fixture.h"
#include "tests/support/database_builder.h"

namespace quenlow {
namespace {

using testing::DatabaseSpec;
using testing::Layout;
using testing::SqlType;
using testing::Value;
using Lines = std::vector<std::string>;

constexpr const char* kPath = "/data/stock.mdf";
constexpr const char* kProcedure =
    "CREATE PROCEDURE Restock AS\r\nUPDATE Items SET Qty = Qty + 10\r\nRETURN 0";

std::vector<std::byte> ascii(std::string_view text) {
    std::vector<std::byte> out;
    for (char c : text) out.push_back(static_cast<std::byte>(c));
    return out;
}

DatabaseSpec stock(Layout layout) {
    DatabaseSpec db;
    db.layout = layout;
    auto& items = db.add_table("Items");
    items.add_column("Id", SqlType::Int);
    // Nullable: the SQL Server 2000 key tables take their columns by bit 0 of the type status, which on
    // disk marks every NOT NULL column.
    items.add_column("Qty", SqlType::Int, 0, true);
    if (layout == Layout::k2005) {
        auto& total = items.add_column("Twice", SqlType::Int, 0, true);
        total.stored = false;
        total.computed = "([Qty]*(2))";
    }
    items.primary_key({"Id"});
    items.add_row(layout == Layout::k2005
                      ? std::vector<Value>{Value::integer(1), Value::integer(5), Value::null()}
                      : std::vector<Value>{Value::integer(1), Value::integer(5)});
    db.add_default("DF_Items_Qty", "Items", "Qty", "((1))");
    db.add_check("CK_Items_Qty", "Items", "([Qty]>=(0))");
    // Three rows of at most 30 characters.
    db.add_procedure("Restock", kProcedure).storage.chunk_chars = 30;
    db.add_view("Plain", "CREATE VIEW Plain AS SELECT 1 AS One").storage.eight_bit = true;
    db.add_definition_row("Plain", 0, ascii("CREATE VIEW Plain AS SELECT 1 AS One"));
    db.add_view("Wide", "CREATE VIEW Wide AS SELECT 2 AS Two");
    db.add_definition_row("Wide", 0, testing::utf16_bytes("--again"));
    db.add_function("One", "X").storage.eight_bit = true;
    db.add_view("Bare", "CREATE VIEW Bare AS SELECT 3 AS Three");
    return db;
}

class DefinitionDisplayTest : public ::testing::TestWithParam<Layout> {
protected:
    void SetUp() override {
        files.add_file(kPath, testing::build_database(stock(GetParam())));
        OpenChoices choices;
        choices.mdf_path = kPath;
        front.dialog_result = choices;
        frame = std::make_unique<MainFrame>(app, front, files, engine_seams());
        frame->on_open();
        frame->wait_for_worker();
        ASSERT_FALSE(frame->tree().empty());
    }
    bool sql2000() const { return GetParam() == Layout::k2000; }

    TreeItemId child(TreeItemId parent, const std::string& text) const {
        for (TreeItemId c : frame->tree().children(parent))
            if (frame->tree().item_text(c) == text) return c;
        ADD_FAILURE() << "no item " << text << " under " << frame->tree().item_text(parent);
        return kNoItem;
    }
    void click(TreeItemId item) {
        front.clear_calls();
        ASSERT_TRUE(frame->on_show_object(item));
        frame->wait_for_worker();
        EXPECT_FALSE(frame->busy());
    }
    // Shows an item and returns the text box.
    std::string shown_text(TreeItemId item) {
        click(item);
        return front.record_list().text;
    }
    TreeItemId view(const std::string& name) const { return child(frame->categories().views, name); }
    TreeItemId items_table() const { return child(frame->categories().user_tables, "Items"); }

    ApplicationState app;
    test::FakeFrontEnd front;
    MemoryFileSystem files;
    std::unique_ptr<MainFrame> frame;
};

TEST_P(DefinitionDisplayTest, TheScanCollectsTheScanListAndLogsThePass) {
    const Lines log = front.log();
    const auto at = std::find(log.begin(), log.end(), kRetrievingDefinitions);
    ASSERT_NE(at, log.end());
    ASSERT_LT(at + 2, log.end());
    EXPECT_EQ(*(at + 1), kDefinitionsRetrieved);
    EXPECT_EQ(*(at + 2), "Scanning completed for selected mdf file.");
    EXPECT_EQ(*(at - 1), "Process done.........");

    const DefinitionLists& lists = frame->definitions();
    // Restock's three rows, two of Plain, two of Wide, One, Bare, the default and the check; the later
    // layout adds the computed column.
    EXPECT_EQ(lists.scan.size(), sql2000() ? 11u : 12u);
    EXPECT_TRUE(lists.display.empty());
    EXPECT_FALSE(lists.retrieved);
    for (const DefinitionFragment& f : lists.scan) EXPECT_EQ(f.value_text.rfind("0x", 0), 0u) << f.value_text;
}

TEST_P(DefinitionDisplayTest, AViewShowsItsDefinitionRetrievedOnFirstUse) {
    click(view("Bare"));
    const RecordListModel list = front.record_list();
    EXPECT_FALSE(list.table_arrangement);
    EXPECT_EQ(list.text, "CREATE VIEW Bare AS SELECT 3 AS Three");
    EXPECT_EQ(list.page_label, "Page1 - [0](0-0) Records");
    EXPECT_FALSE(list.next_enabled);
    EXPECT_EQ(front.log(), (Lines{"Please wait while Bare folder is scanning.", kRetrievingDefinitions,
                                  kDefinitionsRetrieved, "Bare[0]", "Scanning process completed."}));
    EXPECT_EQ(front.calls_starting("caption: ").back(), "Bare[0]");
    EXPECT_TRUE(frame->definitions().retrieved);
    EXPECT_EQ(frame->definitions().display.size(), frame->definitions().scan.size());
    EXPECT_EQ(app.running.load(), 0);

    // Later definitions come from the same list, without a second retrieval.
    EXPECT_EQ(shown_text(view("Bare")), "CREATE VIEW Bare AS SELECT 3 AS Three");
    EXPECT_EQ(front.log(), (Lines{"Please wait while Bare folder is scanning.", "Bare[0]",
                                  "Scanning process completed."}));
}

TEST_P(DefinitionDisplayTest, FragmentsJoinByTheirEncoding) {
    struct Case {
        TreeItemId category;
        std::string name;
        std::string text;
    };
    const TreeCategories& c = frame->categories();
    const std::vector<Case> cases = {
        {c.store_procedure, "Restock", kProcedure},
        {c.views, "Plain", "CREATE VIEW Plain AS SELECT 1 AS One"},       // 8-bit, stored twice: once
        {c.views, "Wide", "CREATE VIEW Wide AS SELECT 2 AS Two--again"},  // UTF-16: every row
        {c.function, "One", "X"},                                         // a single byte
    };
    for (const Case& k : cases) EXPECT_EQ(shown_text(child(k.category, k.name)), k.text) << k.name;
}

TEST_P(DefinitionDisplayTest, KeyAndConstraintItemsOfATable) {
    const TreeItemId table = items_table();
    click(table);
    const TreeItemId primary_key = child(table, "PrimaryKey");
    const TreeItemId constraint = child(table, "Constraint");

    EXPECT_EQ(shown_text(child(constraint, "CK_Items_Qty")),
              "ALTER TABLE  [dbo].[Items] WITH NOCHECK ADD CONSTRAINT[CK_Items_Qty] CHECK ([Qty]>=(0))");
    EXPECT_EQ(front.log()[front.log().size() - 2], "CK_Items_Qty[0]");
    // A default under "Constraint" reads the same way.
    EXPECT_EQ(shown_text(child(constraint, "DF_Items_Qty")),
              "ALTER TABLE  [dbo].[Items] WITH NOCHECK ADD CONSTRAINT[DF_Items_Qty] CHECK ((1))");

    // The key statement names the table and its key columns from the SQL Server 2000 key tables; the
    // later layout has none.
    EXPECT_EQ(shown_text(child(primary_key, "PK_Items")),
              sql2000() ? "ALTER TABLE Items ADD PRIMARY KEY ( Id )" : "ALTER TABLE  ADD PRIMARY KEY ( )");
    EXPECT_FALSE(front.record_list().table_arrangement);
    EXPECT_EQ(front.log(), (Lines{"Please wait while PK_Items folder is scanning.", "PK_Items[0]",
                                  "Scanning process completed."}));
}

TEST_P(DefinitionDisplayTest, ItemsWithoutContentShowNothing) {
    for (TreeItemId item : {frame->categories().views, frame->categories().function}) {
        const std::string name = frame->tree().item_text(item);
        EXPECT_EQ(shown_text(item), "") << name;
        EXPECT_EQ(front.log(), (Lines{"Please wait while " + name + " folder is scanning.", name + "[0]",
                                      "Scanning process completed."}));
        EXPECT_FALSE(frame->definitions().retrieved);
    }
}

TEST_P(DefinitionDisplayTest, MalformedValueTextsGiveEmptyTexts) {
    // Fragments as a damaged table could leave them: odd length, characters that are not hex digits.
    const std::string id = std::to_string(find_object(*frame->catalog(), "Bare", "V ").object_id);
    frame->definitions().display = {
        {id, "0", "0x41424"}, {id, "0", "0xZZ"}, {id, "0", "0x41G2"}, {id, "0", ""}, {id, "0", "1"}};
    frame->definitions().retrieved = true;
    EXPECT_EQ(shown_text(view("Bare")), "");
    EXPECT_EQ(front.log().back(), "Scanning process completed.");
}

TEST_P(DefinitionDisplayTest, ATableStillShowsItsRowsAfterADefinition) {
    click(view("Bare"));
    click(items_table());
    const RecordListModel list = front.record_list();
    EXPECT_TRUE(list.table_arrangement);
    EXPECT_EQ(list.columns, (Lines{"Id", "Qty"}));
    ASSERT_EQ(list.rows.size(), 1u);
    EXPECT_EQ(list.rows[0], (Lines{"1", "5"}));
    if (!sql2000()) {
        // The computed column takes its definition from the scan list.
        const auto& columns = frame->catalog()->column_descriptors;
        ASSERT_EQ(columns.size(), 3u);
        EXPECT_EQ(columns[2].physical_column_id, kNotStored);
        EXPECT_EQ(columns[2].value_text, "([Qty]*(2))");
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, DefinitionDisplayTest, ::testing::Values(Layout::k2005, Layout::k2000),
                         [](const auto& info) { return info.param == Layout::k2005 ? "Later" : "Sql2000"; });

TEST(KeyStatements, ColumnsOfTheLegacyKeyTable) {
    test::CatalogFixture fixture;
    SystemCatalog& catalog = fixture.catalog();
    catalog.legacy_key_tables = {
        {500, "Orders", {{"OrderId", 1, 1}, {"Note", 2, 0}, {"Line", 3, 3}, {"Flag", 4, 2}}},
        {600, "Empty", {{"Note", 1, 0}}},
    };
    struct Case {
        std::uint32_t data;
        std::string primary_key;
        std::string unique;
    };
    const std::vector<Case> cases = {
        {500, "ALTER TABLE Orders ADD PRIMARY KEY ( OrderId , Line )",
         "ALTER TABLE[dbo].[Orders] WITH NOCHECK ADD CONSTRAINT[UQ_x] UNIQUE CLUSTERED \r\n(\r\n"
         "[ OrderId , Note , Line ] DSC\r\n)"},
        // No key column: the blank is trimmed away and nothing is left to drop.
        {600, "ALTER TABLE Empty ADD PRIMARY KEY ()",
         "ALTER TABLE[dbo].[Empty] WITH NOCHECK ADD CONSTRAINT[UQ_x] UNIQUE CLUSTERED \r\n(\r\n[ Note ] "
         "DSC\r\n)"},
        {0, "ALTER TABLE  ADD PRIMARY KEY ( )",
         "ALTER TABLE[dbo].[] WITH NOCHECK ADD CONSTRAINT[UQ_x] UNIQUE CLUSTERED \r\n(\r\n[ ] DSC\r\n)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(primary_key_statement(catalog, c.data), c.primary_key) << c.data;
        EXPECT_EQ(unique_statement(catalog, c.data, "UQ_x"), c.unique) << c.data;
    }
}

}  // namespace
}  // namespace quenlow
