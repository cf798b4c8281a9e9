#include "engine/pages/page_owner.h"

#include <gtest/gtest.h>

#include "engine/pages/page_header.h"
#include "engine/pages/page_map.h"

namespace quenlow {
namespace {

constexpr std::int64_t unit_id(std::uint16_t index_part, std::uint32_t object_part) {
    return static_cast<std::int64_t>((std::uint64_t{index_part} << 48) | (std::uint64_t{object_part} << 16));
}

constexpr std::int32_t kTable = 2073058421;  // an object id as SQL Server 2000 gave them

struct OwnerCase {
    const char* what;
    std::int64_t unit;
    std::int32_t owner;  // object id of the unit's rowset
    std::int32_t header_object;
    std::uint16_t header_index;
    bool owns;
};

const OwnerCase kOwnerCases[] = {
    // Units made since 2005: both fields, whatever object id the counter equals.
    {"new unit, its own page", unit_id(256, 34), 1977058079, 34, 256, true},
    {"new unit, system table page of the same number", unit_id(256, 34), 1977058079, 34, 1, false},
    {"new unit, older-form page of the same number", unit_id(256, 34), 1977058079, 34, 0, false},
    {"new unit, another unit of the same number", unit_id(256, 34), 1977058079, 34, 257, false},
    {"new unit, another number", unit_id(256, 34), 1977058079, 35, 256, false},
    {"new unit whose counter is its table's id", unit_id(256, 1200), 1200, 1200, 0, false},
    {"new unit past the first index part", unit_id(257, 5), 1977058079, 5, 257, true},
    // System base tables: fixed units of the older form, pages carry both parts.
    {"sysschobjs, its page", unit_id(1, 34), 34, 34, 1, true},
    {"sysschobjs, a page of index 0", unit_id(1, 34), 34, 34, 0, false},
    {"sysallocunits, its page", unit_id(0, 7), 7, 7, 0, true},
    // Carried over from SQL Server 2000.
    {"carried-over clustered, 2000 data page", unit_id(1, kTable), kTable, kTable, 0, true},
    {"carried-over clustered, page of index 1", unit_id(1, kTable), kTable, kTable, 1, true},
    {"carried-over clustered, text page", unit_id(1, kTable), kTable, kTable, 255, false},
    {"carried-over clustered, nonclustered index page", unit_id(1, kTable), kTable, kTable, 2, false},
    {"carried-over heap, data page", unit_id(0, kTable), kTable, kTable, 0, true},
    {"carried-over text unit, text page", unit_id(255, kTable), kTable, kTable, 255, true},
    {"carried-over text unit, data page", unit_id(255, kTable), kTable, kTable, 0, false},
    {"older form of another table's id", unit_id(1, kTable), 1977058079, kTable, 0, false},
    // No unit.
    {"unit id 0, zero page", 0, 0, 0, 0, false},
    {"unit id -1", -1, -1, -1, 0xFFFF, false},
};

TEST(UnitPagesTest, MatchesPagesByBothHeaderFields) {
    for (const OwnerCase& c : kOwnerCases) {
        const UnitPages unit = UnitPages::of_unit(c.unit, c.owner);
        EXPECT_EQ(unit.owns(c.header_object, c.header_index), c.owns) << c.what;
        EXPECT_EQ(TablePages({unit}).owns(c.header_object, c.header_index), c.owns) << c.what;
    }
}

TEST(UnitPagesTest, TheSql2000LayoutMatchesTheObjectIdAlone) {
    const UnitPages object = UnitPages::of_object(kTable);
    EXPECT_TRUE(object.owns(kTable, 0));
    EXPECT_TRUE(object.owns(kTable, 255));
    EXPECT_TRUE(object.owns(kTable, 1));
    EXPECT_FALSE(object.owns(kTable + 1, 0));
    EXPECT_TRUE(UnitPages::of_object(0).owns_nothing());
    EXPECT_FALSE(TablePages().owns(0, 0));
}

TEST(UnitPagesTest, ListsTheUnitsEntriesOfAPageMapInMapOrder) {
    PageMap map;
    map.append(34, {1, 10, kPageTypeData, 1});    // sysschobjs
    map.append(34, {1, 11, kPageTypeData, 256});  // a user unit of the same number
    map.append(34, {1, 12, kPageTypeIam, 256});
    map.append(34, {1, 13, kPageTypeData, 256});
    map.append(35, {1, 14, kPageTypeData, 256});
    const UnitPages user = UnitPages::of_unit(unit_id(256, 34), 1977058079);
    const std::vector<PageMapEntry> data = user.entries(map, kPageTypeData);
    ASSERT_EQ(data.size(), 2u);
    EXPECT_EQ(data[0].page_index, 11u);
    EXPECT_EQ(data[1].page_index, 13u);
    EXPECT_EQ(user.entries(map).size(), 3u);
    EXPECT_EQ(UnitPages::of_unit(unit_id(1, 34), 34).entries(map, kPageTypeData).size(), 1u);
    EXPECT_TRUE(UnitPages::of_unit(0, 0).entries(map).empty());
}

}  // namespace
}  // namespace quenlow
