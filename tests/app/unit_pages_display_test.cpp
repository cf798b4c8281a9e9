// Which pages are a table's: tables whose allocation unit shares its object number with a system table
// or with another unit, tables carried over from SQL Server 2000, tables without a unit and pages that
// name a unit no catalog row has. Each table is scanned and clicked through the main frame with the
// engine's own decoder, so every route to the rows (and to their large values) is the one a user gets.

#include <gtest/gtest.h>

#include "app/engine_seams.h"
#include "app/table_display.h"
#include "engine/pages/byte_reader.h"
#include "engine/pages/page_header.h"
#include "tests/app/fake_front_end.h"
#include "tests/app/scanned_frame.h"
#include "tests/support/database_builder.h"

namespace quenlow {
namespace {

using testing::DatabaseSpec;
using testing::Layout;
using testing::SqlType;
using testing::TableSpec;
using testing::Value;
using Lines = std::vector<std::string>;

constexpr const char* kPath = "/data/units.mdf";

constexpr std::int64_t unit_id(std::uint16_t index_part, std::uint32_t object_part) {
    return static_cast<std::int64_t>((std::uint64_t{index_part} << 48) | (std::uint64_t{object_part} << 16));
}

TableSpec& numbered(DatabaseSpec& db, const std::string& name, int rows, std::int64_t unit = 0) {
    TableSpec& t = db.add_table(name);
    t.allocation_unit_id = unit;
    t.add_column("Id", SqlType::Int);
    t.add_column("Name", SqlType::VarChar, 20);
    t.primary_key({"Id"});
    for (int i = 1; i <= rows; ++i) t.add_row({Value::integer(i), Value::text(name + std::to_string(i))});
    return t;
}

struct Shown {
    std::vector<Lines> rows;
    bool bold = false;
};

class UnitPagesDisplayTest : public ::testing::Test {
protected:
    void scan(const DatabaseSpec& db, const std::function<void(testing::BuiltDatabase&)>& damage = {}) {
        testing::BuiltDatabase built = testing::build_database_image(db);
        if (damage) damage(built);
        tables = built.tables;
        files.add_file(kPath, std::move(built.image));
        frame = test::scan_with_table_display(app, front, files, kPath, false);
        ASSERT_FALSE(frame->tree().empty());
    }
    Shown show(const std::string& name, bool system = false) {
        const TreeCategories& c = frame->categories();
        for (TreeItemId item : frame->tree().children(system ? c.system_tables : c.user_tables)) {
            if (frame->tree().item_text(item) != name) continue;
            front.clear_calls();
            EXPECT_TRUE(frame->on_show_object(item));
            frame->wait_for_worker();
            return {front.record_list().rows, frame->tree().is_bold(item)};
        }
        ADD_FAILURE() << "no table " << name;
        return {};
    }
    const testing::BuiltTable& built(const std::string& name) const {
        for (const auto& t : tables)
            if (t.name == name) return t;
        throw std::invalid_argument(name);
    }

