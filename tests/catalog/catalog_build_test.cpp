#include "engine/catalog/catalog_build.h"

#include <gtest/gtest.h>

#include <random>

#include "engine/catalog/catalog_readers.h"
#include "engine/pages/text_codec.h"
#include "engine/catalog/legacy_catalog.h"
#include "tests/support/catalog_page_builder.h"

namespace quenlow {
namespace {

using testing::Bytes;
using testing::CatalogImage;
using testing::CatalogPageSpec;
using testing::encode_catalog_record;
using testing::FixedBytes;
using testing::utf16le;

constexpr const char* kPath = "/db/test.mdf";

Bytes name_value(std::string_view name) {
    return utf16le(name);
}

// A row of the object table (later layout): 40 bytes of fixed data.
Bytes object_row(std::int32_t id, std::string_view type, std::int32_t parent,
                 std::optional<std::string_view> name, std::size_t fixed_size = 40) {
    FixedBytes fixed(fixed_size);
    fixed.put<std::int32_t>(0, id).put<std::int32_t>(4, 1).put<std::uint8_t>(8, 0).put<std::int32_t>(9, 0x10);
    fixed.put_code(13, type).put<std::int32_t>(15, parent).put<std::uint8_t>(19, 1).put<std::int32_t>(20, 7);
    Bytes bytes = fixed;
    bytes.resize(fixed_size);
    std::vector<Bytes> variable;
    if (name) variable.push_back(name_value(*name));
    return encode_catalog_record({bytes, variable});
}

// A row of the SQL Server 2000 object table: type at 4, parent at 24 (a decoy parent at 15).
Bytes legacy_object_row(std::int32_t id, std::string_view type, std::int32_t parent, std::string_view name,
                        std::size_t fixed_size = 40) {
    FixedBytes fixed(fixed_size);
    fixed.put<std::int32_t>(0, id).put_code(4, type).put<std::int32_t>(15, 555).put<std::int32_t>(24, parent);
    Bytes bytes = fixed;
    bytes.resize(fixed_size);
    return encode_catalog_record({bytes, {name_value(name)}});
}

Bytes column_row(std::int32_t object_id, std::int32_t column_id, std::optional<std::string_view> name,
                 std::int32_t status = 0, std::optional<Bytes> second = std::nullopt) {
    FixedBytes fixed(41);
    fixed.put<std::int32_t>(0, object_id).put<std::int16_t>(4, 0).put<std::int32_t>(6, column_id);
    fixed.put<std::uint8_t>(10, 56).put<std::int32_t>(11, 56).put<std::int16_t>(15, 4);
    fixed.put<std::uint8_t>(17, 10).put<std::uint8_t>(18, 0).put<std::int32_t>(19, 0).put<std::int32_t>(
        23, status);
    fixed.put<std::int16_t>(27, 4).put<std::int32_t>(29, 0).put<std::int32_t>(33, 0).put<std::int32_t>(37, 0);
    std::vector<Bytes> variable;
    if (name) variable.push_back(name_value(*name));
    if (second) variable.push_back(*second);
    return encode_catalog_record({fixed, variable});
}

Bytes sysindexes_row(std::int32_t object_id, std::int16_t index_id, std::uint32_t first_page,
                     std::uint32_t first_iam, std::size_t fixed_size = 80) {
    FixedBytes fixed(fixed_size);
    fixed.put<std::int32_t>(0, object_id).put<std::uint32_t>(8, first_page).put<std::uint16_t>(12, 1);
    fixed.put<std::int16_t>(14, index_id);
    Bytes bytes = fixed;
    if (fixed_size >= 68) {
        FixedBytes with_iam(fixed_size);
        with_iam.put_bytes(0, bytes).put<std::uint32_t>(64, first_iam);
        bytes = with_iam;
    }
    bytes.resize(fixed_size);
    return encode_catalog_record({bytes, {name_value("ix")}});
}

Bytes legacy_column_row(std::int32_t object_id, std::int16_t column_id, std::string_view name,
                        std::uint8_t type_status, std::int16_t column_order, std::uint16_t column_count = 25,
                        std::size_t fixed_size = 42) {
    FixedBytes fixed(fixed_size);
    fixed.put<std::int32_t>(0, object_id).put<std::uint8_t>(4, 56).put<std::uint8_t>(5, type_status);
    fixed.put<std::int16_t>(6, 56).put<std::int16_t>(8, 4).put<std::int16_t>(12, column_id);
    fixed.put<std::int16_t>(14, 4).put<std::int16_t>(30, column_order).put<std::int16_t>(32, 8);
    if (fixed_size >= 38) fixed.put<std::int32_t>(34, 0x3400D008);
    Bytes bytes = fixed;
    bytes.resize(fixed_size);
    return encode_catalog_record({bytes, {name_value(name)}, 0, column_count});
}

Bytes file_row(std::uint16_t file_id, std::string_view logical, std::string_view physical,
               std::size_t fixed_size = 782) {
    FixedBytes fixed(fixed_size);
    fixed.put<std::uint32_t>(0, 2).put<std::uint16_t>(4, file_id);
    fixed.put_bytes(6, utf16le(std::string(logical) + "   "));
    if (fixed_size >= 782) fixed.put_bytes(262, utf16le(std::string(physical) + " \t "));
    Bytes bytes = fixed;
    bytes.resize(fixed_size);
    return encode_catalog_record({bytes, {}});
}

Bytes fixed_only(const Bytes& fixed) {
    return encode_catalog_record({fixed, {}});
}

// Opens an image from memory and builds its catalog.
class CatalogBuildTest : public ::testing::Test {
  protected:
    SystemCatalog& open(const CatalogImage& image, CatalogBuildOptions options = {}) {
        files.add_file(kPath, image.bytes());
        db = OpenedDatabase::open(kPath, ReadOptions{}, {state, events, files},
                                  catalog_builder(std::move(options)));
        EXPECT_TRUE(db->is_open());
        auto* catalog = dynamic_cast<SystemCatalog*>(db->catalog());
        EXPECT_NE(catalog, nullptr);
        return *catalog;
    }

