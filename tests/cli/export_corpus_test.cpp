// `quenlow export` on real Northwind and pubs files (SQL Server 2000 and 2008): every user table exported
// to CSV and to SQLite holds, cell for cell and in the same order, the rows `quenlow rows --all --format
// csv` prints for it; the T-SQL script, read back, creates the tables with the catalog's columns and
// types and inserts the same rows. Also the refusals of the command and its quiet mode.

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <fstream>

#include <fmt/format.h>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "tests/app/test_files.h"
#include "tests/cli/program_run.h"
#include "tests/cli/sql_script_reader.h"
#include "tests/support/corpus_gtest.h"

namespace quenlow {
namespace {

using test::ProgramRun;
using test::run_quenlow;
using Cell = std::optional<std::string>;
using Row = std::vector<Cell>;

// RFC 4180 records; an empty field without quotes is NULL.
std::vector<Row> parse_csv(const std::string& text) {
    std::vector<Row> rows;
    Row row;
    std::size_t i = 0;
    while (i < text.size()) {
        Cell field;
        if (text[i] == '"') {
            field.emplace();
            for (++i; i < text.size(); ++i) {
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        *field += '"';
                        ++i;
                    } else {
                        ++i;
                        break;
                    }
                } else {
                    *field += text[i];
                }
            }
        } else {
            const std::size_t end = text.find_first_of(",\r", i);
            if (end != i) field = text.substr(i, end - i);
            i = end == std::string::npos ? text.size() : end;
        }
        row.push_back(std::move(field));
        if (i < text.size() && text[i] == ',') {
            ++i;
        } else {
            i += 2;  // CR LF
            rows.push_back(std::move(row));
            row.clear();
        }
    }
    return rows;
}

// The record list leaves out rows whose cells are all empty (the first may read "NULL").
bool hidden_in_list(const Row& row) {
    for (std::size_t c = 0; c < row.size(); ++c) {
        const bool empty = row[c] && row[c]->empty();
        if (!(empty || (c == 0 && (!row[c] || *row[c] == "NULL")))) return false;
    }
    return true;
}

// The same value: equal texts, or NULL where the record list shows "NULL".
bool same_cell(const Cell& exported, const Cell& shown) {
    if (exported == shown) return true;
    return !exported && shown && *shown == "NULL";
}

std::vector<Row> sqlite_rows(const std::string& path, const std::string& table) {
    std::vector<Row> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "cannot open " << path;
        sqlite3_close(db);
        return rows;
    }
    std::string quoted = "\"";
    for (char c : table) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    const std::string sql = "SELECT * FROM " + quoted + "\" ORDER BY rowid";
    sqlite3_stmt* s = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    while (s != nullptr && sqlite3_step(s) == SQLITE_ROW) {
        Row row;
        for (int i = 0; i < sqlite3_column_count(s); ++i) {
            switch (sqlite3_column_type(s, i)) {
                case SQLITE_NULL:
                    row.emplace_back();
                    break;
                case SQLITE_BLOB: {
                    std::string hex = "0x";
                    const auto* b = static_cast<const unsigned char*>(sqlite3_column_blob(s, i));
                    for (int k = 0; k < sqlite3_column_bytes(s, i); ++k) hex += fmt::format("{:02X}", b[k]);
                    row.emplace_back(hex);
                    break;
                }
                default:
                    row.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, i)));
            }
        }
        rows.push_back(std::move(row));
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
    return rows;
}

// A SQLite integer stands for the same value as the text shown for a bit ("True", "False").
bool same_sqlite_cell(const Cell& stored, const Cell& exported) {
    if (stored == exported) return true;
    if (!stored || !exported) return false;
    return (*stored == "1" && *exported == "True") || (*stored == "0" && *exported == "False");
}

