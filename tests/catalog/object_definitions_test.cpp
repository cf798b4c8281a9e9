// Joining definition fragments into the text of an object, and cutting decoded rows into fragments.
// Retrieval is tested here with a stand-in decoder over blank pages, and with the engine's decoders on
// builder databases through the application (tests/app/definition_display_test).

#include "engine/catalog/object_definitions.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "engine/catalog/definition_bytes.h"
#include "tests/support/catalog_fixture.h"
#include "tests/support/recording_events.h"

namespace quenlow {
namespace {

// "0x" and upper-case hex of UTF-16LE text (ASCII only).
std::string utf16_hex(std::string_view text) {
    std::string out = "0x";
    for (char c : text) out += fmt::format("{:02X}00", static_cast<unsigned char>(c));
    return out;
}

std::string byte_hex(std::string_view text) {
    std::string out = "0x";
    for (char c : text) out += fmt::format("{:02X}", static_cast<unsigned char>(c));
    return out;
}

TEST(DefinitionText, JoinsTheFragmentsOfOneObject) {
    struct Case {
        const char* name;
        std::vector<DefinitionFragment> fragments;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"three UTF-16 rows in list order",
         {{"7", "1", utf16_hex("CREATE PROC p AS ")},
          {"8", "0", utf16_hex("other")},
          {"7", "1", utf16_hex("SELECT 1 ")},
          {"7", "1", utf16_hex("-- end")}},
         "CREATE PROC p AS SELECT 1 -- end"},
        {"an 8-bit text stored twice reads once",
         {{"7", "0", byte_hex("CREATE VIEW v AS SELECT 1")},
          {"7", "0", byte_hex("CREATE VIEW v AS SELECT 1")}},
         "CREATE VIEW v AS SELECT 1"},
        {"a UTF-16 text stored twice reads twice",
         {{"7", "0", utf16_hex("AB")}, {"7", "0", utf16_hex("AB")}},
         "ABAB"},
        {"an 8-bit text equal to a part only is appended",
         {{"7", "0", byte_hex("AB")}, {"7", "0", byte_hex("A")}, {"7", "0", byte_hex("AB")}},
         "ABAAB"},
        {"8-bit after UTF-16 compares with the whole text",
         {{"7", "0", utf16_hex("AB")}, {"7", "0", byte_hex("AB")}, {"7", "0", byte_hex("CD")}},
         "ABCD"},
        {"a single byte is never UTF-16", {{"7", "0", "0x41"}}, "A"},
        {"a zero byte after the first makes UTF-16", {{"7", "0", "0x4100"}}, "A"},
        {"the sub id is not looked at", {{"7", "1", byte_hex("a")}, {"7", "2", byte_hex("b")}}, "ab"},
        {"ids compare as exact texts", {{"07", "0", byte_hex("x")}, {"7 ", "0", byte_hex("y")}}, ""},
        {"lower-case hex gives other bytes", {{"7", "0", "0x4a4a"}}, "AA"},
        {"empty and short value texts contribute nothing",
         {{"7", "0", ""}, {"7", "0", "0"}, {"7", "0", "0x"}, {"7", "0", " "}, {"7", "0", byte_hex("ok")}},
         "ok"},
        {"an odd-length value text contributes nothing", {{"7", "0", "0x414"}, {"7", "0", "0x41424"}}, ""},
        {"a value text with other characters contributes nothing",
         {{"7", "0", "0xZZ"},
          {"7", "0", "0x41G2"},
          {"7", "0", "1234"},
          {"7", "0", "NULL"},
          {"7", "0", "0X41"}},
         ""},
        {"no fragment of the object", {{"8", "0", byte_hex("x")}}, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(definition_text(c.fragments, "7"), c.expected) << c.name;
}

TEST(DefinitionText, FragmentTextFollowsTheValueBytes) {
    const std::pair<std::string, std::string> cases[] = {
        {utf16_hex("([Qty]>(0))"), "([Qty]>(0))"},
        {byte_hex("(getdate())"), "(getdate())"},
        {"0x41", "A"},
        {"0x41004200000043", "AB"},  // stops at the zero unit
        {"0x414", ""},
        {"0xG1", ""},
        {"", ""},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(fragment_text(value), text) << value;
}

TEST(DefinitionFragments, TakeTheColumnsOfTheLayoutsTable) {
    auto row = [](std::vector<std::string> texts) {
        std::vector<ColumnDescriptor> out(texts.size());
        for (std::size_t i = 0; i < texts.size(); ++i) out[i].value_text = texts[i];
        return out;
    };
    struct Case {
        const char* name;
        std::vector<ColumnDescriptor> row;
        bool sql2000;
        bool made;
        DefinitionFragment expected;
    };
    const std::vector<Case> cases = {
        {"sysobjvalues: objid, subobjid, imageval",
         row({"1", "55", "2", "0", "", "0x41"}),
         false,
         true,
         {"55", "2", "0x41"}},
        {"syscomments: id, number, ctext",
         row({"55", "1", "1", "0", "0x4100", "2", "0"}),
         true,
         true,
         {"55", "1", "0x4100"}},
        {"syscomments row of four columns has no text",
         row({"55", "1", "1", "0"}),
         true,
         true,
         {"55", "1", ""}},
        {"syscomments row of one column", row({"55"}), true, true, {"55", "", ""}},
        {"a short later-layout row", row({"1", "55"}), false, true, {"55", "", "55"}},
        {"no columns", {}, false, false, {}},
        {"no columns, SQL Server 2000", {}, true, false, {}},
    };
    for (const Case& c : cases) {
        DefinitionFragment f;
        ASSERT_EQ(make_definition_fragment(c.row, c.sql2000, f), c.made) << c.name;
        if (!c.made) continue;
        EXPECT_EQ(f.object_id_text, c.expected.object_id_text) << c.name;
        EXPECT_EQ(f.sub_id_text, c.expected.sub_id_text) << c.name;
        EXPECT_EQ(f.value_text, c.expected.value_text) << c.name;
    }
}

TEST(DefinitionFragments, ObjectValueColumnsAreSixAndEndWithTheBinaryValue) {
    const std::vector<ColumnDescriptor> columns = object_value_descriptors();
    ASSERT_EQ(columns.size(), 6u);
    std::vector<std::string> names;
    for (const auto& c : columns) names.push_back(c.name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"valclass", "objid", "subobjid", "valnum", "value", "imageval"}));
    EXPECT_EQ(columns[0].type_code, 14);
    EXPECT_FALSE(columns[1].variable_length);
    EXPECT_EQ(columns[4].type_code, 20);
    EXPECT_TRUE(columns[4].variable_length);
    EXPECT_EQ(columns[5].type_code, 16);
    EXPECT_EQ(columns[5].declared_length, 0);
    EXPECT_TRUE(columns[5].variable_length);
}

// Decodes every page into one row of six columns whose objid is the page id, and notes the form used.
struct PageIdDecoder {
    std::vector<std::string> calls;
    DefinitionPageDecoder decoder() {
        return [this](const PrimaryRecordPage& page, std::vector<ColumnDescriptor>& descriptors,
                      bool layout_form) {
            calls.push_back(
                fmt::format("{} {}", page.header().this_page.page_id, layout_form ? "layout" : "offsets"));
            for (ColumnDescriptor& d : descriptors)
                d.value_text = fmt::format("{}", page.header().this_page.page_id);
            if (!descriptors.empty()) descriptors.back().value_text = "0x41";
            return std::vector<std::vector<ColumnDescriptor>>{descriptors};
        };
    }
};

TEST(DefinitionRetrieval, ReadsTheDataPagesOfTheLayoutsTable) {
    // Object 60 (sysobjvalues) owns a data page, an index page, a text page and a data page; object 6
    // (syscomments) one data page.
    test::CatalogFixture fixture({{10, 60, 1}, {11, 60, 2}, {12, 60, 3}, {13, 60, 1}, {14, 6, 1}});
    SystemCatalog& catalog = fixture.catalog();
    catalog.current_columns.resize(4);
    catalog.current_rowset_columns.resize(1);
    testing::RecordingEvents events;
    PageIdDecoder pages;
    std::vector<DefinitionFragment> out{{"1", "0", "0x42"}};

    EXPECT_EQ(retrieve_definition_fragments(catalog, events, pages.decoder(), out), 4u);
    EXPECT_EQ(pages.calls, (std::vector<std::string>{"10 layout", "13 layout"}));
    ASSERT_EQ(out.size(), 3u) << "appended to what the list held";
    EXPECT_EQ(out[1].object_id_text, "10");
    EXPECT_EQ(out[2].object_id_text, "13");
    EXPECT_EQ(out[2].value_text, "0x41");
    EXPECT_TRUE(catalog.current_columns.empty());
    EXPECT_EQ(catalog.column_descriptors.size(), 6u);
    EXPECT_EQ(events.calls(), (std::vector<std::string>{
                                  "log: " + std::string(kRetrievingDefinitions), "range 0..4", "position 0",
                                  "position 3", "position 4", "log: " + std::string(kDefinitionsRetrieved)}));

    // Without rowset columns the offset form decodes.
    catalog.current_rowset_columns.clear();
    pages.calls.clear();
    out.clear();
    retrieve_definition_fragments(catalog, events, pages.decoder(), out);
    EXPECT_EQ(pages.calls, (std::vector<std::string>{"10 offsets", "13 offsets"}));

    // SQL Server 2000: syscomments, decoded with the catalog's descriptors as they are; a row without
    // columns makes no fragment.
    fixture.state().sql2000_layout = true;
    catalog.current_rowset_columns.resize(1);
    catalog.current_legacy_columns.resize(2);
    catalog.column_descriptors.clear();
    pages.calls.clear();
    out.clear();
    EXPECT_EQ(retrieve_definition_fragments(catalog, events, pages.decoder(), out), 2u);
    EXPECT_EQ(pages.calls, (std::vector<std::string>{"14 offsets"}));
    EXPECT_TRUE(out.empty());
    catalog.column_descriptors.resize(5);
    retrieve_definition_fragments(catalog, events, pages.decoder(), out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].object_id_text, "14");
    EXPECT_EQ(out[0].value_text, "0x41");
}

TEST(DefinitionRetrieval, StopEndsTheWalkButNotTheLog) {
    test::CatalogFixture fixture({{10, 60, 1}, {11, 60, 1}, {12, 60, 1}});
    testing::RecordingEvents events;
    events.hook = [&](const std::string& line) {
        if (line == "position 0") fixture.state().stop = true;
    };
    PageIdDecoder pages;
    std::vector<DefinitionFragment> out;
    retrieve_definition_fragments(fixture.catalog(), events, pages.decoder(), out);
    EXPECT_EQ(out.size(), 1u);
    EXPECT_EQ(events.log_lines().back(), kDefinitionsRetrieved);
    EXPECT_EQ(events.positions().back(), 3);
}

}  // namespace
}  // namespace quenlow
