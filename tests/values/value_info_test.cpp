#include "engine/values/value_info.h"

#include <gtest/gtest.h>

#include "tests/values/value_test_support.h"

namespace quenlow {
namespace {

using testing::Bytes;
using testing::bytes_of;
using testing::column;
using testing::ValueFormatting;

TEST(MakeValueInfo, WidthLengthAndVariableFlagByTypeCode) {
    const struct {
        ColumnDescriptor column;
        bool variable;
        int width;
        int length;
    } cases[] = {
        {column("bigint(8)", kTypeBigint), false, 8, 8},
        {column("datetime(8)", kTypeDatetime), false, 8, 8},
        {column("datetime2(6)", kTypeDatetime2), false, 8, 8},
        {column("float(8)", kTypeFloat), false, 8, 8},
        {column("money(8)", kTypeMoney), false, 8, 8},
        {column("timestamp(8)", kTypeTimestamp), false, 8, 8},
        {column("binary(6)", kTypeBinary), false, 6, 6},
        {column("char(12)", kTypeChar), false, 12, 12},
        {column("decimal(5)", kTypeDecimal, 5, 2), false, 5, 5},
        {column("numeric(5)", kTypeNumeric, 5, 2), false, 19, 19},
        {column("date(3)", kTypeDate), false, 3, 3},
        {column("time(3)", kTypeTime), false, 5, 5},
        {column("datetimeoffset(8)", kTypeDatetimeoffset), false, 10, 10},
        {column("int(4)", kTypeInt), false, 4, 4},
        {column("smalldatetime(4)", kTypeSmalldatetime), false, 4, 4},
        {column("real(4)", kTypeReal), false, 4, 4},
        {column("smallmoney(4)", kTypeSmallmoney), false, 4, 4},
        {column("smallint(2)", kTypeSmallint), false, 2, 2},
        {column("tinyint(1)", kTypeTinyint), false, 1, 1},
        {column("uniqueidentifier(16)", kTypeUniqueidentifier), false, 16, 16},
        {column("nchar(20)", kTypeNchar), false, 20, 20},
        {column("nvarchar(40)", kTypeNvarchar), true, 40, 40},
        {column("text(16)", kTypeText), true, 16, 16},
        {column("hierarchyid(892)", kTypeClr), true, 892, 892},
        {column("varchar(30)", kTypeVarchar), true, 0, 0},  // varchar keeps no length in descriptors
        {column("varbinary(30)", kTypeVarbinary), true, 0, 0},
        {column("xml(-1)", kTypeXml), true, 0, -1},
    };
    for (const auto& c : cases) {
        BitCursor cursor;
        const ValueInfo info = make_value_info(c.column, c.column.type_code, cursor);
        EXPECT_EQ(info.variable, c.variable) << c.column.type_text;
        EXPECT_EQ(info.width, c.width) << c.column.type_text;
        EXPECT_EQ(info.value_length, c.length) << c.column.type_text;
        EXPECT_EQ(info.type_code, c.column.type_code);
        EXPECT_EQ(info.declared_size, 0);
        EXPECT_EQ(info.available_bytes, 0);
        EXPECT_EQ(info.bit_cursor, nullptr);
    }
}

TEST(MakeValueInfo, OnlyTheFirstBitOfAByteTakesWidth) {
    const ColumnDescriptor bit = column("bit(1)", kTypeBit);
    BitCursor cursor;
    ValueInfo first = make_value_info(bit, kTypeBit, cursor);
    EXPECT_EQ(first.width, 1);
    EXPECT_EQ(first.value_length, 1);
    EXPECT_EQ(first.bit_cursor, &cursor);
    EXPECT_TRUE(cursor.byte_taken);
    cursor.bit_index = 1;  // as after the first bit was read
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(make_value_info(bit, kTypeBit, cursor).width, 0);
        EXPECT_FALSE(cursor.byte_taken);
    }
}

// Bit columns formatted the way the row decoder walks a fixed part.
struct FixedPartWalk {
    ValueFormatting f;
    BitCursor cursor;
    std::int64_t position = 0;
    std::vector<std::int16_t> widths;

    std::string next(const ColumnDescriptor& c, const Bytes& fixed) {
        ValueInfo info = make_value_info(c, c.type_code, cursor);
        widths.push_back(info.width);
        info.available_bytes = static_cast<std::int64_t>(fixed.size()) - position;
        std::string text = format_value(info, fixed.data() + position, c, f.context);
        position += info.declared_size;
        return text;
    }
};

TEST(BitColumns, EightShareAByteTheNinthTakesTheNext) {
    const Bytes fixed = bytes_of({0b10100101, 0b00000010});
    const ColumnDescriptor bit = column("bit(1)", kTypeBit);
    FixedPartWalk walk;
    std::vector<std::string> texts;
    for (int i = 0; i < 10; ++i) texts.push_back(walk.next(bit, fixed));
    EXPECT_EQ(texts, (std::vector<std::string>{"True", "False", "True", "False", "False", "True", "False",
                                               "True", "False", "True"}));
    EXPECT_EQ(walk.widths, (std::vector<std::int16_t>{1, 0, 0, 0, 0, 0, 0, 0, 1, 0}));
    EXPECT_EQ(walk.position, 2);
}

TEST(BitColumns, OtherColumnsBetweenBitsDoNotReloadTheByte) {
    const Bytes fixed = bytes_of({0b00000010, 42, 0, 0, 0});
    FixedPartWalk walk;
    EXPECT_EQ(walk.next(column("bit(1)", kTypeBit), fixed), "False");
    EXPECT_EQ(walk.next(column("int(4)", kTypeInt), fixed), "42");
    EXPECT_EQ(walk.next(column("bit(1)", kTypeBit), fixed), "True");
    EXPECT_EQ(walk.position, 5);
}

TEST(BitColumns, UnreadableBitsGiveNoText) {
    ValueFormatting f;
    const ColumnDescriptor bit = column("bit(1)", kTypeBit);
    const Bytes one = bytes_of({1});
    {
        BitCursor cursor;
        ValueInfo info = make_value_info(bit, kTypeBit, cursor);
        info.bit_cursor = nullptr;
        info.available_bytes = 1;
        EXPECT_EQ(format_value(info, one.data(), bit, f.context), "");
        EXPECT_EQ(info.declared_size, 0);
    }
    {
        BitCursor cursor;
        ValueInfo info = make_value_info(bit, kTypeBit, cursor);
        info.value_length = 2;
        info.available_bytes = 1;
        EXPECT_EQ(format_value(info, one.data(), bit, f.context), "");
    }
    {
        BitCursor cursor;
        ValueInfo info = make_value_info(bit, kTypeBit, cursor);
        info.available_bytes = 0;  // the fixed part ends before the byte
        EXPECT_EQ(format_value(info, one.data(), bit, f.context), "");
        EXPECT_EQ(info.declared_size, 0);
        EXPECT_FALSE(cursor.byte_loaded);
    }
    {
        BitCursor cursor;
        cursor.bit_index = -3;  // a damaged cursor loads a new byte
        ValueInfo info = make_value_info(bit, kTypeBit, cursor);
        info.available_bytes = 1;
        EXPECT_EQ(format_value(info, one.data(), bit, f.context), "True");
        EXPECT_EQ(info.declared_size, 1);
    }
}

}  // namespace
}  // namespace quenlow
