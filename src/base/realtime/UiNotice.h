#pragma once
// An event the audio thread hands to the user-interface thread without locking or allocating.
// Post() marks the notice pending and pushes it onto a lock-free list; the UI thread's periodic
// timer calls DrainUiNotices(), which runs each posted notice's handler once. Posting again before
// the handler ran changes nothing, so a notice needs no queue storage of its own.
#include <atomic>
#include <functional>
#include <memory>

namespace brindle {

class UiNotice {
public:
    // Built on the user-interface thread; Handler runs there, from DrainUiNotices.
    explicit UiNotice(std::function<void()> Handler);
    // User-interface thread. Whoever posts must have stopped doing so (its stream stopped);
    // a notice still posted is taken off the list and its handler never runs.
    ~UiNotice();
    UiNotice(const UiNotice&) = delete;
    UiNotice& operator=(const UiNotice&) = delete;

    // Any thread, the audio thread included: lock-free, allocation-free, never blocks.
    void Post() noexcept;
    // Posted and not yet handled.
    bool GetPending() const { return Pending.load(std::memory_order_acquire); }

private:
    friend struct UiNoticeList;

    // Shared so that a handler which destroys its own notice keeps running safely.
    std::shared_ptr<const std::function<void()>> Handler;
    std::atomic<bool> Pending{false};
    // Link in the lock-free list of posted notices; written only by the thread that posts.
    UiNotice* PostedNext = nullptr;
    // Links in the user-interface side's queue, under its lock.
    UiNotice* QueuedPrev = nullptr;
    UiNotice* QueuedNext = nullptr;
    bool Queued = false;
    unsigned long long Batch = 0;
};

// User-interface thread (or whichever thread stands in for it): runs the handler of every notice
// posted before the call, once each, in the order they were posted. Returns how many ran.
// Handlers run under the user-interface side's lock: one may destroy notices or drain again, but
// must not wait for another thread that does.
int DrainUiNotices();

} // namespace brindle
