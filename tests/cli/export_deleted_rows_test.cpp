// Rows that are not live rows of a table (a deleted row, a row only the body scan finds) leave an export
// apart from the live rows, in every target: a file of their own beside the CSV, a table of their own in
// SQLite, a commented section of the T-SQL script that running the script does not insert.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <nlohmann/json.hpp>

#include "tests/app/test_files.h"
#include "tests/cli/program_run.h"
#include "tests/cli/sql_script_reader.h"
#include "tests/support/database_builder.h"
#include "tests/support/page_builder.h"

namespace quenlow {
namespace {

using test::run_quenlow;
using testing::SqlType;
using testing::Value;

constexpr std::size_t kPageSize = 8192;

std::size_t line_count(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

std::vector<std::string> sqlite_column(const std::string& path, const std::string& sql) {
    std::vector<std::string> out;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK)
            while (sqlite3_step(statement) == SQLITE_ROW)
                out.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return out;
}

class ExportDeletedRowsTest : public ::testing::Test {
protected:
    // People: rows 1..6. The record of slot 1 (Id 2) is made a deleted data record; the slot entry of
    // slot 0 (Id 1, the first record of the page body) is cleared, so only the body scan finds it.
    void SetUp() override {
        testing::DatabaseSpec db;
        auto& people = db.add_table("People");
        people.add_column("Id", SqlType::Int);
        people.add_column("Name", SqlType::NVarChar, 40, true);
        for (int i = 1; i <= 6; ++i) people.add_row({Value::integer(i), Value::text("name " + std::to_string(i))});
        testing::BuiltDatabase built = testing::build_database_image(db);
        const testing::BuiltTable* table = built.table("People");
        ASSERT_NE(table, nullptr);
        ASSERT_FALSE(table->data_pages.empty());
        auto& image = built.image;
        const std::size_t page = static_cast<std::size_t>(table->data_pages.front()) * kPageSize;
        auto slot_entry = [&](int slot) { return page + kPageSize - 2 * (slot + 1); };
        const std::size_t slot1 = std::to_integer<std::size_t>(image[slot_entry(1)]) |
                                  (std::to_integer<std::size_t>(image[slot_entry(1) + 1]) << 8);
        image[page + slot1] |= std::byte{0x0C};  // record type 6
        image[slot_entry(0)] = image[slot_entry(0) + 1] = std::byte{0};
        path_ = folder_.file("people.mdf");
        testing::write_file(path_, image);
    }

    test::ProgramRun exported(const std::string& kind, const std::string& output, std::vector<std::string> mode) {
        std::vector<std::string> args = {"export", path_, "--to", kind, "--output", output, "-q"};
        args.insert(args.end(), mode.begin(), mode.end());
        return run_quenlow(folder_, args);
    }

    test::TempFolder folder_;
    std::string path_;
};

TEST_F(ExportDeletedRowsTest, CsvKeepsEachOriginInAFileOfItsOwn) {
    struct Case {
        std::vector<std::string> mode;
        std::size_t live, deleted, scanned;
    };
    const std::vector<Case> cases = {
        {{}, 4, 0, 0},
        {{"--deleted"}, 4, 1, 0},
        {{"--deleted", "--advanced-deleted"}, 4, 1, 1},
    };
    for (const Case& c : cases) {
        const std::string out = folder_.file("csv" + std::to_string(c.mode.size()));
        const test::ProgramRun run = exported("csv", out, c.mode);
        ASSERT_EQ(run.status, 0) << run.err;
        const std::string live = test::read_bytes(out + "/dbo.People.csv");
        EXPECT_EQ(line_count(live), 1 + c.live) << c.mode.size();
        EXPECT_EQ(live.find("name 2"), std::string::npos);
        const std::string deleted = test::read_bytes(out + "/dbo.People.deleted.csv");
        const std::string scanned = test::read_bytes(out + "/dbo.People.body-scan.csv");
        EXPECT_EQ(deleted.empty() ? 0 : line_count(deleted) - 1, c.deleted);
        EXPECT_EQ(scanned.empty() ? 0 : line_count(scanned) - 1, c.scanned);
        if (c.deleted > 0) {
            EXPECT_EQ(deleted, "Id,Name\r\n2,name 2\r\n");
        }
        if (c.scanned > 0) {
            EXPECT_EQ(scanned, "Id,Name\r\n1,name 1\r\n");
        }

        const auto report = nlohmann::json::parse(test::read_bytes(out + "/recovery-report.json"));
        const auto& table = report["tables"][0];
        EXPECT_EQ(table["rows_exported"], c.live);
        if (c.deleted == 0) {
            EXPECT_FALSE(table.contains("rows_not_live"));
        } else {
            EXPECT_EQ(table["rows_not_live"][0]["origin"], "deleted");
            EXPECT_EQ(table["rows_not_live"][0]["rows"], 1);
            EXPECT_EQ(table["rows_not_live"][0]["exported_to"], "dbo.People.deleted.csv");
        }
    }
}

TEST_F(ExportDeletedRowsTest, SqliteAndScriptKeepThemOutOfTheTable) {
    const std::string db = folder_.file("people.sqlite");
    ASSERT_EQ(exported("sqlite", db, {"--deleted", "--advanced-deleted"}).status, 0);
    EXPECT_EQ(sqlite_column(db, "SELECT Id FROM People ORDER BY rowid"),
              (std::vector<std::string>{"3", "4", "5", "6"}));
    EXPECT_EQ(sqlite_column(db, "SELECT Name FROM \"People (deleted rows)\""), std::vector<std::string>{"name 2"});
    EXPECT_EQ(sqlite_column(db, "SELECT Name FROM \"People (body scan rows)\""), std::vector<std::string>{"name 1"});

    const std::string sql = folder_.file("people.sql");
    ASSERT_EQ(exported("sql", sql, {"--deleted", "--advanced-deleted"}).status, 0);
    const std::string text = test::read_bytes(sql);
    const test::Script script = test::read_sql_script(text);
    ASSERT_TRUE(script.error.empty()) << script.error;
    ASSERT_EQ(script.tables.size(), 1u);
    EXPECT_EQ(script.tables[0].rows.size(), 4u);  // the commented rows are not inserted
    const std::size_t deleted = text.find("-- Deleted rows of [dbo].[People], 1 of them");
    const std::size_t scanned = text.find("-- Rows of [dbo].[People] found by the body scan, 1 of them");
    ASSERT_NE(deleted, std::string::npos);
    ASSERT_NE(scanned, std::string::npos);
    EXPECT_LT(text.rfind("INSERT INTO [dbo].[People] ([Id], [Name]) VALUES\n"), deleted);
    EXPECT_NE(text.find("\n-- INSERT INTO [dbo].[People] ([Id], [Name]) VALUES (2, N'name 2');\n", deleted),
              std::string::npos);
    EXPECT_NE(text.find("\n-- INSERT INTO [dbo].[People] ([Id], [Name]) VALUES (1, N'name 1');\n", scanned),
              std::string::npos);
}

}  // namespace
}  // namespace quenlow
