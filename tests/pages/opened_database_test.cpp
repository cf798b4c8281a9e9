#include "engine/pages/opened_database.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "tests/support/faulty_file_system.h"
#include "tests/support/page_builder.h"
#include "tests/support/printers.h"
#include "tests/support/recording_events.h"
#include "tests/support/synthetic_database.h"
#include "tests/support/temp_dir.h"

namespace quenlow {
namespace {

using testing::Bytes;
using testing::DataFileBuilder;
using testing::PageSpec;

constexpr const char* kPrimary = "/db/main.mdf";
constexpr const char* kMappingStart = "status: Mapping Database Objects...........";
constexpr const char* kMappingDone =
    "status: Mapping of Database Objects has been done ......................";
constexpr const char* kCheckStart = "status: Checking for file corruption ...........";
constexpr const char* kCheckDone = "status: Checking for file corruption is done...........";

PageSpec page(std::uint8_t type, std::int32_t object_id, std::uint16_t file_id = 1) {
    return PageSpec{.type = type, .object_id = object_id, .file_id = file_id};
}

// A small primary file: page 0 file header, then data pages of object 7 so the file opens.
Bytes small_primary(std::size_t pages = 16) {
    DataFileBuilder file;
    file.add_page(page(15, 99));
    while (file.page_count() < pages) file.add_page(page(1, 7));
    return file.image();
}

struct Harness {
    EngineState state;
    testing::RecordingEvents events;
    MemoryFileSystem memory;
    testing::FaultyFileSystem files{memory};
    int catalog_builds = 0;
    bool stop_seen_by_catalog = true;

