#pragma once
// Counters that prove the audio path clean: file opens and contended lock acquisitions.
// Counting is one relaxed atomic increment, cheap enough to stay on in release builds.
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

  private:
    static inline std::atomic<std::uint64_t> FileOpens{0};
    static inline std::atomic<std::uint64_t> LockWaits{0};
};

// A mutex that counts every acquisition that had to wait for another thread.
template <class M> class CountingMutex {
  public:
    void lock() {
        if (Inner.try_lock()) return;
        RealtimeProbe::CountLockWait();
        Inner.lock();
    }
    bool try_lock() { return Inner.try_lock(); }
    void unlock() { Inner.unlock(); }

  private:
    M Inner;
};

using CountingRecursiveMutex = CountingMutex<std::recursive_mutex>;
using CountingPlainMutex = CountingMutex<std::mutex>;

} // namespace brindle
