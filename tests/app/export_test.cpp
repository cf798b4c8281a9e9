// The export: cells of decoded rows, CSV fields and file names, the output checks, and whole exports of a
// builder database into CSV files, a SQLite file (read back through the SQLite C API) and a recording
// target, with a Stop and a target that cannot be written.

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <tuple>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "app/export.h"
#include "app/export_files.h"
#include "engine/catalog/type_codes.h"
#include "tests/app/scanned_frame.h"
#include "tests/app/test_files.h"
#include "tests/support/database_builder.h"

namespace quenlow {
namespace {

using testing::SqlType;
using testing::Value;
namespace fs = std::filesystem;

constexpr const char* kPath = "/data/export.mdf";

// ---- cells, fields and names ----

TEST(ExportCells, NullOnlyWhereTheDecoderMarkedIt) {
    auto column = [](std::string text, bool null, std::int32_t physical = 1) {
        ColumnDescriptor d;
        d.value_text = std::move(text);
        d.value_null = null;
        d.physical_column_id = physical;
        return d;
    };
    // The text "NULL" of a value that is not NULL stays a text.
    const DecodedRow row = {column("1", false), column("", true),                 column("NULL", false),
                            column("", false),  column("x", false, kNotStored), column("caf\xC3\xA9", false)};
    const std::vector<std::size_t> columns = exported_columns(row, 0);
    EXPECT_EQ(columns, (std::vector<std::size_t>{0, 1, 2, 3, 5}));
    std::vector<Cell> cells(columns.size() + 1, Cell("old"));
    std::vector<std::size_t> beyond = columns;
    beyond.push_back(99);  // a column the row does not reach
    row_cells(row, beyond, cells.data());
    EXPECT_EQ(cells, (std::vector<Cell>{"1", std::nullopt, "NULL", "", "caf\xC3\xA9", std::nullopt}));
    // A value the decoder could not decode gives no cell either.
    DecodedRow damaged = row;
    damaged[0].value_damaged = true;
    row_cells(damaged, columns, cells.data());
    EXPECT_EQ(cells[0], std::nullopt);

    // The first stored column comes first even when it is not stored itself (as in the record list).
    EXPECT_EQ(exported_columns(row, 4), (std::vector<std::size_t>{4, 5}));
    EXPECT_TRUE(exported_columns(row, 6).empty());
}

TEST(ExportCsv, FieldsKeepNullAndEmptyApart) {
    struct Case {
        Cell cell;
        std::string field;
    };
    const std::vector<Case> cases = {
        {std::nullopt, ""},
        {"", "\"\""},
        {"plain", "plain"},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"\"", "\"\"\"\""},
        {"two\nlines", "\"two\nlines\""},
        {"cr\r", "\"cr\r\""},
        {" blank ", " blank "},
        {"NULL", "NULL"},
        {"caf\xC3\xA9", "caf\xC3\xA9"},
        {"bad\xFF", "bad\xEF\xBF\xBD"},
        {"q\"\xFF", "\"q\"\"\xEF\xBF\xBD\""},
        // Fields of eight bytes and more are checked eight bytes at a time: every special byte is found
        // wherever it falls, in the first eight, in a later eight, or in the rest.
        {"abcdefghijklmnopq", "abcdefghijklmnopq"},
        {"abc,defgh", "\"abc,defgh\""},
        {"abcdefgh\"", "\"abcdefgh\"\"\""},
        {"abcdefghijklmno\r", "\"abcdefghijklmno\r\""},
        {"abcdefghijklmnop\n", "\"abcdefghijklmnop\n\""},
        {"abcdefghijkl\xC3\xA9mnop", "abcdefghijkl\xC3\xA9mnop"},
        {"abcdefgh\xFFijklmnop", "abcdefgh\xEF\xBF\xBDijklmnop"},
    };
    for (const Case& c : cases) {
        std::string out;
        append_csv_field(out, c.cell);
        EXPECT_EQ(out, c.field) << (c.cell ? *c.cell : "NULL");
    }
}

TEST(ExportCsv, RowsOfDecodedValuesWriteNumberColumnsAsTheyAre) {
    DecodedRow row(5);
    row[0].value_text = "12";
    row[1].value_text = "a,b";
    row[2].value_null = true;
    row[3].value_text = "";
    row[4].value_text = "";
    row[4].value_damaged = true;
    const std::vector<std::size_t> columns = {0, 1, 2, 3, 4, 9};  // 9: a column the row does not reach
    const std::vector<std::uint8_t> plain = {1, 0, 1, 1, 1, 1};
    std::string out;
    append_csv_row(row, columns, out, plain);
    // NULL stays an empty field and the empty text "" also in a column marked plain; a value that could
    // not be decoded is written as NULL.
    EXPECT_EQ(out, "12,\"a,b\",,\"\",,\r\n");
    EXPECT_TRUE(csv_plain_type(kTypeDatetime2));
    EXPECT_FALSE(csv_plain_type(kTypeNvarchar));
    EXPECT_FALSE(csv_plain_type(kTypeSqlVariant));
}

TEST(ExportCsv, FileNamesAreSafeAndUnique) {
    std::set<std::string> taken = {"definitions.csv"};
    struct Case {
        std::string schema, name, file;
    };
    const std::vector<Case> cases = {
        {"dbo", "Orders", "dbo.Orders.csv"},
        {"dbo", "orders", "dbo.orders~2.csv"},  // names differing in case only stay apart
        {"dbo", "a/b\\c:d*e?f\"g<h>i|j", "dbo.a_b_c_d_e_f_g_h_i_j.csv"},
        {"", "..", "_...csv"},
        {"", "definitions", "definitions~2.csv"},
        {"x", "tab\there\x01", "x.tab_here_.csv"},
        {"x", "bad\xFF", "x.bad\xEF\xBF\xBD.csv"},
    };
    for (const Case& c : cases) EXPECT_EQ(safe_file_name(c.schema, c.name, ".csv", taken), c.file) << c.name;
    // Long names are cut at a character boundary.
    std::string accents;
    for (int i = 0; i < 150; ++i) accents += "\xC3\xA9";
    const std::string cut = safe_file_name("", accents, ".csv", taken);
    EXPECT_LE(cut.size(), 204u);
    EXPECT_EQ(cut.substr(cut.size() - 6), "\xC3\xA9.csv");
}

TEST(ExportOutput, RefusesWhatCannotOrMayNotBeWritten) {
    test::TempFolder folder;
    const std::string file = folder.file("out.sqlite");
    const std::string csv = folder.file("csv");
    EXPECT_FALSE(export_output_refusal(ExportKind::kSqlite, file, false));
    EXPECT_FALSE(export_output_refusal(ExportKind::kCsv, csv, false));  // made by the export
    std::ofstream(file) << "x";
    fs::create_directory(csv);
    EXPECT_FALSE(export_output_refusal(ExportKind::kCsv, csv, false));  // empty
    std::ofstream(csv + "/old.csv") << "x";

    EXPECT_TRUE(export_output_refusal(ExportKind::kSqlite, file, false));
    EXPECT_FALSE(export_output_refusal(ExportKind::kSqlite, file, true));
    EXPECT_TRUE(export_output_refusal(ExportKind::kCsv, csv, false));
    EXPECT_FALSE(export_output_refusal(ExportKind::kCsv, csv, true));
    EXPECT_TRUE(export_output_refusal(ExportKind::kCsv, file, true));    // a file, not a folder
    EXPECT_TRUE(export_output_refusal(ExportKind::kSqlite, csv, true));  // a folder, not a file
    EXPECT_TRUE(export_output_refusal(ExportKind::kSqlite, folder.file("no/such/x.sqlite"), true));
    EXPECT_TRUE(export_output_refusal(ExportKind::kCsv, folder.file("no/such"), true));
    EXPECT_TRUE(export_output_refusal(ExportKind::kSqlite, "", true));
    if (::geteuid() != 0) {  // permissions do not bind the superuser
        const std::string locked = folder.file("locked");
        fs::create_directory(locked);
        ::chmod(locked.c_str(), 0555);
        EXPECT_TRUE(export_output_refusal(ExportKind::kSqlite, locked + "/x.sqlite", true));
        ::chmod(locked.c_str(), 0755);
    }
}

// ---- whole exports ----

// Records what a target is told.
class RecordingTarget final : public ExportTarget {
public:
    std::vector<std::string> calls;
    std::vector<std::vector<Cell>> rows;
    std::string report;
    int fail_at_rows_call = -1;