    EngineState state;
    NullEngineEvents events;
    MemoryFileSystem files;
    std::unique_ptr<OpenedDatabase> db;
};

std::vector<std::string> names(const std::vector<SchemaObjectRow>& objects) {
    std::vector<std::string> out;
    for (const auto& o : objects) out.push_back(o.name);
    return out;
}

TEST_F(CatalogBuildTest, LaterLayoutReadsEveryTableInPageMapOrder) {
    CatalogImage image;
    image.add(8, {file_row(1, "test", "C:\\data\\test.mdf")});
    image.add(34, {object_row(2073058421, "U ", 0, "Orders"),
                   object_row(2089058478, "PK", 2073058421, "PK_Orders")});
    image.add(34, {object_row(5, "S ", 0, "sysrowsets")});
    image.add(7, {fixed_only(FixedBytes(60)
                                 .put<std::int64_t>(0, 72057594039042048)
                                 .put<std::uint8_t>(8, 1)
                                 .put<std::int64_t>(9, 72057594038321152)
                                 .put<std::int16_t>(21, 1)
                                 .put<std::int32_t>(23, 80)
                                 .put<std::uint16_t>(27, 1)
                                 .put<std::int32_t>(29, 81)
                                 .put<std::uint16_t>(33, 1)
                                 .put<std::int32_t>(35, 82)
                                 .put<std::uint16_t>(39, 1))});
    image.add(5, {fixed_only(FixedBytes(40)
                                 .put<std::int64_t>(0, 72057594038321152)
                                 .put<std::int32_t>(9, 2073058421)
                                 .put<std::int32_t>(13, 1)
                                 .put<std::int64_t>(27, 830))});
    image.add(41, {column_row(2073058421, 1, "OrderID"), column_row(2073058421, 2, "Note")});
    image.add(50, {encode_catalog_record({FixedBytes(38)
                                              .put<std::int32_t>(0, 56)
                                              .put<std::int32_t>(4, 4)
                                              .put<std::uint8_t>(8, 56)
                                              .put<std::int16_t>(9, 4)
                                              .put<std::int32_t>(30, 11)
                                              .put<std::int32_t>(34, 12),
                                          {name_value("int")}})});
    image.add(3, {fixed_only(FixedBytes(52)
                                 .put<std::int64_t>(0, 72057594038321152)
                                 .put<std::int32_t>(8, 1)
                                 .put<std::int32_t>(12, 1)
                                 .put<std::int32_t>(28, 1)
                                 .put<std::int32_t>(40, 4)
                                 .put<std::int32_t>(44, 1)
                                 .put<std::int16_t>(48, 0))});
    image.add(CatalogPageSpec(74, {fixed_only(FixedBytes(21).put<std::int32_t>(1, 99))}).with_page_type(2));
    image.add(74, {fixed_only(FixedBytes(21)
                                  .put<std::uint8_t>(0, 0)
                                  .put<std::int32_t>(1, 10)
                                  .put<std::int32_t>(5, 1)
                                  .put<std::int32_t>(9, 2073058421)
                                  .put<std::int32_t>(13, 1))});
    image.add(54, {encode_catalog_record({FixedBytes(35)
                                              .put<std::int32_t>(0, 2073058421)
                                              .put<std::int32_t>(4, 1)
                                              .put<std::int64_t>(27, 72057594038321152),
                                          {name_value("PK_Orders")}})});
    image.add(55, {fixed_only(FixedBytes(22)
                                  .put<std::int32_t>(0, 2073058421)
                                  .put<std::int32_t>(4, 1)
                                  .put<std::int32_t>(8, 1)
                                  .put<std::int32_t>(16, 1)
                                  .put<std::uint8_t>(20, 1))});
    image.add(13, {fixed_only(FixedBytes(35)
                                  .put<std::int64_t>(0, 42)
                                  .put<std::int32_t>(8, 3)
                                  .put<std::int16_t>(27, 8)
                                  .put<std::int16_t>(33, 2))});
    image.add(4,
              {fixed_only(
                  FixedBytes(16).put<std::int64_t>(0, 42).put<std::int32_t>(8, 3).put<std::int32_t>(12, 6))});
    state.sql2000_layout = true;  // left from an earlier scan: the build decides again
    SystemCatalog& catalog = open(image);

    EXPECT_FALSE(state.sql2000_layout);
    ASSERT_EQ(catalog.files.size(), 1u);
    EXPECT_EQ(catalog.files[0].file_id, 1);
    EXPECT_EQ(catalog.files[0].logical_name, "test");
    EXPECT_EQ(catalog.files[0].physical_name, "C:\\data\\test.mdf");

    EXPECT_EQ(names(catalog.objects), (std::vector<std::string>{"Orders", "PK_Orders", "sysrowsets"}));
    const SchemaObjectRow& pk = catalog.objects[1];
    EXPECT_EQ(pk.type, "PK");
    EXPECT_EQ(pk.parent_object_id, 2073058421);
    EXPECT_EQ(pk.schema_id, 1);
    EXPECT_EQ(pk.status, 0x10);
    EXPECT_EQ(pk.parent_class, 1);
    EXPECT_EQ(pk.integer_property, 7);

    ASSERT_EQ(catalog.allocation_units.size(), 1u);
    const AllocationUnitRow& unit = catalog.allocation_units[0];
    EXPECT_EQ(unit.type, 1);
    EXPECT_EQ(unit.owner_id, 72057594038321152);
    EXPECT_EQ(unit.first_page, (PageAddress{1, 80}));
    EXPECT_EQ(unit.root_page, (PageAddress{1, 81}));
    EXPECT_EQ(unit.first_iam_page, (PageAddress{1, 82}));

    ASSERT_EQ(catalog.rowsets.size(), 1u);
    EXPECT_EQ(catalog.rowsets[0].object_id, 2073058421);
    EXPECT_EQ(catalog.rowsets[0].row_count, 830);

    ASSERT_EQ(catalog.columns.size(), 2u);
    EXPECT_EQ(catalog.columns[1].name, "Note");
    EXPECT_EQ(catalog.columns[1].column_id, 2);
    EXPECT_EQ(catalog.columns[1].system_type_id, 56);
    EXPECT_EQ(catalog.columns[1].length, 4);

    ASSERT_EQ(catalog.types.size(), 1u);
    EXPECT_EQ(catalog.types[0].name, "int");
    EXPECT_EQ(catalog.types[0].value30, 11);
    EXPECT_EQ(catalog.types[0].value34, 12);

    ASSERT_EQ(catalog.rowset_columns.size(), 1u);
    EXPECT_EQ(catalog.rowset_columns[0].leaf_offset, 4);
    EXPECT_EQ(catalog.rowset_columns[0].bit_position, 0);

    // The index page mapped under object 74 is not read.
    ASSERT_EQ(catalog.object_references.size(), 1u);
    EXPECT_EQ(catalog.object_references[0].dependent_id, 10);
    EXPECT_EQ(catalog.object_references[0].referenced_id, 2073058421);

    ASSERT_EQ(catalog.index_rows.size(), 1u);
    EXPECT_EQ(catalog.index_rows[0].name, "PK_Orders");
    EXPECT_EQ(catalog.index_rows[0].rowset_id, 72057594038321152);
    ASSERT_EQ(catalog.index_columns.size(), 1u);
    EXPECT_EQ(catalog.index_columns[0].tiny_property1, 1);
    EXPECT_EQ(catalog.index_columns[0].tiny_property2, 0);
    ASSERT_EQ(catalog.hobt_columns.size(), 1u);
    EXPECT_EQ(catalog.hobt_columns[0].leaf_offset, 8);
    EXPECT_EQ(catalog.hobt_columns[0].second_offset, 2);
    ASSERT_EQ(catalog.rowset_column_links.size(), 1u);
    EXPECT_EQ(catalog.rowset_column_links[0].rowset_column_id, 6);

    EXPECT_TRUE(catalog.legacy_columns.empty());
    EXPECT_TRUE(catalog.legacy_index_map.empty());
}

TEST_F(CatalogBuildTest, NoObjectTablePagesMeansSql2000Layout) {
    CatalogImage image;
    image.add(1, {legacy_object_row(1977058079, "U ", 0, "authors"),
                  legacy_object_row(2009058193, "K ", 1977058079, "UPKCL_auidind"),
                  // shorter than 28 bytes: the parent comes from offset 15
                  legacy_object_row(7, "S ", 0, "short", 24)});
    image.add(7, {fixed_only(FixedBytes(60).put<std::int64_t>(0, 7))});
    image.add(99, {fixed_only(FixedBytes(60).put<std::int64_t>(0, 99))});
    // Column rows of the later column table are not read in this layout.
    image.add(41, {column_row(1977058079, 1, "au_id")});
    SystemCatalog& catalog = open(image);

    EXPECT_TRUE(state.sql2000_layout);
    EXPECT_EQ(names(catalog.objects), (std::vector<std::string>{"authors", "UPKCL_auidind", "short"}));
    EXPECT_EQ(catalog.objects[0].type, "U ");
    EXPECT_EQ(catalog.objects[1].type, "K ");
    EXPECT_EQ(catalog.objects[1].parent_object_id, 1977058079);
    EXPECT_EQ(catalog.objects[2].parent_object_id, 555);
    ASSERT_EQ(catalog.allocation_units.size(), 1u);
    EXPECT_EQ(catalog.allocation_units[0].allocation_unit_id, 99);
    EXPECT_TRUE(catalog.columns.empty());
    EXPECT_TRUE(catalog.rowset_columns.empty());
}

// Schema names: the class 50 rows of the class objects table; in the 2000 layout the users, whose id
// the objects keep at offset 8. Rows of other classes, without a name or too short are left out.
TEST_F(CatalogBuildTest, SchemaNamesFromClassObjectsOrUsers) {
    auto named_row = [](const Bytes& fixed, std::optional<std::string_view> name) {
        std::vector<Bytes> variable;
        if (name) variable.push_back(name_value(*name));
        return encode_catalog_record({fixed, variable});
    };
    auto class_row = [&](std::uint8_t object_class, std::int32_t id, std::optional<std::string_view> name,
                         std::size_t fixed_size = 31) {
        FixedBytes fixed(31);
        fixed.put<std::uint8_t>(0, object_class).put<std::int32_t>(1, id);
        Bytes bytes = fixed;
        bytes.resize(fixed_size);
        return named_row(bytes, name);
    };
    auto pairs = [](const SystemCatalog& catalog) {
        std::vector<std::pair<std::int32_t, std::string>> out;
        for (const SchemaNameRow& r : catalog.schemas) out.emplace_back(r.schema_id, r.name);
        return out;
    };
    {
        CatalogImage image;
        image.add(34, {object_row(100, "U ", 0, "T")});
        image.add(64, {class_row(50, 1, "dbo"), class_row(5, 1, "PRIMARY"), class_row(50, 5, "test"),
                       class_row(50, 6, std::nullopt), class_row(50, 7, "short", 3)});
        const SystemCatalog& catalog = open(image);
        EXPECT_EQ(pairs(catalog),
                  (std::vector<std::pair<std::int32_t, std::string>>{{1, "dbo"}, {5, "test"}}));
        EXPECT_EQ(schema_name(catalog, 5), "test");
        EXPECT_EQ(schema_name(catalog, 4), "sys");  // a fixed schema the table does not list
        EXPECT_EQ(schema_name(catalog, 9), "");
    }
    {
        CatalogImage image;
        FixedBytes owned(40);
        owned.put<std::int32_t>(0, 1977058079).put_code(4, "U ").put<std::int16_t>(8, 5);
        image.add(1, {named_row(owned, "authors")});
        image.add(10, {named_row(FixedBytes(22).put<std::int16_t>(0, 0), "public"),
                       named_row(FixedBytes(22).put<std::int16_t>(0, 5), "ann")});
        const SystemCatalog& catalog = open(image);
        ASSERT_TRUE(state.sql2000_layout);
        ASSERT_EQ(catalog.objects.size(), 1u);
        EXPECT_EQ(catalog.objects[0].schema_id, 5);
        EXPECT_EQ(schema_name(catalog, catalog.objects[0].schema_id), "ann");
        EXPECT_EQ(pairs(catalog).size(), 2u);
    }
}

TEST_F(CatalogBuildTest, Sql2000IndexMapKeyTablesAndColumnLinks) {
    CatalogImage image;
    image.add(
        1, {legacy_object_row(1977058079, "U ", 0, "authors"),
            legacy_object_row(2025058250, "U ", 0, "titles"), legacy_object_row(21575115, "U ", 0, "heap")});
    image.add(2, {sysindexes_row(1977058079, 1, 100, 101),
                  sysindexes_row(1977058079, 2, 300, 301),      // not clustered
                  sysindexes_row(2025058250, 1, 110, 111, 66),  // ends before the IAM pointer
                  sysindexes_row(21575115, 1, 120, 121, 63),    // too short to be read
                  sysindexes_row(3, 1, 130, 131)});             // a system table
    image.add(2, {sysindexes_row(1977058079, 1, 200, 201)});    // later wins
    image.add(CatalogPageSpec(2, {sysindexes_row(21575115, 1, 140, 141)}).with_page_type(2));
    image.add(3, {legacy_column_row(1977058079, 1, "au_id", 1, 1),
                  legacy_column_row(2025058250, 1, "title_id", 0, 1, 20),  // 20 columns: no collation
                  legacy_column_row(21575115, 1, "h", 1, 1, 25, 36)});     // short fixed part
    image.add(3, {legacy_column_row(1977058079, 2, "au_lname", 0, 2)});
    SystemCatalog& catalog = open(image);
    ASSERT_TRUE(state.sql2000_layout);

    ASSERT_EQ(catalog.legacy_index_map.size(), 3u);
    const LegacyIndexEntry& authors = catalog.legacy_index_map.at(1977058079);
    EXPECT_EQ(authors.first_page, 200u);
    EXPECT_EQ(authors.first_iam_page, 201u);
    EXPECT_EQ(authors.file_and_index, 1u | (1u << 16));
    EXPECT_EQ(catalog.legacy_index_map.at(2025058250).first_iam_page, 0u);
    EXPECT_EQ(catalog.legacy_index_map.count(21575115), 0u);
    EXPECT_EQ(catalog.legacy_index_map.count(3), 1u);

    // Ascending object id; id 3 is a system table and gets no key table.
    ASSERT_EQ(catalog.legacy_key_tables.size(), 2u);
    EXPECT_EQ(catalog.legacy_key_tables[0].object_id, 1977058079);
    EXPECT_EQ(catalog.legacy_key_tables[0].table_name, "authors");
    EXPECT_EQ(catalog.legacy_key_tables[1].table_name, "titles");
    const auto& links = catalog.legacy_key_tables[0].columns;
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[0].column_name, "au_id");
    EXPECT_EQ(links[0].type_status, 1);
    EXPECT_EQ(links[1].column_name, "au_lname");
    EXPECT_EQ(links[1].column_order, 2);
    ASSERT_EQ(catalog.legacy_key_tables[1].columns.size(), 1u);

