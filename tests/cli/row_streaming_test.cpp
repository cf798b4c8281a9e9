// Printing every row of a table as it streams in: the CSV field writer against the rule it implements,
// the command line front end's streamed rows, and `quenlow rows --all` against its batches one by one.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_front_end.h"
#include "cli/rows_output.h"
#include "tests/app/test_files.h"
#include "tests/cli/program_run.h"
#include "tests/support/database_builder.h"

namespace quenlow {
namespace {

using cli::Cells;

// The rule in its plainest form: make the text valid UTF-8, then quote it when it holds a comma, a
// double quote, CR or LF, doubling the quotes inside.
std::string reference_csv_field(std::string_view value) {
    const std::string text = cli::valid_utf8(value);
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

TEST(CsvFieldWriter, FollowsTheRuleForQuotesNextToBrokenSequences) {
    const std::vector<std::string> values = {
        "",
        "plain",
        "x\"",
        "\"\"",
        "a,b\"c",
        "line\r\n",
        "caf\xC3\xA9,",
        "\xC3\"",
        "\"\xA9",
        "\xE2\x82\"\xAC",
        "\xF0\x9F\x98\x80\"",
        "\xFF,\xFE",
        "tab\tonly",
        "\xE2\x82\xAC",
        std::string("nul\0,x", 6),
    };
    for (const std::string& v : values) {
        EXPECT_EQ(cli::csv_field(v), reference_csv_field(v)) << v;
        std::string appended = "prefix";
        cli::append_csv_field(appended, v);
        EXPECT_EQ(appended, "prefix" + reference_csv_field(v)) << v;
    }
    const std::vector<std::string_view> views = {"1", "a,b", "", "x\"y"};
    std::string line;
    cli::append_csv_line(line, views);
    EXPECT_EQ(line, cli::csv_line({"1", "a,b", "", "x\"y"}));
}

// The front end in streaming mode, driven as the batch loader drives the records pane.
class StreamedRowsTest : public ::testing::Test {
protected:
    StreamedRowsTest() : front(false, OpenChoices{}) {
        for (int c = 0; c < 3; ++c) front.records_add_column(c, "c" + std::to_string(c), 200);
        front.stream_rows(
            [](std::string& out, std::span<const std::string_view> cells, std::span<const std::uint8_t>) {
                for (std::string_view cell : cells) out.append(cell).append("|");
                out += "\n";
            });
    }
    std::string taken() {
        std::string out;
        front.take_streamed_rows(out);
        return out;
    }
    void insert(int index, std::vector<std::string_view> cells) { front.records_insert_row(index, cells); }

    cli::CliFrontEnd front;
};

TEST_F(StreamedRowsTest, RowsAreWrittenWithOneCellPerColumnAndNotKept) {
    insert(0, {"a", "b", "c"});
    insert(1, {"d"});                 // missing cells are empty
    insert(2, {"e", "f", "g", "h"});  // a cell without a column is left out
    EXPECT_EQ(taken(), "a|b|c|\nd|||\ne|f|g|\n");
    EXPECT_TRUE(front.record_list().rows.empty());
    EXPECT_EQ(taken(), "");
}

TEST_F(StreamedRowsTest, DeletingTheRowInsertedLastTakesItBack) {
    insert(0, {"a", "b", "c"});
    insert(1, {"", "", ""});
    front.records_delete_row(1);
    insert(1, {"x", "", ""});
    front.records_delete_row(0);  // not the last row: already written
    EXPECT_EQ(taken(), "a|b|c|\nx|||\n");
}

TEST_F(StreamedRowsTest, RowsFilledCellByCellAreWrittenOnceComplete) {
    front.records_add_row(0, "a");
    front.records_set_cell(0, 2, "c");
    front.records_set_cell(0, 5, "none");
    EXPECT_EQ(taken(), "a||c|\n");
    front.records_add_row(0, "gone");
    front.records_delete_row(0);
    front.records_add_row(0, "b");
    front.records_delete_all_rows();  // an emptied list still printed what it showed
    insert(0, {"z", "", ""});
    EXPECT_EQ(taken(), "b|||\nz|||\n");
}

// ---- the program ----

using test::ProgramRun;
using test::run_quenlow;

// 2,500 rows: two full batches and a part, with fields that need quotes and NULLs.
class RowsAllTest : public ::testing::Test {
protected:
    RowsAllTest() {
        using testing::SqlType;
        using testing::Value;
        testing::DatabaseSpec blueprint;
        auto& t = blueprint.add_table("Items");
        t.add_column("Id", SqlType::Int);
        t.add_column("Name", SqlType::NVarChar, 40, true);
        t.add_column("Price", SqlType::Money);
        t.add_column("Flag", SqlType::Bit);
        t.primary_key({"Id"});
        for (int i = 0; i < 2500; ++i) {
            const std::string name = i % 7 == 0    ? "with, comma " + std::to_string(i)
                                     : i % 11 == 0 ? "say \"" + std::to_string(i) + "\""
                                                   : "item " + std::to_string(i);
            t.add_row({Value::integer(i), i % 13 == 0 ? Value::null() : Value::text(name),
                       Value::decimal(std::to_string(i) + ".25"), Value::boolean(i % 2 == 0)});
        }
        // One column: a NULL row shows only "NULL" and leaves the list again.
        auto& single = blueprint.add_table("Notes");
        single.add_column("Note", SqlType::NVarChar, 20, true);
        for (int i = 0; i < 1200; ++i)
            single.add_row({i % 3 == 0 ? Value::null() : Value::text("note " + std::to_string(i))});
        data = folder.file("items.mdf");
        EXPECT_TRUE(testing::write_database(blueprint, data));
    }
    test::TempFolder folder;
    std::string data;
};

TEST_F(RowsAllTest, RemovedRowsAreLeftOutAsInTheBatches) {
    const ProgramRun all = run_quenlow(folder, {"rows", data, "Notes", "--all", "--format", "csv"});
    ASSERT_EQ(all.status, 0) << all.err;
    std::string expected = "Note\r\n";
    for (int page = 1; page <= 2; ++page) {
        const ProgramRun batch =
            run_quenlow(folder, {"rows", data, "Notes", "--page", std::to_string(page), "--format", "csv"});
        ASSERT_EQ(batch.status, 0) << batch.err;
        expected += batch.out.substr(batch.out.find("\r\n") + 2);
    }
    EXPECT_EQ(all.out, expected);
    EXPECT_EQ(std::count(all.out.begin(), all.out.end(), '\n'), 1 + 800);
    EXPECT_EQ(all.out.find("NULL"), std::string::npos);
}

TEST_F(RowsAllTest, AllPrintsTheBatchesOneAfterTheOther) {
    for (const std::string format : {"csv", "jsonl", "text"}) {
        const ProgramRun all = run_quenlow(folder, {"rows", data, "Items", "--all", "--format", format});
        ASSERT_EQ(all.status, 0) << all.err;
        std::string expected;
        for (int page = 1; page <= 3; ++page) {
            ProgramRun batch = run_quenlow(folder, {"rows", data, "Items", "--page", std::to_string(page),
                                                    "--format", "csv" == format ? "csv" : "jsonl"});
            ASSERT_EQ(batch.status, 0) << batch.err;
            std::string rows = batch.out;
            if (format == "csv")
                rows = rows.substr(rows.find("\r\n") + 2);  // each page starts with the titles
            if (format == "csv" && page == 1) expected += batch.out.substr(0, batch.out.find("\r\n") + 2);
            expected += rows;
        }
        if (format == "text") {
            // The same rows, printed as tab-separated lines after the titles.
            EXPECT_EQ(all.out.rfind("Id\tName\tPrice\tFlag\n", 0), 0u) << all.out.substr(0, 80);
            EXPECT_EQ(std::count(all.out.begin(), all.out.end(), '\n'), 2501);
            continue;
        }
        EXPECT_EQ(all.out, expected) << format;
    }
}

}  // namespace
}  // namespace quenlow
