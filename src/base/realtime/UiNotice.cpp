#include "base/realtime/UiNotice.h"

#include <mutex>

namespace brindle {

// Posted notices reach the user-interface side in two steps: a lock-free stack the posting threads
// push onto, and a queue in posting order that only the user-interface side touches, under its lock.
struct UiNoticeList {
    static_assert(std::atomic<UiNotice*>::is_always_lock_free);
    static inline constinit std::atomic<UiNotice*> Posted{nullptr};

    struct Queue {
        // Recursive: a handler may destroy notices or drain again.
        std::recursive_mutex Lock;
        UiNotice* Head = nullptr;
        UiNotice* Tail = nullptr;
        unsigned long long Collections = 0;
    };
    static Queue& Ui() {
        static Queue queue;
        return queue;
    }

    // Under the lock: moves everything posted so far to the queue's end, oldest first, and returns
    // the batch number they carry.
    static unsigned long long Collect(Queue& Q) {
        const unsigned long long batch = ++Q.Collections;
        UiNotice* const anchor = Q.Tail;
        // The stack holds the newest first; inserting each right after the old tail reverses it.
        for (UiNotice* n = Posted.exchange(nullptr, std::memory_order_acquire); n;) {
            UiNotice* const next = n->PostedNext;
            n->Batch = batch;
            n->Queued = true;
            n->QueuedPrev = anchor;
            n->QueuedNext = anchor ? anchor->QueuedNext : Q.Head;
            if (n->QueuedNext)
                n->QueuedNext->QueuedPrev = n;
            else
                Q.Tail = n;
            (anchor ? anchor->QueuedNext : Q.Head) = n;
            n = next;
        }
        return batch;
    }

    static void Unlink(Queue& Q, UiNotice* N) {
        (N->QueuedPrev ? N->QueuedPrev->QueuedNext : Q.Head) = N->QueuedNext;
        (N->QueuedNext ? N->QueuedNext->QueuedPrev : Q.Tail) = N->QueuedPrev;
        N->QueuedPrev = N->QueuedNext = nullptr;
        N->Queued = false;
    }

    static int Drain() {
        Queue& q = Ui();
        std::lock_guard guard(q.Lock);
        // Notices posted while handlers run wait for the next drain, so a handler that posts its
        // own notice cannot keep this one going.
        const unsigned long long batch = Collect(q);
        int ran = 0;
        while (q.Head && q.Head->Batch <= batch) {
            UiNotice* const n = q.Head;
            Unlink(q, n);
            const auto handler = n->Handler;
            // Cleared first: a post from now on is a new event, not lost.
            n->Pending.store(false, std::memory_order_release);
            (*handler)(); // n may be destroyed by its own handler
            ++ran;
        }
        return ran;
    }

    static void Withdraw(UiNotice* N) {
        Queue& q = Ui();
        std::lock_guard guard(q.Lock);
        // Still on the lock-free stack, it is taken off by moving the stack to the queue.
        if (N->Pending.load(std::memory_order_acquire) && !N->Queued) Collect(q);
        if (N->Queued) Unlink(q, N);
    }
};

UiNotice::UiNotice(std::function<void()> Handler)
    : Handler(std::make_shared<const std::function<void()>>(std::move(Handler))) {
    // Constructed first, the queue outlives notices with static storage.
    UiNoticeList::Ui();
}

UiNotice::~UiNotice() { UiNoticeList::Withdraw(this); }

void UiNotice::Post() noexcept {
    if (Pending.exchange(true, std::memory_order_acq_rel)) return;
    UiNotice* head = UiNoticeList::Posted.load(std::memory_order_relaxed);
    do {
        PostedNext = head;
    } while (!UiNoticeList::Posted.compare_exchange_weak(head, this, std::memory_order_release,
                                                        std::memory_order_relaxed));
}

int DrainUiNotices() { return UiNoticeList::Drain(); }

} // namespace brindle
