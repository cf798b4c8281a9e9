#include <gtest/gtest.h>

#include <random>
#include <string>

#include "engine/pages/compressed_record.h"
#include "engine/pages/record_page.h"
#include "tests/support/record_builder.h"

namespace quenlow {
namespace {

using testing::build_record;
using testing::Bytes;
using testing::bytes_of;
using testing::PageAssembler;
using testing::record_status;
using testing::RecordSpec;
using testing::TestDatabase;

std::string text_of(ByteSpan bytes) {
    std::string out;
    for (std::byte b : bytes) out.push_back(static_cast<char>(b));
    return out;
}

Bytes text_bytes(const std::string& s) {
    Bytes out;
    for (char c : s) out.push_back(static_cast<std::byte>(c));
    return out;
}

// Fixed part of 8 bytes, 4 columns, a null bitmap with column 1 NULL, two variable values.
RecordSpec typical_row() {
    RecordSpec blueprint;
    blueprint.fixed = bytes_of({1, 0, 0, 0, 2, 0, 0, 0});
    blueprint.column_count = 4;
    blueprint.null_bitmap = bytes_of({0x02});
    blueprint.variable = {{text_bytes("abc")}, {text_bytes("defgh")}};
    return blueprint;
}

// A small database of zero pages for pages that do not follow stubs.
class RecordTest : public ::testing::Test {
  protected:
    TestDatabase database{testing::page_images(12, {})};

