#include "engine/catalog/schema_assembly.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "engine/catalog/type_codes.h"
#include "tests/support/catalog_fixture.h"

namespace quenlow {
namespace {

using test::add_builtin_types;
using test::add_int_table;
using test::allocation_unit_row;
using test::CatalogFixture;
using test::column_row;
using test::object_row;
using test::rowset_column_row;
using test::rowset_row;

const std::vector<DefinitionFragment> kNoDefinitions;

std::vector<std::int32_t> column_ids(const std::vector<ColumnDescriptor>& list) {
    std::vector<std::int32_t> out;
    for (const auto& d : list) out.push_back(d.column_id);
    return out;
}

std::vector<std::int32_t> physical_ids(const std::vector<ColumnDescriptor>& list) {
    std::vector<std::int32_t> out;
    for (const auto& d : list) out.push_back(d.physical_column_id);
    return out;
}

// "0x" and the UTF-16LE bytes of an ASCII text, as the row decoder writes a binary value.
std::string utf16_hex(const std::string& text) {
    std::string out = "0x";
    for (char c : text) out += fmt::format("{:02X}00", static_cast<unsigned char>(c));
    return out;
}

std::string ascii_hex(const std::string& text) {
    std::string out = "0x";
    for (char c : text) out += fmt::format("{:02X}", static_cast<unsigned char>(c));
    return out;
}

TEST(FindObject, NameAndTypeRules) {
    CatalogFixture f;
    auto& c = f.catalog();
    c.objects = {object_row(1, "x", "V "), object_row(2, "x", "U "), object_row(3, "y", "U "),
                 object_row(4, "y", "S "), object_row(5, "z", "P "), object_row(6, "w", "U "),
                 object_row(7, "w", "V ")};
    const std::tuple<const char*, const char*, std::int32_t> cases[] = {
        {"x", "U ", 1},  // a view met before the table of the same name wins
        {"w", "V ", 7},  // a table of another type is passed over
        {"w", "U ", 6},        {"y", "S ", 4},  {"y", "U ", 3},   {"z", "U ", 5}, {"z", "P ", 5},
        {"missing", "U ", -1}, {"X", "U ", -1}, {"x ", "U ", -1}, {"", "U ", -1},
    };
    for (const auto& [name, type, id] : cases)
        EXPECT_EQ(find_object(c, name, type).object_id, id) << name << "/" << type;
}

TEST(FindType, PrefersTheSchemaOneRowOfTheUserType) {
    CatalogFixture f;
    auto& c = f.catalog();
    auto type = [](std::int32_t id, std::uint8_t system, std::int32_t schema, const char* name) {
        ScalarTypeRow t;
        t.type_id = id;
        t.system_type_id = system;
        t.schema_id = schema;
        t.name = name;
        return t;
    };
    c.types = {type(231, 231, 4, "first"), type(231, 167, 1, "other system type"),
               type(231, 231, 1, "schema one"), type(231, 231, 1, "later"), type(256, 231, 4, "sysname")};
    EXPECT_EQ(find_type(c, 231, 231).name, "schema one");
    EXPECT_EQ(find_type(c, 231, 256).name, "first");  // rows are found by the system type id only
    EXPECT_EQ(find_type(c, 56, 56).name, "");
    EXPECT_EQ(find_type(c, 56, 56).type_id, -1);
}

TEST(FindChildren, ConstraintFlagsInObjectOrder) {
    CatalogFixture f;
    auto& c = f.catalog();
    c.objects = {object_row(10, "T", "U "),         object_row(11, "PK_T", "PK", 10),
                 object_row(12, "other", "F ", 99), object_row(13, "FK_T", "F ", 10),
                 object_row(14, "UQ_T", "UQ", 10),  object_row(15, "DF_T", "D ", 10)};
    auto children = find_children(c, c.objects[0]);
    ASSERT_EQ(children.size(), 4u);
    EXPECT_TRUE(children[0].is_primary_key);
    EXPECT_TRUE(children[1].is_foreign_key);
    EXPECT_TRUE(children[2].is_unique);
    EXPECT_FALSE(children[3].is_primary_key || children[3].is_foreign_key || children[3].is_unique);
    EXPECT_EQ(children[3].name, "DF_T");
    EXPECT_EQ(children[3].type, "D ");
    EXPECT_EQ(children[1].id, 13);

    f.state().sql2000_layout = true;  // the entry then carries the parent's id
    EXPECT_EQ(find_children(c, c.objects[0])[1].id, 10);

    f.state().stop = true;
    EXPECT_TRUE(find_children(c, c.objects[0]).empty());
}

TEST(AssembleObject, NonTableObjectsGiveThreeDescriptors) {
    CatalogFixture f;
    auto& c = f.catalog();
    add_builtin_types(c);
    add_int_table(c, 100, "T", 2);
    c.objects.push_back(object_row(7, "vw", "V "));
    c.objects.push_back(object_row(8, "T", "P "));  // met after the table: the table is found for "U "
    for (const char* type : {"PK", "X ", "P ", "C ", "FN", "IF", "TR", "D ", "TT", "F ", "TF"})
        c.objects.push_back(object_row(200, std::string("o") + type, type));

    const auto table = assemble_object(c, "T", "U ", kNoDefinitions);
    ASSERT_EQ(table.size(), 2u);
    const auto view = assemble_object(c, "vw", "V ", kNoDefinitions);
    ASSERT_EQ(view.size(), 3u);
    EXPECT_EQ(view[0].value_text, "7");
    EXPECT_EQ(view[1].value_text, "V ");
    EXPECT_EQ(view[2].value_text, "vw");
    EXPECT_EQ(view[0].null_bit, -1);
    EXPECT_FALSE(c.current_object_is_table);
    EXPECT_EQ(c.current_object.object_id, 7);
    EXPECT_EQ(c.column_descriptors.size(), 2u);  // the table's descriptors stay
    for (const char* type : {"PK", "X ", "P ", "C ", "FN", "IF", "TR", "D ", "TT", "F ", "TF"})
        EXPECT_EQ(assemble_object(c, std::string("o") + type, type, kNoDefinitions).size(), 3u) << type;
}

TEST(AssembleObject, UnknownObjectLeavesTheWorkingLists) {
    CatalogFixture f;
    auto& c = f.catalog();
    add_builtin_types(c);
    add_int_table(c, 100, "T", 3);
    assemble_object(c, "T", "U ", kNoDefinitions);
    EXPECT_TRUE(assemble_object(c, "nothing", "U ", kNoDefinitions).empty());
    EXPECT_TRUE(c.current_object_is_table);
    EXPECT_EQ(c.column_descriptors.size(), 3u);
    EXPECT_EQ(c.current_columns.size(), 3u);
}

TEST(AssembleObject, ColumnsAreMatchedByMaskedIdOncePerColumnId) {
    CatalogFixture f;
    auto& c = f.catalog();
    add_builtin_types(c);
    c.objects = {object_row(0x100, "T", "U ")};
    c.columns = {column_row(0x100, 3, "third", 56, 4),      column_row(0x1000100, 1, "bit 24", 56, 4),
                 column_row(0x2000100, 2, "bit 25", 56, 4), column_row(0x4000100, 4, "bit 26 differs", 56, 4),
                 column_row(0x100, 1, "duplicate", 127, 8), column_row(0x100, 5, "type id 0", 0, 4),
                 column_row(0x100, 6, "parameter", 56, 4)};
    c.columns.back().number = 1;
    const auto list = assemble_object(c, "T", "U ", kNoDefinitions);
    EXPECT_EQ(column_ids(list), (std::vector<std::int32_t>{1, 2, 3}));
    EXPECT_EQ(list[0].name, "bit 24");
    EXPECT_EQ(list[0].type_text, "int(4)");
    EXPECT_EQ(c.current_columns.size(), 4u);  // the type-0 column is a column, not a descriptor
    for (const auto& d : list) EXPECT_TRUE(d.physical_position_known);  // no physical rows at all
}

TEST(AssembleObject, DescriptorFieldsFromTheColumnRow) {
    CatalogFixture f;
    auto& c = f.catalog();
    add_builtin_types(c);
    c.objects = {object_row(100, "T", "U ")};
    ColumnParamRow id = column_row(100, 1, "id", 56, 4, 1);  // bit 0: not nullable
    id.identity_text = "identity(1,1)";
    ColumnParamRow guid = column_row(100, 2, "g", 36, 16, 8);
    ColumnParamRow sparse = column_row(100, 3, "s", 231, 100, 1 << 24);
    sparse.collation_id = 53256;
    ColumnParamRow amount = column_row(100, 4, "amount", 106, 9);
    amount.precision = 18;
    amount.scale = 2;
    c.columns = {amount,
                 sparse,
                 guid,
                 id,
                 column_row(100, 5, "picture", 34, 16),
                 column_row(100, 6, "body", 35, 16),
                 column_row(100, 7, "unknown", 200, 12),
                 column_row(100, 8, "blob", 165, -1),
                 column_row(100, 9, "name", 232, 256)};
    const auto list = assemble_object(c, "T", "U ", kNoDefinitions);
    ASSERT_EQ(column_ids(list), (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_FALSE(list[0].nullable);
    EXPECT_EQ(list[0].identity_text, "identity(1,1)");
    EXPECT_TRUE(list[1].row_guid);
    EXPECT_TRUE(list[1].nullable);
    EXPECT_TRUE(list[2].sparse);
    EXPECT_EQ(list[2].collation_id, 53256);
    EXPECT_EQ(list[2].declared_length, 100);
    EXPECT_EQ(list[3].type_text, "decimal(9)");
    EXPECT_EQ(list[3].precision, 18);
    EXPECT_EQ(list[3].scale, 2);
    EXPECT_EQ(list[4].type_code, kTypeImage);
    EXPECT_EQ(list[4].type_text, "image(16)");
    EXPECT_EQ(list[5].type_code, kTypeText);
    EXPECT_EQ(list[6].type_text, "(12)");  // no type row: the name is empty
    EXPECT_EQ(list[6].type_code, kTypeChar);
    EXPECT_EQ(list[6].declared_length, 12);
    EXPECT_EQ(list[7].type_text, "varbinary(-1)");
    EXPECT_EQ(list[8].type_code, kTypeNvarchar);  // system type 232 is stored as nvarchar
    EXPECT_EQ(list[8].type_text, "(256)");
    EXPECT_EQ(list[8].declared_length, 256);
}

TEST(AssembleObject, RowsetChoice) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::int64_t, std::int32_t>> rowsets;  // rowset id, minor id
        std::int64_t chosen;
    };
    const Case cases[] = {
        {"heap before clustered index", {{501, 1}, {502, 0}, {503, 2}}, 502},
        {"clustered index", {{501, 2}, {502, 1}, {503, 3}}, 502},
        {"equal minor ids: the later", {{501, 0}, {502, 0}, {503, 1}}, 502},
        {"no minor 0 or 1: the last", {{501, 2}, {502, 5}, {503, 3}}, 503},
        {"no rowset", {}, 0},
    };
    for (const Case& k : cases) {
        CatalogFixture f;
        auto& c = f.catalog();
        c.objects = {object_row(100, "T", "U ")};
        c.rowsets.push_back(rowset_row(1, 99, 0));
        for (const auto& [rowset, minor] : k.rowsets) c.rowsets.push_back(rowset_row(rowset, 100, minor));
        c.rowsets.push_back(rowset_row(2, 101, 0));
        assemble_object(c, "T", "U ", kNoDefinitions);
        EXPECT_EQ(c.current_rowset.rowset_id, k.chosen) << k.what;
        EXPECT_EQ(c.current_rowsets.size(), k.rowsets.size()) << k.what;
    }
}

TEST(AssembleObject, TwoPartitionsGiveThePagesOfBoth) {
    // Partition 1: object number 7001, pages 10 and 11; partition 2: object number 7002, page 12 and 14.
    CatalogFixture f({{10, 7001}, {11, 7001}, {12, 7002}, {13, 7003, 2}, {14, 7002}, {15, 8000}});
    auto& c = f.catalog();
    add_builtin_types(c);
    c.objects = {object_row(100, "T", "U ")};
    c.columns = {column_row(100, 1, "a", 56, 4), column_row(100, 2, "b", 56, 4)};
    c.rowsets = {rowset_row(501, 100, 0, 1), rowset_row(502, 100, 0, 2), rowset_row(503, 100, 2)};
    c.allocation_units = {allocation_unit_row(7002, 502, 1, {1, 4}), allocation_unit_row(7001, 501),
                          allocation_unit_row(7009, 502, 3), allocation_unit_row(7003, 503),
                          allocation_unit_row(7004, 502, 1, {0, 0})};
    c.allocation_units.back().root_page = {0, 0};
    c.rowset_columns = {rowset_column_row(501, 1, 1, 4, 1), rowset_column_row(502, 2, 7, 8, 2),
                        rowset_column_row(502, 1, 6, 4, 1)};
    const auto list = assemble_object(c, "T", "U ", kNoDefinitions);

    EXPECT_EQ(c.current_rowset.rowset_id, 502);
    // The last in-row unit of the rowset; it points at no page, so its first page stays.
    EXPECT_EQ(c.current_allocation_unit.object_number(), 7004);
    EXPECT_EQ(c.current_allocation_unit.first_page, (PageAddress{0, 0}));
    ASSERT_EQ(c.current_allocation_units.size(), 5u);  // grouped by rowset: 501's, then 502's, then 503's
    EXPECT_EQ(c.current_allocation_units[0].object_number(), 7001);
    EXPECT_EQ(c.current_allocation_units[1].object_number(), 7002);
    EXPECT_EQ(c.current_allocation_units[4].object_number(), 7003);
    EXPECT_EQ(c.current_data_pages,
              (std::vector<PageAddress>{{1, 10}, {1, 11}, {1, 12}, {1, 14}}));  // 13 is not a data page
    ASSERT_EQ(c.current_rowset_columns.size(), 2u);
    EXPECT_EQ(physical_ids(list), (std::vector<std::int32_t>{6, 7}));
    EXPECT_EQ(list[1].leaf_offset, 8);
    EXPECT_EQ(list[1].null_bit, 2);

    // A unit that points at a page takes the last data page of its object number as first page.
    c.allocation_units.pop_back();
    assemble_object(c, "T", "U ", kNoDefinitions);
    EXPECT_EQ(c.current_allocation_unit.object_number(), 7002);
    EXPECT_EQ(c.current_allocation_unit.first_page, (PageAddress{1, 14}));
}

TEST(AssembleObject, StopFlagLeavesStorageListsEmpty) {
    CatalogFixture f({{10, 100}});
    auto& c = f.catalog();
    add_builtin_types(c);
    add_int_table(c, 100, "T", 2);
    c.objects.push_back(object_row(101, "PK_T", "PK", 100));
    f.state().stop = true;
    const auto list = assemble_object(c, "T", "U ", kNoDefinitions);
    EXPECT_EQ(list.size(), 2u);
    EXPECT_EQ(c.current_rowset.rowset_id, 100000);
    EXPECT_TRUE(c.current_constraints.empty());
    EXPECT_TRUE(c.current_rowsets.empty());
    EXPECT_TRUE(c.current_allocation_units.empty());
    EXPECT_TRUE(c.current_data_pages.empty());
}

TEST(AssembleObject, ComputedColumnTakesItsDefinition) {
    CatalogFixture f;
    auto& c = f.catalog();
    add_builtin_types(c);
    c.objects = {object_row(100, "T", "U ")};
    c.columns = {column_row(100, 1, "total", 56, 4), column_row(100, 2, "a", 56, 4),
                 column_row(100, 3, "b", 56, 4)};
    c.rowsets = {rowset_row(501, 100, 0)};
    c.rowset_columns = {rowset_column_row(501, 2, 1, 4, 1), rowset_column_row(501, 3, 2, 8, 2)};
    const std::vector<DefinitionFragment> definitions = {
        {"100", "1", utf16_hex("([a]+")},        {"100", "1", ""},
        {"1000", "1", utf16_hex("other table")}, {"100", "2", utf16_hex("other column")},
        {"100", "1", ascii_hex("[b])")},
    };
    const auto list = assemble_object(c, "T", "U ", definitions);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].physical_column_id, kNotStored);
    EXPECT_FALSE(list[0].physical_position_known);
    EXPECT_EQ(list[0].value_text, "([a]+[b])");
    EXPECT_EQ(list[1].value_text, "");
    EXPECT_EQ(physical_ids(list), (std::vector<std::int32_t>{kNotStored, 1, 2}));
    EXPECT_EQ(c.first_stored_column, 1);

