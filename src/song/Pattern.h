#pragma once
// A pattern: 100 channels of 512 rows, of which RowCount play; the rest is a hidden tail
// that keeps its notes when the pattern is shortened.
//
// A channel owns its 512 cells only once something was written to it: until then it reads as one
// shared all-empty column, so a song costs memory for what it holds, not for what it could hold.
// The audio thread reads cells lock-free while the UI writes them: a column is published whole
// (release/acquire) and, once a pattern owns it, kept until the pattern is destroyed; clearing or
// emptying a channel keeps its storage. So a reader never sees freed memory and never branches on null.
#include "song/Step.h"

#include <atomic>
#include <cstdint>

constexpr int ChannelCount = 100;
constexpr int RowCapacity = 512;
constexpr int MaxRowCount = 500;
constexpr int DefaultRowCount = 16; // a new song's patterns

struct cPattern {
    std::int32_t RowCount = DefaultRowCount;

    cPattern();
    ~cPattern();
    cPattern(const cPattern&) = delete;
    cPattern& operator=(const cPattern&) = delete;

    // For the audio thread: the length read whole while the editor may change it.
    std::int32_t LoadRowCount() const {
        return std::atomic_ref<std::int32_t>(const_cast<std::int32_t&>(RowCount)).load(std::memory_order_relaxed);
    }
    // For the UI: the length written whole while the audio thread may read it.
    void StoreRowCount(std::int32_t Value) {
        std::atomic_ref<std::int32_t>(RowCount).store(Value, std::memory_order_relaxed);
    }

    // Reading never allocates: a channel without storage reads as empty cells.
    // Read with LoadStep when another thread may write the cell.
    const cStep* Column(int Channel) const { return Columns[Channel].load(std::memory_order_acquire); }
    const cStep& Cell(int Channel, int Row) const { return Column(Channel)[Row]; }
    cStep LoadCell(int Channel, int Row) const { return LoadStep(Cell(Channel, Row)); }

    // Writing: the channel's storage is made on first use. Write cells another thread may read
    // with StoreStep. Only one thread writes a pattern at a time (the UI, or a loader of its own song).
    cStep* WritableCells(int Channel);
    cStep& CellForWrite(int Channel, int Row) { return WritableCells(Channel)[Row]; }
    // Writes one cell whole; an empty cell written to a channel without storage costs nothing.
    void SetCell(int Channel, int Row, cStep Value);

    bool HasStorage(int Channel) const;
    // Channels that own storage (0 for a pattern never written).
    int AllocatedChannels() const;
    // True when a cell (the hidden tail included) holds a note or stop marker.
    bool HasContent() const;
    // Empties every cell; storage is kept (see above).
    void ClearCells();

private:
    std::atomic<cStep*> Columns[ChannelCount];
};
