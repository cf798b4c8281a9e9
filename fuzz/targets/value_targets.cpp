// Targets over stored values: every value formatter by column type, binary xml, values stored on LOB
// pages behind an in-row root or a text pointer, and the row decoders over a page with a fixed schema.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/catalog/type_codes.h"
#include "engine/pages/engine_state.h"
#include "engine/pages/record_page.h"
#include "engine/values/compact_format.h"
#include "engine/values/compact_values.h"
#include "engine/values/lob_reader.h"
#include "engine/values/row_decoder.h"
#include "engine/values/scsu.h"
#include "engine/values/value_format.h"
#include "engine/values/value_info.h"
#include "engine/values/xml_converter.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/fuzz_targets.h"
#include "tests/support/stored_column.h"

namespace quenlow::fuzz {

namespace {

struct ColumnType {
    const char* type_text;
    std::int32_t type_code;
    std::uint8_t precision;
    std::uint8_t scale;
};

// One of every stored type, with the sizes and precisions tables use most.
constexpr std::array kColumnTypes = {
    ColumnType{"bigint(8)", kTypeBigint, 19, 0},
    ColumnType{"binary(16)", kTypeBinary, 0, 0},
    ColumnType{"bit(1)", kTypeBit, 1, 0},
    ColumnType{"char(10)", kTypeChar, 0, 0},
    ColumnType{"datetime(8)", kTypeDatetime, 23, 3},
    ColumnType{"date(3)", kTypeDate, 10, 0},
    ColumnType{"time(5)", kTypeTime, 16, 7},
    ColumnType{"datetime2(8)", kTypeDatetime2, 27, 7},
    ColumnType{"datetimeoffset(10)", kTypeDatetimeoffset, 34, 7},
    ColumnType{"int(4)", kTypeInt, 10, 0},
    ColumnType{"nchar(20)", kTypeNchar, 0, 0},
    ColumnType{"nvarchar(100)", kTypeNvarchar, 0, 0},
    ColumnType{"nvarchar(-1)", kTypeNvarchar, 0, 0},
    ColumnType{"smallint(2)", kTypeSmallint, 5, 0},
    ColumnType{"tinyint(1)", kTypeTinyint, 3, 0},
    ColumnType{"uniqueidentifier(16)", kTypeUniqueidentifier, 0, 0},
    ColumnType{"varbinary(-1)", kTypeVarbinary, 0, 0},
    ColumnType{"varchar(50)", kTypeVarchar, 0, 0},
    ColumnType{"sysname(256)", kTypeSysname, 0, 0},
    ColumnType{"ntext(16)", kTypeNtext, 0, 0},
    ColumnType{"sql_variant(8016)", kTypeSqlVariant, 0, 0},
    ColumnType{"money(8)", kTypeMoney, 19, 4},
    ColumnType{"float(8)", kTypeFloat, 53, 0},
    ColumnType{"numeric(9)", kTypeNumeric, 18, 4},
    ColumnType{"decimal(17)", kTypeDecimal, 38, 10},
    ColumnType{"image(16)", kTypeImage, 0, 0},
    ColumnType{"text(16)", kTypeText, 0, 0},
    ColumnType{"smalldatetime(4)", kTypeSmalldatetime, 16, 0},
    ColumnType{"real(4)", kTypeReal, 24, 0},
    ColumnType{"smallmoney(4)", kTypeSmallmoney, 10, 4},
    ColumnType{"timestamp(8)", kTypeTimestamp, 0, 0},
    ColumnType{"geography(-1)", kTypeClr, 0, 0},
    ColumnType{"xml(-1)", kTypeXml, 0, 0},
};

ColumnDescriptor column_of(std::uint8_t selector) {
    const ColumnType& t = kColumnTypes[(selector & 0x3F) % kColumnTypes.size()];
    ColumnDescriptor c = make_column_descriptor("c", t.type_text, t.type_code);
    c.precision = t.precision;
    c.scale = t.scale;
    return c;
}

std::string xml_text(std::span<const std::byte> bytes, const FormatContext&) {
    BinaryXmlConverter converter;
    return converter.convert(ByteSpan(bytes.data(), bytes.size()));
}

// The input's pages from page 1 on (page 0 stays zero, as no value lives there).
std::vector<PageBuffer> from_page_one(std::vector<PageBuffer> pages) {
    pages.insert(pages.begin(), PageBuffer(kPageBufferSize));
    return pages;
}

// Table schemas for the row decoders: fixed columns at their leaf offsets, variable ones numbered -1,
// -2, ... in their order in the variable section.
ColumnDescriptor stored(std::int32_t id, const char* type_text, std::int32_t type_code, std::int16_t leaf,
                        std::uint8_t precision = 0, std::uint8_t scale = 0) {
    ColumnDescriptor d = testing::stored_column(id, type_text, type_code, leaf, true);
    d.precision = precision;
    d.scale = scale;
    return d;
}

std::vector<ColumnDescriptor> schema_of(std::uint8_t selector) {
    switch (selector % 3) {
        case 0:  // keys, text and numbers: the common table
            return {stored(1, "int(4)", kTypeInt, 4), stored(2, "char(5)", kTypeChar, 8),
                    stored(3, "datetime(8)", kTypeDatetime, 13), stored(4, "decimal(9)", kTypeDecimal, 21, 18, 2),
                    stored(5, "bit(1)", kTypeBit, 30), stored(6, "bit(1)", kTypeBit, 30),
                    stored(7, "nvarchar(40)", kTypeNvarchar, -1), stored(8, "varchar(-1)", kTypeVarchar, -2),
                    stored(9, "varbinary(-1)", kTypeVarbinary, -3)};
        case 1:  // values stored elsewhere and typed ones
            return {stored(1, "bigint(8)", kTypeBigint, 4), stored(2, "uniqueidentifier(16)", kTypeUniqueidentifier, 12),
                    stored(3, "datetime2(8)", kTypeDatetime2, 28, 27, 7),
                    stored(4, "datetimeoffset(10)", kTypeDatetimeoffset, 36, 34, 7),
                    stored(5, "text(16)", kTypeText, -1), stored(6, "ntext(16)", kTypeNtext, -2),
                    stored(7, "image(16)", kTypeImage, -3), stored(8, "sql_variant(8016)", kTypeSqlVariant, -4),
                    stored(9, "xml(-1)", kTypeXml, -5), stored(10, "nvarchar(-1)", kTypeNvarchar, -6)};
        default:  // the 2000 layout's types
            return {stored(1, "smallint(2)", kTypeSmallint, 4), stored(2, "smalldatetime(4)", kTypeSmalldatetime, 6),
                    stored(3, "money(8)", kTypeMoney, 10), stored(4, "float(8)", kTypeFloat, 18),
                    stored(5, "real(4)", kTypeReal, 26), stored(6, "timestamp(8)", kTypeTimestamp, 30),
                    stored(7, "varchar(100)", kTypeVarchar, -1), stored(8, "nchar(10)", kTypeNchar, 38),
                    stored(9, "sysname(256)", kTypeSysname, -2)};
    }
}

}  // namespace

int value_format(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::uint8_t selector = input.byte();
    const std::uint8_t style = input.byte();
    ColumnDescriptor c = column_of(selector);
    std::vector<std::byte> value = input.bytes(input.remaining());

    EngineState state;
    FormatContext context{state};
    context.style = (style & 1) != 0 ? ValueStyle::kExport : ValueStyle::kDisplay;
    if ((style & 2) != 0) context.convert_xml = &xml_text;
    BitCursor cursor;
    ValueInfo info = make_value_info(c, c.type_code, cursor);
    if (info.variable) info.value_length = static_cast<std::int16_t>(std::min<std::size_t>(value.size(), 0x7FFF));
    info.available_bytes = static_cast<std::int64_t>(value.size());
    // The value in an allocation of exactly its size, so that a read past it is caught.
    std::unique_ptr<std::byte[]> exact(new std::byte[value.size() + (value.empty() ? 1 : 0)]);
    std::copy(value.begin(), value.end(), exact.get());
    std::string out;
    (void)format_value_to(out, info, value.empty() ? nullptr : exact.get(), c, context);

    std::vector<std::byte> units;
    (void)scsu_to_utf16(ByteSpan(exact.get(), value.size()), units);

    // The same bytes as a compressed record keeps them: the high bits of the style byte cut off a prefix,
    // as a page's anchor value gives one; what has no direct form is rebuilt and formatted as stored.
    if ((style & 4) != 0) {
        ByteSpan stored(value.empty() ? nullptr : exact.get(), value.size());
        const ByteSpan prefix = stored.first(std::min<std::size_t>(style >> 4, stored.size()));
        stored = stored.subspan(prefix.size());
        ValueDamage damage = ValueDamage::kNone;
        if (format_compact_value(out, damage, info, c.declared_length, c, prefix, stored, context) ==
            CompactFormat::kRebuild) {
            std::vector<std::byte> rebuilt;
            if (rebuild_compact_value(c.type_code, c, c.declared_length, stored, rebuilt) == CompactValue::kRebuilt) {
                BitCursor again;
                ValueInfo rebuilt_info = make_value_info(c, c.type_code, again);
                if (rebuilt_info.variable) rebuilt_info.value_length = static_cast<std::int16_t>(std::min<std::size_t>(rebuilt.size(), 0x7FFF));
                rebuilt_info.available_bytes = static_cast<std::int64_t>(rebuilt.size());
                (void)format_value_to(out, rebuilt_info, rebuilt.empty() ? nullptr : rebuilt.data(), c, context);
            }
        }
    }
    return 0;
}

int binary_xml(const std::uint8_t* data, std::size_t size) {
    BinaryXmlLimits limits;
    limits.max_output = std::size_t{1} << 22;
    BinaryXmlConverter converter(nullptr, limits);
    (void)converter.convert(ByteSpan(reinterpret_cast<const std::byte*>(data), size));
    return 0;
}

int large_value(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::uint8_t bits = input.byte();
    const std::uint8_t selector = input.byte();
    const std::vector<std::byte> item = input.bytes(input.byte() % 96);
    FuzzDatabase db(from_page_one(input.pages(8)), bits);
    if (db.get() == nullptr) return 0;

    ColumnDescriptor c = column_of(selector);
    EngineState& state = db.state();
    FormatContext context{state};
    LargeValueRequest request;
    request.item = ByteSpan(item.data(), item.size());
    request.flags.binary = (selector & 0x40) != 0;
    request.flags.unicode = (selector & 0x80) != 0;
    request.flags.variant = c.type_code == kTypeSqlVariant;
    request.column = &c;
    request.database = db.get();
    request.format = &context;
    LobValueReader reader;
    XmlPieces pieces;
    (void)reader.read_large_value(request, &pieces);
    (void)reader.read_through_text_pointer(request, nullptr);
    (void)read_large_value_bytes(*db.get(), request.item);
    return 0;
}

int row_decoder(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::uint8_t bits = input.byte();
    const std::uint8_t selector = input.byte();
    std::vector<PageBuffer> pages = input.pages(4);
    if (pages.empty()) return 0;
    FuzzDatabase db(from_page_one(pages), bits);
    if (db.get() == nullptr) return 0;
    CDataPage page(pages.front(), *db.get());
    std::vector<ColumnDescriptor> columns = schema_of(selector);
    LobValueReader large;
    BinaryXmlConverter xml;
    const ValueStyle style = (selector & 0x80) != 0 ? ValueStyle::kExport : ValueStyle::kDisplay;
    DecodeContext ctx = make_decode_context(*db.get(), large, xml, (bits & 0x20) != 0, style);
    switch ((selector >> 2) & 3) {
        case 0: (void)decode_table_page_layout(page, columns, ctx); break;
        case 1: (void)decode_table_page_offsets(page, columns, ctx); break;
        case 2: (void)decode_definition_page_layout(page, columns, ctx); break;
        default: (void)decode_definition_page_offsets(page, columns, ctx); break;
    }
    return 0;
}

}  // namespace quenlow::fuzz