    // Without rowset column rows every column counts as stored.
    c.rowset_columns.clear();
    const auto plain = assemble_object(c, "T", "U ", definitions);
    EXPECT_EQ(physical_ids(plain), (std::vector<std::int32_t>{1, 2, 3}));
    EXPECT_EQ(c.first_stored_column, 0);
}

TEST(AssembleObject, OlderPhysicalLayout) {
    auto hobt = [](std::int32_t column, std::int16_t leaf, std::int16_t second) {
        HobtColumnRow h;
        h.rowset_id = 501;
        h.column_id = column;
        h.leaf_offset = leaf;
        h.second_offset = second;
        return h;
    };
    auto link = [](std::int32_t column, std::int32_t rowset_column) {
        RowsetColumnLinkRow l;
        l.rowset_id = 501;
        l.column_id = column;
        l.rowset_column_id = rowset_column;
        return l;
    };
    struct Case {
        const char* what;
        std::vector<std::int32_t> columns;
        std::vector<HobtColumnRow> physical;
        std::vector<RowsetColumnLinkRow> links;
        std::vector<std::int32_t> ids, physical_ids, leaf_offsets, null_bits;
        std::vector<bool> known;
        std::int32_t first_stored;
    };
    const Case cases[] = {
        {"every column placed",
         {1, 2},
         {hobt(1, 4, 1), hobt(2, 8, 2)},
         {link(1, 1), link(2, 2)},
         {1, 2},
         {1, 2},
         {4, 8},
         {1, 2},
         {true, true},
         0},
        {"a dropped column gets a descriptor of its own",
         {1, 3},
         {hobt(1, 4, 1), hobt(2, 8, 2), hobt(3, 12, 3)},
         {link(1, 1), link(3, 3)},
         {1, 3, 2},
         {1, 3, kNotStored},
         {4, 12, 8},
         {1, 3, 2},
         {true, true, false},
         0},
        {"descriptors are added only while the counts differ",
         {1, 2},
         {hobt(1, 4, 1), hobt(5, 8, 2), hobt(6, 12, 3)},
         {},
         {1, 2, 5},
         {-1, 2, kNotStored},
         {4, 0, 8},
         {1, -1, 2},
         {true, false, false},
         0},
        {"a table without column rows",
         {},
         {hobt(1, 4, 1), hobt(2, 8, 2)},
         {},
         {1, 2},
         {0, 0},
         {4, 8},
         {1, 2},
         {false, false},
         0},
        {"a descriptor borrows the position of the column its rowset column id names",
         {1, 2},
         {hobt(1, 4, 1), hobt(2, 8, 2)},
         {link(1, 2), link(2, 2)},
         {1, 2},
         {2, 2},
         {8, 8},
         {2, 2},
         {true, true},
         0},
    };
    for (const Case& k : cases) {
        CatalogFixture f;
        auto& c = f.catalog();
        add_builtin_types(c);
        c.objects = {object_row(100, "T", "U ")};
        for (std::int32_t id : k.columns) c.columns.push_back(column_row(100, id, "c", 56, 4));
        c.rowsets = {rowset_row(501, 100, 0)};
        c.hobt_columns = k.physical;
        c.hobt_columns.push_back(hobt(1, 99, 99));
        c.hobt_columns.back().rowset_id = 777;
        c.rowset_column_links = k.links;
        const auto list = assemble_object(c, "T", "U ", kNoDefinitions);
        EXPECT_EQ(column_ids(list), k.ids) << k.what;
        EXPECT_EQ(physical_ids(list), k.physical_ids) << k.what;
        std::vector<std::int32_t> leaf, null_bits;
        std::vector<bool> known;
        for (const auto& d : list) {
            leaf.push_back(d.leaf_offset);
            null_bits.push_back(d.null_bit);
            known.push_back(d.physical_position_known);
        }
        EXPECT_EQ(leaf, k.leaf_offsets) << k.what;
        EXPECT_EQ(null_bits, k.null_bits) << k.what;
        EXPECT_EQ(known, k.known) << k.what;
        EXPECT_EQ(c.first_stored_column, k.first_stored) << k.what;
        EXPECT_EQ(c.current_physical_columns.size(), k.physical.size()) << k.what;
        EXPECT_EQ(c.current_column_links.size(), k.links.size()) << k.what;
    }
}

