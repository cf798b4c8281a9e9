// The page slots between the decoding workers of an export and the thread that writes: pages come out in
// list order whichever worker decoded them, a fixed set of slots goes round, a Stop is asked once per page
// in list order, and a cancel releases workers waiting for a slot.

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/export_pipeline.h"

namespace quenlow {
namespace {

using namespace std::chrono_literals;

// A worker: page p gets p % 4 rows of one cell, "p.r".
void decode(PageSlots& slots, const std::function<bool()>& stop = {}) {
    while (const auto claim = slots.claim(stop)) {
        for (std::size_t p = claim->page; p < claim->page + claim->count; ++p)
            for (std::size_t r = 0; r < p % 4; ++r)
                *claim->rows->add_row(1) = std::to_string(p) + "." + std::to_string(r);
        if (claim->index % 3 == 0) std::this_thread::yield();
        slots.done(*claim);
    }
}

// The writer: every page's cells in the order taken, and the slots seen.
std::vector<std::string> write(PageSlots& slots, std::set<const PageRows*>* seen = nullptr) {
    std::vector<std::string> out;
    while (!slots.ended()) {
        PageRows* page = slots.next(10ms);
        if (page == nullptr) continue;
        if (seen != nullptr) seen->insert(page);
        for (std::size_t r = 0; r < page->rows; ++r) out.push_back(*page->cells[r]);
        slots.release();
    }
    return out;
}

std::vector<std::string> expected_rows(std::size_t pages) {
    std::vector<std::string> out;
    for (std::size_t p = 0; p < pages; ++p)
        for (std::size_t r = 0; r < p % 4; ++r) out.push_back(std::to_string(p) + "." + std::to_string(r));
    return out;
}

TEST(ExportPageSlots, PagesComeOutInListOrderThroughAFixedSetOfSlots) {
    for (const std::size_t pages : {0, 1, 2, 7, 200}) {
        for (const std::size_t workers : {1, 2, 3}) {
            for (const std::size_t run : {1, 3, 8}) {
                PageSlots slots(4, pages, run);
                std::vector<std::thread> threads;
                for (std::size_t w = 0; w < workers; ++w) threads.emplace_back([&slots] { decode(slots); });
                std::set<const PageRows*> seen;
                EXPECT_EQ(write(slots, &seen), expected_rows(pages))
                    << pages << " pages, " << workers << " workers, runs of " << run;
                for (std::thread& t : threads) t.join();
                EXPECT_LE(seen.size(), 4u);
                EXPECT_FALSE(slots.stopped_before());
            }
        }
    }
}

TEST(ExportPageSlots, AStopIsAskedBeforeEachPageAndEndsAfterThePagesClaimed) {
    int asked = 0;
    const std::function<bool()> stop = [&asked] { return ++asked == 6; };  // before page 5
    PageSlots slots(3, 100);
    std::thread a([&] { decode(slots, stop); });
    std::thread b([&] { decode(slots, stop); });
    EXPECT_EQ(write(slots), expected_rows(5));
    a.join();
    b.join();
    EXPECT_EQ(slots.stopped_before(), std::optional<std::size_t>(5));
    EXPECT_EQ(asked, 6);

    // With runs of three pages the Stop is asked before pages 0, 3, 6, ...: the second answer stops
    // before page 3.
    asked = 0;
    const std::function<bool()> second = [&asked] { return ++asked == 2; };
    PageSlots runs(3, 100, 3);
    std::thread c([&] { decode(runs, second); });
    EXPECT_EQ(write(runs), expected_rows(3));
    c.join();
    EXPECT_EQ(runs.stopped_before(), std::optional<std::size_t>(3));
}

TEST(ExportPageSlots, CancelReleasesAWorkerWaitingForASlot) {
    PageSlots slots(1, 10);
    const auto first = slots.claim({});
    ASSERT_TRUE(first);
    slots.done(*first);
    // Page 1 needs the only slot, which the writer never gives back: it fails instead.
    std::optional<PageSlots::Claim> waited = PageSlots::Claim{};
    std::thread worker([&] { waited = slots.claim({}); });
    std::this_thread::sleep_for(20ms);
    slots.cancel();
    worker.join();
    EXPECT_FALSE(waited);
    EXPECT_TRUE(slots.ended());
    EXPECT_EQ(slots.next(0ms), nullptr);
    EXPECT_FALSE(slots.claim({}));
}

TEST(ExportPageSlots, TheWriterIsToldWhenNoPageCameYet) {
    PageSlots slots(2, 3);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(slots.next(30ms), nullptr);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
    EXPECT_FALSE(slots.ended());

    // A slot's cells keep their buffers from page to page.
    auto claim = slots.claim({});
    ASSERT_TRUE(claim);
    *claim->rows->add_row(2) = std::string(100, 'x');
    slots.done(*claim);
    PageRows* page = slots.next(0ms);
    ASSERT_NE(page, nullptr);
    const char* buffer = page->cells[0]->data();
    slots.release();
    claim = slots.claim({});
    claim = slots.claim({});  // page 2 goes into the slot of page 0
    ASSERT_TRUE(claim);
    EXPECT_EQ(claim->rows->rows, 0u);
    Cell* cell = claim->rows->add_row(2);
    cell->value().assign(50, 'y');
    EXPECT_EQ(cell->value().data(), buffer);
}

}  // namespace
}  // namespace quenlow