    bool begin_table(const ExportTable& table) override {
        calls.push_back(fmt::format("begin {}.{} {}", table.name.schema, table.name.name, table.columns.size()));
        return true;
    }
    bool write_rows(const CellRows& block) override {
        calls.push_back(fmt::format("rows {}", block.row_count()));
        for (std::size_t r = 0; r < block.row_count(); ++r)
            rows.emplace_back(block.row(r).begin(), block.row(r).end());
        return fail_at_rows_call < 0 || --fail_at_rows_call >= 0;
    }
    bool write_other_rows(const CellRows& block, RowOrigin origin) override {
        calls.push_back(fmt::format("{} rows {}", row_origin_label(origin), block.row_count()));
        return true;
    }
    std::string other_destination(RowOrigin origin) const override { return row_origin_label(origin); }
    bool end_table(bool complete) override {
        calls.push_back(complete ? "end" : "end incomplete");
        return true;
    }
    bool definition(const std::string&, const std::string& name, const std::string& type,
                    const std::string& text) override {
        calls.push_back(fmt::format("definition {} {} {}", name, type, text));
        return true;
    }
    bool finish() override {
        calls.push_back("finish");
        return true;
    }
    bool write_report(const std::string& json) override {
        report = json;
        return true;
    }
    std::string error() const override { return "disk full: out.x"; }
    std::string table_destination() const override { return "memory"; }
    std::string kind() const override { return "memory"; }
    std::string output() const override { return "memory"; }
};

class ExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::DatabaseSpec db;
        auto& people = db.add_table("People");
        people.add_column("Id", SqlType::Int);
        people.add_column("Name", SqlType::NVarChar, 40, true);
        people.add_column("Note", SqlType::VarChar, 20);
        people.add_column("Photo", SqlType::VarBinary, 16, true);
        people.add_decimal("Price", 18, 2);
        people.add_column("Active", SqlType::Bit);
        people.add_column("Big", SqlType::BigInt);
        people.primary_key({"Id"});
        auto bytes = [](std::initializer_list<int> b) {
            std::vector<std::byte> out;
            for (int x : b) out.push_back(static_cast<std::byte>(x));
            return out;
        };
        people.add_row({Value::integer(1), Value::text("Ann"), Value::text("a,b"),
                        Value::binary(bytes({1, 0xAB})), Value::decimal("12.50"), Value::boolean(true),
                        Value::integer(9000000000)});
        people.add_row({Value::integer(2), Value::null(), Value::text(""), Value::null(),
                        Value::decimal("-0.01"), Value::boolean(false), Value::integer(-5)});
        people.add_row({Value::integer(3), Value::text("say \"hi\""), Value::text("two\nlines"),
                        Value::binary({}), Value::decimal("0.00"), Value::boolean(true), Value::integer(0)});
        auto& orders = db.add_table("Orders");
        orders.schema = "sales";
        orders.add_column("Id", SqlType::Int);
        orders.add_column("Pad", SqlType::Char, 2000);
        for (int i = 0; i < 2500; ++i) orders.add_row({Value::integer(i), Value::text("p")});
        db.add_view("Cheap", "CREATE VIEW Cheap AS SELECT Id FROM People");
        files.add_file(kPath, testing::build_database(db));
        frame = test::scan_with_table_display(app, front, files, kPath, false);
        ASSERT_NE(frame->catalog(), nullptr);
        settings.decoder = table_page_decoder();
    }

    ExportReport run(ExportTarget& target, const ExportSelection& selection) {
        app.running.store(1);
        return export_selection(*frame, selection, target, settings);
    }

    ApplicationState app;
    test::FakeFrontEnd front;
    MemoryFileSystem files;
    std::unique_ptr<MainFrame> frame;
    ExportSettings settings;
};