TEST(AssembleObject, OlderLayoutLooksUpDefinitionsOfUnplacedPhysicalIds) {
    CatalogFixture f;
    auto& c = f.catalog();
    add_builtin_types(c);
    c.objects = {object_row(100, "T", "U ")};
    c.columns = {column_row(100, 1, "a", 56, 4), column_row(100, 2, "b", 56, 4)};
    c.rowsets = {rowset_row(501, 100, 0)};
    HobtColumnRow h;
    h.rowset_id = 501;
    h.column_id = 1;
    h.leaf_offset = 4;
    h.second_offset = 1;
    c.hobt_columns = {h};
    c.rowset_column_links = {{501, 1, 9}};
    const std::vector<DefinitionFragment> definitions = {{"100", "9", utf16_hex("nine")},
                                                         {"100", "2", utf16_hex("two")}};
    const auto list = assemble_object(c, "T", "U ", definitions);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].physical_column_id, 9);  // unchanged by the lookup
    EXPECT_EQ(list[0].value_text, "nine");
    // A column without a physical row lends its own (unset) position to itself: no definition, and the
    // older layout never marks it as not stored.
    EXPECT_EQ(list[1].value_text, "");
    EXPECT_EQ(list[1].physical_column_id, 2);
    EXPECT_FALSE(list[1].physical_position_known);
}