    ApplicationState app;
    test::FakeFrontEnd front;
    MemoryFileSystem files;
    std::unique_ptr<MainFrame> frame;
    std::vector<testing::BuiltTable> tables;
};

// Units made since 2005 whose object number is a system table's id or another unit's: each table reads
// exactly its own rows, and the system table its own.
TEST_F(UnitPagesDisplayTest, UnitsSharingAnObjectNumberReadOnlyTheirOwnPages) {
    DatabaseSpec db;
    numbered(db, "LikeSchObjs", 3, unit_id(256, 34));  // sysschobjs is object 34
    numbered(db, "LikeColPars", 2, unit_id(256, 41));  // syscolpars is object 41
    numbered(db, "First", 4, unit_id(256, 500));
    numbered(db, "Second", 5, unit_id(257, 500));
    TableSpec& counter = numbered(db, "OwnId", 2);  // a counter equal to its own table's object id
    counter.object_id = 1200;
    counter.allocation_unit_id = unit_id(256, 1200);
    numbered(db, "Empty", 0, unit_id(257, 34));
    scan(db);

    struct Expected {
        const char* table;
        std::size_t rows;
    };
    for (const Expected& e : {Expected{"LikeSchObjs", 3}, Expected{"LikeColPars", 2}, Expected{"First", 4},
                              Expected{"Second", 5}, Expected{"OwnId", 2}}) {
        const Shown shown = show(e.table);
        ASSERT_EQ(shown.rows.size(), e.rows) << e.table;
        EXPECT_EQ(shown.rows.front().at(1), std::string(e.table) + "1") << e.table;
        EXPECT_TRUE(shown.bold) << e.table;
    }
    const Shown empty = show("Empty");
    EXPECT_TRUE(empty.rows.empty());
    EXPECT_FALSE(empty.bold);
    for (const char* system : {"sysschobjs", "syscolpars"}) {
        const Shown shown = show(system, true);
        EXPECT_EQ(shown.rows.size(), built(system).row_count) << system;
        EXPECT_TRUE(shown.bold) << system;
    }
}

// A table carried over from SQL Server 2000: unit 1 << 48 | object id << 16 over data pages that say
// index 0, and a text unit 255 << 48 | object id << 16 over text pages that say 255. A heap keeps
// unit object id << 16.
TEST_F(UnitPagesDisplayTest, CarriedOverTablesReadTheirPagesAndTexts) {
    DatabaseSpec db;
    db.version = 611;
    db.create_version = 539;
    TableSpec& notes = db.add_table("Notes");
    notes.carried_over = true;
    notes.object_id = 2073058421;
    notes.add_column("Id", SqlType::Int);
    notes.add_column("Body", SqlType::Text, 0, true);
    notes.primary_key({"Id"});
    for (int i = 1; i <= 3; ++i)
        notes.add_row({Value::integer(i), Value::text(std::string(100 * i, static_cast<char>('a' + i)))});
    TableSpec& heap = db.add_table("Heap");
    heap.carried_over = true;
    heap.add_column("N", SqlType::Int);
    for (int i = 0; i < 5; ++i) heap.add_row({Value::integer(i)});
    // A unit made after the upgrade whose counter is the carried-over table's id: it owns only pages
    // that say both parts.
    TableSpec& later = numbered(db, "Later", 2, unit_id(256, 2073058421));
    later.object_id = 1977058079;
    scan(db);

    const Shown shown = show("Notes");
    ASSERT_EQ(shown.rows.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(shown.rows[i].at(1), std::string(100 * (i + 1), static_cast<char>('a' + i + 1)));
    EXPECT_TRUE(shown.bold);
    EXPECT_EQ(show("Heap").rows.size(), 5u);
    const Shown later_rows = show("Later");
    ASSERT_EQ(later_rows.rows.size(), 2u);
    EXPECT_EQ(later_rows.rows[0].at(1), "Later1");
}

// Unit id -1 owns no page, even the pages that carry its two parts.
TEST_F(UnitPagesDisplayTest, NoUnitShowsNoRows) {
    DatabaseSpec db;
    numbered(db, "Nowhere", 3, -1);
    numbered(db, "Kept", 1);
    scan(db);
    const Shown nowhere = show("Nowhere");
    EXPECT_TRUE(nowhere.rows.empty());
    EXPECT_FALSE(nowhere.bold);
    EXPECT_EQ(show("Kept").rows.size(), 1u);
}

// A page in the middle of a table's chain whose header names a unit that no catalog row has belongs to
// no table: the rows of the table's other pages are still shown, its own rows are not.
TEST_F(UnitPagesDisplayTest, APageNamingAnUnknownUnitBelongsToNoTable) {
    DatabaseSpec db;
    TableSpec& big = numbered(db, "Big", 0);
    for (int i = 1; i <= 900; ++i) big.add_row({Value::integer(i), Value::text(std::string(18, 'x'))});
    std::size_t foreign_rows = 0;
    scan(db, [&](testing::BuiltDatabase& image) {
        const testing::BuiltTable* t = image.table("Big");
        ASSERT_GE(t->data_pages.size(), 3u);
        std::byte* page = image.image.data() + static_cast<std::size_t>(t->data_pages[1]) * kPageSize;
        foreign_rows =
            static_cast<std::size_t>(load_le<std::int16_t>(ByteSpan(page, kPageSize), page_layout::kSlotCount));
        const std::int32_t unknown = 4321;
        std::memcpy(page + page_layout::kObjectId, &unknown, sizeof unknown);
    });
    const Shown first = show("Big");
    std::size_t shown = first.rows.size();
    EXPECT_TRUE(first.bold);
    for (int batches = 1; front.record_list().next_enabled && batches < 10; ++batches) {
        front.clear_calls();
        if (!frame->on_next_records()) break;
        frame->wait_for_worker();
        shown += front.record_list().rows.size();
    }
    EXPECT_GT(foreign_rows, 0u);
    EXPECT_EQ(shown, 900 - foreign_rows);
}

}  // namespace
}  // namespace quenlow
