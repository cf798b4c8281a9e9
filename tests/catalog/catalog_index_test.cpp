#include "engine/catalog/catalog_index.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "engine/catalog/system_catalog.h"
#include "tests/support/catalog_fixture.h"

namespace quenlow {
namespace {

using Positions = std::vector<std::uint32_t>;

Positions positions(std::span<const std::uint32_t> found) {
    return {found.begin(), found.end()};
}

// Every key finds the positions of its rows in list order, however the keys interleave; a rebuild
// replaces everything the table held.
TEST(PositionTable, FindsEveryRowOfAKeyInListOrder) {
    PositionTable<std::string> table;
    const std::vector<std::string> rows = {"b", "a", "b", "c", "a", "b", "", "c"};
    table.build(rows, [](const std::string& r) { return r; });
    EXPECT_EQ(positions(table.find("a")), (Positions{1, 4}));
    EXPECT_EQ(positions(table.find("b")), (Positions{0, 2, 5}));
    EXPECT_EQ(positions(table.find("c")), (Positions{3, 7}));
    EXPECT_EQ(positions(table.find("")), (Positions{6}));
    EXPECT_TRUE(table.find("d").empty());

    table.build(std::vector<std::string>{"d", "d"}, [](const std::string& r) { return r; });
    EXPECT_EQ(positions(table.find("d")), (Positions{0, 1}));
    EXPECT_TRUE(table.find("b").empty());
    table.build(std::vector<std::string>{}, [](const std::string& r) { return r; });
    EXPECT_TRUE(table.find("d").empty());
}

// Integer keys that differ only in their high bits, negative ones, and enough of them to fill long probe
// runs: every key finds exactly its rows, as a walk over the whole list finds them.
TEST(PositionTable, IntegerKeysMatchAWalkOverTheList) {
    std::vector<std::int64_t> rows;
    for (std::int64_t k = 0; k < 3000; ++k) rows.push_back((k % 700) << 48);
    for (std::int64_t k = 0; k < 3000; ++k) rows.push_back(k % 3 == 0 ? -k : (k << 16) | 1);
    PositionTable<std::int64_t> table;
    table.build(rows, [](std::int64_t r) { return r; });
    std::map<std::int64_t, Positions> walk;
    for (std::size_t i = 0; i < rows.size(); ++i) walk[rows[i]].push_back(static_cast<std::uint32_t>(i));
    for (const auto& [key, expected] : walk) ASSERT_EQ(positions(table.find(key)), expected) << key;
    for (std::int64_t absent : {std::int64_t{1}, std::int64_t{700} << 48, -(std::int64_t{1} << 40)})
        EXPECT_TRUE(table.find(absent).empty()) << absent;
    EXPECT_TRUE(PositionTable<std::int32_t>().find(0).empty());
}

ObjectReferenceRow reference(std::uint8_t ref_class, std::int32_t constraint, std::int32_t table,
                             std::int32_t column) {
    ObjectReferenceRow r;
    r.ref_class = ref_class;
    r.dependent_id = constraint;
    r.dependent_sub_id = 1;
    r.referenced_id = table;
    r.referenced_sub_id = column;
    return r;
}

// The foreign key list is rebuilt in place: an index built for the earlier list of the same length must
// not answer for the new one.
TEST(CatalogIndex, RebuiltForeignKeysAreLookedUpAfresh) {
    test::CatalogFixture f;
    SystemCatalog& c = f.catalog();
    test::add_builtin_types(c);
    test::add_int_table(c, 100, "orders", 2);
    test::add_int_table(c, 200, "customers", 1);
    test::add_int_table(c, 300, "invoices", 2);
    c.objects.push_back(test::object_row(900, "FK_ref", "F ", 100));

    c.object_references = {reference(28, 900, 100, 2), reference(29, 900, 200, 1)};
    assemble_foreign_keys(c);
    EXPECT_EQ(positions(c.index().foreign_keys_by_referencing_table.find(100)), (Positions{0}));
    ASSERT_EQ(c.foreign_keys.size(), 1u);
    EXPECT_EQ(c.foreign_keys[0].referenced_table_name, "customers");

    c.object_references = {reference(28, 900, 300, 2), reference(29, 900, 200, 1)};
    assemble_foreign_keys(c);
    EXPECT_TRUE(c.index().foreign_keys_by_referencing_table.find(100).empty());
    EXPECT_EQ(positions(c.index().foreign_keys_by_referencing_table.find(300)), (Positions{0}));
    EXPECT_EQ(c.foreign_keys[0].referencing_table_name, "invoices");

    // The other parts were kept and still answer for their lists.
    EXPECT_EQ(positions(c.index().objects_by_name.find("invoices")).size(), 1u);
    c.objects.push_back(test::object_row(400, "invoices", "V "));
    EXPECT_EQ(positions(c.index().objects_by_name.find("invoices")).size(), 2u);
}

}  // namespace
}  // namespace quenlow