TEST(AssembleObject, KeyColumnsFromIndexes) {
    CatalogFixture f;
    auto& c = f.catalog();
    add_builtin_types(c);
    add_int_table(c, 100, "T", 5);
    auto index = [](std::int32_t id, std::int32_t status) {
        IndexStatRow r;
        r.object_id = 100;
        r.index_id = id;
        r.status = status;
        return r;
    };
    auto key = [](std::int32_t index_id, std::int32_t column, std::uint8_t tiny) {
        IndexColumnRow r;
        r.object_id = 100;
        r.index_id = index_id;
        r.column_id = column;
        r.tiny_property1 = tiny;
        return r;
    };
    c.index_rows = {index(0, 1 | 32), index(1, 1 | 32), index(2, 1 | 8), index(3, 1 | 64), index(4, 8 | 32)};
    c.index_rows.push_back(index(2, 1 | 32));
    c.index_rows.back().object_id = 101;
    c.index_columns = {key(1, 1, 0), key(2, 2, 0), key(3, 3, 2), key(4, 4, 0), key(0, 5, 0)};
    c.index_columns.push_back(key(1, 2, 0));
    c.index_columns.back().object_id = 101;
    const auto list = assemble_object(c, "T", "U ", kNoDefinitions);
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(c.current_indexes.size(), 3u);
    EXPECT_TRUE(list[0].primary_key);
    EXPECT_FALSE(list[1].primary_key);
    EXPECT_TRUE(list[1].unique);
    EXPECT_TRUE(list[2].unique_constraint);
    EXPECT_EQ(list[2].key_flag, 2);
    for (int i : {3, 4})
        EXPECT_FALSE(list[i].primary_key || list[i].unique || list[i].unique_constraint) << i;
}

