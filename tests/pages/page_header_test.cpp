#include "engine/pages/page_header.h"

#include <gtest/gtest.h>

#include <limits>

#include "tests/support/page_builder.h"

namespace quenlow {
namespace {

using testing::Bytes;
using testing::PageBuilder;
using testing::PageSpec;

constexpr std::size_t kSectorLastBytes[] = {511,  1023, 1535, 2047, 2559, 3071, 3583, 4095,
                                            4607, 5119, 5631, 6143, 6655, 7167, 7679, 8191};

CPage_Header parse(Bytes& page) {
    return CPage_Header(MutableByteSpan(page));
}

// Every field at its own offset, with values whose bytes differ from their neighbours' so that a field
// read at the wrong offset or width shows.
TEST(PageHeader, ReadsEveryFieldFromItsOffset) {
    PageSpec blueprint;
    blueprint.header_version = 1;
    blueprint.type = 10;
    blueprint.type_flag_bits = 0x84;
    blueprint.level = 3;
    blueprint.flag_bits = 0x0204;
    blueprint.index_id = 0x0102;
    blueprint.prev_page = {0x0304, 0x05060708};
    blueprint.min_len = 0x090A;
    blueprint.next_page = {0x0B0C, 0x0D0E0F10};
    blueprint.slot_count = 0x0111;
    blueprint.object_id = 0x12131415;
    blueprint.free_count = 0x1617;
    blueprint.free_data = 0x1819;
    blueprint.page_id = 0x1A1B1C1D;
    blueprint.file_id = 0x1E1F;
    blueprint.reserved_count = 0x2021;
    blueprint.xact_reserved_count = 0x2223;
    blueprint.ghost_count = 0x2425;
    blueprint.torn_bits = 0x26272829;  // flag 0x0100 is clear: the word is kept, the page not touched
    Bytes page = testing::make_page(blueprint);
    const Bytes before = page;

    CPage_Header h = parse(page);
    EXPECT_EQ(h.header_version, 1);
    EXPECT_EQ(h.page_type, 10u);
    EXPECT_EQ(h.type_flag_bits, 0x84);
    EXPECT_TRUE(h.has_compression_info());
    EXPECT_EQ(h.level, 3);
    EXPECT_EQ(h.flag_bits, 0x0204);
    EXPECT_FALSE(h.has_torn_bits());
    EXPECT_EQ(h.index_id, 0x0102);
    EXPECT_EQ(h.prev_page, (PageAddress{0x0304, 0x05060708}));
    EXPECT_EQ(h.min_len, 0x090A);
    EXPECT_EQ(h.next_page, (PageAddress{0x0B0C, 0x0D0E0F10}));
    EXPECT_EQ(h.slot_count, 0x0111);
    EXPECT_EQ(h.object_id, 0x12131415);
    EXPECT_EQ(h.free_count, 0x1617);
    EXPECT_EQ(h.free_data, 0x1819);
    EXPECT_EQ(h.this_page, (PageAddress{0x1E1F, 0x1A1B1C1D}));
    EXPECT_EQ(h.reserved_count, 0x2021);
    EXPECT_EQ(h.xact_reserved_count, 0x2223);
    EXPECT_EQ(h.ghost_record_count, 0x2425);
    EXPECT_EQ(h.torn_bits, 0x26272829u);
    EXPECT_EQ(page, before);
}

TEST(PageHeader, SignedFieldsKeepTheirSign) {
    PageSpec blueprint;
    blueprint.object_id = -5;
    blueprint.slot_count = -2;
    blueprint.ghost_count = -1;
    blueprint.page_id = -7;
    blueprint.next_page = {0xFFFF, -1};
    Bytes page = testing::make_page(blueprint);
    CPage_Header h = parse(page);
    EXPECT_EQ(h.object_id, -5);
    EXPECT_EQ(h.slot_count, -2);
    EXPECT_EQ(h.ghost_record_count, -1);
    EXPECT_EQ(h.this_page.page_id, -7);
    EXPECT_EQ(h.next_page, (PageAddress{0xFFFF, -1}));
}

struct TextCase {
    std::int32_t lsn_first, lsn_second;
    std::int16_t lsn_third;
    std::int32_t xact_low;
    std::int16_t xact_high;
    const char* lsn_text;
    const char* transaction_text;
};

class HeaderTexts : public ::testing::TestWithParam<TextCase> {};

TEST_P(HeaderTexts, FormatsLsnAndTransactionAsSignedDecimals) {
    const TextCase& c = GetParam();
    PageSpec blueprint;
    blueprint.lsn_first = c.lsn_first;
    blueprint.lsn_second = c.lsn_second;
    blueprint.lsn_third = c.lsn_third;
    blueprint.xact_low = c.xact_low;
    blueprint.xact_high = c.xact_high;
    Bytes page = testing::make_page(blueprint);
    CPage_Header h = parse(page);
    EXPECT_EQ(h.lsn_text, c.lsn_text);
    EXPECT_EQ(h.transaction_text, c.transaction_text);
}

INSTANTIATE_TEST_SUITE_P(Values, HeaderTexts,
                         ::testing::Values(TextCase{0, 0, 0, 0, 0, "( 0 : 0 : 0 )", "( 0 : 0 )"},
                                           TextCase{20, 368, 1, 1234, 0, "( 20 : 368 : 1 )", "( 0 : 1234 )"},
                                           // the high part comes first in the transaction text
                                           TextCase{1, 2, 3, 7, 5, "( 1 : 2 : 3 )", "( 5 : 7 )"},
                                           // all bits set: every part reads as -1
                                           TextCase{-1, -1, -1, -1, -1, "( -1 : -1 : -1 )", "( -1 : -1 )"},
                                           TextCase{std::numeric_limits<std::int32_t>::min(),
                                                    std::numeric_limits<std::int32_t>::max(),
                                                    std::numeric_limits<std::int16_t>::min(),
                                                    std::numeric_limits<std::int32_t>::min(),
                                                    std::numeric_limits<std::int16_t>::max(),
                                                    "( -2147483648 : 2147483647 : -32768 )",
                                                    "( 32767 : -2147483648 )"}));

// A page body whose sector ends carry every combination of low bits.
Bytes page_with_body(std::uint32_t seed) {
    PageBuilder b(PageSpec{.type = 1, .object_id = 77});
    Bytes body = testing::random_bytes(kPageSize - page_layout::kHeaderSize, seed);
    b.put(page_layout::kHeaderSize, body);
    return b.build();
}

TEST(TornBits, RepairRestoresWhatProtectionMoved) {
    for (std::uint32_t seed : {1u, 2u, 3u, 42u}) {
        SCOPED_TRACE(seed);
        Bytes original = page_with_body(seed);
        Bytes page = original;
        const std::uint32_t torn = testing::set_torn(page);
        for (std::size_t k = 1; k < 16; ++k)
            ASSERT_NE(page[kSectorLastBytes[k]], original[kSectorLastBytes[k]]);

        CPage_Header h = parse(page);
        EXPECT_TRUE(h.has_torn_bits());
        EXPECT_EQ(h.torn_bits, torn);
        // Everything past the header is back to what it was before protection.
        EXPECT_TRUE(std::equal(page.begin() + 96, page.end(), original.begin() + 96));
        EXPECT_EQ(h.object_id, 77);
    }
}

TEST(TornBits, RepairHappensInTheBufferSoLaterParsesSeeIt) {
    Bytes original = page_with_body(9);
    Bytes page = original;
    testing::set_torn(page);
    parse(page);
    const Bytes repaired = page;
    parse(page);  // a second parse changes nothing more
    EXPECT_EQ(page, repaired);
    EXPECT_TRUE(std::equal(page.begin() + 96, page.end(), original.begin() + 96));
}

TEST(TornBits, AllBitsSetTouchSectorsOneToFifteenOnly) {
    Bytes page = testing::make_page(PageSpec{.flag_bits = 0x0100, .torn_bits = 0xFFFFFFFF});
    CPage_Header h = parse(page);
    EXPECT_TRUE(h.has_torn_bits());
    EXPECT_EQ(page[511], std::byte{0});
    for (std::size_t k = 1; k < 16; ++k) EXPECT_EQ(page[kSectorLastBytes[k]], std::byte{3}) << "sector " << k;
    std::size_t changed = 0;
    Bytes clean = testing::make_page(PageSpec{.flag_bits = 0x0100, .torn_bits = 0xFFFFFFFF});
    for (std::size_t i = 0; i < kPageSize; ++i) changed += page[i] != clean[i];
    EXPECT_EQ(changed, 15u);
}

TEST(TornBits, EachSectorTakesItsOwnTwoBits) {
    // Sector k gets value k & 3: the pattern 0,1,2,3,0,1,... shows a shifted or reversed word.
    std::uint32_t torn = 0;
    for (std::uint32_t k = 0; k < 16; ++k) torn |= (k & 3u) << (2 * k);
    Bytes page = testing::make_page(PageSpec{.flag_bits = 0x0100, .torn_bits = torn});
    for (std::size_t k = 1; k < 16; ++k) page[kSectorLastBytes[k]] = std::byte{0xFC};
    parse(page);
    for (std::size_t k = 1; k < 16; ++k)
        EXPECT_EQ(page[kSectorLastBytes[k]], static_cast<std::byte>(0xFC | (k & 3))) << "sector " << k;
}

TEST(TornBits, WordIgnoredWithoutTheFlag) {
    for (std::uint16_t flags : {0x0000, 0x0200, 0x00FF, 0xFEFF}) {
        Bytes page = testing::make_page(PageSpec{.flag_bits = flags, .torn_bits = 0xFFFFFFFF});
        const Bytes before = page;
        parse(page);
        EXPECT_EQ(page, before) << "flags " << flags;
    }
}

TEST(PageHeader, ZeroPageIsEmpty) {
    Bytes page(kPageSize);
    CPage_Header h = parse(page);
    EXPECT_EQ(h.page_type, 0u);
    EXPECT_EQ(h.slot_count, 0);
    EXPECT_EQ(h.object_id, 0);
    EXPECT_EQ(h.this_page, (PageAddress{0, 0}));
    EXPECT_EQ(h.next_page, (PageAddress{0, 0}));
    EXPECT_EQ(h.prev_page, (PageAddress{0, 0}));
    EXPECT_EQ(h.lsn_text, "( 0 : 0 : 0 )");
    EXPECT_FALSE(read_slot_array(page, h).has_value());
}

TEST(PageHeader, BufferShorterThanAPageGivesTheEmptyHeaderAndIsNotTouched) {
    Bytes page =
        testing::make_page(PageSpec{.type = 1, .flag_bits = 0x0100, .object_id = 5, .torn_bits = ~0u});
    page.resize(kPageSize - 1);
    const Bytes before = page;
    CPage_Header h = parse(page);
    EXPECT_EQ(h.object_id, 0);
    EXPECT_EQ(h.page_type, 0u);
    EXPECT_EQ(h.this_page, (PageAddress{1, 0}));
    EXPECT_EQ(page, before);
}

struct SlotCase {
    std::int16_t count;
    bool has_array;
};

class SlotArrayCount : public ::testing::TestWithParam<SlotCase> {};

TEST_P(SlotArrayCount, OnlyCountsFromOneTo3999GiveAnArray) {
    const SlotCase& c = GetParam();
    Bytes page = testing::make_page(PageSpec{.slot_count = c.count});
    for (std::size_t i = 96; i < kPageSize; ++i) page[i] = std::byte{0x11};
    CPage_Header h = parse(page);
    auto slots = read_slot_array(page, h);
    ASSERT_EQ(slots.has_value(), c.has_array);
    if (c.has_array) {
        ASSERT_EQ(slots->size(), static_cast<std::size_t>(c.count));
        EXPECT_EQ(slots->back(), 0x1111);
    }
}

INSTANTIATE_TEST_SUITE_P(Counts, SlotArrayCount,
                         ::testing::Values(SlotCase{0, false}, SlotCase{-1, false}, SlotCase{-32768, false},
                                           SlotCase{1, true}, SlotCase{3999, true}, SlotCase{4000, false},
                                           SlotCase{4001, false}, SlotCase{32767, false}));

TEST(SlotArray, SlotJIsReadBackwardsFromTheEndOfThePage) {
    PageBuilder b(PageSpec{.type = 1});
    b.add_record({1, 2, 3});
    b.add_record({4, 5});
    b.add_slot(0x1234);
    Bytes page = b.build();
    EXPECT_EQ(page[8190], std::byte{96});
    EXPECT_EQ(page[8188], std::byte{99});
    CPage_Header h = parse(page);
    auto slots = read_slot_array(page, h);
    ASSERT_TRUE(slots.has_value());
    EXPECT_EQ(*slots, (std::vector<std::uint16_t>{96, 99, 0x1234}));
}

TEST(SlotArray, ShortBufferGivesNoArray) {
    Bytes page = testing::make_page(PageSpec{.slot_count = 2});
    CPage_Header h = parse(page);
    page.resize(kPageSize - 2);
    EXPECT_FALSE(read_slot_array(page, h).has_value());
}

}  // namespace
}  // namespace quenlow
