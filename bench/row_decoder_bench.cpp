// Row decoding over a full data page of a six-column table (int, bigint, smallint, char(10),
// nvarchar(20), varbinary(8)), formatting included: rows per second on one core.

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/catalog/type_codes.h"
#include "engine/values/row_decoder.h"
#include "tests/support/record_builder.h"
#include "tests/support/stored_column.h"

namespace quenlow {
namespace {

using testing::Bytes;

template <typename T>
void append_le(Bytes& out, T value) {
    const std::size_t at = out.size();
    out.resize(at + sizeof(T));
    std::memcpy(out.data() + at, &value, sizeof(T));
}

ColumnDescriptor column(std::int32_t id, const char* type_text, std::int32_t code, std::int16_t leaf) {
    return testing::stored_column(id, type_text, code, leaf, true);
}

std::vector<ColumnDescriptor> table() {
    return {column(1, "int(4)", kTypeInt, 4),
            column(2, "bigint(8)", kTypeBigint, 8),
            column(3, "smallint(2)", kTypeSmallint, 16),
            column(4, "char(10)", kTypeChar, 18),
            column(5, "nvarchar(40)", kTypeNvarchar, -1),
            column(6, "varbinary(8)", kTypeVarbinary, -2)};
}

Bytes row(std::int32_t i) {
    testing::RecordSpec blueprint;
    append_le<std::int32_t>(blueprint.fixed, i);
    append_le<std::int64_t>(blueprint.fixed, std::int64_t{i} * 1'000'003);
    append_le<std::int16_t>(blueprint.fixed, static_cast<std::int16_t>(i % 30000));
    for (char c : std::string("code-") + std::to_string(10000 + i % 10000))
        blueprint.fixed.push_back(std::byte(c));
    blueprint.fixed.resize(4 + 8 + 2 + 10);
    blueprint.column_count = 6;
    Bytes name;
    for (char c : "customer name " + std::to_string(i)) {
        name.push_back(std::byte(c));
        name.push_back(std::byte{0});
    }
    blueprint.variable = {{name}, {testing::random_bytes(8, static_cast<std::uint32_t>(i))}};
    return build_record(blueprint);
}

void BM_DecodeTablePageLayout(benchmark::State& state) {
    testing::TestDatabase database(testing::page_images(2, {}));
    testing::PageAssembler assembler;
    int records = 0;
    for (;;) {
        Bytes r = row(records);
        if (assembler.free_position() + r.size() + 2 * (records + 1) >= 8192 - 2) break;
        assembler.add_record(r);
        ++records;
    }
    CDataPage page(assembler.finish(), database.db());
    EmptyLargeValueReader large;
    EmptyXmlConverter xml;
    DecodeContext ctx = make_decode_context(database.db(), large, xml);
    std::vector<ColumnDescriptor> descriptors = table();
    std::size_t rows = 0;
    for (auto _ : state) {
        auto decoded = decode_table_page_layout(page, descriptors, ctx);
        rows += decoded.size();
        benchmark::DoNotOptimize(decoded.data());
    }
    if (rows != static_cast<std::size_t>(records) * state.iterations()) state.SkipWithError("rows missing");
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
    state.counters["rows/page"] = records;
}
BENCHMARK(BM_DecodeTablePageLayout);

}  // namespace
}  // namespace quenlow
