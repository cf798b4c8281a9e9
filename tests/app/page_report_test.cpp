#include "app/page_report.h"

#include <gtest/gtest.h>

#include <random>

#include "engine/pages/page_header.h"
#include "tests/support/boot_page_builder.h"

namespace quenlow {
namespace {

using testing::boot::put_le;
namespace L = page_layout;

struct VarValue {
    std::size_t length;
    bool complex = false;
};

// A record in the fixed/variable format: status A, status B 0, fixed part, column count, null bitmap,
// variable-column offsets and filler bytes for the variable values.
std::vector<std::byte> fixed_var_record(std::uint8_t status, std::size_t fixed_length, std::uint16_t columns,
                                        std::vector<std::uint8_t> bitmap, const std::vector<VarValue>& vars) {
    std::vector<std::byte> r(4 + fixed_length, std::byte{0x11});
    r[0] = std::byte{status};
    r[1] = std::byte{0};
    put_le<std::uint16_t>(r, 2, static_cast<std::uint16_t>(4 + fixed_length));
    auto push16 = [&](std::uint16_t v) {
        r.push_back(static_cast<std::byte>(v & 0xFF));
        r.push_back(static_cast<std::byte>(v >> 8));
    };
    push16(columns);
    for (auto b : bitmap) r.push_back(std::byte{b});
    if (!vars.empty()) {
        push16(static_cast<std::uint16_t>(vars.size()));
        std::size_t end = r.size() + 2 * vars.size();
        for (const auto& v : vars) {
            end += v.length;
            push16(static_cast<std::uint16_t>(end | (v.complex ? 0x8000 : 0)));
        }
        for (const auto& v : vars) r.insert(r.end(), v.length, std::byte{'v'});
    }
    return r;
}

// A data page at page id 20 whose slots point at the records laid out from offset 96.
std::vector<std::byte> page_with_records(const std::vector<std::vector<std::byte>>& records) {
    std::vector<std::byte> page(kPageSize, std::byte{0});
    testing::boot::write_page_header(page, kPageTypeData, 120, 20);
    put_le<std::int16_t>(page, L::kSlotCount, static_cast<std::int16_t>(records.size()));
    std::size_t at = L::kHeaderSize;
    for (std::size_t i = 0; i < records.size(); ++i) {
        std::copy(records[i].begin(), records[i].end(), page.begin() + static_cast<std::ptrdiff_t>(at));
        put_le<std::uint16_t>(page, kPageSize - 2 - 2 * i, static_cast<std::uint16_t>(at));
        at += records[i].size();
    }
    put_le<std::uint16_t>(page, L::kFreeData, static_cast<std::uint16_t>(at));
    return page;
}

// The value of the first field called name, or "(missing)".
std::string field(const std::vector<InspectedField>& fields, const std::string& name) {
    for (const auto& f : fields)
        if (f.name == name) return f.value;
    return "(missing)";
}

TEST(PageInspection, HeaderFieldsAndPageShift) {
    auto page = page_with_records({});
    put_le<std::uint16_t>(page, L::kFlagBits, 0x0100);
    put_le<std::uint32_t>(page, L::kTornBits, 0xFFFFFFFF);
    put_le<std::int32_t>(page, L::kNextPageId, 33);
    put_le<std::uint16_t>(page, L::kNextFileId, 1);
    put_le<std::int16_t>(page, L::kLsn3, -2);

    PageInspection at_home = inspect_page(page, {1, 20}, false);
    EXPECT_EQ(field(at_home.header, "page type"), "1 (data)");
    EXPECT_EQ(field(at_home.header, "object id"), "120");
    EXPECT_EQ(field(at_home.header, "page id"), "20 (matches the address)");
    EXPECT_EQ(field(at_home.header, "flag bits"), "0x0100 (torn bits present)");
    EXPECT_EQ(field(at_home.header, "torn bits"), "0xFFFFFFFF");
    EXPECT_EQ(field(at_home.header, "LSN, third part"), "-2");
    EXPECT_EQ(field(at_home.header, "next page"), "1:33");
    EXPECT_EQ(field(at_home.header, "slot count"), "0");
    EXPECT_EQ(at_home.slot_note, "no slot array (slot count 0)");
    // The torn bits went back into the last byte of sectors 1..15, not sector 0.
    EXPECT_EQ(static_cast<unsigned>(page[1023]) & 3u, 3u);
    EXPECT_EQ(static_cast<unsigned>(page[8191]) & 3u, 3u);
    EXPECT_EQ(static_cast<unsigned>(page[511]), 0u);

    PageInspection shifted = inspect_page(page, {1, 21}, false);
    EXPECT_EQ(field(shifted.header, "page id"), "20 (read at 21: page shift -1)");
}

TEST(PageInspection, SlotArrayNotes) {
    auto page = page_with_records({fixed_var_record(0x10, 4, 1, {0}, {})});
    const std::uint16_t offsets[] = {96, 0, 40, 8185, 9000, 200};
    put_le<std::int16_t>(page, L::kSlotCount, 6);
    for (std::size_t i = 0; i < std::size(offsets); ++i)
        put_le<std::uint16_t>(page, kPageSize - 2 - 2 * i, offsets[i]);
    PageInspection p = inspect_page(page, {1, 20}, true);
    ASSERT_EQ(p.slots.size(), 6u);
    EXPECT_EQ(p.slots[0].note, "");
    EXPECT_EQ(p.slots[1].note, "(empty)");
    EXPECT_EQ(p.slots[2].note, "(inside the header)");
    EXPECT_EQ(p.slots[3].note, "(inside the slot array)");
    EXPECT_EQ(p.slots[4].note, "(out of page)");
    EXPECT_EQ(p.slots[5].note, "(at or past the free data offset)");
    ASSERT_EQ(p.records.size(), 6u);
    EXPECT_EQ(field(p.records[1].fields, "record"), "none (empty slot)");
    EXPECT_EQ(field(p.records[2].fields, "record"), "none (offset inside the page header)");
    EXPECT_EQ(field(p.records[4].fields, "record"), "none (out of page)");
    EXPECT_TRUE(p.records[4].bytes.empty());

    for (std::int16_t count : {std::int16_t{-1}, std::int16_t{4000}}) {
        put_le<std::int16_t>(page, L::kSlotCount, count);
        PageInspection none = inspect_page(page, {1, 20}, true);
        EXPECT_TRUE(none.slots.empty());
        EXPECT_TRUE(none.records.empty());
        EXPECT_EQ(none.slot_note, "no slot array (slot count " + std::to_string(count) + ")");
    }
}

TEST(PageInspection, WellFormedRecords) {
    // 5 columns: 2 fixed (8 bytes), column 2 null, 3 variable of which the second is complex and the
    // third empty. The second record's complex column ends at 291, so its end offset reads 0x8123.
    auto plain = fixed_var_record(0x30, 8, 5, {0x02}, {{10}, {16, true}, {0}});
    auto long_complex = fixed_var_record(0x30, 8, 4, {0x00}, {{10}, {260, true}});
    auto page = page_with_records({plain, long_complex});
    PageInspection p = inspect_page(page, {1, 20}, true);
    ASSERT_EQ(p.records.size(), 2u);

    const auto& f = p.records[0].fields;
    EXPECT_EQ(field(f, "status byte A"), "0x30: primary record (type 0), null bitmap, variable columns");
    EXPECT_EQ(field(f, "status byte B"), "0x00");
    EXPECT_EQ(field(f, "fixed-part end"), "0x000C -> 12");
    EXPECT_EQ(field(f, "fixed-part length"), "8 bytes");
    EXPECT_EQ(field(f, "column count"), "5");
    EXPECT_EQ(field(f, "null bitmap"), "02 (null columns: 2)");
    EXPECT_EQ(field(f, "variable-column count"), "3");
    EXPECT_EQ(field(f, "variable column 1 end"), "0x0021 -> 33: bytes 23..32 (10 bytes)");
    EXPECT_EQ(field(f, "variable column 2 end"), "0x8031 (complex) -> 49: bytes 33..48 (16 bytes)");
    EXPECT_EQ(field(f, "variable column 3 end"), "0x0031 -> 49: empty");
    EXPECT_EQ(field(f, "record length"), "49 bytes");
    EXPECT_EQ(p.records[0].bytes.size(), plain.size());
    EXPECT_TRUE(p.records[0].bytes_note.empty());

    const auto& g = p.records[1].fields;
    EXPECT_EQ(field(g, "variable column 2 end"), "0x8123 (complex) -> 291: bytes 31..290 (260 bytes)");
    EXPECT_EQ(field(g, "null bitmap"), "00 (null columns: none)");
}

TEST(PageInspection, SpecialRecordKinds) {
    std::vector<std::byte> stub(9, std::byte{0});
    stub[0] = std::byte{0x04};
    put_le<std::int32_t>(stub, 1, 1234);
    put_le<std::uint16_t>(stub, 5, 3);
    put_le<std::int16_t>(stub, 7, 5);

    auto versioned = fixed_var_record(0x50, 4, 1, {0}, {});
    versioned.insert(versioned.end(), 14, std::byte{0xAB});

    // Index record: status 0x06, fixed part up to the header's minimum length (5), no null bitmap.
    std::vector<std::byte> index = {std::byte{0x06}, std::byte{1}, std::byte{2}, std::byte{3}, std::byte{4}};

    auto compressed = fixed_var_record(0x31, 4, 1, {0}, {});

    auto page = page_with_records({stub, versioned, index, compressed});
    put_le<std::uint16_t>(page, L::kMinLen, 5);
    PageInspection p = inspect_page(page, {1, 20}, true);
    ASSERT_EQ(p.records.size(), 4u);

    EXPECT_EQ(field(p.records[0].fields, "status byte A"), "0x04: forwarding stub (type 2)");
    EXPECT_EQ(field(p.records[0].fields, "forwarded to"), "page 3:1234 slot 5");
    EXPECT_EQ(p.records[0].bytes.size(), 9u);

    EXPECT_EQ(field(p.records[1].fields, "record length"), "11 bytes");
    EXPECT_EQ(field(p.records[1].fields, "versioning tag"), "AB AB AB AB AB AB AB AB AB AB AB AB AB AB");
    EXPECT_EQ(p.records[1].bytes.size(), 25u);

    EXPECT_EQ(field(p.records[2].fields, "status byte A"), "0x06: index record (type 3)");
    EXPECT_EQ(field(p.records[2].fields, "fixed-part length"), "4 bytes");
    EXPECT_EQ(field(p.records[2].fields, "record length"), "5 bytes");

    EXPECT_EQ(field(p.records[3].fields, "format"), "compressed record: not decoded further");
    EXPECT_EQ(p.records[3].bytes.size(), 64u);
    EXPECT_EQ(p.records[3].bytes_note, "length unknown: the first 64 bytes");
}

// Damaged records: each field that points outside the page is reported and decoding stops there.
TEST(PageInspection, DamagedRecords) {
    struct Case {
        const char* what;
        std::uint16_t offset;
        std::vector<std::byte> bytes;
        std::string field_name;
        std::string expected;
    };
    auto raw = [](std::initializer_list<int> v) {
        std::vector<std::byte> out;
        for (int b : v) out.push_back(static_cast<std::byte>(b));
        return out;
    };
    auto var_count_too_big = fixed_var_record(0x30, 4, 2, {0}, {{4}});
    put_le<std::uint16_t>(var_count_too_big, 11, 5000);
    auto var_end_past_page = fixed_var_record(0x30, 4, 2, {0}, {{4}});
    put_le<std::uint16_t>(var_end_past_page, 13, 0x7FF0);
    auto var_end_before_start = fixed_var_record(0x30, 4, 2, {0}, {{4}, {4}});
    put_le<std::uint16_t>(var_end_before_start, 15, 3);

    const Case cases[] = {
        {"status B past the page", 8191, raw({0x30}), "status byte B", "(out of page)"},
        {"fixed end past the page", 8190, raw({0x30, 0}), "fixed-part end", "(out of page)"},
        {"fixed end below 4", 96, raw({0x30, 0, 3, 0}), "fixed-part length",
         "none (end offset 3 is below 4)"},
        {"column count past the page", 96, raw({0x30, 0, 0xF0, 0xFF}), "column count", "(out of page)"},
        {"column count implausible", 96, raw({0x10, 0, 4, 0, 0x88, 0x13}), "column count",
         "5000 (implausible: not decoded further)"},
        {"null bitmap past the page", 8186, raw({0x10, 0, 4, 0, 0xF0, 0x03}), "null bitmap", "(out of page)"},
        {"variable offsets past the page", 96, var_count_too_big, "variable-column end offsets",
         "(out of page)"},
        {"variable end past the page", 96, var_end_past_page, "variable column 1 end",
         "0x7FF0 -> 32752 (out of page)"},
        {"variable end before its start", 96, var_end_before_start, "variable column 2 end",
         "0x0003 -> 3 (ends before its start 21)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::byte> page(kPageSize, std::byte{0});
        testing::boot::write_page_header(page, kPageTypeData, 120, 20);
        std::copy(c.bytes.begin(), c.bytes.end(), page.begin() + c.offset);
        InspectedRecord r = inspect_record(page, 0, c.offset);
        EXPECT_EQ(field(r.fields, c.field_name), c.expected);
        EXPECT_LE(r.bytes.size(), kPageSize - c.offset);
        EXPECT_FALSE(r.bytes.empty());
    }
}

TEST(PageInspection, RandomPagesNeverEscapeThePage) {
    std::mt19937 rng(20240611);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::byte> page(kPageSize);
        for (auto& b : page) b = static_cast<std::byte>(rng() & 0xFF);
        // Mostly plausible slot counts and offsets, so that records are actually decoded.
        put_le<std::int16_t>(page, L::kSlotCount, static_cast<std::int16_t>(1 + rng() % 40));
        for (int j = 0; j < 40; ++j)
            put_le<std::uint16_t>(page, kPageSize - 2 - 2 * j, static_cast<std::uint16_t>(rng() % 8400));
        PageInspection p = inspect_page(page, {1, 20}, true);
        for (const auto& r : p.records) {
            if (r.offset < kPageSize) {
                EXPECT_LE(r.bytes.size(), kPageSize - r.offset);
            }
        }
        EXPECT_FALSE(render_page_inspection(p).empty());
    }
}

TEST(PageInspection, HexDumpLayout) {
    std::vector<std::byte> bytes;
    for (int i = 0; i < 20; ++i) bytes.push_back(static_cast<std::byte>(0x41 + i));
    bytes[1] = std::byte{0x00};
    EXPECT_EQ(hex_dump(bytes, 0, ""),
              "    0  41 00 43 44 45 46 47 48  49 4A 4B 4C 4D 4E 4F 50  |A.CDEFGHIJKLMNOP|\n"
              "   16  51 52 53 54                                       |QRST|\n");
}

TEST(PageInspection, RenderedReport) {
    auto page = page_with_records({fixed_var_record(0x30, 4, 2, {0}, {{4}})});
    PageInspection p = inspect_page(page, {1, 20}, true);
    const std::string text = render_page_inspection(p);
    EXPECT_NE(text.find("Page 1:20\n"), std::string::npos);
    EXPECT_NE(text.find("     1  page type                    1 (data)\n"), std::string::npos);
    EXPECT_NE(text.find("Slot array: 1 slot\n"), std::string::npos);
    EXPECT_NE(text.find("Record in slot 0 at offset 96\n"), std::string::npos);
    EXPECT_NE(text.find("      +8  column count                 2\n"), std::string::npos);
    EXPECT_NE(text.find("  bytes (19):\n"), std::string::npos);
}

TEST(PageInspection, DatabasePageByAddress) {
    testing::boot::ImageBuilder image(16);
    image.put_page(12, page_with_records({fixed_var_record(0x30, 4, 2, {0}, {{4}})}));
    image.set_header(12, kPageTypeData, 120, 12);
    testing::boot::ImageDatabase t;
    t.files.add_file("/data/test.mdf", image.take());
    ApplicationState app;
    NullEngineEvents events;
    using Status = PageInspectionResult::Status;

    struct Case {
        const char* what;
        std::string path;
        std::uint16_t file_id;
        std::int32_t page_id;
        Status status;
    };
    const Case cases[] = {
        {"data page", "/data/test.mdf", 1, 12, Status::kOk},
        {"page 0 is refused", "/data/test.mdf", 1, 0, Status::kPageRefused},
        {"past the end", "/data/test.mdf", 1, 16, Status::kPageRefused},
        {"negative", "/data/test.mdf", 1, -3, Status::kPageRefused},
        {"no secondary file", "/data/test.mdf", 2, 3, Status::kNoSuchFile},
        {"missing file", "/data/none.mdf", 1, 3, Status::kOpenFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PageInspectionResult r =
            inspect_database_page({c.path, c.file_id, c.page_id, true}, app, events, t.files);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.page.has_value(), c.status == Status::kOk);
        if (r.page) {
            EXPECT_EQ(field(r.page->header, "page id"), "12 (matches the address)");
            ASSERT_EQ(r.page->records.size(), 1u);
            EXPECT_EQ(field(r.page->records[0].fields, "record length"), "19 bytes");
        }
    }
}

}  // namespace
}  // namespace quenlow
