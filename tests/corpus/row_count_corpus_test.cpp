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
        EXPECT_EQ(shown, table.rowset_row_count) << file.name << " " << table.name;
    }
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(RowCountCorpusTest);
INSTANTIATE_TEST_SUITE_P(Corpus, RowCountCorpusTest, ::testing::ValuesIn(files_with_rowset_counts()),
                         corpus_case_name);

}  // namespace
}  // namespace quenlow::testing
