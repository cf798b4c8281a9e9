#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/values/value_test_support.h"

namespace quenlow {
namespace {

using testing::Bytes;
using testing::bytes_of;
using testing::column;
using testing::concat;
using testing::le;
using testing::ValueFormatting;

struct Case {
    ColumnDescriptor column;
    Bytes bytes;
    std::string text;
};

void expect_texts(const std::vector<Case>& cases) {
    ValueFormatting f;
    for (const auto& c : cases) {
        EXPECT_EQ(f.format(c.column, c.bytes), c.text) << c.column.type_text;
    }
}

TEST(NumberColumns, SignedWidthsUnsignedTinyintFloatsAndMoney) {
    expect_texts({
        {column("bigint(8)", kTypeBigint), le<std::int64_t>(0), "0"},
        {column("bigint(8)", kTypeBigint), le<std::int64_t>(-1), "-1"},
        {column("bigint(8)", kTypeBigint), le(std::numeric_limits<std::int64_t>::min()),
         "-9223372036854775808"},
        {column("int(4)", kTypeInt), le<std::int32_t>(123456), "123456"},
        {column("int(4)", kTypeInt), le(std::numeric_limits<std::int32_t>::min()), "-2147483648"},
        {column("smallint(2)", kTypeSmallint), le<std::int16_t>(-1), "-1"},
        {column("tinyint(1)", kTypeTinyint), bytes_of({200}), "200"},
        {column("float(8)", kTypeFloat), le(0.1), "0.1"},
        {column("real(4)", kTypeReal), le(1e10f), "1e+010"},
        {column("real(4)", kTypeReal), le(-0.00001f), "-1e-005"},  // below 0.0001: exponent, not "0"
        {column("money(8)", kTypeMoney), le<std::int64_t>(-50000), "-5.0000"},
        {column("smallmoney(4)", kTypeSmallmoney), le<std::int32_t>(125000), "12.5000"},
    });
}

TEST(IntegerText, ReadsOnlyItsOwnWidthFromAWiderRegion) {
    ValueFormatting f;
    // An int followed by other columns of the fixed part.
    EXPECT_EQ(f.format(column("int(4)", kTypeInt), bytes_of({7, 0, 0, 0, 0xFF, 0xFF})), "7");
    EXPECT_EQ(f.format(column("smallint(2)", kTypeSmallint), bytes_of({0xFE, 0xFF, 0x12})), "-2");
}

TEST(MoneyText, FourDecimalsAndSign) {
    const std::pair<std::int64_t, std::string> money[] = {
        {0, "0.0000"},
        {12345, "1.2345"},
        {5, "0.0005"},
        {-1234, "-0.1234"},
        {-50000, "-5.0000"},
        {std::numeric_limits<std::int64_t>::max(), "922337203685477.5807"},
        {std::numeric_limits<std::int64_t>::min(), "-922337203685477.5808"},
    };
    for (const auto& [raw, text] : money) EXPECT_EQ(format_money(raw), text) << raw;

    const std::pair<std::int32_t, std::string> smallmoney[] = {
        {0, "0.0000"},
        {125000, "12.5000"},
        {-30000, "-3.0000"},
        {1, "0.0001"},
        {3, "0.0003"},
        {7, "0.0007"},
        {-1, "-0.0001"},
        {99999999, "9999.9999"},
        {std::numeric_limits<std::int32_t>::max(), "214748.3647"},
        {std::numeric_limits<std::int32_t>::min(), "-214748.3648"},
    };
    for (const auto& [raw, text] : smallmoney) EXPECT_EQ(format_smallmoney(raw), text) << raw;
}

Bytes decimal_bytes(std::uint8_t sign, std::uint64_t low, std::uint64_t high = 0,
                    std::size_t magnitude = 16) {
    Bytes out = concat({bytes_of({sign}), le(low), le(high)});
    out.resize(1 + magnitude);
    return out;
}

TEST(DecimalText, PrecisionScaleAndSign) {
    expect_texts({
        {column("decimal(5)", kTypeDecimal, 5, 2), decimal_bytes(1, 12345, 0, 4), "123.45"},
        {column("decimal(5)", kTypeDecimal, 5, 2), decimal_bytes(0, 12345, 0, 4), "-123.45"},
        {column("decimal(5)", kTypeDecimal, 4, 0), decimal_bytes(1, 0, 0, 4), "0"},
        {column("decimal(5)", kTypeDecimal, 5, 2), decimal_bytes(1, 5, 0, 4), "0.05"},
        {column("numeric(9)", kTypeNumeric, 18, 4), decimal_bytes(1, 123456789012345678ull, 0, 8),
         "12345678901234.5678"},
        {column("numeric(9)", kTypeNumeric, 19, 0), decimal_bytes(0, 9999999999999999999ull, 0, 8),
         "-9999999999999999999"},
        {column("decimal(13)", kTypeDecimal, 28, 10), decimal_bytes(1, 1, 1, 12), "1844674407.3709551617"},
        // 10^38 - 1, the largest decimal(38).
        {column("decimal(17)", kTypeDecimal, 38, 0),
         decimal_bytes(1, 0x098A223FFFFFFFFFull, 0x4B3B4CA85A86C47Aull), std::string(38, '9')},
        {column("decimal(17)", kTypeDecimal, 38, 38),
         decimal_bytes(0, 0x098A223FFFFFFFFFull, 0x4B3B4CA85A86C47Aull), "-0." + std::string(38, '9')},
    });
}

TEST(DecimalText, MoreDigitsThanThePrecisionLoseFractionDigits) {
    // 1234567 does not fit decimal(5,2): two fraction digits go, and with them the point.
    EXPECT_EQ(format_decimal(5, 2, 1, bytes_of({0x87, 0xD6, 0x12, 0x00})), "12345");
    EXPECT_EQ(format_decimal(5, 3, 1, bytes_of({0x87, 0xD6, 0x12, 0x00})), "1234.5");
    // Only the bytes of the precision's magnitude size count.
    EXPECT_EQ(format_decimal(9, 0, 1, bytes_of({1, 0, 0, 0, 0xFF})), "1");
    EXPECT_EQ(format_decimal(10, 0, 1, bytes_of({1})), "1");
}

TEST(DecimalText, ImpossiblePrecisionOrScaleGiveNoText) {
    EXPECT_EQ(format_decimal(0, 0, 1, bytes_of({1, 0, 0, 0})), "");
    EXPECT_EQ(format_decimal(39, 0, 1, bytes_of({1, 0, 0, 0})), "");
    EXPECT_EQ(format_decimal(255, 2, 1, bytes_of({1, 0, 0, 0})), "");
    EXPECT_EQ(format_decimal(5, 6, 1, bytes_of({1, 0, 0, 0})), "");
    ValueFormatting f;
    EXPECT_EQ(f.format(column("decimal(5)", kTypeDecimal, 0, 0), decimal_bytes(1, 1, 0, 4)), "");
}

TEST(FloatText, FifteenSignificantDigitsWithoutTrailingZeros) {
    const std::pair<double, std::string> cases[] = {
        {0.1, "0.1"},
        {100, "100"},
        {1e15, "1000000000000000"},
        {-2.5, "-2.5"},
        {0, "0"},
        {-0.0, "0"},
        {1.0 / 3, "0.333333333333333"},
        {2.0 / 3, "0.666666666666667"},
        {0.3, "0.3"},
        {1e-5, "0.00001"},
        {-1e-10, "-0.0000000001"},
        {1234567890123456.7, "1234567890123456.8"},  // six decimals, 17 significant digits, then zeros
        {1e20, "100000000000000000000"},
        {1e23, "99999999999999992000000"},
        {std::numeric_limits<double>::max(), "17976931348623157" + std::string(292, '0')},
        {std::numeric_limits<double>::infinity(), "0"},
        {-std::numeric_limits<double>::infinity(), "0"},
        {std::numeric_limits<double>::quiet_NaN(), "0"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(format_float(value), text) << value;
    // The smallest subnormal keeps its one significant digit far behind the point.
    const std::string tiny = format_float(std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(tiny.substr(0, 2), "0.");
    EXPECT_EQ(tiny.find_first_not_of('0', 2), 325u);
}

TEST(RealText, GeneralFormWithThreeDigitExponent) {
    const std::pair<float, std::string> cases[] = {
        {3.14159f, "3.14159"},
        {0.00001f, "1e-005"},  // shown, not lost as "0"
        {-0.00001f, "-1e-005"},
        {1.5e-7f, "1.5e-007"},
        {1e10f, "1e+010"},
        {1e38f, "1e+038"},
        {123456.0f, "123456"},
        {1234567.0f, "1.23457e+006"},
        {0.0001f, "0.0001"},
        {0.5f, "0.5"},
        {0.0f, "0"},
        {std::numeric_limits<float>::infinity(), "0"},
        {std::numeric_limits<float>::quiet_NaN(), "0"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(format_real(value), text) << value;
}

TEST(GuidText, FirstThreeGroupsByteReversed) {
    const Bytes guid = bytes_of(
        {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF});
    EXPECT_EQ(format_guid(guid), "00112233-4455-6677-8899-AABBCCDDEEFF");
    ValueFormatting f;
    EXPECT_EQ(f.format(column("uniqueidentifier(16)", kTypeUniqueidentifier), guid),
              "00112233-4455-6677-8899-AABBCCDDEEFF");
    // A short value reads as if the missing bytes were zero.
    EXPECT_EQ(format_guid(bytes_of({1, 2})), "00000201-0000-0000-0000-000000000000");
}

TEST(BinaryText, UpperCaseHexWithPrefixWhereTheTypeShowsIt) {
    expect_texts({
        {column("binary(4)", kTypeBinary), bytes_of({0x01, 0x02, 0x0A, 0xFF}), "0x01020AFF"},
        {column("timestamp(8)", kTypeTimestamp), bytes_of({0, 0, 0, 0, 0, 0, 0x07, 0xD1}),
         "0x00000000000007D1"},
        // The row decoder adds "0x" to these two.
        {column("varbinary(10)", kTypeVarbinary), bytes_of({0xAB, 0x00, 0xCD}), "AB00CD"},
        {column("hierarchyid(892)", kTypeClr), bytes_of({0x58}), "58"},
    });
    EXPECT_EQ(format_hex({}, true), "0x");
}

}  // namespace
}  // namespace quenlow
