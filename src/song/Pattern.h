#pragma once
// A pattern: 100 channels of 512 rows, of which RowCount play; the rest is a hidden tail
// that keeps its notes when the pattern is shortened.
#include "song/Step.h"

#include <atomic>
#include <cstdint>

constexpr int ChannelCount = 100;
constexpr int RowCapacity = 512;
constexpr int MaxRowCount = 500;
constexpr int DefaultRowCount = 16; // a new song's patterns

struct cPattern {
    std::int32_t RowCount = DefaultRowCount;
    cStep Cells[ChannelCount][RowCapacity]{};

    // For the audio thread: the length read whole while the editor may change it.
    std::int32_t LoadRowCount() const {
        return std::atomic_ref<std::int32_t>(const_cast<std::int32_t&>(RowCount)).load(std::memory_order_relaxed);
    }
    // For the UI: the length written whole while the audio thread may read it.
    void StoreRowCount(std::int32_t Value) {
        std::atomic_ref<std::int32_t>(RowCount).store(Value, std::memory_order_relaxed);
    }
    bool HasContent() const;
    void ClearCells();
};
