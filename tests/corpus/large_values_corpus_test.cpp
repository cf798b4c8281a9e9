// Large values of real files against the scripts that filled them: every row of the tables with text,
// ntext and image columns, read as `quenlow rows --all` reads them (the main frame with the engine's
// seams, values read in the first batch too; see corpus_table_rows.h), compared with the truth rows keyed by their first column.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cctype>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tests/corpus/corpus_table_rows.h"
#include "tests/support/corpus_gtest.h"

namespace quenlow::testing {
namespace {

using Json = nlohmann::json;
using Row = std::vector<std::string>;

// The rows of a user table as `quenlow rows --all` shows them; nullptr when the table is not listed.
const CorpusTableRows* all_rows(const CorpusFile& file, const std::string& table) {
    const Materialized local = materialize(file);
    EXPECT_TRUE(local) << local.error;
    if (!local) return nullptr;
    for (const CorpusTableRows& t : corpus_file_rows(local.path.string()).tables)
        if (t.name == table) return &t;
    return nullptr;
}

Json load_truth(const std::string& name) {
    const auto dir = corpus_dir();
    std::ifstream in(*dir / "truth" / name);
    return Json::parse(in);
}

// The text a truth value shows as: binary literals as "0x" and upper-case hex, strings as written.
std::string truth_text(const Json& v) {
    if (v.is_null()) return "NULL";
    if (v.is_string()) return v.get<std::string>();
    if (v.is_object() && v.contains("hex")) {
        std::string hex = v["hex"].get<std::string>();
        for (char& c : hex) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return "0x" + hex;
    }
    return v.dump();
}

// Where two texts first differ, for a readable failure.
std::string first_difference(const std::string& got, const std::string& want) {
    std::size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
    return "lengths " + std::to_string(got.size()) + " and " + std::to_string(want.size()) +
           ", first difference at byte " + std::to_string(i) + ": got \"" + got.substr(i, 40) +
           "\", want \"" + want.substr(i, 40) + "\"";
}

// Values the file stores differently from the script that is its truth, with the cause.
struct KnownDifference {
    const char* file;
    const char* key;
    const char* column;
    // The stored value is the script's value followed by this,
    const char* stored_suffix;
    // with this part of the script's value read as stored_part.
    const char* script_part = nullptr;
    const char* stored_part = nullptr;
};
// The SQL Server 2000 pubs file was filled from a script whose pr_info literals of these two publishers
// end with two line breaks; the data fragments hold them (675 = 671 + 4 and 115 = 111 + 4 bytes), and
// the 2008 pubs file, filled from the script of the truth, does not. Its database collation is
// Chinese_PRC_CI_AS: the byte of "ü" in "München" (0xFC, code page 1252) is a lead byte in code page 936
// and makes "黱" with the "n" after it, as the server itself reads the column.
const KnownDifference kKnownDifferences[] = {
    {"v539_pubs_sql2000data", "0877", "pr_info", "\r\n\r\n"},
    {"v539_pubs_sql2000data", "9901", "pr_info", "\r\n\r\n", "ünchen", "黱chen"},
};

// The text the file stores for a value of the script.
std::string stored_text(const std::string& file, const std::string& key, const std::string& column,
                        std::string script_text) {
    for (const KnownDifference& d : kKnownDifferences) {
        if (file != d.file || key != d.key || column != d.column) continue;
        if (d.script_part != nullptr) {
            const std::size_t at = script_text.find(d.script_part);
            if (at != std::string::npos)
                script_text.replace(at, std::string(d.script_part).size(), d.stored_part);
        }
        return script_text + d.stored_suffix;
    }
    return script_text;
}

struct LargeValueTable {
    const char* file;
    const char* truth;
    const char* table;
    std::vector<std::string> columns;  // the truth's column names, or the table's when the truth has none
    std::vector<std::string> compared;
};

std::string case_name(const ::testing::TestParamInfo<LargeValueTable>& info) {
    std::string name = std::string(info.param.file) + "_" + info.param.table;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

class LargeValuesCorpusTest : public ::testing::TestWithParam<LargeValueTable> {};

TEST_P(LargeValuesCorpusTest, EqualTheTruthRows) {
    QUENLOW_REQUIRE_CORPUS();
    const LargeValueTable& c = GetParam();
    const CorpusFile* file = find_corpus_file(c.file);
    if (file == nullptr) GTEST_SKIP() << c.file << " is not in the corpus";

    const Json truth = load_truth(c.truth)[c.table];
    std::vector<std::string> truth_columns = c.columns;
    if (truth["columns"].is_array()) truth_columns = truth["columns"].get<std::vector<std::string>>();

    const CorpusTableRows* shown = all_rows(*file, c.table);
    ASSERT_TRUE(shown) << c.table << " is not listed";
    auto column_of = [](const std::vector<std::string>& names, const std::string& name) {
        for (std::size_t i = 0; i < names.size(); ++i)
            if (names[i] == name) return static_cast<int>(i);
        return -1;
    };

    std::map<std::string, Row> by_key;
    for (const Row& row : shown->rows) {
        ASSERT_FALSE(row.empty());
        EXPECT_TRUE(by_key.emplace(row[0], row).second) << "key " << row[0] << " shown twice";
    }
    EXPECT_EQ(by_key.size(), truth["rows"].size());
    std::size_t values = 0;
    for (const Json& truth_row : truth["rows"]) {
        const std::string key = truth_text(truth_row[0]);
        const auto found = by_key.find(key);
        if (found == by_key.end()) {
            ADD_FAILURE() << c.table << ": no row " << key;
            continue;
        }
        for (const std::string& name : c.compared) {
            const int t = column_of(truth_columns, name);
            const int s = column_of(shown->columns, name);
            ASSERT_GE(t, 0) << name;
            ASSERT_GE(s, 0) << name;
            const std::string want =
                stored_text(c.file, key, name, truth_text(truth_row[static_cast<std::size_t>(t)]));
            const std::string& got = found->second[static_cast<std::size_t>(s)];
            ++values;
            EXPECT_TRUE(got == want) << c.table << " row " << key << " column " << name << ": "
                                     << first_difference(got, want);
        }
    }
    EXPECT_GT(values, 0u);
}

const std::vector<std::string> kPubInfo = {"pub_id", "logo", "pr_info"};

INSTANTIATE_TEST_SUITE_P(
    Corpus, LargeValuesCorpusTest,
    ::testing::Values(
        LargeValueTable{"v655_northwnd_itsligo",
                        "itsligo_northwind_script_utf16.rows.json",
                        "Categories",
                        {},
                        {"Picture", "Description"}},
        LargeValueTable{"v655_northwnd_itsligo",
                        "itsligo_northwind_script_utf16.rows.json",
                        "Employees",
                        {},
                        {"Photo", "Notes"}},
        LargeValueTable{"v539_northwnd_sql2000data",
                        "northwind_instnwnd.rows.json",
                        "Categories",
                        {},
                        {"Picture", "Description"}},
        LargeValueTable{
            "v539_northwnd_sql2000data", "northwind_instnwnd.rows.json", "Employees", {}, {"Photo", "Notes"}},
        LargeValueTable{
            "v539_pubs_sql2000data", "pubs_instpubs.rows.json", "pub_info", kPubInfo, {"logo", "pr_info"}},
        LargeValueTable{
            "v655_pubs_itsligo", "pubs_instpubs.rows.json", "pub_info", kPubInfo, {"logo", "pr_info"}}),
    case_name);

}  // namespace
}  // namespace quenlow::testing
