#include <gtest/gtest.h>

#include "engine/pages/record_page.h"
#include "tests/support/record_builder.h"

namespace quenlow {
namespace {

using testing::build_record;
using testing::Bytes;
using testing::PageAssembler;
using testing::record_status;
using testing::RecordSpec;
using testing::TestDatabase;

// A row whose fixed part ends at byte 132, so that it starts with 30 00 84 00 (or 3C 00 84 00 when
// deleted): the shape the scan searches for.
Bytes marker_row(int type, std::uint8_t fill) {
    RecordSpec blueprint;
    blueprint.status_a = record_status(type);
    blueprint.fixed = testing::repeat_byte(fill, 128);
    blueprint.column_count = 3;
    blueprint.variable = {{testing::repeat_byte(fill, 5)}};
    return build_record(blueprint);
}

class BodyScanTest : public ::testing::Test {
  protected:
    TestDatabase database{testing::page_images(4, {})};

    void settings(bool deleted, bool advanced) {
        database.reopen({.show_deleted = deleted, .show_advanced_deleted = advanced});
    }
    std::unique_ptr<PrimaryRecordPage> build(const PageAssembler& page) {
        return std::make_unique<PrimaryRecordPage>(page.finish(), database.db());
    }
};

TEST_F(BodyScanTest, DeletedRowBehindALiveRowBecomesAnExtraSlot) {
    PageAssembler page;
    const auto live = page.add_record(marker_row(0, 0x11));
    const auto deleted = page.add_unslotted(marker_row(kRecordDeletedData, 0x22));
    ASSERT_EQ(std::to_integer<int>(marker_row(kRecordDeletedData, 0)[0]), 0x3C);

    struct Case {
        bool deleted;
        bool advanced;
        std::size_t records;
    };
    for (const Case& c :
         {Case{false, false, 1}, Case{true, false, 1}, Case{false, true, 1}, Case{true, true, 2}}) {
        settings(c.deleted, c.advanced);
        auto built = build(page);
        ASSERT_EQ(built->records().size(), c.records) << c.deleted << c.advanced;
        EXPECT_EQ(built->header().slot_count, static_cast<std::int16_t>(c.records));
    }
    auto built = build(page);
    EXPECT_EQ(*built->slot_array(), (std::vector<std::uint16_t>{live, deleted}));
    const CPrimaryRecord* found = built->primary_record(1);
    ASSERT_NE(found, nullptr);
    EXPECT_FALSE(found->invalid);
    EXPECT_EQ(found->type, kRecordDeletedData);
    EXPECT_EQ(found->fixed_part.size(), 128u);
    EXPECT_EQ(std::to_integer<int>(found->fixed_part[0]), 0x22);
    EXPECT_EQ(built->scan_candidates().size(), 2u);
}

TEST_F(BodyScanTest, SearchesPastGarbageToTheNextRow) {
    settings(true, true);
    PageAssembler page;
    const auto live = page.add_record(marker_row(0, 0x11));
    page.add_unslotted(testing::repeat_byte(0xEE, 37));
    const auto deleted = page.add_unslotted(marker_row(kRecordDeletedData, 0x22));
    const auto second_live = page.add_unslotted(marker_row(0, 0x33));
    page.add_slot(second_live);
    auto built = build(page);
    // The original slots first, then what the scan found, in page order.
    EXPECT_EQ(*built->slot_array(), (std::vector<std::uint16_t>{live, second_live, deleted}));
    ASSERT_EQ(built->records().size(), 3u);
    EXPECT_EQ(built->primary_record(2)->type, kRecordDeletedData);
}

TEST_F(BodyScanTest, MarkerWithoutARecordIsSteppedOver) {
    settings(true, true);
    PageAssembler page;
    page.add_record(marker_row(0, 0x11));
    // A marker whose column count is 0: no record there; the scan must go on past it.
    Bytes broken = testing::bytes_of({0x30, 0x00, 0x84, 0x00});
    broken.resize(140, std::byte{0});
    page.add_unslotted(broken);
    const auto deleted = page.add_unslotted(marker_row(kRecordDeletedData, 0x22));
    auto built = build(page);
    ASSERT_EQ(built->records().size(), 2u);
    EXPECT_EQ(built->slot_array()->back(), deleted);
}

TEST_F(BodyScanTest, PagesTheScanLeavesAlone) {
    settings(true, true);
    // No slot array: no scan, even with a row in the body.
    PageAssembler no_slots;
    no_slots.add_unslotted(marker_row(kRecordDeletedData, 0x22));
    auto built = build(no_slots);
    EXPECT_TRUE(built->records().empty());
    EXPECT_TRUE(built->scan_candidates().empty());

    // Garbage only: the original slot stays the only one.
    PageAssembler garbage;
    garbage.add_record(marker_row(0, 0x11));
    garbage.add_unslotted(testing::repeat_byte(0xEE, 4000));
    auto g = build(garbage);
    EXPECT_EQ(g->slot_array()->size(), 1u);

    // A stop request ends the scan before it starts.
    PageAssembler page;
    page.add_record(marker_row(0, 0x11));
    page.add_unslotted(marker_row(kRecordDeletedData, 0x22));
    database.state().stop = true;
    auto stopped = build(page);
    database.state().stop = false;
    EXPECT_EQ(stopped->slot_array()->size(), 1u);
}

TEST_F(BodyScanTest, NothingFoundInsideTheHeaderOrPastThePage) {
    settings(true, true);
    PageAssembler page;
    page.add_record(marker_row(0, 0x11));
    // A row marker right at the end of the body: the row cannot fit.
    page.put(8180, testing::bytes_of({0x3C, 0x00, 0x84, 0x00}));
    // Row-like bytes inside the header are never looked at.
    page.put(60, testing::bytes_of({0x30, 0x00, 0x84, 0x00}));
    auto built = build(page);
    for (std::uint16_t s : *built->slot_array()) {
        EXPECT_GE(s, 96);
        EXPECT_LT(s, 8190);
    }
    EXPECT_EQ(built->slot_array()->size(), 1u);
}

TEST_F(BodyScanTest, FullPageOfRowsIsWalkedRecordByRecord) {
    settings(true, true);
    PageAssembler page;
    std::vector<std::uint16_t> all;
    for (int i = 0; i < 40; ++i) {
        Bytes row = marker_row(i % 3 == 0 ? kRecordDeletedData : 0, static_cast<std::uint8_t>(i));
        all.push_back(i % 3 == 0 ? page.add_unslotted(row) : page.add_record(row));
    }
    auto built = build(page);
    ASSERT_EQ(built->records().size(), all.size());
    std::vector<std::uint16_t> sorted = *built->slot_array();
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, all);
    for (std::size_t i = 0; i < built->records().size(); ++i) {
        ASSERT_NE(built->primary_record(i), nullptr);
        EXPECT_FALSE(built->primary_record(i)->invalid);
    }
}

}  // namespace
}  // namespace quenlow
