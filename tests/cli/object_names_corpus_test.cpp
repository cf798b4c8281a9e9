// Real files through the `quenlow` program: objects named by schema where two schemas use one name, and
// 8-bit text of Chinese columns read in their code page in the first batch and with --all.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "tests/app/test_files.h"
#include "tests/cli/program_run.h"
#include "tests/support/corpus_gtest.h"

namespace quenlow {
namespace {

using test::ProgramRun;
using test::run_quenlow;

// The local copy of a corpus file, or nothing (the test then skips or fails saying why).
std::string corpus_path(const char* name) {
    const testing::CorpusFile* file = testing::find_corpus_file(name);
    if (file == nullptr) return {};
    const auto local = testing::materialize(*file);
    EXPECT_TRUE(local) << local.error;
    return local ? local.path.string() : std::string();
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The tree items that stand for objects of this name, anywhere in the tree.
void collect_objects(const nlohmann::json& item, const std::string& name, std::vector<nlohmann::json>& out) {
    if (item.contains("name") && item["name"] == name) out.push_back(item);
    for (const auto& child : item["children"]) collect_objects(child, name, out);
}

// dbo.SchemaTable holds (Id, Description); test.SchemaTable also Optional, which its trigger fills.
TEST(ObjectNamesCorpus, TablesOfOneNameInTwoSchemasAreReachedBySchema) {
    QUENLOW_REQUIRE_CORPUS();
    const std::string path = corpus_path("v706_simpledata_sqltest");
    if (path.empty()) GTEST_SKIP() << "v706_simpledata_sqltest is not in the corpus";
    test::TempFolder folder;

    const ProgramRun dbo = run_quenlow(folder, {"rows", path, "dbo.SchemaTable", "--all", "--format", "csv"});
    ASSERT_EQ(dbo.status, 0) << dbo.err;
    EXPECT_EQ(dbo.out, "Id,Description\r\n1,Pass\r\n");
    const ProgramRun test_schema = run_quenlow(folder, {"rows", path, "test.SchemaTable", "--format", "csv"});
    ASSERT_EQ(test_schema.status, 0) << test_schema.err;
    EXPECT_TRUE(test_schema.out.starts_with("Id,Description,Optional\r\n2,Pass,")) << test_schema.out;

    const ProgramRun ambiguous = run_quenlow(folder, {"rows", path, "SchemaTable"});
    EXPECT_EQ(ambiguous.status, 1);
    EXPECT_TRUE(ambiguous.out.empty());
    EXPECT_TRUE(contains(ambiguous.err, "  dbo.SchemaTable  (object id ")) << ambiguous.err;
    EXPECT_TRUE(contains(ambiguous.err, "  test.SchemaTable  (object id ")) << ambiguous.err;
    const ProgramRun unique = run_quenlow(folder, {"rows", path, "dbo.Customers", "--format", "csv"});
    EXPECT_EQ(unique.status, 0) << unique.err;

    const ProgramRun shown = run_quenlow(folder, {"show", path, "test.SchemaTable"});
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_TRUE(shown.out.starts_with("test.SchemaTable *\n")) << shown.out;
    EXPECT_TRUE(contains(shown.out, "Optional  nvarchar(200)")) << shown.out;
    EXPECT_EQ(run_quenlow(folder, {"show", path, "SchemaTable"}).status, 1);

    const ProgramRun scan = run_quenlow(folder, {"scan", path, "--json"});
    ASSERT_EQ(scan.status, 0) << scan.err;
    std::vector<nlohmann::json> items;
    collect_objects(nlohmann::json::parse(scan.out)["tree"], "SchemaTable", items);
    ASSERT_EQ(items.size(), 2u);
    for (const auto& item : items)
        EXPECT_EQ(item["text"], item["schema"].get<std::string>() + ".SchemaTable");
    EXPECT_NE(items[0]["schema"], items[1]["schema"]);
    EXPECT_NE(items[0]["object_id"], items[1]["object_id"]);
}

// Chinese columns, in a database of a Chinese collation (950) and in a Latin-1 database (a column
// collation of its own), read the same in the first batch and in a load of every row.
TEST(ObjectNamesCorpus, ChineseTextReadsInItsColumnsCodePage) {
    QUENLOW_REQUIRE_CORPUS();
    const struct {
        const char* file;
        const char* table;
        const char* text;
    } cases[] = {
        {"v611_renthouse", "Renter", "小明"},
        {"v852c706_school_kancheng", "Instructors", "教授"},
    };
    test::TempFolder folder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = corpus_path(c.file);
        if (path.empty()) continue;
        const std::vector<std::string> first_batch = {"rows", path, c.table, "--format", "csv"};
        const std::vector<std::string> every_row = {"rows", path, c.table, "--all", "--format", "csv"};
        for (const auto& args : {first_batch, every_row}) {
            const ProgramRun run = run_quenlow(folder, args);
            ASSERT_EQ(run.status, 0) << run.err;
            EXPECT_TRUE(contains(run.out, c.text)) << args.size() << "\n" << run.out;
        }
    }
    const std::string path = corpus_path("v852c706_school_kancheng");
    if (!path.empty()) {
        EXPECT_EQ(run_quenlow(folder, {"rows", path, "Instructors", "--ansi-codepage", "1"}).status, 2);
    }
}

}  // namespace
}  // namespace quenlow
