// Compact values written straight from their compact form: the text, and the damage, must be the ones the
// ordinary formatter makes of the rebuilt value, for every column kind the direct form takes, in both
// styles, over chosen values (boundaries, empties, odd and even Unicode lengths) and random bytes.

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <map>
#include <random>

#include "engine/catalog/type_codes.h"
#include "engine/values/compact_format.h"
#include "engine/values/compact_values.h"
#include "tests/support/catalog_page_builder.h"
#include "tests/support/compact_encoder.h"
#include "tests/support/record_builder.h"

namespace quenlow {
namespace {

using testing::Bytes;
using testing::bytes_of;

ColumnDescriptor column(const std::string& type_text, std::int32_t type_code, int precision = 0,
                        int scale = 0) {
    ColumnDescriptor d = make_column_descriptor("c", type_text, type_code);
    d.precision = static_cast<std::uint8_t>(precision);
    d.scale = static_cast<std::uint8_t>(scale);
    return d;
}

struct Text {
    bool written = true;  // false: unreadable (old path) or left to the rebuild (direct path)
    std::string text;
    ValueDamage damage = ValueDamage::kNone;
};

// The text the row decoder made before the direct form: the rebuilt ordinary bytes, formatted.
Text rebuilt_text(const ColumnDescriptor& d, const Bytes& stored, const FormatContext& ctx) {
    const std::int32_t declared = declared_length_of(d.type_text);
    std::vector<std::byte> bytes;
    if (rebuild_compact_value(d.type_code, d, declared, stored, bytes) != CompactValue::kRebuilt)
        return {false, "", ValueDamage::kCompactEntry};
    Text out;
    if (bytes.empty()) return out;
    BitCursor bits;
    ValueInfo info = make_value_info(d, d.type_code, bits);
    info.declared_size = declared;
    info.available_bytes = static_cast<std::int64_t>(bytes.size());
    if (info.variable) info.value_length = static_cast<std::int16_t>(bytes.size());
    out.damage = format_value_to(out.text, info, bytes.data(), d, ctx);
    return out;
}

// The direct text of the value whose first `split` bytes are the anchor prefix.
Text direct_text(const ColumnDescriptor& d, const Bytes& stored, std::size_t split,
                 const FormatContext& ctx) {
    BitCursor bits;
    const ValueInfo info = make_value_info(d, d.type_code, bits);
    const std::span<const std::byte> all(stored);
    Text out;
    // The buffer may hold an earlier value's text.
    out.text = "earlier";
    out.written = format_compact_value(out.text, out.damage, info, declared_length_of(d.type_text), d,
                                       all.first(split), all.subspan(split), ctx) == CompactFormat::kWritten;
    if (!out.written) {
        EXPECT_EQ(out.text, "") << "left to the rebuild, the text must be empty";
    }
    return out;
}

ColumnDescriptor max_column() {
    ColumnDescriptor d = column("nvarchar(max)", kTypeNvarchar);
    d.declared_length = -1;
    return d;
}

std::vector<ColumnDescriptor> direct_columns() {
    return {column("tinyint(1)", kTypeTinyint),
            column("smallint(2)", kTypeSmallint),
            column("int(4)", kTypeInt),
            column("bigint(8)", kTypeBigint),
            column("money(8)", kTypeMoney),
            column("smallmoney(4)", kTypeSmallmoney),
            column("datetime(8)", kTypeDatetime),
            column("smalldatetime(4)", kTypeSmalldatetime),
            column("decimal(5)", kTypeDecimal, 9, 0),
            column("decimal(5)", kTypeDecimal, 9, 2),
            column("decimal(9)", kTypeDecimal, 18, 4),
            column("numeric(13)", kTypeNumeric, 28, 10),
            column("numeric(17)", kTypeNumeric, 38, 0),
            column("numeric(17)", kTypeNumeric, 38, 38),
            column("decimal(5)", kTypeDecimal, 18, 4),  // a width too small for its precision
            column("nvarchar(40)", kTypeNvarchar),
            max_column()};
}

std::vector<Bytes> chosen_values() {
    std::vector<Bytes> out = {
        {}, bytes_of({0x00}), bytes_of({0x80}), bytes_of({0xFF}), Bytes(9, std::byte{0x80})};
    for (std::int64_t v :
         {std::int64_t{1}, std::int64_t{-1}, std::int64_t{127}, std::int64_t{128}, std::int64_t{-128},
          std::int64_t{-129}, std::int64_t{255}, std::int64_t{32767}, std::int64_t{-32768},
          std::int64_t{32768}, std::int64_t{2147483647}, std::int64_t{-2147483647} - 1,
          std::int64_t{2147483648}, std::int64_t{36524} << 32, std::int64_t{-53690} << 32,
          (std::int64_t{2958463} << 32) + 25919999, std::int64_t{2958464} << 32,
          std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::min()})
        out.push_back(testing::compact_integer(v));
    // Decimal forms: positive and negative, groups at the edges, 999 and above, groups past the scale.
    for (const Bytes& b : {bytes_of({0xC0, 0x19}), bytes_of({0xBE, 0x19}), bytes_of({0x40, 0x4B}),
                           bytes_of({0xC4, 0xF9, 0xFD, 0xE0}), bytes_of({0xC4, 0xFF, 0xC0}),
                           bytes_of({0xD3, 0xF9, 0xFE, 0x7F, 0x9F, 0xE7, 0xFE, 0x7F, 0x9F, 0xE7, 0xFE, 0x7F,
                                     0x9F, 0xE7, 0xF0}),
                           bytes_of({0xBD, 0x00, 0x40}), bytes_of({0x3C, 0x19})})
        out.push_back(b);
    // Unicode: SCSU of ASCII at odd lengths, UTF-16 at even ones, tags, controls, a NUL, a lone surrogate.
    for (std::u16string_view s : std::initializer_list<std::u16string_view>{
             u"a", u"abc", u"customer name 7", u"tab\there", u"line\r\nend", u"\x7F!!", u"caf\u00E9",
             u"\u65E5\u672C\u8A9E", u"\U0001F600x", std::u16string_view(u"x\0y", 3)}) {
        const Bytes utf16 = testing::utf16le(s);
        out.push_back(utf16);
        out.push_back(testing::scsu_encode(utf16));
    }
    for (const Bytes& b :
         {bytes_of({'a', 0x0C, 'b'}), bytes_of({'a', 0x00, 'b'}), bytes_of({0x0F, 0x00}),
          bytes_of({0x01, 0x41, 'z'}), bytes_of({0x00, 0xD8}), bytes_of({'o', 'k', 0x11}),
          bytes_of({'a', 0x17, 'b', 0x10, 'c'}), bytes_of({0x12, 0xC1, 'c'}), bytes_of({0x18})})
        out.push_back(b);
    return out;
}

void expect_same(const ColumnDescriptor& d, const Bytes& stored, std::size_t split, const FormatContext& ctx,
                 std::map<std::string, int>& written) {
    const Text direct = direct_text(d, stored, split, ctx);
    if (!direct.written) return;
    ++written[d.type_text];
    const Text old = rebuilt_text(d, stored, ctx);
    const std::string what =
        d.type_text + " " + ::testing::PrintToString(stored) + " split " + std::to_string(split);
    EXPECT_TRUE(old.written) << what;
    EXPECT_EQ(direct.text, old.text) << what;
    EXPECT_EQ(direct.damage, old.damage) << what;
}

TEST(CompactFormat, WritesWhatTheRebuiltValueFormatsTo) {
    EngineState state;
    for (ValueStyle style : {ValueStyle::kDisplay, ValueStyle::kExport}) {
        FormatContext ctx{state};
        ctx.style = style;
        std::map<std::string, int> written;
        std::mt19937 random(20261210);
        for (const ColumnDescriptor& d : direct_columns()) {
            // Every split into an anchor prefix and the bytes after it.
            for (const Bytes& stored : chosen_values())
                for (std::size_t split = 0; split <= stored.size(); ++split)
                    expect_same(d, stored, split, ctx, written);
            for (int i = 0; i < 3000; ++i) {
                Bytes stored(random() % 24);
                // Mostly printable bytes, so that the SCSU of plain text comes up often.
                for (std::byte& b : stored)
                    b = static_cast<std::byte>(random() % 4 == 0 ? random() % 256 : 0x20 + random() % 0x60);
                expect_same(d, stored, i % 3 == 0 ? random() % (stored.size() + 1) : 0, ctx, written);
            }
        }
        // Every column kind took the direct form for some of its values.
        for (const ColumnDescriptor& d : direct_columns()) EXPECT_GT(written[d.type_text], 20) << d.type_text;
    }
}

TEST(CompactFormat, LeavesOtherFormsToTheRebuild) {
    EngineState state;
    const FormatContext ctx{state};
    struct Case {
        ColumnDescriptor column;
        Bytes stored;
        std::size_t split = 0;  // bytes of anchor prefix in front
    };
    const std::vector<Case> cases = {
        {column("int(4)", kTypeInt), bytes_of({0x80, 0, 0, 0, 1})},  // longer than an int
        {column("tinyint(1)", kTypeTinyint), bytes_of({0x01, 0x02})},
        {column("money", kTypeMoney), bytes_of({0x81})},                     // no declared size
        {column("money(4)", kTypeMoney), bytes_of({0x81})},                  // an unusual declared size
        {column("decimal(5)", kTypeDecimal, 9, 0), bytes_of({0xBE, 0x19})},  // 0.01 at scale 0
        {column("decimal(18)", kTypeDecimal, 38, 0), bytes_of({0xC0, 0x19})},
        {column("nvarchar(40)", kTypeNvarchar), bytes_of({'H', 'i', 0x0F, 0x00, 0x21})},  // SCSU with a tag
        {column("nvarchar(40)", kTypeNvarchar), bytes_of({0xE9})},                        // window character
        {column("nvarchar(40)", kTypeNvarchar), bytes_of({0x0C})},                        // reserved tag
        {column("nvarchar(4000)", kTypeNvarchar), Bytes(8001, std::byte{'a'})},
        {column("nchar(8)", kTypeNchar), bytes_of({'H', 'i', 0x10})},  // padded to its size
        {column("char(5)", kTypeChar), bytes_of({'a', 'b'})},
        {column("float(8)", kTypeFloat), bytes_of({0xF0, 0x3F})},
        {column("varbinary(8)", kTypeVarbinary), bytes_of({0x01})},
        // UTF-16 text after an anchor prefix: a unit may straddle the two.
        {column("nvarchar(40)", kTypeNvarchar), bytes_of({'o', 0, 'k', 0}), 1},
        {column("int(4)", kTypeInt),
         bytes_of({0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), 2},
    };
    for (const Case& c : cases) {
        std::string out = "earlier";
        ValueDamage damage = ValueDamage::kNone;
        BitCursor bits;
        const ValueInfo info = make_value_info(c.column, c.column.type_code, bits);
        const std::span<const std::byte> all(c.stored);
        EXPECT_EQ(format_compact_value(out, damage, info, declared_length_of(c.column.type_text), c.column,
                                       all.first(c.split), all.subspan(c.split), ctx),
                  CompactFormat::kRebuild)
            << c.column.type_text << " " << ::testing::PrintToString(c.stored);
        EXPECT_EQ(out, "");
    }
}

}  // namespace
}  // namespace quenlow
