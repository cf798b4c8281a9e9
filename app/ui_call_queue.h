#pragma once
// Carries the calls of worker threads over to the thread that owns the window, in order.
//
// A worker appends a call and goes on (post), or appends it and waits until the window's thread has run
// it (call_and_wait, for calls that answer). The window's thread runs everything queued in one go
// (drain) when woken; a worker wakes it only when the queue was empty, so a burst of calls costs one hop.
// One further slot holds the latest of a kind of call that only its newest instance matters for (the
// progress position): it is run after the queued calls of the same drain, and replaced, not queued.
//
// shut_down() ends the traffic for good: waiting workers return at once, queued calls are dropped, later
// ones are never run. The window calls it before it waits for a worker, so a worker that waits on the
// window can never hold up the window's end.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

namespace quenlow {

class UiCallQueue {
public:
    // wake asks the window's thread to call drain() soon; it may be called from any thread.
    explicit UiCallQueue(std::function<void()> wake);

    // Any thread. The call runs on the window's thread, after every call posted before it.
    void post(std::function<void()> call);
    // Replaces the latest-only slot.
    void post_latest(std::function<void()> call);
    // Empties the latest-only slot (a call that makes its content stale was posted).
    void clear_latest();
    // A worker thread: posts the call and waits until it has run. False when the queue was shut down
    // before it ran; it never runs then.
    bool call_and_wait(std::function<void()> call);

    // The window's thread: runs the queued calls, then the latest-only one.
    void drain();
    void shut_down();
    bool is_shut_down() const;

    std::uint64_t wakes() const;

private:
    // Under mutex_: true when the window's thread has to be woken for this call.
    bool needs_wake() const { return !wake_pending_ && !shut_down_; }

    std::function<void()> wake_;
    mutable std::mutex mutex_;
    std::condition_variable ran_;
    std::deque<std::function<void()>> calls_;
    std::function<void()> latest_;
    bool wake_pending_ = false;
    bool shut_down_ = false;
    std::uint64_t wakes_ = 0;
};

}  // namespace quenlow
