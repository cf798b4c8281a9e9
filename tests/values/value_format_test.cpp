#include "engine/values/value_format.h"

#include <gtest/gtest.h>

#include <random>

#include "engine/values/sql_variant.h"
#include "tests/values/value_test_support.h"

namespace quenlow {
namespace {

using testing::Bytes;
using testing::bytes_of;
using testing::column;
using testing::concat;
using testing::ExactBuffer;
using testing::le;
using testing::text_bytes;
using testing::utf16;
using testing::ValueFormatting;

TEST(FormatValue, DeclaredSizeComesFromTheTypeTextOnce) {
    ValueFormatting f;
    const ColumnDescriptor money = column("money(8)", kTypeMoney);
    const Bytes bytes = le<std::int64_t>(0x0000000100000005);
    BitCursor cursor;
    ValueInfo info = make_value_info(money, kTypeMoney, cursor);
    info.available_bytes = 8;
    EXPECT_EQ(format_value(info, bytes.data(), money, f.context), "429496.7301");
    EXPECT_EQ(info.declared_size, 8);

    ValueInfo preset = make_value_info(money, kTypeMoney, cursor);
    preset.available_bytes = 8;
    preset.declared_size = 4;  // already set: kept, and only 4 bytes read
    EXPECT_EQ(format_value(preset, bytes.data(), money, f.context), "0.0005");
    EXPECT_EQ(preset.declared_size, 4);
}

TEST(FormatValue, VariableValuesReadTheirWholeLength) {
    ValueFormatting f;
    const ColumnDescriptor nvarchar = column("nvarchar(100)", kTypeNvarchar);
    const Bytes bytes = utf16({u'a', u'b', u'c'});
    BitCursor cursor;
    ValueInfo info = make_value_info(nvarchar, kTypeNvarchar, cursor);
    info.value_length = 4;
    info.available_bytes = 0;  // replaced by the value length
    EXPECT_EQ(format_value(info, bytes.data(), nvarchar, f.context), "ab");
    EXPECT_EQ(info.available_bytes, 4);
}

TEST(FormatValue, SqlVariantColumnsSkipTheHeaderAndGuess) {
    ValueFormatting f;
    const ColumnDescriptor v = column("sql_variant(8016)", kTypeSqlVariant);
    const Bytes header = bytes_of({231, 1, 20, 0, 8, 0xD0, 0, 0});
    EXPECT_EQ(f.format(v, concat({header, utf16({u'h', u'i'})})), "hi");
    EXPECT_EQ(f.format(v, concat({header, text_bytes("hi")})), "hi");
    EXPECT_EQ(f.format(v, header), "");
}

std::string shout(std::span<const std::byte> bytes, const FormatContext&) {
    return "<" + std::to_string(bytes.size()) + " bytes>";
}

std::string nothing(std::span<const std::byte>, const FormatContext&) {
    return {};
}

TEST(FormatValue, XmlGoesThroughTheConverterAndIsNeverEmpty) {
    ValueFormatting f;
    const ColumnDescriptor xml = column("xml(-1)", kTypeXml);
    const Bytes bytes = bytes_of({0xDF, 0xFF, 0x01, 0xB0});
    EXPECT_EQ(f.format(xml, bytes), " ");
    f.context.convert_xml = shout;
    EXPECT_EQ(f.format(xml, bytes), "<4 bytes>");
    f.context.convert_xml = nothing;
    EXPECT_EQ(f.format(xml, bytes), " ");
}

TEST(FormatValue, OutputStringIsReplacedAndMayBeTheColumnsOwnText) {
    ValueFormatting f;
    ColumnDescriptor c = column("int(4)", kTypeInt);
    c.value_text = "previous text";
    const Bytes bytes = le<std::int32_t>(-5);
    BitCursor cursor;
    ValueInfo info = make_value_info(c, kTypeInt, cursor);
    info.available_bytes = 4;
    format_value_to(c.value_text, info, bytes.data(), c, f.context);
    EXPECT_EQ(c.value_text, "-5");
}

// Damaged values: no text, no byte read outside what the value info allows, and the reason.
TEST(FormatValueDamage, TooFewBytesOrImpossibleSizesGiveNoText) {
    ValueFormatting f;
    constexpr ValueDamage kOutside = ValueDamage::kOutsideRecord;
    constexpr ValueDamage kInvalid = ValueDamage::kInvalidBytes;
    const struct {
        ColumnDescriptor column;
        Bytes bytes;
        std::int64_t available;
        ValueDamage why;
    } cases[] = {
        {column("int(4)", kTypeInt), le<std::int32_t>(1), 3, kOutside},
        {column("bigint(8)", kTypeBigint), le<std::int64_t>(1), 7, kOutside},
        {column("char(10)", kTypeChar), text_bytes("abcde"), 5, kOutside},
        {column("binary(4)", kTypeBinary), bytes_of({1, 2, 3}), 3, kOutside},
        {column("uniqueidentifier(16)", kTypeUniqueidentifier), Bytes(15), 15, kOutside},
        {column("money(8)", kTypeMoney), le<std::int32_t>(1), 4, kOutside},
        {column("money", kTypeMoney), le<std::int64_t>(1), 8, kOutside},  // no size in the type text
        {column("smallmoney(4)", kTypeSmallmoney), bytes_of({1, 2}), 2, kOutside},
        {column("decimal(5)", kTypeDecimal, 5, 2), bytes_of({1, 1, 0}), 3, kOutside},
        {column("decimal(5)", kTypeDecimal, 0, 0), bytes_of({1, 1, 0, 0, 0}), 5, kInvalid},
        {column("decimal(5)", kTypeDecimal, 40, 2), bytes_of({1, 1, 0, 0, 0}), 5, kInvalid},
        {column("numeric(-3)", kTypeNumeric, 5, 2), bytes_of({1, 1, 0, 0, 0}), 5, kOutside},
        {column("datetime(8)", kTypeDatetime), Bytes(8), 7, kOutside},
        {column("smalldatetime(4)", kTypeSmalldatetime), Bytes(4), 3, kOutside},
        {column("date(3)", kTypeDate), Bytes(3), 2, kOutside},
        {column("time(5)", kTypeTime, 16, 7), Bytes(5), 4, kOutside},
        {column("time(9)", kTypeTime, 16, 7), Bytes(9), 9, kInvalid},
        {column("datetime2(12)", kTypeDatetime2, 27, 7), Bytes(12), 12, kInvalid},
        {column("datetimeoffset(11)", kTypeDatetimeoffset, 34, 7), Bytes(11), 11, kInvalid},
        {column("tinyint(1)", kTypeTinyint), bytes_of({1}), 0, kOutside},
        // image is read through large values: no text here, and no damage either.
        {column("image(16)", kTypeImage), Bytes(16), 16, ValueDamage::kNone},
    };
    for (const auto& c : cases) {
        const auto [text, why] = f.format_marked(c.column, c.bytes, c.available);
        EXPECT_EQ(text, "") << c.column.type_text;
        EXPECT_EQ(why, c.why) << c.column.type_text;
    }
}

// Bytes that are no value of their type are marked; their texts stay as they have always been. Values
// that are whole, empty values included, are not.
TEST(FormatValueDamage, BytesTheTypeCannotHoldAreMarked) {
    ValueFormatting f;
    constexpr ValueDamage kNone = ValueDamage::kNone;
    constexpr ValueDamage kInvalid = ValueDamage::kInvalidBytes;
    const Bytes max_day = bytes_of({0xFF, 0xFF, 0xFF});  // past 9999-12-31
    const struct {
        const char* what;
        ColumnDescriptor column;
        Bytes bytes;
        std::string text;
        ValueDamage why;
    } cases[] = {
        {"date", column("date(3)", kTypeDate), bytes_of({0xA1, 0xC3, 0x09}), "1753-01-01", kNone},
        {"date past 9999", column("date(3)", kTypeDate), max_day, " ", kInvalid},
        {"datetime past 9999", column("datetime(8)", kTypeDatetime),
         concat({le<std::int32_t>(0), le<std::int32_t>(3000000)}), " ", kInvalid},
        {"smalldatetime minute past the day", column("smalldatetime(4)", kTypeSmalldatetime),
         concat({le<std::uint16_t>(1440), le<std::uint16_t>(1)}), " ", kInvalid},
        {"time of 86400 seconds", column("time(3)", kTypeTime, 7, 0), bytes_of({0x80, 0x51, 0x01}), " ",
         kInvalid},
        {"datetime2 with a day past 9999", column("datetime2(6)", kTypeDatetime2, 19, 0),
         concat({bytes_of({0, 0, 0}), max_day}), " ", kInvalid},
        {"decimal", column("decimal(5)", kTypeDecimal, 9, 2),
         concat({bytes_of({1}), le<std::int32_t>(12345)}), "123.45", kNone},
        {"decimal, sign byte 2", column("decimal(5)", kTypeDecimal, 9, 2),
         concat({bytes_of({2}), le<std::int32_t>(12345)}), "123.45", kInvalid},
        {"decimal, more digits than its precision", column("decimal(5)", kTypeDecimal, 3, 0),
         concat({bytes_of({1}), le<std::int32_t>(12345)}), "12345", kInvalid},
        {"empty varchar", column("varchar(10)", kTypeVarchar), Bytes{}, "", kNone},
        {"empty varbinary", column("varbinary(10)", kTypeVarbinary), Bytes{}, "", kNone},
    };
    for (const auto& c : cases) {
        const auto [text, why] = f.format_marked(c.column, c.bytes);
        EXPECT_EQ(text, c.text) << c.what;
        EXPECT_EQ(why, c.why) << c.what;
    }
}

TEST(FormatValueDamage, CodesNoColumnCarriesAndMissingBytes) {
    ValueFormatting f;
    const Bytes bytes = le<std::int32_t>(1);
    for (std::int32_t code : {-1, 12, 18, 31, 32, 35, 1000}) {
        ColumnDescriptor c = column("int(4)", kTypeInt);
        c.type_code = code;
        BitCursor cursor;
        ValueInfo info = make_value_info(c, code, cursor);
        info.value_length = 4;
        info.available_bytes = 4;
        EXPECT_EQ(format_value(info, bytes.data(), c, f.context), "") << code;
    }
    const ColumnDescriptor c = column("int(4)", kTypeInt);
    BitCursor cursor;
    ValueInfo info = make_value_info(c, kTypeInt, cursor);
    info.available_bytes = 4;
    EXPECT_EQ(format_value(info, nullptr, c, f.context), "");
}

// Every type code with random sizes, lengths and bytes; the bytes lie in a buffer of exactly the size
// the value info allows, so the sanitizer sees any read beyond it. Whatever the bytes, the text is UTF-8.
TEST(FormatValueDamage, RandomValueInfosStayInsideTheirBytes) {
    ValueFormatting f;
    f.state.collations[5] = {"Chinese_PRC_CI_AS", 936};
    std::mt19937 random(11);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    std::string out;
    for (int i = 0; i < 30000; ++i) {
        const std::int32_t code = pick(-1, 35);
        ColumnDescriptor c =
            column("t(" + std::to_string(pick(-5, 40)) + ")", code, static_cast<std::uint8_t>(pick(0, 40)),
                   static_cast<std::uint8_t>(pick(0, 40)));
        c.type_code = code;
        c.collation_id = pick(0, 1) == 0 ? 5 : 0;
        BitCursor cursor;
        cursor.bit_index = pick(-1, 9);
        cursor.byte_loaded = pick(0, 1) == 1;
        ValueInfo info = make_value_info(c, code, cursor);
        info.variable = pick(0, 3) == 0;
        info.value_length = static_cast<std::int16_t>(pick(-3, 40));
        info.declared_size = pick(0, 2) == 0 ? pick(-3, 40) : 0;
        info.available_bytes = pick(0, 40);
        const std::int64_t readable =
            info.variable ? std::max<std::int64_t>(info.value_length, 0) : info.available_bytes;
        Bytes bytes(static_cast<std::size_t>(readable));
        for (auto& b : bytes) b = static_cast<std::byte>(pick(0, 255));
        ExactBuffer buffer(bytes);
        format_value_to(out, info, buffer.data(), c, f.context);
        EXPECT_TRUE(testing::is_utf8(out)) << "type code " << code;
    }
}

TEST(SqlVariantDamage, RandomVariantsStayInsideTheirBytes) {
    ValueFormatting f;
    const int bases[] = {36,  40,  41,  42,  43,  48,  52,  56,  58,  59,  60,  61, 62, 104,
                         106, 108, 122, 127, 165, 167, 173, 175, 231, 239, 240, 0,  98, 255};
    std::mt19937 random(5);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    for (int i = 0; i < 30000; ++i) {
        Bytes bytes(static_cast<std::size_t>(pick(0, 24)));
        for (auto& b : bytes) b = static_cast<std::byte>(pick(0, 255));
        if (!bytes.empty()) bytes[0] = static_cast<std::byte>(bases[pick(0, std::size(bases) - 1)]);
        if (bytes.size() > 2 && pick(0, 1) == 0)
            bytes[2] = static_cast<std::byte>(pick(0, 9));  // sensible scales
        ExactBuffer buffer(bytes);
        const std::string text = format_sql_variant({buffer.data(), buffer.size()}, f.context);
        EXPECT_TRUE(testing::is_utf8(text)) << "base type " << (bytes.empty() ? -1 : int(bytes[0]));
    }
}

}  // namespace
}  // namespace quenlow
