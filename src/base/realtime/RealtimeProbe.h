#pragma once
// Counters that prove the audio path clean: file opens and contended lock acquisitions, and, on
// threads marked as audio threads, every lock taken at all (waited for or not) and every try that
// found the lock held. Counting is one relaxed atomic increment, cheap enough to stay on in
// release builds.
#include <atomic>
#include <cstdint>
#include <mutex>

namespace brindle {

class RealtimeProbe {
  public:
    static void CountFileOpen() { FileOpens.fetch_add(1, std::memory_order_relaxed); }
    static void CountLockWait() { LockWaits.fetch_add(1, std::memory_order_relaxed); }
    static std::uint64_t GetFileOpens() { return FileOpens.load(std::memory_order_relaxed); }
    static std::uint64_t GetLockWaits() { return LockWaits.load(std::memory_order_relaxed); }

    // The calling thread is (or no longer is) an audio thread.
    static void MarkAudioThread(bool On = true) { OnAudioThread = On; }
    static bool IsAudioThread() { return OnAudioThread; }
    // Counted on marked threads only.
    static void CountAudioLock(bool Waited) {
        if (!OnAudioThread) return;
        AudioLocks.fetch_add(1, std::memory_order_relaxed);
        if (Waited) AudioLockWaits.fetch_add(1, std::memory_order_relaxed);
    }
    static void CountAudioTryFailed() {
        if (OnAudioThread) AudioTryFails.fetch_add(1, std::memory_order_relaxed);
    }
    static std::uint64_t GetAudioLocks() { return AudioLocks.load(std::memory_order_relaxed); }
    static std::uint64_t GetAudioLockWaits() { return AudioLockWaits.load(std::memory_order_relaxed); }
    static std::uint64_t GetAudioTryFails() { return AudioTryFails.load(std::memory_order_relaxed); }

  private:
    static inline std::atomic<std::uint64_t> FileOpens{0};
    static inline std::atomic<std::uint64_t> LockWaits{0};
    static inline std::atomic<std::uint64_t> AudioLocks{0};
    static inline std::atomic<std::uint64_t> AudioLockWaits{0};
    static inline std::atomic<std::uint64_t> AudioTryFails{0};
    static inline thread_local bool OnAudioThread = false;
};

// A mutex that counts every acquisition that had to wait for another thread.
template <class M> class CountingMutex {
  public:
    void lock() {
        if (Inner.try_lock()) {
            RealtimeProbe::CountAudioLock(false);
            return;
        }
        RealtimeProbe::CountLockWait();
        RealtimeProbe::CountAudioLock(true);
        Inner.lock();
    }
    // An audio thread may try: it never waits, and does the work later when it fails.
    bool try_lock() {
        if (Inner.try_lock()) return true;
        RealtimeProbe::CountAudioTryFailed();
        return false;
    }
    void unlock() { Inner.unlock(); }

  private:
    M Inner;
};

using CountingRecursiveMutex = CountingMutex<std::recursive_mutex>;
using CountingPlainMutex = CountingMutex<std::mutex>;

} // namespace brindle
