#pragma once
// A fixed-size ring of small trivially copyable items handed from one producing thread to one
// consuming thread, without locks and without allocating: the producer may be a device callback.
// Pushes into a full ring are refused and counted.
#include <array>
#include <atomic>
#include <cstddef>
#include <type_traits>

namespace brindle {

template <class T, std::size_t Slots> class SpscRing {
    static_assert(std::is_trivially_copyable_v<T>, "items are copied by the producer");
    static_assert(Slots > 0 && (Slots & (Slots - 1)) == 0, "a power of two, so the indexes wrap cleanly");

  public:
    // Producer's thread. False when the ring is full; the item is then dropped.
    bool Push(const T& Item) noexcept {
        const auto head = Head.load(std::memory_order_relaxed);
        if (head - Tail.load(std::memory_order_acquire) >= Slots) {
            Dropped.fetch_add(1, std::memory_order_relaxed);
            return false;
        }
        Buffer[head % Slots] = Item;
        Head.store(head + 1, std::memory_order_release);
        return true;
    }

    // Consumer's thread. False when the ring is empty.
    bool Pop(T& Item) noexcept {
        const auto tail = Tail.load(std::memory_order_relaxed);
        if (tail == Head.load(std::memory_order_acquire)) return false;
        Item = Buffer[tail % Slots];
        Tail.store(tail + 1, std::memory_order_release);
        return true;
    }

    // Producer's thread: items waiting (the consumer may be taking some meanwhile).
    std::size_t Count() const noexcept {
        return Head.load(std::memory_order_relaxed) - Tail.load(std::memory_order_acquire);
    }

    // Items refused since the last call.
    std::size_t TakeDropped() noexcept { return Dropped.exchange(0, std::memory_order_relaxed); }
    static constexpr std::size_t Capacity() { return Slots; }

  private:
    std::array<T, Slots> Buffer{};
    std::atomic<std::size_t> Head{0};
    std::atomic<std::size_t> Tail{0};
    std::atomic<std::size_t> Dropped{0};
};

} // namespace brindle
