// Value formatting, the inner loop of a table load: a row of six typical columns formatted into the
// reused value texts of a descriptor list, and single types on their own.

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/catalog/type_codes.h"
#include "engine/values/value_format.h"

namespace quenlow {
namespace {

struct Value {
    ColumnDescriptor column;
    std::vector<std::byte> bytes;
};

template <typename T>
std::vector<std::byte> le(T v) {
    std::vector<std::byte> out(sizeof(T));
    std::memcpy(out.data(), &v, sizeof(T));
    return out;
}

std::vector<std::byte> bytes_of(std::initializer_list<int> values) {
    std::vector<std::byte> out;
    for (int v : values) out.push_back(static_cast<std::byte>(v));
    return out;
}

std::vector<std::byte> text(const char* s) {
    std::vector<std::byte> out(std::strlen(s));
    std::memcpy(out.data(), s, out.size());
    return out;
}

Value value(const char* type_text, std::int32_t code, std::vector<std::byte> bytes,
            std::uint8_t precision = 0, std::uint8_t scale = 0, std::int32_t collation = 0) {
    Value v{make_column_descriptor("c", type_text, code), std::move(bytes)};
    v.column.precision = precision;
    v.column.scale = scale;
    v.column.collation_id = collation;
    return v;
}

std::vector<std::byte> utf16(const char* s) {
    std::vector<std::byte> out;
    for (; *s != 0; ++s) {
        out.push_back(static_cast<std::byte>(*s));
        out.push_back(std::byte{0});
    }
    return out;
}

// Formats every value of `row` per iteration, the way the row decoder does.
void run(benchmark::State& state, std::vector<Value> row, std::int32_t collation_code_page = 1252) {
    EngineState engine;
    engine.collations[7] = {"collation", collation_code_page};
    FormatContext context{engine};
    for (auto _ : state) {
        BitCursor cursor;
        for (Value& v : row) {
            ValueInfo info = make_value_info(v.column, v.column.type_code, cursor);
            if (info.variable) info.value_length = static_cast<std::int16_t>(v.bytes.size());
            info.available_bytes = static_cast<std::int64_t>(v.bytes.size());
            format_value_to(v.column.value_text, info, v.bytes.data(), v.column, context);
            benchmark::DoNotOptimize(v.column.value_text.data());
        }
    }
    state.counters["rows/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["values/s"] =
        benchmark::Counter(static_cast<double>(state.iterations() * row.size()), benchmark::Counter::kIsRate);
}

void BM_TypicalRow(benchmark::State& state) {
    run(state,
        {
            value("int(4)", kTypeInt, le<std::int32_t>(123456)),
            value("nvarchar(80)", kTypeNvarchar, utf16("Maria Anders, Berlin")),
            value("varchar(40)", kTypeVarchar, text("Obere Str. 57"), 0, 0, 7),
            value("datetime(8)", kTypeDatetime, bytes_of({0x40, 0x5C, 0x5C, 0x00, 0x1F, 0x8E, 0x00, 0x00})),
            value("decimal(5)", kTypeDecimal, bytes_of({1, 0x39, 0x30, 0, 0}), 9, 2),
            value("money(8)", kTypeMoney, le<std::int64_t>(1234567)),
        });
}
BENCHMARK(BM_TypicalRow);

void BM_FloatAndReal(benchmark::State& state) {
    run(state, {value("float(8)", kTypeFloat, le(1234.5678)), value("real(4)", kTypeReal, le(3.14159f))});
}
BENCHMARK(BM_FloatAndReal);

void BM_CyrillicVarchar(benchmark::State& state) {
    run(state, {value("varchar(40)", kTypeVarchar, text("\xCF\xF0\xE8\xE2\xE5\xF2 \xEC\xE8\xF0"), 0, 0, 7)},
        1251);
}
BENCHMARK(BM_CyrillicVarchar);

void BM_ChineseVarchar(benchmark::State& state) {
    run(state,
        {value("varchar(40)", kTypeVarchar, text("\xC4\xE3\xBA\xC3\xA3\xAC\xCA\xC0\xBD\xE7"), 0, 0, 7)}, 936);
}
BENCHMARK(BM_ChineseVarchar);

void BM_DateTimeTypes(benchmark::State& state) {
    run(state, {
                   value("datetime2(8)", kTypeDatetime2, bytes_of({1, 2, 3, 4, 5, 0x50, 0x40, 0x0B}), 27, 7),
                   value("datetimeoffset(10)", kTypeDatetimeoffset,
                         bytes_of({1, 2, 3, 4, 5, 0x50, 0x40, 0x0B, 0x3C, 0}), 34, 7),
                   value("date(3)", kTypeDate, bytes_of({0x50, 0x40, 0x0B})),
               });
}
BENCHMARK(BM_DateTimeTypes);

}  // namespace
}  // namespace quenlow
