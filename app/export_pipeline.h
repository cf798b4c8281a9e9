#pragma once
// The row path of an export on two threads: a worker decodes a table's pages into blocks of cells while
// the export's own thread hands the full blocks to the target.
//
//   worker (decodes)     fill ──> full ──> full ──> ...        take_free(), hand_over()
//                          ^                  │
//                          └──── free <───────┘                take_full(), give_back()
//   caller (writes)                    write
//
// A fixed set of blocks goes round: a written block comes back empty (its cells keep their buffers) and is
// filled again, so memory stays flat however many rows pass. The queue is first in, first out, so the rows
// reach the target in page order. Either side can end the run: the worker when it has no more pages
// (finish), the caller when the target failed (cancel), after which the worker gets no further block and
// stops after the page under way.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "app/export.h"

namespace quenlow {

// One block on its way: the rows, and whether it is the last one the worker hands over (then it may be
// short, or empty).
struct DecodedBlock {
    CellRows cells;
    bool last = false;
};

class BlockQueue {
public:
    // `blocks` blocks of `rows` rows of `width` cells each.
    BlockQueue(std::size_t blocks, std::size_t width, std::size_t rows);
    BlockQueue(const BlockQueue&) = delete;
    BlockQueue& operator=(const BlockQueue&) = delete;

    // Before the worker starts: the rows of `carried` (a block short of full) become the start of the
    // first block the worker fills, and `carried` gets that block's empty cells.
    void carry_in(CellRows& carried);

    // Worker side. An empty block to fill (waits for one); null once the caller cancelled.
    DecodedBlock* take_free();
    // Hands a filled block to the caller.
    void hand_over(DecodedBlock* block);
    // No block follows; the worker says so when it ends, whichever way.
    void finish();

    // Caller side. The next block in the order handed over; null when none came within `wait` (the
    // caller may report progress and ask again) or when the worker finished and every block was taken.
    DecodedBlock* take_full(std::chrono::milliseconds wait);
    bool drained() const;
    void give_back(DecodedBlock* block);
    // The caller takes no more blocks: the worker's next take_free answers null.
    void cancel();

private:
    mutable std::mutex mutex_;
    std::condition_variable freed_;
    std::condition_variable filled_;
    std::vector<std::unique_ptr<DecodedBlock>> blocks_;
    std::deque<DecodedBlock*> free_;
    std::deque<DecodedBlock*> full_;
    bool cancelled_ = false;
    bool finished_ = false;
};

}  // namespace quenlow
