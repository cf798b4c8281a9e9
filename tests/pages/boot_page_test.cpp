#include "engine/pages/boot_page.h"
#include "engine/pages/text_codec.h"

#include <gtest/gtest.h>

#include "tests/support/boot_page_builder.h"

namespace quenlow {
namespace {

using testing::boot::BootRecord;
using testing::boot::build_boot_page;
using testing::boot::ImageBuilder;
using testing::boot::ImageDatabase;

PageBuffer as_buffer(std::vector<std::byte> page) {
    page.resize(kPageBufferSize, std::byte{0});
    return page;
}

CBootPage boot_of(const BootRecord& record) {
    return CBootPage(as_buffer(build_boot_page(record)));
}

TEST(BootPage, VersionTable) {
    const std::pair<std::uint16_t, const char*> cases[] = {
        {408, " SQL Server 6.5"},
        {515, " SQL Server 7.0"},
        {539, " SQL Server 2000"},
        {611, " SQL Server 2005"},
        {612, " SQL Server 2005 SP2+ with VarDecimal enabled"},
        {655, " SQL Server 2008"},
        {660, " SQL Server 2008 R2"},
        {661, " SQL Server 2008 R2"},
        {684, " SQL Server 2012 CTP1"},
        {706, " SQL Server 2012"},
        {782, " SQL Server 2014"},
        {852, " SQL Server 2016"},
        {868, " SQL Server 2017"},
        {869, " SQL Server 2017"},
        {904, " SQL Server 2019"},
        {957, " SQL Server 2022"},
        {0, "Unknown SQL Version"},
        {707, "Unknown SQL Version"},
        {0xFFFF, "Unknown SQL Version"},
    };
    for (const auto& [version, text] : cases) EXPECT_EQ(sql_version_text(version), text) << version;
}

TEST(BootPage, NameRule) {
    struct Case {
        std::u16string stored;
        bool dagger_padding;
        std::string name;
        std::string full;
    };
    const Case cases[] = {
        {u"Northwind", true, "Northwind", "Northwind"},
        {u"model", false, "model", "model"},
        {u"Padded    ", false, "Padded", "Padded"},
        {u"Sales Archive", true, "Sales", "Sales Archive"},
        {u"C:\\DATA\\MY DB.MDF", true, "C:\\DATA\\MY", "C:\\DATA\\MY DB.MDF"},
        {u" Lead", false, " Lead", " Lead"},
        {u" Lead Two", false, " Lead Two", " Lead Two"},
        // Not cut at all, so the padding stays too.
        {u" Lead", true, " Lead" + std::string(99, ' '), " Lead"},
        {u"Caf\u00e9", true, "Caf\u00e9", "Caf\u00e9"},
        // The low byte of U+20AC is 0xAC; byte 0x80 of the code page is the euro sign.
        {u"\u20acuro", true, "\u00acuro", "\u20acuro"},
        {u"\u0080uro", true, "\u20acuro", "\u0080uro"},
        // U+0100 has a zero low byte: the short name stops there, the full name does not.
        {u"A\u0100B", true, "A", "A\u0100B"},
        {u"\u0411\u0434", true,
         "\x11"
         "4",
         "\u0411\u0434"},
        // Units D83D DE00: the low byte of the second is zero.
        {u"\U0001F600x", true, "=", "\U0001F600x"},
        {u"", false, "", ""},
        {u"", true, std::string(104, ' '), ""},
    };
    for (const Case& c : cases) {
        BootRecord record;
        record.name = c.stored;
        record.dagger_padding = c.dagger_padding;
        CBootPage boot = boot_of(record);
        EXPECT_EQ(boot.database_name, c.name);
        EXPECT_EQ(boot.full_database_name, c.full);
    }
}

TEST(BootPage, NameFillingTheWholeField) {
    BootRecord record;
    record.name.assign(boot_layout::kNameUnits, u'x');
    CBootPage boot = boot_of(record);
    EXPECT_EQ(boot.database_name, std::string(boot_layout::kNameUnits, 'x'));
    EXPECT_EQ(boot.full_database_name, boot.database_name);
}

TEST(BootPage, UnpairedSurrogatesBecomeReplacementCharacters) {
    std::vector<std::byte> units(8, std::byte{0});
    testing::boot::put_le<std::uint16_t>(units, 0, 0xDC00);
    testing::boot::put_le<std::uint16_t>(units, 2, 'a');
    testing::boot::put_le<std::uint16_t>(units, 4, 0xD800);
    EXPECT_EQ(full_boot_name(units), "\uFFFDa\uFFFD");
}

TEST(BootPage, Cp1252UpperHalf) {
    EXPECT_EQ(cp1252_to_utf8("\x80\x81\x8A\x9F"), "\u20ac\u0081\u0160\u0178");
    EXPECT_EQ(cp1252_to_utf8("\xA0\xE9\xFF"), "\u00a0\u00e9\u00ff");
    EXPECT_EQ(cp1252_to_utf8("plain"), "plain");
}

TEST(BootPage, FixedFields) {
    BootRecord record;
    record.version = 706;
    record.create_version = 539;
    record.collation_id = -123456;
    record.kept_page = {1, 20};
    auto page = build_boot_page(record);
    testing::boot::put_le<std::uint32_t>(page, 132, 0x11111111);
    testing::boot::put_le<std::uint32_t>(page, 136, 0x22222222);
    testing::boot::put_le<std::uint16_t>(page, 408, 0x3333);
    testing::boot::put_le<std::uint32_t>(page, 412, 0x44444444);
    testing::boot::put_le<std::uint32_t>(page, 416, 0x55555555);
    CBootPage boot(as_buffer(page));
    EXPECT_EQ(boot.version, 706);
    EXPECT_EQ(boot.create_version, 539);
    EXPECT_EQ(boot.collation_id, -123456);
    EXPECT_EQ(boot.kept_page, (PageAddress{1, 20}));
    EXPECT_EQ(boot.kept_132, 0x11111111u);
    EXPECT_EQ(boot.kept_136, 0x22222222u);
    EXPECT_EQ(boot.kept_408, 0x3333u);
    EXPECT_EQ(boot.kept_412, 0x44444444u);
    EXPECT_EQ(boot.kept_416, 0x55555555u);
    ASSERT_EQ(boot.record_data().size(), kPageSize - 100);
    EXPECT_EQ(load_le<std::uint16_t>(boot.record_data(), 0), 706);
}

TEST(BootPage, ShortBufferGivesEmptyFields) {
    CBootPage boot(PageBuffer(500, std::byte{0x41}));
    EXPECT_EQ(boot.version, 0);
    EXPECT_TRUE(boot.database_name.empty());
    EXPECT_EQ(boot.collation_id, 0);
    EngineState state;
    boot.identify(state, {});
    EXPECT_EQ(state.version_text, "Unknown SQL Version");
}

// Collation lookup: which key is found, what the boot page keeps as its id, and what the state shows.
TEST(BootPage, CollationLookup) {
    struct Case {
        const char* what;
        std::int32_t stored;
        std::vector<std::int64_t> table_keys;
        bool automatic;
        std::int64_t manual;
        bool found;
        std::int64_t key;
        std::int32_t kept_id;
    };
    const Case cases[] = {
        {"full id", 0x3400D008, {0x3400D008, 0xD008}, true, 0, true, 0x3400D008, 0x3400D008},
        {"low 16 bits", 0x3400D008, {0xD008}, true, 0, true, 0xD008, 0xD008},
        {"negative id sign-extended", -5, {-5, 0xFFFB}, true, 0, true, -5, -5},
        {"negative id, low 16 bits", -12280, {0xD008}, true, 0, true, 0xD008, 0xD008},
        {"not in table", 0x3400D008, {52, 53}, true, 0, false, -1, 0xD008},
        {"manual choice wins", 0x3400D008, {0x3400D008, 52}, false, 52, true, 52, 0x3400D008},
        {"manual choice missing", 0x3400D008, {0x3400D008}, false, 77, false, -1, 0x3400D008},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EngineState state;
        for (std::int64_t k : c.table_keys) state.collations[k] = {"Collation_" + std::to_string(k), 1250};
        BootRecord record;
        record.collation_id = c.stored;
        CBootPage boot = boot_of(record);
        boot.identify(state, {.automatic_collation = c.automatic, .manual_collation_id = c.manual});
        EXPECT_EQ(state.version_text, " SQL Server 2008");
        EXPECT_EQ(state.collation_found, c.found);
        EXPECT_EQ(state.detected_collation_id, c.key);
        EXPECT_EQ(boot.collation_id, c.kept_id);
        if (c.found) {
            EXPECT_EQ(state.collation_name, "Collation_" + std::to_string(c.key));
            EXPECT_EQ(state.code_page, 1250);
        } else {
            EXPECT_EQ(state.collation_name, "");
            EXPECT_EQ(state.code_page, 1252);
        }
    }
}

constexpr std::size_t kPages = 16;

ImageBuilder image_with_boot(std::size_t position, std::uint16_t version = 655,
                             const char16_t* name = u"Demo") {
    ImageBuilder image(kPages);
    BootRecord record;
    record.version = version;
    record.name = name;
    image.put_page(position, build_boot_page(record, static_cast<std::int32_t>(position)));
    return image;
}

TEST(ReadBootPage, NominalPosition) {
    ImageBuilder image = image_with_boot(9);
    image.set_header(3, kPageTypeData, 7, 3);
    ImageDatabase t;
    t.open(image.take());
    ASSERT_TRUE(t.db->is_open());
    t.state.collations[0xD008] = {"Latin1_General_CI_AS", 1252};
    BootPageSummary s = read_boot_page(*t.db);
    EXPECT_TRUE(s.found);
    EXPECT_EQ(s.page_shift, 0);
    EXPECT_EQ(s.physical_page, 9u);
    EXPECT_EQ(s.version, 655);
    EXPECT_EQ(s.version_text, " SQL Server 2008");
    EXPECT_EQ(t.db->database_name(), "Demo");
    EXPECT_EQ(t.state.version_text, " SQL Server 2008");
    EXPECT_TRUE(t.state.collation_found);
    EXPECT_TRUE(s.collation_found);
    EXPECT_EQ(t.state.detected_collation_id, 0xD008);
    EXPECT_EQ(t.state.collation_name, "Latin1_General_CI_AS");
    EXPECT_EQ(s.raw_collation_id, 0x3400D008);
    EXPECT_EQ(s.collation_id, 0xD008);
}

// Where the boot page is looked for, depending on the first page of object 7 (else 41).
TEST(ReadBootPage, LocationByPageShift) {
    struct Marker {
        std::size_t position;
        std::int32_t object_id;
        std::int32_t claimed_page_id;
        std::uint16_t file_id = 1;
    };
    struct Case {
        const char* what;
        std::vector<Marker> markers;
        std::int64_t shift;
        std::size_t boot_at;
    };
    const Case cases[] = {
        {"no object 7 or 41: nominal page 9", {}, 0, 9},
        {"object 7 at 5 claims 6: shift 1", {{5, 7, 6}}, 1, 8},
        {"object 41 when 7 has no page", {{3, 41, 1}}, -2, 11},
        {"first page of 7 wins over 41", {{2, 7, 4}, {4, 7, 4}, {1, 41, 1}}, 2, 7},
        {"unreadable header: file id unknown", {{5, 7, 6, 9}}, 0, 9},
        {"page 0 cannot be read by address", {{0, 7, 3}}, 0, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImageBuilder image = image_with_boot(c.boot_at, 706);
        // A decoy at the nominal position shows when the rule picked the wrong page.
        if (c.boot_at != 9) image.put_page(9, build_boot_page({.version = 539, .name = u"Decoy"}));
        for (const Marker& m : c.markers)
            image.set_header(m.position, kPageTypeData, m.object_id, m.claimed_page_id, m.file_id);
        ImageDatabase t;
        t.open(image.take());
        ASSERT_TRUE(t.db->is_open());
        EXPECT_EQ(measure_page_shift(*t.db), c.shift);
        BootPageSummary s = read_boot_page(*t.db);
        EXPECT_TRUE(s.found);
        EXPECT_EQ(s.physical_page, c.boot_at);
        EXPECT_EQ(s.version, 706);
        EXPECT_EQ(t.state.version_text, " SQL Server 2012");
        EXPECT_EQ(t.db->database_name(), "Demo");
    }
}

TEST(ReadBootPage, PositionOutsideTheFileLeavesStateAlone) {
    struct Case {
        const char* what;
        std::size_t position;
        std::int32_t claimed;
    };
    const Case cases[] = {
        {"b = 0", 1, 10},
        {"b negative", 2, 30},
        {"b = page count", 10, 3},
        {"b past page count", 12, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImageBuilder image = image_with_boot(9);
        image.set_header(c.position, kPageTypeData, 7, c.claimed);
        ImageDatabase t;
        t.open(image.take());
        ASSERT_TRUE(t.db->is_open());
        t.db->set_database_name("stale");
        t.state.version_text = "previous";
        t.state.collations[0xD008] = {"Latin1_General_CI_AS", 1252};
        BootPageSummary s = read_boot_page(*t.db);
        EXPECT_FALSE(s.found);
        EXPECT_EQ(t.db->database_name(), "");
        EXPECT_EQ(t.state.version_text, "previous");
        EXPECT_FALSE(t.state.collation_found);
        EXPECT_EQ(t.state.detected_collation_id, -1);
        EXPECT_EQ(t.state.collation_name, "");
    }
}

TEST(ReadBootPage, ManualCollationIgnoresTheStoredId) {
    ImageBuilder image = image_with_boot(9);
    ImageDatabase t;
    t.open(image.take(), "/data/test.mdf", {.automatic_collation = false, .manual_collation_id = 40});
    ASSERT_TRUE(t.db->is_open());
    t.state.collations[0xD008] = {"Latin1_General_CI_AS", 1252};
    t.state.collations[40] = {"Cyrillic_General_CI_AS", 1251};
    BootPageSummary s = read_boot_page(*t.db);
    EXPECT_TRUE(s.found);
    EXPECT_TRUE(s.collation_found);
    EXPECT_EQ(t.state.detected_collation_id, 40);
    EXPECT_EQ(t.state.collation_name, "Cyrillic_General_CI_AS");
    EXPECT_EQ(t.state.code_page, 1251);
}

TEST(ReadBootPage, GarbageBootPageDoesNotCrash) {
    ImageBuilder image(kPages);
    auto page = image.page(9);
    for (std::size_t i = 0; i < page.size(); ++i) page[i] = static_cast<std::byte>((i * 131 + 7) & 0xFF);
    testing::boot::put_le<std::int32_t>(page, page_layout::kPageId, 9);
    ImageDatabase t;
    t.open(image.take());
    ASSERT_TRUE(t.db->is_open());
    BootPageSummary s = read_boot_page(*t.db);
    EXPECT_TRUE(s.found);
    EXPECT_EQ(t.db->database_name(), s.database_name);
    EXPECT_FALSE(t.state.version_text.empty());
}

}  // namespace
}  // namespace quenlow