class ForeignKeys : public ::testing::Test {
  protected:
    ForeignKeys() {
        auto& c = f.catalog();
        add_builtin_types(c);
        add_int_table(c, 10, "Orders", 3);
        add_int_table(c, 20, "Old name", 2);
        add_int_table(c, 20, "Customers", 2);
        c.objects.push_back(object_row(900, "FK_Orders_Customers", "F ", 10));
        c.objects.back().status = 5;
        c.objects.push_back(object_row(901, "FK_nameless", "F ", 10));
        c.columns[0].name = "OrderId";
        c.columns[1].name = "CustomerId";
        c.columns[3].name = "Id";
    }
    static ObjectReferenceRow ref(std::uint8_t cls, std::int32_t dep, std::int32_t sub, std::int32_t id,
                                  std::int32_t sub_id) {
        return {cls, dep, sub, id, sub_id, 0};
    }
    CatalogFixture f;
};

TEST_F(ForeignKeys, PairsInOuterListOrder) {
    auto& c = f.catalog();
    c.object_references = {ref(28, 1, 1, 10, 1), ref(29, 1, 1, 20, 1), ref(28, 2, 1, 10, 2),
                           ref(29, 1, 1, 20, 2), ref(29, 2, 1, 20, 1), ref(29, 1, 2, 20, 9),
                           ref(5, 1, 1, 20, 1)};
    assemble_foreign_keys(c);
    ASSERT_EQ(c.foreign_keys.size(), 3u);
    const std::vector<std::pair<std::int32_t, std::int32_t>> expected = {{1, 1}, {1, 2}, {2, 1}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(c.foreign_keys[i].constraint_id, i < 2 ? 1 : 2);
        EXPECT_EQ(c.foreign_keys[i].referencing_column_id, expected[i].first) << i;
        EXPECT_EQ(c.foreign_keys[i].referenced_column_id, expected[i].second) << i;
    }

    f.state().stop = true;
    c.object_references.clear();
    assemble_foreign_keys(c);
    EXPECT_EQ(c.foreign_keys.size(), 3u);
}