    ASSERT_EQ(catalog.legacy_columns.size(), 4u);
    const LegacyColumnRow& au_id = catalog.legacy_columns[0];
    EXPECT_EQ(au_id.collation_id, 0x3400D008);
    EXPECT_EQ(au_id.type_status, 1);
    EXPECT_EQ(au_id.offset, 8);
    EXPECT_EQ(au_id.physical_offset, 4);
    EXPECT_EQ(catalog.legacy_columns[1].collation_id, -1);
    EXPECT_EQ(catalog.legacy_columns[2].collation_id, -1);  // 36 bytes: the collation id does not fit
}

TEST_F(CatalogBuildTest, RepairNamesCountPerTable) {
    CatalogImage image;
    image.add(34, {object_row(101, "U ", 0, std::nullopt), object_row(102, "U ", 0, "named"),
                   object_row(103, "V ", 0, std::nullopt),
                   object_row(104, "U ", 0, std::string_view("\0", 1))});  // empty on disk
    image.add(41, {column_row(101, 1, std::nullopt), column_row(101, 2, std::string_view("\0", 1)),
                   column_row(101, 3, "c")});
    SystemCatalog& catalog = open(image);
    EXPECT_EQ(names(catalog.objects),
              (std::vector<std::string>{"Repairname0", "named", "Repairname1", "RepairColumn2"}));
    ASSERT_EQ(catalog.columns.size(), 3u);
    EXPECT_EQ(catalog.columns[0].name, "RepairColumn0");
    EXPECT_EQ(catalog.columns[1].name, "RepairColumn1");
    EXPECT_EQ(catalog.columns[2].name, "c");
}

TEST_F(CatalogBuildTest, LegacyColumnsRestartTheRepairCounter) {
    CatalogImage image;
    image.add(1, {encode_catalog_record({FixedBytes(40).put<std::int32_t>(0, 150).put_code(4, "U "), {}})});
    image.add(3, {encode_catalog_record({FixedBytes(40).put<std::int32_t>(0, 150), {}, 0, 25}),
                  encode_catalog_record({FixedBytes(40).put<std::int32_t>(0, 150), {Bytes(2)}, 0, 25})});
    SystemCatalog& catalog = open(image);
    ASSERT_EQ(catalog.objects.size(), 1u);
    EXPECT_EQ(catalog.objects[0].name, "Repairname0");
    ASSERT_EQ(catalog.legacy_columns.size(), 2u);
    EXPECT_EQ(catalog.legacy_columns[0].name, "RepairColumn0");
    EXPECT_EQ(catalog.legacy_columns[1].name, "RepairColumn1");
}

Bytes u32s(std::initializer_list<std::uint32_t> values) {
    FixedBytes out(0);
    std::size_t at = 0;
    for (std::uint32_t v : values) out.put<std::uint32_t>(at, v), at += 4;
    return out;
}

TEST(IdentityText, EveryLengthClass) {
    struct Case {
        const char* what;
        Bytes value;
        const char* text;
    };
    FixedBytes sixteen(8);
    sixteen.put<std::uint16_t>(2, 100).put<std::uint16_t>(4, 5);
    FixedBytes wide(24);
    wide.put<std::uint32_t>(0, 0x7F)
        .put<std::uint32_t>(4, 0)
        .put<std::int64_t>(8, 10000000000)
        .put<std::int64_t>(16, -2);
    FixedBytes wide_as_32(24);
    wide_as_32.put<std::uint32_t>(0, 0x7F).put<std::uint32_t>(4, 7).put<std::uint32_t>(8, 3);
    FixedBytes zero_increment(12);
    zero_increment.put<std::uint32_t>(4, 42);
    const Case cases[] = {
        {"empty", {}, "identity(1,1)"},
        {"five bytes", Bytes(5, std::byte{9}), "identity(1,1)"},
        {"16-bit pair", sixteen, "identity(5,100)"},
        {"12 bytes print the value at byte 8 first", u32s({0, 1000, 2}), "identity(2,1000)"},
        {"unsigned 32-bit", u32s({0, 0xFFFFFFFF, 1}), "identity(1,4294967295)"},
        {"64-bit pair", wide, "identity(-2,10000000000)"},
        {"24 bytes read as 32-bit", wide_as_32, "identity(3,7)"},
        {"increment 0 reads as 1", zero_increment, "identity(1,42)"},
    };
    for (const Case& c : cases) EXPECT_EQ(identity_text(c.value), c.text) << c.what;
}

TEST_F(CatalogBuildTest, IdentityTextOnlyForStatusFiveWithASecondValue) {
    CatalogImage image;
    image.add(34, {object_row(101, "U ", 0, "t")});
    image.add(41, {column_row(101, 1, "id", 5, u32s({0x38, 10, 2})),
                   column_row(101, 2, "other", 4, u32s({0, 10, 2})), column_row(101, 3, "lone", 5)});
    SystemCatalog& catalog = open(image);
    ASSERT_EQ(catalog.columns.size(), 3u);
    EXPECT_EQ(catalog.columns[0].identity_text, "identity(2,10)");
    EXPECT_EQ(catalog.columns[1].identity_text, "");
    EXPECT_EQ(catalog.columns[2].identity_text, "");
}

TEST(TablesFromColumns, OneTablePerObjectIdInColumnOrder) {
    EngineState state;
    NullEngineEvents events;
    MemoryFileSystem files;
    CatalogImage image;
    image.add(34, {});
    files.add_file(kPath, image.bytes());
    auto db = OpenedDatabase::open(kPath, ReadOptions{}, {state, events, files});
    ASSERT_TRUE(db->is_open());
    CatalogReader reader(*db);
    std::vector<ColumnParamRow> columns(3);
    columns[0].object_id = 101;
    columns[1].object_id = 245;
    columns[2].object_id = 101;
    std::vector<SchemaObjectRow> objects;
    add_tables_from_columns(reader, columns, objects);
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0].name, "101");
    EXPECT_EQ(objects[0].object_id, 101);
    EXPECT_EQ(objects[0].type, "U ");
    EXPECT_EQ(objects[1].name, "245");
    EXPECT_EQ(objects[1].parent_object_id, -1);
}

