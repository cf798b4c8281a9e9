#include "app/export_pipeline.h"

#include <utility>

namespace quenlow {

BlockQueue::BlockQueue(std::size_t blocks, std::size_t width, std::size_t rows) {
    for (std::size_t i = 0; i < blocks; ++i) {
        auto block = std::make_unique<DecodedBlock>();
        block->cells.width = width;
        block->cells.cells.resize(width * rows);
        free_.push_back(block.get());
        blocks_.push_back(std::move(block));
    }
}

void BlockQueue::carry_in(CellRows& carried) {
    std::lock_guard lock(mutex_);
    if (free_.empty()) return;
    CellRows& first = free_.front()->cells;
    std::swap(first.cells, carried.cells);
    std::swap(first.rows, carried.rows);
}

DecodedBlock* BlockQueue::take_free() {
    std::unique_lock lock(mutex_);
    freed_.wait(lock, [this] { return cancelled_ || !free_.empty(); });
    if (cancelled_) return nullptr;
    DecodedBlock* block = free_.front();
    free_.pop_front();
    return block;
}

void BlockQueue::hand_over(DecodedBlock* block) {
    {
        std::lock_guard lock(mutex_);
        full_.push_back(block);
    }
    filled_.notify_one();
}

void BlockQueue::finish() {
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    filled_.notify_one();
}

DecodedBlock* BlockQueue::take_full(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    if (!filled_.wait_for(lock, wait, [this] { return finished_ || !full_.empty(); }) || full_.empty())
        return nullptr;
    DecodedBlock* block = full_.front();
    full_.pop_front();
    return block;
}

bool BlockQueue::drained() const {
    std::lock_guard lock(mutex_);
    return finished_ && full_.empty();
}

void BlockQueue::give_back(DecodedBlock* block) {
    block->cells.rows = 0;
    block->last = false;
    {
        std::lock_guard lock(mutex_);
        free_.push_back(block);
    }
    freed_.notify_one();
}

void BlockQueue::cancel() {
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
    }
    freed_.notify_all();
}

}  // namespace quenlow
