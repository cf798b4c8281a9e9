// Compact (row- and page-compressed) records: the value forms, SCSU, the worked record examples, pages
// with an anchor record and a dictionary, damaged input, and deleted compact records.

#include <gtest/gtest.h>

#include <cstring>

#include "engine/catalog/type_codes.h"
#include "engine/values/compact_values.h"
#include "engine/values/row_decoder.h"
#include "engine/values/scsu.h"
#include "tests/support/catalog_page_builder.h"
#include "tests/support/compact_encoder.h"
#include "tests/support/record_builder.h"
#include "tests/support/stored_column.h"

#ifdef QUENLOW_TEST_WITH_ICU
#include <unicode/ucnv.h>
#endif

namespace quenlow {
namespace {

using testing::Bytes;
using testing::bytes_of;
using testing::CompactColumn;
using testing::PageAssembler;
using testing::TestDatabase;

Bytes utf16(std::u16string_view s) { return testing::utf16le(s); }

ColumnDescriptor column(std::int32_t id, const std::string& type_text, std::int32_t type_code,
                        bool nullable = true) {
    ColumnDescriptor d = testing::stored_column(id, type_text, type_code, 0, nullable);
    // Placed as in an ordinary record: the compact decoder must not need these.
    d.leaf_offset = static_cast<std::int16_t>(d.variable_length ? -id : 4 * id);
    return d;
}

ColumnDescriptor decimal_column(std::int32_t id, int precision, int scale, int bytes) {
    ColumnDescriptor d = column(id, "decimal(" + std::to_string(bytes) + ")", kTypeDecimal);
    d.precision = static_cast<std::uint8_t>(precision);
    d.scale = static_cast<std::uint8_t>(scale);
    return d;
}

ColumnDescriptor time_column(const std::string& type_text, std::int32_t type_code, int digits) {
    ColumnDescriptor d = column(1, type_text, type_code);
    d.scale = static_cast<std::uint8_t>(digits);
    return d;
}

TEST(CompactValues, IntegersAreBigEndianWithTheTopBitFlipped) {
    struct Case {
        Bytes stored;
        std::int64_t value;
    };
    const std::vector<Case> cases = {
        {{}, 0},
        {bytes_of({0x81}), 1},
        {bytes_of({0x7F}), -1},
        {bytes_of({0x7E}), -2},
        {bytes_of({0xFF}), 127},
        {bytes_of({0x80, 0x80}), 128},
        {bytes_of({0x00}), -128},
        {bytes_of({0x7F, 0x7F}), -129},
        {bytes_of({0xFF, 0xFF, 0xFF, 0xFF}), 2147483647},
        {bytes_of({0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}), INT64_MIN},
    };
    for (const Case& c : cases) {
        std::int64_t value = 12345;
        ASSERT_TRUE(decode_compact_integer(c.stored, value));
        EXPECT_EQ(value, c.value) << ::testing::PrintToString(c.stored);
        EXPECT_EQ(testing::compact_integer(c.value), c.stored) << c.value;
    }
    std::int64_t ignored = 0;
    EXPECT_FALSE(decode_compact_integer(Bytes(9, std::byte{0x80}), ignored));
    // Round trips over every length.
    for (std::int64_t v : {std::int64_t{-32768}, std::int64_t{32767}, std::int64_t{-8388609},
                           std::int64_t{1} << 40, -(std::int64_t{1} << 55), INT64_MAX}) {
        std::int64_t back = 0;
        ASSERT_TRUE(decode_compact_integer(testing::compact_integer(v), back));
        EXPECT_EQ(back, v);
    }
}

// The text the formatter makes of a compact value of the column.
std::string compact_text(const ColumnDescriptor& d, const Bytes& stored) {
    std::vector<std::byte> out;
    const std::int32_t width = declared_length_of(d.type_text);
    if (rebuild_compact_value(d.type_code, d, width, stored, out) != CompactValue::kRebuilt) return "<unreadable>";
    EngineState state;
    FormatContext ctx{state};
    BitCursor bits;
    ValueInfo info = make_value_info(d, d.type_code, bits);
    info.available_bytes = static_cast<std::int64_t>(out.size());
    if (info.variable) info.value_length = static_cast<std::int16_t>(out.size());
    return format_value(info, out.data(), d, ctx);
}

TEST(CompactValues, EachTypeRebuildsItsOrdinaryForm) {
    struct Case {
        ColumnDescriptor column;
        Bytes stored;
        std::string text;
    };
    const std::vector<Case> cases = {
        {column(1, "tinyint(1)", kTypeTinyint), bytes_of({0xC8}), "200"},
        {column(1, "tinyint(1)", kTypeTinyint), {}, "0"},
        {column(1, "smallint(2)", kTypeSmallint), bytes_of({0x7F}), "-1"},
        {column(1, "int(4)", kTypeInt), bytes_of({0x7F, 0x7F}), "-129"},
        {column(1, "int(4)", kTypeInt), bytes_of({0x80, 0, 0, 0, 1}), "<unreadable>"},
        {column(1, "bigint(8)", kTypeBigint), bytes_of({0xFF, 0xFF, 0xFF, 0xFF}), "2147483647"},
        {column(1, "money(8)", kTypeMoney), bytes_of({0x7F, 0xD8, 0xF0}), "-1.0000"},
        {column(1, "smallmoney(4)", kTypeSmallmoney), bytes_of({0x80, 0x61, 0xA8}), "2.5000"},
        // 1753-01-01: the datetime read as one little-endian integer, days in the high half.
        {column(1, "datetime(8)", kTypeDatetime), bytes_of({0x7F, 0x2E, 0x46, 0, 0, 0, 0}),
         "1753-01-01 00:00:00"},
        {column(1, "float(8)", kTypeFloat), bytes_of({0xF0, 0x3F}), "1"},
        {column(1, "real(4)", kTypeReal), bytes_of({0x80, 0xBF}), "-1"},
        {column(1, "float(8)", kTypeFloat), {}, "0"},
        {decimal_column(1, 9, 0, 5), bytes_of({0xC0, 0x19}), "1"},
        {decimal_column(1, 9, 2, 5), bytes_of({0xBE, 0x19}), "0.01"},
        {decimal_column(1, 9, 0, 5), bytes_of({0x40, 0x4B}), "-3"},
        {decimal_column(1, 9, 0, 5), bytes_of({0xC4, 0xF9, 0xFD, 0xE0}), "99999"},
        {decimal_column(1, 18, 4, 9), bytes_of({0xC4, 0xF9, 0xFD, 0xE0}), "99999.0000"},
        {decimal_column(1, 9, 2, 5), {}, "0.00"},
        // 0.01 does not fall on a scale of 0; 99999 does not fit precision-9 bytes of 4 when scaled by 10^6.
        {decimal_column(1, 9, 0, 5), bytes_of({0xBE, 0x19}), "<unreadable>"},
        {column(1, "char(5)", kTypeChar), bytes_of({'a', 'b'}), "ab   "},
        {column(1, "binary(4)", kTypeBinary), bytes_of({0x0A}), "0x0A000000"},
        {column(1, "nchar(8)", kTypeNchar), bytes_of({'H', 'i', 0x10}), "Hi  "},
        {column(1, "nvarchar(20)", kTypeNvarchar), bytes_of({0x48, 0x65, 0x6C, 0x6C, 0x6F}), "Hello"},
        {column(1, "nvarchar(20)", kTypeNvarchar), utf16(u"ok"), "ok"},
        {column(1, "nvarchar(20)", kTypeNvarchar), bytes_of({0x0C}), "<unreadable>"},
        {column(1, "date(3)", kTypeDate), bytes_of({0xA1, 0xC3, 0x09}), "1753-01-01"},
        {column(1, "uniqueidentifier(16)", kTypeUniqueidentifier),
         bytes_of({0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE,
                   0xFF}),
         "00112233-4455-6677-8899-AABBCCDDEEFF"},
        {column(1, "varchar(10)", kTypeVarchar), bytes_of({'a', ' '}), "a "},
        // The time types keep their ordinary bytes; the byte count follows the fraction digits.
        {time_column("time(3)", kTypeTime, 0), bytes_of({0x7F, 0x51, 0x01}), "23:59:59"},
        {time_column("time(5)", kTypeTime, 7), bytes_of({0xFF, 0xBF, 0x69, 0x2A, 0xC9}), "23:59:59.9999999"},
        {time_column("time(5)", kTypeTime, 7), {}, "00:00:00.0000000"},
        {time_column("time(5)", kTypeTime, 7), Bytes(6, std::byte{1}), "<unreadable>"},
        {time_column("time(5)", kTypeTime, 7), Bytes(4, std::byte{1}), "<unreadable>"},
        {time_column("datetime2(8)", kTypeDatetime2, 7), Bytes(7, std::byte{1}), "<unreadable>"},
        {column(1, "date(3)", kTypeDate), bytes_of({0xA1, 0xC3}), "<unreadable>"},
        {column(1, "date(3)", kTypeDate), {}, "0001-01-01"},
        {time_column("datetime2(8)", kTypeDatetime2, 7),
         bytes_of({0x05, 0xE0, 0x34, 0x95, 0x64, 0x80, 0x46, 0x0B}), "2024-02-29 12:00:00.0000005"},
        {time_column("datetimeoffset(9)", kTypeDatetimeoffset, 4),
         bytes_of({0xD2, 0xCF, 0x28, 0x0C, 0x80, 0x46, 0x0B, 0xB6, 0xFE}), "2024-02-29 00:10:00.1234  -5:30"},
        // rowversion: big-endian without its leading zero bytes.
        {column(1, "timestamp(8)", kTypeTimestamp), bytes_of({0x07, 0xD1}), "0x00000000000007D1"},
        {column(1, "timestamp(8)", kTypeTimestamp), bytes_of({0xFF, 0, 0, 0, 0, 0, 0, 0}),
         "0xFF00000000000000"},
        {column(1, "timestamp(8)", kTypeTimestamp), {}, "0x0000000000000000"},
        {column(1, "timestamp(8)", kTypeTimestamp), Bytes(9, std::byte{1}), "<unreadable>"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(compact_text(c.column, c.stored), c.text)
            << c.column.type_text << " " << ::testing::PrintToString(c.stored);
}

TEST(Scsu, DecodesFromTheInitialStateOfEachValue) {
    struct Case {
        Bytes in;
        std::u16string text;
    };
    const std::vector<Case> cases = {
        {bytes_of({0x48, 0x65, 0x6C, 0x6C, 0x6F}), u"Hello"},
        {bytes_of({0x48, 0x69, 0x10}), u"Hi"},
        {bytes_of({0xE9}), u"\u00e9"},
        {bytes_of({0x12, 0x9F, 0xC0, 0xB8, 0xB2, 0xB5, 0xC2}), u"\u041f\u0440\u0438\u0432\u0435\u0442"},
        {bytes_of({0x01, 0x05}), u"\u0005"},                            // SQ0: a control character
        {bytes_of({0x03, 0x41}), u"\u0141"},                            // SQ2, static window 2
        {bytes_of({0x0E, 0x4E, 0x00, 0x41}), u"\u4e00A"},                // SQU
        {bytes_of({0x0F, 0x4E, 0x00, 0x4E, 0x8C, 0xE0, 0x41}), u"\u4e00\u4e8cA"},  // SCU ... UC0
        {bytes_of({0x1F, 0xFB, 0x80 + 0x21, 0x16, 0x81}), u"\u0391\u30a1"},       // SD7 to 0370, SC6
        {bytes_of({0x0B, 0x01, 0xEC, 0x80}), u"\U0001F600"},            // SDX: a supplementary window
        {bytes_of({0x0F, 0xE9, 0xFD, 0x82}), u"\u3042"},                // UD1 to 3040
        {bytes_of({0x0F, 0xF0, 0x00, 0x41, 0xF1, 0x01, 0xEC, 0x81}), u"A\U0001F601"},  // UQU, UDX
    };
    for (const Case& c : cases) {
        std::vector<std::byte> out;
        ASSERT_TRUE(scsu_to_utf16(c.in, out)) << ::testing::PrintToString(c.in);
        EXPECT_EQ(out, utf16(c.text)) << ::testing::PrintToString(c.in);
    }
}

TEST(Scsu, RefusesReservedTagsAndStreamsCutShort) {
    for (const Bytes& in : {bytes_of({0x41, 0x0C}), bytes_of({0x0F, 0xF2, 0x00}), bytes_of({0x0E, 0x4E}),
                            bytes_of({0x0F, 0x4E}), bytes_of({0x0F, 0x4E, 0x00, 0x4E}), bytes_of({0x18, 0x00}),
                            bytes_of({0x18, 0xA8, 0x80}), bytes_of({0x01}), bytes_of({0x0B, 0x01}),
                            bytes_of({0x0F, 0xE8})}) {
        std::vector<std::byte> out;
        EXPECT_FALSE(scsu_to_utf16(in, out)) << ::testing::PrintToString(in);
    }
}

TEST(Scsu, BuilderFormReadsBack) {
    for (const std::u16string& s : {std::u16string(u"plain"), std::u16string(u"caf\u00e9 \u00fcber"),
                                    std::u16string(u"\u041c\u043e\u0441\u043a\u0432\u0430"),
                                    std::u16string(u"\u0391\u03b8\u03ae\u03bd\u03b1"), std::u16string(u"\u6771\u4eac"),
                                    std::u16string(u"a\U0001F600b"), std::u16string(u"\u3072\u3089\u304c\u306a"),
                                    std::u16string(u"tab\tline\r\n\u0001")}) {
        std::vector<std::byte> out;
        ASSERT_TRUE(scsu_to_utf16(testing::scsu_encode(utf16(s)), out));
        EXPECT_EQ(out, utf16(s));
    }
}

#ifdef QUENLOW_TEST_WITH_ICU
// ICU's SCSU converter writes its own choice of tags (windows defined, Unicode mode); the decoder reads
// them all back.
TEST(Scsu, ReadsWhatIcuWrites) {
    UErrorCode error = U_ZERO_ERROR;
    UConverter* converter = ucnv_open("SCSU", &error);
    ASSERT_TRUE(U_SUCCESS(error)) << u_errorName(error);
    const std::vector<std::u16string> texts = {
        u"Hello, world",
        u"\u00c4rger \u00fcber \u00f6de Stra\u00dfen",
        u"\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440",
        u"\u039a\u03b1\u03bb\u03b7\u03bc\u03ad\u03c1\u03b1",
        u"\u65e5\u672c\u8a9e\u306e\u30c6\u30ad\u30b9\u30c8\u3068\u6f22\u5b57",
        u"\ud55c\uad6d\uc5b4 \ud14d\uc2a4\ud2b8",
        u"\U0001F600\U0001F601 smile \U0001F680",
        u"\u05e9\u05dc\u05d5\u05dd \u0645\u0631\u062d\u0628\u0627 \u0928\u092e\u0938\u094d\u0924\u0947",
        u"mixed \u00e9\u4e00\u0416\u3042\U00010400 end",
    };
    for (const std::u16string& s : texts) {
        std::vector<char> encoded(4 * s.size() + 16);
        error = U_ZERO_ERROR;
        const int32_t n = ucnv_fromUChars(converter, encoded.data(), static_cast<int32_t>(encoded.size()),
                                          reinterpret_cast<const UChar*>(s.data()),
                                          static_cast<int32_t>(s.size()), &error);
        ASSERT_TRUE(U_SUCCESS(error)) << u_errorName(error);
        Bytes in(n);
        std::memcpy(in.data(), encoded.data(), static_cast<std::size_t>(n));
        std::vector<std::byte> out;
        ASSERT_TRUE(scsu_to_utf16(in, out)) << ::testing::PrintToString(in);
        EXPECT_EQ(out, utf16(s)) << ::testing::PrintToString(in);
        ucnv_reset(converter);
    }
    ucnv_close(converter);
}
#endif

class CompactRecordTest : public ::testing::Test {
  protected:
    TestDatabase database{testing::page_images(4, {})};
    struct NoLargeValues final : LargeValueReader {
        std::string read_large_value(const LargeValueRequest&, XmlPieces*) override { return "<large>"; }
        std::string read_through_text_pointer(const LargeValueRequest&, XmlPieces*) override { return "<pointer>"; }
    } large;
    struct NoXml final : XmlConverter {
        std::string convert(XmlPieces) override { return {}; }
        std::string convert(ByteSpan) override { return {}; }
    } xml;

    // A data page of these records, after the compression information when there is some.
    std::unique_ptr<CDataPage> page_of(const std::vector<Bytes>& records, const std::optional<Bytes>& info = {}) {
        PageAssembler page;
        if (info) page.compression_info(*info);
        for (const Bytes& r : records) page.add_record(r);
        return std::make_unique<CDataPage>(page.finish(), database.db());
    }
    std::vector<std::vector<std::string>> rows(const CDataPage& page, std::vector<ColumnDescriptor> table,
                                               bool layout = true) {
        DecodeContext ctx = make_decode_context(database.db(), large, xml, false);
        const auto decoded =
            layout ? decode_table_page_layout(page, table, ctx) : decode_table_page_offsets(page, table, ctx);
        std::vector<std::vector<std::string>> out;
        for (const DecodedRow& row : decoded) {
            out.emplace_back();
            for (const ColumnDescriptor& d : row) out.back().push_back(d.value_text);
        }
        return out;
    }
};

using Rows = std::vector<std::vector<std::string>>;

// The record examples of the format description, byte for byte.
TEST_F(CompactRecordTest, WorkedExamplesDecode) {
    struct Case {
        const char* name;
        std::vector<ColumnDescriptor> table;
        std::optional<Bytes> info;
        std::vector<Bytes> records;
        Rows rows;
    };
    const Bytes ci = bytes_of({0x06, 0x00, 0x00, 0x11, 0x00, 0x1B, 0x00, 0x01, 0x02, 0x08, 0x41, 0x6E, 0x74,
                               0x6F, 0x6E, 0x69, 0x6F, 0x01, 0x00, 0x0A, 0x00, 0x42, 0x65, 0x72, 0x6C, 0x69,
                               0x6E});
    const std::vector<Case> cases = {
        {"(a) short values and NULL",
         {column(1, "int(4)", kTypeInt), column(2, "varchar(20)", kTypeVarchar), column(3, "int(4)", kTypeInt)},
         std::nullopt,
         {bytes_of({0x01, 0x03, 0x42, 0x00, 0x81, 0x61, 0x62, 0x63})},
         {{"1", "abc", "NULL"}}},
        {"(b) negative integers",
         {column(1, "int(4)", kTypeInt)},
         std::nullopt,
         {bytes_of({0x01, 0x01, 0x02, 0x7E}), bytes_of({0x01, 0x01, 0x03, 0x7F, 0x7F})},
         {{"-2"}, {"-129"}}},
        {"(c) a long value",
         {column(1, "int(4)", kTypeInt), column(2, "varchar(20)", kTypeVarchar)},
         std::nullopt,
         {bytes_of({0x21, 0x02, 0xA2, 0x85, 0x01, 0x01, 0x00, 0x0C, 0x00, 0x48, 0x65, 0x6C, 0x6C, 0x6F, 0x2C,
                    0x20, 0x77, 0x6F, 0x72, 0x6C, 0x64})},
         {{"5", "Hello, world"}}},
        {"(d) anchor prefix, dictionary symbol, the anchor itself",
         {column(1, "varchar(10)", kTypeVarchar), column(2, "varchar(10)", kTypeVarchar)},
         ci,
         {bytes_of({0x01, 0x02, 0xC3, 0x06, 0x61, 0x00}), bytes_of({0x01, 0x02, 0x01})},
         {{"Antonia", "Berlin"}, {"Antonio", "NULL"}}},
    };
    for (const Case& c : cases) {
        auto page = page_of(c.records, c.info);
        EXPECT_EQ(rows(*page, c.table), c.rows) << c.name;
        EXPECT_EQ(rows(*page, c.table, false), c.rows) << c.name << ", offset form";
    }
    // (d): the record the first slot names starts after the 27 bytes of the compression information.
    auto page = page_of({bytes_of({0x01, 0x02, 0x01})}, ci);
    EXPECT_EQ((*page->slot_array())[0], 123);
    EXPECT_EQ(page->compression().dictionary.size(), 1u);
    EXPECT_EQ(page->compression().anchor_values.size(), 2u);
}

TEST_F(CompactRecordTest, CountsClustersAndCodes) {
    // 131 int columns: a two-byte count, four cluster bytes; every code from NULL to long; bits 0 and 1.
    std::vector<ColumnDescriptor> table;
    std::vector<CompactColumn> columns;
    std::vector<std::string> expected;
    for (int i = 1; i <= 131; ++i) {
        if (i % 7 == 0) {
            table.push_back(column(i, "bit(1)", kTypeBit));
            columns.push_back(i % 2 == 0 ? CompactColumn::bit_one() : CompactColumn::empty());
            expected.push_back(i % 2 == 0 ? "True" : "False");
        } else if (i % 5 == 0) {
            table.push_back(column(i, "varchar(40)", kTypeVarchar));
            columns.push_back(CompactColumn::value(Bytes(9 + i % 3, std::byte{'x'})));
            expected.push_back(std::string(9 + i % 3, 'x'));
        } else if (i % 11 == 0) {
            table.push_back(column(i, "bigint(8)", kTypeBigint));
            columns.push_back(CompactColumn::null());
            expected.push_back("NULL");
        } else {
            table.push_back(column(i, "bigint(8)", kTypeBigint));
            const std::int64_t v = (i % 2 == 0 ? -1 : 1) * (std::int64_t{1} << (i % 60));
            columns.push_back(CompactColumn::value(testing::compact_integer(v)));
            expected.push_back(std::to_string(v));
        }
    }
    const Bytes record = testing::build_compact_record({0, columns, std::nullopt});
    ASSERT_EQ(record[1], std::byte{0x80});
    ASSERT_EQ(record[2], std::byte{131});
    auto page = page_of({record});
    EXPECT_EQ(rows(*page, table), Rows{expected});
}

TEST_F(CompactRecordTest, DamagedInputLeavesOutTheValueOrTheRecord) {
    const std::vector<ColumnDescriptor> two = {column(1, "int(4)", kTypeInt), column(2, "varchar(10)", kTypeVarchar)};
    const std::vector<ColumnDescriptor> text = {column(1, "int(4)", kTypeInt), column(2, "nvarchar(10)", kTypeNvarchar)};
    const Bytes ok = bytes_of({0x01, 0x02, 0x22, 0x81, 'a'});
    const Bytes anchor_ci = testing::build_compression_info(
        {testing::build_compact_record({0, {CompactColumn::null(), CompactColumn::value(bytes_of({'a', 'b'}))}, {}}),
         std::vector<Bytes>{bytes_of({0x01, 'z'})}});
    struct Case {
        const char* name;
        std::vector<ColumnDescriptor> table;
        std::optional<Bytes> info;
        Bytes record;
        Rows rows;
    };
    const std::vector<Case> cases = {
        {"code 13", two, {}, bytes_of({0x01, 0x02, 0xD2, 0x81}), {}},
        {"code 15", two, {}, bytes_of({0x01, 0x02, 0x2F, 0x81}), {}},
        {"count 1025", two, {}, bytes_of({0x01, 0x84, 0x01, 0x00}), {}},
        {"count 0", two, {}, bytes_of({0x01, 0x00}), {}},
        {"count above the table's", two, {}, bytes_of({0x01, 0x03, 0x22, 0x00, 0x81, 0x82}), {}},
        {"codes past the record", two, {}, bytes_of({0x01, 0x7F, 0x22}), {}},
        {"long offsets backwards", two, {},
         bytes_of({0x21, 0x02, 0xAA, 0x01, 0x02, 0x00, 0x03, 0x00, 0x01, 0x00, 'a', 'b', 'c'}), {}},
        {"long offset past the page", two, {}, bytes_of({0x21, 0x02, 0xA2, 0x81, 0x01, 0x01, 0x00, 0xFF, 0x7F, 'a'}), {}},
        {"long count unlike the codes", two, {}, bytes_of({0x21, 0x02, 0xA2, 0x81, 0x01, 0x02, 0x00, 0x01, 0x00, 0x01, 0x00, 'a'}), {}},
        {"long values without the region bit", two, {}, bytes_of({0x01, 0x02, 0xA2, 0x81, 0x01, 0x01, 0x00, 0x01, 0x00, 'a'}), {}},
        {"integer longer than its type", two, {}, bytes_of({0x01, 0x02, 0x26, 0x80, 0, 0, 0, 1, 'a'}), {{"", "a"}}},
        {"symbol without a dictionary", two, {}, bytes_of({0x01, 0x02, 0xC2, 0x81, 0x00}), {{"1", ""}}},
        {"symbol past the dictionary", two, anchor_ci, bytes_of({0x01, 0x02, 0xC2, 0x81, 0x05}), {{"1", ""}}},
        {"symbol in the dictionary", two, anchor_ci, bytes_of({0x01, 0x02, 0xC2, 0x81, 0x00}), {{"1", "az"}}},
        {"prefix longer than the anchor value", two, anchor_ci, bytes_of({0x01, 0x02, 0x32, 0x81, 0x03, 'c'}), {{"1", ""}}},
        {"prefix within the anchor value", two, anchor_ci, bytes_of({0x01, 0x02, 0x32, 0x81, 0x02, 'c'}), {{"1", "abc"}}},
        {"compression information past the page", two, bytes_of({0x02, 0x00, 0x00, 0xFF, 0xFF}), ok, {}},
        {"anchor record that is no compact record", two, bytes_of({0x02, 0x00, 0x00, 0x07, 0x00, 0x30, 0x00}), ok, {}},
        {"SCSU reserved tag", text, {}, bytes_of({0x01, 0x02, 0x42, 0x81, 'a', 0x0C, 'b'}), {{"1", "0x610C62"}}},
        {"SCSU cut inside a quoted unit", text, {}, bytes_of({0x01, 0x02, 0x42, 0x81, 'a', 0x0E, 0x4E}), {{"1", "0x610E4E"}}},
    };
    for (const Case& c : cases) {
        auto page = page_of({c.record}, c.info);
        EXPECT_EQ(rows(*page, c.table), c.rows) << c.name;
        // A record after a damaged one reads as usual.
        if (c.info) continue;
        auto two_records = page_of({c.record, ok}, c.info);
        const Rows after = rows(*two_records, c.table);
        ASSERT_FALSE(after.empty()) << c.name;
        EXPECT_EQ(after.back(), (std::vector<std::string>{"1", "a"})) << c.name;
    }
}

// A compact value that cannot be rebuilt is marked damaged; the value beside it is not.
TEST_F(CompactRecordTest, ValuesThatCannotBeRebuiltAreMarked) {
    const std::vector<ColumnDescriptor> two = {column(1, "int(4)", kTypeInt),
                                               column(2, "varchar(10)", kTypeVarchar)};
    const std::vector<ColumnDescriptor> text = {column(1, "int(4)", kTypeInt),
                                                column(2, "nvarchar(10)", kTypeNvarchar)};
    const Bytes anchor_ci = testing::build_compression_info(
        {testing::build_compact_record(
             {0, {CompactColumn::null(), CompactColumn::value(bytes_of({'a', 'b'}))}, {}}),
         std::vector<Bytes>{bytes_of({0x01, 'z'})}});
    constexpr ValueDamage kOk = ValueDamage::kNone;
    constexpr ValueDamage kEntry = ValueDamage::kCompactEntry;
    struct Case {
        const char* name;
        std::vector<ColumnDescriptor> table;
        std::optional<Bytes> info;
        Bytes record;
        std::vector<ValueDamage> marks;
    };
    const std::vector<Case> cases = {
        {"integer longer than its type",
         two,
         {},
         bytes_of({0x01, 0x02, 0x26, 0x80, 0, 0, 0, 1, 'a'}),
         {kEntry, kOk}},
        {"symbol without a dictionary", two, {}, bytes_of({0x01, 0x02, 0xC2, 0x81, 0x00}), {kOk, kEntry}},
        {"symbol past the dictionary",
         two,
         anchor_ci,
         bytes_of({0x01, 0x02, 0xC2, 0x81, 0x05}),
         {kOk, kEntry}},
        {"symbol in the dictionary", two, anchor_ci, bytes_of({0x01, 0x02, 0xC2, 0x81, 0x00}), {kOk, kOk}},
        {"prefix longer than the anchor value",
         two,
         anchor_ci,
         bytes_of({0x01, 0x02, 0x32, 0x81, 0x03, 'c'}),
         {kOk, kEntry}},
        {"SCSU reserved tag", text, {}, bytes_of({0x01, 0x02, 0x42, 0x81, 'a', 0x0C, 'b'}), {kOk, kEntry}},
    };
    for (const Case& c : cases) {
        auto page = page_of({c.record}, c.info);
        std::vector<ColumnDescriptor> table = c.table;
        DecodeContext ctx = make_decode_context(database.db(), large, xml, false);
        const auto decoded = decode_table_page_layout(*page, table, ctx);
        ASSERT_EQ(decoded.size(), 1u) << c.name;
        std::vector<ValueDamage> marks;
        for (const ColumnDescriptor& d : decoded[0]) marks.push_back(d.damage_reason);
        EXPECT_EQ(marks, c.marks) << c.name;
    }
}

// A live row, a deleted one still named by its slot, and one whose slot is gone, on a row-compressed page
// and on a page-compressed one (its compression information before the records, the rows written against
// its anchor and dictionary).
TEST_F(CompactRecordTest, DeletedCompactRecordsShowInTheDeletedModes) {
    const std::vector<ColumnDescriptor> table = {column(1, "int(4)", kTypeInt), column(2, "varchar(10)", kTypeVarchar)};
    auto record = [](int type, std::int64_t id, CompactColumn text) {
        return testing::build_compact_record(
            {type, {CompactColumn::value(testing::compact_integer(id)), std::move(text)}, {}});
    };
    auto text = [](std::string_view s) {
        Bytes b;
        for (char c : s) b.push_back(std::byte{static_cast<std::uint8_t>(c)});
        return b;
    };
    const Bytes info = testing::build_compression_info(
        {testing::build_compact_record(
             {0, {CompactColumn::null(), CompactColumn::value(text("lively"))}, {}}),
         std::vector<Bytes>{text("\x01ost")}});
    struct Case {
        const char* what;
        std::optional<Bytes> info;
        std::vector<Bytes> records;  // live, deleted, deleted without a slot
    };
    const std::vector<Case> cases = {
        {"row-compressed page",
         {},
         {record(0, 1, CompactColumn::value(text("live"))),
          record(6, 2, CompactColumn::value(Bytes(12, std::byte{'g'}))),
          record(6, 3, CompactColumn::value(text("lost")))}},
        {"page-compressed page",
         info,
         {record(0, 1, CompactColumn::value(text("\x04"))),
          record(6, 2, CompactColumn::value(text(std::string_view("\0gggggggggggg", 13)))),
          record(6, 3, CompactColumn::symbol(0))}},
    };
    const Rows all = {{"1", "live"}, {"2", std::string(12, 'g')}, {"3", "lost"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PageAssembler assembler;
        if (c.info) assembler.compression_info(*c.info);
        assembler.add_record(c.records[0]);
        assembler.add_record(c.records[1]);
        assembler.add_unslotted(c.records[2]);
        assembler.ghost_count(1);
        const PageBuffer bytes = assembler.finish();

        CDataPage plain(bytes, database.reopen(ReadOptions{}));
        EXPECT_EQ(rows(plain, table), Rows(all.begin(), all.begin() + 1));
        ReadOptions deleted;
        deleted.show_deleted = true;
        CDataPage with_deleted(bytes, database.reopen(deleted));
        EXPECT_EQ(rows(with_deleted, table), Rows(all.begin(), all.begin() + 2));
        deleted.show_advanced_deleted = true;
        CDataPage with_scan(bytes, database.reopen(deleted));
        EXPECT_EQ(rows(with_scan, table), all);
    }
}

}  // namespace
}  // namespace quenlow