TEST_F(CatalogBuildTest, ShortFixedDataKeepsDefaultsAndUnusableRecordsAreSkipped) {
    CatalogImage image;
    image.add(
        34, {object_row(101, "U ", 0, "kept"), object_row(102, "U ", 0, "too short", 19),
             object_row(0, "U ", 0, "id zero"), object_row(-5, "U ", 0, "negative"),
             encode_catalog_record(
                 {FixedBytes(40).put<std::int32_t>(0, 103).put_code(13, "U "), {name_value("fragment")}, 4}),
             object_row(104, "U ", 0, "minimal", 20)});
    image.add(7, {fixed_only(FixedBytes(38).put<std::int64_t>(0, 1).put<std::uint8_t>(8, 1)),
                  fixed_only(FixedBytes(39).put<std::int64_t>(0, 2).put<std::int32_t>(35, 9))});
    image.add(41,
              {encode_catalog_record({FixedBytes(36).put<std::int32_t>(0, 101), {name_value("short")}}),
               encode_catalog_record({FixedBytes(41).put<std::int32_t>(0, 101), {name_value("idx")}, 3})});
    image.add(50, {encode_catalog_record({{}, {name_value("no fixed part")}}),
                   encode_catalog_record({FixedBytes(20).put<std::int32_t>(0, 56), {name_value("short")}})});
    image.add(8, {file_row(1, "a", "b", 519), file_row(1, "a", "b", 600)});
    SystemCatalog& catalog = open(image);

    EXPECT_EQ(names(catalog.objects), (std::vector<std::string>{"kept", "minimal"}));
    EXPECT_EQ(catalog.objects[1].integer_property, -1);  // offset 20 lies outside 20 bytes
    EXPECT_EQ(catalog.objects[1].parent_object_id, 0);

    ASSERT_EQ(catalog.allocation_units.size(), 2u);
    EXPECT_EQ(catalog.allocation_units[0].allocation_unit_id, 0);
    EXPECT_EQ(catalog.allocation_units[0].type, 255);
    EXPECT_EQ(catalog.allocation_units[1].allocation_unit_id, 2);
    EXPECT_EQ(catalog.allocation_units[1].first_iam_page, (PageAddress{0, 0}));

    ASSERT_EQ(catalog.columns.size(), 1u);
    EXPECT_EQ(catalog.columns[0].object_id, -1);
    EXPECT_EQ(catalog.columns[0].name, "");

    ASSERT_EQ(catalog.types.size(), 1u);
    EXPECT_EQ(catalog.types[0].type_id, -1);
    EXPECT_EQ(catalog.types[0].name, "");

    ASSERT_EQ(catalog.files.size(), 2u);
    EXPECT_EQ(catalog.files[0].file_id, 0);
    EXPECT_EQ(catalog.files[1].file_id, 1);
    EXPECT_EQ(catalog.files[1].logical_name, "a");
    EXPECT_EQ(catalog.files[1].physical_name, "");
}

