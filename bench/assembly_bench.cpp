// Schema assembly over large hand-filled catalogs: every table of the catalog assembled once per
// iteration, and the one-time cost of building the catalog index.

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <string>
#include <vector>

#include "engine/catalog/system_catalog.h"
#include "tests/support/catalog_fixture.h"

namespace quenlow {
namespace {

constexpr int kColumns = 10;
constexpr std::int32_t kFirstId = 1000;

// Tables of ten int columns, each with a primary key constraint, its index row and key column.
void fill(SystemCatalog& c, int tables) {
    test::add_builtin_types(c);
    for (int t = 0; t < tables; ++t) {
        const std::int32_t id = kFirstId + t;
        test::add_int_table(c, id, fmt::format("table{}", t), kColumns);
        c.objects.push_back(test::object_row(10'000'000 + t, fmt::format("PK_table{}", t), "PK", id));
        IndexStatRow index;
        index.object_id = id;
        index.index_id = 1;
        index.status = 1 | 32;
        c.index_rows.push_back(index);
        IndexColumnRow key;
        key.object_id = id;
        key.index_id = 1;
        key.column_id = 1;
        c.index_columns.push_back(key);
    }
}

void BM_AssembleAllTables(benchmark::State& state) {
    const int tables = static_cast<int>(state.range(0));
    test::CatalogFixture f;
    SystemCatalog& c = f.catalog();
    fill(c, tables);
    std::vector<std::string> names;
    for (int t = 0; t < tables; ++t) names.push_back(fmt::format("table{}", t));
    const std::vector<DefinitionFragment> definitions;
    c.index();  // built once per catalog, measured below
    for (auto _ : state) {
        std::size_t descriptors = 0;
        for (const std::string& name : names)
            descriptors += assemble_object(c, name, "U ", definitions).size();
        if (descriptors != static_cast<std::size_t>(tables) * kColumns)
            state.SkipWithError("wrong column count");
        benchmark::DoNotOptimize(descriptors);
    }
    state.counters["tables/s"] =
        benchmark::Counter(static_cast<double>(tables) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AssembleAllTables)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_BuildCatalogIndex(benchmark::State& state) {
    const int tables = static_cast<int>(state.range(0));
    test::CatalogFixture f;
    SystemCatalog& c = f.catalog();
    fill(c, tables);
    for (auto _ : state) {
        c.invalidate_index();
        benchmark::DoNotOptimize(&c.index());
    }
}
BENCHMARK(BM_BuildCatalogIndex)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quenlow