TEST_F(ExportTest, StreamsEveryTableInBatchesAndLeavesTheFrameAsItWas) {
    const std::vector<ColumnDescriptor> before = frame->catalog()->column_descriptors;
    RecordingTarget target;
    const ExportReport report = run(target, everything(*frame));
    ASSERT_TRUE(report.complete()) << report.error;
    // Every user table in the tree's order, 1000 rows a block at most; then the definition.
    EXPECT_EQ(target.calls, (std::vector<std::string>{
                                "begin sales.Orders 2", "rows 1000", "rows 1000", "rows 500", "end",
                                "begin dbo.People 7", "rows 3", "end",
                                "definition Cheap V  CREATE VIEW Cheap AS SELECT Id FROM People", "finish"}));
    ASSERT_EQ(report.tables.size(), 2u);
    const TableReport& orders = report.tables[0];
    EXPECT_EQ(orders.rows_exported, 2500);
    EXPECT_EQ(orders.catalog_rows, std::optional<std::int64_t>(2500));
    EXPECT_EQ(orders.pages_listed, orders.pages_with_rows + orders.pages_skipped);
    EXPECT_GT(orders.pages_with_rows, 600);
    EXPECT_TRUE(orders.complete);
    ASSERT_EQ(report.objects.size(), 1u);
    EXPECT_TRUE(report.objects[0].definition_found);

    const auto json = nlohmann::json::parse(target.report);
    EXPECT_EQ(json["complete"], true);
    EXPECT_EQ(json["tables"][1]["name"], "People");
    EXPECT_EQ(json["tables"][1]["rows_exported"], 3);
    EXPECT_EQ(json["objects"][0]["definition_found"], true);

    EXPECT_EQ(frame->catalog()->column_descriptors.size(), before.size());
    EXPECT_EQ(app.running.load(), 0);
    EXPECT_FALSE(app.engine.stop_requested());
    EXPECT_FALSE(frame->busy());
}

