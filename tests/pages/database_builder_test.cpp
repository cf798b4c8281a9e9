// The test database builder, checked from the outside: the image opens and maps like a real file, and
// its pages and records are read back with a small decoder of its own (not the builder's encoder).

#include "tests/support/database_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>

#include "engine/pages/engine_events.h"
#include "engine/pages/engine_state.h"
#include "engine/pages/file_reader.h"
#include "engine/pages/opened_database.h"
#include "engine/pages/page_header.h"
#include "tests/support/record_encoder.h"
#include "tests/support/sample_database.h"

namespace quenlow::testing {
namespace {

using Bytes = std::vector<std::byte>;

template <typename T>
T le(ByteSpan bytes, std::size_t at) {
    T v{};
    if (at <= bytes.size() && sizeof(T) <= bytes.size() - at) std::memcpy(&v, bytes.data() + at, sizeof(T));
    return v;
}

ByteSpan page_of(const Bytes& image, std::int32_t page) {
    return ByteSpan(image).subspan(static_cast<std::size_t>(page) * kPageSize, kPageSize);
}

// ---- an independent record decoder ----

struct Record {
    std::uint8_t status = 0;
    int type = 0;
    ByteSpan fixed;  // fixed data, after the 4-byte header
    std::uint16_t column_count = 0;
    std::vector<bool> nulls;
    std::vector<ByteSpan> variable;
    std::size_t length = 0;  // bytes from the record start to the end of its last part

    bool is_null(std::size_t column) const { return column < nulls.size() && nulls[column]; }
};

std::optional<Record> decode(ByteSpan page, std::size_t offset) {
    if (offset < 96 || offset + 4 > page.size()) return std::nullopt;
    ByteSpan rec = page.subspan(offset);
    Record r;
    r.status = le<std::uint8_t>(rec, 0);
    r.type = (r.status >> 1) & 7;
    const auto fixed_end = le<std::uint16_t>(rec, 2);
    if (fixed_end < 4 || fixed_end + 2u > rec.size()) return std::nullopt;
    r.fixed = rec.subspan(4, fixed_end - 4u);
    r.column_count = le<std::uint16_t>(rec, fixed_end);
    std::size_t pos = fixed_end + 2u;
    if (r.status & 0x10) {
        const std::size_t bitmap = (r.column_count + 7u) / 8u;
        if (pos + bitmap > rec.size()) return std::nullopt;
        for (std::size_t i = 0; i < r.column_count; ++i)
            r.nulls.push_back(((static_cast<unsigned>(rec[pos + i / 8]) >> (i % 8)) & 1u) != 0);
        pos += bitmap;
    }
    if (r.status & 0x20) {
        const auto count = le<std::uint16_t>(rec, pos);
        pos += 2;
        std::size_t start = pos + 2u * count;
        for (std::size_t k = 0; k < count; ++k) {
            const std::size_t end = le<std::uint16_t>(rec, pos + 2 * k) & 0x7FFFu;
            if (end < start || end > rec.size()) return std::nullopt;
            r.variable.push_back(rec.subspan(start, end - start));
            start = end;
        }
        pos = start;
    }
    r.length = pos;
    return r;
}

std::vector<Record> records_of(ByteSpan page) {
    std::vector<Record> out;
    const auto n = le<std::uint16_t>(page, 22);
    for (std::size_t i = 0; i < n; ++i) {
        auto r = decode(page, le<std::uint16_t>(page, kPageSize - 2 - 2 * i));
        if (r) out.push_back(*r);
    }
    return out;
}

std::string utf16_text(ByteSpan bytes) {
    std::string out;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) out += static_cast<char>(bytes[i]);
    return out;
}

std::string ascii(ByteSpan bytes) {
    std::string out;
    for (std::byte b : bytes) out += static_cast<char>(b);
    return out;
}

// ---- fixtures ----

constexpr int kReadings = 3000;

DatabaseSpec small_spec(Layout layout) {
    DatabaseSpec db;
    db.layout = layout;
    db.name = "Tiny";
    auto& c = db.add_table("Customers");
    c.add_column("Id", SqlType::Int);
    c.add_column("Name", SqlType::NVarChar, 40, true);
    c.add_column("Active", SqlType::Bit);
    c.add_column("Balance", SqlType::Money, 0, true);
    c.add_column("Joined", SqlType::DateTime);
    c.add_column("Vip", SqlType::Bit);
    c.primary_key({"Id"});
    c.add_row({Value::integer(1), Value::text("Alfreds"), Value::boolean(true), Value::decimal("12.5"),
               Value::datetime(2001, 2, 3, 4, 5, 6), Value::boolean(true)});
    c.add_row({Value::integer(2), Value::null(), Value::boolean(false), Value::null(),
               Value::datetime(1900, 1, 1), Value::boolean(false)});
    auto& big = db.add_table("Readings");
    big.add_column("Sensor", SqlType::VarChar, 20);
    big.add_column("Stamp", SqlType::BigInt);
    big.add_column("Value", SqlType::Float, 0, true);
    for (int i = 0; i < kReadings; ++i)
        big.add_row({Value::text("sensor-" + std::to_string(i % 17)), Value::integer(1'000'000'000'000LL + i),
                     i % 10 == 0 ? Value::null() : Value::floating(i * 0.5)});
    db.add_view("ActiveCustomers",
                "CREATE VIEW ActiveCustomers AS SELECT Id FROM Customers WHERE Active = 1");
    db.add_procedure("Touch", "CREATE PROCEDURE Touch AS SELECT 1");
    db.add_function("Twice", "CREATE FUNCTION Twice(@x int) RETURNS int AS BEGIN RETURN 2 * @x END");
    db.add_trigger("CustomersAudit", "Customers",
                   "CREATE TRIGGER CustomersAudit ON Customers AFTER INSERT AS SELECT 1");
    db.add_default("DF_Customers_Active", "Customers", "Active", "((1))");
    auto& orders = db.add_table("Orders");
    orders.add_column("OrderId", SqlType::Int);
    orders.add_column("CustomerId", SqlType::Int);
    orders.primary_key({"OrderId"});
    orders.add_row({Value::integer(7), Value::integer(1)});
    db.add_foreign_key("FK_Orders_Customers", "Orders", {"CustomerId"}, "Customers", {"Id"});
    return db;
}

struct Opened {
    MemoryFileSystem files;
    EngineState state;
    NullEngineEvents events;
    std::unique_ptr<OpenedDatabase> db;