// The columns `quenlow show` lists for a table: name and the catalog's type text ("nvarchar(80)", and
// "(80)" where the catalog has no type names).
std::vector<std::pair<std::string, std::string>> shown_columns(const std::string& show) {
    std::vector<std::pair<std::string, std::string>> out;
    const std::size_t start = show.find("\n  Columns\n");
    if (start == std::string::npos) return out;
    std::size_t line = start + 11;
    while (line < show.size() && show.compare(line, 4, "    ") == 0) {
        const std::size_t end = show.find('\n', line);
        const std::string text = show.substr(line + 4, end - line - 4);
        const std::size_t gap = text.find("  ");
        std::string type = gap == std::string::npos ? "" : text.substr(gap + 2);
        type = type.substr(0, std::min(type.find('['), type.find("  ")));
        out.emplace_back(text.substr(0, gap), type);
        line = end + 1;
    }
    return out;
}

// The script's type of a column fits the catalog's type text: the same built-in type name (rowversion
// for timestamp, nvarchar for sysname; alias types are made of their base type) and the same length,
// counted in characters for Unicode types.
::testing::AssertionResult type_fits(const std::string& script, const std::string& catalog) {
    const std::size_t open = catalog.find('(');
    const std::string name = catalog.substr(0, open);
    const int bytes = open == std::string::npos ? 0 : std::atoi(catalog.c_str() + open + 1);
    const std::string base = script.substr(0, script.find('('));
    static const std::set<std::string> builtin = {
        "bigint", "binary", "bit", "char", "datetime", "date", "time", "datetime2", "datetimeoffset", "int",
        "nchar", "nvarchar", "smallint", "tinyint", "uniqueidentifier", "varbinary", "varchar", "ntext",
        "sql_variant", "money", "float", "numeric", "decimal", "image", "text", "smalldatetime", "real",
        "smallmoney", "timestamp", "xml", "sysname"};
    if (builtin.count(name) != 0) {
        const std::string expected = name == "timestamp" ? "rowversion" : name == "sysname" ? "nvarchar" : name;
        if (base != expected) return ::testing::AssertionFailure() << script << " for " << catalog;
    }
    static const std::set<std::string> sized = {"binary", "char", "varbinary", "varchar", "nchar", "nvarchar"};
    if (sized.count(base) == 0) return ::testing::AssertionSuccess();
    const bool wide = base[0] == 'n';
    const std::string length = bytes < 0 ? "max" : std::to_string(wide ? bytes / 2 : bytes);
    if (script != base + "(" + length + ")") return ::testing::AssertionFailure() << script << " for " << catalog;
    return ::testing::AssertionSuccess();
}

// An INSERT literal read back as the text the CSV export holds: bit 1 / 0 as True / False.
Cell export_text(const Cell& literal, char kind, const std::string& type) {
    if (literal && kind == 'n' && type == "bit") return *literal == "1" ? "True" : "False";
    return literal;
}

void check_script(const std::string& script_text, const nlohmann::json& report, const std::string& csv,
                  const std::string& data_file, test::TempFolder& folder) {
    const test::Script script = test::read_sql_script(script_text);
    ASSERT_EQ(script.error, "");
    ASSERT_EQ(script.tables.size(), report["tables"].size());
    std::size_t cells = 0;
    for (std::size_t t = 0; t < script.tables.size(); ++t) {
        const test::ScriptTable& table = script.tables[t];
        const auto& entry = report["tables"][t];
        SCOPED_TRACE(table.name);
        EXPECT_EQ(table.name, entry["name"].get<std::string>());
        const std::string qualified = entry["schema"].get<std::string>() + "." + table.name;
        const std::vector<Row> exported =
            parse_csv(test::read_bytes(csv + "/" + entry["exported_to"].get<std::string>()));
        ASSERT_FALSE(exported.empty());
        const ProgramRun show = run_quenlow(folder, {"show", data_file, qualified, "-q"});
        const auto catalog = shown_columns(show.out);
        std::vector<std::string> stored;
        for (const test::ScriptColumn& c : table.columns) {
            if (c.computed) continue;
            stored.push_back(c.name);
            auto it = std::find_if(catalog.begin(), catalog.end(), [&](const auto& s) { return s.first == c.name; });
            ASSERT_NE(it, catalog.end()) << c.name << " is not a column of the catalog";
            EXPECT_TRUE(type_fits(c.type, it->second)) << c.name;
        }
        std::vector<std::string> titles;
        for (const Cell& title : exported.front()) titles.push_back(title.value_or(""));
        EXPECT_EQ(stored, titles);
        if (exported.size() == 1) continue;
        ASSERT_EQ(table.rows.size(), exported.size() - 1);
        for (std::size_t r = 0; r < table.rows.size(); ++r) {
            for (std::size_t i = 0; i < table.insert_columns.size(); ++i) {
                const auto at = std::find(titles.begin(), titles.end(), table.insert_columns[i]) - titles.begin();
                ASSERT_LT(static_cast<std::size_t>(at), titles.size());
                const auto column = std::find_if(table.columns.begin(), table.columns.end(),
                                                 [&](const auto& c) { return c.name == table.insert_columns[i]; });
                const Cell value = export_text(table.rows[r][i], table.kinds[r][i], column->type);
                EXPECT_EQ(value, exported[r + 1][static_cast<std::size_t>(at)])
                    << "row " << r << " column " << table.insert_columns[i];
                ++cells;
            }
        }
    }
    EXPECT_GT(cells, 0u);
    EXPECT_GT(script.go_lines, script.tables.size());
}

