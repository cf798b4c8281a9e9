#include "engine/catalog/type_codes.h"

#include <gtest/gtest.h>

#include "engine/catalog/definition_bytes.h"

namespace quenlow {
namespace {

TEST(TypeCodes, EverySystemTypeIdMapsToItsCode) {
    const std::pair<std::uint32_t, std::int32_t> cases[] = {
        {127, 0},
        {173, 1},
        {104, 2},
        {175, 3},
        {61, 4},
        {40, 5},
        {41, 6},
        {42, 7},
        {43, 8},
        {56, 9},
        {239, 10},
        {231, 11},
        {52, 13},
        {48, 14},
        {36, 15},
        {165, 16},
        {167, 17},
        {232, 18},
        {99, 19},
        {98, 20},
        {60, 21},
        {62, 22},
        {108, 23},
        {106, 24},
        {34, 26},
        {35, 26},
        {58, 27},
        {59, 28},
        {122, 29},
        {189, 30},
        {240, 33},
        {241, 34},
        // Ids the table does not list are read as char.
        {0, 3},
        {255, 3},
        {256, 3},
        {0xFFFFFFFFu, 3},
        {57, 3},
    };
    for (const auto& [id, code] : cases) EXPECT_EQ(type_code_of(id), code) << "system type id " << id;
}

TEST(TypeCodes, ImageGetsItsOwnCodeOnlyInColumns) {
    EXPECT_EQ(column_type_code_of(34), kTypeImage);
    EXPECT_EQ(column_type_code_of(35), kTypeText);
    EXPECT_EQ(column_type_code_of(56), kTypeInt);
    for (std::uint32_t id = 0; id < 300; ++id) {
        EXPECT_NE(type_code_of(id), kTypeUnused12);
        EXPECT_NE(type_code_of(id), kTypeImage);
        EXPECT_NE(type_code_of(id), kTypeUnused31);
        EXPECT_NE(type_code_of(id), kTypeUnused32);
    }
}

TEST(TypeCodes, DeclaredLengthReadsTheNumberInTheFirstParentheses) {
    const std::pair<const char*, std::int16_t> cases[] = {
        {"int(4)", 4},
        {"varbinary(-1)", -1},
        {"nvarchar(8000)", 8000},
        {"x(+12)", 12},
        {"x( 7)", 7},
        {"x(12abc)", 12},
        {"x(abc)", 0},
        {"x()", 0},
        {"(5)", 5},
        {"a(1)(2)", 1},
        {"x(70000)", 4464},
        {"x(-32768)", -32768},
        {"name", 0},
        {"x(5", 0},
        {"a)b(3", 0},
        {"", 0},
    };
    for (const auto& [text, length] : cases) EXPECT_EQ(declared_length_of(text), length) << text;
}

TEST(TypeCodes, DescriptorConstructionByCode) {
    struct Case {
        std::int32_t code;
        bool length_from_text;
        bool variable;
        std::int32_t stored;
    };
    const Case cases[] = {
        {0, false, false, 0},    {1, true, false, 1},    {2, false, false, 2},   {3, true, false, 3},
        {4, false, false, 4},    {5, false, false, 5},   {6, false, false, 6},   {7, false, false, 7},
        {8, false, false, 8},    {9, false, false, 9},   {10, true, false, 10},  {11, true, true, 11},
        {12, false, false, 12},  {13, false, false, 13}, {14, false, false, 14}, {15, false, true, 15},
        {16, false, true, 16},   {17, false, true, 17},  {18, true, true, 11},   {19, false, true, 19},
        {20, false, true, 20},   {21, false, false, 21}, {22, false, false, 22}, {23, true, false, 23},
        {24, true, false, 24},   {25, false, true, 25},  {26, true, true, 26},   {27, false, false, 27},
        {28, false, false, 28},  {29, false, false, 29}, {30, false, false, 30}, {31, false, true, 17},
        {32, false, true, 17},   {33, true, true, 33},   {34, true, true, 34},   {35, false, true, 17},
        {1000, false, true, 17}, {-1, false, false, -1},
    };
    for (const Case& c : cases) {
        const ColumnDescriptor d = make_column_descriptor("col", "t(12)", c.code);
        EXPECT_EQ(d.declared_length, c.length_from_text ? 12 : 0) << "code " << c.code;
        EXPECT_EQ(d.variable_length, c.variable) << "code " << c.code;
        EXPECT_EQ(d.type_code, c.stored) << "code " << c.code;
        EXPECT_EQ(d.name, "col");
        EXPECT_EQ(d.type_text, "t(12)");
        EXPECT_EQ(d.null_bit, -1);
        EXPECT_EQ(d.physical_column_id, 0);
        EXPECT_FALSE(d.physical_position_known);
    }
}

TEST(DefinitionBytes, HexTextToBytes) {
    struct Case {
        const char* text;
        std::vector<std::uint8_t> bytes;
        bool wide;
    };
    const Case cases[] = {
        {"", {}, false},
        {"0", {}, false},
        {"0x", {}, false},
        {"0x41", {0x41}, false},
        {"0x00", {0x00}, false},
        {"0x414243", {0x41, 0x42, 0x43}, false},
        {"0x41004200", {0x41, 0x00, 0x42, 0x00}, true},
        {"0x0041", {0x00, 0x41}, false},
        {"0x414", {0x41, 0x40}, false},  // a dangling digit pairs with a zero half
        {"0xff", {0x66}, false},         // lower case is not hexadecimal here
        {"0x4a", {0x41}, false},
        {"xx9F", {0x9F}, false},  // the first two characters are never read
    };
    for (const Case& c : cases) {
        const HexBytes b = hex_text_to_bytes(c.text);
        EXPECT_EQ(b.bytes, c.bytes) << c.text;
        EXPECT_EQ(b.wide, c.wide) << c.text;
    }
}

TEST(DefinitionBytes, BytesToText) {
    const std::pair<const char*, const char*> cases[] = {
        {"0x28615B5D29", "(a[])"},
        {"0x2800610029000000", "(a)"},       // UTF-16, stops at the zero unit
        {"0x410042", "AB"},                  // UTF-16 with an odd byte count
        {"0x80E9", "\xE2\x82\xAC\xC3\xA9"},  // Windows-1252 euro sign and e acute
        {"0x4100420000004300", "AB"},
        {"0x3DD800DE", "\xF0\x9F\x98\x80"},  // a surrogate pair
        {"0x00DC4100",
         "\xEF\xBF\xBD"
         "A"},  // an unpaired low surrogate
        {"0x00", ""},
    };
    for (const auto& [text, utf8] : cases) EXPECT_EQ(hex_bytes_text(hex_text_to_bytes(text)), utf8) << text;
}

}  // namespace
}  // namespace quenlow
