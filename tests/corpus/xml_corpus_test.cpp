// The xml value of a real file against the script that inserted it, read as `quenlow rows --all` reads it.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <string>

#include "tests/corpus/corpus_table_rows.h"
#include "tests/support/corpus_gtest.h"

namespace quenlow::testing {
namespace {

TEST(XmlCorpus, DataTypeTestXmlColumnShowsTheInsertedDocument) {
    QUENLOW_REQUIRE_CORPUS();
    const CorpusFile* file = find_corpus_file("v611_bltoolkit_testdata");
    if (file == nullptr) GTEST_SKIP() << "v611_bltoolkit_testdata is not in the corpus";
    const Materialized local = materialize(*file);
    ASSERT_TRUE(local) << local.error;

    std::ifstream in(*corpus_dir() / "truth" / "bltoolkit_mssql.rows.json");
    const nlohmann::json truth = nlohmann::json::parse(in)["DataTypeTest"];
    const auto& names = truth["columns"];
    std::size_t truth_column = 0;
    while (truth_column < names.size() && names[truth_column] != "Xml_") ++truth_column;
    ASSERT_LT(truth_column, names.size());
    // The inserted text; the server writes an empty element that has attributes as <e a="1" />.
    std::string inserted = truth["rows"][1][truth_column].get<std::string>();
    ASSERT_EQ(inserted, "<root><element strattr=\"strvalue\" intattr=\"12345\"/></root>");
    const std::string want = "<root><element strattr=\"strvalue\" intattr=\"12345\" /></root>";

    const CorpusTableRows* table = nullptr;
    for (const CorpusTableRows& t : corpus_file_rows(local.path.string()).tables)
        if (t.name == "DataTypeTest") table = &t;
    ASSERT_NE(table, nullptr);
    const int id = table->column_index("DataTypeID");
    const int xml = table->column_index("Xml_");
    ASSERT_GE(id, 0);
    ASSERT_GE(xml, 0);
    std::map<std::string, std::string> by_id;
    for (const auto& row : table->rows)
        by_id[row[static_cast<std::size_t>(id)]] = row[static_cast<std::size_t>(xml)];
    EXPECT_EQ(by_id["1"], "NULL");
    EXPECT_EQ(by_id["2"], want);
}

}  // namespace
}  // namespace quenlow::testing