    std::unique_ptr<OpenedDatabase> open(const std::string& path = kPrimary) {
        return OpenedDatabase::open(path, ReadOptions{}, {state, events, files}, [this](OpenedDatabase&) {
            ++catalog_builds;
            stop_seen_by_catalog = state.stop_requested();
            return std::unique_ptr<DatabaseCatalog>();
        });
    }
    std::unique_ptr<OpenedDatabase> open_image(Bytes image) {
        memory.add_file(kPrimary, std::move(image));
        return open();
    }
    // The texts of status lines that tell of a read error.
    std::vector<std::string> read_error_texts() const {
        std::vector<std::string> out;
        for (const auto& t : events.status_texts())
            if (t.find("Read error") != std::string::npos) out.push_back(t);
        return out;
    }
};

std::vector<std::uint32_t> indexes(const PageMap& map, std::int32_t object_id) {
    std::vector<std::uint32_t> out;
    for (const auto& e : map.lookup(object_id)) out.push_back(e.page_index);
    return out;
}

std::vector<PageMapEntry> entries(const PageMap& map, std::int32_t object_id) {
    auto list = map.lookup(object_id);
    return {list.begin(), list.end()};
}

std::vector<std::int32_t> objects(const PageMap& map) {
    std::vector<std::int32_t> out;
    for (const auto& [id, list] : map.lists()) out.push_back(id);
    return out;
}

Bytes page_bytes(const Bytes& image, std::size_t index, std::size_t leading_offset = 0) {
    auto first = image.begin() + static_cast<std::ptrdiff_t>(leading_offset + index * kPageSize);
    return Bytes(first, first + kPageSize);
}

// --- open failures -------------------------------------------------------------------------------------

struct FailureCase {
    const char* name;
    std::function<void(Harness&)> setup;
    const char* fatal;
};

class OpenFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(OpenFailure, EndsWithOneFatalErrorAndNoCatalog) {
    Harness h;
    GetParam().setup(h);
    auto db = h.open();
    ASSERT_NE(db, nullptr);
    EXPECT_FALSE(db->is_open());
    EXPECT_EQ(h.events.fatal_errors(), std::vector<std::string>{GetParam().fatal});
    EXPECT_EQ(h.events.calls().back(), std::string("fatal: ") + GetParam().fatal);
    EXPECT_EQ(h.catalog_builds, 0);
    EXPECT_FALSE(h.state.stop_requested());
}

Bytes pages_of_object(std::int32_t object_id, std::size_t n) {
    DataFileBuilder file;
    for (std::size_t i = 0; i < n; ++i) file.add_page(page(1, object_id));
    return file.image();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OpenFailure,
    ::testing::Values(
        FailureCase{"missing", [](Harness&) {}, kFileCannotBeOpen},
        FailureCase{"unreadable",
                    [](Harness& h) {
                        h.memory.add_file(kPrimary, small_primary());
                        h.files.refuse_open(kPrimary);
                    },
                    kFileCannotBeOpen},
        FailureCase{"empty", [](Harness& h) { h.memory.add_file(kPrimary, {}); }, kFileNotValid},
        FailureCase{"tiny", [](Harness& h) { h.memory.add_file(kPrimary, Bytes(100)); }, kFileNotValid},
        FailureCase{"one_byte_short",
                    [](Harness& h) {
                        Bytes image = small_primary(1);
                        testing::truncate(image, kPageSize - 1);
                        h.memory.add_file(kPrimary, image);
                    },
                    kFileNotValid},
        FailureCase{"objects_above_100",
                    [](Harness& h) {
                        DataFileBuilder file;
                        file.add_page(page(15, 150)).add_page(page(10, 150)).add_page(page(2, 1000));
                        file.add_page(page(1, 0x7FFFFFFF)).add_page(page(1, 150));
                        h.memory.add_file(kPrimary, file.image());
                    },
                    kFileNotValid},
        FailureCase{"object_101_only",
                    [](Harness& h) { h.memory.add_file(kPrimary, pages_of_object(101, 3)); }, kFileNotValid},
        FailureCase{"stopped_before_open",
                    [](Harness& h) {
                        h.memory.add_file(kPrimary, small_primary());
                        h.state.stop = true;
                    },
                    kFileNotValid},
        FailureCase{"stopped_when_mapping_starts",
                    [](Harness& h) {
                        h.memory.add_file(kPrimary, small_primary());
                        h.events.hook = [&h](const std::string& line) {
                            if (line == kMappingStart) h.state.stop = true;
                        };
                    },
                    kFileNotValid}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Open, MissingFileReportsNothingElse) {
    Harness h;
    h.open("/db/none.mdf");
    EXPECT_EQ(h.events.calls(), std::vector<std::string>{std::string("fatal: ") + kFileCannotBeOpen});
}

TEST(Open, ObjectId100IsTheLastAccepted) {
    Harness h;
    auto db = h.open_image(pages_of_object(100, 3));
    EXPECT_TRUE(db->is_open());
    EXPECT_EQ(h.catalog_builds, 1);
}

TEST(Open, PosixDirectoryCannotBeOpen) {
    testing::TempDir dir;
    std::filesystem::create_directory(dir.path() / "folder.mdf");
    PosixFileSystem fs;
    EngineState state;
    testing::RecordingEvents events;
    auto db = OpenedDatabase::open(dir.file("folder.mdf"), ReadOptions{}, {state, events, fs});
    EXPECT_FALSE(db->is_open());
    EXPECT_EQ(events.fatal_errors(), std::vector<std::string>{kFileCannotBeOpen});
}

TEST(Open, PosixFileWithoutReadPermissionCannotBeOpen) {
    if (::geteuid() == 0) GTEST_SKIP() << "running as root: permission bits do not stop reads";
    testing::TempDir dir;
    testing::write_file(dir.file("locked.mdf"), small_primary());
    ::chmod(dir.file("locked.mdf").c_str(), 0);
    PosixFileSystem fs;
    EngineState state;
    testing::RecordingEvents events;
    auto db = OpenedDatabase::open(dir.file("locked.mdf"), ReadOptions{}, {state, events, fs});
    EXPECT_FALSE(db->is_open());
    EXPECT_EQ(events.fatal_errors(), std::vector<std::string>{kFileCannotBeOpen});
}

// --- the page maps of the primary file ------------------------------------------------------------------

// One page per rule of the mapping pass.
Bytes mapping_primary() {
    DataFileBuilder file;
    file.add_zero_pages(1);        // 0: never written -> system map, object 0
    file.add_page(page(1, 7));     // 1: system object, data page -> system and data
    file.add_page(page(10, 150));  // 2: user IAM -> IAM only
    file.add_page(page(1, 150));   // 3: user data -> data only
    file.add_page(page(10, 5));    // 4: system IAM -> system and IAM
    file.add_page(page(1, -3));    // 5: negative object -> system only
    file.add_page(page(1, 0));     // 6: object 0 data -> system only
    file.add_page(page(2, 100));   // 7: index page of object 100 -> system only
    file.add_page(page(1, 101));   // 8: first id above the system range -> data only
    file.add_page(page(13, 99));   // 9: boot page -> system
    file.add_page(PageSpec{.type = 1, .object_id = 150, .page_id = 40});  // 10: stale page id
    file.add_page(page(1, 7, 3));                                         // 11: header names file 3
    file.add_page(page(2, 150));                                          // 12: user index page -> nowhere
    file.add_page(page(11, 99));                                          // 13
    file.add_page(page(10, 0));  // 14: IAM of object 0 -> system only
    file.add_page(page(1, 7));   // 15
    return file.image();
}

void expect_mapping_rules(const OpenedDatabase& db) {
    const PageMap& sys = db.system_pages();
    EXPECT_EQ(objects(sys), (std::vector<std::int32_t>{-3, 0, 5, 7, 99, 100}));
    EXPECT_EQ(indexes(sys, 0), (std::vector<std::uint32_t>{0, 6, 14}));
    EXPECT_EQ(indexes(sys, 7), (std::vector<std::uint32_t>{1, 11, 15}));
    EXPECT_EQ(indexes(sys, 99), (std::vector<std::uint32_t>{9, 13}));
    EXPECT_EQ(entries(sys, 0).at(0), (PageMapEntry{0, 0, 0}));

    const PageMap& data = db.data_pages();
    EXPECT_EQ(objects(data), (std::vector<std::int32_t>{7, 101, 150}));
    EXPECT_EQ(indexes(data, 7), (std::vector<std::uint32_t>{1, 11, 15}));
    EXPECT_EQ(indexes(data, 150), (std::vector<std::uint32_t>{3, 10}));
    // Entries carry the header's file id and the physical position, not the header's page id.
    EXPECT_EQ(entries(data, 7), (std::vector<PageMapEntry>{{1, 1, 1}, {3, 11, 1}, {1, 15, 1}}));
    EXPECT_EQ(entries(data, 150), (std::vector<PageMapEntry>{{1, 3, 1}, {1, 10, 1}}));

    const PageMap& iam = db.iam_pages();
    EXPECT_EQ(objects(iam), (std::vector<std::int32_t>{5, 150}));
    EXPECT_EQ(entries(iam, 150), (std::vector<PageMapEntry>{{1, 2, 10}}));
    EXPECT_TRUE(iam.lookup(0).empty());
    EXPECT_TRUE(data.lookup(-3).empty());
}

TEST(PageMaps, EveryPageGoesWhereItsObjectIdAndTypeSay) {
    Harness h;
    auto db = h.open_image(mapping_primary());
    ASSERT_TRUE(db->is_open());
    EXPECT_EQ(db->primary().leading_offset, 0u);
    expect_mapping_rules(*db);
}

TEST(PageMaps, PositionsCountFromTheLeadingOffset) {
    for (std::size_t d : {1, 100, 8191}) {
        Harness h;
        Bytes image = mapping_primary();
        testing::prepend_bytes(image, d);
        auto db = h.open_image(image);
        ASSERT_TRUE(db->is_open());
        EXPECT_EQ(db->primary().leading_offset, d);
        expect_mapping_rules(*db);
    }
}

TEST(PageMaps, TrailingBytesAreNotAPage) {
    Harness h;
    Bytes image = mapping_primary();
    testing::append_bytes(image, 5000);
    auto db = h.open_image(image);
    ASSERT_TRUE(db->is_open());
    EXPECT_EQ(db->primary().leading_offset, 0u);
    EXPECT_EQ(db->primary().page_count, 16u);
    expect_mapping_rules(*db);
}

TEST(PageMaps, AllZeroFileOpensWithEveryPageUnderObjectZero) {
    Harness h;
    auto db = h.open_image(Bytes(16 * kPageSize));
    ASSERT_TRUE(db->is_open());
    EXPECT_EQ(h.catalog_builds, 1);
    EXPECT_EQ(db->primary().leading_offset, 0u);
    EXPECT_EQ(objects(db->system_pages()), std::vector<std::int32_t>{0});
    EXPECT_EQ(db->system_pages().lookup(0).size(), 16u);
    EXPECT_TRUE(db->data_pages().empty());
    EXPECT_TRUE(db->iam_pages().empty());
}

TEST(PageMaps, RandomBytesOpenExactlyWhenSomePageClaimsASystemObject) {
    for (std::uint32_t seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(seed);
        Bytes image = testing::random_bytes(12 * kPageSize, seed);
        // Half the files get every object id pushed above the system range.
        if (seed % 2 == 0)
            for (std::size_t p = 0; p < 12; ++p)
                testing::store_le<std::int32_t>(image, p * kPageSize + 24, 1000 + seed);
        bool any_system = false;
        for (std::size_t p = 0; p < 12; ++p)
            any_system |= load_le<std::int32_t>(image, p * kPageSize + 24) <= 100;

        Harness h;
        auto db = h.open_image(image);
        EXPECT_EQ(db->is_open(), any_system);
        EXPECT_EQ(h.events.fatal_errors().empty(), any_system);
        std::size_t mapped = db->system_pages().entry_count() + db->data_pages().entry_count();
        EXPECT_LE(mapped, 24u);
        for (const auto& [id, list] : db->data_pages().lists()) EXPECT_GT(id, 0);
        for (const auto& [id, list] : db->iam_pages().lists()) EXPECT_GT(id, 0);
        if (db->is_open()) {
            for (std::int32_t p = 1; p < 12; ++p) EXPECT_TRUE(db->read_raw_page({1, p}).has_value());
        }
    }
}

TEST(PageMaps, SyntheticDatabaseMapsItsSystemAndUserObjects) {
    for (std::size_t d : {0, 1234}) {
        Harness h;
        Bytes image = testing::make_synthetic_database({.page_count = 80});
        testing::prepend_bytes(image, d);
        auto db = h.open_image(image);
        ASSERT_TRUE(db->is_open());
        EXPECT_EQ(db->primary().leading_offset, d);
        EXPECT_EQ(db->primary().page_count, 80u);
        for (std::int32_t id : testing::kSyntheticSystemObjects) {
            EXPECT_FALSE(db->system_pages().lookup(id).empty()) << id;
            EXPECT_FALSE(db->iam_pages().lookup(id).empty()) << id;
        }
        for (std::int32_t id : {256, 257, 258}) {
            EXPECT_GE(db->data_pages().lookup(id).size(), 2u) << id;
            EXPECT_EQ(db->iam_pages().lookup(id).size(), 1u) << id;
            EXPECT_TRUE(db->system_pages().lookup(id).empty()) << id;
        }
        // Boot page at 9, and every allocation page, under object 99.
        auto boot = db->system_pages().lookup(99);
        EXPECT_TRUE(std::any_of(boot.begin(), boot.end(), [](const PageMapEntry& e) {
            return e.page_index == 9 && e.page_type == 13;
        }));
    }
}

// --- page reads -----------------------------------------------------------------------------------------

struct AddressCase {
    PageAddress address;
    bool read;
};

TEST(PageReads, AddressRules) {
    Harness h;
    Bytes image = mapping_primary();  // 16 pages
    testing::prepend_bytes(image, 77);
    auto db = h.open_image(image);
    ASSERT_TRUE(db->is_open());
    const AddressCase cases[] = {
        {{1, 1}, true},   {{1, 15}, true},         {{1, 0}, false}, {{1, -1}, false}, {{1, INT32_MIN}, false},
        {{1, 16}, false}, {{1, INT32_MAX}, false}, {{0, 1}, false}, {{2, 1}, false},  {{0xFFFF, 1}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.address.file_id << ":" << c.address.page_id);
        auto buffer = db->read_raw_page(c.address);
        ASSERT_EQ(buffer.has_value(), c.read);
        if (!c.read) continue;
        ASSERT_EQ(buffer->size(), kPageBufferSize);
        EXPECT_EQ(Bytes(buffer->begin(), buffer->begin() + kPageSize),
                  page_bytes(image, static_cast<std::size_t>(c.address.page_id), 77));
        EXPECT_EQ(buffer->back(), std::byte{0});
        EXPECT_EQ(db->read_page_header(c.address).has_value(), true);
    }
    EXPECT_FALSE(db->read_page_header({1, 0}).has_value());
}

TEST(PageReads, BufferEndsWithAZeroAfterAFullPage) {
    Harness h;
    DataFileBuilder file;
    file.add_page(page(15, 99));
    testing::PageBuilder full(page(1, 7));
    full.put(96, Bytes(kPageSize - 96, std::byte{0xFF}));
    file.add_page(full.build());
    auto db = h.open_image(file.image());
    auto buffer = db->read_raw_page({1, 1});
    ASSERT_TRUE(buffer.has_value());
    EXPECT_EQ((*buffer)[kPageSize - 1], std::byte{0xFF});
    EXPECT_EQ((*buffer)[kPageSize], std::byte{0});
}

TEST(PageReads, HeaderReadRepairsTornBitsButRawReadDoesNot) {
    Harness h;
    DataFileBuilder file;
    file.add_page(page(15, 99));
    testing::PageBuilder b(page(1, 7));
    b.put(96, testing::random_bytes(kPageSize - 96, 8));
    Bytes clean = b.build();
    Bytes torn = clean;
    testing::set_torn(torn);
    file.add_page(torn);
    auto db = h.open_image(file.image());
    auto raw = db->read_raw_page({1, 1});
    ASSERT_TRUE(raw.has_value());
    EXPECT_EQ(Bytes(raw->begin(), raw->begin() + kPageSize), torn);
    auto header = db->read_page_header({1, 1});
    ASSERT_TRUE(header.has_value());
    EXPECT_TRUE(header->has_torn_bits());
    EXPECT_EQ(header->object_id, 7);
}

TEST(PageReads, PhysicalReadTakesPageZeroButNotPastTheEnd) {
    Harness h;
    Bytes image = mapping_primary();
    testing::prepend_bytes(image, 10);
    auto db = h.open_image(image);
    auto zero = db->read_primary_physical(0);
    ASSERT_TRUE(zero.has_value());
    EXPECT_EQ(Bytes(zero->begin(), zero->begin() + kPageSize), page_bytes(image, 0, 10));
    EXPECT_TRUE(db->read_primary_physical(15).has_value());
    EXPECT_FALSE(db->read_primary_physical(16).has_value());
}

TEST(PageReads, FileOfOnePageHasNoReadablePage) {
    Harness h;
    auto db = h.open_image(small_primary(1));
    ASSERT_TRUE(db->is_open());
    EXPECT_EQ(db->primary().page_count, 1u);
    EXPECT_FALSE(db->read_raw_page({1, 0}).has_value());
    EXPECT_FALSE(db->read_raw_page({1, 1}).has_value());
    EXPECT_TRUE(db->read_primary_physical(0).has_value());
}

TEST(PageReads, FileCutWhileOpenGivesAZeroFilledTail) {
    testing::TempDir dir;
    Bytes image = mapping_primary();
    testing::prepend_bytes(image, 30);
    testing::write_file(dir.file("main.mdf"), image);
    PosixFileSystem fs;
    EngineState state;
    testing::RecordingEvents events;
    auto db = OpenedDatabase::open(dir.file("main.mdf"), ReadOptions{}, {state, events, fs});
    ASSERT_TRUE(db->is_open());
    std::filesystem::resize_file(dir.file("main.mdf"), 30 + 15 * kPageSize + 100);

    auto last = db->read_raw_page({1, 15});
    ASSERT_TRUE(last.has_value());
    Bytes want = page_bytes(image, 15, 30);
    std::fill(want.begin() + 100, want.end(), std::byte{0});
    EXPECT_EQ(Bytes(last->begin(), last->begin() + kPageSize), want);
    EXPECT_TRUE(events.fatal_errors().empty());
}

TEST(PageReads, ReadErrorWhileMappingGivesAZeroPageReportedOnce) {
    Harness h;
    h.memory.add_file(kPrimary, mapping_primary());
    h.files.fail_reads_at(kPrimary, {3 * kPageSize + 100});
    auto db = h.open();
    ASSERT_TRUE(db->is_open());
    // Page 3 (data of object 150) was seen as zeros.
    EXPECT_EQ(indexes(db->data_pages(), 150), std::vector<std::uint32_t>{10});
    EXPECT_EQ(indexes(db->system_pages(), 0), (std::vector<std::uint32_t>{0, 3, 6, 14}));
    auto page3 = db->read_raw_page({1, 3});
    ASSERT_TRUE(page3.has_value());
    EXPECT_EQ(*page3, Bytes(kPageBufferSize));
    db->read_raw_page({1, 3});
    auto errors = h.read_error_texts();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find(kPrimary), std::string::npos);
    EXPECT_NE(errors[0].find("page 3"), std::string::npos);
    EXPECT_TRUE(db->read_raw_page({1, 4}).has_value());
    EXPECT_TRUE(h.events.fatal_errors().empty());
}

TEST(PageReads, ReadErrorAfterOpenGivesAZeroPageReportedOncePerPage) {
    Harness h;
    auto db = h.open_image(mapping_primary());
    ASSERT_TRUE(db->is_open());
    h.files.fail_reads_at(kPrimary, {5 * kPageSize, 9 * kPageSize + 8191});
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(db->read_raw_page({1, 5}), Bytes(kPageBufferSize));
        EXPECT_EQ(db->read_raw_page({1, 9}), Bytes(kPageBufferSize));
        auto header = db->read_page_header({1, 9});
        ASSERT_TRUE(header.has_value());
        EXPECT_EQ(header->page_type, 0u);
    }
    auto errors = h.read_error_texts();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_NE(errors[0].find("page 5"), std::string::npos);
    EXPECT_NE(errors[1].find("page 9"), std::string::npos);
    h.files.clear_faults(kPrimary);
    EXPECT_NE(db->read_raw_page({1, 5}), Bytes(kPageBufferSize));
}

// --- progress, stop flag, catalog -----------------------------------------------------------------------

TEST(OpenProgress, CheckThenMappingInOrder) {
    Harness h;
    auto db = h.open_image(small_primary(4));
    ASSERT_TRUE(db->is_open());
    EXPECT_EQ(h.events.calls(),
              (std::vector<std::string>{kCheckStart, "range 0..4", "position 0", "position 4", kCheckDone,
                                        "range 0..4", "position 0", kMappingStart, "position 1", "position 2",
                                        "position 3", "position 4", "position 4", kMappingDone}));
}

TEST(OpenProgress, MappingReportsEveryStepPages) {
    Harness h;
    auto db = h.open_image(small_primary(250));
    ASSERT_TRUE(db->is_open());
    const auto& calls = h.events.calls();
    auto start = std::find(calls.begin(), calls.end(), kMappingStart);
    ASSERT_NE(start, calls.end());
    std::vector<std::string> got(start + 1, calls.end());
    std::vector<std::string> want;
    for (int p = 3; p <= 250; p += 3) want.push_back("position " + std::to_string(p));
    want.push_back("position 250");
    want.push_back(kMappingDone);
    EXPECT_EQ(got, want);
}

TEST(OpenStop, StopDuringMappingKeepsWhatWasMappedAndClearsTheFlag) {
    Harness h;
    h.events.hook = [&h](const std::string& line) {
        if (line == "position 5" && h.events.status_texts().size() >= 3) h.state.stop = true;
    };
    auto db = h.open_image(mapping_primary());
    ASSERT_TRUE(db->is_open());
    // Pages 0..4 were mapped; of them 0, 1 and 4 are system pages.
    EXPECT_EQ(objects(db->system_pages()), (std::vector<std::int32_t>{0, 5, 7}));
    EXPECT_EQ(db->system_pages().entry_count(), 3u);
    EXPECT_EQ(indexes(db->data_pages(), 150), std::vector<std::uint32_t>{3});
    EXPECT_FALSE(h.state.stop_requested());
    EXPECT_EQ(h.catalog_builds, 1);
    EXPECT_FALSE(h.stop_seen_by_catalog);
    EXPECT_EQ(h.events.calls().back(), kMappingDone);
}

TEST(OpenStop, FlagIsClearedAfterASuccessfulOpenToo) {
    Harness h;
    h.events.hook = [&h](const std::string& line) {
        if (line == kMappingDone) h.state.stop = true;
    };
    auto db = h.open_image(small_primary());
    EXPECT_TRUE(db->is_open());
    EXPECT_FALSE(h.state.stop_requested());
    EXPECT_FALSE(h.stop_seen_by_catalog);
}

TEST(OpenCatalog, BuiltOnceOnSuccessWithTheOpenedDatabase) {
    Harness h;
    h.memory.add_file(kPrimary, small_primary());
    // Every option away from its default: the database keeps them as given, the catalog build sees them.
    const ReadOptions options{.advanced = true,
                              .show_deleted = true,
                              .show_advanced_deleted = true,
                              .automatic_collation = false,
                              .manual_collation_id = 872468488,
                              .ansi_code_page = 936};
    OpenedDatabase* seen = nullptr;
    auto db = OpenedDatabase::open(kPrimary, options, {h.state, h.events, h.files}, [&](OpenedDatabase& d) {
        seen = &d;
        EXPECT_FALSE(d.system_pages().empty());
        EXPECT_EQ(d.options(), options);
        return std::make_unique<DatabaseCatalog>();
    });
    EXPECT_EQ(seen, db.get());
    EXPECT_NE(db->catalog(), nullptr);
    EXPECT_EQ(db->options(), options);
}

// --- secondary files ------------------------------------------------------------------------------------

// A secondary file: page 0 its file header, then data pages of object 300 naming file_id.
Bytes secondary(std::uint16_t file_id, std::size_t pages = 6) {
    DataFileBuilder file;
    file.add_page(page(15, 99, file_id));
    while (file.page_count() < pages) file.add_page(page(1, 300, file_id));
    return file.image();
}

struct SecondaryHarness : Harness {
    std::unique_ptr<OpenedDatabase> db;
    SecondaryHarness() {
        memory.add_file(kPrimary, small_primary());
        db = open();
    }
    std::vector<DatabaseFileRow> find(std::vector<DatabaseFileRow> rows) {
        db->find_secondary_files(rows);
        return rows;
    }
    std::vector<std::uint16_t> file_ids() const {
        std::vector<std::uint16_t> out;
        for (const auto& [id, info] : db->secondary_files()) out.push_back(id);
        return out;
    }
};

TEST(SecondaryListed, OpenedFromThePrimaryFolderUnderTheListedBaseName) {
    const std::pair<const char*, const char*> cases[] = {
        {"D:\\Other\\Dir\\Sales_2.ndf", "Sales_2.ndf"},
        {"C:\\a.b\\archive.data.ndf", "archive.data.ndf"},
        {"E:\\x\\noext", "noext.ndf"},
        {"F:\\y\\other.mdf", "other.ndf"},
        {"/var/opt/mssql/data/lin.ndf", "lin.ndf"},
        {"plain.ndf", "plain.ndf"},
    };
    for (auto [listed, name] : cases) {
        SCOPED_TRACE(listed);
        SecondaryHarness h;
        h.memory.add_file(std::string("/db/") + name, secondary(3));
        auto rows = h.find({{2, 3, "Sales", listed}});
        ASSERT_EQ(h.file_ids(), std::vector<std::uint16_t>{3});
        const SecondaryFileInfo& info = h.db->secondary_files().at(3);
        EXPECT_EQ(info.file.path, std::string("/db/") + name);
        EXPECT_EQ(info.status, 2u);
        EXPECT_EQ(info.logical_name, "Sales");
        EXPECT_EQ(rows.size(), 1u);
    }
}

TEST(SecondaryListed, FallsBackToACaseInsensitiveMatch) {
    SecondaryHarness h;
    h.memory.add_file("/db/sales.ndf", secondary(3));
    h.find({{0, 3, "s", "D:\\X\\SALES.NDF"}});
    ASSERT_EQ(h.file_ids(), std::vector<std::uint16_t>{3});
    EXPECT_EQ(h.db->secondary_files().at(3).file.path, "/db/sales.ndf");
}

TEST(SecondaryListed, MissingOrUnreadableFilesAndPrimaryRowsAreSkipped) {
    SecondaryHarness h;
    h.memory.add_file("/db/locked.ndf", secondary(4));
    h.files.refuse_open("/db/locked.ndf");
    h.memory.add_file("/db/good.ndf", secondary(5));
    h.memory.add_file("/db/primary2.ndf", secondary(1));
    h.memory.add_file("/db/zero.ndf", secondary(0));
    auto rows = h.find({{0, 1, "p", "C:\\primary2.mdf"},
                        {0, 0, "z", "C:\\zero.ndf"},
                        {0, 3, "m", "C:\\missing.ndf"},
                        {0, 4, "l", "C:\\locked.ndf"},
                        {0, 5, "g", "C:\\good.ndf"}});
    EXPECT_EQ(h.file_ids(), std::vector<std::uint16_t>{5});
    EXPECT_EQ(rows.size(), 5u);
    EXPECT_TRUE(h.events.fatal_errors().empty());
}

TEST(SecondaryListed, ListedFileIdReplacesTheHeaderFileIdAndNoCheckRuns) {
    SecondaryHarness h;
    Bytes image = secondary(2);
    testing::prepend_bytes(image, 200);
    h.memory.add_file("/db/f4.ndf", image);
    h.events.clear();
    h.find({{0, 4, "f", "X:\\f4.ndf"}});
    ASSERT_EQ(h.file_ids(), std::vector<std::uint16_t>{4});
    const DataFile& f = h.db->secondary_files().at(4).file;
    EXPECT_EQ(f.leading_offset, 200u);
    EXPECT_EQ(f.page_count, 6u);
    for (const auto& e : h.db->data_pages().lookup(300)) EXPECT_EQ(e.file_id, 4);
    EXPECT_EQ(indexes(h.db->data_pages(), 300), (std::vector<std::uint32_t>{1, 2, 3, 4, 5}));
    // Only the mapping pass reports: range, positions; no check, no status text.
    EXPECT_TRUE(h.events.status_texts().empty());
    EXPECT_EQ(h.events.calls().front(), "range 0..6");
    EXPECT_EQ(h.events.calls().back(), "position 6");

    auto p2 = h.db->read_raw_page({4, 2});
    ASSERT_TRUE(p2.has_value());
    EXPECT_EQ(Bytes(p2->begin(), p2->begin() + kPageSize), page_bytes(image, 2, 200));
    EXPECT_FALSE(h.db->read_raw_page({2, 2}).has_value());
    EXPECT_FALSE(h.db->read_raw_page({4, 0}).has_value());
    EXPECT_FALSE(h.db->read_raw_page({4, 6}).has_value());
}

// One secondary page per rule of the secondary mapping pass.
Bytes secondary_mapping_file() {
    DataFileBuilder file;
    file.add_zero_pages(1);           // 0: zero -> nowhere
    file.add_page(page(1, 7, 2));     // 1: listed system object, data -> system and data
    file.add_page(page(13, 99, 2));   // 2: object 99 is not in the list -> nowhere
    file.add_page(page(10, 150, 2));  // 3: IAM -> nowhere
    file.add_page(page(1, 150, 2));   // 4: data
    file.add_page(page(2, 34, 2));    // 5: listed system object, index -> system
    file.add_page(page(1, 100, 2));   // 6: not listed -> data only
    file.add_page(page(1, -3, 2));    // 7: negative -> nowhere
    file.add_page(page(10, 74, 2));   // 8: listed system IAM -> system only
    file.add_page(page(1, 2, 2));     // 9: object 2 is not listed -> data only
    return file.image();
}

void expect_secondary_mapping(const OpenedDatabase& db, std::uint16_t file_id) {
    const PageMap& sys = db.system_pages();
    // Primary entries first, then the secondary file's.
    auto seven = sys.lookup(7);
    ASSERT_EQ(seven.size(), 16u);
    EXPECT_EQ(seven.back(), (PageMapEntry{file_id, 1, 1}));
    EXPECT_EQ(seven[14], (PageMapEntry{1, 15, 1}));
    EXPECT_EQ(sys.lookup(34).size(), 1u);
    EXPECT_EQ(entries(sys, 74), (std::vector<PageMapEntry>{{file_id, 8, 10}}));
    EXPECT_EQ(sys.lookup(99).size(), 1u);  // the primary's page 0 only
    EXPECT_TRUE(sys.lookup(100).empty());
    EXPECT_TRUE(sys.lookup(2).empty());
    EXPECT_EQ(sys.lookup(0).size(), 0u);
    EXPECT_TRUE(sys.lookup(-3).empty());

    const PageMap& data = db.data_pages();
    EXPECT_EQ(objects(data), (std::vector<std::int32_t>{2, 7, 100, 150}));
    EXPECT_EQ(data.lookup(7).back(), (PageMapEntry{file_id, 1, 1}));
    EXPECT_EQ(entries(data, 150), (std::vector<PageMapEntry>{{file_id, 4, 1}}));
    EXPECT_TRUE(db.iam_pages().empty());
}

TEST(SecondaryMapping, OnlyListedSystemObjectsAndDataPagesAreMapped) {
    {
        SecondaryHarness h;
        h.memory.add_file("/db/s.ndf", secondary_mapping_file());
        h.find({{0, 2, "s", "C:\\s.ndf"}});
        expect_secondary_mapping(*h.db, 2);
    }
    {
        SecondaryHarness h;
        h.memory.add_file("/db/s.ndf", secondary_mapping_file());
        auto rows = h.find({});
        expect_secondary_mapping(*h.db, 2);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].file_id, 2);
        EXPECT_EQ(rows[0].physical_name, "/db/s.ndf");
        EXPECT_EQ(rows[0].status, 0u);
        EXPECT_TRUE(rows[0].logical_name.empty());
    }
}

