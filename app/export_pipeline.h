#pragma once
// The row path of an export on several threads: workers decode a table's pages, each page into a slot of
// its own, while the export's own thread takes the slots in page order and writes their rows.
//
//   page list     0   1   2   3   4   5  ...       claimed in list order, one page at a time
//   slots        [0] [1] [2] [3] [0] [1] ...       page p goes into slot p % slots
//   workers       A   B   A   B   B   A  ...       whichever worker is free claims the next page
//   writer        0, 1, 2, ... as each page is done, then the slot is free for page p + slots
//
// A fixed set of slots goes round and a slot's cells keep their buffers, so memory stays flat however
// many rows pass. A Stop is asked for before each page, in list order, when the page is claimed: the
// pages claimed before it are still decoded and written. The writer can end the run (cancel) when the
// target fails; a worker then claims no further page. Page reads from several threads are safe once the
// database is open; each worker has its own decoder and row buffer.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "app/export.h"

namespace quenlow {

// One page's rows: `rows` rows of the queue's width, row after row. The cells grow to the most rows a
// page gave and are reused.
struct PageRows {
    std::vector<Cell> cells;
    std::size_t rows = 0;
    // The page's values the decoder could not decode.
    PageDamage damage;

    // Room for one more row of `width` cells; the first of them.
    Cell* add_row(std::size_t width);
};

class PageSlots {
public:
    PageSlots(std::size_t slots, std::size_t page_count);
    PageSlots(const PageSlots&) = delete;
    PageSlots& operator=(const PageSlots&) = delete;

    struct Claim {
        std::size_t page = 0;
        PageRows* rows = nullptr;  // empty, for the page's rows
    };

    // Worker side. The next page of the list and its slot (waits for the slot to be free); nothing once
    // every page was claimed, the writer cancelled, or stop_before (asked under the queue's lock, before
    // each page, in list order) answered true.
    std::optional<Claim> claim(const std::function<bool()>& stop_before);
    // The claimed page's rows are in its slot.
    void done(std::size_t page);

    // Writer side. The slot of the next page in list order once it is done; null when it did not come
    // within `wait` or when no page follows (then ended() is true).
    PageRows* next(std::chrono::milliseconds wait);
    // The page taken by next() is written: its slot is free.
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
    std::size_t next_claim_ = 0;  // the next page a worker claims
    std::size_t next_write_ = 0;  // the next page the writer takes
    bool closed_ = false;         // no page is claimed any more (a Stop, or every page claimed)
    bool cancelled_ = false;
    std::optional<std::size_t> stopped_before_;
};

}  // namespace quenlow
