// The mapping pass against a plain reference: every page of an in-memory file, read header by header,
// sorted into the three maps by the rules of the pass. Files mix objects page by page, so lists of many
// objects grow interleaved; the pass must still give each list its pages in physical order.

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "engine/pages/opened_database.h"

namespace quenlow {
namespace {

namespace L = page_layout;

struct PageSpec {
    std::int32_t object_id;
    std::uint8_t type;
    std::uint16_t file_id;
};

std::vector<std::byte> make_file(const std::vector<PageSpec>& pages) {
    std::vector<std::byte> bytes(pages.size() * kPageSize);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        std::byte* p = bytes.data() + i * kPageSize;
        auto page_id = static_cast<std::int32_t>(i);
        p[L::kType] = std::byte{pages[i].type};
        std::memcpy(p + L::kObjectId, &pages[i].object_id, 4);
        std::memcpy(p + L::kPageId, &page_id, 4);
        std::memcpy(p + L::kFileId, &pages[i].file_id, 2);
    }
    return bytes;
}

std::vector<PageSpec> random_pages(std::size_t count, std::uint32_t seed) {
    std::mt19937 rng(seed);
    const std::int32_t ids[] = {-5, 0, 1, 7, 34, 99, 100, 101, 150, 245575913, 2147483647};
    const std::uint8_t types[] = {1, 1, 1, 2, 3, 10, 10, 13, 0};
    std::vector<PageSpec> pages(count);
    for (auto& p : pages) {
        p.object_id = ids[rng() % std::size(ids)];
        p.type = types[rng() % std::size(types)];
        p.file_id = rng() % 8 == 0 ? static_cast<std::uint16_t>(rng()) : kPrimaryFileId;
    }
    return pages;
}

struct ReferenceMaps {
    std::map<std::int32_t, std::vector<PageMapEntry>> system, data, iam;
};

// Pages [0, upto) sorted by the rules of the primary pass; pages listed in zeroed read as all zero.
ReferenceMaps reference(const std::vector<PageSpec>& pages, std::size_t upto,
                        const std::vector<std::size_t>& zeroed) {
    ReferenceMaps r;
    for (std::size_t i = 0; i < upto; ++i) {
        PageSpec p = pages[i];
        if (std::find(zeroed.begin(), zeroed.end(), i) != zeroed.end()) p = {0, 0, 0};
        PageMapEntry e{p.file_id, static_cast<std::uint32_t>(i), p.type};
        if (p.object_id <= 100) r.system[p.object_id].push_back(e);
        if (p.object_id > 0 && p.type == kPageTypeData) r.data[p.object_id].push_back(e);
        if (p.object_id > 0 && p.type == kPageTypeIam) r.iam[p.object_id].push_back(e);
    }
    return r;
}

// Sets the stop flag once the pass reports a given progress position.
class StopAt final : public EngineEvents {
  public:
    StopAt(EngineState& state, std::int64_t position) : state_(state), position_(position) {}
    void progress_range(std::int64_t, std::int64_t high) override { mapping_ = ++ranges_ == 2 && high > 0; }
    void progress_position(std::int64_t position) override {
        if (mapping_ && position == position_) state_.stop.store(true);
    }
    void status_text(std::string_view) override {}
    void fatal_error(std::string_view) override {}
    void log_line(std::string_view) override {}

  private:
    EngineState& state_;
    std::int64_t position_;
    int ranges_ = 0;
    bool mapping_ = false;
};

struct PassCase {
    const char* name;
    std::size_t pages;
    std::int64_t stop_at;              // progress position of the mapping pass that sets stop; -1: never
    std::vector<std::size_t> failing;  // pages whose read fails (they map as zero pages)
};

TEST(MappingPass, MatchesThePlainReference) {
    const std::vector<PassCase> cases = {
        {"one chunk", 100, -1, {}},
        {"several chunks with a partial last one", 1000, -1, {}},
        {"stopped after the 300th page", 1000, 300, {}},
        {"read errors inside a chunk", 700, -1, {0, 129, 130, 699}},
    };
    for (const PassCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto pages = random_pages(c.pages, static_cast<std::uint32_t>(c.pages));
        pages[8] = {99, 1, kPrimaryFileId};  // the system page map must not come out empty
        MemoryFileSystem files;
        files.add_file("/db/a.mdf", make_file(pages));
        std::vector<std::uint64_t> offsets;
        for (std::size_t p : c.failing) offsets.push_back(p * kPageSize + 40);
        files.fail_reads_at("/db/a.mdf", offsets);
        EngineState state;
        StopAt events(state, c.stop_at);
        auto db = OpenedDatabase::open("/db/a.mdf", ReadOptions{}, {state, events, files});
        ASSERT_TRUE(db->is_open());

        const std::size_t mapped = c.stop_at < 0 ? c.pages : static_cast<std::size_t>(c.stop_at);
        const ReferenceMaps want = reference(pages, mapped, c.failing);
        EXPECT_EQ(db->system_pages().lists(), want.system);
        EXPECT_EQ(db->data_pages().lists(), want.data);
        EXPECT_EQ(db->iam_pages().lists(), want.iam);
        EXPECT_FALSE(state.stop_requested());
    }
}

}  // namespace
}  // namespace quenlow