TEST(SecondarySearch, FindsNdfFilesSkippingFoldersAndOtherNames) {
    SecondaryHarness h;
    h.memory.add_file("/db/b.ndf", secondary(2));
    h.memory.add_file("/db/a.NDF", secondary(3));
    h.memory.add_file("/db/dir.ndf/inner.ndf", secondary(6));
    h.memory.add_file("/db/notes.txt", secondary(5));
    h.memory.add_file("/db/main.ndf.bak", secondary(7));
    h.memory.add_file("/elsewhere/c.ndf", secondary(8));
    h.events.clear();
    auto rows = h.find({});
    EXPECT_EQ(h.file_ids(), (std::vector<std::uint16_t>{2, 3}));
    EXPECT_EQ(h.db->secondary_files().at(2).file.path, "/db/b.ndf");
    EXPECT_EQ(h.db->secondary_files().at(3).file.path, "/db/a.NDF");
    EXPECT_EQ(rows.size(), 2u);
    // Each file found by search gets the corruption check.
    EXPECT_EQ(std::count(h.events.calls().begin(), h.events.calls().end(), kCheckStart), 2);
    EXPECT_EQ(h.db->data_pages().lookup(300).size(), 10u);
}

TEST(SecondarySearch, FileWithoutADataPageOfItsOwnIdIsLeftOutWhole) {
    SecondaryHarness h;
    DataFileBuilder file;
    file.add_page(page(15, 99, 2));
    file.add_page(page(2, 7, 2));    // system object but an index page
    file.add_page(page(1, 300, 1));  // data page naming the primary
    file.add_page(page(1, 301, 0));
    file.add_page(page(3, 302, 4));  // text page, not data
    h.memory.add_file("/db/orphan.ndf", file.image());
    const std::size_t system_before = h.db->system_pages().entry_count();
    const std::size_t data_before = h.db->data_pages().entry_count();
    auto rows = h.find({});
    EXPECT_TRUE(rows.empty());
    EXPECT_TRUE(h.db->secondary_files().empty());
    EXPECT_EQ(h.db->system_pages().entry_count(), system_before);
    EXPECT_EQ(h.db->data_pages().entry_count(), data_before);
}

