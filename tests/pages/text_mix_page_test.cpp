// LOB pages: fragment records, the record list of a text page, and the LOB page read that follows a
// page's own id when the file's pages sit shifted.

#include "engine/pages/text_mix_page.h"

#include <gtest/gtest.h>

#include "tests/support/lob_builder.h"
#include "tests/support/record_builder.h"

namespace quenlow {
namespace {

using testing::Bytes;
using testing::PageAssembler;
using testing::TestDatabase;

TEST(TextRecord, ParsesLobBytesOnlyWhenTheyLieInsideTheRecord) {
    struct Case {
        const char* what;
        Bytes bytes;
        bool has_lob_bytes;
        std::uint16_t lob_type;
        std::int32_t lob_length;
    };
    const Case cases[] = {
        {"data fragment", testing::data_fragment(0x1122334455667788, testing::bytes_of({1, 2, 3})), true, 3,
         3},
        {"small root", testing::small_root_fragment(5, testing::bytes_of({9})), true, 0, 7},
        {"end of fixed part 4: no bytes", testing::bytes_of({0x08, 0, 4, 0, 1, 2}), false, 8, 0},
        {"end of fixed part below 4", testing::bytes_of({0x08, 0, 2, 0, 1, 2}), false, 8, 0},
        {"negative end of fixed part", testing::bytes_of({0x08, 0, 0xFF, 0xFF, 1, 2}), false, 8, 0},
        {"end past the record's room", testing::bytes_of({0x08, 0, 9, 0, 1, 2, 3, 4}), false, 8, 0},
        {"fewer than 10 LOB bytes", testing::bytes_of({0x08, 0, 9, 0, 1, 2, 3, 4, 5}), true, 8, 5},
        {"shorter than a record header", testing::bytes_of({0x08, 0}), false, 8, 0},
    };
    TestDatabase database(testing::page_images(4, {}));
    PageAssembler blank(3, 1);
    const TextMixPage page(blank.finish(), &database.db());
    for (const Case& c : cases) {
        const auto record = parse_text_record(c.bytes, page);
        ASSERT_NE(record, nullptr) << c.what;
        EXPECT_EQ(record->has_lob_bytes(), c.has_lob_bytes) << c.what;
        EXPECT_EQ(record->lob_type, c.lob_type) << c.what;
        EXPECT_EQ(record->lob_length, c.lob_length) << c.what;
        if (record->has_lob_bytes()) {
            EXPECT_LE(record->lob_bytes.size() + 4, c.bytes.size()) << c.what;
        }
    }
    const auto data = parse_text_record(cases[0].bytes, page);
    EXPECT_EQ(data->blob_id, 0x1122334455667788u);
    EXPECT_EQ(data->type, kRecordLargeFragment);
}

TEST(TextMixPage, SlotsThatCannotStartARecordGiveNullEntries) {
    PageAssembler builder(3, 2);
    builder.add_record(testing::data_fragment(1, testing::bytes_of({'x'})));
    builder.add_slot(0);
    builder.add_slot(40);    // inside the header
    builder.add_slot(8190);  // no room for a record header
    builder.add_slot(9000);  // past the page
    TestDatabase database(testing::page_images(4, {}));
    const TextMixPage page(builder.finish(), &database.db());
    ASSERT_EQ(page.records().size(), 5u);
    ASSERT_NE(page.text_record(0), nullptr);
    EXPECT_EQ(page.text_record(0)->lob_type, 3);
    for (std::size_t i = 1; i < 5; ++i) EXPECT_EQ(page.text_record(i), nullptr) << i;
    EXPECT_EQ(page.text_record(5), nullptr);
}

TEST(ReadLobPage, FollowsThePageIdTheHeaderGives) {
    // Page 6 says it is page 8: the file's pages sit two behind their ids, so page 6 is read at 4.
    PageAssembler wrong(3, 8);
    PageAssembler right(3, 4);
    right.add_record(testing::data_fragment(1, testing::bytes_of({'r'})));
    PageAssembler far(3, 50);  // says 50 at position 7: 7 - 43 is no page
    PageAssembler own(3, 5);
    own.add_record(testing::data_fragment(1, testing::bytes_of({'o'})));
    TestDatabase database(testing::page_images(
        10, {{6, wrong.finish()}, {4, right.finish()}, {7, far.finish()}, {5, own.finish()}}));

    const auto shifted = read_lob_page(database.db(), {1, 6});
    ASSERT_NE(shifted, nullptr);
    EXPECT_EQ(shifted->header().this_page.page_id, 4);
    ASSERT_NE(shifted->text_record(0), nullptr);

    const auto direct = read_lob_page(database.db(), {1, 5});
    ASSERT_NE(direct, nullptr);
    EXPECT_EQ(direct->header().this_page.page_id, 5);

    EXPECT_EQ(read_lob_page(database.db(), {1, 7}), nullptr);
    EXPECT_EQ(read_lob_page(database.db(), {1, 0}), nullptr);
    EXPECT_EQ(read_lob_page(database.db(), {1, 99}), nullptr);
    EXPECT_EQ(read_lob_page(database.db(), {3, 5}), nullptr);
}

}  // namespace
}  // namespace quenlow
