#pragma once
// GoogleTest glue for the corpus: a skip guard and parameterised suites with one case per data file.
// Header-only, so that the support library itself does not depend on GoogleTest.
//
//   class MyCorpusTest : public quenlow::testing::CorpusTest {};
//   TEST_P(MyCorpusTest, Something) { const auto& file = GetParam(); ... local_path() ... }
//   QUENLOW_INSTANTIATE_CORPUS_SUITE(MyCorpusTest);

#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "tests/support/corpus.h"

// Skips the current test, with the reason, when the corpus is not there.
#define QUENLOW_REQUIRE_CORPUS()                                                                     \
    do {                                                                                             \
        if (!::quenlow::testing::corpus_available())                                                 \
            GTEST_SKIP() << "corpus not available: " << ::quenlow::testing::corpus_missing_reason(); \
    } while (0)

// One case per corpus file, named after the file. With no corpus the suite has no case; a corpus-less
// build reports that through QUENLOW_REQUIRE_CORPUS in a plain test instead of failing here.
#define QUENLOW_INSTANTIATE_CORPUS_SUITE(suite)                                                      \
    GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(suite);                                            \
    INSTANTIATE_TEST_SUITE_P(Corpus, suite, ::testing::ValuesIn(::quenlow::testing::corpus_files()), \
                             ::quenlow::testing::corpus_case_name)

namespace quenlow::testing {

inline std::string corpus_case_name(const ::testing::TestParamInfo<CorpusFile>& info) {
    std::string name = info.param.name;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

// A test over one corpus file: SetUp decompresses it (or fails the case saying why).
class CorpusTest : public ::testing::TestWithParam<CorpusFile> {
  protected:
    void SetUp() override {
        auto local = materialize(GetParam());
        ASSERT_TRUE(local) << local.error;
        local_path_ = local.path;
    }
    const std::filesystem::path& local_path() const { return local_path_; }

  private:
    std::filesystem::path local_path_;
};

}  // namespace quenlow::testing
