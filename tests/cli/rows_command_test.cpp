// The output forms of `quenlow rows` (CSV, JSON lines, text), and `quenlow rows` and `quenlow show` run
// as a program on a builder database.

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "cli/rows_output.h"
#include "tests/app/test_files.h"
#include "tests/cli/program_run.h"
#include "tests/support/database_builder.h"

namespace quenlow {
namespace {

using cli::Cells;

TEST(CsvOutput, QuotesOnlyFieldsThatNeedIt) {
    struct Case {
        std::string value;
        std::string field;
    };
    const std::vector<Case> cases = {
        {"plain", "plain"},
        {"", ""},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"\"", "\"\"\"\""},
        {"two\nlines", "\"two\nlines\""},
        {"cr\r", "\"cr\r\""},
        {" blank ", " blank "},
        {"caf\xC3\xA9", "caf\xC3\xA9"},
        {"bad\xFF", "bad\xEF\xBF\xBD"},
    };
    for (const Case& c : cases) EXPECT_EQ(cli::csv_field(c.value), c.field) << c.value;
    EXPECT_EQ(cli::csv_line({"1", "a,b", "", "x\"y"}), "1,\"a,b\",,\"x\"\"y\"\r\n");
    EXPECT_EQ(cli::csv_line({}), "\r\n");
}

TEST(JsonLinesOutput, OneArrayOfStringsPerLine) {
    const Cells row = {"plain",       "quote\"",     "back\\slash",
                       "line\nbreak", "tab\t",       std::string("nul\0x", 5),
                       "\x01",        "caf\xC3\xA9", "bad\xC3"};
    const std::string line = cli::jsonl_line(row);
    ASSERT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line per row";
    EXPECT_EQ(line,
              "[\"plain\",\"quote\\\"\",\"back\\\\slash\",\"line\\nbreak\",\"tab\\t\",\"nul\\u0000x\","
              "\"\\u0001\",\"caf\xC3\xA9\",\"bad\xEF\xBF\xBD\"]\n");
    const auto parsed = nlohmann::json::parse(line);
    ASSERT_TRUE(parsed.is_array());
    EXPECT_EQ(parsed[3], "line\nbreak");
    EXPECT_EQ(parsed[5].get<std::string>().size(), 5u);
    EXPECT_EQ(cli::jsonl_line({}), "[]\n");
}

// Rows with NULL marks: NULL and the empty string read back apart in both data formats.
TEST(ExportRowOutput, NullIsApartFromAnEmptyString) {
    const std::vector<std::string_view> cells = {"1", "", "", "a,b", "x"};
    const std::vector<std::uint8_t> nulls = {0, 1, 0, 0, 1};
    std::string csv;
    cli::append_csv_line(csv, cells, nulls);
    EXPECT_EQ(csv, "1,,\"\",\"a,b\",\r\n");
    std::string jsonl;
    cli::append_jsonl_line(jsonl, cells, nulls);
    EXPECT_EQ(jsonl, "[\"1\",null,\"\",\"a,b\",null]\n");
    // Cells beyond the marks are not NULL.
    csv.clear();
    cli::append_csv_line(csv, cells, std::span<const std::uint8_t>(nulls).first(2));
    EXPECT_EQ(csv, "1,,\"\",\"a,b\",x\r\n");
}

TEST(TextOutput, CellsEscapeControlsAndCutLongText) {
    EXPECT_EQ(cli::text_cell("a\nb\rc\td\x01"), "a\\nb\\rc\\td\\x01");
    EXPECT_EQ(cli::text_cell(std::string(60, 'x')), std::string(60, 'x'));
    EXPECT_EQ(cli::text_cell(std::string(61, 'x')), std::string(59, 'x') + "\xE2\x80\xA6");
    // Width counts characters, not bytes.
    std::string accents;
    for (int i = 0; i < 60; ++i) accents += "\xC3\xA9";
    EXPECT_EQ(cli::text_cell(accents), accents);
    EXPECT_EQ(cli::text_cell(std::string(100, 'y'), 0), std::string(100, 'y'));
    EXPECT_EQ(cli::tsv_line({"a\tb", "c"}), "a\\tb\tc\n");
}

TEST(TextOutput, TableAlignsColumnsByCharacters) {
    const std::string table =
        cli::text_table({"Id", "Name"}, {{"1", "\xC3\xA9t\xC3\xA9"}, {"100", "x"}, {"7"}});
    EXPECT_EQ(table,
              "Id   Name\n"
              "---  ----\n"
              "1    \xC3\xA9t\xC3\xA9\n"
              "100  x\n"
              "7    \n");
    EXPECT_EQ(cli::text_table({}, {}), "\n\n");
}

// ---- the program ----

using test::ProgramRun;
using test::run_quenlow;

class RowsCommandTest : public ::testing::Test {
protected:
    RowsCommandTest() {
        if (!std::filesystem::exists(std::string(QUENLOW_BINARY_DIR) + "/cli/quenlow"))
            ADD_FAILURE() << "the quenlow program is not built";
        using testing::SqlType;
        using testing::Value;
        testing::DatabaseSpec blueprint;
        auto& t = blueprint.add_table("Customers");
        t.add_column("Id", SqlType::Int);
        t.add_column("Name, full", SqlType::VarChar, 40, true);
        t.primary_key({"Id"});
        t.add_row({Value::integer(1), Value::text("Ann")});
        blueprint.add_table("Customers2").add_column("X", SqlType::Int);
        data = folder.file("shop.mdf");
        EXPECT_TRUE(testing::write_database(blueprint, data));
    }
    test::TempFolder folder;
    std::string data;
};

TEST_F(RowsCommandTest, CsvStartsWithTheListsColumnTitles) {
    const ProgramRun run = run_quenlow(folder, {"rows", data, "Customers", "--format", "csv"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.substr(0, run.out.find("\r\n") + 2), "Id,\"Name, full\"\r\n");
    EXPECT_NE(run.err.find("Page1 - ["), std::string::npos) << "the page label goes to stderr";
    EXPECT_NE(run.err.find("Customers["), std::string::npos);
}

TEST_F(RowsCommandTest, TextPrintsTheTableAndThePageLabel) {
    const ProgramRun run = run_quenlow(folder, {"rows", data, "Customers"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("Id  Name, full\n--  ----------\n", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("Page1 - ["), std::string::npos);
}

TEST_F(RowsCommandTest, PagesPastTheLastBatchShowTheLastOne) {
    const ProgramRun run =
        run_quenlow(folder, {"rows", data, "Customers", "--page", "3", "--format", "jsonl"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("\"Next Records\" is disabled after page 1"), std::string::npos) << run.err;
}

TEST_F(RowsCommandTest, AllStreamsWithOneHeader) {
    const ProgramRun run = run_quenlow(folder, {"rows", data, "Customers2", "--all", "--format", "csv"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("X\r\n", 0), 0u) << run.out;
}

TEST_F(RowsCommandTest, UnknownTablesAndBadOptionsAreRefused) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"rows", data, "Nobody"}, 1, "No table named Nobody"},
        {{"rows", data, "customers"}, 1, "No table named customers"},
        {{"rows", data, "Customers", "--page", "0"}, 2, ""},
        {{"rows", data, "Customers", "--all", "--page", "2"}, 2, ""},
        {{"rows", data, "Customers", "--format", "xml"}, 2, ""},
        {{"show", data, "Nobody"}, 1, "No tree item reads Nobody"},
        {{"show", data, "Columns", "--parent", "Nobody"}, 1, "No tree item reads Columns under Nobody"},
    };
    for (const Case& c : cases) {
        const ProgramRun run = run_quenlow(folder, c.args);
        EXPECT_EQ(run.status, c.status) << c.args.back() << "\n" << run.err;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
}

TEST_F(RowsCommandTest, FileWithoutTreeFails) {
    const std::string blank = folder.file("blank.mdf");
    test::write_blank_data_file(blank);
    EXPECT_EQ(run_quenlow(folder, {"rows", blank, "Customers"}).status, 1);
    EXPECT_EQ(run_quenlow(folder, {"show", blank, "Customers"}).status, 1);
}

TEST_F(RowsCommandTest, ShowPrintsTheSchemaItemsThenTheFirstBatch) {
    const ProgramRun run = run_quenlow(folder, {"show", data, "Customers"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("Customers *\n"
                            "  ForeignKey\n"
                            "  Unique\n"
                            "  Constraint\n"
                            "  PrimaryKey\n"
                            "    PK_Customers\n"
                            "  Columns\n"
                            "    Id  int(4)[Primary Key]\n"
                            "    Name, full  varchar(40)\n"
                            "\n"
                            "Id  Name, full\n",
                            0),
              0u)
        << run.out;
    EXPECT_NE(run.out.find("Page1 - ["), std::string::npos);
    EXPECT_NE(run.err.find("Scanning process completed."), std::string::npos);

    // A column item is found under its parent.
    const ProgramRun column = run_quenlow(folder, {"show", data, "Columns", "--parent", "Customers2"});
    EXPECT_EQ(column.status, 0) << column.err;
    EXPECT_EQ(column.out, "Columns\n");
}

// csv and jsonl print export values: milliseconds, shortest floats, NULL apart from ''; text keeps
// the display texts.
class RowsExportValuesTest : public ::testing::Test {
protected:
    RowsExportValuesTest() {
        using testing::SqlType;
        using testing::Value;
        testing::DatabaseSpec blueprint;
        auto& t = blueprint.add_table("Readings");
        t.add_column("Id", SqlType::Int);
        t.add_column("Note", SqlType::NVarChar, 20, true);
        t.add_column("TakenAt", SqlType::DateTime, 0, true);
        t.add_column("Value", SqlType::Real, 0, true);
        t.add_column("Exact", SqlType::Float, 0, true);
        t.primary_key({"Id"});
        t.add_row({Value::integer(1), Value::text(""), Value::datetime(2024, 5, 1, 10, 15, 22, 997),
                   Value::floating(1234.123), Value::floating(0.1 + 0.2)});
        t.add_row({Value::integer(2), Value::null(), Value::null(), Value::null(), Value::null()});
        data = folder.file("readings.mdf");
        EXPECT_TRUE(testing::write_database(blueprint, data));
    }
    test::TempFolder folder;
    std::string data;
};

TEST_F(RowsExportValuesTest, DataFormatsPrintExportValues) {
    const ProgramRun csv = run_quenlow(folder, {"rows", data, "Readings", "--format", "csv"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(csv.out,
              "Id,Note,TakenAt,Value,Exact\r\n"
              "1,\"\",2024-05-01 10:15:22.997,1234.123,0.30000000000000004\r\n"
              "2,,,,\r\n");
    for (const char* all : {"--page", "--all"}) {
        std::vector<std::string> args = {"rows", data, "Readings", "--format", "jsonl", all};
        if (std::string(all) == "--page") args.push_back("1");
        const ProgramRun jsonl = run_quenlow(folder, args);
        ASSERT_EQ(jsonl.status, 0) << jsonl.err;
        EXPECT_EQ(jsonl.out,
                  "[\"1\",\"\",\"2024-05-01 10:15:22.997\",\"1234.123\",\"0.30000000000000004\"]\n"
                  "[\"2\",null,null,null,null]\n")
            << all;
    }
    const ProgramRun text = run_quenlow(folder, {"rows", data, "Readings", "--all"});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out,
              "Id\tNote\tTakenAt\tValue\tExact\n"
              "1\t\t2024-05-01 10:15:22\t1234.12\t0.3\n"
              "2\tNULL\tNULL\tNULL\tNULL\n");
}

}  // namespace
}  // namespace quenlow
