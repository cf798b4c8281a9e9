// Every user table of every corpus file read to its last batch, as `quenlow rows --all` reads it, values
// stored on other pages included. Run under the sanitizer build this is the guard that no real file makes
// the row path read outside a buffer, overflow or loop.

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "tests/corpus/corpus_table_rows.h"
#include "tests/support/corpus_gtest.h"

namespace quenlow::testing {
namespace {

class AllRowsCorpusTest : public CorpusTest {};

TEST_P(AllRowsCorpusTest, EveryTableReadsToItsLastBatch) {
    const CorpusFile& file = GetParam();
    const CorpusFileRows& read = corpus_file_rows(local_path().string());
    ASSERT_TRUE(read.scanned) << file.name;
    for (const CorpusTableRows& table : read.tables) {
        // A batch holds at most 1000 rows, and every row has a text for each list column.
        EXPECT_LE(table.rows.size(), static_cast<std::size_t>(table.batches) * 1000) << table.name;
        for (const auto& row : table.rows) {
            if (row.size() != table.columns.size()) {
                ADD_FAILURE() << file.name << " " << table.name << ": a row of " << row.size()
                              << " texts under " << table.columns.size() << " columns";
                break;
            }
        }
    }
}

QUENLOW_INSTANTIATE_CORPUS_SUITE(AllRowsCorpusTest);

}  // namespace
}  // namespace quenlow::testing
