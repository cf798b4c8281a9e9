#include "engine/values/sql_variant.h"

#include <gtest/gtest.h>

#include <limits>
#include <set>

#include "tests/values/value_test_support.h"

namespace quenlow {
namespace {

using testing::Bytes;
using testing::bytes_of;
using testing::concat;
using testing::ExactBuffer;
using testing::le;
using testing::text_bytes;
using testing::utf16;
using testing::ValueFormatting;

Bytes variant(int base_type, std::initializer_list<Bytes> rest) {
    return concat({bytes_of({base_type, 1}), concat(rest)});
}

// Maximum length 2 bytes, then a collation id of 4 bytes.
Bytes text_properties(std::uint16_t max_length) {
    return concat({le(max_length), le<std::int32_t>(53256)});
}

std::string format_exact(const ValueFormatting& f, const Bytes& bytes) {
    ExactBuffer buffer(bytes);
    return format_sql_variant({buffer.data(), buffer.size()}, f.context);
}

TEST(SqlVariantText, EveryBaseType) {
    ValueFormatting f;
    const Bytes guid = bytes_of(
        {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF});
    const struct {
        Bytes bytes;
        std::string text;
    } cases[] = {
        {variant(127, {le<std::int64_t>(-9000000000)}), "-9000000000"},
        {variant(56, {bytes_of({7, 0, 0, 0})}), "7"},
        {variant(52, {le<std::int16_t>(-2)}), "-2"},
        {variant(48, {bytes_of({250})}), "250"},
        {variant(104, {bytes_of({1})}), "True"},
        {variant(104, {bytes_of({0})}), "False"},
        {variant(104, {bytes_of({2})}), "True"},
        {variant(62, {le(-2.5)}), "-2.5"},
        {variant(62, {le(std::numeric_limits<double>::infinity())}), "1.#INF"},
        {variant(59, {le(0.00001f)}), "1e-005"},
        {variant(59, {le(std::numeric_limits<float>::infinity())}), "1.#INF"},
        {variant(60, {le<std::int64_t>(5)}), "0.0005"},
        {variant(122, {le<std::int32_t>(125000)}), "12.5000"},
        {variant(61, {le<std::int32_t>(300), le<std::int32_t>(0)}), "1900-01-01 00:00:01"},
        {variant(58, {le<std::int16_t>(1439), le<std::uint16_t>(0)}), "1900-01-01 23:59:00"},
        {variant(40, {bytes_of({0, 0, 0})}), "0001-01-01"},
        {variant(36, {guid}), "00112233-4455-6677-8899-AABBCCDDEEFF"},
        // Scale in byte 2, size from the length.
        {variant(41, {bytes_of({3}), le<std::uint32_t>(1234)}), "00:00:01.234"},
        {variant(42, {bytes_of({3}), le<std::uint32_t>(1234), bytes_of({0, 0, 0})}),
         "0001-01-01 00:00:01.234"},
        {variant(42, {bytes_of({0}), bytes_of({1, 0, 0}), bytes_of({0, 0, 0})}), "0001-01-01 00:00:01"},
        {variant(43, {bytes_of({0}), bytes_of({1, 0, 0}), bytes_of({0, 0, 0}), le<std::int16_t>(90)}),
         "0001-01-01 01:30:01 +1:30"},
        // The value's own precision and scale.
        {variant(106, {bytes_of({5, 2, 1}), le<std::int32_t>(12345)}), "123.45"},
        {variant(108, {bytes_of({10, 4, 0}), le<std::int64_t>(12345)}), "-1.2345"},
        {variant(108, {bytes_of({10, 4, 1})}), "0.0000"},
        // Binary values as 8-bit text, not hex.
        {variant(165, {le<std::uint16_t>(8000), bytes_of({0x41, 0x42})}), "AB"},
        {variant(173, {le<std::uint16_t>(2), bytes_of({0x41, 0xE9})}), "Aé"},
        {variant(167, {text_properties(10), text_bytes("ab")}), "ab"},
        {variant(167, {text_properties(10), bytes_of({0xE9, 0x80})}), "é€"},
        {variant(231, {text_properties(10), utf16({u'a', u'b'})}), "ab"},
        {variant(239, {text_properties(10), utf16({0xD83D, 0xDE00})}), "\U0001F600"},
        {variant(175, {text_bytes("xy")}), "xy"},
        {variant(240, {bytes_of({0x58, 0x0A})}), "0x580A"},
    };
    for (const auto& c : cases) EXPECT_EQ(format_exact(f, c.bytes), c.text) << c.text;
}

TEST(SqlVariantText, TextStopsAtTheFirstZero) {
    ValueFormatting f;
    EXPECT_EQ(format_exact(f, variant(167, {text_properties(10), bytes_of({'a', 0, 'b'})})), "a");
    EXPECT_EQ(format_exact(f, variant(231, {text_properties(10), utf16({u'a', 0, u'b'})})), "a");
    EXPECT_EQ(format_exact(f, variant(165, {le<std::uint16_t>(3), bytes_of({'a', 0, 'b'})})), "a");
}

// varchar in the code page of the collation it carries (an unknown one: the database's), char in the
// database's, binary in the code page of text without any collation.
TEST(SqlVariantText, CodePagesOfEightBitValues) {
    ValueFormatting f;
    f.state.collations[53284] = {"Chinese_PRC_CI_AS", 936};
    f.context.ansi_code_page = 1251;
    auto varchar = [](std::int32_t collation, Bytes data) {
        return variant(167, {le<std::uint16_t>(8000), le(collation), std::move(data)});
    };
    EXPECT_EQ(format_exact(f, variant(165, {le<std::uint16_t>(2), bytes_of({0xC4, 0xE0})})), "Да");
    EXPECT_EQ(format_exact(f, variant(175, {bytes_of({0xC4, 0xE0})})), "Да");
    EXPECT_EQ(format_exact(f, varchar(53284, bytes_of({0xC4, 0xE3, 0xBA, 0xC3}))), "你好");
    EXPECT_EQ(format_exact(f, varchar(53256, bytes_of({0xC4}))), "Д");
    f.state.collation_found = true;
    f.state.code_page = 1253;
    EXPECT_EQ(format_exact(f, varchar(53256, bytes_of({0xC4}))), "Δ");
    EXPECT_EQ(format_exact(f, variant(175, {bytes_of({0xC4})})), "Δ");
    EXPECT_EQ(format_exact(f, variant(165, {le<std::uint16_t>(2), bytes_of({0xC4})})), "Д");
}

TEST(SqlVariantText, WrongLengthsUnknownTypesAndNoDataGiveNoText) {
    ValueFormatting f;
    const Bytes cases[] = {
        variant(56, {bytes_of({7, 0, 0, 0, 0})}),  // int of 7 bytes
        variant(56, {bytes_of({7, 0, 0})}),
        variant(127, {le<std::int32_t>(1)}),
        variant(104, {bytes_of({1, 1})}),
        variant(36, {bytes_of({1, 2, 3})}),
        variant(61, {le<std::int32_t>(0)}),
        variant(41, {bytes_of({3})}),                          // scale but no time
        variant(42, {bytes_of({3}), bytes_of({1, 2, 3, 4})}),  // no datetime2 has 4 bytes
        variant(43, {bytes_of({0}), bytes_of({1, 0, 0, 0, 0})}),
        variant(41, {bytes_of({30}), bytes_of({1, 0, 0})}),  // scale beyond reason
        variant(106, {bytes_of({5, 2})}),
        variant(106, {bytes_of({0, 0, 1}), le<std::int32_t>(1)}),   // precision 0
        variant(106, {bytes_of({39, 0, 1}), le<std::int32_t>(1)}),  // precision 39
        variant(165, {le<std::uint16_t>(2)}),
        variant(167, {text_properties(2)}),
        variant(231, {le<std::uint16_t>(2), bytes_of({1, 2})}),
        variant(175, {}),
        variant(240, {}),
        variant(98, {bytes_of({1, 2, 3, 4})}),  // a variant in a variant
        variant(0, {bytes_of({1, 2, 3, 4})}),
        variant(255, {bytes_of({1, 2, 3, 4})}),
        bytes_of({56}),
        {},
    };
    // Strings and binary values without data are empty values; everything else could not be read.
    const std::set<std::size_t> empty_values = {13, 14, 16, 17};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(format_exact(f, cases[i]), "") << i;
        std::string out;
        EXPECT_EQ(append_sql_variant(out, cases[i], f.context), empty_values.contains(i)) << i;
    }
}

TEST(SqlVariantText, ValuesTheirBaseTypeCannotHoldAreNotRead) {
    ValueFormatting f;
    const Bytes day_past_9999 = bytes_of({0xFF, 0xFF, 0xFF});
    const struct {
        Bytes bytes;
        bool read;
    } cases[] = {
        {variant(40, {bytes_of({0xA1, 0xC3, 0x09})}), true},
        {variant(40, {day_past_9999}), false},
        {variant(42, {bytes_of({0}), bytes_of({0, 0, 0}), day_past_9999}), false},
        {variant(106, {bytes_of({5, 2, 1}), le<std::int32_t>(12345)}), true},
        {variant(106, {bytes_of({5, 2, 7}), le<std::int32_t>(12345)}), false},  // sign byte 7
        {variant(106, {bytes_of({3, 0, 1}), le<std::int32_t>(12345)}), false},  // 5 digits, precision 3
        {variant(106, {bytes_of({5, 2, 1}), Bytes(17)}), false},                // 17 magnitude bytes
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        std::string out;
        EXPECT_EQ(append_sql_variant(out, cases[i].bytes, f.context), cases[i].read) << i;
    }
}

}  // namespace
}  // namespace quenlow
