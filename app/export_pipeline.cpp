#include "app/export_pipeline.h"

#include <algorithm>

namespace quenlow {

Cell* PageRows::add_row(std::size_t width) {
    const std::size_t need = (rows + 1) * width;
    if (cells.size() < need) cells.resize(need);
    return cells.data() + rows++ * width;
}

Cell* PageRows::add_other_row(std::size_t width, RowOrigin origin) {
    const std::size_t row = other_origins.size();
    if (other_cells.size() < (row + 1) * width) other_cells.resize((row + 1) * width);
    other_origins.push_back(origin);
    return other_cells.data() + row * width;
}

PageSlots::PageSlots(std::size_t slots, std::size_t page_count, std::size_t pages_per_claim)
    : slots_(std::max<std::size_t>(1, slots)),
      states_(slots_.size(), State::kFree),
      page_count_(page_count),
      pages_per_claim_(std::max<std::size_t>(1, pages_per_claim)),
      claim_count_((page_count + pages_per_claim_ - 1) / pages_per_claim_) {}

std::optional<PageSlots::Claim> PageSlots::claim(const std::function<bool()>& stop_before) {
    std::unique_lock lock(mutex_);
    if (cancelled_ || closed_) return std::nullopt;
    if (next_claim_ >= claim_count_ || (stop_before && stop_before())) {
        if (next_claim_ < claim_count_) stopped_before_ = next_claim_ * pages_per_claim_;
        closed_ = true;
        filled_.notify_all();
        return std::nullopt;
    }
    const std::size_t index = next_claim_++;
    const std::size_t slot = index % slots_.size();
    // The slot is free once the claim that used it before, index - slots, is written.
    freed_.wait(lock, [&] { return cancelled_ || index < next_write_ + slots_.size(); });
    if (cancelled_) return std::nullopt;
    states_[slot] = State::kFilling;
    PageRows& rows = slots_[slot];
    rows.rows = 0;
    rows.bytes.clear();
    rows.pages = 0;
    rows.pages_with_rows = 0;
    rows.other_origins.clear();
    rows.damage.clear();
    const std::size_t first = index * pages_per_claim_;
    return Claim{first, std::min(pages_per_claim_, page_count_ - first), index, &rows};
}

void PageSlots::done(const Claim& claim) {
    {
        std::lock_guard lock(mutex_);
        states_[claim.index % slots_.size()] = State::kDone;
    }
    filled_.notify_all();
}

bool PageSlots::ended_locked() const {
    return cancelled_ || ((closed_ || next_claim_ >= claim_count_) && next_write_ >= next_claim_);
}

PageRows* PageSlots::next(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    const std::size_t slot = next_write_ % slots_.size();
    const auto ready = [&] { return ended_locked() || states_[slot] == State::kDone; };
    if (!filled_.wait_for(lock, wait, ready) || cancelled_ || states_[slot] != State::kDone) return nullptr;
    return &slots_[slot];
}

void PageSlots::release() {
    {
        std::lock_guard lock(mutex_);
        states_[next_write_ % slots_.size()] = State::kFree;
        ++next_write_;
    }
    freed_.notify_all();
}

bool PageSlots::ended() const {
    std::lock_guard lock(mutex_);
    return ended_locked();
}

void PageSlots::cancel() {
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
    }
    freed_.notify_all();
    filled_.notify_all();
}

std::optional<std::size_t> PageSlots::stopped_before() const {
    std::lock_guard lock(mutex_);
    return stopped_before_;
}

}  // namespace quenlow