struct ExportCase {
    const char* file;
    std::size_t min_rows;  // rows the record lists show at least
};

void PrintTo(const ExportCase& c, std::ostream* os) { *os << c.file; }

class ExportCorpusTest : public ::testing::TestWithParam<ExportCase> {};

TEST_P(ExportCorpusTest, CsvAndSqliteHoldTheRowsTheRowsCommandPrints) {
    QUENLOW_REQUIRE_CORPUS();
    const testing::CorpusFile* file = testing::find_corpus_file(GetParam().file);
    if (file == nullptr) GTEST_SKIP() << GetParam().file << " is not in the corpus";
    const auto local = testing::materialize(*file);
    ASSERT_TRUE(local) << local.error;
    const std::string path = local.path.string();
    test::TempFolder folder;
    const std::string csv = folder.file("csv");
    const std::string sqlite = folder.file("out.sqlite");

    const ProgramRun to_csv = run_quenlow(folder, {"export", path, "--to", "csv", "--output", csv, "-q"});
    ASSERT_EQ(to_csv.status, 0) << to_csv.err;
    EXPECT_EQ(to_csv.err, "") << "quiet: nothing on stderr";
    const ProgramRun to_sqlite = run_quenlow(folder, {"export", path, "--to", "sqlite", "--output", sqlite});
    ASSERT_EQ(to_sqlite.status, 0) << to_sqlite.err;
    EXPECT_NE(to_sqlite.err.find("Export done: "), std::string::npos) << to_sqlite.err;

    const auto report = nlohmann::json::parse(test::read_bytes(csv + "/recovery-report.json"));
    const auto sqlite_report = nlohmann::json::parse(test::read_bytes(sqlite + ".report.json"));
    EXPECT_EQ(report["complete"], true);
    ASSERT_GE(report["tables"].size(), 8u);
    ASSERT_EQ(report["tables"].size(), sqlite_report["tables"].size());
    std::size_t rows_compared = 0;
    for (std::size_t t = 0; t < report["tables"].size(); ++t) {
        const auto& entry = report["tables"][t];
        const std::string name = entry["schema"].get<std::string>() + "." + entry["name"].get<std::string>();
        SCOPED_TRACE(name);
        const ProgramRun rows = run_quenlow(folder, {"rows", path, name, "--all", "--format", "csv"});
        ASSERT_EQ(rows.status, 0) << rows.err;
        const std::vector<Row> shown = parse_csv(rows.out);
        const std::vector<Row> exported =
            parse_csv(test::read_bytes(csv + "/" + entry["exported_to"].get<std::string>()));
        ASSERT_FALSE(shown.empty());
        ASSERT_FALSE(exported.empty());
        EXPECT_EQ(exported.front(), shown.front()) << "titles";
        EXPECT_EQ(entry["rows_exported"].get<std::size_t>(), exported.size() - 1);

        std::vector<Row> visible;
        for (std::size_t r = 1; r < exported.size(); ++r)
            if (!hidden_in_list(exported[r])) visible.push_back(exported[r]);
        ASSERT_EQ(visible.size(), shown.size() - 1);
        for (std::size_t r = 0; r < visible.size(); ++r) {
            ASSERT_EQ(visible[r].size(), shown[r + 1].size()) << "row " << r;
            for (std::size_t c = 0; c < visible[r].size(); ++c)
                EXPECT_TRUE(same_cell(visible[r][c], shown[r + 1][c]))
                    << "row " << r << " column " << c << ": " << visible[r][c].value_or("(null)") << " vs "
                    << shown[r + 1][c].value_or("(null)");
            ++rows_compared;
        }

        const std::vector<Row> stored =
            sqlite_rows(sqlite, sqlite_report["tables"][t]["exported_to"].get<std::string>());
        ASSERT_EQ(stored.size(), exported.size() - 1);
        for (std::size_t r = 0; r < stored.size(); ++r) {
            ASSERT_EQ(stored[r].size(), exported[r + 1].size());
            for (std::size_t c = 0; c < stored[r].size(); ++c)
                EXPECT_TRUE(same_sqlite_cell(stored[r][c], exported[r + 1][c]))
                    << "row " << r << " column " << c << ": " << stored[r][c].value_or("(null)") << " vs "
                    << exported[r + 1][c].value_or("(null)");
        }
    }
    EXPECT_GT(rows_compared, GetParam().min_rows);
    std::size_t found = 0;
    for (const auto& o : report["objects"]) found += o["definition_found"].get<bool>() ? 1 : 0;
    EXPECT_GT(found, 0u) << "Northwind and pubs have views and procedures";

    const std::string sql = folder.file("out.sql");
    const ProgramRun to_sql = run_quenlow(folder, {"export", path, "--to", "sql", "--output", sql, "-q"});
    ASSERT_EQ(to_sql.status, 0) << to_sql.err;
    check_script(test::read_bytes(sql), report, csv, path, folder);
}

