// Records and the body scan over the real data files of the corpus.

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/pages/opened_database.h"
#include "engine/pages/record_page.h"

namespace quenlow {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> corpus_files() {
    std::vector<fs::path> out;
    const fs::path dir = fs::path(QUENLOW_CORPUS_DIR) / "files";
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return out;
    for (const auto& e : fs::directory_iterator(dir, ec)) {
        if (e.path().extension() == ".gz") out.push_back(e.path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::byte> gunzip(const fs::path& path) {
    std::vector<std::byte> out;
    gzFile f = gzopen(path.c_str(), "rb");
    if (f == nullptr) return out;
    std::vector<std::byte> chunk(1 << 20);
    int n = 0;
    while ((n = gzread(f, chunk.data(), static_cast<unsigned>(chunk.size()))) > 0)
        out.insert(out.end(), chunk.begin(), chunk.begin() + n);
    gzclose(f);
    return out;
}

// One corpus file opened from memory.
struct OpenedCorpusFile {
    explicit OpenedCorpusFile(const fs::path& path, const ReadOptions& options = {}) {
        files.add_file("/corpus/db.mdf", gunzip(path));
        db = OpenedDatabase::open("/corpus/db.mdf", options, {state, events, files});
    }
    EngineState state;
    NullEngineEvents events;
    MemoryFileSystem files;
    std::unique_ptr<OpenedDatabase> db;
};

bool inside(ByteSpan view, const std::byte* first, const std::byte* end) {
    return view.empty() || (view.data() >= first && view.data() + view.size() <= end);
}

// Every view of a record read from page lies in the page body.
bool in_body(const CRecord& r, const CPage& page) {
    const std::byte* first = page.page_bytes().data() + page_layout::kHeaderSize;
    const std::byte* end = page.page_bytes().data() + kPageSize;
    if (!inside(r.fixed_part, first, end) || !inside(r.null_bitmap, first, end) ||
        !inside(r.whole, first, end))
        return false;
    for (const auto& v : r.values) {
        if (!inside(v.data, first, end)) return false;
    }
    return true;
}

TEST(RecordsCorpus, SystemTableRowsAreValid) {
    const auto paths = corpus_files();
    if (paths.empty()) GTEST_SKIP() << "corpus not found under " << QUENLOW_CORPUS_DIR;
    std::size_t pages = 0, records = 0, ghosts = 0;
    for (const auto& path : paths) {
        OpenedCorpusFile file(path);
        ASSERT_TRUE(file.db && file.db->is_open()) << path;
        for (const auto& [object_id, entries] : file.db->system_pages().lists()) {
            if (object_id <= 0) continue;
            for (const PageMapEntry& entry : entries) {
                if (entry.page_type != kPageTypeData) continue;
                auto page = read_data_page(*file.db, entry.address());
                ASSERT_NE(page, nullptr);
                ++pages;
                for (std::size_t i = 0; i < page->records().size(); ++i) {
                    const CPrimaryRecord* r = page->primary_record(i);
                    if (r == nullptr) continue;
                    ++records;
                    // Rows deleted but not yet cleaned away are ghosts, refused while deleted rows are
                    // not shown; every other row reads.
                    if (r->ghost) {
                        ++ghosts;
                        continue;
                    }
                    EXPECT_FALSE(r->invalid) << path.filename() << " object " << object_id << " page "
                                             << entry.page_index << " slot " << i << " type " << r->type;
                    EXPECT_GT(r->length, 0)
                        << path.filename() << " page " << entry.page_index << " slot " << i;
                    if (r->type != kRecordForwardingStub) {
                        EXPECT_TRUE(in_body(*r, *page));
                    }
                }
            }
        }
    }
    std::cout << "system table pages " << pages << ", records " << records << ", ghosts " << ghosts << "\n";
}

TEST(RecordsCorpus, BodyScanStaysInsideThePageBody) {
    const auto paths = corpus_files();
    if (paths.empty()) GTEST_SKIP() << "corpus not found under " << QUENLOW_CORPUS_DIR;
    std::size_t pages = 0, slotted = 0, found = 0;
    for (const auto& path : paths) {
        OpenedCorpusFile file(path, {.show_deleted = true, .show_advanced_deleted = true});
        ASSERT_TRUE(file.db && file.db->is_open()) << path;
        for (const auto& [object_id, entries] : file.db->data_pages().lists()) {
            for (const PageMapEntry& entry : entries) {
                auto raw = file.db->read_raw_page(entry.address());
                if (!raw) continue;
                const auto original = load_le<std::int16_t>(*raw, page_layout::kSlotCount);
                CDataPage page(std::move(*raw), *file.db);
                ++pages;
                for (const auto& r : page.scan_candidates()) {
                    EXPECT_TRUE(in_body(*r, page)) << path.filename() << " page " << entry.page_index;
                }
                if (!page.slot_array() || original <= 0) continue;
                const auto& slots = *page.slot_array();
                slotted += static_cast<std::size_t>(original);
                for (std::size_t i = static_cast<std::size_t>(original); i < slots.size(); ++i) {
                    ++found;
                    EXPECT_GE(slots[i], page_layout::kHeaderSize)
                        << path.filename() << " page " << entry.page_index;
                    EXPECT_LT(slots[i], 8190) << path.filename() << " page " << entry.page_index;
                    const CRecord* r = page.records().size() > i ? page.records()[i].get() : nullptr;
                    if (r != nullptr && r->type != kRecordForwardingStub) {
                        EXPECT_TRUE(in_body(*r, page));
                    }
                }
            }
        }
    }
    std::cout << "data pages " << pages << ", slotted records " << slotted << ", found by the scan " << found
              << "\n";
}

}  // namespace
}  // namespace quenlow
