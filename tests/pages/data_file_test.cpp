#include "engine/pages/data_file.h"

#include <gtest/gtest.h>

#include "engine/pages/engine_state.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/page_builder.h"
#include "tests/support/recording_events.h"

namespace quenlow {
namespace {

using testing::Bytes;

constexpr const char* kCheckStart = "status: Checking for file corruption ...........";
constexpr const char* kCheckDone = "status: Checking for file corruption is done...........";

// n pages whose header page id is their position; the bodies are noise, so that a read at the wrong
// offset finds no page id by accident.
Bytes aligned_pages(std::size_t n) {
    testing::DataFileBuilder file;
    for (std::size_t i = 0; i < n; ++i) {
        testing::PageBuilder b(
            testing::PageSpec{.type = 1, .object_id = 7, .page_id = static_cast<std::int32_t>(i)});
        b.put(0, testing::random_bytes(kPageSize, static_cast<std::uint32_t>(i) + 1));
        file.add_page(b.build());
    }
    return file.image();
}

struct Checked {
    DataFile file;
    testing::RecordingEvents events;
    std::vector<std::uint64_t> reads;
};

// Runs the check over image; reads are recorded, and faults can be set up on path "/f" first.
std::unique_ptr<Checked> check(
    Bytes image, EngineState& state,
    const std::function<void(testing::FaultyFileSystem&, testing::RecordingEvents&)>& setup = {}) {
    MemoryFileSystem memory;
    memory.add_file("/f", std::move(image));
    testing::FaultyFileSystem fs(memory);
    auto out = std::make_unique<Checked>();
    if (setup) setup(fs, out->events);
    out->file.path = "/f";
    out->file.reader = fs.open_read_only("/f");
    out->file.set_geometry();
    run_corruption_check(out->file, state, out->events);
    out->reads = fs.read_offsets("/f");
    return out;
}

std::unique_ptr<Checked> check(Bytes image) {
    EngineState state;
    return check(std::move(image), state);
}

struct GeometryCase {
    std::uint64_t length, pages, extents, remainder;
};

TEST(DataFile, GeometryFollowsTheLength) {
    for (GeometryCase c :
         {GeometryCase{0, 0, 0, 0}, GeometryCase{8191, 0, 0, 8191}, GeometryCase{8192, 1, 0, 0},
          GeometryCase{8193, 1, 0, 1}, GeometryCase{7 * 8192, 7, 0, 0}, GeometryCase{8 * 8192, 8, 1, 0},
          GeometryCase{16 * 8192 + 5, 16, 2, 5}, GeometryCase{17 * 8192 - 1, 16, 2, 8191}}) {
        DataFile f;
        f.reader = std::make_shared<MemoryFileReader>(std::make_shared<const Bytes>(c.length));
        f.set_geometry();
        EXPECT_EQ(f.length, c.length);
        EXPECT_EQ(f.page_count, c.pages) << c.length;
        EXPECT_EQ(f.extent_count, c.extents) << c.length;
        EXPECT_EQ(f.remainder(), c.remainder) << c.length;
        EXPECT_EQ(f.leading_offset, c.remainder) << c.length;
    }
}

TEST(DataFile, ProgressStepIsOneHundredthRoundedUp) {
    const std::pair<std::uint64_t, std::uint64_t> cases[] = {{0, 1},       {1, 1},      {99, 1},  {100, 1},
                                                             {101, 2},     {200, 2},    {201, 3}, {250, 3},
                                                             {10000, 100}, {10001, 101}};
    for (auto [n, step] : cases) EXPECT_EQ(progress_step(n), step) << n;
}

TEST(CorruptionCheck, ExactMultipleOfAPageStartsAtZero) {
    for (std::size_t n : {2, 9, 16, 40}) {
        auto r = check(aligned_pages(n));
        EXPECT_EQ(r->file.leading_offset, 0u) << n;
    }
}

class ExtraBytesInFront : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ExtraBytesInFront, PagesStartAfterThem) {
    const std::size_t d = GetParam();
    for (std::size_t n : {1, 4, 16}) {
        Bytes image = aligned_pages(n);
        testing::prepend_bytes(image, d);
        auto r = check(image);
        EXPECT_EQ(r->file.leading_offset, d) << n << " pages";
        EXPECT_EQ(r->file.page_count, n);
        // Pass A found it: nothing was read at an unshifted position.
        for (auto pos : r->reads) EXPECT_EQ(pos % kPageSize, d);
    }
}

TEST_P(ExtraBytesInFront, AtTheEndInsteadPassBAlignsAtZero) {
    const std::size_t d = GetParam();
    for (std::size_t n : {1, 4, 16}) {
        Bytes image = aligned_pages(n);
        testing::append_bytes(image, d);
        auto r = check(image);
        EXPECT_EQ(r->file.leading_offset, 0u) << n << " pages";
        ASSERT_FALSE(r->reads.empty());
        EXPECT_EQ(r->reads.back() % kPageSize, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, ExtraBytesInFront,
                         ::testing::Values(1, 2, 36, 96, 511, 512, 4096, 8000, 8191));

TEST(CorruptionCheck, StartPageFollowsThePageCount) {
    const std::pair<std::size_t, std::uint64_t> cases[] = {{1, 0}, {3, 0}, {4, 1},  {7, 1},
                                                           {8, 2}, {9, 8}, {16, 8}, {100, 8}};
    for (auto [n, start] : cases) {
        auto r = check(testing::random_bytes(n * kPageSize, 5));
        ASSERT_FALSE(r->reads.empty()) << n;
        EXPECT_EQ(r->reads.front(), start * kPageSize) << n;
        // With nothing found every page from the start page on was looked at, once.
        EXPECT_EQ(r->reads.size(), n - start) << n;
    }
}

TEST(CorruptionCheck, KeepsLookingPastPagesThatDoNotMatch) {
    Bytes image = aligned_pages(16);
    for (std::size_t p = 8; p <= 12; ++p) testing::zero_page(image, p);
    testing::prepend_bytes(image, 300);
    auto r = check(image);
    EXPECT_EQ(r->file.leading_offset, 300u);
    EXPECT_EQ(r->reads.back(), 13 * kPageSize + 300);
}

TEST(CorruptionCheck, RandomBytesKeepTheRemainder) {
    for (std::size_t extra : {0, 777, 8191}) {
        auto r = check(testing::random_bytes(16 * kPageSize + extra, 11));
        EXPECT_EQ(r->file.leading_offset, extra);
    }
}

TEST(CorruptionCheck, FileShorterThanAPageReadsNothing) {
    auto r = check(Bytes(100));
    EXPECT_EQ(r->file.page_count, 0u);
    EXPECT_EQ(r->file.leading_offset, 100u);
    EXPECT_TRUE(r->reads.empty());
    EXPECT_EQ(r->events.calls(),
              (std::vector<std::string>{kCheckStart, "range 0..0", "position 0", "position 0", kCheckDone}));
}

TEST(CorruptionCheck, ReadErrorCountsAsNoMatch) {
    Bytes image = aligned_pages(16);
    testing::prepend_bytes(image, 40);
    EngineState state;
    auto r = check(image, state, [](testing::FaultyFileSystem& fs, testing::RecordingEvents&) {
        fs.fail_reads_at("/f", {8 * kPageSize + 40 + 32});
    });
    EXPECT_EQ(r->file.leading_offset, 40u);
    EXPECT_EQ(r->reads.back(), 9 * kPageSize + 40);
    EXPECT_TRUE(r->events.fatal_errors().empty());
}

TEST(CorruptionCheck, HeaderThatCannotBeReadWholeIsNoMatch) {
    // The file was cut while open: pass A's first look (page 0 at the remainder) gets nothing, which
    // must not pass for a page id of 0.
    Bytes image = aligned_pages(2);
    testing::append_bytes(image, 100);
    EngineState state;
    auto r = check(image, state, [](testing::FaultyFileSystem& fs, testing::RecordingEvents&) {
        fs.cut_data_at("/f", 100 + 20);
    });
    EXPECT_EQ(r->file.leading_offset, 0u);
}

TEST(CorruptionCheck, ReportsStartProgressAndEndInOrder) {
    auto r = check(aligned_pages(16));
    EXPECT_EQ(r->events.calls(), (std::vector<std::string>{kCheckStart, "range 0..16", "position 0",
                                                           "position 16", kCheckDone}));
}

TEST(CorruptionCheck, ReportsEveryPageWhenNothingMatches) {
    // Remainder 0: pass A alone, pages 8..11.
    auto a = check(testing::random_bytes(12 * kPageSize, 3));
    EXPECT_EQ(a->events.calls(),
              (std::vector<std::string>{kCheckStart, "range 0..12", "position 0", "position 8", "position 9",
                                        "position 10", "position 11", "position 12", kCheckDone}));
    // Remainder 100: pass A and then pass B over the same pages.
    auto b = check(testing::random_bytes(12 * kPageSize + 100, 3));
    EXPECT_EQ(b->events.positions(), (std::vector<std::int64_t>{0, 8, 9, 10, 11, 8, 9, 10, 11, 12}));
}

TEST(CorruptionCheck, ReportsProgressOnlyAtMultiplesOfTheStep) {
    auto r = check(testing::random_bytes(250 * kPageSize, 4));
    std::vector<std::int64_t> want{0};
    for (std::int64_t p = 9; p < 250; p += 3) want.push_back(p);
    want.push_back(250);
    EXPECT_EQ(r->events.positions(), want);
}

TEST(CorruptionCheck, StopFlagEndsPassAButNotPassB) {
    {
        // Already stopped: pass A reads nothing; pass B still finds the pages at offset 0.
        EngineState state;
        state.stop = true;
        Bytes image = aligned_pages(16);
        testing::append_bytes(image, 123);
        auto r = check(image, state);
        EXPECT_EQ(r->file.leading_offset, 0u);
        for (auto pos : r->reads) EXPECT_EQ(pos % kPageSize, 0u);
        EXPECT_EQ(r->events.calls().back(), kCheckDone);
        EXPECT_TRUE(state.stop_requested()) << "the check does not clear the flag";
    }
    {
        // Stopped while pass A is at page 10: pass B then walks every page.
        EngineState state;
        auto r = check(testing::random_bytes(16 * kPageSize + 50, 6), state,
                       [&state](testing::FaultyFileSystem&, testing::RecordingEvents& events) {
                           events.hook = [&state](const std::string& line) {
                               if (line == "position 10") state.stop = true;
                           };
                       });
        std::vector<std::uint64_t> want;
        for (std::uint64_t p = 8; p <= 10; ++p) want.push_back(p * kPageSize + 50);
        for (std::uint64_t p = 8; p < 16; ++p) want.push_back(p * kPageSize);
        EXPECT_EQ(r->reads, want);
        EXPECT_EQ(r->file.leading_offset, 50u);
    }
}

}  // namespace
}  // namespace quenlow
