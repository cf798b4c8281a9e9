#include <gtest/gtest.h>

#include "engine/values/text_conversion.h"
#include "tests/values/value_test_support.h"

namespace quenlow {
namespace {

using testing::Bytes;
using testing::bytes_of;
using testing::column;
using testing::concat;
using testing::text_bytes;
using testing::utf16;
using testing::ValueFormatting;

constexpr std::int32_t kCyrillicCollation = 53251;
constexpr std::int32_t kChineseCollation = 53284;
constexpr std::int32_t kJapaneseCollation = 53267;
constexpr std::int32_t kUnicodeOnlyCollation = 70000;
constexpr std::int32_t kNegativeCollation = -12;

// A collation table in the state.
struct CodePages : ValueFormatting {
    CodePages() {
        state.collations[kCyrillicCollation] = {"Cyrillic_General_CI_AS", 1251};
        state.collations[kChineseCollation] = {"Chinese_PRC_CI_AS", 936};
        state.collations[kJapaneseCollation] = {"Japanese_CI_AS", 932};
        state.collations[kUnicodeOnlyCollation] = {"Indic_General_90_CI_AS", 0};
        state.collations[kNegativeCollation] = {"Greek_CI_AS", 1253};
    }

    std::string varchar(const Bytes& bytes, std::int32_t collation) {
        ColumnDescriptor c = column("varchar(50)", kTypeVarchar);
        c.collation_id = collation;
        return format(c, bytes);
    }
};

TEST(CharText, BlanksKeptZeroByteEndsTheText) {
    ValueFormatting f;
    EXPECT_EQ(f.format(column("char(10)", kTypeChar), text_bytes("ab        ")), "ab        ");
    EXPECT_EQ(f.format(column("char(10)", kTypeChar),
                       concat({text_bytes("ab"), bytes_of({0}), text_bytes("cdefghi")})),
              "ab");
    EXPECT_EQ(f.format(column("text(16)", kTypeText), text_bytes("plain")), "plain");
}

TEST(CharText, CodePageOfTheColumnCollation) {
    CodePages f;
    const Bytes cyrillic = bytes_of({0xCF, 0xF0, 0xE8, 0xE2, 0xE5, 0xF2});
    const struct {
        Bytes bytes;
        std::int32_t collation;
        std::string text;
    } cases[] = {
        {cyrillic, kCyrillicCollation, "Привет"},
        {bytes_of({0xC4, 0xE3, 0xBA, 0xC3, 0x21}), kChineseCollation, "你好!"},
        {bytes_of({'a', 0x82, 0xA0, 0xB1, 0x5C}), kJapaneseCollation, "aあｱ\\"},
        {bytes_of({0xC1, 0xE2}), kNegativeCollation, "Αβ"},  // the id is widened with its sign
        // No collation of its own (0, -1), one the table does not hold, or one without an 8-bit code
        // page: the database collation, and without one the code page of text without collation.
        {bytes_of({0xE9, 0x80}), 0, "é€"},
        {bytes_of({0xE9}), -1, "é"},
        {bytes_of({0xE9}), 4242, "é"},
        {bytes_of({0xE9}), kUnicodeOnlyCollation, "é"},
    };
    for (const auto& c : cases) EXPECT_EQ(f.varchar(c.bytes, c.collation), c.text) << c.collation;
}

// The database collation (found on the boot page, or chosen by the user) serves columns without a
// collation of their own and columns stored with the database's id; the code page of text without any
// collation serves only text that has neither.
TEST(CharText, DatabaseCollationAndTextWithoutCollation) {
    constexpr std::int32_t kStoredDatabaseCollation = 99;
    const Bytes bytes = bytes_of({0xC4, 0xE0});
    const struct {
        bool database_found;
        std::int32_t column_collation;
        const char* text;
    } cases[] = {
        {true, 0, "Да"},                          // database code page 1251
        {true, -1, "Да"},
        {true, 4242, "Да"},                       // unknown id
        {true, kStoredDatabaseCollation, "Да"},   // the user's collation replaces the stored one
        {true, kChineseCollation, "泥"},          // its own collation wins
        {false, 0, "Δΰ"},                         // no database collation: 1253
        {false, kStoredDatabaseCollation, "Δΰ"},  // the stored id is not in the table
        {false, kChineseCollation, "泥"},
    };
    for (const auto& c : cases) {
        CodePages f;
        f.state.stored_collation_id = kStoredDatabaseCollation;
        f.state.collation_found = c.database_found;
        f.state.detected_collation_id = kCyrillicCollation;
        f.state.code_page = 1251;
        f.context.ansi_code_page = 1253;
        EXPECT_EQ(f.varchar(bytes, c.column_collation), c.text)
            << c.database_found << " " << c.column_collation;
        EXPECT_EQ(f.format(column("ntext(16)", kTypeNtext), concat({bytes, bytes_of({'a'})})),
                  c.database_found ? "Даa" : "Δΰa");
    }
}

TEST(CharText, InvalidBytesBecomeReplacementCharacters) {
    CodePages f;
    EXPECT_EQ(f.varchar(bytes_of({'a', 0x81, 'b'}), 0), "a\uFFFDb");            // undefined in 1252
    EXPECT_EQ(f.varchar(bytes_of({'a', 0xC4}), kChineseCollation), "a\uFFFD");  // lead byte at the end
    EXPECT_EQ(f.varchar(bytes_of({0xFF, 'x'}), kChineseCollation), "\uFFFDx");
    EXPECT_EQ(f.varchar(bytes_of({0x81, 0x20, 'z'}), kJapaneseCollation), "\uFFFD z");
}

TEST(CodePageConverters, KnownCodePagesUnknownOnesFallBack) {
    CodePageConverters converters;
    for (std::int32_t cp :
         {437, 850, 874, 932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258, 65001}) {
        EXPECT_TRUE(converters.supports(cp)) << cp;
    }
    for (std::int32_t cp : {0, -1, 1, 99999}) EXPECT_FALSE(converters.supports(cp)) << cp;

    std::string out;
    converters.append_utf8(out, bytes_of({0xB0, 'a'}), 437);
    EXPECT_EQ(out, "░a");
    out.clear();
    converters.append_utf8(out, bytes_of({0xE9}), 99999, 1251);
    EXPECT_EQ(out, "й");
    out.clear();
    converters.append_utf8(out, bytes_of({0xE9}), 0, 99999);  // both unusable: 1252
    EXPECT_EQ(out, "é");
    out.clear();
    converters.append_utf8(out, bytes_of({0xC3, 0xA9, 0xC3}), 65001);
    EXPECT_EQ(out, "é\uFFFD");
    out.clear();
    converters.append_utf8(out, bytes_of({0xB0, 0xA1, 0xFF}), 949);
    EXPECT_EQ(out, "가\uFFFD");
    out.clear();
    converters.append_utf8(out, bytes_of({0xA4, 0x40}), 950);
    EXPECT_EQ(out, "一");
}

TEST(CodePageConverters, ConversionsAppendAndReuseTheirConverter) {
    CodePageConverters converters;
    std::string out = "x";
    for (int i = 0; i < 3; ++i) {
        converters.append_utf8(out, bytes_of({0xC4, 0xE3}), 936);
        converters.append_utf8(out, bytes_of({0xC4}), 1251);
    }
    EXPECT_EQ(out, "x你Д你Д你Д");
}

TEST(NarrowToText, StopsAtTheFirstZeroByte) {
    EXPECT_EQ(narrow_to_text(bytes_of({0xC4, 0xE0, 0, 0xC4}), 1251), "Да");
    EXPECT_EQ(narrow_to_text({}, 1251), "");
}

TEST(UnicodeText, Utf16WithSurrogatePairs) {
    ValueFormatting f;
    const struct {
        Bytes bytes;
        std::string text;
    } cases[] = {
        {utf16({u'a', u'b'}), "ab"},
        {utf16({0x041F, 0x4F60}), "П你"},
        {utf16({0xD83D, 0xDE00, u'!'}), "\U0001F600!"},
        {utf16({0xD83D, u'x'}), "\uFFFDx"},  // high surrogate without its pair
        {utf16({0xDE00, u'x'}), "\uFFFDx"},  // low surrogate alone
        {utf16({u'x', 0xD83D}), "x\uFFFD"},  // cut after a high surrogate
        {utf16({u'a', 0, u'b'}), "a"},       // ends at the first zero unit
        {bytes_of({'a', 0, 'b'}), "ab"},     // an odd last byte is a unit of its own
    };
    for (const auto& c : cases) {
        EXPECT_EQ(f.format(column("nvarchar(100)", kTypeNvarchar), c.bytes), c.text);
        const std::string nchar = "nchar(" + std::to_string(c.bytes.size()) + ")";
        EXPECT_EQ(f.format(column(nchar, kTypeNchar), c.bytes), c.text);
    }
}

TEST(UnicodeText, NtextGuessesByItsZeroBytes) {
    ValueFormatting f;
    const ColumnDescriptor ntext = column("ntext(16)", kTypeNtext);
    EXPECT_EQ(f.format(ntext, bytes_of({'a', 0, 'b', 0})), "ab");
    EXPECT_EQ(f.format(ntext, bytes_of({'a', 'b', 'c', 0})), "abc");
    EXPECT_EQ(f.format(ntext, bytes_of({0xE9, 'x'})), "éx");
    EXPECT_EQ(f.format(ntext, bytes_of({0x1F, 0x04, 0, 0})), "П");
}

}  // namespace
}  // namespace quenlow
