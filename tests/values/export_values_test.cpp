// Export texts: every type's value as an export writes it, beside the text the record list shows for the
// same bytes, so that each case also shows what the display text drops.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engine/values/sql_variant.h"
#include "tests/values/value_test_support.h"

namespace quenlow {
namespace {

using testing::Bytes;
using testing::bytes_of;
using testing::column;
using testing::concat;
using testing::le;
using testing::ValueFormatting;

Bytes datetime_bytes(std::int32_t days, std::int32_t ticks) {
    return concat({le(ticks), le(days)});
}

// A time of `size` bytes (units of 10^-scale s), then the 3-byte day number, then the offset in minutes.
Bytes datetimeoffset_bytes(std::uint64_t units, int size, std::uint32_t day, std::int16_t offset) {
    Bytes out = le(units);
    out.resize(static_cast<std::size_t>(size));
    const Bytes d = le(day);
    out.insert(out.end(), d.begin(), d.begin() + 3);
    const Bytes o = le(offset);
    out.insert(out.end(), o.begin(), o.end());
    return out;
}

constexpr std::uint32_t kDay2020 = 737424;  // 2020-01-01 as days since 0001-01-01

struct ExportCase {
    const char* what;
    ColumnDescriptor column;
    Bytes bytes;
    std::string display;
    std::string exported;
};

TEST(ExportValues, EveryTypeKeepsWhatTheDisplayDrops) {
    const ColumnDescriptor datetime = column("datetime(8)", kTypeDatetime);
    const ColumnDescriptor dto7 = column("datetimeoffset(10)", kTypeDatetimeoffset, 34, 7);
    const ColumnDescriptor dto0 = column("datetimeoffset(8)", kTypeDatetimeoffset, 26, 0);
    const ColumnDescriptor smallmoney = column("smallmoney(4)", kTypeSmallmoney);
    const ColumnDescriptor real = column("real(4)", kTypeReal);
    const ColumnDescriptor flt = column("float(8)", kTypeFloat);
    const ExportCase cases[] = {
        // datetime: 1/300 s ticks, shown rounded to the millisecond as .000, .003 and .007.
        {"datetime, whole second", datetime, datetime_bytes(0, 300), "1900-01-01 00:00:01",
         "1900-01-01 00:00:01.000"},
        {"datetime, one tick", datetime, datetime_bytes(0, 1), "1900-01-01 00:00:00",
         "1900-01-01 00:00:00.003"},
        {"datetime, two ticks", datetime, datetime_bytes(0, 2), "1900-01-01 00:00:00",
         "1900-01-01 00:00:00.007"},
        {"datetime, 299 ticks", datetime, datetime_bytes(0, 299), "1900-01-01 00:00:00",
         "1900-01-01 00:00:00.997"},
        {"datetime, 10:15:22.123 stored as .123", datetime, datetime_bytes(35248, (36922 * 300) + 37),
         "1996-07-04 10:15:22", "1996-07-04 10:15:22.123"},
        {"datetime, last tick of the last day", datetime, datetime_bytes(2958463, 25919999),
         "9999-12-31 23:59:59", "9999-12-31 23:59:59.997"},
        {"datetime, smallest", datetime, datetime_bytes(-53690, 0), "1753-01-01 00:00:00",
         "1753-01-01 00:00:00.000"},
        {"datetime, ticks past the day", datetime, datetime_bytes(0, 25920000), " ", " "},
        {"datetime, negative ticks", datetime, datetime_bytes(0, -1), "1900-01-01 00:00:00", " "},
        // datetimeoffset: the local time with every fraction digit and the offset as +hh:mm.
        {"datetimeoffset(7), +5:30", dto7,
         datetimeoffset_bytes(36900ull * 10000000 + 1234567, 5, kDay2020, 330),
         "2020-01-01 15:45:00.1234567  +5:30", "2020-01-01 15:45:00.1234567 +05:30"},
        {"datetimeoffset(0), -0:30", dto0, datetimeoffset_bytes(36900, 3, kDay2020, -30),
         "2020-01-01 09:45:00 -0:30", "2020-01-01 09:45:00 -00:30"},
        {"datetimeoffset(0), across midnight", dto0, datetimeoffset_bytes(85800, 3, kDay2020, 60),
         "2020-01-02 00:50:00 +1:0", "2020-01-02 00:50:00 +01:00"},
        // float and real: the shortest text that reads back as the stored value.
        {"real 1234.123", real, le(1234.123f), "1234.12", "1234.123"},
        {"real 0.00001", real, le(0.00001f), "1e-005", "1e-05"},
        {"real 1e10", real, le(1e10f), "1e+010", "1e+10"},
        {"real 0.1", real, le(0.1f), "0.1", "0.1"},
        {"float 0.1 + 0.2", flt, le(0.1 + 0.2), "0.3", "0.30000000000000004"},
        {"float 1/3", flt, le(1.0 / 3), "0.333333333333333", "0.3333333333333333"},
        // 17 significant digits of the stored value, then zeros.
        {"float 1e300", flt, le(1e300), "10000000000000001" + std::string(284, '0'), "1e+300"},
        {"float -2.5", flt, le(-2.5), "-2.5", "-2.5"},
        // smallmoney exactly, as money.
        {"smallmoney largest", smallmoney, le<std::int32_t>(2147483647), "214748.3647", "214748.3647"},
        {"smallmoney 12.5", smallmoney, le<std::int32_t>(125000), "12.5000", "12.5000"},
        {"smallmoney -0.0001", smallmoney, le<std::int32_t>(-1), "-0.0001", "-0.0001"},
        // One text in both styles.
        {"money", column("money(8)", kTypeMoney), le<std::int64_t>(-12345678901234), "-1234567890.1234",
         "-1234567890.1234"},
        {"decimal(5,2)", column("decimal(5)", kTypeDecimal, 5, 2),
         concat({bytes_of({1}), le<std::int32_t>(12345)}), "123.45", "123.45"},
        {"decimal(38,10)", column("decimal(17)", kTypeDecimal, 38, 10),
         concat({bytes_of({0}), le<std::int64_t>(-1), le<std::int64_t>(0)}), "-1844674407.3709551615",
         "-1844674407.3709551615"},
        {"time(7)", column("time(5)", kTypeTime, 16, 7), concat({le<std::int32_t>(100000005), bytes_of({0})}),
         "00:00:10.0000005", "00:00:10.0000005"},
        {"datetime2(3)", column("datetime2(7)", kTypeDatetime2, 23, 3), concat({le<std::int32_t>(1234)}), "",
         ""},  // too few bytes for the declared size
        {"date", column("date(3)", kTypeDate), bytes_of({0, 0, 0}), "0001-01-01", "0001-01-01"},
        {"smalldatetime", column("smalldatetime(4)", kTypeSmalldatetime),
         concat({le<std::int16_t>(1439), le<std::uint16_t>(0)}), "1900-01-01 23:59:00",
         "1900-01-01 23:59:00"},
        {"binary", column("binary(3)", kTypeBinary), bytes_of({0x01, 0x0A, 0xFF}), "0x010AFF", "0x010AFF"},
    };
    for (const ExportCase& c : cases) {
        ValueFormatting display;
        ValueFormatting exported;
        exported.context.style = ValueStyle::kExport;
        EXPECT_EQ(display.format(c.column, c.bytes), c.display) << c.what;
        EXPECT_EQ(exported.format(c.column, c.bytes), c.exported) << c.what;
    }
}

// Every float and real bit pattern that is a number reads back from its export text as the same value.
TEST(ExportValues, FloatTextsReadBackExactly) {
    ValueFormatting f;
    f.context.style = ValueStyle::kExport;
    const ColumnDescriptor flt = column("float(8)", kTypeFloat);
    const ColumnDescriptor real = column("real(4)", kTypeReal);
    std::uint64_t bits = 0x9E3779B97F4A7C15ull;
    for (int i = 0; i < 2000; ++i) {
        bits = bits * 6364136223846793005ull + 1442695040888963407ull;
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (std::isfinite(d)) {
            EXPECT_EQ(std::strtod(f.format(flt, le(d)).c_str(), nullptr), d) << bits;
        }
        const auto half = static_cast<std::uint32_t>(bits >> 32);
        float r;
        std::memcpy(&r, &half, sizeof r);
        if (std::isfinite(r)) {
            EXPECT_EQ(std::strtof(f.format(real, le(r)).c_str(), nullptr), r) << half;
        }
    }
}

TEST(ExportValues, SqlVariantBaseTypesTakeTheirExportTexts) {
    EngineState state;
    FormatContext exported{state};
    exported.style = ValueStyle::kExport;
    FormatContext shown{state};
    const struct {
        Bytes variant;
        std::string display;
        std::string exported;
    } cases[] = {
        {concat({bytes_of({61, 1}), datetime_bytes(0, 2)}), "1900-01-01 00:00:00", "1900-01-01 00:00:00.007"},
        {concat({bytes_of({62, 1}), le(0.1 + 0.2)}), "0.3", "0.30000000000000004"},
        {concat({bytes_of({59, 1}), le(1234.123f)}), "1234.12", "1234.123"},
        {concat({bytes_of({122, 1}), le<std::int32_t>(-1)}), "-0.0001", "-0.0001"},
        {concat({bytes_of({43, 1, 0}), datetimeoffset_bytes(36900, 3, kDay2020, 330)}),
         "2020-01-01 15:45:00 +5:30", "2020-01-01 15:45:00 +05:30"},
        {concat({bytes_of({56, 1}), le<std::int32_t>(7)}), "7", "7"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(format_sql_variant(c.variant, shown), c.display);
        EXPECT_EQ(format_sql_variant(c.variant, exported), c.exported);
    }
}

}  // namespace
}  // namespace quenlow
