#include "app/collation_file.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

namespace quenlow {
namespace {

namespace fs = std::filesystem;

CollationTable parse(const std::string& text) {
    std::istringstream in(text);
    return parse_collation_text(in);
}

struct IntCase {
    const char* text;
    std::int32_t expected;
};

TEST(ReadLeadingInt32, ReadsLikeTheRuntimeAtoi) {
    const std::vector<IntCase> cases = {
        {"1252", 1252},
        {"  -12x", -12},
        {"+7", 7},
        {"abc", 0},
        {"", 0},
        {" \t\v\f\r\n9", 9},
        {"- 5", 0},
        {"+-3", 0},
        {"-", 0},
        {"0012", 12},
        {"12 34", 12},
        {"1252\t9", 1252},
        {"x12", 0},
        {"-0", 0},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        // Beyond 32 bits the value clamps to the nearest limit.
        {"2147483648", 2147483647},
        {"99999999999999999999999999", 2147483647},
        {"-2147483649", -2147483647 - 1},
        {"-99999999999999999999999999", -2147483647 - 1},
    };
    for (const auto& c : cases) EXPECT_EQ(read_leading_int32(c.text), c.expected) << '"' << c.text << '"';
}

struct LineCase {
    const char* what;
    std::string line;
    CollationTable expected;
};

TEST(ParseCollationText, OneLine) {
    const std::vector<LineCase> cases = {
        {"plain", "Latin1_General_CI_AS\t53256\t1252", {{53256, {"Latin1_General_CI_AS", 1252}}}},
        {"empty line", "", {}},
        {"no TAB", "Latin1_General_CI_AS 53256 1252", {}},
        {"one TAB", "Latin1_General_CI_AS\t53256", {}},
        {"three TABs: third field stops at its TAB", "A\t5\t1252\t9", {{5, {"A", 1252}}}},
        {"nothing after the first TAB", "A\t", {{0, {"A", 0}}}},
        {"non-numeric id", "A\tabc\t1252", {{0, {"A", 1252}}}},
        {"empty id", "A\t\t1252", {{0, {"A", 1252}}}},
        {"empty code page", "A\t5\t", {{5, {"A", 0}}}},
        {"white space around numbers", "A\t  12 \t\t 850", {{12, {"A", 850}}}},
        {"negative id",
         "SQL_Danish_Pref_CP1_CI_AS\t-1224683515\t1252",
         {{-1224683515, {"SQL_Danish_Pref_CP1_CI_AS", 1252}}}},
        {"empty name", "\t7\t437", {{7, {"", 437}}}},
        {"name with blanks kept as is", " A b \t1\t2", {{1, {" A b ", 2}}}},
        {"CR LF line end", "A\t5\t1252\r", {{5, {"A", 1252}}}},
        {"CR LF after one TAB", "A\t5\r", {}},
        {"lone CR", "\r", {}},
        {"8-bit name", "Caf\xe9\t3\t1252", {{3, {"Caf\xe9", 1252}}}},
    };
    for (const auto& c : cases) {
        const auto table = parse(c.line + "\n");
        ASSERT_EQ(table.size(), c.expected.size()) << c.what;
        for (const auto& [id, entry] : c.expected) {
            ASSERT_TRUE(table.contains(id)) << c.what;
            EXPECT_EQ(table.at(id).name, entry.name) << c.what;
            EXPECT_EQ(table.at(id).code_page, entry.code_page) << c.what;
        }
    }
}

TEST(ParseCollationText, WholeFileWithDuplicatesAndDamage) {
    const std::string text =
        "Zeta\t30\t1250\r\n"
        "\r\n"
        "broken line\r\n"
        "Alpha\t10\t1252\r\n"
        "Old\t20\t1251\n"
        "half\t99\n"
        "\n"
        "New\t20\t874\n"
        "Last\t-5\t0";  // no line end after the last line
    const auto table = parse(text);

    std::vector<std::int64_t> ids;
    for (const auto& [id, entry] : table) ids.push_back(id);
    EXPECT_EQ(ids, (std::vector<std::int64_t>{-5, 10, 20, 30}));
    EXPECT_EQ(table.at(20).name, "New");
    EXPECT_EQ(table.at(20).code_page, 874);
    EXPECT_EQ(table.at(30).name, "Zeta");
    EXPECT_EQ(table.at(-5).name, "Last");
}

class CollationFileOnDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("quenlow-collation-test-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

TEST_F(CollationFileOnDisk, MissingOrUnreadableFileGivesEmptyTable) {
    EXPECT_TRUE(load_collation_file((dir_ / "collation.txt").string()).empty());
    EXPECT_TRUE(load_collation_file(dir_.string()).empty());  // a folder, not a file
    EXPECT_TRUE(load_collation_file("").empty());
}

TEST_F(CollationFileOnDisk, LoadsAFileBesideTheExecutable) {
    const auto exe = dir_ / "quenlow";
    {
        std::ofstream out(collation_file_path(exe.string()), std::ios::binary);
        out << "Latin1_General_CI_AS\t53256\t1252\r\nJapanese_CI_AS\t53264\t932\r\n";
    }
    const auto table = load_collation_file(collation_file_path(exe.string()));
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table.at(53264).name, "Japanese_CI_AS");
    EXPECT_EQ(table.at(53264).code_page, 932);
}

TEST(CollationFilePath, FolderOfTheExecutablePlusFileName) {
    EXPECT_EQ(collation_file_path("/opt/quenlow/bin/quenlow"), "/opt/quenlow/bin/collation.txt");
    EXPECT_EQ(collation_file_path("./quenlow"), "./collation.txt");
    EXPECT_EQ(collation_file_path("/quenlow"), "/collation.txt");
    EXPECT_EQ(collation_file_path("quenlow"), "collation.txt");
    EXPECT_EQ(collation_file_path(""), "collation.txt");
}

TEST(RunningExecutablePath, NamesThisTestProgram) {
    const fs::path exe = running_executable_path();
    ASSERT_FALSE(exe.empty());
    EXPECT_TRUE(exe.is_absolute());
    EXPECT_TRUE(fs::is_regular_file(exe));
    EXPECT_EQ(exe.filename(), "test_app");
}

TEST(ShippedCollationFile, EveryLineIsReadAndKnownEntriesAreRight) {
    const std::string path = QUENLOW_SHIPPED_COLLATION_FILE;
    std::ifstream raw(path, std::ios::binary);
    ASSERT_TRUE(raw) << "cannot open " << path;
    std::size_t lines = 0;
    std::set<std::string> names;
    for (std::string line; std::getline(raw, line); ++lines) {
        ASSERT_EQ(std::count(line.begin(), line.end(), '\t'), 2) << "line " << lines + 1 << ": " << line;
        ASSERT_EQ(line.find('\r'), std::string::npos) << "line " << lines + 1;
        names.insert(line.substr(0, line.find('\t')));
    }

    const auto table = load_collation_file(path);
    EXPECT_EQ(table.size(), 5540u);
    EXPECT_EQ(lines, table.size()) << "every line carries a distinct id";
    EXPECT_EQ(names.size(), table.size()) << "every name appears once";

    struct Known {
        std::int64_t id;
        const char* name;
        std::int32_t code_page;
    };
    for (const Known& k : {Known{53256, "Latin1_General_CI_AS", 1252}, Known{53264, "Japanese_CI_AS", 932},
                           Known{872468488, "SQL_Latin1_General_CP1_CI_AS", 1252},
                           Known{-1224683515, "SQL_Danish_Pref_CP1_CI_AS", 1252},
                           Known{315784, "Latin1_General_100_CI_AS_SC_UTF8", 65001}}) {
        ASSERT_TRUE(table.contains(k.id)) << k.name;
        EXPECT_EQ(table.at(k.id).name, k.name);
        EXPECT_EQ(table.at(k.id).code_page, k.code_page) << k.name;
    }
}

}  // namespace
}  // namespace quenlow