TEST_F(ForeignKeys, NamesAndDescriptorFlags) {
    auto& c = f.catalog();
    c.object_references = {ref(28, 900, 1, 10, 2), ref(29, 900, 1, 20, 1), ref(28, 901, 1, 10, 3),
                           ref(29, 901, 1, 20, 7)};
    assemble_foreign_keys(c);
    ASSERT_EQ(c.foreign_keys.size(), 2u);
    const ForeignKeyEntry& fk = c.foreign_keys[0];
    EXPECT_EQ(fk.constraint_name, "FK_Orders_Customers");
    EXPECT_EQ(fk.constraint_status, 5);
    EXPECT_EQ(fk.column_ordinal, 1);
    EXPECT_EQ(fk.referencing_table_id, 10);
    EXPECT_EQ(fk.referencing_table_name, "Orders");
    EXPECT_EQ(fk.referencing_column_name, "CustomerId");
    EXPECT_EQ(fk.referenced_table_name, "Customers");  // the last object of that id wins
    EXPECT_EQ(fk.referenced_column_name, "c1");        // the later column row of (20, 1) wins over "Id"
    EXPECT_EQ(c.foreign_keys[1].referenced_column_name, "");

    const auto list = assemble_object(c, "Orders", "U ", kNoDefinitions);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_FALSE(list[0].foreign_key);
    EXPECT_TRUE(list[1].foreign_key);
    EXPECT_EQ(list[1].referenced_table, "Customers");
    EXPECT_EQ(list[1].referenced_column, "c1");
    EXPECT_FALSE(list[2].foreign_key);  // its referenced column has no name
    EXPECT_EQ(c.current_constraints.size(), 2u);
}

