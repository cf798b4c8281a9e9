#include "engine/values/row_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/catalog/type_codes.h"
#include "engine/values/xml_converter.h"
#include "tests/support/binary_xml_writer.h"
#include "tests/support/record_builder.h"
#include "tests/support/recording_events.h"
#include "tests/support/stored_column.h"

namespace quenlow {
namespace {

using testing::build_record;
using testing::Bytes;
using testing::bytes_of;
using testing::PageAssembler;
using testing::record_status;
using testing::RecordSpec;
using testing::TestDatabase;

using Decoder = std::vector<DecodedRow> (*)(const PrimaryRecordPage&, std::vector<ColumnDescriptor>&,
                                            DecodeContext&);

struct NamedDecoder {
    const char* name;
    Decoder decode;
};

constexpr NamedDecoder kTableLayout{"table layout", &decode_table_page_layout};
constexpr NamedDecoder kTableOffsets{"table offsets", &decode_table_page_offsets};
constexpr NamedDecoder kDefinitionLayout{"definition layout", &decode_definition_page_layout};
constexpr NamedDecoder kDefinitionOffsets{"definition offsets", &decode_definition_page_offsets};
constexpr NamedDecoder kAllDecoders[] = {kTableLayout, kTableOffsets, kDefinitionLayout, kDefinitionOffsets};

template <typename T>
Bytes le(T value) {
    Bytes out(sizeof(T));
    std::memcpy(out.data(), &value, sizeof(T));
    return out;
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes ascii(const std::string& s) {
    Bytes out;
    for (char c : s) out.push_back(static_cast<std::byte>(c));
    return out;
}

Bytes utf16(const std::u16string& s) {
    Bytes out;
    for (char16_t c : s) {
        out.push_back(static_cast<std::byte>(c & 0xFF));
        out.push_back(static_cast<std::byte>(c >> 8));
    }
    return out;
}

// A stored column placed by its physical position.
ColumnDescriptor column(std::int32_t id, const std::string& type_text, std::int32_t type_code,
                        std::int16_t leaf_offset, bool nullable = false) {
    return testing::stored_column(id, type_text, type_code, leaf_offset, nullable);
}

// The key column of a keyed page and one variable column.
std::vector<ColumnDescriptor> keyed_table(std::string type_text, std::int32_t type_code,
                                          bool nullable = false) {
    ColumnDescriptor value = column(2, type_text, type_code, -1, nullable);
    value.variable_length = true;
    return {column(1, "int(4)", kTypeInt, 4), value};
}

std::vector<ValueDamage> damage_of(const DecodedRow& row) {
    std::vector<ValueDamage> out;
    for (const ColumnDescriptor& d : row) {
        EXPECT_EQ(d.value_damaged, d.damage_reason != ValueDamage::kNone) << d.name;
        out.push_back(d.damage_reason);
    }
    return out;
}

std::vector<std::vector<std::string>> texts(const std::vector<DecodedRow>& rows) {
    std::vector<std::vector<std::string>> out;
    for (const DecodedRow& row : rows) {
        out.emplace_back();
        for (const ColumnDescriptor& d : row) out.back().push_back(d.value_text);
    }
    return out;
}

// Answers every large value with a fixed text, or hands its bytes back as one piece, and notes the call.
class FakeLargeValues final : public LargeValueReader {
public:
    struct Call {
        bool text_pointer;
        bool collect;
        LargeValueFlags flags;
    };
    std::vector<Call> calls;

    std::string read_large_value(const LargeValueRequest& request, XmlPieces* pieces) override {
        return answer(request, pieces, false, "ABCD");
    }
    std::string read_through_text_pointer(const LargeValueRequest& request, XmlPieces* pieces) override {
        return answer(request, pieces, true, "0102");
    }
    // Every value read is cut.
    bool cut = false;
    bool last_value_cut() const override { return cut; }

private:
    std::string answer(const LargeValueRequest& request, XmlPieces* pieces, bool text_pointer,
                       const char* text) {
        calls.push_back({text_pointer, pieces != nullptr, request.flags});
        if (pieces == nullptr) return text;
        pieces->emplace_back(request.item.begin(), request.item.end());
        return "collected";
    }
};

class FakeXml final : public XmlConverter {
public:
    std::string convert(XmlPieces pieces) override {
        std::size_t bytes = 0;
        for (const auto& p : pieces) bytes += p.size();
        return "<xml pieces=" + std::to_string(pieces.size()) + " bytes=" + std::to_string(bytes) + "/>";
    }
    std::string convert(ByteSpan) override { return "<xml/>"; }
};

class RowDecoderTest : public ::testing::Test {
protected:
    TestDatabase database{testing::page_images(4, {})};
    FakeLargeValues large;
    FakeXml xml;
    // The decoders serve the first batch of a table.
    bool rows_loading = false;

    std::unique_ptr<CDataPage> page_of(const std::vector<Bytes>& records) {
        PageAssembler page;
        for (const Bytes& r : records) page.add_record(r);
        return std::make_unique<CDataPage>(page.finish(), database.db());
    }
    // The style of the table decoders' texts.
    ValueStyle style = ValueStyle::kDisplay;

    std::vector<DecodedRow> decode(const NamedDecoder& decoder, const CDataPage& page,
                                   std::vector<ColumnDescriptor>& descriptors) {
        DecodeContext ctx = make_decode_context(database.db(), large, xml, rows_loading, style);
        return decoder.decode(page, descriptors, ctx);
    }
    // One record of an int key (1) and the given variable values.
    std::unique_ptr<CDataPage> keyed_page(std::vector<testing::VariableValue> variable) {
        RecordSpec blueprint;
        blueprint.fixed = le<std::int32_t>(1);
        blueprint.column_count = 2;
        blueprint.variable = std::move(variable);
        return page_of({build_record(blueprint)});
    }
    std::vector<std::vector<std::string>> decode_texts(const NamedDecoder& decoder, const CDataPage& page,
                                                       std::vector<ColumnDescriptor> descriptors) {
        return texts(decode(decoder, page, descriptors));
    }
};

// int, char(5), smallint, nvarchar, varbinary, bigint: fixed values one after the other, so every form
// places them alike.
std::vector<ColumnDescriptor> mixed_table() {
    return {column(1, "int(4)", kTypeInt, 4),
            column(2, "char(5)", kTypeChar, 8),
            column(3, "smallint(2)", kTypeSmallint, 13),
            column(4, "nvarchar(40)", kTypeNvarchar, -1),
            column(5, "varbinary(10)", kTypeVarbinary, -2),
            column(6, "bigint(8)", kTypeBigint, 15)};
}

RecordSpec mixed_row(std::int32_t id, const std::u16string& name) {
    RecordSpec blueprint;
    blueprint.fixed =
        concat({le<std::int32_t>(id), ascii("abcde"), le<std::int16_t>(-2), le<std::int64_t>(1234567890123)});
    blueprint.column_count = 6;
    blueprint.variable = {{utf16(name)}, {bytes_of({0x01, 0xAB})}};
    return blueprint;
}

TEST_F(RowDecoderTest, EveryFormDecodesAPlainRow) {
    auto page = page_of({build_record(mixed_row(7, u"h\u00e9")), build_record(mixed_row(-8, u"x"))});
    const std::vector<std::vector<std::string>> expected = {
        {"7", "abcde", "-2", "h\u00e9", "0x01AB", "1234567890123"},
        {"-8", "abcde", "-2", "x", "0x01AB", "1234567890123"}};
    for (const NamedDecoder& decoder : kAllDecoders)
        EXPECT_EQ(decode_texts(decoder, *page, mixed_table()), expected) << decoder.name;
}

// Rows written before columns were added to the table: a record of five int columns and one of seven,
// both with and without a null bitmap.
TEST_F(RowDecoderTest, ColumnsARecordDoesNotReach) {
    std::vector<ColumnDescriptor> table;
    for (int i = 1; i <= 7; ++i)
        table.push_back(column(i, "int(4)", kTypeInt, static_cast<std::int16_t>(4 * i), true));
    table[5].value_text = "before6";
    table[6].value_text = "before7";
    auto row = [](std::uint16_t columns, int base, bool null_bitmap, int fixed_values = 0) {
        RecordSpec blueprint;
        for (int i = 1; i <= std::max<int>(columns, fixed_values); ++i) {
            Bytes v = le<std::int32_t>(base + i);
            blueprint.fixed.insert(blueprint.fixed.end(), v.begin(), v.end());
        }
        blueprint.column_count = columns;
        blueprint.status_a = record_status(0, null_bitmap, false);
        return build_record(blueprint);
    };
    const std::vector<std::string> full = {"11", "12", "13", "14", "15", "16", "17"};
    const std::vector<std::string> short_row = {"21", "22", "23", "24", "25", "NULL", "NULL"};
    for (bool null_bitmap : {true, false}) {
        auto page = page_of({row(7, 10, null_bitmap), row(5, 20, null_bitmap)});
        // The table forms place the added columns by their null bit, or without one (the SQL Server
        // 2000 layout) by their place among the stored columns; never the previous row's values.
        for (bool by_null_bit : {true, false}) {
            std::vector<ColumnDescriptor> descriptors = table;
            if (!by_null_bit)
                for (auto& d : descriptors) d.null_bit = -1;
            for (const NamedDecoder& decoder : {kTableLayout, kTableOffsets})
                EXPECT_EQ(decode_texts(decoder, *page, descriptors),
                          (std::vector<std::vector<std::string>>{full, short_row}))
                    << decoder.name << " null bitmap " << null_bitmap << " by null bit " << by_null_bit;
        }
    }
    // The definition forms are unchanged: the layout form decodes the columns the record counts and leaves
    // the others as they were; the offset form goes through every descriptor, reads one more column while
    // the handled count has not passed the column count, and empties the columns after that.
    auto page = page_of({row(5, 0, true, 7)});
    EXPECT_EQ(decode_texts(kDefinitionLayout, *page, table),
              (std::vector<std::vector<std::string>>{{"1", "2", "3", "4", "5", "before6", "before7"}}));
    EXPECT_EQ(decode_texts(kDefinitionOffsets, *page, table),
              (std::vector<std::vector<std::string>>{{"1", "2", "3", "4", "5", "6", ""}}));
}

TEST_F(RowDecoderTest, UnstoredColumnKeepsItsDefinitionText) {
    std::vector<ColumnDescriptor> table = mixed_table();
    ColumnDescriptor computed = make_column_descriptor("total", "int(4)", kTypeInt);
    computed.physical_column_id = -99;
    computed.value_text = "([a]+[b])";
    table.insert(table.begin() + 2, computed);
    auto page = page_of({build_record(mixed_row(1, u"a")), build_record(mixed_row(2, u"b"))});
    for (const NamedDecoder& decoder : kAllDecoders) {
        auto rows = decode_texts(decoder, *page, table);
        ASSERT_EQ(rows.size(), 2u) << decoder.name;
        for (const auto& row : rows) {
            EXPECT_EQ(row[2], "([a]+[b])") << decoder.name;
            // The columns after it are still in place.
            EXPECT_EQ(row[3], "-2") << decoder.name;
            EXPECT_EQ(row[5], "0x01AB") << decoder.name;
        }
    }
    // The table forms count the record's six columns against the stored columns and reach the last one.
    for (const NamedDecoder& decoder : {kTableLayout, kTableOffsets}) {
        for (const auto& row : decode_texts(decoder, *page, table)) {
            EXPECT_EQ(row[6], "1234567890123") << decoder.name;
        }
    }
}

TEST_F(RowDecoderTest, BitColumnsShareBytesLowestBitFirst) {
    // Nine bit columns: the first eight in byte 0, the ninth in byte 1; then an int.
    std::vector<ColumnDescriptor> table;
    for (int i = 1; i <= 9; ++i) table.push_back(column(i, "bit(1)", kTypeBit, i <= 8 ? 4 : 5));
    table.push_back(column(10, "int(4)", kTypeInt, 6));
    RecordSpec blueprint;
    blueprint.fixed = concat({bytes_of({0xA5, 0x01}), le<std::int32_t>(42)});
    blueprint.column_count = 10;
    blueprint.status_a = record_status(0, true, false);
    auto page = page_of({build_record(blueprint)});
    const std::vector<std::string> expected = {"True", "False", "True", "False", "False",
                                               "True", "False", "True", "True",  "42"};
    for (const NamedDecoder& decoder : kAllDecoders) {
        auto rows = decode_texts(decoder, *page, table);
        ASSERT_EQ(rows.size(), 1u) << decoder.name;
        EXPECT_EQ(rows[0], expected) << decoder.name;
    }
}

TEST_F(RowDecoderTest, NullBySetting) {
    // A NULL int (stored bytes 0), a NULL nullable varchar, a NULL varchar that is not nullable, and an
    // int whose position is not known. The table forms show every NULL as "NULL" (the offset form does
    // not consult the position flag); the definition forms never do.
    std::vector<ColumnDescriptor> table = {
        column(1, "int(4)", kTypeInt, 4, true), column(2, "varchar(10)", kTypeVarchar, -1, true),
        column(3, "varchar(10)", kTypeVarchar, -2, false), column(4, "int(4)", kTypeInt, 8, true)};
    table[3].physical_position_known = false;
    RecordSpec blueprint;
    blueprint.fixed = concat({le<std::int32_t>(0), le<std::int32_t>(9)});
    blueprint.column_count = 4;
    blueprint.null_bitmap = bytes_of({0x07});
    blueprint.variable = {{Bytes{}}, {Bytes{}}};
    auto page = page_of({build_record(blueprint)});
    const struct {
        NamedDecoder decoder;
        std::vector<std::string> expected;
    } cases[] = {
        {kTableLayout, {"NULL", "NULL", "NULL", "NULL"}},
        {kTableOffsets, {"NULL", "NULL", "NULL", "9"}},
        {kDefinitionLayout, {"0", "", "", "9"}},
        // The definition offset form skips the bytes of a NULL fixed value.
        {kDefinitionOffsets, {"", "", "", "9"}},
    };
    for (const auto& c : cases) {
        auto rows = decode_texts(c.decoder, *page, table);
        ASSERT_EQ(rows.size(), 1u) << c.decoder.name;
        EXPECT_EQ(rows[0], c.expected) << c.decoder.name;
    }
}

TEST_F(RowDecoderTest, NullBitUnsetFallsBackToPhysicalColumnId) {
    std::vector<ColumnDescriptor> table = {column(1, "int(4)", kTypeInt, 4), column(2, "int(4)", kTypeInt, 8),
                                           column(3, "int(4)", kTypeInt, 12)};
    for (auto& d : table) d.null_bit = -1;
    RecordSpec blueprint;
    blueprint.fixed = concat({le<std::int32_t>(1), le<std::int32_t>(2), le<std::int32_t>(3)});
    blueprint.column_count = 3;
    blueprint.null_bitmap = bytes_of({0x04});  // bit 2: physical column 3, or the third column handled
    blueprint.status_a = record_status(0, true, false);
    auto page = page_of({build_record(blueprint)});
    EXPECT_EQ(decode_texts(kTableLayout, *page, table),
              (std::vector<std::vector<std::string>>{{"1", "2", "NULL"}}));
    // Physical column 2 names bit 1 (clear) although it is the third column handled.
    table[2].physical_column_id = 2;
    EXPECT_EQ(decode_texts(kTableLayout, *page, table),
              (std::vector<std::vector<std::string>>{{"1", "2", "3"}}));
}

TEST_F(RowDecoderTest, EmptyVarbinaryShowsPrefixOnly) {
    const auto table = keyed_table("varbinary(10)", kTypeVarbinary, true);
    auto page = keyed_page({{Bytes{}}, {ascii("x")}});
    for (const NamedDecoder& decoder : {kTableLayout, kTableOffsets, kDefinitionLayout})
        EXPECT_EQ(decode_texts(decoder, *page, table), (std::vector<std::vector<std::string>>{{"1", "0x"}}))
            << decoder.name;
    EXPECT_EQ(decode_texts(kDefinitionOffsets, *page, table),
              (std::vector<std::vector<std::string>>{{"1", ""}}));
}

TEST_F(RowDecoderTest, OffsetFormLeavesOutRowsWithEmptyFirstColumn) {
    std::vector<ColumnDescriptor> table = {column(1, "varchar(10)", kTypeVarchar, -1),
                                           column(2, "int(4)", kTypeInt, 4)};
    auto row = [](const std::string& name, std::int32_t n) {
        RecordSpec blueprint;
        blueprint.fixed = le<std::int32_t>(n);
        blueprint.column_count = 2;
        blueprint.variable = {{ascii(name)}};
        return build_record(blueprint);
    };
    auto page = page_of({row("", 1), row("kept", 2), row("", 3)});
    EXPECT_EQ(decode_texts(kTableOffsets, *page, table),
              (std::vector<std::vector<std::string>>{{"kept", "2"}}));
    EXPECT_EQ(decode_texts(kTableLayout, *page, table).size(), 3u);
    EXPECT_EQ(decode_texts(kDefinitionOffsets, *page, table).size(), 3u);
    // A nullable first column shows "NULL" and keeps the row.
    table[0].nullable = true;
    EXPECT_EQ(decode_texts(kTableOffsets, *page, table).size(), 3u);
}

TEST_F(RowDecoderTest, PhysicalColumnIdRewriteIsKept) {
    std::vector<ColumnDescriptor> table = {column(1, "int(4)", kTypeInt, 4),
                                           column(2, "int(4)", kTypeInt, 8)};
    table[1].physical_column_id = 9;  // beyond the record's two columns
    RecordSpec blueprint;
    blueprint.fixed = concat({le<std::int32_t>(1), le<std::int32_t>(2)});
    blueprint.column_count = 2;
    blueprint.status_a = record_status(0, true, false);
    auto page = page_of({build_record(blueprint), build_record(blueprint)});
    for (const NamedDecoder& decoder : {kTableLayout, kTableOffsets, kDefinitionLayout}) {
        std::vector<ColumnDescriptor> descriptors = table;
        auto rows = decode(decoder, *page, descriptors);
        EXPECT_EQ(descriptors[1].physical_column_id, 2) << decoder.name;
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[0][1].physical_column_id, 2) << decoder.name;
        EXPECT_EQ(rows[0][1].value_text, "2") << decoder.name;
    }
}

TEST_F(RowDecoderTest, SparseColumnsComeFromTheSparseVector) {
    std::vector<ColumnDescriptor> table = {column(1, "int(4)", kTypeInt, 4),
                                           column(2, "int(4)", kTypeInt, 0, true),
                                           column(3, "nvarchar(20)", kTypeNvarchar, 0, true)};
    table[1].sparse = table[2].sparse = true;
    RecordSpec blueprint;
    blueprint.fixed = le<std::int32_t>(1);
    blueprint.column_count = 3;
    blueprint.variable = {{testing::sparse_vector({{2, le<std::int32_t>(5)}, {3, utf16(u"sp")}}), true}};
    auto page = page_of({build_record(blueprint)});
    for (const NamedDecoder& decoder : kAllDecoders)
        EXPECT_EQ(decode_texts(decoder, *page, table),
                  (std::vector<std::vector<std::string>>{{"1", "5", "sp"}}))
            << decoder.name;
    // The sparse vector is one column of the record, however many sparse columns it holds: a record of
    // two columns still reaches both sparse columns in the table forms.
    blueprint.column_count = 2;
    page = page_of({build_record(blueprint)});
    for (const NamedDecoder& decoder : {kTableLayout, kTableOffsets})
        EXPECT_EQ(decode_texts(decoder, *page, table),
                  (std::vector<std::vector<std::string>>{{"1", "5", "sp"}}))
            << decoder.name;
}

// A table of an int key and one large column whose value is the given complex item.
struct LargeCase {
    const char* what;
    NamedDecoder decoder;
    bool rows_loading;
    std::int32_t type_code;
    Bytes item;
    std::string expected;
    int reads;
};

Bytes root(int kind) {
    Bytes item(24, std::byte{0});
    item[0] = static_cast<std::byte>(kind);
    item[12] = std::byte{0x10};  // one pointer of size 16
    return item;
}

Bytes text_pointer() {
    Bytes item(16, std::byte{0});
    item[8] = std::byte{3};  // page 3, file 1, slot 0
    item[12] = std::byte{1};
    return item;
}

TEST_F(RowDecoderTest, ValuesStoredElsewhere) {
    const std::string xml_root = "<xml pieces=1 bytes=24/>";
    const std::string xml_pointer = "<xml pieces=1 bytes=16/>";
    const LargeCase cases[] = {
        {"in-row root while loading", kTableLayout, true, kTypeVarbinary, root(2), "0xABCD", 1},
        {"in-row root, offsets", kTableOffsets, true, kTypeVarbinary, root(2), "0xABCD", 1},
        {"large root while loading", kTableLayout, true, kTypeVarbinary, root(4), "<BIG BINARY DATA>", 0},
        {"large root while loading, offsets", kTableOffsets, true, kTypeVarbinary, root(4),
         "<BIG BINARY DATA>", 0},
        {"large root when paging", kTableLayout, false, kTypeVarbinary, root(4), "0xABCD", 1},
        {"large root in a definition", kDefinitionLayout, true, kTypeVarbinary, root(4), "0xABCD", 1},
        {"large root of text", kTableLayout, false, kTypeText, root(4), "ABCD", 1},
        {"unknown kind", kTableLayout, false, kTypeVarbinary, root(3), "0x", 0},
        {"image pointer while loading", kTableLayout, true, kTypeImage, text_pointer(), "<BINARY DATA>", 0},
        {"image pointer when paging", kTableLayout, false, kTypeImage, text_pointer(), "0x0102", 1},
        {"image pointer when paging, offsets", kTableOffsets, false, kTypeImage, text_pointer(), "0x0102", 1},
        {"image pointer in a definition", kDefinitionOffsets, true, kTypeImage, text_pointer(), "0x0102", 1},
        {"text pointer when paging", kTableLayout, false, kTypeText, text_pointer(), "0102", 1},
        {"xml in-row root", kTableLayout, true, kTypeXml, root(2), xml_root, 1},
        {"xml large root while loading", kTableLayout, true, kTypeXml, root(4), xml_root, 1},
        {"xml large root while loading, offsets", kTableOffsets, true, kTypeXml, root(4), "<BIG BINARY DATA>",
         0},
        {"xml pointer while loading", kTableLayout, true, kTypeXml, text_pointer(), xml_pointer, 1},
        {"xml in a definition, not converted", kDefinitionOffsets, true, kTypeXml, root(2), "collected", 1},
    };
    for (const LargeCase& c : cases) {
        large.calls.clear();
        rows_loading = c.rows_loading;
        const std::string type_text = c.type_code == kTypeXml ? "xml(-1)" : "varbinary(-1)";
        auto page = keyed_page({{c.item, true}});
        auto rows = decode_texts(c.decoder, *page, keyed_table(type_text, c.type_code));
        ASSERT_EQ(rows.size(), 1u) << c.what;
        EXPECT_EQ(rows[0][1], c.expected) << c.what;
        EXPECT_EQ(static_cast<int>(large.calls.size()), c.reads) << c.what;
        for (const auto& call : large.calls) EXPECT_EQ(call.collect, c.type_code == kTypeXml) << c.what;
    }
}

// An xml value held in the record goes through the converter: its text, or one blank and a log line
// naming the value when it cannot be decoded.
TEST_F(RowDecoderTest, XmlHeldInTheRecord) {
    testing::BinaryXmlWriter w;
    w.element(w.qname("r")).nvarchar("x").end_element();
    Bytes damaged = w.bytes();
    damaged.pop_back();
    testing::RecordingEvents events;
    BinaryXmlConverter converter(&events);
    converter.set_table("T");
    const auto decode_value = [&](const Bytes& value, const NamedDecoder& decoder) {
        auto page = keyed_page({{value}});
        auto descriptors = keyed_table("xml(-1)", kTypeXml);
        DecodeContext ctx = make_decode_context(database.db(), large, converter);
        return texts(decoder.decode(*page, descriptors, ctx));
    };
    using Rows = std::vector<std::vector<std::string>>;
    for (const NamedDecoder& decoder : kAllDecoders) {
        events.clear();
        EXPECT_EQ(decode_value(w.bytes(), decoder), (Rows{{"1", "<r>x</r>"}})) << decoder.name;
        EXPECT_TRUE(events.log_lines().empty()) << decoder.name;
        EXPECT_EQ(decode_value(damaged, decoder), (Rows{{"1", " "}})) << decoder.name;
        ASSERT_EQ(events.log_lines().size(), 1u) << decoder.name;
        const std::string line = events.log_lines()[0];
        EXPECT_TRUE(line.starts_with("XML value of table T, page 1:")) << line;
        EXPECT_TRUE(line.ends_with(
            " slot 0, column c2 cannot be decoded: value ends too early at byte 19 of 19; shown empty."))
            << line;
        // The refused value is marked.
        auto page = keyed_page({{damaged}});
        auto descriptors = keyed_table("xml(-1)", kTypeXml);
        DecodeContext ctx = make_decode_context(database.db(), large, converter);
        const auto rows = decoder.decode(*page, descriptors, ctx);
        ASSERT_EQ(rows.size(), 1u) << decoder.name;
        EXPECT_EQ(damage_of(rows[0]),
                  (std::vector<ValueDamage>{ValueDamage::kNone, ValueDamage::kXmlRefused}))
            << decoder.name;
    }
}

TEST_F(RowDecoderTest, LargeValueFlagsFollowTheType) {
    const struct {
        std::int32_t type_code;
        LargeValueFlags flags;
    } cases[] = {{kTypeVarbinary, {true, false, false}}, {kTypeImage, {true, false, false}},
                 {kTypeClr, {true, false, false}},       {kTypeSqlVariant, {false, true, false}},
                 {kTypeNvarchar, {false, false, true}},  {kTypeNtext, {false, false, true}},
                 {kTypeText, {false, false, false}},     {kTypeVarchar, {false, false, false}}};
    for (const auto& c : cases) {
        large.calls.clear();
        auto page = keyed_page({{text_pointer(), true}});
        decode_texts(kTableLayout, *page, keyed_table("x(-1)", c.type_code));
        ASSERT_EQ(large.calls.size(), 1u) << c.type_code;
        EXPECT_TRUE(large.calls[0].text_pointer);
        EXPECT_EQ(large.calls[0].flags.binary, c.flags.binary) << c.type_code;
        EXPECT_EQ(large.calls[0].flags.variant, c.flags.variant) << c.type_code;
        EXPECT_EQ(large.calls[0].flags.unicode, c.flags.unicode) << c.type_code;
    }
}

TEST_F(RowDecoderTest, ComplexValueWithoutBytesLeavesTheColumnAlone) {
    auto table = keyed_table("varbinary(-1)", kTypeVarbinary, true);
    table[1].value_text = "before";
    auto page = keyed_page({{Bytes{}, true}});
    for (const NamedDecoder& decoder : kAllDecoders)
        EXPECT_EQ(decode_texts(decoder, *page, table),
                  (std::vector<std::vector<std::string>>{{"1", "before"}}))
            << decoder.name;
}

TEST_F(RowDecoderTest, SqlVariantByBaseTypeExceptInDefinitionOffsets) {
    const auto table = keyed_table("sql_variant(8016)", kTypeSqlVariant);
    auto page = keyed_page({{concat({bytes_of({56, 1}), le<std::int32_t>(42)})}});
    EXPECT_EQ(decode_texts(kTableLayout, *page, table)[0][1], "42");
    EXPECT_EQ(decode_texts(kTableOffsets, *page, table)[0][1], "42");
    // As a plain value the six bytes are too short for the variant header: nothing to show.
    EXPECT_EQ(decode_texts(kDefinitionOffsets, *page, table)[0][1], "");
}

// SQL Server 2000 layout: fixed values placed by the second offset, variable values that are empty
// replaced by the item the second offset names.
TEST_F(RowDecoderTest, Sql2000SecondOffsets) {
    database.state().sql2000_layout = true;
    auto col = [](std::int32_t id, const char* type, std::int32_t code, std::int16_t leaf,
                  std::int16_t second) {
        ColumnDescriptor d = column(id, type, code, leaf, true);
        d.second_offset = second;
        return d;
    };
    std::vector<ColumnDescriptor> table = {
        col(1, "int(4)", kTypeInt, 0, 8),             // at second offset 8: the second int
        col(2, "int(4)", kTypeInt, 0, 2),             // second offset below 4: at the fixed position (4)
        col(3, "smallint(2)", kTypeSmallint, -1, 4),  // negative leaf offset: at second offset 4
        col(4, "int(4)", kTypeInt, 0, 50),            // beyond the fixed part: at the fixed position, past F
        col(5, "varchar(9)", kTypeVarchar, 0, -2),    // item 0 empty: item 1 instead
        col(6, "varchar(9)", kTypeVarchar, 0, 0),     // follows on from item 1
    };
    RecordSpec blueprint;
    blueprint.fixed = concat({le<std::int32_t>(11), le<std::int32_t>(22), le<std::int16_t>(33)});
    blueprint.column_count = 6;
    blueprint.variable = {{Bytes{}}, {ascii("xyz")}, {ascii("last")}};
    auto page = page_of({build_record(blueprint)});
    EXPECT_EQ(decode_texts(kTableOffsets, *page, table),
              (std::vector<std::vector<std::string>>{{"22", "22", "11", "NULL", "xyz", "last"}}));
}

TEST_F(RowDecoderTest, OffsetFormReadsNegativeLeafOffsetFromTheStart) {
    // Without the SQL Server 2000 layout a fixed column with leaf offset -1 starts at the first byte.
    std::vector<ColumnDescriptor> table = {column(1, "int(4)", kTypeInt, 8),
                                           column(2, "int(4)", kTypeInt, -1)};
    RecordSpec blueprint;
    blueprint.fixed = concat({le<std::int32_t>(11), le<std::int32_t>(22)});
    blueprint.column_count = 2;
    blueprint.status_a = record_status(0, true, false);
    auto page = page_of({build_record(blueprint)});
    EXPECT_EQ(decode_texts(kTableOffsets, *page, table),
              (std::vector<std::vector<std::string>>{{"22", "11"}}));
}

TEST_F(RowDecoderTest, Sql2000DefinitionRowsAreReadAsTenColumns) {
    std::vector<ColumnDescriptor> table;
    for (int i = 1; i <= 4; ++i) table.push_back(column(i, "int(4)", kTypeInt, 0));
    table[3].value_text = "before";
    RecordSpec blueprint;
    blueprint.fixed = concat({le<std::int32_t>(1), le<std::int32_t>(2), le<std::int32_t>(3), le<std::int32_t>(4)});
    blueprint.column_count = 2;
    blueprint.status_a = record_status(0, true, false);
    auto page = page_of({build_record(blueprint)});
    EXPECT_EQ(decode_texts(kDefinitionOffsets, *page, table),
              (std::vector<std::vector<std::string>>{{"1", "2", "3", ""}}));
    database.state().sql2000_layout = true;
    EXPECT_EQ(decode_texts(kDefinitionOffsets, *page, table),
              (std::vector<std::vector<std::string>>{{"1", "2", "3", "4"}}));
}

TEST_F(RowDecoderTest, RecordsSkippedByDecoder) {
    // A live row, a deleted row (type 6: refused while deleted rows are hidden), an index record, a
    // large-value fragment and a slot that names nothing.
    auto typed = [](int type, std::int32_t id) {
        RecordSpec blueprint = mixed_row(id, u"r");
        blueprint.status_a = record_status(type);
        return build_record(blueprint);
    };
    PageAssembler assembler;
    assembler.add_record(typed(kRecordPrimary, 1));
    assembler.add_record(typed(kRecordDeletedData, 2));
    assembler.add_record(typed(kRecordIndex, 3));
    assembler.add_record(typed(kRecordLargeFragment, 4));
    assembler.add_slot(40);
    auto first_texts = [&](const NamedDecoder& d) {
        CDataPage page(assembler.finish(), database.db());
        std::vector<std::string> out;
        for (const auto& row : decode_texts(d, page, mixed_table())) out.push_back(row[0]);
        return out;
    };
    EXPECT_EQ(first_texts(kTableLayout), (std::vector<std::string>{"1"}));
    EXPECT_EQ(first_texts(kTableOffsets), (std::vector<std::string>{"1"}));
    EXPECT_EQ(first_texts(kDefinitionLayout), (std::vector<std::string>{"1"}));
    // The definition offset form also decodes refused records; they hold nothing to read.
    EXPECT_EQ(first_texts(kDefinitionOffsets), (std::vector<std::string>{"1", "", ""}));

    database.reopen({.show_deleted = true});
    EXPECT_EQ(first_texts(kTableLayout), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(first_texts(kDefinitionOffsets), (std::vector<std::string>{"1", "2", ""}));
}

// Two databases open at once on the same file and the same engine state, one showing deleted records:
// each page decodes by the choice of its own database, whichever was opened last.
TEST_F(RowDecoderTest, DatabasesOpenAtOnceKeepTheirOwnDeletedRecordChoice) {
    RecordSpec deleted = mixed_row(2, u"gone");
    deleted.status_a = record_status(kRecordDeletedData);
    PageAssembler assembler;
    assembler.add_record(build_record(mixed_row(1, u"live")));
    assembler.add_record(build_record(deleted));
    OpenedDatabase& hiding = database.db();
    OpenedDatabase& showing = database.reopen({.show_deleted = true});
    auto first_texts = [&](OpenedDatabase& db, const NamedDecoder& decoder) {
        CDataPage page(assembler.finish(), db);
        DecodeContext ctx = make_decode_context(db, large, xml);
        std::vector<ColumnDescriptor> descriptors = mixed_table();
        std::vector<std::string> out;
        for (const auto& row : decoder.decode(page, descriptors, ctx)) out.push_back(row[0].value_text);
        return out;
    };
    for (const NamedDecoder& decoder : {kTableLayout, kTableOffsets}) {
        EXPECT_EQ(first_texts(hiding, decoder), (std::vector<std::string>{"1"})) << decoder.name;
        EXPECT_EQ(first_texts(showing, decoder), (std::vector<std::string>{"1", "2"})) << decoder.name;
        EXPECT_EQ(first_texts(hiding, decoder), (std::vector<std::string>{"1"})) << decoder.name;
    }
}

// A moved row: page 2 holds row 1 and a stub to page 3 slot 1; page 3 holds row 2 and the moved row 3,
// whose back pointer names the stub. The moved row is shown once, through its stub.
TEST_F(RowDecoderTest, MovedRowIsShownOnce) {
    auto back_pointer = [](std::int32_t page_id, std::int16_t slot) {
        return testing::VariableValue{
            concat({le<std::uint16_t>(0x0400), le<std::int32_t>(page_id), le<std::uint16_t>(1), le(slot)}),
            true};
    };
    auto moved = [&](std::int32_t stub_page, std::int16_t stub_slot) {
        RecordSpec blueprint = mixed_row(3, u"moved");
        blueprint.status_a = record_status(kRecordForwarded);
        blueprint.variable.push_back(back_pointer(stub_page, stub_slot));
        return build_record(blueprint);
    };
    auto pages = [&](PageAddress stub_target, Bytes moved_row) {
        PageAssembler two(1, 2);
        two.add_record(build_record(mixed_row(1, u"a")));
        two.add_record(testing::forwarding_stub(stub_target, 1));
        PageAssembler three(1, 3);
        three.add_record(build_record(mixed_row(2, u"b")));
        three.add_record(moved_row);
        return testing::page_images(6, {{2, two.finish()}, {3, three.finish()}});
    };
    struct Case {
        const char* what;
        PageAddress stub_target;
        Bytes moved_row;
        std::vector<std::string> expected;  // first column of the rows of page 2, then of page 3
    };
    const Case cases[] = {
        {"stub and back pointer agree", {1, 3}, moved(2, 1), {"1", "3", "2"}},
        // No stub leads to the moved row: it is shown at its own place.
        {"back pointer names a plain row", {1, 3}, moved(2, 0), {"1", "3", "2", "3"}},
        {"back pointer names an unreadable page", {1, 3}, moved(500, 1), {"1", "3", "2", "3"}},
        // A stub that cannot be followed holds no row; the moved row is still shown where it is.
        {"stub names a missing page", {1, 5}, moved(2, 1), {"1", "2", "3"}},
    };
    for (const Case& c : cases) {
        TestDatabase db(pages(c.stub_target, c.moved_row));
        for (const NamedDecoder& decoder : {kTableLayout, kTableOffsets}) {
            std::vector<std::string> first;
            for (std::int32_t page_id : {2, 3}) {
                CDataPage page(*db.db().read_raw_page({1, page_id}), db.db());
                DecodeContext ctx = make_decode_context(db.db(), large, xml);
                std::vector<ColumnDescriptor> descriptors = mixed_table();
                for (const DecodedRow& row : decoder.decode(page, descriptors, ctx))
                    first.push_back(row[0].value_text);
            }
            EXPECT_EQ(first, c.expected) << c.what << ", " << decoder.name;
        }
    }
}

TEST_F(RowDecoderTest, StopFlagEndsTheRecordLoop) {
    auto page = page_of({build_record(mixed_row(1, u"a")), build_record(mixed_row(2, u"b"))});
    database.state().stop = true;
    for (const NamedDecoder& decoder : kAllDecoders)
        EXPECT_TRUE(decode_texts(decoder, *page, mixed_table()).empty());
    database.state().stop = false;
}

TEST_F(RowDecoderTest, DamagedRecordsGiveEmptyTextsNotReads) {
    // A fixed part shorter than its columns, end offsets out of order, bit columns past the fixed part.
    std::vector<ColumnDescriptor> table = {
        column(1, "int(4)", kTypeInt, 4), column(2, "bigint(8)", kTypeBigint, 6),
        column(3, "varchar(9)", kTypeVarchar, -1), column(4, "varbinary(9)", kTypeVarbinary, -2),
        column(5, "bit(1)", kTypeBit, 30)};
    RecordSpec blueprint;
    blueprint.fixed = le<std::int32_t>(77);
    blueprint.column_count = 5;
    blueprint.variable = {{ascii("abc")}, {ascii("de")}};
    Bytes record = build_record(blueprint);
    // Second end offset before the first.
    const std::size_t ends = 4 + 4 + 2 + 1 + 2;
    testing::put_u16(record, ends + 2, 5);
    auto page = page_of({record, build_record(mixed_row(5, u"x"))});
    const std::vector<std::string> expected = {"77", "", "abc", "0x", ""};
    // The values that could not be read are marked; the whole record after them has no mark.
    constexpr ValueDamage kOk = ValueDamage::kNone;
    constexpr ValueDamage kOut = ValueDamage::kOutsideRecord;
    const std::vector<ValueDamage> marks = {kOk, kOut, kOk, kOut, kOut};
    for (const NamedDecoder& decoder : {kTableLayout, kDefinitionLayout}) {
        auto descriptors = table;
        const auto rows = decode(decoder, *page, descriptors);
        ASSERT_EQ(rows.size(), 2u) << decoder.name;
        EXPECT_EQ(texts(rows)[0], expected) << decoder.name;
        EXPECT_EQ(damage_of(rows[0]), marks) << decoder.name;
        EXPECT_EQ(damage_of(rows[1]), std::vector<ValueDamage>(5, kOk)) << decoder.name;
    }
}

// Values the record says are there but that cannot be decoded carry a mark and the slot of their
// record; the texts are the ones shown without it. NULL and empty values carry none.
TEST_F(RowDecoderTest, ValuesThatCannotBeDecodedAreMarked) {
    constexpr ValueDamage kOk = ValueDamage::kNone;
    ColumnDescriptor date = column(2, "date(3)", kTypeDate, 8);
    ColumnDescriptor text = column(3, "varchar(10)", kTypeVarchar, -1, true);
    text.variable_length = true;
    ColumnDescriptor large_text = column(4, "varchar(-1)", kTypeVarchar, -2, true);
    large_text.variable_length = true;
    const std::vector<ColumnDescriptor> table = {column(1, "int(4)", kTypeInt, 4), date, text, large_text};
    const auto row = [](Bytes date_bytes, std::vector<testing::VariableValue> variable,
                        std::uint8_t nulls = 0, int shift = 0) {
        RecordSpec blueprint;
        blueprint.fixed = concat({le<std::int32_t>(1), std::move(date_bytes)});
        blueprint.column_count = 4;
        blueprint.null_bitmap = bytes_of({nulls});
        blueprint.variable = std::move(variable);
        blueprint.end_offset_shift = shift;
        return build_record(blueprint);
    };
    const Bytes day = bytes_of({0xA1, 0xC3, 0x09});        // 1753-01-01
    const Bytes past_9999 = bytes_of({0xFF, 0xFF, 0xFF});  // no date
    const struct {
        const char* what;
        Bytes record;
        bool cut;
        std::vector<std::string> texts;  // the display texts, table layout
        std::vector<ValueDamage> marks;
    } cases[] = {
        {"whole",
         row(day, {{ascii("ab")}, {root(2), true}}),
         false,
         {"1", "1753-01-01", "ab", "ABCD"},
         {kOk, kOk, kOk, kOk}},
        {"NULL and empty values",
         row(past_9999, {{Bytes{}}, {Bytes{}}}, 0x0A),
         false,
         {"1", "NULL", "", "NULL"},
         {kOk, kOk, kOk, kOk}},
        {"date out of range",
         row(past_9999, {{ascii("ab")}, {root(2), true}}),
         false,
         {"1", " ", "ab", "ABCD"},
         {kOk, ValueDamage::kInvalidBytes, kOk, kOk}},
        {"trailing empty value left out of the record",
         row(day, {{ascii("ab")}}),
         false,
         {"1", "1753-01-01", "ab", ""},
         {kOk, kOk, kOk, kOk}},
        {"end offset past the record",
         row(day, {{ascii("ab")}}, 0, 9000),
         false,
         {"1", "1753-01-01", "", ""},
         {kOk, kOk, ValueDamage::kOutsideRecord, kOk}},
        {"large value cut",
         row(day, {{ascii("ab")}, {root(2), true}}),
         true,
         {"1", "1753-01-01", "ab", "ABCD"},
         {kOk, kOk, kOk, ValueDamage::kLargeValueCut}},
        {"complex value of an unknown kind",
         row(day, {{ascii("ab")}, {root(3), true}}),
         false,
         {"1", "1753-01-01", "ab", ""},
         {kOk, kOk, kOk, ValueDamage::kInvalidBytes}},
    };
    for (const auto& c : cases) {
        large.cut = c.cut;
        auto page = page_of({build_record(mixed_row(9, u"first")), c.record});
        for (const NamedDecoder& decoder : {kTableLayout, kTableOffsets}) {
            for (ValueStyle s : {ValueStyle::kDisplay, ValueStyle::kExport}) {
                style = s;
                auto descriptors = table;
                const auto rows = decode(decoder, *page, descriptors);
                ASSERT_EQ(rows.size(), 2u) << c.what << ", " << decoder.name;
                EXPECT_EQ(damage_of(rows[1]), c.marks) << c.what << ", " << decoder.name;
                for (const ColumnDescriptor& d : rows[1]) {
                    if (!d.value_damaged) continue;
                    EXPECT_EQ(d.damage_slot, 1) << c.what << ", " << decoder.name;
                    // Exported, a damaged value is empty.
                    if (s == ValueStyle::kExport) {
                        EXPECT_EQ(d.value_text, "") << c.what << ", " << decoder.name;
                    }
                }
                if (s == ValueStyle::kDisplay && decoder.decode == kTableLayout.decode) {
                    EXPECT_EQ(texts(rows)[1], c.texts) << c.what;
                }
            }
        }
    }
    large.cut = false;
    style = ValueStyle::kDisplay;
}

TEST_F(RowDecoderTest, MutatedPagesDecodeWithinTheirRecords) {
    // Random damage to the records of a page: every form still decodes without reading outside a record
    // (the sanitizer build checks that), and the rows of untouched records stay as they were.
    std::vector<Bytes> records;
    for (int i = 0; i < 4; ++i) records.push_back(build_record(mixed_row(i, u"name")));
    database.reopen({.show_deleted = true});
    for (std::uint32_t seed = 1; seed <= 200; ++seed) {
        std::vector<Bytes> damaged = records;
        Bytes noise = testing::random_bytes(8, seed);
        Bytes& victim = damaged[seed % 2];  // records 0 or 1; records 2 and 3 stay whole
        for (std::size_t k = 0; k + 1 < noise.size(); k += 2)
            victim[std::to_integer<std::size_t>(noise[k]) % victim.size()] = noise[k + 1];
        auto page = page_of(damaged);
        for (const NamedDecoder& decoder : kAllDecoders) {
            auto rows = decode_texts(decoder, *page, mixed_table());
            ASSERT_LE(rows.size(), 4u) << decoder.name << " seed " << seed;
        }
        auto rows = decode_texts(kTableLayout, *page, mixed_table());
        ASSERT_GE(rows.size(), 2u) << "seed " << seed;
        EXPECT_EQ(rows[rows.size() - 2][0], "2") << "seed " << seed;
        EXPECT_EQ(rows.back()[0], "3") << "seed " << seed;
    }
}

// Export style: NULL is a flag with an empty text, apart from an empty string; the rows kept are the
// rows the display keeps; values stored elsewhere are always read.
TEST_F(RowDecoderTest, ExportStyleKeepsNullApartFromEmptyText) {
    std::vector<ColumnDescriptor> table = {
        column(1, "int(4)", kTypeInt, 4, true), column(2, "varchar(10)", kTypeVarchar, -1, true),
        column(3, "varchar(10)", kTypeVarchar, -2, true), column(4, "int(4)", kTypeInt, 8, true)};
    RecordSpec blueprint;
    blueprint.fixed = concat({le<std::int32_t>(0), le<std::int32_t>(9)});
    blueprint.column_count = 4;
    blueprint.null_bitmap = bytes_of({0x03});  // the int and the first varchar; the second is ''
    blueprint.variable = {{Bytes{}}, {Bytes{}}};
    auto page = page_of({build_record(blueprint)});
    const struct {
        NamedDecoder decoder;
        ValueStyle style;
        std::vector<std::string> texts;
        std::vector<bool> nulls;
    } cases[] = {
        {kTableLayout, ValueStyle::kDisplay, {"NULL", "NULL", "", "9"}, {true, true, false, false}},
        {kTableLayout, ValueStyle::kExport, {"", "", "", "9"}, {true, true, false, false}},
        // The offset form shows an empty value of a nullable column as "NULL"; exported, an empty string
        // stays one.
        {kTableOffsets, ValueStyle::kDisplay, {"NULL", "NULL", "NULL", "9"}, {true, true, true, false}},
        {kTableOffsets, ValueStyle::kExport, {"", "", "", "9"}, {true, true, false, false}},
    };
    for (const auto& c : cases) {
        style = c.style;
        std::vector<ColumnDescriptor> descriptors = table;
        const auto rows = decode(c.decoder, *page, descriptors);
        ASSERT_EQ(rows.size(), 1u) << c.decoder.name;
        std::vector<std::string> texts;
        std::vector<bool> nulls;
        for (const ColumnDescriptor& d : rows[0]) {
            texts.push_back(d.value_text);
            nulls.push_back(d.value_null);
        }
        EXPECT_EQ(texts, c.texts) << c.decoder.name << " export " << (c.style == ValueStyle::kExport);
        EXPECT_EQ(nulls, c.nulls) << c.decoder.name << " export " << (c.style == ValueStyle::kExport);
    }
}

TEST_F(RowDecoderTest, ExportStyleKeepsTheRowsTheDisplayKeeps) {
    std::vector<ColumnDescriptor> table = {column(1, "varchar(10)", kTypeVarchar, -1),
                                           column(2, "int(4)", kTypeInt, 4)};
    auto row = [](const std::string& name, std::int32_t n, bool null, int shift = 0) {
        RecordSpec blueprint;
        blueprint.fixed = le<std::int32_t>(n);
        blueprint.column_count = 2;
        blueprint.null_bitmap = bytes_of({null ? 0x01 : 0x00});
        blueprint.variable = {{ascii(name)}};
        blueprint.end_offset_shift = shift;
        return build_record(blueprint);
    };
    // The last row's first value ends past the record: damaged, and exported empty.
    auto page =
        page_of({row("", 1, false), row("kept", 2, false), row("", 3, true), row("lost", 4, false, 9000)});
    for (bool nullable : {false, true}) {
        table[0].nullable = nullable;
        style = ValueStyle::kDisplay;
        const std::size_t shown = decode_texts(kTableOffsets, *page, table).size();
        style = ValueStyle::kExport;
        EXPECT_EQ(decode_texts(kTableOffsets, *page, table).size(), shown) << "nullable " << nullable;
    }
}

TEST_F(RowDecoderTest, ExportStyleReadsLargeValuesInTheFirstBatch) {
    rows_loading = true;
    style = ValueStyle::kExport;
    for (const NamedDecoder& decoder : {kTableLayout, kTableOffsets}) {
        large.calls.clear();
        auto big = keyed_page({{root(4), true}});
        EXPECT_EQ(decode_texts(decoder, *big, keyed_table("varbinary(-1)", kTypeVarbinary))[0][1], "0xABCD")
            << decoder.name;
        auto image = keyed_page({{text_pointer(), true}});
        EXPECT_EQ(decode_texts(decoder, *image, keyed_table("image(16)", kTypeImage))[0][1], "0x0102")
            << decoder.name;
        EXPECT_EQ(large.calls.size(), 2u) << decoder.name;
    }
}

}  // namespace
}  // namespace quenlow
