#include <gtest/gtest.h>

#include "engine/pages/allocation_map.h"
#include "tests/support/allocation_pages.h"
#include "tests/support/record_builder.h"

namespace quenlow {
namespace {

using testing::build_record;
using testing::Bytes;
using testing::PageAssembler;
using testing::record_status;
using testing::RecordSpec;
using testing::TestDatabase;

constexpr std::int32_t kObject = 150;

}  // namespace

static void PrintTo(const PageAddress& a, std::ostream* os) {
    *os << "(" << a.file_id << ":" << a.page_id << ")";
}
static void PrintTo(const ExtentRange& e, std::ostream* os) {
    PrintTo(e.first, os);
    *os << "..";
    PrintTo(e.last, os);
}

namespace {

// The IAM header record: 90 bytes of fixed part with the single-page slots at 42 + 6k.
Bytes iam_header_record(const std::vector<PageAddress>& singles) {
    Bytes fixed(90, std::byte{0});
    testing::put_u32(fixed, 0, 1);
    testing::put_u32(fixed, 28, kObject);
    for (std::size_t k = 0; k < singles.size(); ++k) {
        testing::put_u32(fixed, 42 + 6 * k, static_cast<std::uint32_t>(singles[k].page_id));
        testing::put_u16(fixed, 46 + 6 * k, singles[k].file_id);
    }
    RecordSpec blueprint;
    blueprint.status_a = record_status(0, false, false);
    blueprint.fixed = fixed;
    blueprint.column_count = 0;
    return build_record(blueprint);
}

// The bitmap record: a fixed part of bitmap_bytes bytes with the given extent bits set.
Bytes bitmap_record(const std::vector<std::size_t>& extents, std::size_t bitmap_bytes = 7988) {
    Bytes fixed(bitmap_bytes, std::byte{0});
    for (std::size_t e : extents) fixed[e / 8] |= static_cast<std::byte>(1u << (e % 8));
    RecordSpec blueprint;
    blueprint.status_a = record_status(0, false, false);
    blueprint.fixed = fixed;
    blueprint.column_count = 0;
    return build_record(blueprint);
}

PageBuffer iam_page(std::int32_t page_id, const std::vector<PageAddress>& singles,
                    const std::vector<std::size_t>& extents, PageAddress next = {0, 0}) {
    PageAssembler page(10, page_id);
    page.object_id(kObject).next_page(next);
    page.add_record(iam_header_record(singles));
    page.add_record(bitmap_record(extents));
    return page.finish();
}

PageBuffer data_page(std::int32_t page_id, PageAddress next) {
    PageAssembler page(1, page_id);
    page.next_page(next);
    return page.finish();
}

std::vector<PageAddress> run(std::int32_t first, std::int32_t last, std::uint16_t file = 1) {
    std::vector<PageAddress> out;
    for (std::int32_t id = first; id <= last; ++id) out.push_back({file, id});
    return out;
}

std::vector<PageAddress> concat(std::initializer_list<std::vector<PageAddress>> parts) {
    std::vector<PageAddress> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(ExtentAllocationMapTest, BitmapComesFromTheSecondRecord) {
    TestDatabase db(testing::page_images(32, {}));
    ExtentAllocationMap map(iam_page(3, {}, {0, 2, 9, 63903}), db.db());
    EXPECT_EQ(map.filled_entries(), 63904u);
    EXPECT_EQ(map.bitmap()[0], 1);
    EXPECT_EQ(map.bitmap()[1], 0);
    EXPECT_EQ(map.bitmap()[2], 1);
    EXPECT_EQ(map.bitmap()[9], 1);
    EXPECT_EQ(map.bitmap()[63903], 1);
    // The primary file has 32 pages: 4 extents.
    EXPECT_EQ(map.allocated_extents(),
              (std::vector<ExtentRange>{{0, {1, 0}, {1, 7}}, {0, {1, 16}, {1, 23}}}));
    EXPECT_EQ(map.allocated_extents(100000).size(), 4u);
}

TEST(ExtentAllocationMapTest, LongBitmapIsCutAtOneInterval) {
    TestDatabase db(testing::page_images(4, {}));
    PageAssembler page(8, 2);
    page.add_record(iam_header_record({}));
    page.add_record(bitmap_record({63903}, 7990));  // two bytes more than one interval
    ExtentAllocationMap map(page.finish(), db.db());
    EXPECT_EQ(map.filled_entries(), 63904u);
    EXPECT_EQ(map.bitmap().size(), 63904u);
}

TEST(ExtentAllocationMapTest, MapsWithoutABitmap) {
    TestDatabase db(testing::page_images(4, {}));
    PageAssembler one_record(8, 2);
    one_record.add_record(bitmap_record({0, 1}));
    ExtentAllocationMap a(one_record.finish(), db.db());
    EXPECT_EQ(a.filled_entries(), 0u);
    EXPECT_TRUE(a.allocated_extents(100).empty());

    PageAssembler no_fixed(8, 2);
    no_fixed.add_record(iam_header_record({}));
    RecordSpec blueprint;
    blueprint.fixed_end = 4;
    no_fixed.add_record(build_record(blueprint));
    ExtentAllocationMap b(no_fixed.finish(), db.db());
    EXPECT_EQ(b.filled_entries(), 0u);

    // A zero page and a page whose second slot points into the header.
    ExtentAllocationMap zero(PageBuffer(kPageBufferSize, std::byte{0}), db.db());
    EXPECT_EQ(zero.filled_entries(), 0u);
    PageAssembler bad_slot(8, 2);
    bad_slot.add_record(iam_header_record({}));
    bad_slot.add_slot(20);
    ExtentAllocationMap c(bad_slot.finish(), db.db());
    EXPECT_EQ(c.filled_entries(), 0u);
}

TEST(ExtentAllocationMapTest, SecondIntervalCountsFromItsStart) {
    TestDatabase db(testing::page_images(4, {}));
    ExtentAllocationMap map(iam_page(511232 + 40, {}, {0, 3}), db.db());
    EXPECT_EQ(map.allocated_extents(100),
              (std::vector<ExtentRange>{{0, {1, 511232}, {1, 511239}}, {0, {1, 511256}, {1, 511263}}}));
    ExtentAllocationMap below(iam_page(511231, {}, {1}), db.db());
    EXPECT_EQ(below.allocated_extents(100), (std::vector<ExtentRange>{{0, {1, 8}, {1, 15}}}));
}

TEST(ExtentAllocationMapTest, ExtentsNearTheLargestPageIdAreDropped) {
    TestDatabase db(testing::page_images(4, {}));
    // The last interval that starts below 2^31 runs past it.
    const std::int32_t page_id = 2147174400 + 5;
    ExtentAllocationMap map(iam_page(page_id, {}, {0, 63903}), db.db());
    auto extents = map.allocated_extents(100000);
    ASSERT_EQ(extents.size(), 1u);
    EXPECT_EQ(extents[0].first.page_id, 2147174400);
}

TEST(ExtentAllocationMapTest, PagesOfAnExtent) {
    EXPECT_EQ(extent_pages({0, {3, 16}, {3, 23}}), run(16, 23, 3));
    EXPECT_TRUE(extent_pages({0, {1, 9}, {1, 8}}).empty());
    EXPECT_EQ(extent_pages({0, {1, 8}, {1, 100}}).size(), 8u);
}

TEST(IamPageTest, HeaderRecordGivesTheSinglePageSlots) {
    TestDatabase db(testing::page_images(32, {}));
    IamPage page(iam_page(3, {{1, 5}, {1, 9}}, {}), db.db());
    ASSERT_TRUE(page.has_header_record());
    EXPECT_EQ(page.iam_header().object_id, kObject);
    EXPECT_EQ(page.iam_header().sequence_number, 1u);
    EXPECT_EQ(page.iam_header().single_pages[0], (PageAddress{1, 5}));
    EXPECT_EQ(page.iam_header().single_pages[1], (PageAddress{1, 9}));
    EXPECT_EQ(page.iam_header().single_pages[2], (PageAddress{0, 0}));

    // A header record too short for the slots keeps the defaults.
    PageAssembler short_header(10, 3);
    RecordSpec blueprint;
    blueprint.status_a = record_status(0, false, false);
    blueprint.fixed = Bytes(44, std::byte{0xAB});
    short_header.add_record(build_record(blueprint));
    IamPage s(short_header.finish(), db.db());
    ASSERT_TRUE(s.has_header_record());
    EXPECT_EQ(s.iam_header().single_pages[0], (PageAddress{kPrimaryFileId, 0}));
    IamPage zero(PageBuffer(kPageBufferSize, std::byte{0}), db.db());
    EXPECT_FALSE(zero.has_header_record());
}

TEST(IamWalkTest, SinglePagesFirstThenExtentsInBitmapOrder) {
    TestDatabase db(testing::page_images(32, {{3, iam_page(3, {{1, 25}, {1, 9}}, {0, 2})}}));
    // Page 0 of the first extent is never listed: page id 0 addresses nothing.
    EXPECT_EQ(walk_iam_chain(db.db(), {1, 3}), concat({{{1, 25}, {1, 9}}, run(1, 7), run(16, 23)}));
}

TEST(IamWalkTest, SinglePageSlotsOutsideTheFileAreSkipped) {
    // 32 pages: page 32 is "not above the page count" and stays; 33 does not.
    TestDatabase db(testing::page_images(
        32, {{3, iam_page(3, {{1, 33}, {1, 32}, {0, 7}, {1, -4}, {1, 0}, {2, 6}}, {})}}));
    EXPECT_EQ(walk_iam_chain(db.db(), {1, 3}), (std::vector<PageAddress>{{1, 32}, {2, 6}}));
}

TEST(IamWalkTest, FollowsTheChainAndStopsAtALoop) {
    TestDatabase db(testing::page_images(32, {{3, iam_page(3, {{1, 20}}, {}, {1, 10})},
                                              {10, iam_page(10, {{1, 21}}, {}, {1, 12})},
                                              {12, iam_page(12, {{1, 22}}, {}, {1, 3})}}));
    EXPECT_EQ(walk_iam_chain(db.db(), {1, 3}), (std::vector<PageAddress>{{1, 20}, {1, 21}, {1, 22}}));
    // Starting in the middle of the loop.
    EXPECT_EQ(walk_iam_chain(db.db(), {1, 12}), (std::vector<PageAddress>{{1, 22}, {1, 20}, {1, 21}}));
}

TEST(IamWalkTest, EndsAtAnUnreadablePageOrAStop) {
    TestDatabase db(testing::page_images(32, {{3, iam_page(3, {{1, 20}}, {}, {1, 900})}}));
    EXPECT_EQ(walk_iam_chain(db.db(), {1, 3}), (std::vector<PageAddress>{{1, 20}}));
    EXPECT_TRUE(walk_iam_chain(db.db(), {1, 900}).empty());
    EXPECT_TRUE(walk_iam_chain(db.db(), {1, 0}).empty());
    db.state().stop = true;
    EXPECT_TRUE(walk_iam_chain(db.db(), {1, 3}).empty());
    EXPECT_TRUE(db.state().stop.load());
}

// PFS bytes for the first `count` pages of one interval: all allocated but the listed ones.
std::vector<std::uint8_t> pfs_bytes(const std::vector<std::size_t>& freed, std::size_t count = 8088) {
    std::vector<std::uint8_t> bytes(count, 0x40);
    for (std::size_t p : freed)
        if (p < count) bytes[p] = p % 2 == 0 ? 0x20 : 0x80;  // mixed or ghost bits, not allocated
    return bytes;
}

TEST(IamWalkTest, ExtentPagesThePfsMarksFreeAreLeftOut) {
    PageBuffer wrong_type = testing::pfs_page(1, pfs_bytes({17, 20}));
    wrong_type[1] = std::byte{8};
    struct Case {
        const char* name;
        PageBuffer pfs;
        std::vector<PageAddress> extent_pages;
    };
    std::vector<Case> cases;
    cases.push_back({"freed pages", testing::pfs_page(1, pfs_bytes({17, 20, 25})),
                     {{1, 16}, {1, 18}, {1, 19}, {1, 21}, {1, 22}, {1, 23}}});
    cases.push_back({"no PFS page", PageBuffer(kPageBufferSize, std::byte{0}), run(16, 23)});
    cases.push_back({"not of the PFS type", std::move(wrong_type), run(16, 23)});
    cases.push_back({"no record", PageAssembler(11, 1).finish(), run(16, 23)});
    cases.push_back({"bytes end at page 17", testing::pfs_page(1, pfs_bytes({17, 20}, 18)),
                     concat({{{1, 16}}, run(18, 23)})});
    for (Case& c : cases) {
        TestDatabase db(testing::page_images(32, {{1, std::move(c.pfs)}, {3, iam_page(3, {{1, 25}}, {2})}}));
        // The single-page slot names page 25 itself and is kept whatever its PFS byte.
        const std::vector<PageAddress> expected = concat({{{1, 25}}, c.extent_pages});
        EXPECT_EQ(walk_iam_chain(db.db(), {1, 3}), expected) << c.name;
        db.state().sql2000_layout = true;
        EXPECT_EQ(walk_iam_chain(db.db(), {1, 3}, db.db().iam_pages().lookup(kObject)), expected) << c.name;
    }
}

TEST(IamWalkTest, PagesOfALaterPfsIntervalUseItsOwnPfsPage) {
    // Page 8088 is the second PFS page; it covers pages 8088 to 16175, page 1 the ones before.
    TestDatabase db(testing::page_images(8096, {{1, testing::pfs_page(1, pfs_bytes({18, 8090 % 8088}))},
                                                {3, iam_page(3, {}, {2, 1011})},
                                                {8088, testing::pfs_page(8088, pfs_bytes({3}))}}));
    EXPECT_EQ(walk_iam_chain(db.db(), {1, 3}),
              concat({{{1, 16}, {1, 17}}, run(19, 23), run(8088, 8090), run(8092, 8095)}));
}

TEST(IamWalkTest, OldLayoutVisitsTheMappedIamPagesInMapOrder) {
    // Page 3 points on to page 12 (also an IAM page, of another object); page 10 points back to 3.
    PageAssembler other(10, 12);
    other.object_id(151);
    other.add_record(iam_header_record({{1, 30}}));
    TestDatabase db(testing::page_images(32, {{3, iam_page(3, {{1, 20}}, {}, {1, 12})},
                                              {10, iam_page(10, {{1, 21}}, {2}, {1, 3})},
                                              {12, other.finish()}}));
    const auto mapped = db.db().iam_pages().lookup(kObject);
    ASSERT_EQ(mapped.size(), 2u);
    db.state().sql2000_layout = true;
    EXPECT_EQ(walk_iam_chain(db.db(), {1, 12}, mapped), concat({{{1, 20}, {1, 21}}, run(16, 23)}));
    EXPECT_TRUE(walk_iam_chain(db.db(), {1, 3}, {}).empty());
    db.state().sql2000_layout = false;
    EXPECT_EQ(walk_iam_chain(db.db(), {1, 3}, mapped), (std::vector<PageAddress>{{1, 20}, {1, 30}}));
}

TEST(DataPageChainTest, LoopStopsAtTheFirstRepeatedPage) {
    TestDatabase db(testing::page_images(
        16, {{4, data_page(4, {1, 5})}, {5, data_page(5, {1, 6})}, {6, data_page(6, {1, 4})}}));
    EXPECT_EQ(walk_data_page_chain(db.db(), {1, 4}), run(4, 6));
    EXPECT_EQ(walk_header_chain(db.db(), {1, 4}), run(4, 6));
    EXPECT_EQ(walk_data_page_chain(db.db(), {1, 6}), (std::vector<PageAddress>{{1, 6}, {1, 4}, {1, 5}}));
}

TEST(DataPageChainTest, ChainEnds) {
    TestDatabase db(testing::page_images(16, {{4, data_page(4, {1, 5})},
                                              {5, data_page(5, {1, 0})},
                                              {7, data_page(7, {1, 99})},
                                              {8, data_page(8, {0, 9})},
                                              {9, data_page(9, {1, 0})}}));
    EXPECT_EQ(walk_data_page_chain(db.db(), {1, 4}), run(4, 5));
    // The next page cannot be read.
    EXPECT_EQ(walk_data_page_chain(db.db(), {1, 7}), run(7, 7));
    EXPECT_TRUE(walk_data_page_chain(db.db(), {1, 99}).empty());
    // File id 0 names no file: the chain ends there.
    EXPECT_EQ(walk_data_page_chain(db.db(), {1, 8}), run(8, 8));
}

TEST(HeaderChainTest, ListsTheNextPagesOfDataPages) {
    PageAssembler index(2, 6);
    index.next_page({1, 7});
    TestDatabase db(testing::page_images(16, {{4, data_page(4, {1, 5})},
                                              {5, data_page(5, {1, 6})},
                                              {6, index.finish()},
                                              {7, data_page(7, {1, 8})},
                                              {8, data_page(8, {0, 0})}}));
    // Page 6 is not a data page: its next page (7) is read but not listed.
    EXPECT_EQ(walk_header_chain(db.db(), {1, 4}), (std::vector<PageAddress>{{1, 4}, {1, 5}, {1, 6}, {1, 8}}));
    // An unreadable start is still listed.
    EXPECT_EQ(walk_header_chain(db.db(), {1, 99}), (std::vector<PageAddress>{{1, 99}}));
    // File id 0: neither listed nor read.
    EXPECT_TRUE(walk_header_chain(db.db(), {0, 4}).empty());
}

TEST(HeaderChainTest, StopShortensTheListAndIsCleared) {
    TestDatabase db(testing::page_images(16, {{4, data_page(4, {1, 5})}, {5, data_page(5, {1, 0})}}));
    db.state().stop = true;
    EXPECT_EQ(walk_header_chain(db.db(), {1, 4}), run(4, 4));
    EXPECT_FALSE(db.state().stop.load());
    db.state().stop = true;
    EXPECT_TRUE(walk_data_page_chain(db.db(), {1, 4}).empty());
    EXPECT_TRUE(db.state().stop.load());
}

}  // namespace
}  // namespace quenlow
