// One damaged page must not hide the rest of a table: on Northwind and pubs (SQL Server 2000 and 2008
// files), every data page of every user table is zeroed in turn in a copy of the file, and `quenlow rows
// --all` in Standard Mode still shows every row of the other pages. The rows lost are exactly those of the
// zeroed page (none when the page is a stale one the table's route never read), and no row appears that
// the whole file does not show.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engine/catalog/catalog_build.h"
#include "engine/catalog/system_catalog.h"
#include "engine/pages/file_reader.h"
#include "engine/pages/opened_database.h"
#include "tests/app/test_files.h"
#include "tests/cli/program_run.h"
#include "tests/support/corpus_gtest.h"
#include "tests/support/page_builder.h"
#include "engine/pages/engine_events.h"

namespace quenlow {
namespace {

using test::run_quenlow;

// One row a line (text values keep their line breaks escaped).
std::map<std::string, int> jsonl_rows(const std::string& text) {
    std::map<std::string, int> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        ++lines[text.substr(start, end - start)];
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

int count(const std::map<std::string, int>& lines) {
    int n = 0;
    for (const auto& [line, k] : lines) n += k;
    return n;
}

// The data pages the page map filed under each user table (stale pages included).
std::map<std::string, std::vector<PageAddress>> table_pages(const std::string& path) {
    EngineState state;
    NullEngineEvents events;
    PosixFileSystem files;
    auto db = OpenedDatabase::open(path, ReadOptions{}, {state, events, files}, catalog_builder());
    std::map<std::string, std::vector<PageAddress>> pages;
    auto* catalog = db && db->is_open() ? dynamic_cast<SystemCatalog*>(db->catalog()) : nullptr;
    if (catalog == nullptr) return pages;
    std::vector<std::string> names;
    for (const SchemaObjectRow& object : catalog->objects)
        if (object.type == "U " && object.object_id > 0) names.push_back(object.name);
    for (const std::string& name : names) {
        assemble_object(*catalog, name, "U ", {});
        pages[name] = catalog->current_data_pages;
    }
    return pages;
}

class DamagedChainCorpus : public ::testing::TestWithParam<const char*> {};

TEST_P(DamagedChainCorpus, EveryRowOfTheOtherPagesStaysReadable) {
    QUENLOW_REQUIRE_CORPUS();
    const testing::CorpusFile* file = testing::find_corpus_file(GetParam());
    if (file == nullptr) GTEST_SKIP() << GetParam() << " is not in the corpus";
    const auto local = testing::materialize(*file);
    ASSERT_TRUE(local) << local.error;
    const std::string image = test::read_bytes(local.path.string());
    test::TempFolder folder;
    const std::string copy = folder.file("damaged.mdf");

    int pages_zeroed = 0;
    for (const auto& [table, pages] : table_pages(local.path.string())) {
        const test::ProgramRun whole =
            run_quenlow(folder, {"rows", "-q", "--all", "--format", "jsonl", local.path.string(), table});
        ASSERT_EQ(whole.status, 0) << table;
        const std::map<std::string, int> all = jsonl_rows(whole.out);
        for (const PageAddress& page : pages) {
            if (page.file_id != 1) continue;
            const std::size_t at = static_cast<std::size_t>(page.page_id) * kPageSize;
            if (at + kPageSize > image.size()) continue;
            std::int16_t slots = 0, ghosts = 0;
            std::memcpy(&slots, image.data() + at + 22, 2);
            std::memcpy(&ghosts, image.data() + at + 58, 2);
            std::string damaged = image;
            std::fill_n(damaged.begin() + static_cast<std::ptrdiff_t>(at), kPageSize, '\0');
            testing::write_file(copy, ByteSpan(reinterpret_cast<const std::byte*>(damaged.data()), damaged.size()));
            const test::ProgramRun run = run_quenlow(folder, {"rows", "-q", "--all", "--format", "jsonl", copy, table});
            SCOPED_TRACE(table + ", page " + std::to_string(page.page_id));
            ASSERT_EQ(run.status, 0);
            const std::map<std::string, int> shown = jsonl_rows(run.out);
            for (const auto& [line, k] : shown) EXPECT_LE(k, all.count(line) ? all.at(line) : 0) << line;
            const int lost = count(all) - count(shown);
            EXPECT_TRUE(lost == 0 || lost == slots - ghosts) << lost << " rows lost, the page held " << slots - ghosts;
            ++pages_zeroed;
        }
    }
    EXPECT_GT(pages_zeroed, 10);
}

INSTANTIATE_TEST_SUITE_P(NorthwindAndPubs, DamagedChainCorpus,
                         ::testing::Values("v539_northwnd_sql2000data", "v539_pubs_sql2000data", "v655_northwnd_itsligo",
                                           "v655_pubs_itsligo"));

}  // namespace
}  // namespace quenlow
