// For every file of a server from 2005 on: each user and system table shows, over all its batches, the
// live records of its own data pages and nothing else. The records are counted straight from the file,
// not through the page maps, the walks or the schema assembly: every allocated data page whose header
// names one of the table's allocation units gives its primary and forwarded records (no forwarding
// stubs, no ghosts).

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "engine/pages/page_header.h"
#include "engine/pages/page_owner.h"
#include "tests/corpus/corpus_table_rows.h"
#include "tests/support/corpus_gtest.h"

namespace quenlow::testing {
namespace {

constexpr int kFirstVersionWithAllocationUnits = 611;

// Record types (bits 1-3 of a record's first byte) that are rows of the table.
constexpr int kPrimaryRecord = 0;
constexpr int kForwardedRecord = 1;

// Per header (object id, index id), from one pass over the file: the live records of the allocated data
// pages, and the data pages (allocated or not: a freed page keeps its header, so it still counts for the
// bold item).
struct HeaderCounts {
    std::int64_t records = 0;
    std::int64_t pages = 0;
};
using PageCensus = std::map<std::pair<std::int32_t, std::uint16_t>, HeaderCounts>;

// A page free space (PFS) page covers 8088 pages from its own position (page 1 for the first interval);
// its record's bytes, from page offset 100 on, hold one byte per page, bit 0x40 set while the page is
// allocated. A data page that was freed keeps its header and records until it is used again.
constexpr std::size_t kPagesPerPfs = 8088;
constexpr std::size_t kPfsBytes = 100;
constexpr std::uint8_t kPfsAllocated = 0x40;

bool allocated(const std::vector<std::byte>& file, std::size_t page) {
    const std::size_t pfs = page < kPagesPerPfs ? 1 : page / kPagesPerPfs * kPagesPerPfs;
    const std::size_t at = pfs * kPageSize + kPfsBytes + page % kPagesPerPfs;
    return at < file.size() && (std::to_integer<std::uint8_t>(file[at]) & kPfsAllocated) != 0;
}

PageCensus take_census(const std::string& path) {
    PageCensus census;
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::byte> file = [&] {
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<std::byte> out(bytes.size());
        std::memcpy(out.data(), bytes.data(), bytes.size());
        return out;
    }();
    std::vector<std::byte> page(kPageSize);
    for (std::size_t n = 0; (n + 1) * kPageSize <= file.size(); ++n) {
        std::memcpy(page.data(), file.data() + n * kPageSize, kPageSize);
        const CPage_Header header{MutableByteSpan(page.data(), page.size())};
        if (header.page_type != kPageTypeData) continue;
        HeaderCounts& counts = census[{header.object_id, header.index_id}];
        ++counts.pages;
        if (!allocated(file, n)) continue;
        const auto slots = read_slot_array(ByteSpan(page.data(), page.size()), header);
        if (!slots) continue;
        for (std::uint16_t offset : *slots) {
            if (offset < page_layout::kHeaderSize || offset >= kPageSize) continue;
            const int type = (std::to_integer<int>(page[offset]) >> 1) & 7;
            if (type == kPrimaryRecord || type == kForwardedRecord) ++counts.records;
        }
    }
    return census;
}

// The table's allocation units, found from the raw catalog lists.
TablePages own_units(const CorpusFileRows& file, std::int32_t object_id) {
    TablePages pages;
    for (const RowsetRow& rowset : file.rowsets) {
        if (rowset.object_id != object_id) continue;
        for (const AllocationUnitRow& unit : file.allocation_units)
            if (unit.owner_id == rowset.rowset_id)
                pages.add(UnitPages::of_unit(unit.allocation_unit_id, object_id));
    }
    return pages;
}

HeaderCounts own_counts(const PageCensus& census, const TablePages& units) {
    HeaderCounts sum;
    for (const auto& [key, counts] : census) {
        if (!units.owns(key.first, key.second)) continue;
        sum.records += counts.records;
        sum.pages += counts.pages;
    }
    return sum;
}

void expect_own_rows(const std::string& file_name, const CorpusFileRows& read, const PageCensus& census) {
    for (const CorpusTableRows& table : read.tables) {
        const HeaderCounts own = own_counts(census, own_units(read, table.object_id));
        const auto shown = static_cast<std::int64_t>(table.rows.size());
        if (shown != own.records)
            std::cout << fmt::format("{} {}: {} rows shown, {} live records, {} own data pages\n", file_name,
                                     table.name, shown, own.records, own.pages);
        EXPECT_EQ(shown, own.records) << file_name << " " << table.name;
        EXPECT_EQ(table.bold, own.pages > 0 && !table.descriptors.empty()) << file_name << " " << table.name;
    }
}

std::vector<CorpusFile> files_with_allocation_units() {
    std::vector<CorpusFile> out;
    for (const CorpusFile& f : corpus_files())
        if (f.version >= kFirstVersionWithAllocationUnits) out.push_back(f);
    return out;
}

class OwnPagesCorpusTest : public CorpusTest {};

TEST_P(OwnPagesCorpusTest, EveryTableShowsTheLiveRecordsOfItsOwnDataPages) {
    const CorpusFile& file = GetParam();
    const std::string path = local_path().string();
    const CorpusFileRows& users = corpus_file_rows(path);
    const CorpusFileRows& systems = corpus_system_table_rows(path);
    ASSERT_TRUE(users.scanned && systems.scanned) << file.name;
    ASSERT_FALSE(users.sql2000_layout) << file.name;
    const PageCensus census = take_census(path);
    expect_own_rows(file.name, users, census);
    expect_own_rows(file.name, systems, census);
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(OwnPagesCorpusTest);
INSTANTIATE_TEST_SUITE_P(Corpus, OwnPagesCorpusTest, ::testing::ValuesIn(files_with_allocation_units()),
                         corpus_case_name);

// Tables whose unit shares its object number with a system table or another unit.
struct NamedTable {
    std::string_view file;
    bool system;
    std::string_view table;
    std::size_t rows;
};

const NamedTable kNamedTables[] = {
    {"v655_pubs_itsligo", false, "authors", 23},      // was 132 rows of another object's pages
    {"v661_bookshop", false, "Author", 3},            // was 130
    {"v655_pubs_itsligo", true, "sysschobjs", 104},   // was 21
    {"v655_pubs_itsligo", true, "syscolpars", 557},   // was 3
    {"v655_aspnetdb_webshop", false, "Discount", 0},  // empty; was 894 rows and bold
    {"v706c661_helpdesk", false, "sysdiagrams", 0},   // empty; was 814 rows and bold
};

TEST(OwnPagesNamedTables, ShowTheirOwnRowsOnly) {
    QUENLOW_REQUIRE_CORPUS();
    for (const NamedTable& named : kNamedTables) {
        const CorpusFile* file = find_corpus_file(std::string(named.file));
        ASSERT_NE(file, nullptr) << named.file;
        auto local = materialize(*file);
        ASSERT_TRUE(local) << local.error;
        const CorpusFileRows& read = named.system ? corpus_system_table_rows(local.path.string())
                                                  : corpus_file_rows(local.path.string());
        const CorpusTableRows* found = nullptr;
        for (const CorpusTableRows& t : read.tables)
            if (t.name == named.table) found = &t;
        ASSERT_NE(found, nullptr) << named.file << " " << named.table;
        EXPECT_EQ(found->rows.size(), named.rows) << named.file << " " << named.table;
        EXPECT_EQ(found->bold, named.rows > 0) << named.file << " " << named.table;
    }
}

}  // namespace
}  // namespace quenlow::testing