TEST(AssembleObject, Sql2000Layout) {
    CatalogFixture f({{10, 2000}, {11, 2001}, {12, 2000}, {13, 2000, 2}});
    f.state().sql2000_layout = true;
    auto& c = f.catalog();
    add_builtin_types(c);
    c.objects = {object_row(2000, "T", "U "), object_row(2002, "PK_T", "PK", 2000)};
    auto legacy = [](std::int32_t object, std::int16_t id, std::uint8_t type, std::int16_t length,
                     std::uint8_t type_status, std::int16_t offset, std::int16_t physical) {
        LegacyColumnRow r;
        r.object_id = object;
        r.column_id = id;
        r.name = "c" + std::to_string(id);
        r.system_type_id = type;
        r.user_type_id = type;
        r.length = length;
        r.type_status = type_status;
        r.offset = offset;
        r.physical_offset = physical;
        r.collation_id = 7;
        r.column_status = 8;
        return r;
    };
    c.legacy_columns = {legacy(2000, 2, 167, 20, 0, -1, 12),
                        legacy(0x2002000 - 0x2000 + 2000, 1, 56, 4, 1, 4, 4), legacy(2000, 2, 56, 4, 0, 9, 9),
                        legacy(2000, 3, 0, 4, 0, 8, 8), legacy(2001, 4, 56, 4, 0, 4, 4)};
    c.rowset_columns = {rowset_column_row(0, 1, 1, 4, 1)};  // never consulted in this layout
    const auto list = assemble_object(c, "T", "U ", kNoDefinitions);
    ASSERT_EQ(column_ids(list), (std::vector<std::int32_t>{1, 2}));
    EXPECT_EQ(c.current_legacy_columns.size(), 3u);
    EXPECT_TRUE(c.current_columns.empty());
    EXPECT_EQ(list[0].type_text, "int(4)");
    EXPECT_FALSE(list[0].nullable);
    EXPECT_EQ(list[0].leaf_offset, 4);
    EXPECT_EQ(list[0].second_offset, 4);
    EXPECT_EQ(list[1].type_text, "varchar(20)");
    EXPECT_TRUE(list[1].nullable);
    EXPECT_EQ(list[1].leaf_offset, -1);
    EXPECT_EQ(list[1].second_offset, 12);
    EXPECT_EQ(list[1].collation_id, 7);
    for (const auto& d : list) {
        EXPECT_TRUE(d.physical_position_known);
        EXPECT_FALSE(d.sparse || d.row_guid);
        EXPECT_EQ(d.physical_column_id, d.column_id);
        EXPECT_EQ(d.null_bit, -1);
    }
    EXPECT_EQ(c.current_data_pages, (std::vector<PageAddress>{{1, 10}, {1, 12}}));
    ASSERT_EQ(c.current_constraints.size(), 1u);
    EXPECT_EQ(c.current_constraints[0].id, 2000);
    EXPECT_TRUE(c.current_rowsets.empty());
    EXPECT_TRUE(c.current_object_is_table);
}