    std::unique_ptr<PrimaryRecordPage> build(const PageAssembler& page) {
        return std::make_unique<PrimaryRecordPage>(page.finish(), database.db());
    }
    std::unique_ptr<PrimaryRecordPage> build_one(const Bytes& record) {
        PageAssembler page;
        page.add_record(record);
        return build(page);
    }
};

TEST_F(RecordTest, TypicalRowIsCutIntoItsParts) {
    auto page = build_one(build_record(typical_row()));
    ASSERT_EQ(page->records().size(), 1u);
    const CPrimaryRecord* r = page->primary_record(0);
    ASSERT_NE(r, nullptr);
    EXPECT_FALSE(r->invalid);
    EXPECT_EQ(r->type, kRecordPrimary);
    EXPECT_EQ(r->fixed_length, 8);
    EXPECT_EQ(r->fixed_part.size(), 8u);
    EXPECT_EQ(r->column_count, 4);
    ASSERT_EQ(r->null_bitmap.size(), 1u);
    EXPECT_TRUE(r->is_null(1));
    EXPECT_FALSE(r->is_null(0));
    EXPECT_EQ(r->variable_column_count, 2);
    ASSERT_EQ(r->values.size(), 2u);
    EXPECT_EQ(text_of(r->values[0].data), "abc");
    EXPECT_EQ(text_of(r->values[1].data), "defgh");
    EXPECT_EQ(r->values[1].length, 5);
    // The values end where the end offset array says: 24 and 29 bytes from the record start.
    EXPECT_EQ(r->values[0].data.data() + 3, r->whole.data() + 24);
    EXPECT_EQ(r->length, 29);
    EXPECT_EQ(r->whole.size(), 29u);
    EXPECT_EQ(r->whole.data(), page->page_bytes().data() + 96);
    EXPECT_FALSE(r->ghost);
}

TEST_F(RecordTest, RecordTypesAcceptedBySetting) {
    struct Case {
        int type;
        bool show_deleted;
        bool valid;
    };
    const Case cases[] = {{0, false, true},  {1, false, true},  {3, false, false}, {4, false, false},
                          {5, false, false}, {6, false, false}, {6, true, true},   {7, true, false}};
    for (const Case& c : cases) {
        database.reopen({.show_deleted = c.show_deleted});
        RecordSpec blueprint = typical_row();
        blueprint.status_a = record_status(c.type);
        auto page = build_one(build_record(blueprint));
        const CPrimaryRecord* r = page->primary_record(0);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(!r->invalid, c.valid) << "type " << c.type << " show deleted " << c.show_deleted;
        EXPECT_EQ(r->type, c.type);
        if (c.valid) {
            EXPECT_EQ(r->values.size(), 2u);
        }
    }
}

TEST_F(RecordTest, PageThatCannotHoldRecordsMakesThemInvalid) {
    PageAssembler negative_id(1, -3);
    negative_id.add_record(build_record(typical_row()));
    PageAssembler high_type(18);
    high_type.add_record(build_record(typical_row()));
    // A negative page id also fails the header check, so the list stays empty; parsed directly, the
    // record is refused.
    auto negative = build(negative_id);
    EXPECT_TRUE(negative->records().empty());
    EXPECT_TRUE(build_primary_record(negative->page_bytes().subspan(96), *negative, 100)->invalid);
    auto high = build(high_type);
    ASSERT_EQ(high->records().size(), 1u);
    ASSERT_NE(high->primary_record(0), nullptr);
    EXPECT_TRUE(high->primary_record(0)->invalid);
    EXPECT_TRUE(high->primary_record(0)->values.empty());
}

TEST_F(RecordTest, SlotOffsetsOutsideTheBodyGiveNullEntries) {
    PageAssembler page;
    const auto good = page.add_record(build_record(typical_row()));
    for (std::uint16_t offset : {0, 40, 95, 8193, 9000}) page.add_slot(offset);
    page.add_slot(good);
    auto built = build(page);
    ASSERT_EQ(built->records().size(), 7u);
    EXPECT_NE(built->records()[0], nullptr);
    for (std::size_t i = 1; i <= 5; ++i) EXPECT_EQ(built->records()[i], nullptr) << "slot " << i;
    EXPECT_NE(built->records()[6], nullptr);
}

TEST_F(RecordTest, SlotAtPageEndGivesAnInvalidRecord) {
    PageAssembler page;
    page.add_slot(8192);
    auto built = build(page);
    ASSERT_EQ(built->records().size(), 1u);
    ASSERT_NE(built->records()[0], nullptr);
    EXPECT_TRUE(built->records()[0]->invalid);
}

TEST_F(RecordTest, HeaderThatRefusesTheWholeList) {
    struct Case {
        const char* what;
        void (*damage)(PageAssembler&);
    };
    const Case cases[] = {
        {"ghost count negative", [](PageAssembler& p) { p.ghost_count(-1); }},
        {"free count negative", [](PageAssembler& p) { p.free_count(0x8000); }},
        {"next file id negative",
         [](PageAssembler& p) {
             p.next_page({0x8001, 5});
         }},
        {"next page id negative",
         [](PageAssembler& p) {
             p.next_page({1, -5});
         }},
        {"previous file id negative",
         [](PageAssembler& p) {
             p.prev_page({0xFFFF, 5});
         }},
        {"previous page id negative",
         [](PageAssembler& p) {
             p.prev_page({1, -1});
         }},
        {"slot count 4000", [](PageAssembler& p) { p.slot_count(4000); }},
        {"slot count negative", [](PageAssembler& p) { p.slot_count(-2); }},
    };
    for (const Case& c : cases) {
        PageAssembler page;
        page.add_record(build_record(typical_row()));
        c.damage(page);
        auto built = build(page);
        EXPECT_TRUE(built->records().empty()) << c.what;
    }
    PageAssembler file_id(1, 1, 0x9000);
    file_id.add_record(build_record(typical_row()));
    EXPECT_TRUE(build(file_id)->records().empty());
}

TEST_F(RecordTest, FourThousandSlotsGiveNoRecordsInEverySetting) {
    for (bool deleted : {false, true}) {
        database.reopen({.show_deleted = deleted, .show_advanced_deleted = deleted});
        PageAssembler page;
        page.add_record(build_record(typical_row()));
        page.slot_count(4000);
        auto built = build(page);
        EXPECT_FALSE(built->slot_array().has_value());
        EXPECT_TRUE(built->records().empty());
        EXPECT_TRUE(built->scan_candidates().empty());
    }
}

// Counts read from a record size nothing beyond what the page can hold: a compact record whose column
// count is past the limit is refused before its entries are made, one whose count fits the limit gets no
// more entries than that, and an ordinary record whose variable count runs past its end keeps one item
// per declared column at most.
TEST_F(RecordTest, HugeCountsSizeNothingPastThePage) {
    struct Case {
        const char* name;
        Bytes record;
        std::size_t most_entries;
        std::size_t most_values;
    };
    constexpr auto kCompactLimit = static_cast<std::size_t>(compact_layout::kMaxColumns);
    constexpr auto kOrdinaryLimit = static_cast<std::size_t>(record_layout::kMaxColumns);
    const Case cases[] = {
        {"compact, 1023 columns in 7 bytes", bytes_of({0x21, 0x83, 0xFF, 0, 0, 0, 0}), kCompactLimit, 0},
        {"compact, 32767 columns", bytes_of({0x21, 0xFF, 0xFF, 0, 0, 0, 0}), 0, 0},
        {"compact, 127 columns in 6 bytes", bytes_of({0x21, 0x7F, 0, 0, 0, 0}), 127, 0},
        {"ordinary, 1023 variable columns in 10 bytes",
         bytes_of({0x20, 0x00, 0x04, 0x00, 0xFF, 0x03, 0x0A, 0x00, 'x', 'y'}), 0, kOrdinaryLimit},
        {"ordinary, 65535 columns", bytes_of({0x20, 0x00, 0x04, 0x00, 0xFF, 0xFF, 0x0A, 0x00, 'x', 'y'}), 0, 0},
    };
    for (const Case& c : cases) {
        auto page = build_one(c.record);
        const CPrimaryRecord* r = page->primary_record(0);
        ASSERT_NE(r, nullptr) << c.name;
        EXPECT_LE(r->column_entries.size(), c.most_entries) << c.name;
        EXPECT_LE(r->values.size(), c.most_values) << c.name;
    }
}

TEST_F(RecordTest, PagesWhoseSlotsAreNotRead) {
    PageAssembler index_page(2);
    index_page.level(1);
    index_page.add_record(build_record(typical_row()));
    auto built = build(index_page);
    ASSERT_EQ(built->records().size(), 1u);
    EXPECT_EQ(built->records()[0], nullptr);

    PageAssembler leaf(2);
    leaf.add_record(build_record(typical_row()));
    EXPECT_NE(build(leaf)->records()[0], nullptr);

    // Every record a ghost: nothing unless deleted records are shown.
    PageAssembler ghosts;
    ghosts.add_record(build_record(typical_row()));
    ghosts.ghost_count(1);
    EXPECT_EQ(build(ghosts)->records()[0], nullptr);
    database.reopen({.show_deleted = true});
    EXPECT_NE(build(ghosts)->records()[0], nullptr);
}

TEST_F(RecordTest, FixedPartRefusals) {
    struct Case {
        std::int16_t fixed_end;
        bool kept;
    };
    // 4 (empty), below 4, at or past 8064, and longer than the record may be (the record sits at 96,
    // so it may span 8096 bytes).
    const Case cases[] = {{12, true}, {4, false}, {3, false}, {-20, false}, {8064, false}, {9000, false}};
    for (const Case& c : cases) {
        RecordSpec blueprint = typical_row();
        blueprint.fixed_end = c.fixed_end;
        auto page = build_one(build_record(blueprint));
        const CPrimaryRecord* r = page->primary_record(0);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->has_fixed_part(), c.kept) << c.fixed_end;
        EXPECT_EQ(r->fixed_length, static_cast<std::int16_t>(c.fixed_end - 4));
    }
}

TEST_F(RecordTest, FixedPartLongerThanMaximumIsRefused) {
    PageAssembler page;
    RecordSpec blueprint = typical_row();
    blueprint.fixed_end = 60;  // fixed part of 56 bytes, but the record sits 40 bytes before the page end
    Bytes bytes = build_record(blueprint);
    bytes.resize(40);
    page.put(8192 - 40, bytes);
    page.add_slot(8192 - 40);
    auto r = build(page);
    ASSERT_NE(r->primary_record(0), nullptr);
    EXPECT_FALSE(r->primary_record(0)->has_fixed_part());
    EXPECT_EQ(r->primary_record(0)->max_length, 40);
}

TEST_F(RecordTest, ColumnCountOutsideItsRangeLeavesNoWholeRecord) {
    for (std::uint16_t count : {0, 1024, 60000}) {
        RecordSpec blueprint = typical_row();
        blueprint.column_count = count;
        blueprint.status_a = record_status(0, false, false);
        auto page = build_one(build_record(blueprint));
        const CPrimaryRecord* r = page->primary_record(0);
        ASSERT_NE(r, nullptr);
        EXPECT_TRUE(r->whole.empty()) << count;
        EXPECT_TRUE(r->values.empty());
        EXPECT_EQ(r->length, 12);  // stopped at the column count
    }
}

TEST_F(RecordTest, VariableCountAboveColumnCountGivesNoValues) {
    RecordSpec blueprint = typical_row();
    blueprint.variable_count = 5;  // 4 columns
    auto page = build_one(build_record(blueprint));
    const CPrimaryRecord* r = page->primary_record(0);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->variable_column_count, 0);
    EXPECT_TRUE(r->values.empty());
    EXPECT_EQ(r->length, 0);
    EXPECT_TRUE(r->whole.empty());
    EXPECT_FALSE(r->invalid);
}

