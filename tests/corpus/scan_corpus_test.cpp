// The whole scan of every real data file, as a user runs it: Open through the main frame with the
// engine's catalog build and schema assembly. The "User Tables" category must list exactly the file's
// known user tables, the catalog layout must follow the server that wrote the file, and the log must read
// as the narrative of a successful scan.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/collation_file.h"
#include "app/engine_seams.h"
#include "app/main_frame.h"
#include "engine/pages/boot_page.h"
#include "tests/app/fake_front_end.h"
#include "tests/support/corpus_gtest.h"

namespace quenlow::testing {
namespace {

// From 2012 on, two tables of the sys schema are listed as user tables, but their object rows carry
// negative object ids, and an object row is read only when its id is above 0: the scan cannot list them.
constexpr int kFirstVersionWithNegativeIdTables = 706;
const std::set<std::string> kNegativeIdTables = {"trace_xe_action_map", "trace_xe_event_map"};

struct ScanResult {
    std::vector<std::string> user_tables;       // the tables' own names, in the order the category lists them
    std::vector<std::string> user_table_texts;  // the item texts, in that order
    // Schema ids of the catalog's user tables, by name.
    std::map<std::string, std::multiset<std::int32_t>> user_table_schemas;
    std::vector<std::string> log;
    std::vector<std::string> boxes;
    std::string mirrored_outline;
    std::string model_outline;
    bool sql2000_layout = false;
};

ScanResult scan(const std::string& path) {
    ApplicationState app;
    app.engine.collations = load_collation_file(QUENLOW_SHIPPED_COLLATION_FILE);
    test::FakeFrontEnd front;
    OpenChoices choices;
    choices.mdf_path = path;
    front.dialog_result = choices;
    PosixFileSystem files;
    MainFrame frame(app, front, files, engine_seams());
    frame.on_open();
    frame.wait_for_worker();

    ScanResult r;
    for (TreeItemId item : frame.tree().children(frame.categories().user_tables)) {
        const TreeObject* object = frame.tree().item_object(item);
        r.user_tables.push_back(object ? object->name : std::string());
        r.user_table_texts.push_back(frame.tree().item_text(item));
    }
    r.log = front.log();
    r.boxes = front.box_texts();
    r.mirrored_outline = front.mirrored_outline();
    r.model_outline = format_outline(frame.tree());
    r.sql2000_layout = app.engine.sql2000_layout.load();
    if (const SystemCatalog* catalog = frame.catalog())
        for (const SchemaObjectRow& object : catalog->objects)
            if (object.type == "U ") r.user_table_schemas[object.name].insert(object.schema_id);
    return r;
}

// The order the category shows: texts compared without regard to the case of ASCII letters.
bool case_blind_sorted(const std::vector<std::string>& names) {
    auto fold = [](std::string s) {
        for (char& c : s)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        return s;
    };
    return std::is_sorted(names.begin(), names.end(),
                          [&](const std::string& a, const std::string& b) { return fold(a) < fold(b); });
}

class ScanCorpusTest : public CorpusTest {};

TEST_P(ScanCorpusTest, UserTablesLayoutAndLogOfASuccessfulScan) {
    const CorpusFile& file = GetParam();
    const std::string path = local_path().string();
    ScanResult r = scan(path);

    // The tables: exactly the expected names, less the two known negative-id tables from 2012 on.
    std::set<std::string> expected(file.expected_tables.begin(), file.expected_tables.end());
    if (file.version >= kFirstVersionWithNegativeIdTables) {
        for (const std::string& name : kNegativeIdTables) {
            EXPECT_EQ(expected.count(name), 1u) << name << " should be expected in " << file.name;
            expected.erase(name);
        }
    }
    const std::set<std::string> listed(r.user_tables.begin(), r.user_tables.end());
    EXPECT_EQ(listed, expected);
    for (const std::string& name : kNegativeIdTables) EXPECT_EQ(listed.count(name), 0u) << name;
    // The expected list names each table once; a name found twice belongs to tables of the same name in
    // different schemas, one item per table, each reading "schema.name".
    for (const std::string& name : listed) {
        const auto shown = std::count(r.user_tables.begin(), r.user_tables.end(), name);
        const std::multiset<std::int32_t>& schemas = r.user_table_schemas[name];
        EXPECT_EQ(static_cast<std::size_t>(shown), schemas.size()) << name;
        EXPECT_EQ(std::set<std::int32_t>(schemas.begin(), schemas.end()).size(), schemas.size())
            << name << " is listed twice in one schema";
    }
    EXPECT_EQ(std::set<std::string>(r.user_table_texts.begin(), r.user_table_texts.end()).size(),
              r.user_table_texts.size());
    EXPECT_TRUE(case_blind_sorted(r.user_table_texts));
    EXPECT_EQ(r.mirrored_outline, r.model_outline);

    EXPECT_EQ(r.sql2000_layout, file.is_sql2000());

    const std::vector<std::string> narrative = {
        path + " File is selected for recovery....",
        "Browse File Path:\t" + path,
        "Standard mode is selected for file recovery.",
        "Scanning of file starts...",
        "Database version: " + std::string(sql_version_text(static_cast<std::uint16_t>(file.version))),
        r.log.size() > 5 ? r.log[5] : std::string(),
        "Creating Tree.........",
        "Process done.........",
        "Retrieving Objects of Sysobjvalues System Tables...........",
        "Retrieving  Objects of Sysobjvalues System Tables has been done...........",
        "Scanning completed for selected mdf file.",
    };
    EXPECT_EQ(r.log, narrative);
    ASSERT_GT(r.log.size(), 5u);
    EXPECT_EQ(r.log[5].rfind("Collation Type: ", 0), 0u) << r.log[5];
    EXPECT_NE(r.log[5], "Collation Type: Unknown Collation");
    EXPECT_EQ(r.boxes, (std::vector<std::string>{"Scanning process completed."}));
}

QUENLOW_INSTANTIATE_CORPUS_SUITE(ScanCorpusTest);

TEST(ScanCorpus, CoversTheSql2000Files) {
    QUENLOW_REQUIRE_CORPUS();
    const auto& files = corpus_files();
    const auto sql2000 =
        std::count_if(files.begin(), files.end(), [](const CorpusFile& f) { return f.is_sql2000(); });
    EXPECT_GT(sql2000, 0) << "the corpus holds no file of the SQL Server 2000 layout";
    const auto negative_id_files = std::count_if(files.begin(), files.end(), [](const CorpusFile& f) {
        return f.version >= kFirstVersionWithNegativeIdTables;
    });
    EXPECT_GT(negative_id_files, 0);
}

}  // namespace
}  // namespace quenlow::testing