INSTANTIATE_TEST_SUITE_P(NorthwindAndPubs, ExportCorpusTest,
                         ::testing::Values(ExportCase{"v539_northwnd_sql2000data", 2000},
                                           ExportCase{"v655_northwnd_itsligo", 2000},
                                           ExportCase{"v539_pubs_sql2000data", 150},
                                           ExportCase{"v655_pubs_itsligo", 150}),
                         [](const auto& info) { return std::string(info.param.file); });

TEST(ExportCommand, RefusesAnExistingOutputAndAMissingFolder) {
    test::TempFolder folder;
    const std::string existing = folder.file("there.sqlite");
    std::ofstream(existing) << "x";
    const ProgramRun refused =
        run_quenlow(folder, {"export", "/no/such.mdf", "--to", "sqlite", "--output", existing});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("exists (--force replaces it)"), std::string::npos) << refused.err;
    EXPECT_EQ(test::read_bytes(existing), "x");

    const ProgramRun missing = run_quenlow(
        folder, {"export", "/no/such.mdf", "--to", "csv", "--output", folder.file("no/such/folder")});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("does not exist"), std::string::npos) << missing.err;
}

}  // namespace
}  // namespace quenlow

namespace quenlow {
namespace {

// Every corpus file exported as a T-SQL script reads back: one CREATE TABLE per table of the report and
// as many INSERT rows as it says were exported, each row as wide as its column list. The files were
// written by real servers and none of their values is damaged: a value the report lists is a decoder
// fault (records that leave trailing empty values out were one).
TEST(ExportCorpusScripts, EveryFileReadsBack) {
    QUENLOW_REQUIRE_CORPUS();
    test::TempFolder folder;
    std::size_t files = 0, rows = 0;
    for (const testing::CorpusFile& file : testing::corpus_files()) {
        SCOPED_TRACE(file.name);
        const auto local = testing::materialize(file);
        ASSERT_TRUE(local) << local.error;
        const std::string sql = folder.file(file.name + ".sql");
        const ProgramRun run =
            run_quenlow(folder, {"export", local.path.string(), "--to", "sql", "--output", sql, "-q"});
        if (run.status != 0) continue;  // no tree: nothing to export
        const auto report = nlohmann::json::parse(test::read_bytes(sql + ".report.json"));
        const test::Script script = test::read_sql_script(test::read_bytes(sql));
        ASSERT_EQ(script.error, "");
        ASSERT_EQ(script.tables.size(), report["tables"].size());
        for (std::size_t t = 0; t < script.tables.size(); ++t) {
            EXPECT_EQ(script.tables[t].rows.size(), report["tables"][t]["rows_exported"].get<std::size_t>())
                << script.tables[t].name;
            EXPECT_EQ(report["tables"][t]["damaged_values"], 0)
                << script.tables[t].name << ": " << report["tables"][t]["damaged"].dump();
            rows += script.tables[t].rows.size();
        }
        ++files;
    }
    std::cout << files << " scripts, " << rows << " rows read back\n";
    EXPECT_GT(files, 40u);
}

// The tables, primary keys, unique constraints and foreign keys of a script, without constraint names
// (the server names some of them itself, differently on every install).
std::vector<std::string> key_lines(const std::string& script) {
    std::vector<std::string> out;
    std::size_t from = 0;
    while (from < script.size()) {
        const std::size_t end = std::min(script.find('\n', from), script.size());
        std::string line = script.substr(from, end - from);
        from = end + 1;
        if (line.find("CREATE TABLE") == std::string::npos && line.find("PRIMARY KEY") == std::string::npos &&
            line.find("UNIQUE") == std::string::npos && line.find("FOREIGN KEY") == std::string::npos)
            continue;
        const std::size_t name = line.find("CONSTRAINT [");
        if (name != std::string::npos) line.erase(name, line.find("] ", name) + 2 - name);
        if (!line.empty() && line.back() == ',') line.pop_back();
        out.push_back(line);
    }
    return out;
}

// The keys of SQL Server 2000 files come from sysindexes and sysreferences; the same sample databases
// written by SQL Server 2008 give theirs through the later catalog. Both scripts declare the same.
TEST(ExportCorpusScripts, Sql2000KeysEqualTheSameDatabaseFrom2008) {
    QUENLOW_REQUIRE_CORPUS();
    test::TempFolder folder;
    const std::pair<const char*, const char*> pairs[] = {{"v539_northwnd_sql2000data", "v655_northwnd_itsligo"},
                                                         {"v539_pubs_sql2000data", "v655_pubs_itsligo"}};
    for (const auto& [old_file, new_file] : pairs) {
        std::vector<std::string> lines[2];
        int i = 0;
        for (const char* name : {old_file, new_file}) {
            const testing::CorpusFile* file = testing::find_corpus_file(name);
            if (file == nullptr) GTEST_SKIP() << name << " is not in the corpus";
            const auto local = testing::materialize(*file);
            ASSERT_TRUE(local) << local.error;
            const std::string sql = folder.file(std::string(name) + ".sql");
            ASSERT_EQ(run_quenlow(folder, {"export", local.path.string(), "--to", "sql", "--output", sql, "-q"}).status, 0);
            lines[i++] = key_lines(test::read_bytes(sql));
        }
        EXPECT_EQ(lines[0], lines[1]) << old_file;
        EXPECT_GT(std::count_if(lines[0].begin(), lines[0].end(),
                                [](const std::string& l) { return l.find("PRIMARY KEY") != std::string::npos; }),
                  8);
        EXPECT_GT(std::count_if(lines[0].begin(), lines[0].end(),
                                [](const std::string& l) { return l.find("FOREIGN KEY") != std::string::npos; }),
                  8);
    }
}

}  // namespace
}  // namespace quenlow