TEST_F(ExportTest, StopEndsAfterThePageBeingRead) {
    int asked = 0;
    settings.stop_requested = [&asked] { return ++asked == 4; };
    settings.pages_per_claim = 1;
    RecordingTarget target;
    const ExportReport report = run(target, everything(*frame));
    EXPECT_TRUE(report.stopped);
    EXPECT_FALSE(report.complete());
    EXPECT_EQ(report.stopped_at.rfind("table sales.Orders, page 3 of ", 0), 0u) << report.stopped_at;
    ASSERT_EQ(report.tables.size(), 1u);
    EXPECT_FALSE(report.tables[0].complete);
    EXPECT_EQ(report.tables[0].rows_exported, static_cast<std::int64_t>(target.rows.size()));
    // The rows read are written, the table is closed as incomplete, the files are finished.
    EXPECT_EQ(target.calls.back(), "finish");
    EXPECT_EQ(target.calls[target.calls.size() - 2], "end incomplete");
    EXPECT_EQ(nlohmann::json::parse(target.report)["stopped"], report.stopped_at);
    EXPECT_EQ(app.running.load(), 0);
    EXPECT_FALSE(app.engine.stop_requested());
}

TEST_F(ExportTest, AFailingTargetEndsTheExportWithItsError) {
    RecordingTarget target;
    target.fail_at_rows_call = 1;
    const ExportReport report = run(target, everything(*frame));
    EXPECT_EQ(report.error, "disk full: out.x");
    EXPECT_EQ(std::count(target.calls.begin(), target.calls.end(), "finish"), 0);
    EXPECT_FALSE(report.tables.at(0).complete);
    EXPECT_EQ(nlohmann::json::parse(target.report)["error"], "disk full: out.x");
}