TEST_F(CatalogBuildTest, ParentLoopsAreJustRows) {
    CatalogImage image;
    image.add(34, {object_row(101, "U ", 102, "a"), object_row(102, "U ", 101, "b"),
                   object_row(103, "U ", 103, "self")});
    SystemCatalog& catalog = open(image);
    EXPECT_EQ(names(catalog.objects), (std::vector<std::string>{"a", "b", "self"}));
}

TEST_F(CatalogBuildTest, FilesAreReadBeforeTheSecondaryFilesAreMapped) {
    CatalogImage primary;
    primary.add(8, {file_row(1, "shop", "C:\\data\\shop.mdf"), file_row(2, "shop2", "D:\\more\\Shop_2.ndf")});
    primary.add(34, {object_row(101, "U ", 0, "in primary")});
    CatalogImage secondary;
    secondary.add(CatalogPageSpec(34, {object_row(102, "U ", 0, "in secondary")}).with_file_id(2));
    files.add_file("/db/Shop_2.ndf", secondary.bytes());
    int boot_reads = 0;
    CatalogBuildOptions options;
    options.read_boot_page = [&](OpenedDatabase& database) {
        ++boot_reads;
        EXPECT_TRUE(database.secondary_files().empty());
        database.set_database_name("shop");
    };
    SystemCatalog& catalog = open(primary, options);
    EXPECT_EQ(boot_reads, 1);
    EXPECT_EQ(db->database_name(), "shop");
    EXPECT_EQ(db->secondary_files().size(), 1u);
    EXPECT_EQ(names(catalog.objects), (std::vector<std::string>{"in primary", "in secondary"}));
}

