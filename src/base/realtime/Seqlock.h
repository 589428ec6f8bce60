#pragma once
// A value published by one writer and read by others without either ever blocking the writer:
// the writer (a device callback) stores it word by word between two counter steps; a reader
// copies it and tries again if the counter moved meanwhile. Words are atomics, so the copy is
// race-free; only readers ever repeat work.
#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <thread>
#include <type_traits>

namespace brindle {

template <class T> class Seqlock {
    static_assert(std::is_trivially_copyable_v<T>, "copied word by word");
    static constexpr std::size_t Words = (sizeof(T) + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t);

  public:
    // The one writer. Never waits.
    void Write(const T& Value) noexcept {
        std::array<std::uint64_t, Words> raw{};
        std::memcpy(raw.data(), static_cast<const void*>(&Value), sizeof(T));
        const auto seq = Sequence.load(std::memory_order_relaxed);
        Sequence.store(seq + 1, std::memory_order_relaxed);
        // Release stores (plain moves on x86) instead of a fence, which ThreadSanitizer cannot
        // follow: a reader that sees any new word also sees the odd count before it.
        for (std::size_t i = 0; i < Words; ++i)
            Data[i].store(raw[i], std::memory_order_release);
        Sequence.store(seq + 2, std::memory_order_release);
    }

    // Any other thread: the last value written whole.
    T Read() const noexcept {
        std::array<std::uint64_t, Words> raw{};
        for (unsigned attempt = 0;; ++attempt) {
            const auto before = Sequence.load(std::memory_order_acquire);
            if ((before & 1) == 0) {
                // Acquire loads keep the second look at the count after them.
                for (std::size_t i = 0; i < Words; ++i)
                    raw[i] = Data[i].load(std::memory_order_acquire);
                if (Sequence.load(std::memory_order_relaxed) == before) break;
            }
            if (attempt > 64) std::this_thread::yield(); // the writer was preempted mid-write
        }
        T out;
        std::memcpy(static_cast<void*>(&out), raw.data(), sizeof(T));
        return out;
    }

    // The audio thread's read: one attempt, never repeated. False when nothing was written since
    // Seen (a count of writes this reader last took) or when a write is under way; Out and Seen
    // are then unchanged and the caller tries again later.
    bool TryRead(T& Out, std::uint64_t& Seen) const noexcept {
        const auto before = Sequence.load(std::memory_order_acquire);
        if ((before & 1) != 0 || before / 2 == Seen) return false;
        std::array<std::uint64_t, Words> raw{};
        for (std::size_t i = 0; i < Words; ++i)
            raw[i] = Data[i].load(std::memory_order_acquire);
        if (Sequence.load(std::memory_order_relaxed) != before) return false;
        std::memcpy(static_cast<void*>(&Out), raw.data(), sizeof(T));
        Seen = before / 2;
        return true;
    }

    // Values written so far.
    std::uint64_t Writes() const noexcept { return Sequence.load(std::memory_order_acquire) / 2; }

  private:
    std::atomic<std::uint64_t> Sequence{0};
    std::array<std::atomic<std::uint64_t>, Words> Data{};
};

} // namespace brindle