TEST(SecondarySearch, FirstDataPageAboveFileOneNamesTheFile) {
    SecondaryHarness h;
    DataFileBuilder file;
    file.add_page(page(15, 99, 9));
    file.add_page(page(1, 300, 1));
    file.add_page(page(1, 300, 5));
    file.add_page(page(1, 300, 6));
    h.memory.add_file("/db/x.ndf", file.image());
    h.find({});
    EXPECT_EQ(h.file_ids(), std::vector<std::uint16_t>{5});
    // Entries keep their header file ids.
    std::vector<std::uint16_t> ids;
    for (const auto& e : h.db->data_pages().lookup(300)) ids.push_back(e.file_id);
    EXPECT_EQ(ids, (std::vector<std::uint16_t>{1, 5, 6}));
}

TEST(SecondarySearch, ReadsUseTheFilesOwnLeadingOffset) {
    SecondaryHarness h;  // primary aligned at 0
    Bytes image = secondary(2, 12);
    testing::prepend_bytes(image, 4321);
    h.memory.add_file("/db/s.ndf", image);
    h.find({});
    ASSERT_EQ(h.file_ids(), std::vector<std::uint16_t>{2});
    EXPECT_EQ(h.db->secondary_files().at(2).file.leading_offset, 4321u);
    EXPECT_EQ(indexes(h.db->data_pages(), 300),
              (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    for (std::int32_t p : {1, 8, 11}) {
        auto buffer = h.db->read_raw_page({2, p});
        ASSERT_TRUE(buffer.has_value());
        EXPECT_EQ(Bytes(buffer->begin(), buffer->begin() + kPageSize), page_bytes(image, p, 4321)) << p;
    }
    EXPECT_FALSE(h.db->read_raw_page({2, 12}).has_value());
    EXPECT_EQ(h.db->primary().leading_offset, 0u);
}

TEST(SecondarySearch, StopFlagEndsTheSearch) {
    SecondaryHarness h;
    h.memory.add_file("/db/s.ndf", secondary(2));
    h.state.stop = true;
    auto rows = h.find({});
    EXPECT_TRUE(rows.empty());
    EXPECT_TRUE(h.db->secondary_files().empty());
    rows = h.find({{0, 2, "s", "C:\\s.ndf"}});
    EXPECT_TRUE(h.db->secondary_files().empty());
}

TEST(SecondaryReads, ReadErrorWhileMappingIsReportedOnceAndReadsAsZeros) {
    for (bool listed : {true, false}) {
        SCOPED_TRACE(listed ? "listed" : "searched");
        SecondaryHarness h;
        h.memory.add_file("/db/s.ndf", secondary(2, 8));
        h.files.fail_reads_at("/db/s.ndf", {5 * kPageSize + 10});
        if (listed)
            h.find({{0, 2, "s", "C:\\s.ndf"}});
        else
            h.find({});
        ASSERT_EQ(h.file_ids(), std::vector<std::uint16_t>{2});
        EXPECT_EQ(indexes(h.db->data_pages(), 300), (std::vector<std::uint32_t>{1, 2, 3, 4, 6, 7}));
        EXPECT_EQ(h.db->read_raw_page({2, 5}), Bytes(kPageBufferSize));
        auto errors = h.read_error_texts();
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_NE(errors[0].find("/db/s.ndf"), std::string::npos);
        EXPECT_NE(errors[0].find("page 5"), std::string::npos);
    }
}

// --- the files are only read ----------------------------------------------------------------------------

struct FileStamp {
    Bytes bytes;
    std::filesystem::file_time_type mtime;
    std::int64_t ctime_ns;
};

FileStamp stamp(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return {testing::read_file(path), std::filesystem::last_write_time(path),
            static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec};
}

TEST(ReadOnly, OpenMapAndReadLeaveTheFilesAsTheyWere) {
    testing::TempDir dir;
    Bytes primary = testing::make_synthetic_database({.page_count = 40});
    testing::prepend_bytes(primary, 512);
    testing::write_file(dir.file("main.mdf"), primary);
    testing::write_file(dir.file("more.ndf"), secondary(2, 10));
    const FileStamp before_primary = stamp(dir.file("main.mdf"));
    const FileStamp before_secondary = stamp(dir.file("more.ndf"));
    {
        PosixFileSystem fs;
        EngineState state;
        testing::RecordingEvents events;
        auto db = OpenedDatabase::open(dir.file("main.mdf"), ReadOptions{}, {state, events, fs});
        ASSERT_TRUE(db->is_open());
        std::vector<DatabaseFileRow> rows;
        db->find_secondary_files(rows);
        ASSERT_EQ(db->secondary_files().size(), 1u);
        for (std::int32_t p = 1; p < 40; ++p) ASSERT_TRUE(db->read_raw_page({1, p}).has_value());
        for (std::int32_t p = 1; p < 10; ++p) ASSERT_TRUE(db->read_raw_page({2, p}).has_value());
    }
    for (auto [path, before] : {std::pair{dir.file("main.mdf"), &before_primary},
                                std::pair{dir.file("more.ndf"), &before_secondary}}) {
        const FileStamp after = stamp(path);
        EXPECT_EQ(after.bytes, before->bytes) << path;
        EXPECT_EQ(after.mtime, before->mtime) << path;
        EXPECT_EQ(after.ctime_ns, before->ctime_ns) << path;
    }
}

}  // namespace
}  // namespace quenlow