TEST(SortByColumnId, BehavesAsASelectionSort) {
    auto make = [](std::vector<std::pair<std::int32_t, const char*>> items) {
        std::vector<ColumnDescriptor> list;
        for (const auto& [id, name] : items) {
            list.emplace_back();
            list.back().column_id = id;
            list.back().name = name;
        }
        return list;
    };
    auto list = make({{2, "a"}, {1, "b"}, {2, "c"}, {1, "d"}});
    sort_by_column_id(list);
    std::vector<std::string> names;
    for (const auto& d : list) names.push_back(d.name);
    EXPECT_EQ(names, (std::vector<std::string>{"b", "d", "c", "a"}));  // a stable sort would give b d a c

    std::mt19937 random(7);
    std::vector<std::int32_t> ids(300);
    for (std::size_t i = 0; i < ids.size(); ++i) ids[i] = static_cast<std::int32_t>(i * 3) - 40;
    std::shuffle(ids.begin(), ids.end(), random);
    std::vector<ColumnDescriptor> many(ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) many[i].column_id = ids[i];
    sort_by_column_id(many);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(column_ids(many), ids);
}

// Not a timing test: many tables assembled one after another each get exactly their own columns,
// rowset and pages.
TEST(AssembleObject, ManyTables) {
    constexpr int kTables = 2000;
    constexpr std::int32_t kFirstId = 1000;
    std::vector<test::ImagePage> pages;
    for (int t = 0; t < kTables; ++t) pages.push_back({static_cast<std::uint32_t>(16 + t), kFirstId + t});
    CatalogFixture f(pages, 16 + kTables);
    auto& c = f.catalog();
    add_builtin_types(c);
    for (int t = 0; t < kTables; ++t) add_int_table(c, kFirstId + t, fmt::format("table{}", t), 10);
    for (int t = 0; t < kTables; t += 2)
        c.objects.push_back(object_row(100000 + t, "PK", "PK", kFirstId + t));
    for (int t = 0; t < kTables; ++t) {
        const auto list = assemble_object(c, fmt::format("table{}", t), "U ", kNoDefinitions);
        ASSERT_EQ(list.size(), 10u) << t;
        EXPECT_EQ(list[9].name, "c10");
        EXPECT_EQ(list[9].leaf_offset, 40);
        EXPECT_TRUE(list[9].physical_position_known);
        EXPECT_EQ(c.current_rowset.rowset_id, std::int64_t{kFirstId + t} * 1000);
        ASSERT_EQ(c.current_data_pages.size(), 1u) << t;
        EXPECT_EQ(c.current_data_pages[0].page_id, 16 + t);
        EXPECT_EQ(c.current_constraints.size(), t % 2 == 0 ? 1u : 0u);
    }
}

}  // namespace
}  // namespace quenlow