TEST_F(RecordTest, VariableCountWithoutTheStatusBits) {
    // Bits 4 and 5 clear and a fixed part: the count is read from the record, after the column count.
    RecordSpec blueprint;
    blueprint.status_a = record_status(0, false, false);
    blueprint.fixed = bytes_of({9, 9, 9, 9});
    blueprint.column_count = 3;
    Bytes with_fixed = build_record(blueprint);
    Bytes tail = bytes_of({1, 0, 0, 0});
    with_fixed.insert(with_fixed.end(), tail.begin(), tail.end());  // count 1, end offset 0
    auto page = build_one(with_fixed);
    const CPrimaryRecord* r = page->primary_record(0);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->variable_column_count, 1);
    ASSERT_EQ(r->values.size(), 1u);
    EXPECT_FALSE(r->values[0].has_data());

    // No fixed part and no null bitmap: the count is the column count and the end offsets follow the
    // column count directly.
    Bytes bare = bytes_of({0x00, 0x00, 0x04, 0x00, 0x02, 0x00, 0x0C, 0x00, 0x0E, 0x00, 'x', 'y', 'z', 'w'});
    auto page2 = build_one(bare);
    const CPrimaryRecord* r2 = page2->primary_record(0);
    ASSERT_NE(r2, nullptr);
    EXPECT_FALSE(r2->has_fixed_part());
    EXPECT_EQ(r2->variable_column_count, 2);
    ASSERT_EQ(r2->values.size(), 2u);
    EXPECT_EQ(text_of(r2->values[0].data), "xy");
    EXPECT_EQ(text_of(r2->values[1].data), "zw");
    EXPECT_EQ(r2->length, 14);

    // The null bitmap present, no variable columns: nothing after the bitmap is read.
    blueprint.status_a = record_status(0, true, false);
    blueprint.fixed = bytes_of({7, 7});
    blueprint.column_count = 1;
    Bytes fixed_only = build_record(blueprint);
    auto page3 = build_one(fixed_only);
    EXPECT_EQ(page3->primary_record(0)->variable_column_count, 0);
    EXPECT_EQ(page3->primary_record(0)->length, 9);
}