TEST_F(CatalogBuildTest, DamagedPagesContributeNothing) {
    CatalogImage image;
    image.add(34, {object_row(101, "U ", 0, "first")});
    // A page of the table that is empty apart from its header.
    image.add(34, {});
    // A stale page: its header page id is negative, so its records are refused.
    image.add(CatalogPageSpec(34, {object_row(150, "U ", 0, "stale")}).with_page_id(-7));
    // Slots pointing into the header and past the page.
    const std::size_t bad_slots =
        image.add(34, {object_row(160, "U ", 0, "x"), object_row(161, "U ", 0, "y")});
    std::memcpy(image.page(bad_slots).data() + 8190, "\x28\x00", 2);
    std::memcpy(image.page(bad_slots).data() + 8188, "\x01\x20", 2);
    // A page whose header claims an absurd slot count.
    const std::size_t many = image.add(34, {object_row(170, "U ", 0, "z")});
    std::memcpy(image.page(many).data() + 22, "\xA0\x0F", 2);
    image.add(34, {object_row(102, "U ", 0, "second")});
    SystemCatalog& catalog = open(image);
    EXPECT_EQ(names(catalog.objects), (std::vector<std::string>{"first", "second"}));
}

TEST_F(CatalogBuildTest, RandomPagesNeverBreakTheBuild) {
    std::mt19937 random(20240613);
    const std::int32_t tables[] = {1, 2, 3, 4, 5, 7, 8, 13, 34, 41, 50, 54, 55, 74, 99};
    for (int round = 0; round < 24; ++round) {
        CatalogImage image;
        image.add(34, {object_row(101, "U ", 0, "survivor")});
        for (std::int32_t table : tables) {
            Bytes page(8192);
            for (auto& b : page) b = static_cast<std::byte>(random());
            // Keep the header's object id and a plausible slot count so that the records get parsed.
            std::memcpy(page.data() + 24, &table, 4);
            page[1] = std::byte{1};
            const std::uint16_t slots = static_cast<std::uint16_t>(random() % 64);
            std::memcpy(page.data() + 22, &slots, 2);
            const std::int32_t page_id = static_cast<std::int32_t>(image.page_count());
            std::memcpy(page.data() + 32, &page_id, 4);
            // Sane page pointers, free count, file id and ghost count.
            std::fill(page.begin() + 8, page.begin() + 22, std::byte{0});
            std::fill(page.begin() + 28, page.begin() + 30, std::byte{0});
            page[36] = std::byte{1};
            page[37] = std::byte{0};
            page[58] = std::byte{0};
            page[59] = std::byte{0};
            image.add_raw(page);
        }
        EngineState fresh_state;
        const ReadOptions options{.show_deleted = round % 2 == 1, .show_advanced_deleted = round % 3 == 2};
        MemoryFileSystem fresh_files;
        fresh_files.add_file(kPath, image.bytes());
        auto opened =
            OpenedDatabase::open(kPath, options, {fresh_state, events, fresh_files}, catalog_builder());
        ASSERT_TRUE(opened->is_open());
        auto* catalog = dynamic_cast<SystemCatalog*>(opened->catalog());
        ASSERT_NE(catalog, nullptr);
        EXPECT_FALSE(catalog->objects.empty());
        EXPECT_EQ(catalog->objects.front().name, "survivor");
    }
}