TEST_F(ExportTest, CheckedItemsChooseWhatIsExported) {
    const TreeCategories& c = frame->categories();
    const ObjectTree& tree = frame->tree();
    const ExportSelection all = selection_from_checks(*frame);
    EXPECT_EQ(all.tables.size(), 2u);
    EXPECT_EQ(all.objects.size(), 1u);

    const TreeItemId people = find_object_items(tree, {c.user_tables}, "People").at(0);
    frame->check_marks().set(c.tables, CheckMark::kPartly);
    frame->check_marks().set(c.user_tables, CheckMark::kPartly);
    frame->check_marks().set(people, CheckMark::kChecked);
    const ExportSelection one = selection_from_checks(*frame);
    EXPECT_EQ(one.tables, std::vector<TreeItemId>{people});
    EXPECT_TRUE(one.objects.empty());
}

TEST_F(ExportTest, SqliteFileHoldsTypedValuesAndDefinitions) {
    test::TempFolder folder;
    const std::string path = folder.file("out.sqlite");
    const auto target = make_sqlite_target(path);
    const ExportReport report = run(*target, everything(*frame));
    ASSERT_TRUE(report.complete()) << report.error;
    EXPECT_FALSE(fs::exists(path + ".part"));
    EXPECT_EQ(nlohmann::json::parse(test::read_bytes(path + ".report.json"))["tables"][0]["exported_to"],
              "sales.Orders");

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    auto query = [db](const std::string& sql) {
        std::vector<std::string> out;
        sqlite3_stmt* s = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        while (sqlite3_step(s) == SQLITE_ROW) {
            std::string line;
            for (int i = 0; i < sqlite3_column_count(s); ++i) {
                if (i > 0) line += "|";
                const int type = sqlite3_column_type(s, i);
                if (type == SQLITE_NULL) {
                    line += "null";
                } else if (type == SQLITE_BLOB) {
                    line += "blob:";
                    const auto* b = static_cast<const unsigned char*>(sqlite3_column_blob(s, i));
                    for (int k = 0; k < sqlite3_column_bytes(s, i); ++k) line += fmt::format("{:02x}", b[k]);
                } else {
                    line += (type == SQLITE_INTEGER ? "int:" : "text:");
                    line += reinterpret_cast<const char*>(sqlite3_column_text(s, i));
                }
            }
            out.push_back(line);
        }
        sqlite3_finalize(s);
        return out;
    };
    EXPECT_EQ(query("SELECT * FROM People ORDER BY Id"),
              (std::vector<std::string>{
                  "int:1|text:Ann|text:a,b|blob:01ab|text:12.50|int:1|int:9000000000",
                  "int:2|null|text:|null|text:-0.01|int:0|int:-5",
                  "int:3|text:say \"hi\"|text:two\nlines|blob:|text:0.00|int:1|int:0",
              }));
    EXPECT_EQ(query("SELECT count(*), sum(Id) FROM \"sales.Orders\""),
              std::vector<std::string>{"int:2500|int:3123750"});
    EXPECT_EQ(query("SELECT * FROM definitions"),
              std::vector<std::string>{
                  "text:dbo|text:Cheap|text:V |text:CREATE VIEW Cheap AS SELECT Id FROM People"});
    sqlite3_close(db);
}