TEST_F(RecordTest, RefusedValuesKeepTheirPlace) {
    struct Case {
        const char* what;
        std::vector<std::uint16_t> ends;  // as written, after the 2 x 2 offset bytes ending at 21
        std::vector<bool> taken;
    };
    const Case cases[] = {
        {"in order", {24, 29}, {true, true}},
        {"empty first value", {21, 29}, {false, true}},
        {"end past the record's maximum", {24, 8100}, {true, false}},
        {"end before start", {24, 22}, {true, false}},
        {"first refused, second from the same start", {9000, 25}, {false, true}},
    };
    for (const Case& c : cases) {
        Bytes bytes = build_record(typical_row());
        testing::put_u16(bytes, 17, c.ends[0]);
        testing::put_u16(bytes, 19, c.ends[1]);
        auto page = build_one(bytes);
        const CPrimaryRecord* r = page->primary_record(0);
        ASSERT_NE(r, nullptr);
        ASSERT_EQ(r->values.size(), 2u) << c.what;
        for (std::size_t i = 0; i < 2; ++i)
            EXPECT_EQ(r->values[i].has_data(), c.taken[i]) << c.what << " " << i;
        for (const auto& v : r->values) {
            if (!v.has_data()) continue;
            EXPECT_GE(v.data.data(), page->page_bytes().data() + 96);
            EXPECT_LE(v.data.data() + v.data.size(), page->page_bytes().data() + kPageSize);
        }
    }
}

