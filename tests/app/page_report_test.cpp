#include "app/page_report.h"

#include <gtest/gtest.h>

#include <random>

#include "engine/pages/page_header.h"
#include "tests/support/boot_page_builder.h"
#include "tests/support/compact_encoder.h"

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

    // Status 0x31 marks the compact format; its count byte 0 says no columns.
    EXPECT_EQ(field(p.records[3].fields, "format"), "compressed (compact) record");
    EXPECT_EQ(field(p.records[3].fields, "column count"), "0 (implausible: not decoded further)");
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

std::vector<std::byte> raw_bytes(std::initializer_list<int> v) {
    std::vector<std::byte> out;
    for (int b : v) out.push_back(static_cast<std::byte>(b));
    return out;
}

// Compact records: the parts of well-formed ones, with the record length they add up to.
TEST(PageInspection, CompactRecordParts) {
    using testing::CompactColumn;
    // 131 columns: a two-byte count, four cluster bytes before the short data and four after the long
    // end offsets.
    std::vector<CompactColumn> wide;
    for (int i = 0; i < 131; ++i)
        wide.push_back(i % 10 == 0 ? CompactColumn::value(std::vector<std::byte>(9 + i / 10, std::byte{'x'}))
                       : i % 10 == 1 ? CompactColumn::null()
                       : i % 10 == 2 ? CompactColumn::symbol(3)
                                     : CompactColumn::value(testing::compact_integer(i)));
    struct Case {
        const char* what;
        std::vector<std::byte> record;
        std::vector<std::pair<std::string, std::string>> fields;
    };
    const Case cases[] = {
        {"short values and NULL",
         raw_bytes({0x01, 0x03, 0x42, 0x00, 0x81, 0x61, 0x62, 0x63}),
         {{"status byte A", "0x01: primary record (type 0), compressed format"},
          {"column count", "3"},
          {"column codes", "2 4 0"},
          {"column codes, counted", "1 NULL, 0 empty, 2 short, 0 long, 0 bit 1, 0 symbol"},
          {"short data", "bytes 4..7 (4 bytes)"},
          {"long data region", "none"},
          {"record length", "8 bytes"}}},
        {"a long value",
         raw_bytes({0x21, 0x02, 0xA2, 0x85, 0x01, 0x01, 0x00, 0x0C, 0x00, 0x48, 0x65,
                    0x6C, 0x6C, 0x6F, 0x2C, 0x20, 0x77, 0x6F, 0x72, 0x6C, 0x64}),
         {{"status byte A", "0x21: primary record (type 0), compressed format, long data region"},
          {"column codes", "2 A"},
          {"short data", "bytes 3..3 (1 bytes)"},
          {"long data flags", "0x01"},
          {"long value count", "1"},
          {"long value 1 end", "0x000C -> 12: bytes 9..20 (12 bytes)"},
          {"long data", "bytes 9..20 (12 bytes)"},
          {"record length", "21 bytes"}}},
        {"a deleted row of empty values and bits",
         raw_bytes({0x0D, 0x03, 0xB1, 0x01}),
         {{"status byte A", "0x0D: ghost data record (type 6), compressed format"},
          {"column codes, counted", "0 NULL, 2 empty, 0 short, 0 long, 1 bit 1, 0 symbol"},
          {"short data", "none"},
          {"record length", "4 bytes"}}},
        {"131 columns",
         testing::build_compact_record({0, wide, std::nullopt}),
         {{"column count", "131 (two bytes: 0x80 0x83)"},
          {"column codes, counted", "13 NULL, 0 empty, 91 short, 14 long, 0 bit 1, 13 symbol"},
          {"cluster short-data bytes", "18 18 18 18"},
          {"long value count", "14"},
          {"cluster long-value counts", "03 03 03 03"},
          {"long value 14 end", "0x00D9 -> 217: bytes 409..430 (22 bytes)"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto page = page_with_records({c.record});
        PageInspection p = inspect_page(page, {1, 20}, true);
        ASSERT_EQ(p.records.size(), 1u);
        for (const auto& [name, value] : c.fields) EXPECT_EQ(field(p.records[0].fields, name), value) << name;
        EXPECT_EQ(p.records[0].bytes.size(), c.record.size());
        EXPECT_TRUE(p.records[0].bytes_note.empty());
    }
}

// Damaged compact records: the part that does not fit is named and decoding stops there (or, for counts
// that disagree with the codes, goes on with a note).
TEST(PageInspection, DamagedCompactRecords) {
    struct Case {
        const char* what;
        std::uint16_t offset;
        std::vector<std::byte> bytes;
        std::string field_name;
        std::string expected;
        bool length_known;
    };
    std::vector<std::byte> cluster_mismatch(2 + 2 + 16 + 1, std::byte{0x22});  // 31 columns of 1 byte
    cluster_mismatch[0] = std::byte{0x01};
    cluster_mismatch[1] = std::byte{31};
    cluster_mismatch[17] = std::byte{0x02};  // column 31: code 2, high nibble 0
    cluster_mismatch[18] = std::byte{7};     // the codes give 30
    cluster_mismatch.resize(19 + 31, std::byte{0x81});
    const Case cases[] = {
        {"count past the page", 8191, raw_bytes({0x01}), "column count", "(out of page)", false},
        {"second count byte past the page", 8190, raw_bytes({0x01, 0x81}), "column count", "(out of page)",
         false},
        {"count 1025", 96, raw_bytes({0x01, 0x84, 0x01, 0x00}), "column count",
         "1025 (two bytes: 0x84 0x01) (implausible: not decoded further)", false},
        {"codes past the page", 8188, raw_bytes({0x01, 0x7F, 0x22, 0x22}), "column codes", "(out of page)",
         false},
        {"code 13", 96, raw_bytes({0x01, 0x02, 0xD2, 0x81}), "short data",
         "none (column 2 has code 13, which no record carries)", false},
        {"short data past the page", 8188, raw_bytes({0x01, 0x01, 0x09, 0x00}), "short data",
         "8 bytes (out of page)", false},
        {"cluster bytes unlike the codes", 96, cluster_mismatch, "cluster short-data bytes",
         "07 (the codes give 30)", true},
        {"long region without bit 0", 96, raw_bytes({0x21, 0x01, 0x0A, 0x00, 0x01, 0x00, 0x01, 0x00, 'a'}),
         "long data flags", "0x00 (bit 0 clear: not decoded further)", false},
        {"long count unlike the codes", 96,
         raw_bytes({0x21, 0x01, 0x0A, 0x01, 0x02, 0x00, 0x01, 0x00, 0x02, 0x00, 'a', 'b'}),
         "long value count", "2 (the codes give 1)", true},
        {"long offsets past the page", 8186, raw_bytes({0x21, 0x01, 0x0A, 0x01, 0x09, 0x00}),
         "long value end offsets", "(out of page)", false},
        {"long value past the page", 96, raw_bytes({0x21, 0x01, 0x0A, 0x01, 0x01, 0x00, 0xFF, 0x7F, 'a'}),
         "long value 1 end", "0x7FFF -> 32767 (out of page)", true},
        {"long values backwards", 96,
         raw_bytes({0x21, 0x01, 0xAA, 0x01, 0x02, 0x00, 0x03, 0x00, 0x01, 0x00, 'a', 'b', 'c'}),
         "long value 2 end", "0x0001 -> 1 (ends before its start 3)", true},
        {"long values without the region bit", 96, raw_bytes({0x01, 0x01, 0x0A}), "long data region",
         "none (but 1 columns have code 10)", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::byte> page(kPageSize, std::byte{0});
        testing::boot::write_page_header(page, kPageTypeData, 120, 20);
        std::copy(c.bytes.begin(), c.bytes.end(), page.begin() + c.offset);
        InspectedRecord r = inspect_record(page, 0, c.offset);
        EXPECT_EQ(field(r.fields, c.field_name), c.expected);
        EXPECT_EQ(r.bytes_note.empty(), c.length_known);
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
        // Every other round, compact records: status bytes with bit 0 set.
        if (round % 2 == 1)
            for (std::size_t at = L::kHeaderSize; at < kPageSize; at += 1 + rng() % 40)
                page[at] |= std::byte{0x01};
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
