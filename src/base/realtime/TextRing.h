#pragma once
// A fixed-size ring of short texts handed from the audio thread to the UI without locking or
// allocating on the pushing side. One pusher at a time (the live mixer pushes under its own lock)
// and one drainer. Texts longer than a slot are refused, as are pushes into a full ring.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

template <std::size_t Slots = 64, std::size_t SlotBytes = 1024> class TextRing {
  public:
    // False when the ring is full or the text does not fit; the text is then dropped.
    bool Push(std::string_view Text) noexcept {
        if (Text.size() >= SlotBytes) {
            Dropped.fetch_add(1, std::memory_order_relaxed);
            return false;
        }
        const auto head = Head.load(std::memory_order_relaxed);
        if (head - Tail.load(std::memory_order_acquire) >= Slots) {
            Dropped.fetch_add(1, std::memory_order_relaxed);
            return false;
        }
        auto& slot = Buffer[head % Slots];
        std::memcpy(slot.Text, Text.data(), Text.size());
        slot.Length = Text.size();
        Head.store(head + 1, std::memory_order_release);
        return true;
    }

    std::vector<std::string> TakeAll() {
        std::vector<std::string> out;
        auto tail = Tail.load(std::memory_order_relaxed);
        const auto head = Head.load(std::memory_order_acquire);
        for (; tail != head; ++tail) {
            const auto& slot = Buffer[tail % Slots];
            out.emplace_back(slot.Text, slot.Length);
        }
        Tail.store(tail, std::memory_order_release);
        return out;
    }

    std::size_t TakeDropped() noexcept { return Dropped.exchange(0, std::memory_order_relaxed); }

  private:
    struct Slot {
        char Text[SlotBytes];
        std::size_t Length;
    };
    std::array<Slot, Slots> Buffer{};
    std::atomic<std::size_t> Head{0};
    std::atomic<std::size_t> Tail{0};
    std::atomic<std::size_t> Dropped{0};
};

} // namespace brindle