TEST_F(RecordTest, EndOffsetPastTheRecordAtPageEnd) {
    RecordSpec blueprint = typical_row();
    Bytes bytes = build_record(blueprint);
    testing::put_u16(bytes, 19, 40);  // the record is 29 bytes and ends the page
    PageAssembler page;
    page.put(8192 - bytes.size(), bytes);
    page.add_slot(static_cast<std::uint16_t>(8192 - bytes.size()));
    auto built = build(page);
    const CPrimaryRecord* r = built->primary_record(0);
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(r->values.size(), 2u);
    EXPECT_TRUE(r->values[0].has_data());
    EXPECT_FALSE(r->values[1].has_data());
    EXPECT_EQ(r->length, 24);
}

TEST_F(RecordTest, ComplexValuesAndSparseVectors) {
    Bytes sparse = testing::sparse_vector({{7, text_bytes("seven")}, {12, text_bytes("tw")}});
    Bytes pointer16 = testing::repeat_byte(0, 16);
    pointer16[0] = std::byte{5};  // starts like a sparse vector, but 16 bytes long
    RecordSpec blueprint = typical_row();
    blueprint.variable = {{pointer16, true}, {sparse, true}};
    auto page = build_one(build_record(blueprint));
    const CPrimaryRecord* r = page->primary_record(0);
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(r->values.size(), 2u);
    EXPECT_TRUE(r->values[0].complex);
    EXPECT_EQ(r->values[0].length, 16);
    ASSERT_TRUE(r->sparse.has_value());
    EXPECT_EQ(r->sparse->declared_count, 2);
    ASSERT_EQ(r->sparse->values.size(), 2u);
    EXPECT_EQ(r->sparse->values[0].column_index, 7);
    EXPECT_EQ(text_of(r->sparse->values[0].data), "seven");
    EXPECT_EQ(r->sparse->values[1].column_index, 12);
    EXPECT_EQ(text_of(r->sparse->values[1].data), "tw");

    // The same 16 bytes alone: never a sparse vector.
    blueprint.variable = {{pointer16, true}};
    auto only16 = build_one(build_record(blueprint));
    EXPECT_FALSE(only16->primary_record(0)->sparse.has_value());
    // Not complex: never split.
    blueprint.variable = {{sparse, false}};
    EXPECT_FALSE(build_one(build_record(blueprint))->primary_record(0)->sparse.has_value());
}