// Serves the files of a MemoryFileSystem and sets the stop flag when an armed read reaches a byte.
class StoppingFileSystem final : public FileSystem {
  public:
    StoppingFileSystem(MemoryFileSystem& inner, EngineState& state) : inner_(inner), state_(state) {}
    void arm(std::uint64_t offset) { trigger_ = offset; }

    std::unique_ptr<FileReader> open_read_only(const std::string& path) override {
        auto reader = inner_.open_read_only(path);
        if (!reader) return nullptr;
        return std::make_unique<Reader>(std::move(reader), *this);
    }
    std::vector<DirectoryEntry> list_folder(const std::string& folder) override {
        return inner_.list_folder(folder);
    }

  private:
    class Reader final : public FileReader {
      public:
        Reader(std::unique_ptr<FileReader> inner, StoppingFileSystem& owner)
            : inner_(std::move(inner)), owner_(owner) {}
        std::uint64_t size() const override { return inner_->size(); }
        std::optional<std::size_t> read_at(std::uint64_t offset, std::span<std::byte> out) override {
            if (owner_.trigger_ && *owner_.trigger_ >= offset && *owner_.trigger_ - offset < out.size())
                owner_.state_.stop = true;
            return inner_->read_at(offset, out);
        }

      private:
        std::unique_ptr<FileReader> inner_;
        StoppingFileSystem& owner_;
    };