    explicit Opened(const Bytes& image) {
        files.add_file("/data/tiny.mdf", image);
        db = OpenedDatabase::open("/data/tiny.mdf", ReadOptions{}, {state, events, files});
    }
};

// Records of a system table, read through the system page map.
std::vector<Record> system_rows(const OpenedDatabase& db, const Bytes& image, std::int32_t object_id) {
    std::vector<Record> out;
    for (const PageMapEntry& e : db.system_pages().lookup(object_id)) {
        if (e.page_type != kPageTypeData) continue;
        auto rows = records_of(page_of(image, static_cast<std::int32_t>(e.page_index)));
        out.insert(out.end(), rows.begin(), rows.end());
    }
    return out;
}

class DatabaseBuilderLayouts : public ::testing::TestWithParam<Layout> {
  protected:
    void SetUp() override {
        spec_ = small_spec(GetParam());
        built_ = build_database_image(spec_);
        opened_ = std::make_unique<Opened>(built_.image);
    }
    bool is2005() const { return GetParam() == Layout::k2005; }
    const BuiltTable& table(const std::string& name) const {
        const BuiltTable* t = built_.table(name);
        EXPECT_NE(t, nullptr) << name;
        return *t;
    }

    DatabaseSpec spec_;
    BuiltDatabase built_;
    std::unique_ptr<Opened> opened_;
};

INSTANTIATE_TEST_SUITE_P(Layouts, DatabaseBuilderLayouts, ::testing::Values(Layout::k2005, Layout::k2000),
                         [](const auto& info) {
                             return info.param == Layout::k2005 ? "Layout2005" : "Layout2000";
                         });

TEST_P(DatabaseBuilderLayouts, OpensAndMapsTheSystemTablesOfItsLayout) {
    const OpenedDatabase& db = *opened_->db;
    ASSERT_TRUE(db.is_open());
    EXPECT_EQ(db.primary().page_count, static_cast<std::uint64_t>(built_.page_count));
    EXPECT_EQ(db.primary().leading_offset, 0u);
    EXPECT_EQ(built_.page_count % 8, 0);
    const auto& sys = db.system_pages();
    if (is2005()) {
        for (std::int32_t id : {3, 5, 7, 8, 34, 41, 50, 54, 55, 60, 74})
            EXPECT_FALSE(sys.lookup(id).empty()) << id;
        EXPECT_TRUE(sys.lookup(1).empty());
        EXPECT_EQ(sys.lookup(7).front().page_index, 8u);  // the boot page is located from here
    } else {
        for (std::int32_t id : {1, 2, 3, 6, 8}) EXPECT_FALSE(sys.lookup(id).empty()) << id;
        for (std::int32_t id : {34, 7, 41, 5, 50}) EXPECT_TRUE(sys.lookup(id).empty()) << id;
        EXPECT_EQ(sys.lookup(2).front().page_index, 8u);
    }
    for (const PageMapEntry& e : sys.lookup(99)) EXPECT_LE(e.page_index, 9u);
}

TEST_P(DatabaseBuilderLayouts, DataAndIamMapsHoldEachUserTableUnderItsPageObjectId) {
    const OpenedDatabase& db = *opened_->db;
    for (const char* name : {"Customers", "Readings", "Orders"}) {
        const BuiltTable& t = table(name);
        EXPECT_GT(t.page_object_id, 100) << name;
        if (!is2005()) {
            EXPECT_EQ(t.page_object_id, t.object_id);
        }
        if (is2005()) {
            EXPECT_EQ(t.page_object_id, static_cast<std::int32_t>(t.allocation_unit_id >> 16));
        }
        std::vector<std::int32_t> mapped;
        for (const PageMapEntry& e : db.data_pages().lookup(t.page_object_id)) {
            EXPECT_EQ(e.file_id, 1);
            mapped.push_back(static_cast<std::int32_t>(e.page_index));
        }
        std::vector<std::int32_t> expected = t.data_pages;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(mapped, expected) << name;
        auto iam = db.iam_pages().lookup(t.page_object_id);
        ASSERT_EQ(iam.size(), 1u) << name;
        EXPECT_EQ(static_cast<std::int32_t>(iam[0].page_index), t.iam_page);
    }
    EXPECT_GT(table("Readings").data_pages.size(), 8u);  // needs uniform extents beyond the single pages
}

TEST_P(DatabaseBuilderLayouts, EveryPageHeaderSlotArrayAndRecordIsConsistent) {
    std::size_t checked_records = 0;
    for (std::int32_t p = 0; p < built_.page_count; ++p) {
        ByteSpan page = page_of(built_.image, p);
        if (std::all_of(page.begin(), page.end(), [](std::byte b) { return b == std::byte{0}; })) continue;
        SCOPED_TRACE("page " + std::to_string(p));
        EXPECT_EQ(le<std::int32_t>(page, 32), p);
        EXPECT_EQ(le<std::uint16_t>(page, 36), 1);
        const auto n = le<std::uint16_t>(page, 22);
        const std::size_t slots_start = kPageSize - 2u * n;
        std::size_t expected_offset = 96;
        for (std::size_t i = 0; i < n; ++i) {
            const auto offset = le<std::uint16_t>(page, kPageSize - 2 - 2 * i);
            ASSERT_EQ(offset, expected_offset) << "slot " << i;  // records packed in slot order
            auto r = decode(page, offset);
            ASSERT_TRUE(r.has_value()) << "slot " << i;
            EXPECT_EQ(r->type, 0);
            expected_offset = offset + r->length;
            ASSERT_LE(expected_offset, slots_start);
            ++checked_records;
        }
        EXPECT_EQ(le<std::uint16_t>(page, 30), expected_offset);                // free data offset
        EXPECT_EQ(le<std::uint16_t>(page, 28), slots_start - expected_offset);  // free count
    }
    EXPECT_GT(checked_records, static_cast<std::size_t>(kReadings));
}

TEST_P(DatabaseBuilderLayouts, UserRowsReadBackFromTheirFixedAndVariableParts) {
    const BuiltTable& t = table("Customers");
    ASSERT_EQ(t.data_pages.size(), 1u);
    auto rows = records_of(page_of(built_.image, t.data_pages[0]));
    ASSERT_EQ(rows.size(), 2u);
    // Id 0..3, Active and Vip share byte 4 (bits 0 and 1), Balance 5..12, Joined 13..20.
    const Record& a = rows[0];
    EXPECT_EQ(a.status, 0x30);
    EXPECT_EQ(a.fixed.size(), 21u);
    EXPECT_EQ(a.column_count, 6);
    EXPECT_EQ(le<std::int32_t>(a.fixed, 0), 1);
    EXPECT_EQ(le<std::uint8_t>(a.fixed, 4), 0x03);
    EXPECT_EQ(le<std::int64_t>(a.fixed, 5), 125000);
    EXPECT_EQ(le<std::int32_t>(a.fixed, 17), 36923);                          // days 1900-01-01 .. 2001-02-03
    EXPECT_EQ(le<std::int32_t>(a.fixed, 13), (4 * 3600 + 5 * 60 + 6) * 300);  // ticks
    ASSERT_EQ(a.variable.size(), 1u);
    EXPECT_EQ(utf16_text(a.variable[0]), "Alfreds");
    EXPECT_FALSE(a.is_null(1));

    const Record& b = rows[1];
    EXPECT_TRUE(b.is_null(1));
    EXPECT_TRUE(b.is_null(3));
    EXPECT_FALSE(b.is_null(0));
    EXPECT_EQ(b.status, 0x10);  // the only variable column is NULL and left out
    EXPECT_TRUE(b.variable.empty());
    EXPECT_EQ(le<std::uint8_t>(b.fixed, 4), 0x00);
    EXPECT_EQ(le<std::int64_t>(b.fixed, 13), 0);

    std::size_t readings = 0;
    for (std::int32_t p : table("Readings").data_pages)
        readings += records_of(page_of(built_.image, p)).size();
    EXPECT_EQ(readings, static_cast<std::size_t>(kReadings));
}

TEST_P(DatabaseBuilderLayouts, PagesAreChainedAndListedByTheIamPage) {
    const BuiltTable& t = table("Readings");
    const auto& pages = t.data_pages;
    for (std::size_t k = 0; k < pages.size(); ++k) {
        ByteSpan page = page_of(built_.image, pages[k]);
        EXPECT_EQ(le<std::int32_t>(page, 8), k == 0 ? 0 : pages[k - 1]);
        EXPECT_EQ(le<std::int32_t>(page, 16), k + 1 == pages.size() ? 0 : pages[k + 1]);
        EXPECT_EQ(le<std::int32_t>(page, 24), t.page_object_id);
        EXPECT_EQ(le<std::uint8_t>(page, 1), 1);
    }
    ByteSpan iam = page_of(built_.image, t.iam_page);
    EXPECT_EQ(le<std::uint8_t>(iam, 1), 10);
    auto recs = records_of(iam);
    ASSERT_EQ(recs.size(), 2u);
    ASSERT_EQ(recs[0].fixed.size(), 90u);
    std::vector<std::int32_t> listed;
    for (std::size_t k = 0; k < 8; ++k) {
        const auto id = le<std::int32_t>(recs[0].fixed, 42 + 6 * k);
        if (id != 0) listed.push_back(id);
    }
    for (std::size_t byte = 0; byte < recs[1].fixed.size(); ++byte)
        for (int bit = 0; bit < 8; ++bit)
            if ((static_cast<unsigned>(recs[1].fixed[byte]) >> bit) & 1u)
                for (int k = 0; k < 8; ++k)
                    listed.push_back(static_cast<std::int32_t>(8 * (8 * byte + bit) + k));
    // Every data page is listed in order; what the last extent has left over is never written.
    ASSERT_GE(listed.size(), pages.size());
    EXPECT_TRUE(std::equal(pages.begin(), pages.end(), listed.begin()));
    for (std::size_t k = pages.size(); k < listed.size(); ++k)
        EXPECT_EQ(le<std::uint8_t>(page_of(built_.image, listed[k]), 1), 0);
}

TEST_P(DatabaseBuilderLayouts, BootPageCarriesVersionNameAndCollation) {
    ByteSpan boot = page_of(built_.image, 9);
    EXPECT_EQ(le<std::uint8_t>(boot, 1), 13);
    EXPECT_EQ(le<std::uint16_t>(boot, 100), is2005() ? 655 : 539);
    EXPECT_EQ(le<std::uint16_t>(boot, 102), is2005() ? 655 : 539);
    EXPECT_EQ(utf16_text(boot.subspan(148, 16)), "Tiny    ");
    EXPECT_EQ(le<std::int32_t>(boot, 488), 872468488);
    EXPECT_EQ(le<std::int32_t>(boot, 612), 8);
    EXPECT_EQ(le<std::uint16_t>(boot, 616), 1);
}

TEST(DatabaseBuilder, CatalogRows2005TieTablesToUnitsRowsetsColumnsAndDefinitions) {
    DatabaseSpec blueprint = small_spec(Layout::k2005);
    BuiltDatabase built = build_database_image(blueprint);
    Opened opened(built.image);
    const OpenedDatabase& db = *opened.db;
    const BuiltTable& customers = *built.table("Customers");

    std::map<std::string, std::string> types;  // object name -> type
    std::map<std::string, std::int32_t> parents;
    for (const Record& r : system_rows(db, built.image, 34)) {
        ASSERT_EQ(r.fixed.size(), 40u);
        types[utf16_text(r.variable.at(0))] = ascii(r.fixed.subspan(13, 2));
        parents[utf16_text(r.variable.at(0))] = le<std::int32_t>(r.fixed, 15);
    }
    EXPECT_EQ(types["Customers"], "U ");
    EXPECT_EQ(types["sysschobjs"], "S ");
    EXPECT_EQ(types["PK_Customers"], "PK");
    EXPECT_EQ(types["ActiveCustomers"], "V ");
    EXPECT_EQ(types["Touch"], "P ");
    EXPECT_EQ(types["Twice"], "FN");
    EXPECT_EQ(types["CustomersAudit"], "TR");
    EXPECT_EQ(types["DF_Customers_Active"], "D ");
    EXPECT_EQ(types["FK_Orders_Customers"], "F ");
    EXPECT_EQ(parents["CustomersAudit"], customers.object_id);
    EXPECT_EQ(parents["FK_Orders_Customers"], built.object_id("Orders"));

    // Allocation unit -> rowset -> object, and the unit's pages.
    int units = 0;
    for (const Record& r : system_rows(db, built.image, 7)) {
        if (le<std::int64_t>(r.fixed, 0) != customers.allocation_unit_id) continue;
        ++units;
        EXPECT_EQ(le<std::uint8_t>(r.fixed, 8), 1);
        EXPECT_EQ(le<std::int64_t>(r.fixed, 9), customers.rowset_id);
        EXPECT_EQ(le<std::int32_t>(r.fixed, 23), customers.data_pages.front());
        EXPECT_EQ(le<std::uint16_t>(r.fixed, 27), 1);
        EXPECT_EQ(le<std::int32_t>(r.fixed, 35), customers.iam_page);
    }
    EXPECT_EQ(units, 1);
    int rowsets = 0;
    for (const Record& r : system_rows(db, built.image, 5))
        if (le<std::int64_t>(r.fixed, 0) == customers.rowset_id) {
            ++rowsets;
            EXPECT_EQ(le<std::int32_t>(r.fixed, 9), customers.object_id);
            EXPECT_EQ(le<std::int32_t>(r.fixed, 13), 1);
            EXPECT_EQ(le<std::int64_t>(r.fixed, 27), 2);
        }
    EXPECT_EQ(rowsets, 1);

    // Columns: name, type, nullability; physical positions: leaf offset, null bit, bit position.
    std::vector<std::string> names;
    for (const Record& r : system_rows(db, built.image, 41))
        if (le<std::int32_t>(r.fixed, 0) == customers.object_id) {
            names.push_back(utf16_text(r.variable.at(0)));
            if (names.back() == "Name") {
                EXPECT_EQ(le<std::uint8_t>(r.fixed, 10), 231);
                EXPECT_EQ(le<std::int16_t>(r.fixed, 15), 80);
                EXPECT_EQ(le<std::int32_t>(r.fixed, 19), 872468488);
                EXPECT_EQ(le<std::int32_t>(r.fixed, 23) & 1, 0);  // nullable
            }
            if (names.back() == "Active") {
                EXPECT_EQ(le<std::int32_t>(r.fixed, 33), built.object_id("DF_Customers_Active"));
            }
        }
    EXPECT_EQ(names, (std::vector<std::string>{"Id", "Name", "Active", "Balance", "Joined", "Vip"}));
    std::map<std::int32_t, std::tuple<std::int32_t, std::int32_t, std::int16_t>>
        physical;  // column -> offset, null bit, bit
    for (const Record& r : system_rows(db, built.image, 3))
        if (le<std::int64_t>(r.fixed, 0) == customers.rowset_id)
            physical[le<std::int32_t>(r.fixed, 8)] = {
                le<std::int32_t>(r.fixed, 40), le<std::int32_t>(r.fixed, 44), le<std::int16_t>(r.fixed, 48)};
    EXPECT_EQ(physical[1], std::make_tuple(4, 1, std::int16_t{0}));
    EXPECT_EQ(physical[2], std::make_tuple(-1, 2, std::int16_t{0}));
    EXPECT_EQ(physical[3], std::make_tuple(8, 3, std::int16_t{0}));
    EXPECT_EQ(physical[4], std::make_tuple(9, 4, std::int16_t{0}));
    EXPECT_EQ(physical[6], std::make_tuple(8, 6, std::int16_t{1}));

    // The primary key index and its column; the foreign key's reference pair.
    bool key_index = false;
    for (const Record& r : system_rows(db, built.image, 54))
        if (le<std::int32_t>(r.fixed, 0) == customers.object_id && le<std::int32_t>(r.fixed, 4) == 1)
            key_index = (le<std::int32_t>(r.fixed, 8) & (1 | 32)) == (1 | 32);
    EXPECT_TRUE(key_index);
    std::vector<std::pair<int, int>> refs;  // class, referenced sub id
    for (const Record& r : system_rows(db, built.image, 74)) {
        EXPECT_EQ(le<std::int32_t>(r.fixed, 1), built.object_id("FK_Orders_Customers"));
        refs.emplace_back(le<std::uint8_t>(r.fixed, 0), le<std::int32_t>(r.fixed, 13));
    }
    EXPECT_EQ(refs, (std::vector<std::pair<int, int>>{{28, 2}, {29, 1}}));

    std::map<std::int32_t, std::string> definitions;
    for (const Record& r : system_rows(db, built.image, 60)) {
        ASSERT_EQ(r.fixed.size(), 13u);
        EXPECT_TRUE(r.is_null(4));
        definitions[le<std::int32_t>(r.fixed, 1)] += utf16_text(r.variable.at(1));
    }
    EXPECT_EQ(definitions[built.object_id("Touch")], "CREATE PROCEDURE Touch AS SELECT 1");
    EXPECT_EQ(definitions[built.object_id("DF_Customers_Active")], "((1))");
}

TEST(DatabaseBuilder, CatalogRows2000UseTheOldObjectIndexColumnAndCommentTables) {
    DatabaseSpec blueprint = small_spec(Layout::k2000);
    BuiltDatabase built = build_database_image(blueprint);
    Opened opened(built.image);
    const OpenedDatabase& db = *opened.db;
    const BuiltTable& customers = *built.table("Customers");

    std::map<std::string, std::pair<std::string, std::int32_t>> objects;  // name -> type, parent
    for (const Record& r : system_rows(db, built.image, 1)) {
        ASSERT_GE(r.fixed.size(), 28u);
        objects[utf16_text(r.variable.at(0))] = {ascii(r.fixed.subspan(4, 2)), le<std::int32_t>(r.fixed, 24)};
    }
    EXPECT_EQ(objects["Customers"].first, "U ");
    EXPECT_EQ(objects["syscomments"].first, "S ");
    EXPECT_EQ(objects["CustomersAudit"], std::make_pair(std::string("TR"), customers.object_id));
    EXPECT_EQ(objects["PK_Customers"], std::make_pair(std::string("PK"), customers.object_id));

    int clustered = 0;
    for (const Record& r : system_rows(db, built.image, 2)) {
        ASSERT_GE(r.fixed.size(), 70u);
        if (le<std::int32_t>(r.fixed, 0) != customers.object_id) continue;
        EXPECT_EQ(le<std::int16_t>(r.fixed, 14), 1);
        EXPECT_EQ(le<std::int32_t>(r.fixed, 8), customers.data_pages.front());
        EXPECT_EQ(le<std::int32_t>(r.fixed, 64), customers.iam_page);
        ++clustered;
    }
    EXPECT_EQ(clustered, 1);

    std::map<std::string, std::pair<std::int16_t, std::int16_t>> offsets;  // column -> offset, xoffset
    for (const Record& r : system_rows(db, built.image, 3)) {
        ASSERT_EQ(r.fixed.size(), 42u);  // as in real files
        EXPECT_GT(r.column_count, 20);
        if (le<std::int32_t>(r.fixed, 0) != customers.object_id) continue;
        const std::string name = utf16_text(r.variable.at(0));
        offsets[name] = {le<std::int16_t>(r.fixed, 32), le<std::int16_t>(r.fixed, 14)};
        if (name == "Name") {
            EXPECT_EQ(le<std::int32_t>(r.fixed, 34), 872468488);
        }
        if (name == "Id") {  // NOT NULL: type status bit 0
            EXPECT_EQ(le<std::uint8_t>(r.fixed, 5) & 1, 1);
        }
    }
    EXPECT_EQ(offsets["Id"], std::make_pair(std::int16_t{4}, std::int16_t{4}));
    EXPECT_EQ(offsets["Name"], std::make_pair(std::int16_t{-1}, std::int16_t{-1}));
    EXPECT_EQ(offsets["Joined"], std::make_pair(std::int16_t{17}, std::int16_t{17}));

    std::map<std::int32_t, std::string> definitions;
    for (const Record& r : system_rows(db, built.image, 6)) {
        ASSERT_EQ(r.fixed.size(), 14u);
        definitions[le<std::int32_t>(r.fixed, 0)] += utf16_text(r.variable.at(0));
    }
    EXPECT_EQ(definitions[built.object_id("Twice")],
              "CREATE FUNCTION Twice(@x int) RETURNS int AS BEGIN RETURN 2 * @x END");
}

TEST(DatabaseBuilder, ValuesAreStoredInTheServersForms) {
    struct Case {
        const char* what;
        ColumnSpec column;
        Value value;
        Bytes expected;
    };
    auto col = [](SqlType type, int length = 0) {
        ColumnSpec c;
        c.type = type;
        c.length = length;
        return c;
    };
    auto frac = [](SqlType type, int digits) {
        ColumnSpec c;
        c.type = type;
        c.scale = static_cast<std::uint8_t>(digits);
        return c;
    };
    auto dec = [](int p, int s) {
        ColumnSpec c;
        c.type = SqlType::Decimal;
        c.precision = static_cast<std::uint8_t>(p);
        c.scale = static_cast<std::uint8_t>(s);
        return c;
    };
    auto b = [](std::initializer_list<int> v) {
        Bytes out;
        for (int x : v) out.push_back(std::byte{static_cast<std::uint8_t>(x)});
        return out;
    };
    const Case cases[] = {
        {"int", col(SqlType::Int), Value::integer(-2), b({0xFE, 0xFF, 0xFF, 0xFF})},
        {"smallint", col(SqlType::SmallInt), Value::integer(258), b({2, 1})},
        {"tinyint", col(SqlType::TinyInt), Value::integer(200), b({200})},
        {"char pads with blanks", col(SqlType::Char, 4), Value::text("ab"), b({'a', 'b', ' ', ' '})},
        {"nchar pads with blanks", col(SqlType::NChar, 2), Value::text("é"), b({0xE9, 0, ' ', 0})},
        {"varchar is Latin-1", col(SqlType::VarChar, 5), Value::text("Århus"), b({0xC5, 'r', 'h', 'u', 's'})},
        {"datetime day 0", col(SqlType::DateTime), Value::datetime(1900, 1, 1), b({0, 0, 0, 0, 0, 0, 0, 0})},
        {"datetime ticks", col(SqlType::DateTime), Value::datetime(1900, 1, 2, 0, 0, 1, 10),
         b({0x2F, 1, 0, 0, 1, 0, 0, 0})},
        {"smalldatetime", col(SqlType::SmallDateTime), Value::datetime(1900, 1, 3, 23, 59),
         b({0x9F, 5, 2, 0})},
        {"date", col(SqlType::Date), Value::datetime(1, 1, 2), b({1, 0, 0})},
        {"money", col(SqlType::Money), Value::decimal("1.2345"), b({0x39, 0x30, 0, 0, 0, 0, 0, 0})},
        {"negative money", col(SqlType::Money), Value::decimal("-0.1234"),
         b({0x2E, 0xFB, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})},
        {"smallmoney", col(SqlType::SmallMoney), Value::integer(12), b({0xC0, 0xD4, 1, 0})},
        {"decimal(5,2)", dec(5, 2), Value::decimal("123.45"), b({1, 0x39, 0x30, 0, 0})},
        {"negative decimal", dec(5, 2), Value::decimal("-0.05"), b({0, 5, 0, 0, 0})},
        {"decimal(19,0)", dec(19, 0), Value::integer(1), b({1, 1, 0, 0, 0, 0, 0, 0, 0})},
        {"guid", col(SqlType::UniqueIdentifier), Value::guid("00112233-4455-6677-8899-AABBCCDDEEFF"),
         b({0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF})},
        {"float", col(SqlType::Float), Value::floating(-2.5), b({0, 0, 0, 0, 0, 0, 4, 0xC0})},
        {"real", col(SqlType::Real), Value::floating(1.0), b({0, 0, 0x80, 0x3F})},
        {"binary pads with zeros", col(SqlType::Binary, 3), Value::binary(b({9})), b({9, 0, 0})},
        // time(p): units of 10^-p seconds in 3, 4 or 5 bytes; datetime2 adds the date, datetimeoffset the
        // UTC date and time and the offset.
        {"time(7) last unit", frac(SqlType::Time, 7), Value::precise_time(1, 1, 1, 23, 59, 59, 9'999'999),
         b({0xFF, 0xBF, 0x69, 0x2A, 0xC9})},
        {"time(0)", frac(SqlType::Time, 0), Value::precise_time(1, 1, 1, 0, 0, 1, 0), b({1, 0, 0})},
        {"time(3)", frac(SqlType::Time, 3), Value::datetime(1, 1, 1, 0, 0, 0, 1), b({1, 0, 0, 0})},
        {"datetime2(2)", frac(SqlType::DateTime2, 2), Value::precise_time(1, 1, 2, 0, 0, 0, 100'000),
         b({1, 0, 0, 1, 0, 0})},
        {"datetimeoffset east of UTC", frac(SqlType::DateTimeOffset, 0),
         Value::precise_time(1, 1, 1, 5, 30, 0, 0, 330), b({0, 0, 0, 0, 0, 0, 0x4A, 0x01})},
        {"datetimeoffset west of UTC", frac(SqlType::DateTimeOffset, 0),
         Value::precise_time(2000, 1, 1, 0, 0, 0, 0, -60), b({0x10, 0x0E, 0, 0x07, 0x24, 0x0B, 0xC4, 0xFF})},
        {"rowversion", col(SqlType::Timestamp), Value::integer(0x7D1), b({0, 0, 0, 0, 0, 0, 0x07, 0xD1})},
    };
    for (const Case& c : cases) EXPECT_EQ(encode_value(c.column, c.value), c.expected) << c.what;
    for (const Case& c : cases)
        EXPECT_EQ(c.column.byte_length(), static_cast<std::int16_t>(c.expected.size())) << c.what;
    // Values the time types cannot hold.
    EXPECT_THROW(encode_value(frac(SqlType::Time, 2), Value::precise_time(1, 1, 1, 0, 0, 0, 1)),
                 std::invalid_argument);
    EXPECT_THROW(encode_value(frac(SqlType::DateTimeOffset, 0), Value::precise_time(1, 1, 1, 0, 0, 0, 0, 60)),
                 std::invalid_argument);
    EXPECT_THROW(
        encode_value(frac(SqlType::DateTimeOffset, 0), Value::precise_time(2000, 1, 1, 0, 0, 0, 0, 15 * 60)),
        std::invalid_argument);
    EXPECT_THROW(encode_value(col(SqlType::Timestamp), Value::binary(b({1, 2}))), std::invalid_argument);
    EXPECT_EQ(day_number(1900, 1, 1), 693595);
    EXPECT_EQ(day_number(9999, 12, 31), 3652058);
}

TEST(DatabaseBuilder, RefusesSpecsItCannotWrite) {
    struct Case {
        const char* what;
        void (*mutate)(DatabaseSpec&);
    };
    const Case cases[] = {
        {"NULL in a NOT NULL column",
         [](DatabaseSpec& db) {
             db.find_table("Orders")->add_row({Value::integer(8), Value::null()});
         }},
        {"text longer than the column",
         [](DatabaseSpec& db) {
             db.find_table("Readings")
                 ->add_row({Value::text(std::string(21, 'x')), Value::integer(1), Value::null()});
         }},
        {"a record over 8060 bytes",
         [](DatabaseSpec& db) {
             auto& t = db.add_table("Wide");
             t.add_column("A", SqlType::VarChar, 8000);
             t.add_column("B", SqlType::VarChar, 8000);
             t.add_row({Value::text(std::string(5000, 'a')), Value::text(std::string(5000, 'b'))});
         }},
        {"a foreign key to a missing table",
         [](DatabaseSpec& db) { db.add_foreign_key("FK_X", "Orders", {"CustomerId"}, "Nobody", {"Id"}); }},
        {"a default on a missing column",
         [](DatabaseSpec& db) { db.add_default("DF_X", "Orders", "Missing", "((0))"); }},
        {"a trigger on a missing table", [](DatabaseSpec& db) { db.add_trigger("TR_X", "Nobody", "x"); }},
        {"two tables of one name", [](DatabaseSpec& db) { db.add_table("Orders"); }},
        {"an integer for a text column",
         [](DatabaseSpec& db) {
             db.find_table("Readings")->add_row({Value::integer(1), Value::integer(1), Value::null()});
         }},
        {"more fraction digits than the scale",
         [](DatabaseSpec& db) {
             auto& t = db.add_table("Prices");
             t.add_decimal("P", 5, 2);
             t.add_row({Value::decimal("1.234")});
         }},
    };
    for (const Case& c : cases) {
        DatabaseSpec db = small_spec(Layout::k2005);
        c.mutate(db);
        EXPECT_THROW(build_database(db), std::invalid_argument) << c.what;
    }
}

TEST(DatabaseBuilder, RecordLayoutPacksBitsAndNumbersVariableColumnsNegatively) {
    TableSpec t;
    for (int i = 0; i < 9; ++i) t.add_column("b" + std::to_string(i), SqlType::Bit);
    t.add_column("v1", SqlType::VarChar, 10, true);
    t.add_column("n", SqlType::Int);
    t.add_column("v2", SqlType::NVarChar, 10, true);
    const RecordLayout layout = make_record_layout(t.columns);
    ASSERT_EQ(layout.columns.size(), 12u);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(layout.columns[static_cast<std::size_t>(i)].leaf_offset, 4) << i;
        EXPECT_EQ(layout.columns[static_cast<std::size_t>(i)].bit_position, i);
    }
    EXPECT_EQ(layout.columns[8].leaf_offset, 5);  // the ninth bit starts a new byte
    EXPECT_EQ(layout.columns[8].bit_position, 0);
    EXPECT_EQ(layout.columns[9].leaf_offset, -1);
    EXPECT_EQ(layout.columns[10].leaf_offset, 6);
    EXPECT_EQ(layout.columns[11].leaf_offset, -2);
    EXPECT_EQ(layout.fixed_length, 6);

    std::vector<Value> row(12, Value::boolean(true));
    row[9] = Value::text("abc");
    row[10] = Value::integer(5);
    row[11] = Value::null();
    auto bytes = encode_record(layout, t.columns, row);
    Bytes page(kPageSize);
    std::copy(bytes.begin(), bytes.end(), page.begin() + 96);
    auto r = decode(ByteSpan(page), 96);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(le<std::uint8_t>(r->fixed, 0), 0xFF);
    EXPECT_EQ(le<std::uint8_t>(r->fixed, 1), 0x01);
    EXPECT_EQ(r->column_count, 12);
    EXPECT_TRUE(r->is_null(11));
    ASSERT_EQ(r->variable.size(), 1u);  // the trailing NULL is left out
    EXPECT_EQ(ascii(r->variable[0]), "abc");
}

// The identity text as a catalog reader makes it from the second variable column of a column row.
std::string identity_text(ByteSpan v) {
    std::uint64_t a = le<std::uint32_t>(v, 4), b = le<std::uint32_t>(v, 8);
    if (v.size() >= 24 && le<std::uint32_t>(v, 4) == 0 && le<std::uint32_t>(v, 0) != 0) {
        a = le<std::uint64_t>(v, 8);
        b = le<std::uint64_t>(v, 16);
    }
    return "identity(" + std::to_string(b) + "," + std::to_string(a) + ")";
}

TEST(DatabaseBuilder, ExplicitIdsVersionsAndIdentityValuesReachTheCatalog) {
    DatabaseSpec db;
    db.version = 706;
    db.create_version = 661;
    auto& t = db.add_table("Counters");
    t.object_id = 555;
    t.add_column("Small", SqlType::Int).with_identity(100, 5);
    t.add_column("Big", SqlType::BigInt);
    t.add_row({Value::integer(100), Value::integer(1)});
    auto& u = db.add_table("Big");
    u.add_column("Id", SqlType::BigInt).with_identity(7000000000LL, 3);
    u.add_row({Value::integer(7000000000LL)});
    const BuiltDatabase built = build_database_image(db);
    EXPECT_EQ(built.object_id("Counters"), 555);
    EXPECT_EQ(le<std::uint16_t>(page_of(built.image, 9), 100), 706);
    EXPECT_EQ(le<std::uint16_t>(page_of(built.image, 9), 102), 661);
    Opened opened(built.image);
    std::map<std::int32_t, std::string> identities;  // object id -> identity text
    for (const Record& r : system_rows(*opened.db, built.image, 41)) {
        if (le<std::int32_t>(r.fixed, 23) != 5) continue;
        ASSERT_EQ(r.variable.size(), 2u);
        identities[le<std::int32_t>(r.fixed, 0)] = identity_text(r.variable[1]);
    }
    EXPECT_EQ(identities[555], "identity(100,5)");
    EXPECT_EQ(identities[built.object_id("Big")], "identity(7000000000,3)");
    EXPECT_EQ(identities.size(), 2u);
}

TEST(DatabaseBuilder, TornPageProtectionIsUndoneByTheTornBitRepair) {
    DatabaseSpec blueprint = small_spec(Layout::k2000);
    const Bytes plain = build_database(blueprint);
    blueprint.torn_page_protection = true;
    const Bytes torn = build_database(blueprint);
    ASSERT_EQ(plain.size(), torn.size());
    std::size_t protected_pages = 0, pages_changed = 0;
    for (std::size_t p = 0; p < plain.size() / kPageSize; ++p) {
        Bytes page(torn.begin() + static_cast<std::ptrdiff_t>(p * kPageSize),
                   torn.begin() + static_cast<std::ptrdiff_t>((p + 1) * kPageSize));
        if (!(le<std::uint16_t>(page, 4) & 0x0100)) continue;
        ++protected_pages;
        Bytes before(plain.begin() + static_cast<std::ptrdiff_t>(p * kPageSize),
                     plain.begin() + static_cast<std::ptrdiff_t>((p + 1) * kPageSize));
        if (page != before) ++pages_changed;
        repair_torn_bits(page);
        std::fill(page.begin() + 4, page.begin() + 6, std::byte{0});
        std::fill(page.begin() + 60, page.begin() + 64, std::byte{0});
        std::fill(before.begin() + 4, before.begin() + 6, std::byte{0});
        EXPECT_EQ(page, before) << "page " << p;
    }
    EXPECT_GT(protected_pages, 20u);
    EXPECT_EQ(pages_changed, protected_pages);
    Opened opened(torn);
    EXPECT_TRUE(opened.db->is_open());
}

TEST(DatabaseBuilder, SampleDatabaseHoldsItsTablesAndObjects) {
    const BuiltDatabase built = build_database_image(sample_database_spec());
    Opened opened(built.image);
    ASSERT_TRUE(opened.db->is_open());
    const std::map<std::string, std::size_t> expected_rows = {{"Customers", kSampleCustomers},
                                                              {"Products", kSampleProducts},
                                                              {"Orders", kSampleOrders},
                                                              {"OrderDetails", kSampleOrderLines}};
    for (const auto& [name, count] : expected_rows) {
        const BuiltTable* t = built.table(name);
        ASSERT_NE(t, nullptr) << name;
        std::size_t rows = 0;
        for (const PageMapEntry& e : opened.db->data_pages().lookup(t->page_object_id))
            rows += records_of(page_of(built.image, static_cast<std::int32_t>(e.page_index))).size();
        EXPECT_EQ(rows, count) << name;
    }
    EXPECT_GT(kSampleOrderLines, 1000);
    std::set<std::string> types;
    for (const BuiltObject& o : built.objects) types.insert(o.type);
    for (const char* type : {"U ", "S ", "V ", "P ", "FN", "TR", "D ", "PK", "F "})
        EXPECT_TRUE(types.count(type)) << type;
    EXPECT_EQ(build_database(sample_database_spec()), built.image);  // the same bytes on every build
}

}  // namespace
}  // namespace quenlow::testing
