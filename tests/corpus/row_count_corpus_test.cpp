// For every file of a server from 2005 on: each user table shows, over all its batches, as many rows as
// its rowset records in the catalog (the row count the server keeps for the partition).

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "tests/corpus/corpus_table_rows.h"
#include "tests/support/corpus_gtest.h"

namespace quenlow::testing {
namespace {

// The first version whose catalog keeps a row count per rowset.
constexpr int kFirstVersionWithRowsetCounts = 611;

// Tables whose shown rows differ from the recorded count.
struct CountException {
    std::string_view file;
    std::string_view table;
    std::string_view reason;
};

// Not yet explained, so not excused as the owners' doing: each is a fault of ours until shown otherwise.
const CountException kCountExceptions[] = {
    // The rowset counts 0 rows, yet rows are shown. Suspected: the table was emptied, its IAM chain
    // gives no rows, and the fallback chain of page headers from the allocation unit's first page reads
    // a page that still holds old rows (or rows of another object).
    {"v655c539_northwnd_inat97", "sysdiagrams", "158 rows shown, rowset count 0"},
    {"v655_reportservertempdb", "ChunkSegmentMapping", "2 rows shown, rowset count 0"},
    {"v655_reportservertempdb", "Segment", "443 rows shown, rowset count 0"},
    {"v655_reportservertempdb", "SegmentedChunk", "19 rows shown, rowset count 0"},
    {"v655_reportservertempdb", "SessionData", "76 rows shown, rowset count 0"},
    {"v655_reportservertempdb", "SnapshotData", "565 rows shown, rowset count 0"},
    {"v655_aspnetdb_aep", "aspnet_Paths", "23 rows shown, rowset count 0"},
    {"v655_aspnetdb_aep", "aspnet_PersonalizationAllUsers", "250 rows shown, rowset count 0"},
    {"v655_aspnetdb_aep", "aspnet_PersonalizationPerUser", "29 rows shown, rowset count 0"},
    {"v655_aspnetdb_aep", "aspnet_UsersInRoles", "169 rows shown, rowset count 0"},
    {"v655_aspnetdb_aep", "sysdiagrams", "1 rows shown, rowset count 0"},
    {"v655_aspnetdb_webshop", "aspnet_Paths", "23 rows shown, rowset count 0"},
    {"v655_aspnetdb_webshop", "aspnet_PersonalizationAllUsers", "1 rows shown, rowset count 0"},
    {"v655_aspnetdb_webshop", "aspnet_WebEvent_Events", "211 rows shown, rowset count 0"},
    {"v655_aspnetdb_webshop", "Discount", "894 rows shown, rowset count 0"},
    {"v661c655_ynares", "AminityRentTbl", "608 rows shown, rowset count 0"},
    {"v661c655_ynares", "FacilityEOSTbl", "3 rows shown, rowset count 0"},
    {"v661c655_ynares", "VenueTbl", "18 rows shown, rowset count 0"},
    {"v706c661_helpdesk", "sysdiagrams", "814 rows shown, rowset count 0"},
    // More rows shown than counted, the extra ones unreadable (see the truth test for authors).
    {"v655_pubs_itsligo", "authors", "132 rows shown, rowset count 23"},
    {"v661_bookshop", "Author", "130 rows shown, rowset count 3"},
};

bool excepted(const std::string& file, const std::string& table) {
    for (const CountException& e : kCountExceptions)
        if (e.file == file && e.table == table) return true;
    return false;
}

std::vector<CorpusFile> files_with_rowset_counts() {
    std::vector<CorpusFile> out;
    for (const CorpusFile& f : corpus_files())
        if (f.version >= kFirstVersionWithRowsetCounts) out.push_back(f);
    return out;
}

class RowCountCorpusTest : public CorpusTest {};

TEST_P(RowCountCorpusTest, EveryTableShowsItsRowsetsRowCount) {
    const CorpusFile& file = GetParam();
    const CorpusFileRows& read = corpus_file_rows(local_path().string());
    ASSERT_TRUE(read.scanned) << file.name;
    for (const CorpusTableRows& table : read.tables) {
        const auto shown = static_cast<std::int64_t>(table.rows.size());
        std::cout << fmt::format("{} {}: {} rows shown in {} batches, rowset count {}\n", file.name,
                                 table.name, shown, table.batches, table.rowset_row_count);
        if (excepted(file.name, table.name)) continue;
        EXPECT_EQ(shown, table.rowset_row_count) << file.name << " " << table.name;
    }
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(RowCountCorpusTest);
INSTANTIATE_TEST_SUITE_P(Corpus, RowCountCorpusTest, ::testing::ValuesIn(files_with_rowset_counts()),
                         corpus_case_name);

}  // namespace
}  // namespace quenlow::testing