TEST_F(RecordTest, DamagedSparseVectors) {
    auto page = build_one(build_record(typical_row()));
    auto split = [&](const Bytes& v) { return split_sparse_vector(ByteSpan(v), *page); };

    Bytes overrun = testing::sparse_vector({{1, text_bytes("ab")}});
    testing::put_u16(overrun, 2, 3);  // claims 3 entries; their offsets would lie past the vector
    EXPECT_FALSE(split(overrun).has_value());

    Bytes partial = testing::sparse_vector({{1, text_bytes("abcdefgh")}, {2, text_bytes("ij")}});
    testing::put_u16(partial, 2, 4);  // header fits (4 + 8 < 22) but entries 3 and 4 run past the end
    auto p = split(partial);
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->declared_count, 4);
    for (const auto& v : p->values) {
        if (v.has_data()) {
            EXPECT_LE(v.data.data() + v.data.size(), partial.data() + partial.size());
        }
    }

    Bytes huge = testing::sparse_vector({{1, text_bytes("ab")}});
    testing::put_u16(huge, 2, 0x7FFF);
    EXPECT_FALSE(split(huge).has_value());
    Bytes negative = testing::sparse_vector({{1, text_bytes("ab")}});
    testing::put_u16(negative, 2, 0xFFFE);
    auto neg = split(negative);
    ASSERT_TRUE(neg.has_value());
    EXPECT_TRUE(neg->values.empty());
    EXPECT_FALSE(split(bytes_of({5, 0, 1, 0})).has_value());

    Bytes past_end = testing::sparse_vector({{1, text_bytes("ab")}, {2, text_bytes("cd")}});
    testing::put_u16(past_end, 4 + 4 + 2, 400);  // second end offset past the vector
    auto pe = split(past_end);
    ASSERT_TRUE(pe.has_value());
    ASSERT_EQ(pe->values.size(), 2u);
    EXPECT_TRUE(pe->values[0].has_data());
    EXPECT_FALSE(pe->values[1].has_data());
}

TEST_F(RecordTest, CompactRecordsParseByTheirOwnLayout) {
    // An ordinary row with the compact bit set is no compact record; a compact one parses to its codes,
    // short data and long values.
    RecordSpec blueprint = typical_row();
    blueprint.status_a = record_status(0, true, true, true);
    auto damaged = build_one(build_record(blueprint));
    ASSERT_NE(damaged->primary_record(0), nullptr);
    EXPECT_TRUE(damaged->primary_record(0)->compressed);
    EXPECT_TRUE(damaged->primary_record(0)->invalid);

    const Bytes compact = bytes_of({0x21, 0x03, 0xA5, 0x00, 1, 2, 3, 4, 0x01, 0x01, 0x00, 0x02, 0x00, 'h', 'i'});
    auto page = build_one(compact);
    const CPrimaryRecord* r = page->primary_record(0);
    ASSERT_NE(r, nullptr);
    EXPECT_FALSE(r->invalid);
    std::vector<std::int32_t> codes;
    for (const CompactColumnEntry& e : r->column_entries) codes.push_back(e.code);
    EXPECT_EQ(codes, (std::vector<std::int32_t>{5, 10, 0}));
    EXPECT_EQ(r->fixed_part.size(), 4u);
    ASSERT_EQ(r->values.size(), 1u);
    EXPECT_EQ(r->values[0].length, 2);
    EXPECT_EQ(r->length, static_cast<std::int32_t>(compact.size()));
    ASSERT_EQ(r->column_entries.size(), 3u);
    EXPECT_TRUE(r->column_entries[2].null_mark);
    EXPECT_EQ(r->column_entries[1].value().size(), 2u);
}

// Pages 2 and 3 of a database: a stub on page 2 and what it points to on page 3.
class ForwardingTest : public ::testing::Test {
  protected:
    static PageBuffer stub_page(PageAddress target, std::int16_t slot) {
        PageAssembler page(1, 2);
        page.add_record(testing::forwarding_stub(target, slot));
        return page.finish();
    }
    static PageBuffer row_page(const Bytes& record, std::int32_t page_id = 3) {
        PageAssembler page(1, page_id);
        page.add_record(build_record(typical_row()));
        page.add_record(record);
        return page.finish();
    }
    static Bytes forwarded_row() {
        RecordSpec blueprint = typical_row();
        blueprint.status_a = record_status(kRecordForwarded);
        blueprint.variable = {{text_bytes("moved")}, {text_bytes("here")}};
        return build_record(blueprint);
    }
    static std::unique_ptr<PrimaryRecordPage> page_two(TestDatabase& db) {
        auto raw = db.db().read_raw_page({1, 2});
        return std::make_unique<PrimaryRecordPage>(std::move(*raw), db.db());
    }
};