// Rows go into SQLite many at a time through one statement, with texts and blobs bound in place: every
// row keeps its own values, in order, whether it went in with others or alone.
TEST(ExportSqlite, RowsInsertedManyAtATimeKeepTheirOwnValues) {
    test::TempFolder folder;
    const std::string path = folder.file("rows.sqlite");
    const auto target = make_sqlite_target(path);
    ExportTable table;
    table.name = {"dbo", "T"};
    for (const auto& [name, type, code] : {std::tuple{"Id", "int(4)", kTypeInt},
                                           std::tuple{"Text", "nvarchar(40)", kTypeNvarchar},
                                           std::tuple{"Bytes", "varbinary(8)", kTypeVarbinary}}) {
        ExportColumn& column = table.columns.emplace_back();
        column.name = name;
        column.type_text = type;
        column.type_code = code;
    }
    ASSERT_TRUE(target->begin_table(table)) << target->error();
    CellRows block;
    block.width = 3;
    for (int r = 0; r < 150; ++r) {
        block.cells.push_back(std::to_string(r));
        // Plain, not UTF-8 (repaired into a buffer of the cell's own), NULL.
        block.cells.push_back(r % 3 == 0   ? Cell(fmt::format("t{}", r))
                              : r % 3 == 1 ? Cell(fmt::format("\xFF{}", r))
                                           : Cell());
        block.cells.push_back(fmt::format("0x{:02X}", r));
    }
    block.rows = 150;
    ASSERT_TRUE(target->write_rows(block)) << target->error();
    block.rows = 1;  // a short block: one row alone, after the others
    ASSERT_TRUE(target->write_rows(block)) << target->error();
    ASSERT_TRUE(target->end_table(true) && target->finish()) << target->error();

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* s = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT Id, Text, hex(Bytes) FROM T ORDER BY rowid", -1, &s, nullptr),
              SQLITE_OK);
    int row = 0;
    while (sqlite3_step(s) == SQLITE_ROW) {
        const int r = row < 150 ? row : 0;
        EXPECT_EQ(sqlite3_column_int(s, 0), r) << row;
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, 1));
        if (r % 3 == 2)
            EXPECT_EQ(text, nullptr) << row;
        else
            EXPECT_EQ(std::string(text),
                      r % 3 == 0 ? fmt::format("t{}", r) : fmt::format("\xEF\xBF\xBD{}", r))
                << row;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(sqlite3_column_text(s, 2))),
                  fmt::format("{:02X}", r))
            << row;
        ++row;
    }
    EXPECT_EQ(row, 151);
    sqlite3_finalize(s);
    sqlite3_close(db);
}

TEST_F(ExportTest, CsvFilesHoldTitlesAndRows) {
    test::TempFolder folder;
    const std::string out = folder.file("csv");
    const auto target = make_csv_target(out);
    const ExportReport report = run(*target, everything(*frame));
    ASSERT_TRUE(report.complete()) << report.error;
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(out)) names.insert(entry.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"dbo.People.csv", "sales.Orders.csv", "definitions.csv",
                                            "recovery-report.json"}));
    EXPECT_EQ(test::read_bytes(out + "/dbo.People.csv"),
              "Id,Name,Note,Photo,Price,Active,Big\r\n"
              "1,Ann,\"a,b\",0x01AB,12.50,True,9000000000\r\n"
              "2,,\"\",,-0.01,False,-5\r\n"
              "3,\"say \"\"hi\"\"\",\"two\nlines\",0x,0.00,True,0\r\n");
    EXPECT_EQ(test::read_bytes(out + "/definitions.csv"),
              "schema,name,type,text\r\ndbo,Cheap,V ,CREATE VIEW Cheap AS SELECT Id FROM People\r\n");
}

