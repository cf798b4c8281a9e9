// `quenlow show` on items that are not tables: definitions, check statements and key statements, found
// with --parent where a name needs it.

#include <gtest/gtest.h>

#include "tests/app/test_files.h"
#include "tests/cli/program_run.h"
#include "tests/support/database_builder.h"

namespace quenlow {
namespace {

using test::run_quenlow;
using testing::SqlType;
using testing::Value;

TEST(ShowCommand, PrintsTheTextAClickShows) {
    test::TempFolder folder;
    testing::DatabaseSpec db;
    auto& items = db.add_table("Items");
    items.add_column("Id", SqlType::Int);
    items.add_column("Qty", SqlType::Int);
    items.primary_key({"Id"});
    items.add_row({Value::integer(1), Value::integer(2)});
    db.add_check("CK_Qty", "Items", "([Qty]>(0))");
    db.add_view("Stock", "CREATE VIEW Stock AS\r\nSELECT Id FROM Items");
    const std::string data = folder.file("stock.mdf");
    ASSERT_TRUE(testing::write_database(db, data));

    struct Case {
        std::vector<std::string> args;
        std::string out;
    };
    const std::vector<Case> cases = {
        {{"show", data, "Stock"}, "Stock\n\nCREATE VIEW Stock AS\r\nSELECT Id FROM Items\n"},
        // Constraints and keys are under the schema items a table grows when it is shown.
        {{"show", data, "CK_Qty", "--parent", "Items"},
         "CK_Qty\n\nALTER TABLE  [dbo].[Items] WITH NOCHECK ADD CONSTRAINT[CK_Qty] CHECK ([Qty]>(0))\n"},
        {{"show", data, "PK_Items", "--parent", "PrimaryKey"},
         "PK_Items\n\nALTER TABLE  ADD PRIMARY KEY ( )\n"},
        {{"show", data, "Views"}, "Views\n  Stock\n"},
    };
    for (const Case& c : cases) {
        const test::ProgramRun run = run_quenlow(folder, c.args);
        EXPECT_EQ(run.status, 0) << c.args[2] << "\n" << run.err;
        EXPECT_EQ(run.out, c.out) << c.args[2];
        EXPECT_NE(run.err.find(c.args[2] + "[0]"), std::string::npos) << run.err;
    }
    const test::ProgramRun missing = run_quenlow(folder, {"show", data, "CK_Qty", "--parent", "Orders"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("No tree item reads CK_Qty under Orders"), std::string::npos) << missing.err;
}

}  // namespace
}  // namespace quenlow
