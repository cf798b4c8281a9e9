#pragma once
// The row path of an export on several threads: workers decode a table's pages, a run of pages into a
// slot of its own, while the export's own thread takes the slots in list order and writes their rows.
//
//   page list     0 1 2   3 4 5   6 7 8   ...   claimed in list order, a run of `pages_per_claim` at a time
//   claims          0       1       2     ...
//   slots          [0]     [1]     [0]    ...   claim c goes into slot c % slots
//   workers         A       B       B     ...   whichever worker is free claims the next run
//   writer         0, 1, 2, ... as each claim is done, then the slot is free for claim c + slots
//
// A fixed set of slots goes round and a slot's buffers are kept, so memory stays flat however many rows
// pass. Runs of several pages make the threads meet (and wake each other) once per run instead of once
// per page. A Stop is asked for before each run, in list order, when it is claimed: the runs claimed
// before it are still decoded and written. The writer can end the run (cancel) when the target fails;
// a worker then claims no further page. Page reads from several threads are safe once the database is
// open; each worker has its own decoder and row buffer.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/export.h"

namespace quenlow {

// The rows of one claim's pages: `rows` rows of the queue's width, row after row, as cells or (for a
// target that encodes rows) as the target's bytes; and how many of its pages gave rows. The buffers grow
// to the most a claim gave and are reused.
struct PageRows {
    std::vector<Cell> cells;
    std::string bytes;
    std::size_t rows = 0;
    std::size_t pages = 0;
    std::size_t pages_with_rows = 0;
    // Rows that are not live rows, as cells, with the origin of each.
    std::vector<Cell> other_cells;
    std::vector<RowOrigin> other_origins;
    // The page's values the decoder could not decode.
    PageDamage damage;

    // Room for one more row of `width` cells; the first of them.
    Cell* add_row(std::size_t width);
    Cell* add_other_row(std::size_t width, RowOrigin origin);
};

class PageSlots {
public:
    PageSlots(std::size_t slots, std::size_t page_count, std::size_t pages_per_claim = 1);
    PageSlots(const PageSlots&) = delete;
    PageSlots& operator=(const PageSlots&) = delete;

    struct Claim {
        std::size_t page = 0;       // the first page of the run
        std::size_t count = 0;      // pages in the run
        std::size_t index = 0;      // the claim's place in list order
        PageRows* rows = nullptr;   // empty, for the run's rows
    };

    // Worker side. The next run of pages of the list and its slot (waits for the slot to be free);
    // nothing once every page was claimed, the writer cancelled, or stop_before (asked under the queue's
    // lock, before each run, in list order) answered true.
    std::optional<Claim> claim(const std::function<bool()>& stop_before);
    // The claimed run's rows are in its slot.
    void done(const Claim& claim);

    // Writer side. The slot of the next claim in list order once it is done; null when it did not come
    // within `wait` or when no claim follows (then ended() is true).
    PageRows* next(std::chrono::milliseconds wait);
    // The claim taken by next() is written: its slot is free.
    void release();
    bool ended() const;
    // Workers claim no further page, and a worker waiting for a slot gives up.
    void cancel();
    // The index of the page a Stop came before.
    std::optional<std::size_t> stopped_before() const;

private:
    enum class State { kFree, kFilling, kDone };
    bool ended_locked() const;

    mutable std::mutex mutex_;
    std::condition_variable freed_;
    std::condition_variable filled_;
    std::vector<PageRows> slots_;
    std::vector<State> states_;
    std::size_t page_count_ = 0;
    std::size_t pages_per_claim_ = 1;
    std::size_t claim_count_ = 0;
    std::size_t next_claim_ = 0;  // the next claim a worker takes
    std::size_t next_write_ = 0;  // the next claim the writer takes
    bool closed_ = false;         // no page is claimed any more (a Stop, or every page claimed)
    bool cancelled_ = false;
    std::optional<std::size_t> stopped_before_;
};

}  // namespace quenlow
