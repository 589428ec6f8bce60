#pragma once
// One order-list entry: the pattern played at this position (0 = none).
#include <atomic>
#include <cstdint>
#include <string>

struct cOrder {
    std::int32_t PatternIndex = 0;
    std::string Text; // always empty here; only travels with the entry

    bool IsEmpty() const { return PatternIndex == 0 && Text.empty(); }
    // For the audio thread: the pattern number alone, read whole.
    std::int32_t LoadPatternIndex() const {
        return std::atomic_ref<std::int32_t>(const_cast<std::int32_t&>(PatternIndex)).load(std::memory_order_relaxed);
    }
    // For the UI: the pattern number written whole while the audio thread may read it.
    void StorePatternIndex(std::int32_t Value) {
        std::atomic_ref<std::int32_t>(PatternIndex).store(Value, std::memory_order_relaxed);
    }
    // Takes another entry's values, the pattern number written whole (never a plain copy).
    void StoreFrom(const cOrder& Other) {
        StorePatternIndex(Other.PatternIndex);
        Text = Other.Text;
    }
};