TEST_F(ForwardingTest, StubIsReplacedByTheRowItNames) {
    TestDatabase db(testing::page_images(6, {{2, stub_page({1, 3}, 1)}, {3, row_page(forwarded_row())}}));
    auto page = page_two(db);
    const CPrimaryRecord* r = page->primary_record(0);
    ASSERT_NE(r, nullptr);
    EXPECT_FALSE(r->invalid);
    EXPECT_EQ(r->type, kRecordForwardingStub);
    EXPECT_EQ(r->fixed_length, 8);
    ASSERT_EQ(r->values.size(), 2u);
    EXPECT_EQ(text_of(r->values[0].data), "moved");
    EXPECT_EQ(text_of(r->values[1].data), "here");
    // The row's page is gone; the record holds its own copy.
    const std::byte* begin = page->buffer().data();
    EXPECT_TRUE(r->whole.data() < begin || r->whole.data() >= begin + kPageBufferSize);
    EXPECT_EQ(r->whole.size(), static_cast<std::size_t>(r->length));
}

TEST_F(ForwardingTest, StubsThatCannotBeFollowed) {
    struct Case {
        const char* what;
        PageAddress target;
        std::int16_t slot;
    };
    const Case cases[] = {
        {"missing slot", {1, 3}, 5}, {"negative slot", {1, 3}, -1}, {"page past the file", {1, 500}, 0},
        {"page 0", {1, 0}, 0},       {"unknown file", {7, 3}, 0},   {"zero page", {1, 4}, 0},
    };
    for (const Case& c : cases) {
        TestDatabase db(
            testing::page_images(6, {{2, stub_page(c.target, c.slot)}, {3, row_page(forwarded_row())}}));
        auto page = page_two(db);
        const CPrimaryRecord* r = page->primary_record(0);
        ASSERT_NE(r, nullptr) << c.what;
        EXPECT_EQ(r->fixed_length, record_layout::kUnresolvedStub) << c.what;
        EXPECT_FALSE(r->has_fixed_part()) << c.what;
        EXPECT_TRUE(r->values.empty()) << c.what;
    }
}

TEST_F(ForwardingTest, StubTruncatedByThePageEnd) {
    PageAssembler page(1, 2);
    Bytes stub = testing::forwarding_stub({1, 3}, 1);
    stub.resize(5);
    page.put(8192 - 5, stub);
    page.add_slot(8192 - 5);
    TestDatabase db(testing::page_images(6, {{2, page.finish()}, {3, row_page(forwarded_row())}}));
    auto built = page_two(db);
    EXPECT_EQ(built->primary_record(0)->fixed_length, record_layout::kUnresolvedStub);
}

TEST_F(ForwardingTest, TargetSlotPastTheForwardedLimit) {
    PageAssembler target(1, 3);
    target.add_slot(8100);
    TestDatabase db(testing::page_images(6, {{2, stub_page({1, 3}, 0)}, {3, target.finish()}}));
    EXPECT_EQ(page_two(db)->primary_record(0)->fixed_length, record_layout::kUnresolvedStub);
}

TEST_F(ForwardingTest, StubLoopEnds) {
    // Page 2 slot 0 -> page 3 slot 1 -> page 2 slot 0 -> ...
    PageAssembler three(1, 3);
    three.add_record(build_record(typical_row()));
    three.add_record(testing::forwarding_stub({1, 2}, 0));
    TestDatabase db(testing::page_images(6, {{2, stub_page({1, 3}, 1)}, {3, three.finish()}}));
    auto page = page_two(db);
    EXPECT_EQ(page->primary_record(0)->fixed_length, record_layout::kUnresolvedStub);

    // A stub to itself.
    TestDatabase self(testing::page_images(6, {{2, stub_page({1, 2}, 0)}}));
    EXPECT_EQ(page_two(self)->primary_record(0)->fixed_length, record_layout::kUnresolvedStub);
}