    MemoryFileSystem& inner_;
    EngineState& state_;
    std::optional<std::uint64_t> trigger_;
};

TEST_F(CatalogBuildTest, StopFlagLeavesAPartialCatalog) {
    CatalogImage image;
    image.add(34, {object_row(101, "U ", 0, "t")});
    image.add(7, {fixed_only(FixedBytes(60).put<std::int64_t>(0, 5))});
    const std::size_t columns_page = image.add(41, {column_row(101, 1, "c")});
    image.add(50, {encode_catalog_record({FixedBytes(38), {name_value("int")}})});
    image.add(55, {fixed_only(FixedBytes(22))});
    files.add_file(kPath, image.bytes());
    StoppingFileSystem stopping(files, state);
    auto opened = OpenedDatabase::open(kPath, ReadOptions{}, {state, events, stopping});
    ASSERT_TRUE(opened->is_open());
    stopping.arm(columns_page * 8192 + 100);
    auto catalog = build_catalog(*opened, {});
    EXPECT_TRUE(state.stop.load());
    EXPECT_EQ(names(catalog->objects), (std::vector<std::string>{"t"}));
    EXPECT_EQ(catalog->allocation_units.size(), 1u);
    EXPECT_TRUE(catalog->columns.empty());
    EXPECT_TRUE(catalog->types.empty());
    EXPECT_TRUE(catalog->index_columns.empty());
}

TEST(CatalogText, NullTerminatedUtf16) {
    struct Case {
        const char* what;
        Bytes bytes;
        std::string text;
    };
    Bytes odd = utf16le("ab");
    odd.push_back(std::byte{'c'});
    Bytes terminated = utf16le(std::u16string_view(u"ab\0cd", 5));
    const Case cases[] = {
        {"ascii", utf16le("Orders"), "Orders"},
        {"odd length drops the last byte", odd, "ab"},
        {"stops at the first zero unit", terminated, "ab"},
        {"pair", utf16le(std::u16string_view(u"\xD83D\xDE00")), "\xF0\x9F\x98\x80"},
        {"lone high surrogate", utf16le(std::u16string_view(u"a\xD800")), "a\xEF\xBF\xBD"},
        {"lone low surrogate", utf16le(std::u16string_view(u"\xDC00z")), "\xEF\xBF\xBDz"},
        {"non-latin", utf16le("Học sinh"), "Học sinh"},
    };
    for (const Case& c : cases) EXPECT_EQ(utf16le_to_utf8(c.bytes), c.text) << c.what;
}

// Key tables are named after the first object of their id; an id without an object gives an empty name,
// system tables and non-clustered entries give no key table, and tables already listed stay.
TEST(LegacyKeyTables, NamedAfterTheFirstObjectOfTheirId) {
    auto entry = [](std::int32_t id, std::uint32_t index_id) {
        LegacyIndexEntry e;
        e.object_id = id;
        e.file_and_index = 1u | (index_id << 16);
        return e;
    };
    const std::map<std::int32_t, LegacyIndexEntry> index_map = {
        {50, entry(50, 1)}, {500, entry(500, 1)}, {600, entry(600, 1)}, {700, entry(700, 2)}};
    auto object = [](std::int32_t id, const char* name) {
        SchemaObjectRow o;
        o.object_id = id;
        o.name = name;
        o.type = "U ";
        return o;
    };
    const std::vector<SchemaObjectRow> objects = {object(700, "other"), object(500, "first"),
                                                  object(500, "second"), object(50, "system")};
    std::vector<LegacyTableColumns> tables(1);
    tables[0].object_id = 1;
    make_legacy_key_tables(index_map, objects, tables);
    ASSERT_EQ(tables.size(), 3u);
    EXPECT_EQ(tables[0].object_id, 1);
    EXPECT_EQ(tables[1].object_id, 500);
    EXPECT_EQ(tables[1].table_name, "first");
    EXPECT_EQ(tables[2].object_id, 600);
    EXPECT_EQ(tables[2].table_name, "");
}

}  // namespace
}  // namespace quenlow