// A value that cannot be decoded (a date past 9999-12-31 written into the file) is empty in the CSV file
// and listed in the report by page, slot, column and reason; the values around it are whole.
TEST(ExportDamage, AValueThatCannotBeDecodedIsEmptyAndListed) {
    testing::DatabaseSpec db;
    auto& days = db.add_table("Days");
    days.add_column("Id", SqlType::Int);
    days.add_column("Day", SqlType::Date);
    days.add_column("Label", SqlType::VarChar, 10);
    days.add_row({Value::integer(76), Value::datetime(1753, 1, 1), Value::text("a")});
    days.add_row({Value::integer(77), Value::datetime(1753, 1, 1), Value::text("b")});
    std::vector<std::byte> image = testing::build_database(db);
    // Row 77's fixed part: the id, then the day (1753-01-01 is day 639905 from 0001-01-01).
    const std::vector<std::byte> fixed = {std::byte{77},   std::byte{0},    std::byte{0},   std::byte{0},
                                          std::byte{0xA1}, std::byte{0xC3}, std::byte{0x09}};
    const auto at = std::search(image.begin(), image.end(), fixed.begin(), fixed.end());
    ASSERT_NE(at, image.end());
    std::fill(at + 4, at + 7, std::byte{0xFF});
    const std::size_t page_id = static_cast<std::size_t>(at - image.begin()) / kPageSize;

    ApplicationState app;
    test::FakeFrontEnd front;
    MemoryFileSystem files;
    files.add_file(kPath, std::move(image));
    const std::unique_ptr<MainFrame> frame = test::scan_with_table_display(app, front, files, kPath, false);
    ASSERT_NE(frame->catalog(), nullptr);
    ExportSettings settings;
    settings.decoder = table_page_decoder(ValueStyle::kExport);  // as the export commands decode
    test::TempFolder folder;
    const std::string out = folder.file("csv");
    const auto target = make_csv_target(out);
    app.running.store(1);
    const ExportReport report = export_selection(*frame, everything(*frame), *target, settings);
    ASSERT_TRUE(report.complete()) << report.error;

    EXPECT_EQ(test::read_bytes(out + "/dbo.Days.csv"), "Id,Day,Label\r\n76,1753-01-01,a\r\n77,,b\r\n");
    ASSERT_EQ(report.tables.size(), 1u);
    const TableReport& table = report.tables[0];
    EXPECT_EQ(table.damaged_values, 1);
    ASSERT_EQ(table.damaged.size(), 1u);
    EXPECT_EQ(table.damaged[0].page, (PageAddress{1, static_cast<std::int32_t>(page_id)}));
    EXPECT_EQ(table.damaged[0].slot, 1);
    EXPECT_EQ(table.damaged[0].column, "Day");
    const auto json = nlohmann::json::parse(test::read_bytes(out + "/recovery-report.json"));
    EXPECT_EQ(json["tables"][0]["damaged_values"], 1);
    EXPECT_EQ(json["tables"][0]["damaged"][0], (nlohmann::json{{"page", fmt::format("1:{}", page_id)},
                                                               {"slot", 1},
                                                               {"column", "Day"},
                                                               {"reason", "invalid bytes"}}));
    EXPECT_NE(export_summary(report, "r.json").find("1 damaged values"), std::string::npos);
}

// The report lists the first damaged values of a table by page order and counts them all.
TEST(ExportDamage, PagesAddTheirDamageInOrderUpToTheListedCount) {
    TableReport table;
    PageDamage page;
    DecodedRow row(3);
    row[0].name = "a";
    row[1].name = "b";
    row[1].value_damaged = true;
    row[1].damage_reason = ValueDamage::kOutsideRecord;
    row[1].damage_slot = 4;
    row[2].name = "c";
    row[2].value_damaged = true;
    const std::vector<std::size_t> columns = {0, 1};  // c is not exported
    for (std::int32_t p = 1; p <= 3; ++p) {
        for (int r = 0; r < 60; ++r) note_damaged_values(row, columns, PageAddress{1, p}, page);
        EXPECT_EQ(page.count, 60);
        add_page_damage(page, table);
        EXPECT_EQ(page.count, 0);
        EXPECT_TRUE(page.listed.empty());
    }
    EXPECT_EQ(table.damaged_values, 180);
    ASSERT_EQ(table.damaged.size(), kListedDamagedValues);
    EXPECT_EQ(table.damaged.front().page, (PageAddress{1, 1}));
    EXPECT_EQ(table.damaged[60].page, (PageAddress{1, 2}));
    EXPECT_EQ(table.damaged.back().page, (PageAddress{1, 2}));
    EXPECT_EQ(table.damaged.back().column, "b");
    EXPECT_EQ(table.damaged.back().slot, 4);
    EXPECT_EQ(table.damaged.back().reason, ValueDamage::kOutsideRecord);
}

TEST_F(ExportTest, AnUnwritableTargetIsReportedByFileAndLeavesNoFile) {
    const auto target = make_sqlite_target("/proc/quenlow-export.sqlite");
    const ExportReport report = run(*target, everything(*frame));
    EXPECT_FALSE(report.complete());
    EXPECT_NE(report.error.find("/proc/quenlow-export.sqlite"), std::string::npos) << report.error;
    EXPECT_FALSE(fs::exists("/proc/quenlow-export.sqlite"));
}

}  // namespace
}  // namespace quenlow
