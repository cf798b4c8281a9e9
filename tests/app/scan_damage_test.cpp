// The whole scan over damaged data files: it always ends, never crashes, and recovers what the
// undamaged pages still hold. Every case starts from a builder database (2005 layout and SQL Server 2000
// layout), damages its system tables, its boot page or the file itself, and scans it through the main
// frame with the engine's catalog build and schema assembly, under a deadline.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/engine_seams.h"
#include "app/log_file.h"
#include "app/main_frame.h"
#include "engine/pages/page_header.h"
#include "tests/app/fake_front_end.h"
#include "tests/app/test_files.h"
#include "tests/support/database_builder.h"
#include "tests/support/page_builder.h"
#include "tests/support/record_encoder.h"
#include "tests/support/system_tables.h"

namespace quenlow {
namespace {

namespace L = page_layout;
using testing::BuiltDatabase;
using testing::Bytes;
using testing::DatabaseSpec;
using testing::Layout;
using testing::SqlType;
using testing::Value;
using Lines = std::vector<std::string>;

constexpr const char* kCompleted = "Scanning completed for selected mdf file.";
constexpr const char* kNoObjects =
    "Either it is not valid mdf file or highly corrupted, select another file to recover.";
constexpr const char* kNoNamedObjects =
    "Whether it is not valid mdf file or highly corrupted, select another file to recover.";
constexpr const char* kAborted = "Scanning process aborted.";
constexpr auto kDeadline = std::chrono::seconds(60);
constexpr int kFillerTables = 150;

// ---- the database ----

// Alpha (primary key, three rows) and Beta (heap, two rows) own data pages; Gamma and the filler tables
// own none. The filler tables spread the object and column tables over several pages each. Column names
// carry their table's name, so a column row found on a page tells its table.
DatabaseSpec base_spec(Layout layout) {
    DatabaseSpec blueprint;
    blueprint.layout = layout;
    blueprint.name = "Damaged";
    auto& alpha = blueprint.add_table("Alpha");
    alpha.add_column("AlphaId", SqlType::Int);
    alpha.add_column("AlphaName", SqlType::NVarChar, 20, true);
    alpha.add_column("AlphaAmount", SqlType::Int, 0, true);
    alpha.primary_key({"AlphaId"}, "KeyA");
    for (int i = 1; i <= 3; ++i)
        alpha.add_row({Value::integer(i), Value::text("name " + std::to_string(i)), Value::integer(i * 10)});
    auto& beta = blueprint.add_table("Beta");
    beta.add_column("BetaCode", SqlType::Int);
    beta.add_column("BetaNote", SqlType::VarChar, 10, true);
    beta.add_row({Value::integer(7), Value::text("seven")});
    beta.add_row({Value::integer(8), Value::null()});
    blueprint.add_table("Gamma").add_column("GammaX", SqlType::Int);
    for (int t = 0; t < kFillerTables; ++t) {
        char name[16];
        std::snprintf(name, sizeof name, "F%04d", t);
        auto& filler = blueprint.add_table(name);
        filler.add_column(std::string(name) + "_a", SqlType::Int);
        filler.add_column(std::string(name) + "_b", SqlType::Int, 0, true);
    }
    blueprint.add_view("Vee", "CREATE VIEW Vee AS SELECT AlphaId FROM Alpha");
    return blueprint;
}

const BuiltDatabase& base_database(Layout layout) {
    static const BuiltDatabase k2005 = testing::build_database_image(base_spec(Layout::k2005));
    static const BuiltDatabase k2000 = testing::build_database_image(base_spec(Layout::k2000));
    return layout == Layout::k2005 ? k2005 : k2000;
}

std::set<std::string> user_table_names(const BuiltDatabase& db) {
    std::set<std::string> out;
    for (const auto& t : db.tables)
        if (!t.system) out.insert(t.name);
    return out;
}

const char* objects_table(Layout layout) {
    return layout == Layout::k2005 ? "sysschobjs" : "sysobjects";
}
const char* columns_table(Layout layout) {
    return layout == Layout::k2005 ? "syscolpars" : "syscolumns";
}

const std::vector<std::int32_t>& pages_of(const BuiltDatabase& db, const char* system_table) {
    const testing::BuiltTable* t = db.table(system_table);
    if (t == nullptr || t->data_pages.empty())
        throw std::logic_error(std::string("no pages: ") + system_table);
    return t->data_pages;
}

MutableByteSpan page_span(Bytes& image, std::int32_t page) {
    return {image.data() + static_cast<std::size_t>(page) * kPageSize, kPageSize};
}

// ---- reading the built pages back (independently of the engine) ----

struct SlotRecord {
    std::size_t offset = 0;          // of the record within the page
    std::string name;                // the first variable column, as ASCII
    std::size_t name_end_field = 0;  // page offset of the first variable column's end offset
    std::size_t name_start = 0;      // record offset where the first variable value starts
};

std::uint16_t u16(ByteSpan bytes, std::size_t at) {
    return load_le<std::uint16_t>(bytes, at);
}

// The records a built page holds, slot by slot, with their names.
std::vector<SlotRecord> slot_records(ByteSpan page) {
    std::vector<SlotRecord> out;
    const std::uint16_t slots = u16(page, L::kSlotCount);
    for (std::size_t j = 0; j < slots; ++j) {
        SlotRecord r;
        r.offset = u16(page, kPageSize - 2 - 2 * j);
        const auto status = static_cast<std::uint8_t>(page[r.offset]);
        if ((status & 0x20) != 0) {
            const std::size_t count_at = r.offset + u16(page, r.offset + 2);
            const std::size_t columns = u16(page, count_at);
            const std::size_t var_count_at = count_at + 2 + (columns + 7) / 8;
            const std::size_t var_count = u16(page, var_count_at);
            r.name_end_field = var_count_at + 2;
            r.name_start = 2 + (var_count_at - r.offset) + 2 * var_count;
            const std::size_t end = u16(page, r.name_end_field);
            for (std::size_t k = r.offset + r.name_start; k + 1 < r.offset + end; k += 2)
                r.name += static_cast<char>(page[k]);
        }
        out.push_back(r);
    }
    return out;
}

SlotRecord find_record(ByteSpan page, const std::string& name) {
    for (const SlotRecord& r : slot_records(page))
        if (r.name == name) return r;
    throw std::logic_error("no record named " + name);
}

// The page of a system table that holds the row named name.
std::int32_t page_holding(const BuiltDatabase& db, const char* system_table, const std::string& name) {
    for (std::int32_t p : pages_of(db, system_table)) {
        const ByteSpan page(db.image.data() + static_cast<std::size_t>(p) * kPageSize, kPageSize);
        for (const SlotRecord& r : slot_records(page))
            if (r.name == name) return p;
    }
    throw std::logic_error("no page holds " + name);
}

std::set<std::string> names_on_page(const Bytes& image, std::int32_t page) {
    std::set<std::string> out;
    for (const SlotRecord& r :
         slot_records(ByteSpan(image.data() + static_cast<std::size_t>(page) * kPageSize, kPageSize)))
        out.insert(r.name);
    return out;
}

// Record offset of a fixed column of a system table, from the layout the builder stores it with.
std::size_t fixed_column_offset(Layout layout, const char* system_table, const char* column) {
    for (const auto& t : testing::system_table_specs(layout)) {
        if (t.name != system_table) continue;
        const testing::RecordLayout record = testing::make_record_layout(t.columns);
        const testing::PhysicalColumn* p = record.physical(static_cast<std::size_t>(t.column_index(column)));
        if (p == nullptr || p->variable) break;
        return static_cast<std::size_t>(p->leaf_offset);
    }
    throw std::logic_error(std::string("no fixed column ") + column);
}

void set_record_type(MutableByteSpan page, std::size_t record, int type) {
    const auto status = static_cast<std::uint8_t>(page[record]);
    page[record] = std::byte{static_cast<std::uint8_t>((status & ~0x0E) | (type << 1))};
}

// What one set has that the other lacks, for readable failures.
std::string set_difference_text(const std::set<std::string>& got, const std::set<std::string>& want) {
    std::string out = "extra:";
    for (const auto& n : got)
        if (!want.count(n)) out += " " + n;
    out += "; missing:";
    for (const auto& n : want)
        if (!got.count(n)) out += " " + n;
    return out;
}

// ---- the scan ----

struct ScanOutcome {
    Lines log;
    Lines boxes;
    Lines user_tables;  // as listed
    std::set<std::string> bold;
    bool sql2000_layout = false;
    bool tree_mirrored = false;
    std::string last_line() const { return log.empty() ? std::string() : log.back(); }
    std::set<std::string> listed() const { return {user_tables.begin(), user_tables.end()}; }
};

// Polls until the worker has ended; a scan still running at the deadline fails the test, is stopped,
// and ends the test program if even that does not end it (a hung worker cannot be joined).
void wait_with_deadline(MainFrame& frame) {
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    while (frame.busy() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (frame.busy()) {
        ADD_FAILURE() << "the scan did not end within the deadline";
        frame.on_stop();
        const auto grace = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (frame.busy() && std::chrono::steady_clock::now() < grace)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (frame.busy()) {
            std::fprintf(stderr, "the scan hangs even after Stop\n");
            std::abort();
        }
    }
    frame.wait_for_worker();
}

// After the scan, the frame is handed to inspect (for a look at the catalog) before it goes away.
ScanOutcome scan_image(const Bytes& image, const std::function<void(MainFrame&)>& inspect = {},
                       std::optional<std::string> log_folder = std::nullopt) {
    test::TempFolder folder;
    const std::string path = folder.file("damaged.mdf");
    testing::write_file(path, image);
    ApplicationState app;
    test::FakeFrontEnd front;
    OpenChoices choices;
    choices.mdf_path = path;
    choices.log_folder = std::move(log_folder);
    front.dialog_result = choices;
    PosixFileSystem files;
    MainFrame frame(app, front, files, engine_seams());
    frame.on_open();
    wait_with_deadline(frame);

    ScanOutcome out;
    out.log = front.log();
    out.boxes = front.box_texts();
    if (frame.categories().user_tables != kNoItem)
        for (TreeItemId item : frame.tree().children(frame.categories().user_tables)) {
            out.user_tables.push_back(frame.tree().item_text(item));
            if (frame.tree().is_bold(item)) out.bold.insert(frame.tree().item_text(item));
        }
    out.sql2000_layout = app.engine.sql2000_layout.load();
    out.tree_mirrored = front.mirrored_outline() == format_outline(frame.tree());
    if (inspect) inspect(frame);
    return out;
}

// The columns the engine assembles for a table of the scanned catalog.
Lines assembled_columns(MainFrame& frame, const std::string& table) {
    Lines out;
    if (SystemCatalog* catalog = frame.catalog())
        for (const ColumnDescriptor& d : assemble_object(*catalog, table, "U ", {})) out.push_back(d.name);
    return out;
}

// ---- cases, for both layouts ----

class DamagedScan : public ::testing::TestWithParam<Layout> {
protected:
    Layout layout() const { return GetParam(); }
    const BuiltDatabase& db() const { return base_database(layout()); }
    Bytes image() const { return db().image; }
};

TEST_P(DamagedScan, UndamagedDatabaseListsEveryTable) {
    const ScanOutcome r = scan_image(image());
    EXPECT_EQ(r.last_line(), kCompleted);
    EXPECT_EQ(r.listed(), user_table_names(db()));
    EXPECT_EQ(r.bold, (std::set<std::string>{"Alpha", "Beta"}));
    EXPECT_EQ(r.sql2000_layout, layout() == Layout::k2000);
    EXPECT_TRUE(r.tree_mirrored);
}

// A zeroed, a random and a torn page of the object table: the tables named on the other object pages
// are still listed, Alpha with its rows.
TEST_P(DamagedScan, BrokenObjectPageLosesOnlyTheTablesItHeld) {
    const std::vector<std::int32_t>& pages = pages_of(db(), objects_table(layout()));
    ASSERT_GE(pages.size(), 2u) << "the object table should span several pages";
    const std::int32_t damaged = pages.back();
    std::set<std::string> survivors;
    for (std::int32_t p : pages)
        if (p != damaged)
            for (const std::string& name : names_on_page(db().image, p))
                if (user_table_names(db()).count(name)) survivors.insert(name);
    ASSERT_TRUE(survivors.count("Alpha"));

    struct Damage {
        const char* name;
        std::function<void(MutableByteSpan)> apply;
    };
    const std::vector<Damage> damages = {
        {"zeroed", [](MutableByteSpan page) { std::fill(page.begin(), page.end(), std::byte{0}); }},
        {"random bytes",
         [](MutableByteSpan page) {
             const Bytes noise = testing::random_bytes(kPageSize, 41);
             std::copy(noise.begin(), noise.end(), page.begin());
         }},
        {"random body, header kept",
         [](MutableByteSpan page) {
             const Bytes noise = testing::random_bytes(kPageSize - L::kHeaderSize, 42);
             std::copy(noise.begin(), noise.end(), page.begin() + L::kHeaderSize);
         }},
        {"torn flag with garbage torn bits",
         [](MutableByteSpan page) {
             testing::store_le<std::uint16_t>(page, L::kFlagBits,
                                              u16(page, L::kFlagBits) | L::kTornBitsPresent);
             testing::store_le<std::uint32_t>(page, L::kTornBits, 0xA5C3'5A3Cu);
             // Sector ends that the repair must restore from the torn bits: stamp them with garbage too.
             for (std::size_t s = 1; s < kPageSize / L::kSectorSize; ++s)
                 page[s * L::kSectorSize - 1] ^= std::byte{0x03};
         }},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.name);
        Bytes broken = image();
        d.apply(page_span(broken, damaged));
        const ScanOutcome r = scan_image(broken);
        EXPECT_EQ(r.last_line(), kCompleted);
        const std::set<std::string> listed = r.listed();
        for (const std::string& name : survivors) EXPECT_TRUE(listed.count(name)) << name;
        if (std::string(d.name) == "zeroed") {
            EXPECT_EQ(listed, survivors);
        }
        EXPECT_TRUE(r.bold.count("Alpha"));
        EXPECT_TRUE(r.tree_mirrored);
    }
}

// The column pages that hold Alpha's columns are zeroed: every table is still listed, but a table whose
// column rows were there has no columns and is not bold.
TEST_P(DamagedScan, ZeroedColumnPagesUnboldTheTablesWhoseColumnsTheyHeld) {
    const std::set<std::string> alpha = {"AlphaId", "AlphaName", "AlphaAmount"};
    Bytes broken = image();
    std::set<std::string> columns_lost;
    for (std::int32_t p : pages_of(db(), columns_table(layout()))) {
        const std::set<std::string> names = names_on_page(db().image, p);
        if (std::none_of(alpha.begin(), alpha.end(), [&](const std::string& n) { return names.count(n); }))
            continue;
        testing::zero_page(broken, static_cast<std::size_t>(p));
        columns_lost.insert(names.begin(), names.end());
    }
    Lines alpha_columns;
    const ScanOutcome r =
        scan_image(broken, [&](MainFrame& f) { alpha_columns = assembled_columns(f, "Alpha"); });
    EXPECT_EQ(r.last_line(), kCompleted);
    EXPECT_EQ(r.listed(), user_table_names(db()));
    EXPECT_FALSE(r.bold.count("Alpha"));
    EXPECT_EQ(r.bold.count("Beta"), columns_lost.count("BetaCode") ? 0u : 1u);
    EXPECT_TRUE(alpha_columns.empty()) << ::testing::PrintToString(alpha_columns);
}

// Header page ids that do not match their position (stale pages): pages are read by position, so
// nothing is lost.
TEST_P(DamagedScan, StalePageIdsLoseNothing) {
    Bytes broken = image();
    for (const char* table : {objects_table(layout()), columns_table(layout())})
        for (std::int32_t p : pages_of(db(), table))
            testing::store_le<std::int32_t>(page_span(broken, p), L::kPageId, p + 1000);
    const ScanOutcome r = scan_image(broken);
    EXPECT_EQ(r.last_line(), kCompleted);
    EXPECT_EQ(r.listed(), user_table_names(db()));
    EXPECT_EQ(r.bold, (std::set<std::string>{"Alpha", "Beta"}));
}

// A file cut in the middle of a page: the partial page and everything behind it are gone; the catalog
// (at the front) is whole, so every table is listed, bold only while it kept a data page.
TEST_P(DamagedScan, FileCutMidPageKeepsThePagesBeforeTheCut) {
    const testing::BuiltTable* beta = db().table("Beta");
    ASSERT_FALSE(beta->data_pages.empty());
    const std::int32_t cut_page = beta->data_pages.front();
    Bytes broken = image();
    testing::truncate(broken, static_cast<std::size_t>(cut_page) * kPageSize + kPageSize / 2);
    const ScanOutcome r = scan_image(broken);
    EXPECT_EQ(r.last_line(), kCompleted);
    EXPECT_EQ(r.listed(), user_table_names(db()));
    std::set<std::string> bold;
    for (const char* name : {"Alpha", "Beta"}) {
        const auto& pages = db().table(name)->data_pages;
        if (std::any_of(pages.begin(), pages.end(), [&](std::int32_t p) { return p < cut_page; }))
            bold.insert(name);
    }
    EXPECT_EQ(r.bold, bold);
    EXPECT_FALSE(r.bold.count("Beta"));
}

TEST_P(DamagedScan, FileCutInsideTheCatalogStillEnds) {
    for (const char* table : {objects_table(layout()), columns_table(layout())}) {
        SCOPED_TRACE(table);
        Bytes broken = image();
        testing::truncate(broken, static_cast<std::size_t>(pages_of(db(), table).front()) * kPageSize + 1000);
        const ScanOutcome r = scan_image(broken);
        EXPECT_TRUE(r.last_line() == kCompleted || r.last_line() == kNoObjects || r.last_line() == kAborted)
            << r.last_line();
        EXPECT_TRUE(r.tree_mirrored);
    }
}

// Record types in system tables: large-value fragments (type 4) are skipped by every reader and index
// records (type 3) by the column readers; an index record carries no fixed data either, so in the
// object table it gives no row. Alpha keeps the one column row left intact.
TEST_P(DamagedScan, FragmentAndIndexRecordsInSystemTables) {
    Bytes broken = image();
    for (const auto& [name, type] : std::map<std::string, int>{{"Beta", 4}, {"Gamma", 3}}) {
        const std::int32_t p = page_holding(db(), objects_table(layout()), name);
        set_record_type(page_span(broken, p), find_record(page_span(broken, p), name).offset, type);
    }
    for (const auto& [name, type] : std::map<std::string, int>{{"AlphaName", 3}, {"AlphaAmount", 4}}) {
        const std::int32_t p = page_holding(db(), columns_table(layout()), name);
        set_record_type(page_span(broken, p), find_record(page_span(broken, p), name).offset, type);
    }
    Lines alpha_columns;
    const ScanOutcome r =
        scan_image(broken, [&](MainFrame& f) { alpha_columns = assembled_columns(f, "Alpha"); });
    EXPECT_EQ(r.last_line(), kCompleted);
    std::set<std::string> expected = user_table_names(db());
    expected.erase("Beta");
    expected.erase("Gamma");
    EXPECT_EQ(r.listed(), expected) << set_difference_text(r.listed(), expected);
    EXPECT_EQ(alpha_columns, (Lines{"AlphaId"}));
    EXPECT_TRUE(r.bold.count("Alpha"));
}

// Every object page without rows: no objects at all, so the scan ends with the log line only.
TEST_P(DamagedScan, ObjectTableWithoutRowsEndsWithTheLogLineOnly) {
    Bytes broken = image();
    for (std::int32_t p : pages_of(db(), objects_table(layout())))
        testing::store_le<std::int16_t>(page_span(broken, p), L::kSlotCount, 0);
    const ScanOutcome r = scan_image(broken);
    EXPECT_EQ(r.last_line(), kNoObjects);
    EXPECT_TRUE(r.boxes.empty());
    EXPECT_TRUE(r.user_tables.empty());
    EXPECT_TRUE(r.sql2000_layout);
}

// Object rows without a name get "Repairname" and the repair counter (no variable column at all, or a
// name value of length 0); a name whose first character is 0 reads as empty and gets "RepairColumn" and
// the counter. The tables still join by id: Beta keeps its columns and rows.
TEST_P(DamagedScan, ObjectsWithMissingNamesAreNamedByTheRepairCounter) {
    Bytes broken = image();
    auto record_of = [&](const std::string& name) {
        const std::int32_t p = page_holding(db(), objects_table(layout()), name);
        return std::make_pair(page_span(broken, p), find_record(page_span(broken, p), name));
    };
    // Object order: Alpha, Beta, Gamma, F0000, ...; the counter counts in that order.
    auto [beta_page, beta] = record_of("Beta");
    beta_page[beta.offset] &= std::byte{static_cast<std::uint8_t>(~0x20)};
    auto [gamma_page, gamma] = record_of("Gamma");
    testing::store_le<std::uint16_t>(gamma_page, gamma.offset + gamma.name_start, 0);
    auto [filler_page, filler] = record_of("F0000");
    testing::store_le<std::uint16_t>(filler_page, filler.name_end_field,
                                     static_cast<std::uint16_t>(filler.name_start));

    const ScanOutcome r = scan_image(broken);
    EXPECT_EQ(r.last_line(), kCompleted);
    std::set<std::string> expected = user_table_names(db());
    for (const char* gone : {"Beta", "Gamma", "F0000"}) expected.erase(gone);
    for (const char* made_up : {"Repairname0", "RepairColumn1", "Repairname2"}) expected.insert(made_up);
    EXPECT_EQ(r.listed(), expected) << set_difference_text(r.listed(), expected);
    EXPECT_EQ(r.bold, (std::set<std::string>{"Alpha", "Repairname0"}));
}

// Alpha's parent is Beta and Beta's parent is Alpha: nothing follows parents in a loop.
TEST_P(DamagedScan, ParentIdsThatLoopAreHarmless) {
    const char* parent_column = layout() == Layout::k2005 ? "pid" : "parent_obj";
    const std::size_t parent_at = fixed_column_offset(layout(), objects_table(layout()), parent_column);
    Bytes broken = image();
    for (const auto& [child, parent] :
         std::map<std::string, std::string>{{"Alpha", "Beta"}, {"Beta", "Alpha"}}) {
        const std::int32_t p = page_holding(db(), objects_table(layout()), child);
        const SlotRecord r = find_record(page_span(broken, p), child);
        testing::store_le<std::int32_t>(page_span(broken, p), r.offset + parent_at, db().object_id(parent));
    }
    std::vector<std::string> alpha_children;
    const ScanOutcome r = scan_image(broken, [&](MainFrame& f) {
        assembled_columns(f, "Alpha");
        if (SystemCatalog* c = f.catalog())
            for (const ConstraintEntry& e : c->current_constraints) alpha_children.push_back(e.name);
    });
    EXPECT_EQ(r.last_line(), kCompleted);
    EXPECT_EQ(r.listed(), user_table_names(db()));
    EXPECT_EQ(r.bold, (std::set<std::string>{"Alpha", "Beta"}));
    EXPECT_NE(std::find(alpha_children.begin(), alpha_children.end(), "Beta"), alpha_children.end());
}

// A boot page of a later version than any known: the version is named unknown, everything else is read.
TEST_P(DamagedScan, UnknownLaterVersionIsScannedAsItStands) {
    DatabaseSpec blueprint = base_spec(layout());
    blueprint.version = 999;
    const ScanOutcome r = scan_image(testing::build_database(blueprint));
    ASSERT_GE(r.log.size(), 6u);
    EXPECT_EQ(r.log[4], "Database version: Unknown SQL Version");
    EXPECT_EQ(r.last_line(), kCompleted);
    EXPECT_EQ(r.listed(), user_table_names(db()));
    EXPECT_EQ(r.bold, (std::set<std::string>{"Alpha", "Beta"}));
}

// A byte offset within the part of a page that holds something: the header, the records or the slot
// array, a third of the time each.
std::size_t used_offset(ByteSpan page, std::mt19937& rng) {
    const std::size_t free_data =
        std::clamp<std::size_t>(u16(page, L::kFreeData), L::kHeaderSize + 1, kPageSize);
    const std::size_t slots = std::min<std::size_t>(u16(page, L::kSlotCount), 1000);
    switch (rng() % 3) {
        case 0:
            return rng() % L::kHeaderSize;
        case 1:
            return L::kHeaderSize + rng() % (free_data - L::kHeaderSize);
        default:
            return kPageSize - 1 - rng() % (2 * slots + 1);
    }
}

// Random bytes flipped in random system pages (boot page included), 100 files per layout, the same
// every run: every scan ends with one of its four endings, the front end sees the tree the model holds,
// and while the object table is untouched every table is still listed.
TEST_P(DamagedScan, RandomMutationsAlwaysEnd) {
    std::vector<std::int32_t> system_pages = {9};
    for (const auto& t : db().tables)
        if (t.system) system_pages.insert(system_pages.end(), t.data_pages.begin(), t.data_pages.end());
    const std::vector<std::int32_t>& object_pages = pages_of(db(), objects_table(layout()));
    std::mt19937 rng(layout() == Layout::k2005 ? 2005u : 2000u);
    std::map<std::string, int> endings;
    for (int i = 0; i < 100; ++i) {
        SCOPED_TRACE("mutation " + std::to_string(i));
        Bytes broken = image();
        bool objects_touched = false;
        const int pages = 1 + static_cast<int>(rng() % 3);
        for (int k = 0; k < pages; ++k) {
            const std::int32_t page = system_pages[rng() % system_pages.size()];
            objects_touched |= std::count(object_pages.begin(), object_pages.end(), page) > 0;
            const std::size_t start = static_cast<std::size_t>(page) * kPageSize;
            const int flips = 1 + static_cast<int>(rng() % 24);
            for (int f = 0; f < flips; ++f) {
                const std::size_t at = used_offset(ByteSpan(broken.data() + start, kPageSize), rng);
                testing::flip_byte(broken, start + at, static_cast<std::uint8_t>(1 + rng() % 255));
            }
        }
        const ScanOutcome r = scan_image(broken);
        ASSERT_GE(r.log.size(), 4u);
        EXPECT_EQ(r.log[3], "Scanning of file starts...");
        EXPECT_TRUE(r.last_line() == kCompleted || r.last_line() == kNoObjects ||
                    r.last_line() == kNoNamedObjects || r.last_line() == kAborted)
            << r.last_line();
        EXPECT_TRUE(r.tree_mirrored);
        if (!objects_touched) {
            const std::set<std::string> listed = r.listed();
            for (const std::string& name : user_table_names(db())) EXPECT_TRUE(listed.count(name)) << name;
        }
        ++endings[r.last_line()];
    }
    EXPECT_GT(endings[kCompleted], 50);
}

INSTANTIATE_TEST_SUITE_P(Layouts, DamagedScan, ::testing::Values(Layout::k2005, Layout::k2000),
                         [](const ::testing::TestParamInfo<Layout>& info) {
                             return info.param == Layout::k2005 ? "Layout2005" : "Layout2000";
                         });

// ---- the log folder ----

// A log folder that cannot take the log file: the user is told once per Open, the scan of a damaged file
// runs to its end, and every line of both scans still reaches the log pane.
TEST(DamagedScanLog, UnwritableLogFolderTellsOncePerOpenAndKeepsThePane) {
    test::TempFolder folder;
    const std::string plain_file = folder.file("plain-file");
    std::ofstream(plain_file) << "x";
    const BuiltDatabase& db = base_database(Layout::k2005);
    Bytes broken = db.image;
    testing::zero_page(broken, static_cast<std::size_t>(page_holding(db, "syscolpars", "AlphaId")));
    const std::string path = folder.file("damaged.mdf");
    testing::write_file(path, broken);

    struct Case {
        const char* name;
        std::string log_folder;
    };
    for (const Case& c :
         {Case{"a file, not a folder", plain_file}, Case{"a vanished folder", folder.file("gone")}}) {
        SCOPED_TRACE(c.name);
        ApplicationState app;
        test::FakeFrontEnd front;
        OpenChoices choices;
        choices.mdf_path = path;
        choices.log_folder = c.log_folder;
        front.dialog_result = choices;
        PosixFileSystem files;
        // A fixed clock: both Opens name the same log file, so the message can be compared whole.
        MainFrameSeams seams = engine_seams();
        const std::tm now = local_time_now();
        seams.local_time = [now] { return now; };
        MainFrame frame(app, front, files, seams);
        for (int open = 0; open < 2; ++open) {
            frame.on_open();
            wait_with_deadline(frame);
        }
        const Lines boxes = front.box_texts();
        ASSERT_EQ(boxes.size(), 4u);
        for (std::size_t k : {0u, 2u}) {
            EXPECT_EQ(boxes[k],
                      "The log file " + app.log_file_path +
                          " cannot be written. The scan goes on; its log is shown in the log pane only.");
            EXPECT_EQ(boxes[k + 1], "Scanning process completed.");
        }
        const Lines log = front.log();
        // Each scan: eleven lines, the definition pass's two among them.
        ASSERT_EQ(log.size(), 22u);
        EXPECT_EQ(log[10], kCompleted);
        EXPECT_EQ(log[21], kCompleted);
        EXPECT_EQ(app.log_line_counter, 22);
        EXPECT_FALSE(app.log_file.is_open());
        EXPECT_FALSE(std::filesystem::exists(folder.file("gone")));
    }
}

}  // namespace
}  // namespace quenlow
