// The block queue between the decoding worker of an export and the thread that writes: rows arrive in the
// order they were filled, blocks go round without growing in number, rows carried in from an earlier page
// list come first, and a cancel ends a worker that waits for a block.

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <thread>

#include "app/export_pipeline.h"

namespace quenlow {
namespace {

using namespace std::chrono_literals;

// The worker side: `rows` rows of one cell ("0", "1", ...) in blocks of `per_block`, the last one short.
void fill(BlockQueue& queue, int rows, std::size_t per_block) {
    DecodedBlock* block = queue.take_free();
    for (int r = 0; r < rows && block != nullptr; ++r) {
        block->cells.cells[block->cells.rows] = std::to_string(r);
        if (++block->cells.rows < per_block) continue;
        queue.hand_over(block);
        block = queue.take_free();
    }
    if (block != nullptr) {
        block->last = true;
        queue.hand_over(block);
    }
    queue.finish();
}

TEST(ExportBlockQueue, RowsArriveInOrderThroughAFixedSetOfBlocks) {
    for (const int rows : {0, 1, 7, 8, 100, 1001}) {
        BlockQueue queue(3, 1, 8);
        std::thread worker(fill, std::ref(queue), rows, 8);
        std::set<const DecodedBlock*> seen;
        int next = 0;
        int last_blocks = 0;
        while (!queue.drained()) {
            DecodedBlock* block = queue.take_full(10ms);
            if (block == nullptr) continue;
            seen.insert(block);
            EXPECT_TRUE(block->last || block->cells.rows == 8) << rows;
            last_blocks += block->last ? 1 : 0;
            for (std::size_t r = 0; r < block->cells.row_count(); ++r)
                EXPECT_EQ(block->cells.row(r)[0], std::to_string(next++)) << rows;
            queue.give_back(block);
        }
        worker.join();
        EXPECT_EQ(next, rows);
        EXPECT_EQ(last_blocks, 1) << rows;
        EXPECT_LE(seen.size(), 3u) << rows;
    }
}

TEST(ExportBlockQueue, CarriedRowsComeFirstAndTheirCellsGoBackEmpty) {
    BlockQueue queue(2, 2, 4);
    CellRows carried;
    carried.width = 2;
    carried.cells = {Cell("a"), std::nullopt, Cell("b"), Cell("c"), Cell(), Cell()};
    carried.cells.resize(8);
    carried.rows = 2;
    queue.carry_in(carried);
    EXPECT_EQ(carried.rows, 0u);
    EXPECT_EQ(carried.cells.size(), 8u);

    DecodedBlock* block = queue.take_free();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->cells.rows, 2u);
    EXPECT_EQ(block->cells.row(1)[0], Cell("b"));
    EXPECT_EQ(block->cells.row(0)[1], std::nullopt);
}

TEST(ExportBlockQueue, CancelReleasesAWorkerWaitingForABlock) {
    BlockQueue queue(1, 1, 1);
    DecodedBlock* only = queue.take_free();
    ASSERT_NE(only, nullptr);
    queue.hand_over(only);
    // Nothing is free until the writer gives the block back, which it never does: it fails instead.
    DecodedBlock* waited = only;
    std::thread worker([&] {
        waited = queue.take_free();
        queue.finish();
    });
    std::this_thread::sleep_for(20ms);
    queue.cancel();
    worker.join();
    EXPECT_EQ(waited, nullptr);
    // The writer may still take what was handed over; then the queue is drained.
    EXPECT_EQ(queue.take_full(0ms), only);
    EXPECT_EQ(queue.take_full(0ms), nullptr);
    EXPECT_TRUE(queue.drained());
}

TEST(ExportBlockQueue, AWriterWaitingForABlockIsToldWhenNoneCameYet) {
    BlockQueue queue(2, 1, 1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(queue.take_full(30ms), nullptr);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
    EXPECT_FALSE(queue.drained());
    queue.finish();
    EXPECT_TRUE(queue.drained());
}

}  // namespace
}  // namespace quenlow
