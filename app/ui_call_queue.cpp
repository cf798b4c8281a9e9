#include "app/ui_call_queue.h"

#include <memory>
#include <utility>

namespace quenlow {

UiCallQueue::UiCallQueue(std::function<void()> wake) : wake_(std::move(wake)) {}

void UiCallQueue::post(std::function<void()> call) {
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        if (shut_down_) return;
        calls_.push_back(std::move(call));
        wake = needs_wake();
        if (wake) {
            wake_pending_ = true;
            ++wakes_;
        }
    }
    if (wake && wake_) wake_();
}

void UiCallQueue::post_latest(std::function<void()> call) {
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        if (shut_down_) return;
        latest_ = std::move(call);
        wake = needs_wake();
        if (wake) {
            wake_pending_ = true;
            ++wakes_;
        }
    }
    if (wake && wake_) wake_();
}

void UiCallQueue::clear_latest() {
    std::lock_guard lock(mutex_);
    latest_ = nullptr;
}

bool UiCallQueue::call_and_wait(std::function<void()> call) {
    // The flag lives beside the call, so a call dropped by shut_down() leaves nothing that points back
    // into the waiting worker's frame.
    auto done = std::make_shared<bool>(false);
    post([this, done, call = std::move(call)] {
        call();
        std::lock_guard lock(mutex_);
        *done = true;
        ran_.notify_all();
    });
    std::unique_lock lock(mutex_);
    ran_.wait(lock, [&] { return *done || shut_down_; });
    return *done;
}

void UiCallQueue::drain() {
    for (;;) {
        std::deque<std::function<void()>> calls;
        std::function<void()> latest;
        {
            std::lock_guard lock(mutex_);
            if (shut_down_) return;
            if (calls_.empty() && !latest_) {
                wake_pending_ = false;
                return;
            }
            calls.swap(calls_);
            latest.swap(latest_);
        }
        for (auto& call : calls) {
            call();
            if (is_shut_down()) return;
        }
        if (latest) latest();
    }
}

void UiCallQueue::shut_down() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(mutex_);
        shut_down_ = true;
        dropped.swap(calls_);
        latest_ = nullptr;
        ran_.notify_all();
    }
    // The dropped calls are destroyed here, outside the lock: they may hold the last reference to
    // something a waiter shares.
}

bool UiCallQueue::is_shut_down() const {
    std::lock_guard lock(mutex_);
    return shut_down_;
}

std::uint64_t UiCallQueue::wakes() const {
    std::lock_guard lock(mutex_);
    return wakes_;
}

}  // namespace quenlow