TEST_F(ForwardingTest, ShortChainOfStubsResolves) {
    PageAssembler three(1, 3);
    three.add_record(build_record(typical_row()));
    three.add_record(testing::forwarding_stub({1, 4}, 1));
    TestDatabase db(testing::page_images(
        6, {{2, stub_page({1, 3}, 1)}, {3, three.finish()}, {4, row_page(forwarded_row(), 4)}}));
    auto page = page_two(db);
    const CPrimaryRecord* r = page->primary_record(0);
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(r->values.size(), 2u);
    EXPECT_EQ(text_of(r->values[0].data), "moved");
}

// Every view a record hands out lies inside the bytes it was read from.
void expect_inside(const CRecord& r, ByteSpan region, const std::string& where) {
    auto inside = [&](ByteSpan s) {
        return s.empty() ||
               (s.data() >= region.data() && s.data() + s.size() <= region.data() + region.size());
    };
    EXPECT_TRUE(inside(r.fixed_part)) << where;
    EXPECT_TRUE(inside(r.null_bitmap)) << where;
    EXPECT_TRUE(inside(r.whole)) << where;
    for (const auto& v : r.values) EXPECT_TRUE(inside(v.data)) << where;
    if (r.sparse) {
        for (const auto& v : r.sparse->values) EXPECT_TRUE(inside(v.data)) << where;
    }
}

// Random pages, and a valid page with random bytes changed, in every deleted-record setting: nothing
// crashes, hangs or reads past the page.
TEST(RecordFuzz, RandomAndMutatedPages) {
    std::mt19937 rng(20240611);
    auto byte = [&]() { return static_cast<std::byte>(rng() & 0xFF); };
    TestDatabase db(testing::page_images(6, {}));
    // One database per setting: deleted records, and the body scan with them.
    std::vector<OpenedDatabase*> by_setting;
    for (int setting = 0; setting < 4; ++setting)
        by_setting.push_back(
            &db.reopen({.show_deleted = setting % 2 == 1, .show_advanced_deleted = setting / 2 == 1}));
    PageAssembler valid;
    for (int i = 0; i < 40; ++i) valid.add_record(build_record(typical_row()));
    valid.add_record(testing::forwarding_stub({1, 3}, 0));
    const PageBuffer valid_page = valid.finish();

    for (int iteration = 0; iteration < 1500; ++iteration) {
        PageBuffer page;
        if (iteration % 2 == 0) {
            page.assign(kPageBufferSize, std::byte{0});
            for (std::size_t i = 0; i < kPageSize; ++i) page[i] = byte();
            // Keep the header sane so that the slots are read.
            std::fill(page.begin() + 2, page.begin() + 64, std::byte{0});
            page[1] = std::byte{static_cast<unsigned char>(rng() % 3)};
            testing::put_u16(page, 22, static_cast<std::uint16_t>(rng() % 4200));
            testing::put_u32(page, 32, 1);
            testing::put_u16(page, 36, 1);
        } else {
            page = valid_page;
            for (int k = 0, n = 1 + static_cast<int>(rng() % 64); k < n; ++k)
                page[rng() % kPageSize] = byte();
        }
        OpenedDatabase& opened = *by_setting[static_cast<std::size_t>((iteration / 2) % 4)];
        const auto original_slots = load_le<std::int16_t>(page, 22);
        PrimaryRecordPage built(std::move(page), opened);
        const std::string where = "iteration " + std::to_string(iteration);
        for (const auto& r : built.records()) {
            if (r && r->type != kRecordForwardingStub) expect_inside(*r, built.page_bytes(), where);
        }
        for (const auto& r : built.scan_candidates()) expect_inside(*r, built.page_bytes(), where);
        // Slots the body scan added name positions inside the body.
        if (built.slot_array()) {
            const auto& slots = *built.slot_array();
            for (std::size_t i = static_cast<std::size_t>(std::max<int>(original_slots, 0)); i < slots.size();
                 ++i) {
                EXPECT_GE(slots[i], 96) << where;
                EXPECT_LT(slots[i], 8190) << where;
            }
        }
        if (::testing::Test::HasFailure()) break;
    }
}

}  // namespace
}  // namespace quenlow
