// The headless session: open choices made from option values, and a scan of a builder database that is
// searched by the name forms a user gives, clicked and paged through.

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "app/engine_seams.h"
#include "app/headless_session.h"
#include "engine/pages/file_reader.h"
#include "tests/app/fake_front_end.h"
#include "tests/app/test_files.h"
#include "tests/support/database_builder.h"

namespace quenlow {
namespace {

using testing::SqlType;
using testing::Value;

TEST(HeadlessOpenChoices, FollowTheOptionsOrSayWhyNot) {
    test::TempFolder folder;
    const std::string collations = folder.file("collation.txt");
    std::ofstream(collations)
        << "SQL_Latin1_General_CP1_CI_AS\t872468488\t1252\nChinese_PRC_CI_AS\t53284\t936\n";

    OpenOptions all;
    all.file = "/data/a.mdf";
    all.recovery_mode = RecoveryMode::kAdvanced;
    all.deleted = all.advanced_deleted = all.sql2000 = true;
    all.log_dir = "/logs";
    all.ansi_code_page = 936;
    struct Case {
        std::string collation;
        std::int32_t code_page;
        std::optional<std::int64_t> manual_id;  // nothing: automatic
        std::string refusal;
    };
    const std::vector<Case> cases = {
        {"auto", 936, std::nullopt, ""},
        {"Chinese_PRC_CI_AS", 936, 53284, ""},
        {"sql_latin1_general_cp1_ci_as", 1252, 872468488, ""},  // letter case aside
        {"Latin1_General", 1252, std::nullopt,
         "Unknown collation: Latin1_General (not listed in " + collations + ")"},
        {"auto", 424242, std::nullopt, "Code page 424242 cannot be converted here."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.collation + " / " + std::to_string(c.code_page));
        OpenOptions options = all;
        options.collation = c.collation;
        options.ansi_code_page = c.code_page;
        ApplicationState app;
        const OpenChoicesResult result = make_open_choices(options, collations, app);
        EXPECT_EQ(app.engine.collations.size(), 2u);
        EXPECT_EQ(result.refusal, c.refusal);
        if (!c.refusal.empty()) {
            EXPECT_FALSE(result.choices);
            continue;
        }
        ASSERT_TRUE(result.choices);
        const OpenChoices& got = *result.choices;
        EXPECT_EQ(got.mdf_path, "/data/a.mdf");
        EXPECT_TRUE(got.recovery_mode == RecoveryMode::kAdvanced && got.show_deleted &&
                    got.show_advanced_deleted && got.is_sql2000 && got.log_folder == "/logs");
        EXPECT_EQ(got.automatic_collation, !c.manual_id);
        EXPECT_EQ(got.manual_collation_id, c.manual_id.value_or(0));
        EXPECT_EQ(app.ansi_code_page, c.code_page);
    }
}

class HeadlessSessionTest : public ::testing::Test {
protected:
    HeadlessSessionTest() {
        testing::DatabaseSpec db;
        auto& items = db.add_table("Items");
        items.add_column("Id", SqlType::Int);
        items.add_column("Qty", SqlType::Int);
        items.primary_key({"Id"});
        for (int i = 1; i <= 1500; ++i) items.add_row({Value::integer(i), Value::integer(i % 7 + 1)});
        db.add_check("CK_Qty", "Items", "([Qty]>(0))");
        db.add_view("Stock", "CREATE VIEW Stock AS SELECT Id FROM Items");
        db.add_table("Dup").add_column("A", SqlType::Int);
        auto& other_dup = db.add_table("Dup");
        other_dup.schema = "test";
        other_dup.add_column("B", SqlType::Int);
        auto& solo = db.add_table("Solo");
        solo.schema = "test";
        solo.add_column("C", SqlType::Int);
        built = testing::build_database_image(db);
        files.add_file(kPath, built.image);
        OpenChoices choices;
        choices.mdf_path = kPath;
        front.dialog_result = choices;
        EXPECT_TRUE(session.open());
    }
    static constexpr const char* kPath = "/data/session.mdf";
    testing::BuiltDatabase built;
    ApplicationState app;
    test::FakeFrontEnd front;
    MemoryFileSystem files;
    HeadlessSession session{app, front, files, engine_seams()};
};

TEST_F(HeadlessSessionTest, FindsItemsByTheNameFormsAndListsAmbiguousOnes) {
    struct Case {
        std::string name;
        std::optional<std::string> parent;  // nothing: looked up as a table; "": as any item
        std::string found;                  // the item's text; empty: none
        std::vector<std::string> candidates;
    };
    const std::vector<Case> cases = {
        {"Items", std::nullopt, "Items", {}},
        {"test.Solo", std::nullopt, "Solo", {}},
        {"test.Dup", std::nullopt, "test.Dup", {}},
        {"Dup", std::nullopt, "", {"dbo.Dup", "test.Dup"}},
        {"sysschobjs", std::nullopt, "sysschobjs", {}},  // no user table has the name
        {"Stock", std::nullopt, "", {}},                 // a view is no table
        {"Stock", "", "Stock", {}},
        {"Dup", "", "", {"dbo.Dup", "test.Dup"}},
        {"CK_Qty", "Items", "CK_Qty", {}},  // grown with the table's schema items
        {"Columns", "Nobody", "", {}},
    };
    std::vector<std::int32_t> dup_ids;
    for (const auto& object : built.objects)
        if (object.name == "Dup") dup_ids.push_back(object.object_id);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + (c.parent ? " under " + *c.parent : std::string(" as a table")));
        const ItemLookup found = !c.parent           ? session.find_table(c.name)
                                 : c.parent->empty() ? session.find_item(c.name, std::nullopt)
                                                     : session.find_item(c.name, c.parent);
        EXPECT_EQ(session.frame().tree().item_text(found.item), c.found);
        std::vector<std::string> candidates;
        std::vector<std::int32_t> ids;
        for (const ItemCandidate& candidate : found.candidates) {
            candidates.push_back(candidate.qualified_name);
            ids.push_back(candidate.object_id);
            EXPECT_EQ(candidate.category, "User Tables");
        }
        EXPECT_EQ(candidates, c.candidates);
        if (!ids.empty()) {
            EXPECT_EQ(ids, dup_ids);
        }
    }
}

TEST_F(HeadlessSessionTest, ClickShowsTheFirstBatchAndNextTheRest) {
    ASSERT_TRUE(session.click(session.find_table("Items").item));
    RecordListModel list = front.record_list();
    EXPECT_EQ(list.columns, (std::vector<std::string>{"Id", "Qty"}));
    EXPECT_EQ(list.rows.size(), 1000u);
    ASSERT_TRUE(session.next());
    list = front.record_list();
    ASSERT_EQ(list.rows.size(), 500u);
    EXPECT_EQ(list.rows.front().front(), "1001");
    EXPECT_FALSE(list.next_enabled);
    EXPECT_FALSE(session.frame().busy());
}

}  // namespace
}  // namespace quenlow
