// `quenlow rows --page 2` on a real table of more than 1000 rows: the second batch is rows 1001 to 2000
// of the table, labelled as the records view labels it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/app/test_files.h"
#include "tests/cli/program_run.h"
#include "tests/support/corpus_gtest.h"

namespace quenlow {
namespace {

using test::ProgramRun;
using test::run_quenlow;

std::vector<std::string> csv_lines(const std::string& out) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = out.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(out.substr(start, end - start));
    return lines;
}

// Northwind's "Order Details" holds 2155 rows and no value that spans lines in CSV.
TEST(RowsPagingCorpus, PageTwoShowsRows1001To2000) {
    QUENLOW_REQUIRE_CORPUS();
    const testing::CorpusFile* file = testing::find_corpus_file("v655_northwnd_itsligo");
    if (file == nullptr) GTEST_SKIP() << "v655_northwnd_itsligo is not in the corpus";
    const auto local = testing::materialize(*file);
    ASSERT_TRUE(local) << local.error;
    const std::string path = local.path.string();
    test::TempFolder folder;

    const ProgramRun page =
        run_quenlow(folder, {"rows", path, "Order Details", "--page", "2", "--format", "csv"});
    ASSERT_EQ(page.status, 0) << page.err;
    EXPECT_NE(page.err.find("Page2 - [1000](1001-2000) Records\n"), std::string::npos) << page.err;
    const std::vector<std::string> shown = csv_lines(page.out);

    const ProgramRun all = run_quenlow(folder, {"rows", path, "Order Details", "--all", "--format", "csv"});
    ASSERT_EQ(all.status, 0) << all.err;
    const std::vector<std::string> every = csv_lines(all.out);
    ASSERT_EQ(every.size(), 1u + 2155u);
    ASSERT_EQ(shown.size(), 1u + 1000u);
    EXPECT_EQ(shown.front(), "OrderID,ProductID,UnitPrice,Quantity,Discount");
    EXPECT_EQ(shown.front(), every.front());
    const std::vector<std::string> expected(every.begin() + 1001, every.begin() + 2001);
    EXPECT_EQ(std::vector<std::string>(shown.begin() + 1, shown.end()), expected);
}

}  // namespace
}  // namespace quenlow
